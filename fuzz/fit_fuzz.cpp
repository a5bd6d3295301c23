// Least-squares fits on hostile points, degrees and counts.
//
// Properties: a fit reports 1 only with finite coefficients and leaves the
// coefficient array untouched when it reports 0 (no points, singular or
// non-finite data, negative sizes, too few abscissae); the interleaved and
// the vector form agree to the bit; data drawn from a polynomial with
// well-separated abscissae is reproduced; the outlier-rejecting fit returns
// -1, 0 or 1, clears the flag on -1 and writes only degree + 1 coefficients.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;

constexpr double kGuard = 123.5;
constexpr int kMaxDegree = 8;

void checkCoefficients(int result, const std::vector<double>& c, int degree)
{
    const int m = degree >= 0 ? degree + 1 : 0;
    for (std::size_t j = static_cast<std::size_t>(m); j < c.size(); ++j) LUM_FUZZ_CHECK(sameBits(c[j], kGuard));
    for (int j = 0; j < m; ++j) {
        if (result == 1) LUM_FUZZ_CHECK(std::isfinite(c[static_cast<std::size_t>(j)]));
        if (result == 0) LUM_FUZZ_CHECK(sameBits(c[static_cast<std::size_t>(j)], kGuard));
    }
}

void checkPolyfit(Input& in)
{
    const int n = in.range(-2, 24);
    const int degree = in.range(-2, kMaxDegree);
    const std::size_t count = static_cast<std::size_t>(std::max(n, 0));
    std::vector<double> points(2 * count);
    const int mode = in.range(0, 2);
    std::vector<double> truth(static_cast<std::size_t>(std::max(degree, 0)) + 1);
    for (double& t : truth) t = in.range(-8, 8) / 4.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (mode == 0) {
            points[2 * i] = in.number();
            points[2 * i + 1] = in.number();
        } else if (mode == 1) {
            // Few distinct abscissae: singular or nearly singular systems.
            points[2 * i] = in.range(0, 2);
            points[2 * i + 1] = in.moderate();
        } else {
            // Exact polynomial data on the abscissae -1, -0.75, ... (spread).
            const double x = static_cast<double>(i) / 4.0 - 1.0;
            double y = 0.0;
            for (std::size_t j = truth.size(); j-- > 0;) y = y * x + truth[j];
            points[2 * i] = x;
            points[2 * i + 1] = y;
        }
    }

    std::vector<double> c1(kMaxDegree + 2, kGuard), c2(kMaxDegree + 2, kGuard);
    const int r1 = JPolyfit(n, points.data(), degree, c1.data());
    LUM_FUZZ_CHECK(r1 == 0 || r1 == 1);
    checkCoefficients(r1, c1, degree);
    if (n < 1 || degree < 0) LUM_FUZZ_CHECK(r1 == 0);

    std::vector<double> y(count), x(count);
    for (std::size_t i = 0; i < count; ++i) {
        x[i] = points[2 * i];
        y[i] = points[2 * i + 1];
    }
    const int r2 = linearFit(y, x, degree, c2.data());
    LUM_FUZZ_CHECK(r2 == r1);
    for (std::size_t j = 0; j < c1.size(); ++j) LUM_FUZZ_CHECK(sameBits(c1[j], c2[j]));

    // Too few abscissae: refused without writing.
    if (count > 0) {
        std::vector<double> c3(kMaxDegree + 2, kGuard);
        std::vector<double> shortX(x.begin(), x.end() - 1);
        LUM_FUZZ_CHECK(linearFit(y, shortX, degree, c3.data()) == 0);
        checkCoefficients(0, c3, degree);
    }

    if (mode == 2 && r1 == 1 && n >= degree + 1 && degree >= 0 && n <= 12) {
        // Normal equations on spread abscissae of moderate degree: the data's
        // own polynomial comes back up to rounding.
        for (int j = 0; j <= degree && degree <= 4; ++j)
            LUM_FUZZ_CHECK(std::fabs(c1[static_cast<std::size_t>(j)] - truth[static_cast<std::size_t>(j)]) < 1e-6);
    }

    // Horner evaluation: negative degrees read nothing.
    LUM_FUZZ_CHECK(sameBits(PolyCalc(in.number(), nullptr, -1 - in.range(0, 5)), 0.0));
    if (r1 == 1) (void)PolyCalc(in.number(), c1.data(), degree);
}

void checkOutlierFit(Input& in)
{
    const int n = in.range(-2, 60);
    const int degree = in.range(-1, 4);
    const std::size_t count = static_cast<std::size_t>(std::max(n, 0));
    std::vector<double> points(2 * count);
    const bool hostile = in.flag();
    double x = in.moderate();
    for (std::size_t i = 0; i < count; ++i) {
        if (hostile) {
            points[2 * i] = in.number();
            points[2 * i + 1] = in.number();
            continue;
        }
        // Runs of repeated readings: the abscissa mostly stays (within the
        // run tolerance) and sometimes jumps; readings scatter around a line
        // with occasional outliers.
        const std::uint8_t step = in.byte();
        if (step < 60) x += 1.0 + step / 16.0;
        else if (step < 70) x += 0.0004;
        points[2 * i] = x;
        points[2 * i + 1] = 0.5 * x + (in.byte() < 240 ? in.range(-4, 4) / 64.0 : in.moderate());
    }
    bool flag = in.flag();
    const bool flagIn = flag;
    std::vector<double> c(kMaxDegree + 2, kGuard);
    const int r = JPolyfitRemoverOutlier(n, points.data(), degree, c.data(), flag);
    LUM_FUZZ_CHECK(r == -1 || r == 0 || r == 1);
    if (r == -1) LUM_FUZZ_CHECK(!flag);
    if (!flagIn) LUM_FUZZ_CHECK(!flag);
    const int m = degree >= 0 ? degree + 1 : 0;
    for (std::size_t j = static_cast<std::size_t>(m); j < c.size(); ++j) LUM_FUZZ_CHECK(sameBits(c[j], kGuard));
    if (r == 1)
        for (int j = 0; j < m; ++j) LUM_FUZZ_CHECK(std::isfinite(c[static_cast<std::size_t>(j)]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    if (in.flag())
        checkPolyfit(in);
    else
        checkOutlierFit(in);
    return 0;
}
