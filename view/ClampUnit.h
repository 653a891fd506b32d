#pragma once

// Clamps to 0..1, as the segmentation blend must be; NaN counts as 0.
inline float ClampUnit(float value)
{
    if (value > 1.0f)
        return 1.0f;
    return value >= 0.0f ? value : 0.0f;
}
