// The trainer's cameras.json reader. It reads the JSON text event by event; whatever it reads
// must be what the rules give when applied to the whole JSON tree, and every camera it gives
// must be usable by the view.
#include "io/poses/TrainerCameras.h"

#include <Eigen/LU>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;

bool FiniteNumbers(const json& value, std::size_t count)
{
    return value.is_array() && value.size() == count &&
           std::all_of(value.begin(), value.end(), [](const json& v) { return v.is_number() && std::isfinite(v.get<double>()); });
}

bool HasKey(const json& entry, const char* key)
{
    return entry.is_object() && entry.contains(key);
}

// The cameras the whole tree holds: entries with three finite numbers for position and three
// rows of three for rotation. -1 when the text is no camera list at all.
long ReferenceCameraCount(const std::string& text, bool& recognised)
{
    const json root = json::parse(text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
    recognised = false;
    if (root.is_discarded() || !root.is_array())
        return -1;
    long count = 0;
    for (const json& entry : root) {
        if (HasKey(entry, "position") && HasKey(entry, "rotation"))
            recognised = true;
        if (!entry.is_object() || !entry.contains("position") || !entry.contains("rotation"))
            continue;
        const json& rotation = entry["rotation"];
        if (FiniteNumbers(entry["position"], 3) && rotation.is_array() && rotation.size() == 3 &&
            std::all_of(rotation.begin(), rotation.end(), [](const json& row) { return FiniteNumbers(row, 3); }))
            ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream stream(text);
    const ReadResult<CameraPoseSet> read = ReadTrainerCameraStream(stream);
    if (read) {
        const CameraPoseSet& set = read.Value();
        if (set.frames.empty())
            std::abort();
        for (std::size_t i = 0; i < set.frames.size(); ++i) {
            const CameraFrame& frame = set.frames[i];
            const Eigen::Matrix3d rotation = frame.transform.topLeftCorner<3, 3>();
            if (!frame.transform.allFinite() || std::abs(rotation.determinant() - 1.0) > 1e-6 ||
                !std::isfinite(frame.fovY) || frame.fovY < 0.0f)
                std::abort();
            if (set.images.size() != set.frames.size() || (i > 0 && set.images[i - 1].path > set.images[i].path))
                std::abort();
        }
    } else if (read.Failure().reason.empty()) {
        std::abort();
    }

    bool recognised = false;
    const long expected = ReferenceCameraCount(text, recognised);
    if (expected < 0)
        return 0;  // invalid JSON or no list: the reader may stop anywhere before
    if (!recognised) {
        if (read || read.Failure().code != ReadError::NotRecognised)
            std::abort();
    } else if (expected == 0 ? read.Ok() : (!read || static_cast<long>(read.Value().frames.size()) != expected)) {
        std::abort();
    }
    return 0;
}
