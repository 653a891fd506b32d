#include "io/las/LasHeaderWrite.h"

#include "io/core/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace las {

void PointSummary::Add(const unsigned char* records, std::size_t n, std::uint8_t format, std::uint16_t recordLength)
{
    const bool extended = format >= 6;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* record = records + i * recordLength;
        for (int axis = 0; axis < 3; ++axis) {
            const std::int32_t v = LoadLE<std::int32_t>(record + 4 * axis);
            minimum[axis] = std::min(minimum[axis], v);
            maximum[axis] = std::max(maximum[axis], v);
        }
        const unsigned returnNumber = extended ? record[14] & 0x0F : record[14] & 0x07;
        if (returnNumber >= 1 && returnNumber <= 15)
            ++byReturn[returnNumber - 1];
    }
    count += n;
}

void PointSummary::Merge(const PointSummary& other)
{
    count += other.count;
    for (std::size_t i = 0; i < byReturn.size(); ++i)
        byReturn[i] += other.byReturn[i];
    for (int axis = 0; axis < 3; ++axis) {
        minimum[axis] = std::min(minimum[axis], other.minimum[axis]);
        maximum[axis] = std::max(maximum[axis], other.maximum[axis]);
    }
}

std::uint16_t HeaderSize(std::uint8_t versionMinor)
{
    return versionMinor >= 4 ? 375 : versionMinor == 3 ? 235 : 227;
}

namespace {

void PutText(unsigned char* at, const std::string& text, std::size_t field)
{
    std::memcpy(at, text.data(), std::min(text.size(), field));
}

}  // namespace

std::vector<unsigned char> SerializeHeader(const PointRecordFormat& format, const HeaderPlacement& placement,
                                           const PointSummary& summary)
{
    std::vector<unsigned char> h(HeaderSize(placement.versionMinor), 0);
    std::memcpy(h.data(), "LASF", 4);
    StoreLE(&h[4], format.fileSourceId);
    // Global encoding bit 4 (WKT) only means something from 1.4 on.
    std::uint16_t encoding = format.globalEncoding;
    if (placement.versionMinor < 4)
        encoding &= 0x000F;
    StoreLE(&h[6], encoding);
    std::memcpy(&h[8], format.projectId.data(), 16);
    h[24] = 1;
    h[25] = placement.versionMinor;
    PutText(&h[26], format.systemIdentifier.empty() ? std::string("OTHER") : format.systemIdentifier, 32);
    PutText(&h[58], "Orrisk", 32);
    StoreLE(&h[90], format.creationDay);
    StoreLE(&h[92], format.creationYear);
    StoreLE(&h[94], static_cast<std::uint16_t>(h.size()));
    StoreLE(&h[96], placement.pointDataOffset);
    StoreLE(&h[100], placement.vlrCount);
    h[104] = static_cast<unsigned char>(format.format | (placement.compressed ? 0x80 : 0));
    StoreLE(&h[105], format.recordLength);

    // The legacy 32-bit counts hold only what they can state exactly; LAS 1.4 gives the real
    // ones in 64 bits, and formats 6 to 10 leave the legacy ones zero.
    const bool legacyCounts = format.format < 6 && summary.count <= 0xFFFFFFFFu;
    StoreLE(&h[107], static_cast<std::uint32_t>(legacyCounts ? summary.count : 0));
    for (int r = 0; r < 5; ++r)
        StoreLE(&h[111 + 4 * r], static_cast<std::uint32_t>(legacyCounts && summary.byReturn[r] <= 0xFFFFFFFFu ? summary.byReturn[r] : 0));
    for (int axis = 0; axis < 3; ++axis) {
        StoreLE(&h[131 + 8 * axis], format.scale[axis]);
        StoreLE(&h[155 + 8 * axis], format.offset[axis]);
        const bool empty = summary.count == 0;
        // A negative scale turns the smallest integer into the largest coordinate.
        const double a = empty ? 0.0 : summary.minimum[axis] * format.scale[axis] + format.offset[axis];
        const double b = empty ? 0.0 : summary.maximum[axis] * format.scale[axis] + format.offset[axis];
        StoreLE(&h[179 + 16 * axis], std::max(a, b));
        StoreLE(&h[187 + 16 * axis], std::min(a, b));
    }
    if (placement.versionMinor >= 4) {
        StoreLE(&h[235], placement.evlrOffset);
        StoreLE(&h[243], placement.evlrCount);
        StoreLE(&h[247], summary.count);
        for (int r = 0; r < 15; ++r)
            StoreLE(&h[255 + 8 * r], summary.byReturn[r]);
    }
    return h;
}

std::vector<unsigned char> SerializeVlr(const VariableLengthRecord& record)
{
    const std::size_t headerSize = record.extended ? 60 : 54;
    std::vector<unsigned char> out(headerSize, 0);
    PutText(&out[2], record.userId, 16);
    StoreLE(&out[18], record.recordId);
    if (record.extended) {
        StoreLE(&out[20], static_cast<std::uint64_t>(record.data.size()));
        PutText(&out[28], record.description, 32);
    } else {
        StoreLE(&out[20], static_cast<std::uint16_t>(std::min<std::size_t>(record.data.size(), 0xFFFF)));
        PutText(&out[22], record.description, 32);
    }
    out.insert(out.end(), record.data.begin(), record.data.end());
    return out;
}

}  // namespace las
