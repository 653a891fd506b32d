#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

// The setting's values: absent or negative means automatic, 0 means every point, N means N.
inline constexpr std::int64_t kAutomaticPointBudget = -1;
inline constexpr std::uint64_t kEveryPoint = std::numeric_limits<std::uint64_t>::max();
inline constexpr std::uint64_t kSoftwarePointBudget = 1'000'000;
inline constexpr std::uint64_t kHardwarePointBudget = 30'000'000;

// True when GL_RENDERER names one of Mesa's software rasterisers (llvmpipe, softpipe).
bool IsSoftwareRenderer(std::string_view glRenderer);

// Points a frame may draw with the camera still: the setting, or where it is automatic, what
// the renderer can draw at an interactive rate.
std::uint64_t StillPointBudget(std::int64_t setting, std::string_view glRenderer);

// Points a frame may draw: a quarter of the still budget while the camera moves.
std::uint64_t PointBudget(std::int64_t setting, std::string_view glRenderer, bool cameraMoving);

// A cloud the still budget covers keeps its file order and needs no tree.
bool NeedsOctree(std::uint64_t pointCount, std::uint64_t stillBudget);
