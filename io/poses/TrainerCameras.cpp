#include "io/poses/TrainerCameras.h"

#include "io/poses/JsonEvents.h"
#include "io/poses/PoseRules.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <new>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace {

// The same bound as a transforms.json: far beyond any real list of cameras.
constexpr std::uintmax_t kMaxFileBytes = 256u << 20;

enum class Key { Other, ImageName, Width, Height, Fx, Fy, Position, Rotation };

Key KeyNamed(const std::string& name)
{
    if (name == "img_name")
        return Key::ImageName;
    if (name == "width")
        return Key::Width;
    if (name == "height")
        return Key::Height;
    if (name == "fx")
        return Key::Fx;
    if (name == "fy")
        return Key::Fy;
    if (name == "position")
        return Key::Position;
    if (name == "rotation")
        return Key::Rotation;
    return Key::Other;
}

// Three finite numbers, or three rows of three: anything else spoils the value.
struct NumberGrid {
    std::array<double, 9> values{};
    std::size_t rows = 0;     // of a grid of rows
    std::size_t columns = 0;  // in the current row, or of a plain list
    bool valid = true;

    void Add(std::optional<double> number, std::size_t limit)
    {
        if (!number || !std::isfinite(*number) || columns >= limit) {
            valid = false;
            return;
        }
        values[rows * 3 + columns] = *number;
        ++columns;
    }
};

// The entries of the list, taken event by event; only the keys a camera needs are kept, and
// values nested anywhere else are passed over.
class CameraListEvents final : public JsonEventHandler {
public:
    bool IsList() const { return m_isList; }
    bool SawPoseKeys() const { return m_sawPoseKeys; }
    std::vector<CameraFrame> TakeFrames() { return std::move(m_frames); }
    std::vector<CameraImage> TakeImages() { return std::move(m_images); }

    bool Text(std::string& text) override
    {
        if (m_at == At::Entry && m_key == Key::ImageName) {
            m_image.path = std::move(text);
            return true;
        }
        return Scalar(std::nullopt);
    }

    void ObjectKey(std::string& name) override
    {
        if (m_at == At::Entry)
            m_key = KeyNamed(name);
    }

    bool Scalar(std::optional<double> number) override
    {
        switch (m_at) {
        case At::Start: return false;  // not an array: not a camera list
        case At::Entry: SetNumber(number); break;
        case At::Position: m_position.Add(number, 3); break;
        case At::Rotation: m_rotation.valid = false; break;
        case At::RotationRow: m_rotation.Add(number, 3); break;
        default: break;  // an entry of the list that is not an object
        }
        return true;
    }

    Step Start(bool isObject) override
    {
        switch (m_at) {
        case At::Start:
            if (isObject)
                return Step::Stop;
            m_isList = true;
            m_at = At::List;
            return Step::Into;
        case At::List:
            if (isObject) {
                m_image = CameraImage();
                m_position = NumberGrid();
                m_rotation = NumberGrid();
                m_hasPosition = false;
                m_hasRotation = false;
                m_at = At::Entry;
                return Step::Into;
            }
            break;
        case At::Entry:
            if (m_key == Key::Position || m_key == Key::Rotation) {
                NumberGrid& grid = m_key == Key::Position ? m_position : m_rotation;
                grid = NumberGrid();
                NotePoseKey(m_key == Key::Position ? m_hasPosition : m_hasRotation);
                if (!isObject) {
                    m_at = m_key == Key::Position ? At::Position : At::Rotation;
                    return Step::Into;
                }
                grid.valid = false;
            } else {
                SetNumber(std::nullopt);
            }
            break;
        case At::Position: m_position.valid = false; break;
        case At::Rotation:
            if (!isObject && m_rotation.rows < 3) {
                m_rotation.columns = 0;
                m_at = At::RotationRow;
                return Step::Into;
            }
            m_rotation.valid = false;
            break;
        case At::RotationRow: m_rotation.valid = false; break;
        default: break;
        }
        return Step::PassOver;
    }

    void End() override
    {
        switch (m_at) {
        case At::List: m_at = At::End; break;
        case At::Entry: EndEntry(); break;
        case At::Position:
            if (m_position.columns != 3)
                m_position.valid = false;
            m_at = At::Entry;
            break;
        case At::Rotation:
            if (m_rotation.rows != 3)
                m_rotation.valid = false;
            m_at = At::Entry;
            break;
        case At::RotationRow:
            if (m_rotation.columns != 3)
                m_rotation.valid = false;
            ++m_rotation.rows;
            m_at = At::Rotation;
            break;
        default: break;
        }
    }

private:
    enum class At { Start, List, Entry, Position, Rotation, RotationRow, End };

    void SetNumber(std::optional<double> number)
    {
        double* slot = nullptr;
        switch (m_key) {
        case Key::Width: slot = &m_image.width; break;
        case Key::Height: slot = &m_image.height; break;
        case Key::Fx: slot = &m_image.fx; break;
        case Key::Fy: slot = &m_image.fy; break;
        case Key::ImageName: m_image.path.clear(); return;
        case Key::Position:
            NotePoseKey(m_hasPosition);
            m_position.valid = false;
            return;
        case Key::Rotation:
            NotePoseKey(m_hasRotation);
            m_rotation.valid = false;
            return;
        default: return;
        }
        // A key of the wrong type, or a number that is no size, counts as not given.
        *slot = number && std::isfinite(*number) && *number > 0 ? *number : 0.0;
    }

