// Cubic spline coefficients, the tridiagonal solver and spline evaluation.

#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Segment {
    double a, b, c, d;
};

Segment segment(const std::vector<double>& coef, int i)
{
    return {coef[4 * i], coef[4 * i + 1], coef[4 * i + 2], coef[4 * i + 3]};
}

double value(const Segment& s, double u) { return s.a + u * (s.b + u * (s.c + u * s.d)); }
double slopeAt(const Segment& s, double u) { return s.b + u * (2 * s.c + 3 * u * s.d); }
double curvatureAt(const Segment& s, double u) { return 2 * s.c + 6 * u * s.d; }

std::uint64_t bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Random knots with spacings in [0.25, 2] and ordinates in [-10, 10]. The
// abscissae are multiples of 2^-10, so their float differences are exact and
// the spline can be compared with one built on exact spacings.
void randomKnots(std::mt19937& rng, int n, std::vector<float>& x, std::vector<float>& y)
{
    std::uniform_int_distribution<int> gap(256, 2048), start(-5120, 5120);
    std::uniform_real_distribution<float> ord(-10.0f, 10.0f);
    x.assign(n + 1, 0.0f);
    y.assign(n + 1, 0.0f);
    int grid = start(rng);
    for (int i = 0; i <= n; ++i) {
        if (i > 0) grid += gap(rng);
        x[i] = std::ldexp(static_cast<float>(grid), -10);
        y[i] = ord(rng);
    }
}

// Independent slow path: the natural spline in second-derivative form, with
// the full (n+1) x (n+1) system solved by Gaussian elimination with partial
// pivoting in long double.
long double referenceSpline(const std::vector<float>& xf, const std::vector<float>& yf, long double t)
{
    const int n = static_cast<int>(xf.size()) - 1;
    std::vector<long double> x(xf.begin(), xf.end()), y(yf.begin(), yf.end());
    const int m = n + 1;
    std::vector<std::vector<long double>> A(m, std::vector<long double>(m + 1, 0.0L));
    A[0][0] = 1.0L;
    A[n][n] = 1.0L;
    for (int i = 1; i < n; ++i) {
        const long double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
        A[i][i - 1] = h0 / 6;
        A[i][i] = (h0 + h1) / 3;
        A[i][i + 1] = h1 / 6;
        A[i][m] = (y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0;
    }
    for (int col = 0; col < m; ++col) {
        int piv = col;
        for (int r = col + 1; r < m; ++r)
            if (std::fabs(A[r][col]) > std::fabs(A[piv][col])) piv = r;
        std::swap(A[col], A[piv]);
        for (int r = col + 1; r < m; ++r) {
            const long double f = A[r][col] / A[col][col];
            for (int c = col; c <= m; ++c) A[r][c] -= f * A[col][c];
        }
    }
    std::vector<long double> M(m);
    for (int r = m - 1; r >= 0; --r) {
        long double s = A[r][m];
        for (int c = r + 1; c < m; ++c) s -= A[r][c] * M[c];
        M[r] = s / A[r][r];
    }
    int i = 0;
    while (i < n - 1 && t >= x[i + 1]) ++i;
    const long double h = x[i + 1] - x[i], l = x[i + 1] - t, r = t - x[i];
    return M[i] * l * l * l / (6 * h) + M[i + 1] * r * r * r / (6 * h) + (y[i] / h - M[i] * h / 6) * l +
           (y[i + 1] / h - M[i + 1] * h / 6) * r;
}

// Knot table for CalcSpline: knots, then lowest value, highest value, divisor.
std::vector<float> knotTable(const std::vector<float>& x, float lowest, float highest, float divisor)
{
    std::vector<float> table(x);
    table.push_back(lowest);
    table.push_back(highest);
    table.push_back(divisor);
    return table;
}

}  // namespace

