#pragma once

#include "io/core/PointRecords.h"

#include <cstddef>
#include <vector>

namespace testsupport {

// A record sink that keeps everything it is given; it may stop the read after a number of
// records to test cancellation.
class RecordCollector : public PointRecordSink {
public:
    explicit RecordCollector(std::size_t stopAfter = SIZE_MAX) : m_stopAfter(stopAfter) {}

    bool Begin(const PointRecordFormat& begun) override
    {
        format = begun;
        ++begins;
        return m_stopAfter > 0;
    }
    bool Take(const unsigned char* bytes, std::size_t count) override
    {
        records.insert(records.end(), bytes, bytes + count * format.recordLength);
        this->count += count;
        return this->count < m_stopAfter;
    }

    PointRecordFormat format;
    std::vector<unsigned char> records;
    std::size_t count = 0;
    int begins = 0;

private:
    std::size_t m_stopAfter;
};

}  // namespace testsupport
