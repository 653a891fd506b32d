#pragma once

#include "io/ply/PlyFile.h"
#include "support/TestData.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace testsupport {

// The text of the error reading `bytes` as a PLY file throws; empty when it reads.
inline std::string PlyErrorOf(std::string_view bytes)
{
    ScratchDir dir;
    const std::string path = dir.Write("file.ply", bytes).string();
    try {
        orrisk::ply::PlyFile ply(path);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

// `bytes` written to a file in `dir` and read as a PLY file.
inline orrisk::ply::PlyFile ReadPly(const ScratchDir& dir, std::string_view bytes)
{
    return orrisk::ply::PlyFile(dir.Write("file.ply", bytes).string());
}

}  // namespace testsupport
