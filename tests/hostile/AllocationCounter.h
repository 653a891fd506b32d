#pragma once

#include <cstddef>

namespace hostile {

// The most memory the process held through operator new at any moment since this object
// was made, above what it held then. This test executable replaces the global operator new
// and delete to keep the count, so everything the readers allocate (standard containers,
// strings, streams, the JSON library) is seen, touched or not.
class PeakAllocation {
public:
    PeakAllocation();
    PeakAllocation(const PeakAllocation&) = delete;
    PeakAllocation& operator=(const PeakAllocation&) = delete;

    std::size_t Bytes() const;

private:
    std::size_t m_start;
};

}  // namespace hostile
