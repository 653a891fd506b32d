#include "convert/CopcLayout.h"

#include "io/core/LittleEndian.h"

namespace copcwrite {
namespace {

constexpr char kLasfSpec[] = "LASF_Spec";
constexpr char kLasfProjection[] = "LASF_Projection";
constexpr std::uint16_t kWktRecordId = 2112;
constexpr std::uint16_t kFirstWaveDescriptor = 100;
constexpr std::uint16_t kLastWaveDescriptor = 354;
constexpr std::uint16_t kWaveDataRecordId = 65535;
constexpr std::uint16_t kLaszipRecordId = 22204;

bool DescribesStorage(const VariableLengthRecord& record)
{
    return record.userId == kCopcUserId || (record.userId == "laszip encoded" && record.recordId == kLaszipRecordId);
}

bool IsWavePacketRecord(const VariableLengthRecord& record)
{
    return record.userId == kLasfSpec && ((record.recordId >= kFirstWaveDescriptor && record.recordId <= kLastWaveDescriptor) ||
                                          record.recordId == kWaveDataRecordId);
}

}  // namespace

std::vector<unsigned char> CopcInfoPayload(const CopcInfoFields& info)
{
    std::vector<unsigned char> bytes(kInfoSize, 0);
    for (int axis = 0; axis < 3; ++axis)
        StoreLE(&bytes[8 * axis], info.center[axis]);
    StoreLE(&bytes[24], info.halfSize);
    StoreLE(&bytes[32], info.spacing);
    StoreLE(&bytes[40], info.rootPageOffset);
    StoreLE(&bytes[48], info.rootPageSize);
    StoreLE(&bytes[56], info.gpsTimeMinimum);
    StoreLE(&bytes[64], info.gpsTimeMaximum);
    return bytes;
}

SourceRecords KeptSourceRecords(const std::vector<VariableLengthRecord>& records, bool dropWavePackets)
{
    SourceRecords kept;
    for (const VariableLengthRecord& record : records) {
        if (DescribesStorage(record) || (dropWavePackets && IsWavePacketRecord(record)))
            continue;
        VariableLengthRecord copy = record;
        if (!copy.extended && copy.data.size() > 0xFFFF)
            copy.extended = true;
        if (copy.userId == kLasfProjection && copy.recordId == kWktRecordId)
            kept.hasWkt = true;
        (copy.extended ? kept.evlrs : kept.vlrs).push_back(std::move(copy));
    }
    return kept;
}

std::uint16_t CopcGlobalEncoding(std::uint16_t sourceEncoding, bool hasWkt)
{
    constexpr std::uint16_t kGpsTimeType = 0x0001, kSyntheticReturns = 0x0008, kWkt = 0x0010;
    return static_cast<std::uint16_t>((sourceEncoding & (kGpsTimeType | kSyntheticReturns)) | (hasWkt ? kWkt : 0));
}

}  // namespace copcwrite
