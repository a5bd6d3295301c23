// Cubic spline coefficients, the tridiagonal solver and spline evaluation.
// Null tables, unusable sizes and repeated knots: bad_input_test.cpp.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Knot table for CalcSpline: knots, then lowest value, highest value, divisor.
std::vector<float> table(std::vector<float> x, float lowest, float highest, float divisor)
{
    x.insert(x.end(), {lowest, highest, divisor});
    return x;
}
}  // namespace

TEST(CubicSplines, ThreeKnotArchExactlyAndItsEvaluation)
{
    std::vector<float> x{0, 1, 2}, y{0, 1, 0};
    std::vector<double> coef(8, kNaN), raw(8, kNaN);
    CubicSplines(x, y, 2, coef);
    CubicSplines(x.data(), y.data(), 2, raw.data());
    EXPECT_EQ(coef, (std::vector<double>{0, 1.5, 0, -0.5, 1, 0, -1.5, 0.5}));
    EXPECT_EQ(raw, coef);

    std::vector<float> t = table(x, -1.0f, 2.0f, 4.0f);
    bool flag = true;
    auto eval = [&](float v) { return CalcSpline(true, t.data(), coef.data(), 2, v, &flag); };
    EXPECT_EQ(eval(0.5f), 0.6875f);
    EXPECT_EQ(eval(1.0f), 1.0f);
    EXPECT_EQ(eval(2.0f), 0.0f);  // last knot: last segment at its right end
    EXPECT_FALSE(flag);
    EXPECT_EQ(eval(-1.0f), -0.25f);  // outside: t / divisor, flagged
    EXPECT_TRUE(flag);
    EXPECT_EQ(eval(2.5f), 0.625f);
    EXPECT_TRUE(flag);

    // Value limits are inclusive; a value beyond them is flagged but returned.
    t = table(x, 0.6875f, 0.6875f, 4.0f);
    EXPECT_EQ(eval(0.5f), 0.6875f);
    EXPECT_FALSE(flag);
    t = table(x, 0.0f, 0.5f, 4.0f);
    EXPECT_EQ(eval(0.5f), 0.6875f);
    EXPECT_TRUE(flag);
    // The vector overload writes nothing when x or y is short (with the
    // output too small or empty: bad_input_test.cpp).
    std::vector<float> two{0, 1};
    std::vector<double> untouched(8, -7.0);
    CubicSplines(two, y, 2, untouched);
    CubicSplines(x, two, 2, untouched);
    EXPECT_EQ(untouched, std::vector<double>(8, -7.0));
}

// Spacings are float differences, widened; slopes widen the ordinates first.
// Evaluation offsets are float differences too, while the value limits are
// compared with the unrounded double. One segment has a -0.0 cubic term.
TEST(CubicSplines, SingleSegmentRoundingPoints)
{
    float x[] = {0.001f, 1.0f}, y[] = {0.001f, 1.0f};
    double coef[4];
    CubicSplines(x, y, 1, coef);
    const double h = static_cast<double>(x[1] - x[0]);
    ASSERT_NE(h, static_cast<double>(x[1]) - x[0]);
    ASSERT_NE(static_cast<double>(y[1] - y[0]) / h, (static_cast<double>(y[1]) - y[0]) / h);
    EXPECT_EQ(coef[0], static_cast<double>(y[0]));
    EXPECT_EQ(coef[1], (static_cast<double>(y[1]) - y[0]) / h);
    EXPECT_EQ(coef[2], 0.0);
    EXPECT_TRUE(coef[3] == 0.0 && std::signbit(coef[3]));

    float knots[5] = {0.001f, 1.0f, -1e9f, 1e9f, 1.0f};
    double line[4] = {0.0, 1e6, 0.0, 0.0};
    bool flag = true;
    const float expected = static_cast<float>(1e6 * static_cast<double>(0.3f - 0.001f));
    ASSERT_NE(expected, static_cast<float>(1e6 * (static_cast<double>(0.3f) - 0.001f)));
    EXPECT_EQ(CalcSpline(true, knots, line, 1, 0.3f, &flag), expected);

    float limits[5] = {0.0f, 1.0f, 0.1f, 1.0f, 1.0f};
    double constant[4] = {std::nextafter(static_cast<double>(0.1f), 0.0), 0, 0, 0};
    EXPECT_EQ(CalcSpline(true, limits, constant, 1, 0.0f, &flag), 0.1f);
    EXPECT_TRUE(flag);
}

