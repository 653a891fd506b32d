#include "capture/ImageMetrics.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace {

constexpr int kWindow = 11;
constexpr int kRadius = kWindow / 2;
constexpr double kSigma = 1.5;
constexpr double kC1 = 0.01 * 0.01;
constexpr double kC2 = 0.03 * 0.03;

std::array<double, kWindow> GaussianWeights()
{
    std::array<double, kWindow> weights{};
    double sum = 0.0;
    for (int i = 0; i < kWindow; ++i) {
        const double x = i - kRadius;
        weights[static_cast<std::size_t>(i)] = std::exp(-x * x / (2.0 * kSigma * kSigma));
        sum += weights[static_cast<std::size_t>(i)];
    }
    for (double& weight : weights)
        weight /= sum;
    return weights;
}

// The plane filtered by the window, which is separable: along rows, then along columns,
// zeros outside the plane.
std::vector<double> Blur(const std::vector<double>& plane, int width, int height)
{
    static const std::array<double, kWindow> weights = GaussianWeights();
    const auto at = [width](int x, int y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x); };
    std::vector<double> rows(plane.size(), 0.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum = 0.0;
            for (int k = -kRadius; k <= kRadius; ++k)
                if (x + k >= 0 && x + k < width)
                    sum += weights[static_cast<std::size_t>(k + kRadius)] * plane[at(x + k, y)];
            rows[at(x, y)] = sum;
        }
    std::vector<double> blurred(plane.size(), 0.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum = 0.0;
            for (int k = -kRadius; k <= kRadius; ++k)
                if (y + k >= 0 && y + k < height)
                    sum += weights[static_cast<std::size_t>(k + kRadius)] * rows[at(x, y + k)];
            blurred[at(x, y)] = sum;
        }
    return blurred;
}

}  // namespace

double PeakSignalToNoise(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    if (a.size() != b.size() || a.empty())
        return std::numeric_limits<double>::quiet_NaN();
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = (static_cast<double>(a[i]) - static_cast<double>(b[i])) / 255.0;
        sum += d * d;
    }
    if (sum == 0.0)
        return std::numeric_limits<double>::infinity();
    return -10.0 * std::log10(sum / static_cast<double>(a.size()));
}

double StructuralSimilarity(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, int width, int height)
{
    const std::size_t pixels = static_cast<std::size_t>(width > 0 ? width : 0) * static_cast<std::size_t>(height > 0 ? height : 0);
    if (pixels == 0 || a.size() != pixels * 3 || b.size() != pixels * 3)
        return std::numeric_limits<double>::quiet_NaN();
    double total = 0.0;
    std::vector<double> x(pixels), y(pixels), xx(pixels), yy(pixels), xy(pixels);
    for (std::size_t channel = 0; channel < 3; ++channel) {
        for (std::size_t i = 0; i < pixels; ++i) {
            x[i] = a[i * 3 + channel] / 255.0;
            y[i] = b[i * 3 + channel] / 255.0;
            xx[i] = x[i] * x[i];
            yy[i] = y[i] * y[i];
            xy[i] = x[i] * y[i];
        }
        const std::vector<double> muX = Blur(x, width, height);
        const std::vector<double> muY = Blur(y, width, height);
        const std::vector<double> meanXX = Blur(xx, width, height);
        const std::vector<double> meanYY = Blur(yy, width, height);
        const std::vector<double> meanXY = Blur(xy, width, height);
        for (std::size_t i = 0; i < pixels; ++i) {
            const double varX = meanXX[i] - muX[i] * muX[i];
            const double varY = meanYY[i] - muY[i] * muY[i];
            const double covariance = meanXY[i] - muX[i] * muY[i];
            total += ((2.0 * muX[i] * muY[i] + kC1) * (2.0 * covariance + kC2)) /
                     ((muX[i] * muX[i] + muY[i] * muY[i] + kC1) * (varX + varY + kC2));
        }
    }
    return total / static_cast<double>(pixels * 3);
}