TEST(CubicSplines, ThreeKnotArchHasExactCoefficients)
{
    std::vector<float> x{0, 1, 2}, y{0, 1, 0};
    std::vector<double> coef(8, kNaN);
    CubicSplines(x, y, 2, coef);
    const std::vector<double> expected{0, 1.5, 0, -0.5, 1, 0, -1.5, 0.5};
    EXPECT_EQ(coef, expected);

    std::vector<double> raw(8, kNaN);
    CubicSplines(x.data(), y.data(), 2, raw.data());
    EXPECT_EQ(raw, expected);
}

TEST(CubicSplines, SingleSegmentIsTheChordWithNegativeZeroCubic)
{
    float x[] = {1.0f, 3.0f}, y[] = {2.0f, 7.0f};
    double coef[4];
    CubicSplines(x, y, 1, coef);
    EXPECT_EQ(coef[0], 2.0);
    EXPECT_EQ(coef[1], 2.5);
    EXPECT_EQ(bits(coef[2]), bits(0.0));
    EXPECT_EQ(bits(coef[3]), bits(-0.0));
}

TEST(CubicSplines, CollinearKnotsGiveAStraightLine)
{
    std::vector<float> x{0, 1, 2.5f, 3, 4.5f, 6}, y;
    for (float v : x) y.push_back(2 * v + 1);
    std::vector<double> coef(20);
    CubicSplines(x, y, 5, coef);
    for (int i = 0; i < 5; ++i) {
        const Segment s = segment(coef, i);
        EXPECT_EQ(s.a, y[i]) << "segment " << i;
        EXPECT_EQ(s.b, 2.0) << "segment " << i;
        EXPECT_EQ(s.c, 0.0) << "segment " << i;
        EXPECT_EQ(s.d, 0.0) << "segment " << i;
    }
}

// The spacing is the float difference of the abscissae, widened; the slope
// widens the ordinates before subtracting. 1.0f - 0.001f is inexact in float.
TEST(CubicSplines, SpacingRoundsInFloatOrdinateDifferenceInDouble)
{
    float x[] = {0.001f, 1.0f}, y[] = {0.001f, 1.0f};
    double coef[4];
    CubicSplines(x, y, 1, coef);
    const double h = static_cast<double>(x[1] - x[0]);
    const double expected = (static_cast<double>(y[1]) - static_cast<double>(y[0])) / h;
    ASSERT_NE(h, static_cast<double>(x[1]) - static_cast<double>(x[0]));
    ASSERT_NE(expected, static_cast<double>(y[1] - y[0]) / h);
    EXPECT_EQ(coef[1], expected);
}

TEST(CubicSplines, RandomKnotsPassThroughKnotsWithContinuousDerivativesAndNaturalEnds)
{
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 50; ++trial) {
        const int n = 1 + trial % 25;
        std::vector<float> x, y;
        randomKnots(rng, n, x, y);
        std::vector<double> coef(4 * n);
        CubicSplines(x, y, n, coef);
        const double tol = 1e-9;
        for (int i = 0; i < n; ++i) {
            const Segment s = segment(coef, i);
            const double h = static_cast<double>(x[i + 1] - x[i]);
            EXPECT_EQ(s.a, static_cast<double>(y[i]));
            EXPECT_NEAR(value(s, h), y[i + 1], tol) << "n " << n << " segment " << i;
            if (i + 1 < n) {
                const Segment next = segment(coef, i + 1);
                EXPECT_NEAR(slopeAt(s, h), next.b, tol) << "n " << n << " knot " << i + 1;
                EXPECT_NEAR(curvatureAt(s, h), 2 * next.c, tol) << "n " << n << " knot " << i + 1;
            }
        }
        EXPECT_EQ(coef[2], 0.0);
        const Segment last = segment(coef, n - 1);
        EXPECT_NEAR(curvatureAt(last, static_cast<double>(x[n] - x[n - 1])), 0.0, tol) << "n " << n;
    }
}

