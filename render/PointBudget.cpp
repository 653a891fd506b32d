#include "render/PointBudget.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

bool ContainsIgnoringCase(std::string_view text, std::string_view word)
{
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace

bool IsSoftwareRenderer(std::string_view glRenderer)
{
    return ContainsIgnoringCase(glRenderer, "llvmpipe") || ContainsIgnoringCase(glRenderer, "softpipe");
}

std::uint64_t StillPointBudget(std::int64_t setting, std::string_view glRenderer)
{
    if (setting == 0)
        return kEveryPoint;
    if (setting > 0)
        return static_cast<std::uint64_t>(setting);
    return IsSoftwareRenderer(glRenderer) ? kSoftwarePointBudget : kHardwarePointBudget;
}

std::uint64_t PointBudget(std::int64_t setting, std::string_view glRenderer, bool cameraMoving)
{
    const std::uint64_t still = StillPointBudget(setting, glRenderer);
    if (!cameraMoving || still == kEveryPoint)
        return still;
    return std::max<std::uint64_t>(still / 4, 1);
}

bool NeedsOctree(std::uint64_t pointCount, std::uint64_t stillBudget)
{
    return pointCount > stillBudget;
}
