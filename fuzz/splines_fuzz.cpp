// Natural cubic splines on hostile knots: unsorted and repeated abscissae,
// n = 0 and 1, NaN and infinities, vectors shorter than n says.
//
// Properties: both overloads write exactly 4n coefficients and agree to the
// bit; the vector overload refuses short vectors; a spline through sorted
// distinct knots interpolates its ordinates (a[i] = y[i] and CalcSpline on a
// knot returns y[i]); CalcSpline's flag and result follow its range rules;
// tridiag writes only solution[1 .. N] and rows 2 .. N.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;
using lumfuzz::sameValue;

constexpr double kGuard = -55.125;

void checkSplines(Input& in)
{
    const int n = in.range(-2, 24);
    const std::size_t knots = static_cast<std::size_t>(std::max(n, 0)) + 1;
    std::vector<float> x(knots), y(knots);
    const int mode = in.range(0, 2);
    float at = static_cast<float>(in.moderate());
    for (std::size_t i = 0; i < knots; ++i) {
        if (mode == 0) {
            x[i] = in.single();
        } else {
            // Ascending; mode 1 allows repeated abscissae.
            const float step = static_cast<float>(in.range(mode == 1 ? 0 : 1, 40)) / 8.0f;
            at += step;
            x[i] = at;
        }
        y[i] = mode == 0 ? in.single() : static_cast<float>(in.moderate());
    }
    const std::size_t cells = 4 * static_cast<std::size_t>(std::max(n, 0));
    std::vector<double> c1(cells + 1, kGuard);
    CubicSplines(x.data(), y.data(), n, c1.data());
    LUM_FUZZ_CHECK(sameBits(c1[cells], kGuard));
    if (n <= 0) LUM_FUZZ_CHECK(sameBits(c1[0], kGuard));

    std::vector<double> c2(cells, kGuard);
    CubicSplines(x, y, n, c2);
    LUM_FUZZ_CHECK(c2.size() == cells);
    for (std::size_t i = 0; i < cells; ++i) LUM_FUZZ_CHECK(sameBits(c1[i], c2[i]));

    // Short vectors are refused without writing.
    if (n > 0) {
        std::vector<float> shortX(x.begin(), x.end() - 1);
        std::vector<double> c3(cells, kGuard);
        CubicSplines(shortX, y, n, c3);
        std::vector<double> c4(cells - 1, kGuard);
        CubicSplines(x, y, n, c4);
        for (double v : c3) LUM_FUZZ_CHECK(sameBits(v, kGuard));
        for (double v : c4) LUM_FUZZ_CHECK(sameBits(v, kGuard));
    }
    if (n <= 0) return;

    // Evaluation through the knot table x[0..n], lo, hi, divisor.
    std::vector<float> table(x);
    table.push_back(in.single());
    table.push_back(in.single());
    table.push_back(in.flag() ? in.single() : 2.0f);
    const float lo = table[knots], hi = table[knots + 1], div = table[knots + 2];
    for (int probe = 0; probe < 4; ++probe) {
        const float t = in.flag() ? in.single() : x[static_cast<std::size_t>(in.range(0, n))];
        bool flag = true;
        const float r = CalcSpline(true, table.data(), c1.data(), n, t, &flag);
        const bool outside = x[0] > t || t > x[n];
        if (outside) {
            LUM_FUZZ_CHECK(flag);
            LUM_FUZZ_CHECK(sameValue(r, t / div));
        }
        bool off = true;
        LUM_FUZZ_CHECK(sameBits(CalcSpline(false, table.data(), c1.data(), n, t, &off), t) && !off);
        if (mode != 2 || outside) continue;
        // Sorted distinct knots: a knot maps to its own ordinate.
        for (int i = 0; i < n; ++i)
            if (t == x[i]) {
                LUM_FUZZ_CHECK(sameBits(c1[4 * static_cast<std::size_t>(i)], static_cast<double>(y[i])));
                LUM_FUZZ_CHECK(sameBits(r, y[i]));
                LUM_FUZZ_CHECK(flag == (static_cast<double>(lo) > y[i] || y[i] > static_cast<double>(hi)));
            }
    }
    bool flag = true;
    LUM_FUZZ_CHECK(sameBits(CalcSpline(true, table.data(), c1.data(), -in.range(0, 3), 1.5f, &flag), 1.5f) &&
                   !flag);
}

void checkTridiag(Input& in)
{
    const int n = in.range(-3, 20);
    const std::size_t rows = static_cast<std::size_t>(std::max(n, 0)) + 1;
    const bool hostile = in.flag();
    std::vector<double> system = hostile ? in.numbers(4 * rows) : in.moderates(4 * rows);
    if (!hostile)
        for (std::size_t r = 0; r < rows; ++r) {
            // Diagonally dominant with positive off-diagonals, as in the
            // spline systems (the elimination uses |multiplier|).
            system[4 * r] = 64.0 + std::fabs(system[4 * r]);
            system[4 * r + 1] = in.range(0, 64) / 4.0;
            system[4 * r + 3] = in.range(0, 64) / 4.0;
        }
    const std::vector<double> before = system;
    system.push_back(kGuard);
    std::vector<double> sol(rows + 1, kGuard);
    tridiag(system.data(), n, sol.data());
    LUM_FUZZ_CHECK(sameBits(system.back(), kGuard) && sameBits(sol[rows], kGuard));
    if (n < 0) {
        for (std::size_t i = 0; i < before.size(); ++i) LUM_FUZZ_CHECK(sameBits(system[i], before[i]));
        for (double v : sol) LUM_FUZZ_CHECK(sameBits(v, kGuard));
        return;
    }
    // Row 0 and row 1 are never rewritten; super-diagonals never change.
    for (std::size_t i = 0; i < std::min<std::size_t>(8, before.size()); ++i)
        LUM_FUZZ_CHECK(sameBits(system[i], before[i]));
    for (std::size_t r = 0; r < rows; ++r) LUM_FUZZ_CHECK(sameBits(system[4 * r + 1], before[4 * r + 1]));
    if (n >= 1) LUM_FUZZ_CHECK(sameBits(sol[0], kGuard));
    if (hostile || n < 1) return;
    // The solution satisfies the original system up to rounding.
    for (int r = 1; r <= n; ++r) {
        double lhs = before[4 * r] * sol[r];
        double scale = std::fabs(lhs) + std::fabs(before[4 * r + 2]);
        if (r > 1) {
            lhs += before[4 * r + 3] * sol[r - 1];
            scale += std::fabs(before[4 * r + 3] * sol[r - 1]);
        }
        if (r < n) {
            lhs += before[4 * r + 1] * sol[r + 1];
            scale += std::fabs(before[4 * r + 1] * sol[r + 1]);
        }
        LUM_FUZZ_CHECK(std::fabs(lhs - before[4 * r + 2]) <= 1e-12 * scale + 1e-300);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    if (in.byte() % 3)
        checkSplines(in);
    else
        checkTridiag(in);
    return 0;
}