TEST(CubicSplines, OverloadsAgreeBitForBitAndMatchTheSlowPath)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20; ++trial) {
        const int n = 2 + trial * 3;
        std::vector<float> x, y;
        randomKnots(rng, n, x, y);
        std::vector<double> viaVector(4 * n), viaPointer(4 * n);
        CubicSplines(x, y, n, viaVector);
        CubicSplines(x.data(), y.data(), n, viaPointer.data());
        for (int k = 0; k < 4 * n; ++k) ASSERT_EQ(bits(viaVector[k]), bits(viaPointer[k])) << k;

        for (int i = 0; i < n; ++i) {
            const Segment s = segment(viaVector, i);
            for (double f : {0.25, 0.5, 0.9}) {
                const double u = f * (x[i + 1] - x[i]);
                const long double ref = referenceSpline(x, y, static_cast<long double>(x[i]) + u);
                EXPECT_NEAR(value(s, u), static_cast<double>(ref), 1e-9) << "n " << n << " segment " << i;
            }
        }
    }
}

TEST(CubicSplines, NothingIsWrittenForEmptyOrShortArguments)
{
    std::vector<float> x{0, 1, 2}, y{0, 1, 0};
    const std::vector<double> untouched(8, -7.0);
    std::vector<double> coef = untouched;

    CubicSplines(x, y, 0, coef);
    CubicSplines(x, y, -3, coef);
    EXPECT_EQ(coef, untouched);

    std::vector<float> shortX{0, 1}, shortY{0, 1};
    CubicSplines(shortX, y, 2, coef);
    CubicSplines(x, shortY, 2, coef);
    EXPECT_EQ(coef, untouched);

    std::vector<double> shortCoef(7, -7.0);
    CubicSplines(x, y, 2, shortCoef);
    EXPECT_EQ(shortCoef, std::vector<double>(7, -7.0));

    std::vector<double> empty;
    CubicSplines(x, y, 2, empty);
    EXPECT_TRUE(empty.empty());

    double raw[8] = {-7, -7, -7, -7, -7, -7, -7, -7};
    CubicSplines(x.data(), y.data(), 0, raw);
    for (double v : raw) EXPECT_EQ(v, -7.0);
}

TEST(Tridiag, EliminatesInPlaceAndBackSubstitutes)
{
    // Rows 1..3: [4 1 | 6], [1 4 1 | 11.5], [2 4 | 14] (solution 1, 2, 2.5);
    // row 0 and the slots that must not be read hold NaN.
    double sys[16] = {kNaN, kNaN, kNaN, kNaN,  //
                      4, 1, 6, kNaN,           //
                      4, 1, 11.5, 1,           //
                      4, kNaN, 14, 2};
    double sol[4] = {-1, -1, -1, -1};
    tridiag(sys, 3, sol);
    // Row 2: f = 1/4, diag 4 - 1/4 = 3.75, rhs 11.5 - 1.5 = 10.
    // Row 3: f = 2/3.75, diag 4 - f, rhs 14 - 10 f.
    const double f3 = 2.0 / 3.75;
    EXPECT_EQ(sys[11], 0.25);
    EXPECT_EQ(sys[8], 3.75);
    EXPECT_EQ(sys[10], 10.0);
    EXPECT_EQ(sys[15], f3);
    EXPECT_EQ(sys[12], 4 - f3 * 1);
    EXPECT_EQ(sys[14], 14 - f3 * 10);
    EXPECT_EQ(sys[4], 4.0);
    EXPECT_EQ(sys[6], 6.0);
    EXPECT_TRUE(std::isnan(sys[0]) && std::isnan(sys[7]) && std::isnan(sys[13]));
    EXPECT_EQ(sol[0], -1.0);
    EXPECT_NEAR(sol[1], 1.0, 1e-15);
    EXPECT_NEAR(sol[2], 2.0, 1e-15);
    EXPECT_NEAR(sol[3], 2.5, 1e-15);
    EXPECT_EQ(sol[3], (14 - f3 * 10) / (4 - f3));
}

