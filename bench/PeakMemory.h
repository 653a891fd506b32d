#pragma once

#include <cstdint>
#include <fstream>
#include <string>

// Peak resident memory of one benchmark iteration, read from /proc (Linux): call
// ResetPeakResidentBytes() before the work and PeakResidentBytes() after it; the
// difference to ResidentBytes() taken before is what the work itself needed at its peak.
inline std::uint64_t ProcStatusKilobytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::stoull(line.substr(key.size() + 1));
    return 0;
}

inline std::uint64_t ResidentBytes()
{
    return ProcStatusKilobytes("VmRSS") * 1024;
}

inline std::uint64_t PeakResidentBytes()
{
    return ProcStatusKilobytes("VmHWM") * 1024;
}

// Sets the peak back to the current resident size (writing 5 to clear_refs).
inline void ResetPeakResidentBytes()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}