    // An entry with both keys makes the text a camera list, even where it breaks off later.
    void NotePoseKey(bool& has)
    {
        has = true;
        if (m_hasPosition && m_hasRotation)
            m_sawPoseKeys = true;
    }

    void EndEntry()
    {
        m_at = At::List;
        if (!m_hasPosition || !m_hasRotation || !m_position.valid || !m_rotation.valid)
            return;
        const Eigen::Vector3d position(m_position.values[0], m_position.values[1], m_position.values[2]);
        Eigen::Matrix3d rotation;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                rotation(r, c) = m_rotation.values[static_cast<std::size_t>(r * 3 + c)];
        m_frames.push_back(TrainerCameraFrame(rotation, position, m_image));
        m_images.push_back(std::move(m_image));
    }

    At m_at = At::Start;
    Key m_key = Key::Other;
    bool m_isList = false;
    bool m_sawPoseKeys = false;  // some entry carried both "position" and "rotation"
    std::vector<CameraFrame> m_frames;
    std::vector<CameraImage> m_images;  // one for each frame
    // The entry being read.
    CameraImage m_image;
    NumberGrid m_position;
    NumberGrid m_rotation;
    bool m_hasPosition = false;
    bool m_hasRotation = false;
};

ReadFailure NotACameraList()
{
    return Fail(ReadError::NotRecognised, "cameras.json: not an array of cameras with rotation and position");
}

}  // namespace

bool StartsWithJsonArray(std::istream& stream)
{
    const std::istream::pos_type start = stream.tellg();
    char c = 0;
    while (stream.get(c) && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
    }
    const bool isArray = stream.gcount() == 1 && c == '[';
    stream.clear();
    stream.seekg(start);
    return isArray;
}

CameraFrame TrainerCameraFrame(const Eigen::Matrix3d& rotation, const Eigen::Vector3d& position, const CameraImage& image)
{
    // The trainer's camera looks along +z with y down; the view's along -z with y up: the
    // same camera with its y and z axes turned round.
    const Eigen::Matrix3d flipYZ = Eigen::Vector3d(1.0, -1.0, -1.0).asDiagonal();
    CameraFrame frame;
    frame.transform.topLeftCorner<3, 3>() = NearestRotation(rotation) * flipYZ;
    frame.transform.topRightCorner<3, 1>() = position;
    if (image.height > 0 && image.fy > 0)
        frame.fovY = static_cast<float>(2.0 * std::atan(0.5 * image.height / image.fy));
    return frame;
}

ReadResult<CameraPoseSet> ReadTrainerCameraStream(std::istream& stream)
{
    CameraListEvents events;
    const bool parsed = ParseJsonEvents(stream, events);
    if (!events.IsList() || !events.SawPoseKeys())
        return NotACameraList();
    if (!parsed)
        return Fail(ReadError::Malformed, "cameras.json: invalid JSON");
    std::vector<CameraFrame> frames = events.TakeFrames();
    std::vector<CameraImage> images = events.TakeImages();
    if (frames.empty())
        return Fail(ReadError::Malformed, "cameras.json: no camera has a finite position and rotation");
    // With an evaluation split the trainer lists the test cameras first; by name they come
    // back in capture order.
    std::vector<std::size_t> order(frames.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&images](std::size_t a, std::size_t b) { return images[a].path < images[b].path; });
    CameraPoseSet set;
    set.frames.reserve(frames.size());
    set.images.reserve(frames.size());
    for (std::size_t i : order) {
        set.frames.push_back(frames[i]);
        set.images.push_back(std::move(images[i]));
    }
    return set;
}

ReadResult<CameraPoseSet> ReadTrainerCameras(const std::string& path, const ReadOptions& options)
{
    try {
        std::error_code ec;
        std::ifstream stream;
        if (std::filesystem::is_regular_file(path, ec))
            stream.open(path, std::ios::binary);
        if (!stream.is_open())
            return Fail(ReadError::CannotOpen, "cameras.json: cannot open " + path);
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        if (!ec && size > kMaxFileBytes)
            return Fail(ReadError::TooLarge, "cameras.json: the file is larger than 256 MiB");
        if (!ReportProgress(options, 0.0))
            return Fail(ReadError::Cancelled, "cameras.json: cancelled");
        if (!StartsWithJsonArray(stream))
            return NotACameraList();
        ReadResult<CameraPoseSet> result = ReadTrainerCameraStream(stream);
        if (result && !ReportProgress(options, 1.0))
            return Fail(ReadError::Cancelled, "cameras.json: cancelled");
        return result;
    } catch (const std::bad_alloc&) {
        return Fail(ReadError::TooLarge, "cameras.json: not enough memory to read the file");
    } catch (...) {
        return Fail(ReadError::CannotOpen, "cameras.json: cannot read the file");
    }
}
