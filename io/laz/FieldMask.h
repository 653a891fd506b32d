#pragma once

#include <cstdint>

namespace laz {

// Which record fields a caller needs. The layered formats store groups of fields in layers
// of their own, and the bytes of layers nobody asked for are skipped, not decoded; such
// fields keep the value of the chunk's first record. The point-wise formats always decode
// everything.
enum Field : std::uint32_t {
    kFieldXyz = 1u << 0,  // always decoded
    kFieldIntensity = 1u << 1,
    kFieldClassification = 1u << 2,
    kFieldFlags = 1u << 3,
    kFieldScanAngle = 1u << 4,
    kFieldUserData = 1u << 5,
    kFieldPointSource = 1u << 6,
    kFieldGpsTime = 1u << 7,
    kFieldRgb = 1u << 8,
    kFieldNir = 1u << 9,
    kFieldExtraBytes = 1u << 10,
    kFieldWavePacket = 1u << 11,
};

using FieldMask = std::uint32_t;
inline constexpr FieldMask kAllFields = 0xFFFFFFFFu;

}  // namespace laz
