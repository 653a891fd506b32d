#include "io/poses/TransformsJson.h"

#include "io/poses/JsonEvents.h"
#include "io/poses/PoseRules.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The keys the rules look at, in the top-level object and in a frame.
enum class Key { Other, Frames, TransformMatrix, FilePath, W, H, FlY, AngleY, AngleX, FlX, Cx, Cy };

Key KeyNamed(const std::string& name, bool inFrame)
{
    if (name == "w")
        return Key::W;
    if (name == "h")
        return Key::H;
    if (name == "fl_y")
        return Key::FlY;
    if (name == "camera_angle_y")
        return Key::AngleY;
    if (name == "camera_angle_x")
        return Key::AngleX;
    if (name == "fl_x")
        return Key::FlX;
    if (name == "cx")
        return Key::Cx;
    if (name == "cy")
        return Key::Cy;
    if (inFrame && name == "file_path")
        return Key::FilePath;
    if (inFrame)
        return name == "transform_matrix" ? Key::TransformMatrix : Key::Other;
    return name == "frames" ? Key::Frames : Key::Other;
}

// Where the value of a key goes. With a key given twice, the last value counts, as in any
// JSON object; a value that is not a number leaves no number.
std::optional<double>* FovKeySlot(FovKeys& keys, Key key)
{
    switch (key) {
    case Key::W: return &keys.w;
    case Key::H: return &keys.h;
    case Key::FlY: return &keys.flY;
    case Key::AngleY: return &keys.angleY;
    case Key::AngleX: return &keys.angleX;
    default: return nullptr;
    }
}

// The intrinsics that only the comparison with training images uses.
struct LensKeys {
    std::optional<double> flX;
    std::optional<double> cx;
    std::optional<double> cy;
};

std::optional<double>* LensKeySlot(LensKeys& keys, Key key)
{
    switch (key) {
    case Key::FlX: return &keys.flX;
    case Key::Cx: return &keys.cx;
    case Key::Cy: return &keys.cy;
    default: return nullptr;
    }
}

// A positive finite number, else 0: a size or focal length that is none counts as not given.
double PositiveOf(const std::optional<double>& value)
{
    return value && std::isfinite(*value) && *value > 0 ? *value : 0.0;
}

CameraImage ImageOf(std::string path, const FovKeys& fov, const LensKeys& lens)
{
    CameraImage image;
    image.path = std::move(path);
    image.width = PositiveOf(fov.w);
    image.height = PositiveOf(fov.h);
    image.fy = PositiveOf(fov.flY);
    image.fx = PositiveOf(lens.flX);
    image.cx = PositiveOf(lens.cx);
    image.cy = PositiveOf(lens.cy);
    return image;
}

bool GivesAnything(const CameraImage& image)
{
    return !image.path.empty() || image.width > 0 || image.height > 0 || image.fx > 0 || image.fy > 0 ||
           image.cx > 0 || image.cy > 0;
}

// Each value the frame does not give, from the file.
void FillFrom(CameraImage& image, const CameraImage& file)
{
    for (auto field : {&CameraImage::width, &CameraImage::height, &CameraImage::fx, &CameraImage::fy, &CameraImage::cx,
                       &CameraImage::cy})
        if (image.*field == 0.0)
            image.*field = file.*field;
}

// The events of a transforms.json, taken in the nesting the rules know (the top-level object,
// its "frames" array, a frame, its "transform_matrix" array, a row of it); every other value
// is passed over.
class TransformsEvents final : public JsonEventHandler {
public:
    // After a complete parse: whether the top-level "frames" (the last, if given twice) was
    // an array.
    bool FramesFound() const { return m_framesIsArray; }
    const FovKeys& TopLevel() const { return m_topLevel; }
    // The frames read; the field of view of those that give one of their own is set here, as
    // it depends on the top-level "w" and "h", which may come after the frames.
    std::vector<CameraFrame> TakeFrames(double w, double h)
    {
        for (const auto& [index, fov] : m_frameFovs)
            m_frames[index].fovY = VerticalFov(fov, w, h);
        return std::move(m_frames);
    }
    // The frames' photos, with what the file gives filled in, as CameraPoseSet::images.
    std::vector<CameraImage> TakeImages(const CameraImage& file)
    {
        for (CameraImage& image : m_images)
            FillFrom(image, file);
        return std::move(m_images);
    }
    CameraImage FileImage() const { return ImageOf({}, m_topLevel, m_topLens); }

    bool Text(std::string& text) override
    {
        if (m_at == At::Frame && m_key == Key::FilePath) {
            m_filePath = std::move(text);
            return true;
        }
        return Scalar(std::nullopt);
    }

    void ObjectKey(std::string& name) override { m_key = KeyNamed(name, m_at == At::Frame); }

    bool Scalar(std::optional<double> number) override
    {
        switch (m_at) {
        case At::Start:
            return false;  // not an object: nothing more to read
        case At::Root:
            if (m_key == Key::Frames)
                SetFramesArray(false);
            else if (std::optional<double>* slot = FovKeySlot(m_topLevel, m_key))
                *slot = number;
            else if (std::optional<double>* lens = LensKeySlot(m_topLens, m_key))
                *lens = number;
            break;
        case At::Frame:
            if (m_key == Key::TransformMatrix)
                m_matrix.reset();
            else if (m_key == Key::FilePath)
                m_filePath.clear();
            else if (std::optional<double>* slot = FovKeySlot(m_frameFov, m_key))
                *slot = number;
            else if (std::optional<double>* lens = LensKeySlot(m_frameLens, m_key))
                *lens = number;
            break;
        case At::Matrix: m_builder.AddElement(number); break;
        case At::Row: m_builder.AddRowElement(number); break;
        default: break;  // an element of "frames" that is not an object
        }
        return true;
    }

