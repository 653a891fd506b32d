#pragma once

#include "io/core/LittleEndian.h"

#include <cstdint>

// The fields of the 30-byte core of formats 6 to 10 as the layered coders see them.
namespace laz {

struct Point14Fields {
    std::int32_t x = 0, y = 0, z = 0;
    std::uint16_t intensity = 0;
    std::uint8_t returnNumber = 0, returnCount = 0;
    std::uint8_t classFlags = 0, channel = 0, scanDirection = 0, edge = 0;
    std::uint8_t classification = 0, userData = 0;
    std::int16_t scanAngle = 0;
    std::uint16_t pointSource = 0;
    std::uint64_t gpsTime = 0;
    bool gpsTimeChanged = false;  // coder state: whether the time changed from the record before
};

inline Point14Fields ParsePoint14(const unsigned char* raw)
{
    Point14Fields p;
    p.x = LoadLE<std::int32_t>(raw);
    p.y = LoadLE<std::int32_t>(raw + 4);
    p.z = LoadLE<std::int32_t>(raw + 8);
    p.intensity = LoadLE<std::uint16_t>(raw + 12);
    p.returnNumber = raw[14] & 0x0F;
    p.returnCount = raw[14] >> 4;
    p.classFlags = raw[15] & 0x0F;
    p.channel = (raw[15] >> 4) & 3;
    p.scanDirection = (raw[15] >> 6) & 1;
    p.edge = raw[15] >> 7;
    p.classification = raw[16];
    p.userData = raw[17];
    p.scanAngle = LoadLE<std::int16_t>(raw + 18);
    p.pointSource = LoadLE<std::uint16_t>(raw + 20);
    p.gpsTime = LoadLE<std::uint64_t>(raw + 22);
    return p;
}

inline void StorePoint14(const Point14Fields& p, unsigned char* out)
{
    StoreLE(out, p.x);
    StoreLE(out + 4, p.y);
    StoreLE(out + 8, p.z);
    StoreLE(out + 12, p.intensity);
    out[14] = static_cast<std::uint8_t>(p.returnNumber | (p.returnCount << 4));
    out[15] = static_cast<std::uint8_t>(p.classFlags | (p.channel << 4) | (p.scanDirection << 6) | (p.edge << 7));
    out[16] = p.classification;
    out[17] = p.userData;
    StoreLE(out + 18, p.scanAngle);
    StoreLE(out + 20, p.pointSource);
    StoreLE(out + 22, p.gpsTime);
}

}  // namespace laz
