#include "io/splat/GaussianPlyWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

void RequireSize(std::size_t actual, std::size_t expected, const char* what)
{
    if (actual != expected)
        throw std::runtime_error(std::string("splat writer: ") + what + " has " + std::to_string(actual) +
                                 " entries, expected " + std::to_string(expected));
}

void CheckConsistent(const GaussianData& data)
{
    const std::size_t n = data.positions.size();
    RequireSize(data.shDc.size(), n, "shDc");
    RequireSize(data.opacities.size(), n, "opacities");
    RequireSize(data.scales.size(), n, "scales");
    RequireSize(data.rotations.size(), n, "rotations");
    if (data.shRestCount < 0)
        throw std::runtime_error("splat writer: negative shRestCount");
    RequireSize(data.shRest.size(), n * static_cast<std::size_t>(data.shRestCount), "shRest");
    if (data.hasObjectIds)
        RequireSize(data.objectIds.size(), n, "objectIds");
}

std::string Header(const GaussianData& data)
{
    std::string header = "ply\nformat binary_little_endian 1.0\n";
    header += "element vertex " + std::to_string(data.positions.size()) + "\n";
    auto addFloat = [&header](const std::string& name) { header += "property float " + name + "\n"; };
    for (const char* name : {"x", "y", "z", "nx", "ny", "nz", "f_dc_0", "f_dc_1", "f_dc_2"})
        addFloat(name);
    for (std::int32_t k = 0; k < data.shRestCount; ++k)
        addFloat("f_rest_" + std::to_string(k));
    addFloat("opacity");
    for (const char* name : {"scale_0", "scale_1", "scale_2", "rot_0", "rot_1", "rot_2", "rot_3"})
        addFloat(name);
    if (data.hasObjectIds)
        header += "property uint object_id\n";
    header += "end_header\n";
    return header;
}

// Appends a 32-bit value in little-endian byte order whatever the host's order.
void PutU32(std::vector<char>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

void PutFloat(std::vector<char>& out, float value) { PutU32(out, std::bit_cast<std::uint32_t>(value)); }

float Logit(float opacity)
{
    const double p = std::clamp(static_cast<double>(opacity), 1e-6, 1.0 - 1e-6);
    return static_cast<float>(std::log(p / (1.0 - p)));
}

float LogScale(float scale)
{
    const float positive = std::max(std::abs(scale), std::numeric_limits<float>::min());
    return static_cast<float>(std::log(static_cast<double>(positive)));
}

void AppendRecord(std::vector<char>& out, const GaussianData& data, std::size_t i)
{
    for (int axis = 0; axis < 3; ++axis)
        PutFloat(out, static_cast<float>(data.origin[axis] + static_cast<double>(data.positions[i][axis])));
    for (int axis = 0; axis < 3; ++axis)
        PutFloat(out, 0.0f);
    for (int channel = 0; channel < 3; ++channel)
        PutFloat(out, data.shDc[i][channel]);
    const std::size_t restCount = static_cast<std::size_t>(data.shRestCount);
    for (std::size_t k = 0; k < restCount; ++k)
        PutFloat(out, data.shRest[i * restCount + k]);
    PutFloat(out, Logit(data.opacities[i]));
    for (int axis = 0; axis < 3; ++axis)
        PutFloat(out, LogScale(data.scales[i][axis]));
    for (int component = 0; component < 4; ++component)
        PutFloat(out, data.rotations[i][component]);
    if (data.hasObjectIds)
        PutU32(out, data.objectIds[i]);
}

}  // namespace

void WriteGaussianPly(const std::filesystem::path& path, const GaussianData& data)
{
    CheckConsistent(data);

    // Written beside the target and renamed over it at the end, so a failed write never
    // leaves a truncated scene under the requested name.
    std::filesystem::path partial = path;
    partial += ".partial";
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    if (!file)
        throw std::runtime_error("splat writer: cannot open " + partial.string() + " for writing");
    const std::string header = Header(data);
    file.write(header.data(), static_cast<std::streamsize>(header.size()));

    // Records go out in blocks so that memory stays small for scenes of any size.
    constexpr std::size_t kRecordsPerBlock = 4096;
    std::vector<char> block;
    for (std::size_t first = 0; first < data.positions.size(); first += kRecordsPerBlock) {
        block.clear();
        const std::size_t last = std::min(first + kRecordsPerBlock, data.positions.size());
        for (std::size_t i = first; i < last; ++i)
            AppendRecord(block, data, i);
        file.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    file.close();
    std::error_code error;
    if (!file) {
        std::filesystem::remove(partial, error);
        throw std::runtime_error("splat writer: failed writing " + partial.string());
    }
    std::filesystem::rename(partial, path, error);
    if (error) {
        const std::string reason = error.message();
        std::filesystem::remove(partial, error);
        throw std::runtime_error("splat writer: cannot replace " + path.string() + ": " + reason);
    }
}
