// sdpd3p_ called directly on decoded point sets.
//
// Every array is allocated with exactly the length its count describes.
// Properties: fewer than ten points write nothing; otherwise every point
// lists nine distinct other points in non-decreasing distance, its fit
// count and degree are one of the four pairs (9, 3), (5, 2), (3, 1),
// (1, 0); distinct moderate points give finite partials; data on a plane
// gives the plane's gradient and zero second derivatives.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"
#include "scattered_points.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::PointSet;
using lumfuzz::sameBits;

constexpr double kGuard = 4321.5;
constexpr int kIntGuard = -77;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    int n = in.range(-2, 40);
    if (in.byte() > 248) n = in.range(40, 300);
    PointSet p = lumfuzz::decodePoints(in, std::max(n, 0));
    const bool plane = in.flag() && p.spread;
    const double alpha = in.range(-8, 8) / 4.0, beta = in.range(-8, 8) / 4.0, gamma = in.range(-8, 8);
    if (plane)
        for (int i = 0; i < n; ++i) p.z[i] = alpha * p.x[i] + beta * p.y[i] + gamma;

    const std::size_t nn = static_cast<std::size_t>(std::max(n, 0));
    std::vector<double> partials(5 * nn, kGuard), cubic(9 * nn, kGuard), planeCoef(2 * nn, kGuard), dist(nn, kGuard);
    std::vector<int> order(nn, kIntGuard), nearest(9 * nn, kIntGuard), fitCount(nn, kIntGuard),
        fitDegree(nn, kIntGuard);
    int count = n;
    const int r = sdpd3p_(&count, p.x.data(), p.y.data(), p.z.data(), partials.data(), cubic.data(),
                          planeCoef.data(), dist.data(), order.data(), nearest.data(), fitCount.data(),
                          fitDegree.data());
    LUM_FUZZ_CHECK(r == 0);
    if (n < 10) {
        for (double v : partials) LUM_FUZZ_CHECK(sameBits(v, kGuard));
        for (int v : nearest) LUM_FUZZ_CHECK(v == kIntGuard);
        return 0;
    }
    bool finiteCoordinates = true;
    for (int i = 0; i < n; ++i) finiteCoordinates = finiteCoordinates && std::isfinite(p.x[i]) && std::isfinite(p.y[i]);
    for (int i = 0; i < n; ++i) {
        const int* nb = &nearest[9 * static_cast<std::size_t>(i)];
        double previous = 0.0;
        for (int k = 0; k < 9; ++k) {
            LUM_FUZZ_CHECK(nb[k] >= 1 && nb[k] <= n && nb[k] != i + 1);
            for (int l = 0; l < k; ++l) LUM_FUZZ_CHECK(nb[l] != nb[k]);
            if (!finiteCoordinates) continue;
            const double dx = p.x[nb[k] - 1] - p.x[i], dy = p.y[nb[k] - 1] - p.y[i];
            const double d = dx * dx + dy * dy;
            LUM_FUZZ_CHECK(!(d < previous));
            previous = d;
        }
        const int c = fitCount[i], g = fitDegree[i];
        LUM_FUZZ_CHECK((c == 9 && g == 3) || (c == 5 && g == 2) || (c == 3 && g == 1) || (c == 1 && g == 0));
    }
    if (!p.spread) return 0;
    for (double v : partials) LUM_FUZZ_CHECK(std::isfinite(v));
    if (!plane) return 0;
    double extent = 0.0;
    for (int i = 0; i < n; ++i) extent = std::max({extent, std::fabs(p.x[i] - p.x[0]), std::fabs(p.y[i] - p.y[0])});
    const double scale = std::fabs(alpha) + std::fabs(beta) + (std::fabs(gamma) + 1.0) / extent;
    for (int i = 0; i < n; ++i) {
        const double* pd = &partials[5 * static_cast<std::size_t>(i)];
        LUM_FUZZ_CHECK(std::fabs(pd[0] - alpha) <= 1e-6 * scale);
        LUM_FUZZ_CHECK(std::fabs(pd[1] - beta) <= 1e-6 * scale);
        for (int k = 2; k < 5; ++k) LUM_FUZZ_CHECK(std::fabs(pd[k]) <= 1e-6 * scale / extent);
    }
    return 0;
}
