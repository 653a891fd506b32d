// The record streams of LAS, LAZ and PLY clouds (the sources of every conversion).
#include "FuzzInputFile.h"
#include "io/las/LasRecordStream.h"
#include "io/laz/LazReader.h"
#include "io/ply/PlyRecordStream.h"

#include <cstdlib>

namespace {

// Reads every byte it is given, so that a record past its buffer is found.
class CheckingSink : public PointRecordSink {
public:
    bool Begin(const PointRecordFormat& format) override
    {
        if (begins++ != 0 || format.recordLength == 0)
            std::abort();
        recordLength = format.recordLength;
        return true;
    }
    bool Take(const unsigned char* records, std::size_t count) override
    {
        if (begins != 1)
            std::abort();
        for (std::size_t i = 0; i < count * recordLength; ++i)
            checksum += records[i];
        taken += count;
        return true;
    }

    int begins = 0;
    std::size_t recordLength = 0;
    std::size_t taken = 0;
    unsigned checksum = 0;
};

void Check(const ReadResult<PointRecordFormat>& result, const CheckingSink& sink, bool countIsExact)
{
    if (!result) {
        if (result.Failure().reason.empty())
            std::abort();
        return;
    }
    if (sink.begins != 1 || (countIsExact && sink.taken != result.Value().pointCount))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.bin");
    const std::string path = file.Write(data, size);
    {
        CheckingSink sink;
        Check(StreamLasRecords(path, sink), sink, true);
    }
    {
        CheckingSink sink;
        Check(StreamLazRecords(path, sink), sink, true);
    }
    {
        CheckingSink sink;
        Check(StreamPlyRecords(path, sink), sink, true);
    }
    return 0;
}
