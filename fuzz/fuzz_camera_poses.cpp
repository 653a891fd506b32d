// The camera pose file reader. It reads the JSON text event by event; whatever it reads must
// be what the rules give when applied to the whole JSON tree.
#include "FuzzInputFile.h"
#include "io/poses/PoseReader.h"
#include "io/poses/TrainerCameras.h"
#include "tests/support/CameraPoseReference.h"

#include <Eigen/LU>

#include <cmath>
#include <cstring>
#include <sstream>

namespace {

// Bit for bit, so that a NaN computed the same way on both sides counts as the same.
template <typename T>
bool Same(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("transforms.json");
    const ReadResult<CameraPoseSet> result = ReadCameraPoses(file.Write(data, size));
    const bool loaded = result.Ok();
    const CameraPoseSet set = loaded ? result.Value() : CameraPoseSet();
    const std::string errorText = loaded ? std::string() : result.Failure().reason;
    if (loaded == set.frames.empty() || loaded == !errorText.empty())
        std::abort();
    for (const CameraFrame& frame : set.frames) {
        // The rotation block of every frame read is a proper rotation.
        const Eigen::Matrix3d rotation = frame.transform.topLeftCorner<3, 3>();
        if (!frame.transform.allFinite() || std::abs(rotation.determinant() - 1.0) > 1e-6)
            std::abort();
    }

    const std::string text(reinterpret_cast<const char*>(data), size);
    // A camera list is read by the cameras.json rules, which their own target checks.
    std::istringstream list(text);
    if (StartsWithJsonArray(list) && ReadTrainerCameraStream(list).Failure().code != ReadError::NotRecognised)
        return 0;
    CameraPoseSet reference;
    std::string referenceError;
    if (testsupport::ReferenceCameraPoses(text, reference, referenceError) != loaded || referenceError != errorText ||
        !Same(reference.defaultFovY, set.defaultFovY) || reference.frames.size() != set.frames.size())
        std::abort();
    for (std::size_t i = 0; i < set.frames.size(); ++i)
        if (!Same(reference.frames[i].transform, set.frames[i].transform) || !Same(reference.frames[i].fovY, set.frames[i].fovY))
            std::abort();
    return 0;
}
