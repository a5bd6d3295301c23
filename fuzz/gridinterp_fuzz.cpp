// Grid interpolation and encoder calibration on hostile grids, tables,
// fractions and angles.
//
// Grids and tables are allocated with exactly `count` entries, so a read
// past the end is reported. Properties: getNeighbours brackets the value on
// an ascending grid and leaves its outputs alone above the last node, for an
// empty grid and for a single node; trilinear blends stay within their
// corner values for fractions in [0, 1]; the built-in table gives 0.0
// outside its box; the encoder correction is the angle itself outside the
// table and for a null or empty table, and within the table's error range
// (in arc-seconds) inside it.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;

void checkNeighbours(Input& in)
{
    const int count = in.range(-2, 12);
    const std::size_t len = static_cast<std::size_t>(std::max(count, 0));
    std::unique_ptr<double[]> grid(new double[len]);
    const bool sorted = in.flag();
    double at = in.moderate();
    for (std::size_t i = 0; i < len; ++i) {
        if (sorted) {
            at += in.range(0, 8) / 4.0;
            grid[i] = at;
        } else {
            grid[i] = in.number();
        }
    }
    const double value = in.flag() ? in.number() : (len ? grid[in.range(0, static_cast<int>(len) - 1)] : 0.0);
    // A NaN guard: no grid node of the sorted case can carry its bits.
    const double guard = -std::numeric_limits<double>::quiet_NaN();
    double lower = guard, upper = guard;
    getNeighbours(value, count, grid.get(), lower, upper);
    const bool untouched = sameBits(lower, guard) && sameBits(upper, guard);
    if (count < 2) {
        LUM_FUZZ_CHECK(untouched);
        return;
    }
    if (!sorted) return;
    const double last = grid[len - 1];
    if (value > last) {
        LUM_FUZZ_CHECK(untouched);
        return;
    }
    LUM_FUZZ_CHECK(!untouched);
    // Two neighbouring nodes: lower is the node just before upper, and upper
    // is the first node not below the value (the first cell below the grid).
    std::size_t i = 0;
    while (i < len && value > grid[i]) ++i;
    const std::size_t u = i == 0 ? 1 : i;
    LUM_FUZZ_CHECK(sameBits(upper, grid[u]) && sameBits(lower, grid[u - 1]));
    if (value >= grid[0]) LUM_FUZZ_CHECK(lower <= value && value <= upper);
}

void checkTrilinear(Input& in)
{
    const int count = in.range(1, 16);
    std::vector<double> values = in.moderates(static_cast<std::size_t>(count));
    int corners[8];
    for (int& c : corners) c = in.range(0, count - 1);
    const bool inside = in.flag();
    const double tx = inside ? in.range(0, 64) / 64.0 : in.number();
    const double ty = inside ? in.range(0, 64) / 64.0 : in.number();
    const double tz = inside ? in.range(0, 64) / 64.0 : in.number();
    const double r = getTrilinearInterpolationNew(values.data(), corners, tx, ty, tz);
    if (inside) {
        double lo = values[corners[0]], hi = lo, mag = 0.0;
        for (int c : corners) {
            lo = std::min(lo, values[c]);
            hi = std::max(hi, values[c]);
            mag = std::max(mag, std::fabs(values[c]));
        }
        const double slack = 16 * std::numeric_limits<double>::epsilon() * mag;
        LUM_FUZZ_CHECK(r >= lo - slack && r <= hi + slack);
    }

    const double x = in.flag() ? in.number() : in.range(-64, 64) / 2.0;
    const double y = in.flag() ? in.number() : in.range(-48, 48) / 2.0;
    const double z = in.flag() ? in.number() : in.range(-24, 24) / 2.0;
    const double t = getTrilinearInterpolation(x, y, z);
    const bool inBox = x >= -15 && x <= 15 && y >= -10 && y <= 10 && z >= -5 && z <= 5;
    if (!inBox && !(std::isnan(x) || std::isnan(y) || std::isnan(z))) LUM_FUZZ_CHECK(sameBits(t, 0.0));
    // Node values of the built-in table lie between 0.279 and 1.94.
    if (inBox) LUM_FUZZ_CHECK(t >= 0.2789 && t <= 1.9401);

    const double x0 = in.number(), x1 = in.number(), y0 = in.number(), y1 = in.number();
    (void)linearInterpolation(in.number(), x0, y0, x1, y1);
    if (std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1) && x1 != x0 &&
        std::isfinite(y1 - y0))
        LUM_FUZZ_CHECK(linearInterpolation(x0, x0, y0, x1, y1) == y0);
}

void checkEncoder(Input& in)
{
    const unsigned count = static_cast<unsigned>(in.range(0, 10));
    std::unique_ptr<float[]> table(new float[2 * count]);
    const bool sorted = in.flag();
    float at = static_cast<float>(in.range(-360, 360));
    float lo = 0, hi = 0;
    for (unsigned k = 0; k < count; ++k) {
        if (sorted) {
            at += static_cast<float>(in.range(1, 40)) / 4.0f;
            table[2 * k] = at;
            table[2 * k + 1] = static_cast<float>(in.range(-3600, 3600));
        } else {
            table[2 * k] = in.single();
            table[2 * k + 1] = in.single();
        }
        lo = k == 0 ? table[2 * k + 1] : std::min(lo, table[2 * k + 1]);
        hi = k == 0 ? table[2 * k + 1] : std::max(hi, table[2 * k + 1]);
    }
    const double angle = in.flag() ? in.number() : (count ? table[2 * in.range(0, count - 1)] + in.range(-8, 8) / 8.0 : 0.0);
    const float r = encoderCalibration(angle, count, table.get());
    LUM_FUZZ_CHECK(sameBits(encoderCalibration(angle, 0, table.get()), static_cast<float>(angle)));
    LUM_FUZZ_CHECK(sameBits(encoderCalibration(angle, count, nullptr), static_cast<float>(angle)));
    if (!sorted || count == 0) return;
    if (std::isnan(angle) || angle < table[0] || angle > table[2 * (count - 1)]) {
        LUM_FUZZ_CHECK(sameBits(r, static_cast<float>(angle)));
        return;
    }
    // Inside: the correction lies between the table's smallest and largest
    // error (interpolation between neighbouring pairs).
    const float below = static_cast<float>(angle - hi / 3600.0);
    const float above = static_cast<float>(angle - lo / 3600.0);
    LUM_FUZZ_CHECK(r >= below && r <= above);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    switch (in.byte() % 3) {
    case 0: checkNeighbours(in); break;
    case 1: checkTrilinear(in); break;
    default: checkEncoder(in); break;
    }
    return 0;
}
