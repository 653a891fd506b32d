#pragma once

#include <cstdint>
#include <span>

// How close a render is to a photo. Both are 8-bit RGB, 3 bytes a pixel, rows top-down
// without padding, of the same size; values are taken in [0, 1].

// Peak signal-to-noise ratio in dB over all three channels; infinity for identical images.
double PeakSignalToNoise(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// Structural similarity as splat trainers report it: a Gaussian window of 11 pixels with
// sigma 1.5 (the image taken as zero beyond its edges), C1 = 0.01^2 and C2 = 0.03^2, the
// map averaged over every pixel of the R, G and B channels. 1 for identical images.
double StructuralSimilarity(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, int width, int height);
