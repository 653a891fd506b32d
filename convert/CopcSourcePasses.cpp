#include "convert/CopcSourcePasses.h"

#include "io/core/LittleEndian.h"

#include <algorithm>
#include <cmath>

namespace copcwrite {
namespace {

constexpr std::size_t kCoordinateBytes = 12;
constexpr std::size_t kMapBatch = 16384;
constexpr std::size_t kGpsTimeAt = 22;  // in formats 6 to 10

bool Finite(const std::array<double, 3>& values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

bool SurveySink::Begin(const PointRecordFormat& format)
{
    if (format.format > 10)
        m_refusal = "point format " + std::to_string(format.format) + " is not a LAS format";
    else if (format.recordLength < kCoordinateBytes)
        m_refusal = "records of " + std::to_string(format.recordLength) + " bytes cannot hold coordinates";
    else if (!Finite(format.scale) || !Finite(format.offset) ||
             std::any_of(format.scale.begin(), format.scale.end(), [](double s) { return s == 0; }))
        m_refusal = "the coordinates do not fit: the scale or offset is zero or not finite";
    if (!m_refusal.empty())
        return false;
    m_survey.format = format;
    if (!m_progress(0.0)) {
        m_cancelled = true;
        return false;
    }
    return true;
}

bool SurveySink::Take(const unsigned char* records, std::size_t count)
{
    const std::uint16_t length = m_survey.format.recordLength;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* record = records + i * length;
        for (int axis = 0; axis < 3; ++axis) {
            const std::int32_t v = LoadLE<std::int32_t>(record + 4 * axis);
            m_survey.minimum[axis] = std::min(m_survey.minimum[axis], v);
            m_survey.maximum[axis] = std::max(m_survey.maximum[axis], v);
        }
    }
    m_survey.count += count;
    const std::uint64_t stated = m_survey.format.pointCount;
    const double fraction = stated > 0 ? std::min(1.0, double(m_survey.count) / double(stated)) : 0.0;
    if (!m_progress(fraction)) {
        m_cancelled = true;
        return false;
    }
    return true;
}

bool PlacementSink::Begin(const PointRecordFormat& format)
{
    const PointRecordFormat& first = m_survey.format;
    if (format.format != first.format || format.recordLength != first.recordLength || format.scale != first.scale ||
        format.offset != first.offset) {
        m_problem = "the source's format changed between two reads";
        return false;
    }
    return true;
}

bool PlacementSink::Take(const unsigned char* records, std::size_t count)
{
    const std::uint16_t length = m_mapping.targetLength;
    while (count > 0) {
        std::size_t n = 0;
        unsigned char* mapped = m_buckets.Room(std::min(count, kMapBatch), n);
        if (!mapped) {
            m_problem = m_buckets.Error();
            return false;
        }
        las::MapToExtended(m_mapping, records, n, mapped);
        m_placement.summary.Add(mapped, n, m_mapping.targetFormat, length);
        if (m_placement.summary.count > m_survey.count) {
            m_problem = "the source holds more points than it did at first";
            return false;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const double t = LoadLE<double>(mapped + i * length + kGpsTimeAt);
            if (!std::isfinite(t))
                continue;
            if (!m_anyGpsTime) {
                m_placement.gpsTimeMinimum = m_placement.gpsTimeMaximum = t;
                m_anyGpsTime = true;
            }
            m_placement.gpsTimeMinimum = std::min(m_placement.gpsTimeMinimum, t);
            m_placement.gpsTimeMaximum = std::max(m_placement.gpsTimeMaximum, t);
        }
        m_buckets.Filled(n);
        records += n * m_mapping.sourceLength;
        count -= n;
    }
    if (!m_progress(double(m_placement.summary.count) / double(m_survey.count))) {
        m_cancelled = true;
        return false;
    }
    return true;
}

}  // namespace copcwrite