TEST(Tridiag, MultiplierIsTakenAsAbsoluteValue)
{
    // A negative sub-diagonal is eliminated with |f|, so this system (true
    // solution 1, 1) gives another answer.
    double sys[12] = {0, 0, 0, 0, 2, 1, 3, 0, 4, 0, 2, -2};
    double sol[3];
    tridiag(sys, 2, sol);
    EXPECT_EQ(sys[11], 1.0);
    EXPECT_EQ(sys[8], 3.0);   // 4 - 1 * 1
    EXPECT_EQ(sys[10], -1.0); // 2 - 1 * 3
    EXPECT_EQ(sol[2], -1.0 / 3.0);
    EXPECT_EQ(sol[1], (3 + 1.0 / 3.0) / 2);
}

TEST(Tridiag, NegligibleMultiplierLeavesTheRow)
{
    double sys[12] = {0, 0, 0, 0, 1, 5, 1, 0, 2, 0, 4, 1e-21};
    double sol[3];
    tridiag(sys, 2, sol);
    EXPECT_EQ(sys[11], 0.0);
    EXPECT_EQ(sys[8], 2.0);
    EXPECT_EQ(sys[10], 4.0);
    EXPECT_EQ(sol[2], 2.0);
    EXPECT_EQ(sol[1], 1.0 - 2.0 * 5);

    // Just above the threshold the row is eliminated.
    double sys2[12] = {0, 0, 0, 0, 1, 5, 1, 0, 2, 0, 4, 2e-20};
    tridiag(sys2, 2, sol);
    EXPECT_EQ(sys2[11], 2e-20);
    EXPECT_EQ(sys2[8], 2.0 - 2e-20 * 5);
}

TEST(Tridiag, SmallAndNegativeSizes)
{
    double one[8] = {kNaN, kNaN, kNaN, kNaN, 4, kNaN, 2, kNaN};
    double sol[2] = {-1, -1};
    tridiag(one, 1, sol);
    EXPECT_EQ(sol[1], 0.5);
    EXPECT_EQ(sol[0], -1.0);
    EXPECT_EQ(one[4], 4.0);
    EXPECT_EQ(one[6], 2.0);

    double zero[4] = {8, kNaN, 2, kNaN};
    tridiag(zero, 0, sol);
    EXPECT_EQ(sol[0], 0.25);
    EXPECT_EQ(zero[0], 8.0);

    sol[0] = sol[1] = -1;
    tridiag(zero, -1, sol);
    EXPECT_EQ(sol[0], -1.0);
    EXPECT_EQ(sol[1], -1.0);
}

TEST(CalcSpline, DisabledOrEmptyPassesInputThroughAndClearsFlag)
{
    float table[7] = {0, 1, 2, 0, 0, 0, 0};
    double coef[8] = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    bool flag = true;
    EXPECT_EQ(CalcSpline(false, table, coef, 2, 123.5f, &flag), 123.5f);
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_EQ(CalcSpline(true, table, coef, 0, -4.25f, &flag), -4.25f);
    EXPECT_FALSE(flag);
}

TEST(CalcSpline, ArchSplineAtKnotsInsideAndOutside)
{
    std::vector<float> x{0, 1, 2}, y{0, 1, 0};
    std::vector<double> coef(8);
    CubicSplines(x, y, 2, coef);
    std::vector<float> table = knotTable(x, -1.0f, 2.0f, 4.0f);
    bool flag = true;

    EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), 2, 0.5f, &flag), 0.6875f);
    EXPECT_FALSE(flag);
    EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), 2, 1.0f, &flag), 1.0f);
    EXPECT_FALSE(flag);
    EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), 2, 0.0f, &flag), 0.0f);
    EXPECT_FALSE(flag);
    // The last knot is evaluated on the last segment at its right end.
    EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), 2, 2.0f, &flag), 0.0f);
    EXPECT_FALSE(flag);

    // Outside the knots: t / divisor, not the spline's continuation.
    flag = false;
    EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), 2, -1.0f, &flag), -0.25f);
    EXPECT_TRUE(flag);
    flag = false;
    EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), 2, 2.5f, &flag), 0.625f);
    EXPECT_TRUE(flag);

    // Value limits flag but do not change the result: 0.6875 > 0.5.
    std::vector<float> tight = knotTable(x, 0.0f, 0.5f, 4.0f);
    flag = false;
    EXPECT_EQ(CalcSpline(true, tight.data(), coef.data(), 2, 0.5f, &flag), 0.6875f);
    EXPECT_TRUE(flag);
    // Both limits inclusive.
    std::vector<float> exact = knotTable(x, 0.6875f, 0.6875f, 4.0f);
    EXPECT_EQ(CalcSpline(true, exact.data(), coef.data(), 2, 0.5f, &flag), 0.6875f);
    EXPECT_FALSE(flag);

    // Zero divisor outside the knots.
    std::vector<float> zeroDiv = knotTable(x, -1.0f, 2.0f, 0.0f);
    EXPECT_EQ(CalcSpline(true, zeroDiv.data(), coef.data(), 2, 3.0f, &flag),
              std::numeric_limits<float>::infinity());
    EXPECT_TRUE(flag);
}