    Step Start(bool isObject) override
    {
        switch (m_at) {
        case At::Start:
            if (!isObject)
                return Step::Stop;
            m_at = At::Root;
            return Step::Into;
        case At::Root:
            if (m_key == Key::Frames) {
                SetFramesArray(!isObject);
                if (!isObject) {
                    m_at = At::Frames;
                    return Step::Into;
                }
            } else if (std::optional<double>* slot = FovKeySlot(m_topLevel, m_key)) {
                slot->reset();
            } else if (std::optional<double>* lens = LensKeySlot(m_topLens, m_key)) {
                lens->reset();
            }
            break;
        case At::Frames:
            if (isObject) {
                m_matrix.reset();
                m_frameFov = FovKeys();
                m_frameLens = LensKeys();
                m_filePath.clear();
                m_at = At::Frame;
                return Step::Into;
            }
            break;
        case At::Frame:
            if (m_key == Key::TransformMatrix) {
                m_matrix.reset();
                if (!isObject) {
                    m_builder = TransformMatrixBuilder();
                    m_at = At::Matrix;
                    return Step::Into;
                }
            } else if (m_key == Key::FilePath) {
                m_filePath.clear();
            } else if (std::optional<double>* slot = FovKeySlot(m_frameFov, m_key)) {
                slot->reset();
            } else if (std::optional<double>* lens = LensKeySlot(m_frameLens, m_key)) {
                lens->reset();
            }
            break;
        case At::Matrix:
            if (!isObject) {
                m_builder.BeginRow();
                m_at = At::Row;
                return Step::Into;
            }
            m_builder.AddElement(std::nullopt);
            break;
        case At::Row: m_builder.AddRowElement(std::nullopt); break;
        default: break;
        }
        return Step::PassOver;  // a value the rules do not look into
    }

    void End() override
    {
        switch (m_at) {
        case At::Root: m_at = At::End; break;
        case At::Frames: m_at = At::Root; break;
        case At::Frame:
            if (m_matrix) {
                CameraFrame& frame = m_frames.emplace_back();
                frame.transform = *m_matrix;
                frame.transform.topLeftCorner<3, 3>() = NearestRotation(m_matrix->topLeftCorner<3, 3>());
                // Without a number for any of the three keys the frame has no field of view
                // of its own, whatever its "w" and "h".
                if (m_frameFov.flY || m_frameFov.angleY || m_frameFov.angleX)
                    m_frameFovs.emplace_back(m_frames.size() - 1, m_frameFov);
                CameraImage image = ImageOf(std::move(m_filePath), m_frameFov, m_frameLens);
                // The photos are kept from the first frame that says anything about its own.
                if (m_images.empty() && GivesAnything(image))
                    m_images.resize(m_frames.size() - 1);
                if (!m_images.empty() || GivesAnything(image))
                    m_images.push_back(std::move(image));
            }
            m_at = At::Frames;
            break;
        case At::Matrix:
            m_matrix = m_builder.Result();
            m_at = At::Frame;
            break;
        case At::Row:
            m_builder.EndRow();
            m_at = At::Matrix;
            break;
        default: break;
        }
    }

private:
    enum class At { Start, Root, Frames, Frame, Matrix, Row, End };

    // A later "frames" replaces an earlier one.
    void SetFramesArray(bool isArray)
    {
        m_framesIsArray = isArray;
        m_frames.clear();
        m_frameFovs.clear();
        m_images.clear();
    }

    At m_at = At::Start;
    Key m_key = Key::Other;  // of the value that comes next in an object
    FovKeys m_topLevel;
    LensKeys m_topLens;
    bool m_framesIsArray = false;
    std::vector<CameraFrame> m_frames;
    std::vector<std::pair<std::size_t, FovKeys>> m_frameFovs;  // frames with a field of view of their own
    std::vector<CameraImage> m_images;  // empty until a frame says something of its photo
    // The frame being read.
    FovKeys m_frameFov;
    LensKeys m_frameLens;
    std::string m_filePath;
    std::optional<Eigen::Matrix4d> m_matrix;
    TransformMatrixBuilder m_builder;
};

}  // namespace

ReadResult<CameraPoseSet> ReadTransformsJson(std::istream& stream)
{
    TransformsEvents events;
    if (!ParseJsonEvents(stream, events))
        return Fail(ReadError::Malformed, "Invalid JSON format.");
    if (!events.FramesFound())
        return Fail(ReadError::Malformed, "\"frames\" array not found.");
    const FovKeys& topLevel = events.TopLevel();
    const double w = topLevel.w.value_or(0.0);
    const double h = topLevel.h.value_or(0.0);
    CameraPoseSet set;
    set.defaultFovY = VerticalFov(topLevel, w, h);
    set.frames = events.TakeFrames(w, h);
    set.defaultImage = events.FileImage();
    set.images = events.TakeImages(set.defaultImage);
    if (set.frames.empty())
        return Fail(ReadError::Malformed, "No valid camera frames found.");
    return set;
}
