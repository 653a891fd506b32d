#pragma once

#include "io/core/ReadResult.h"

#include <cmath>
#include <string>

// Degree-0 SH constant: a colour channel c in [0, 1] is stored as f_dc = (c - 0.5) / kSplatShC0.
inline constexpr float kSplatShC0 = 0.28209479177387814f;

// The logit of an opacity in [0, 1]: the value a 3DGS PLY stores for it (±inf at the ends,
// which the logistic function turns back into 0 and 1).
inline float OpacityLogit(float alpha)
{
    return -std::log(1.0f / alpha - 1.0f);
}

// The value a fraction t of the way from low to high, as the quantising writers define it.
inline float Lerp(float low, float high, float t)
{
    return low * (1.0f - t) + high * t;
}

// The failure a progress callback's stop request turns into.
inline ReadFailure CancelledFailure(const char* format)
{
    return Fail(ReadError::Cancelled, std::string(format) + ": loading was cancelled");
}

// A broken rule of the format, `what` saying which.
inline ReadFailure MalformedFailure(const char* format, const std::string& what)
{
    return Fail(ReadError::Malformed, std::string(format) + ": " + what);
}