TEST(CalcSpline, NaNInputGivesNaNWithoutFlag)
{
    std::vector<float> x{0, 1, 2}, y{0, 1, 0};
    std::vector<double> coef(8);
    CubicSplines(x, y, 2, coef);
    std::vector<float> table = knotTable(x, -1.0f, 2.0f, 4.0f);
    bool flag = true;
    EXPECT_TRUE(std::isnan(CalcSpline(true, table.data(), coef.data(), 2, std::nanf(""), &flag)));
    EXPECT_FALSE(flag);
}

// The offset u is a float difference, widened, and the limits are compared
// with the unrounded double value.
TEST(CalcSpline, OffsetRoundsInFloatAndLimitsCompareInDouble)
{
    float table[5] = {0.001f, 1.0f, -1e9f, 1e9f, 1.0f};
    double coef[4] = {0.0, 1e6, 0.0, 0.0};
    bool flag = true;
    const float t = 0.3f;
    const float expected = static_cast<float>(1e6 * static_cast<double>(t - table[0]));
    ASSERT_NE(expected, static_cast<float>(1e6 * (static_cast<double>(t) - static_cast<double>(table[0]))));
    EXPECT_EQ(CalcSpline(true, table, coef, 1, t, &flag), expected);
    EXPECT_FALSE(flag);

    // P just below the widened lower limit rounds back to the limit as a float
    // but is still flagged.
    const double below = std::nextafter(static_cast<double>(0.1f), 0.0);
    float limits[5] = {0.0f, 1.0f, 0.1f, 1.0f, 1.0f};
    double constant[4] = {below, 0.0, 0.0, 0.0};
    EXPECT_EQ(CalcSpline(true, limits, constant, 1, 0.0f, &flag), 0.1f);
    EXPECT_TRUE(flag);
}

TEST(CalcSpline, RandomSplinesMatchTheSlowPath)
{
    std::mt19937 rng(99);
    for (int trial = 0; trial < 20; ++trial) {
        const int n = 1 + trial;
        std::vector<float> x, y;
        randomKnots(rng, n, x, y);
        std::vector<double> coef(4 * n);
        CubicSplines(x, y, n, coef);
        std::vector<float> table = knotTable(x, -1e6f, 1e6f, 1.0f);
        std::uniform_real_distribution<float> at(x[0], x[n]);
        for (int k = 0; k < 20; ++k) {
            const float t = at(rng);
            bool flag = true;
            const float got = CalcSpline(true, table.data(), coef.data(), n, t, &flag);
            const double ref = static_cast<double>(referenceSpline(x, y, t));
            EXPECT_NEAR(got, ref, 1e-5 * (1 + std::fabs(ref))) << "n " << n << " t " << t;
            EXPECT_FALSE(flag);
        }
        for (int i = 0; i < n; ++i) {
            bool flag = true;
            EXPECT_EQ(CalcSpline(true, table.data(), coef.data(), n, x[i], &flag), y[i]);
        }
    }
}