TEST(CubicSplines, RandomKnotsGiveASmoothNaturalInterpolant)
{
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> gap(0.25f, 2.0f), ord(-10.0f, 10.0f);
    for (int n = 1; n <= 40; ++n) {
        std::vector<float> x(n + 1, -5.0f), y(n + 1);
        for (int i = 0; i <= n; ++i) {
            if (i > 0) x[i] = x[i - 1] + gap(rng);
            y[i] = ord(rng);
        }
        std::vector<double> c(4 * n), raw(4 * n);
        CubicSplines(x, y, n, c);
        CubicSplines(x.data(), y.data(), n, raw.data());
        ASSERT_EQ(c, raw);
        std::vector<float> t = table(x, -1e6f, 1e6f, 1.0f);
        EXPECT_EQ(c[2], 0.0);
        for (int i = 0; i < n; ++i) {
            const double* s = &c[4 * i];
            const double u = x[i + 1] - x[i];
            bool flag = true;
            EXPECT_EQ(CalcSpline(true, t.data(), c.data(), n, x[i], &flag), y[i]);
            EXPECT_NEAR(s[0] + u * (s[1] + u * (s[2] + u * s[3])), y[i + 1], 1e-9) << n << " " << i;
            const double slope = s[1] + u * (2 * s[2] + 3 * u * s[3]), curvature = 2 * s[2] + 6 * u * s[3];
            EXPECT_NEAR(slope, i + 1 < n ? s[5] : slope, 1e-9) << n << " " << i;
            EXPECT_NEAR(curvature, i + 1 < n ? 2 * s[6] : 0.0, 1e-9) << n << " " << i;  // natural end
        }
    }
}

TEST(Tridiag, EliminationInPlaceAndSmallSizes)
{
    // Rows 1..3 (diag, super, rhs, sub): [4 1 | 6], [1 4 1 | 11.5], [2 4 | 14];
    // row 0 and the slots that must never be read hold NaN.
    double sys[16] = {kNaN, kNaN, kNaN, kNaN, 4, 1, 6, kNaN, 4, 1, 11.5, 1, 4, kNaN, 14, 2};
    double sol[4] = {-1, -1, -1, -1};
    tridiag(sys, 3, sol);
    const double f3 = 2.0 / 3.75;
    const double row2[4] = {3.75, 1, 10, 0.25}, row3[4] = {4 - f3, kNaN, 14 - f3 * 10, f3};
    for (int k : {0, 1, 2, 3}) EXPECT_EQ(sys[8 + k], row2[k]) << k;
    for (int k : {0, 2, 3}) EXPECT_EQ(sys[12 + k], row3[k]) << k;
    EXPECT_EQ(sys[4] + sys[5] + sys[6], 11.0);  // row 1 unchanged
    EXPECT_EQ(sol[3], (14 - f3 * 10) / (4 - f3));
    EXPECT_NEAR(sol[1] + sol[2], 3.0, 1e-15);
    EXPECT_EQ(sol[0], -1.0);

    // |f| is used: a negative sub-diagonal is subtracted as if positive.
    double neg[12] = {0, 0, 0, 0, 2, 1, 3, 0, 4, 0, 2, -2};
    tridiag(neg, 2, sol);
    EXPECT_EQ(neg[11], 1.0);
    EXPECT_EQ(sol[2], -1.0 / 3.0);
    // A multiplier at or below 1e-20 is stored as 0 and the row is kept.
    double tiny[12] = {0, 0, 0, 0, 1, 5, 1, 0, 2, 0, 4, 1e-20};
    tridiag(tiny, 2, sol);
    EXPECT_EQ(tiny[11], 0.0);
    EXPECT_EQ(sol[1], 1.0 - 2.0 * 5);
    // N = 1 solves row 1 alone (N = 0 and N < 0: bad_input_test.cpp).
    double one[8] = {kNaN, kNaN, kNaN, kNaN, 4, kNaN, 2, kNaN};
    sol[0] = -1;
    tridiag(one, 1, sol);
    EXPECT_EQ(sol[1], 0.5);
    EXPECT_EQ(sol[0], -1.0);
}
