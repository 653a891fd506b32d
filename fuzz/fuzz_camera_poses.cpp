// The camera pose file reader.
#include "FuzzInputFile.h"
#include "io/CameraPoseReader.h"

#include <Eigen/LU>

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("transforms.json");
    CameraPoseSet set;
    std::string errorText;
    const bool loaded = LoadCameraPoseFile(file.Write(data, size), set, errorText);
    if (loaded == set.frames.empty() || loaded == !errorText.empty())
        std::abort();
    for (const CameraFrame& frame : set.frames) {
        // The rotation block of every frame read is a proper rotation.
        const Eigen::Matrix3d rotation = frame.transform.topLeftCorner<3, 3>();
        if (!frame.transform.allFinite() || std::abs(rotation.determinant() - 1.0) > 1e-6)
            std::abort();
    }
    return 0;
}
