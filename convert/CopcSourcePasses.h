#pragma once

#include "convert/PointBuckets.h"
#include "io/core/PointRecords.h"
#include "io/las/ExtendedRecords.h"
#include "io/las/LasHeaderWrite.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// The builder's two reads of the source: the first finds the format, the count and the
// bounds; the second rewrites the records to LAS 1.4 and sorts them into buckets.
namespace copcwrite {

// Reports a fraction of the whole build; false once the caller asked to stop.
using StageProgress = std::function<bool(double fraction)>;

struct Survey {
    PointRecordFormat format;
    std::uint64_t count = 0;
    std::array<std::int32_t, 3> minimum{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(),
                                        std::numeric_limits<std::int32_t>::max()};
    std::array<std::int32_t, 3> maximum{std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::min()};
};

class SurveySink : public PointRecordSink {
public:
    explicit SurveySink(StageProgress progress) : m_progress(std::move(progress)) {}
    bool Begin(const PointRecordFormat& format) override;
    bool Take(const unsigned char* records, std::size_t count) override;

    const Survey& Result() const { return m_survey; }
    // Why the sink stopped the read, when it was not a cancellation: the format cannot be built.
    const std::string& Refusal() const { return m_refusal; }
    bool Cancelled() const { return m_cancelled; }

private:
    StageProgress m_progress;
    Survey m_survey;
    std::string m_refusal;
    bool m_cancelled = false;
};

// What the second read adds up while it places the records.
struct Placement {
    las::PointSummary summary;
    double gpsTimeMinimum = 0;
    double gpsTimeMaximum = 0;
};

class PlacementSink : public PointRecordSink {
public:
    PlacementSink(const Survey& survey, const las::ExtendedMapping& mapping, octree::PointBuckets& buckets,
                  StageProgress progress)
        : m_survey(survey), m_mapping(mapping), m_buckets(buckets), m_progress(std::move(progress))
    {
    }
    bool Begin(const PointRecordFormat& format) override;
    bool Take(const unsigned char* records, std::size_t count) override;

    const Placement& Result() const { return m_placement; }
    // Why the sink stopped the read, when it was not a cancellation.
    const std::string& Problem() const { return m_problem; }
    bool Cancelled() const { return m_cancelled; }

private:
    const Survey& m_survey;
    las::ExtendedMapping m_mapping;
    octree::PointBuckets& m_buckets;
    StageProgress m_progress;
    Placement m_placement;
    bool m_anyGpsTime = false;
    std::string m_problem;
    bool m_cancelled = false;
};

}  // namespace copcwrite
