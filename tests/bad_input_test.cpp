// What a caller gets for bad input, function by function, through the shared
// library: null pointers where a function accepts them, negative and zero
// sizes, ranges past the end, NaN and infinities, duplicates and singular
// data. Each test covers the rows of docs/bad_input.md named after it.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using Values = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const int kIntMin = std::numeric_limits<int>::min();
const int kIntMax = std::numeric_limits<int>::max();

bool isNegativeZero(double x) { return x == 0.0 && std::signbit(x); }
bool isPositiveZero(double x) { return x == 0.0 && !std::signbit(x); }

std::uint64_t bits(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// ---------------------------------------------------------------------------
// Sample statistics
// ---------------------------------------------------------------------------

TEST(BadInputStatistics, EmptyAndNonFiniteVectors)
{
    EXPECT_TRUE(std::isnan(mean({})));
    EXPECT_TRUE(std::isnan(variance({}, 1.0)));
    EXPECT_TRUE(std::isnan(stdDev({}, 1.0)));
    EXPECT_TRUE(std::isnan(mean({1.0, kNaN, 2.0})));
    EXPECT_TRUE(std::isnan(mean({kInf, -kInf})));
    EXPECT_EQ(mean({1.0, kInf}), kInf);
    EXPECT_TRUE(std::isnan(variance({1.0, 2.0}, kNaN)));
    EXPECT_TRUE(std::isnan(stdDev({1.0, kInf}, mean({1.0, kInf}))));  // inf - inf
}

TEST(BadInputStatistics, CountsOutsideTheVector)
{
    const Values v = {1.0, 2.0, 3.0, 6.0};
    EXPECT_TRUE(std::isnan(calAvg(0, v)));
    EXPECT_TRUE(std::isnan(calAvg(5, Values{})));
    EXPECT_EQ(calAvg(99, v), 3.0);  // clamped to the length
    EXPECT_EQ(calAvg(kIntMax, v), 3.0);
    for (int n : {-1, -7, kIntMin}) {
        EXPECT_TRUE(isNegativeZero(calAvg(n, v))) << n;
        EXPECT_TRUE(isNegativeZero(calStdev(n, v))) << n;
        EXPECT_TRUE(isNegativeZero(calAvgSigma(n, v, 2.0))) << n;
    }
    EXPECT_TRUE(std::isnan(calStdev(1, v)));       // 0 / 0
    EXPECT_TRUE(isNegativeZero(calStdev(0, v)));   // 0 / -1
    EXPECT_EQ(calAvgSigma(1, v, 2.0), 1.0);  // NaN band: the element itself
    EXPECT_TRUE(std::isnan(calAvgSigma(0, v, 2.0)));
}

TEST(BadInputStatistics, RangesPastTheEndAndInverted)
{
    const Values v = {10.0, 20.0, 30.0, 40.0};
    EXPECT_EQ(calAvg2(1, 99, v), 30.0);
    EXPECT_EQ(calAvg2(2, kIntMax, v), 35.0);
    EXPECT_TRUE(std::isnan(calAvg2(4, 99, v)));  // first = clamped end: empty
    EXPECT_TRUE(std::isnan(calAvgSigma2(2, 2, v, 1.0)));
    EXPECT_TRUE(isNegativeZero(calStdev2(3, 3, v)));
    EXPECT_THROW(calAvg2(3, 2, v), std::length_error);
    EXPECT_THROW(calStdev2(5, 99, v), std::length_error);  // past the end
    EXPECT_THROW(calAvgSigma2(0, -1, v, 1.0), std::length_error);
    EXPECT_THROW(calAvg2(-1, 2, v), std::out_of_range);
    EXPECT_THROW(calStdev2(kIntMin, 2, v), std::out_of_range);
    EXPECT_THROW(calAvgSigma2(-2, 2, v, 1.0), std::out_of_range);
}

TEST(BadInputStatistics, ClippedMeanWithNaNOrZeroBand)
{
    const Values v = {1.0, 2.0, 3.0, 10.0};
    EXPECT_EQ(calAvgSigma(4, v, kNaN), 4.0);  // no element inside a NaN band
    EXPECT_EQ(calAvgSigma(4, v, 0.0), 4.0);
    EXPECT_EQ(calAvgSigma(4, v, -1.0), 4.0);
    EXPECT_EQ(calAvgSigma(4, {5.0, 5.0, 5.0, 5.0}, 3.0), 5.0);  // duplicates: zero spread
    EXPECT_TRUE(std::isnan(calAvgSigma(4, {1.0, kNaN, 3.0, 4.0}, 1.0)));
}

// ---------------------------------------------------------------------------
// Masked statistics, median, sorts
// ---------------------------------------------------------------------------

TEST(BadInputMasked, NullArraysWithNonPositiveCountsAndEmptySelections)
{
    for (int n : {0, -1, kIntMin}) {
        EXPECT_TRUE(isPositiveZero(avg(n, nullptr, nullptr)));
        EXPECT_TRUE(isPositiveZero(stdev(n, nullptr, nullptr)));
    }
    const double x[3] = {1.0, 2.0, 6.0};
    const bool none[3] = {false, false, false};
    const bool one[3] = {false, true, false};
    EXPECT_EQ(avg(3, x, nullptr), 3.0);  // null mask: every sample
    EXPECT_EQ(avg(3, x, none), 0.0);
    EXPECT_EQ(stdev(3, x, none), 0.0);
    EXPECT_EQ(avg(3, x, one), 2.0);
    EXPECT_TRUE(std::isnan(stdev(3, x, one)));
    const double withNaN[3] = {1.0, kNaN, 3.0};
    EXPECT_TRUE(std::isnan(avg(3, withNaN, nullptr)));
    EXPECT_EQ(avg(3, withNaN, none), 0.0);
}

TEST(BadInputMedian, RangeChecksAndNaN)
{
    const Values v = {4.0, 1.0, 3.0};
    EXPECT_THROW(median(v, -1, 1), std::out_of_range);
    EXPECT_THROW(median(v, 2, 1), std::out_of_range);
    EXPECT_THROW(median(v, 0, 3), std::out_of_range);
    EXPECT_THROW(median(Values{}, 0, 0), std::out_of_range);
    EXPECT_EQ(median(v, 2, 2), 3.0);
    EXPECT_EQ(median({2.0, 2.0, 2.0, 9.0}, 0, 3), 2.0);  // duplicates
    // NaN has no place in the sort: the call returns some value without
    // reading outside the range.
    (void)median({kNaN, 1.0, kNaN, 2.0, 0.5}, 0, 4);
    EXPECT_TRUE(std::isnan(median({kNaN}, 0, 0)));
}

TEST(BadInputMidValue, NaNArguments)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(mid_value(nan, nan, nan), 3);
    EXPECT_EQ(mid_value(5.0f, 5.0f, 5.0f), 0);  // duplicates: lowest position
    EXPECT_EQ(mid_value(2.0f, 2.0f, 1.0f), 0);
    const int r = mid_value(1.0f, nan, 2.0f);
    EXPECT_TRUE(r >= 0 && r <= 3);
}

TEST(BadInputSorts, EmptyInvertedRangesNullArraysAndNaN)
{
    Qsort(nullptr, 5, 5);
    Qsort(nullptr, 7, 3);  // inverted: nothing happens
    float a[4] = {4, 3, 2, 1};
    Qsort(a, 3, 1);
    EXPECT_EQ(a[0], 4.0f);
    EXPECT_EQ(a[3], 1.0f);
    sortAscending(0, nullptr);
    sortAscending(-5, nullptr);
    sortAscending(kIntMin, nullptr);

    // NaN values stay in the array (a permutation) and nothing outside moves.
    Values x = {3.0, kNaN, 1.0, kNaN, 2.0, -kInf, kInf, 0.0, -0.0, 2.0, 2.0, 7.0, 5.0, kNaN};
    Values guarded = {99.0};
    guarded.insert(guarded.end(), x.begin(), x.end());
    guarded.push_back(99.0);
    sortAscending(static_cast<int>(x.size()), guarded.data() + 1);
    EXPECT_EQ(guarded.front(), 99.0);
    EXPECT_EQ(guarded.back(), 99.0);
    std::vector<std::uint64_t> before, after;
    for (double d : x) before.push_back(bits(d));
    for (std::size_t i = 1; i + 1 < guarded.size(); ++i) after.push_back(bits(guarded[i]));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);

    std::vector<float> f(40);
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = i % 3 ? static_cast<float>(40 - i) : std::nanf("");
    Qsort(f.data(), 0, static_cast<unsigned>(f.size() - 1));
    int nans = 0;
    for (float v : f) nans += std::isnan(v);
    EXPECT_EQ(nans, 14);
}

// ---------------------------------------------------------------------------
// Outlier rejection
// ---------------------------------------------------------------------------

TEST(BadInputOutliers, MedianBandEmptyNegativeAndHugeWindows)
{
    Values cleaned = {-1.0};
    std::vector<int> kept = {42};
    removeOutlierFuncMedian({}, cleaned, kept, 3, 3.0);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(cleaned, Values{-1.0});

    const Values x = {1.0, 2.0, 3.0, 4.0, 100.0};
    cleaned.clear();
    removeOutlierFuncMedian(x, cleaned, kept, -4, 3.0);  // taken as w = 0
    EXPECT_EQ(kept, (std::vector<int>{0, 1, 2, 3, 4}));
    cleaned.clear();
    removeOutlierFuncMedian(x, cleaned, kept, kIntMax, 3.0);  // whole input per window
    EXPECT_EQ(kept, (std::vector<int>{0, 1, 2, 3}));
    cleaned.clear();
    removeOutlierFuncMedian(x, cleaned, kept, 2, kNaN);  // NaN threshold keeps all
    EXPECT_EQ(kept.size(), 5u);
    cleaned.clear();
    removeOutlierFuncMedian({1.0, 1.0, 1.0, 1.5, 1.0}, cleaned, kept, 2, 1e9);  // zero MAD
    EXPECT_EQ(kept, (std::vector<int>{0, 1, 2, 4}));
    cleaned.clear();
    removeOutlierFuncMedian({1.0, kNaN, 3.0, kInf}, cleaned, kept, 1, 3.0);  // no crash
    EXPECT_EQ(cleaned.size(), kept.size());
}

TEST(BadInputOutliers, TauShortInputFractionsAndNaN)
{
    bool flag = true;
    Values cleaned;
    std::vector<int> kept = {7};
    removeOutlierFuncTau({1.0, 50.0}, cleaned, kept, 0.5, flag);
    EXPECT_EQ(kept, std::vector<int>{7});  // fewer than 3: untouched
    EXPECT_TRUE(cleaned.empty());

    const Values x = {10, 10, 10, 10, 10, 10, 10, 10, 10, 50};
    removeOutlierFuncTau(x, cleaned, kept, 1.5, flag);
    EXPECT_TRUE(kept.empty() && cleaned.empty() && flag);
    for (double fraction : {0.0, -2.0, kNaN, 0.05}) {
        cleaned.clear();
        removeOutlierFuncTau(x, cleaned, kept, fraction, flag);
        EXPECT_EQ(kept.size(), 10u) << fraction;
    }
    cleaned.clear();
    removeOutlierFuncTau({1.0, kNaN, 3.0, 4.0}, cleaned, kept, 0.5, flag);
    EXPECT_EQ(kept.size(), 4u);  // NaN deviations fail every test
    EXPECT_TRUE(flag);
    cleaned.clear();
    removeOutlierFuncTau({2.0, 2.0, 2.0, 2.0}, cleaned, kept, 0.5, flag);  // duplicates
    EXPECT_EQ(kept.size(), 4u);
}

// ---------------------------------------------------------------------------
// Moving buffers and simple filters
// ---------------------------------------------------------------------------

TEST(BadInputMovingFilters, NonPositiveCountsWriteNothing)
{
    for (int w : {0, -1, kIntMin}) EXPECT_EQ(MovingFilter(nullptr, 3, w, 2.5), 2.5);
    for (int n : {0, -1, kIntMin}) EXPECT_EQ(MovingFilter(nullptr, n, 3, 2.5), 2.5);
    ShiftMovingBuffer(nullptr, 0, 1.0);
    ShiftMovingBuffer(nullptr, -3, 1.0);
    double window[2] = {1.0, 2.0};
    EXPECT_TRUE(std::isnan(MovingFilter(window, 3, 2, kNaN)));  // NaN enters the mean
    EXPECT_EQ(window[0], 2.0);
}

TEST(BadInputMovingFilters, KalmanWithNonFiniteMeasurement)
{
    double estimate = 1.0, variance = 1.0;
    KalmanFilter(kNaN, estimate, variance);
    EXPECT_TRUE(std::isnan(estimate));
    EXPECT_TRUE(std::isfinite(variance));
    estimate = 1.0;
    variance = 1.0;
    KalmanFilter(kInf, estimate, variance);
    EXPECT_EQ(estimate, kInf);
}

TEST(BadInputMovingFilters, MovingAverageShortDataAndWindows)
{
    Values one = {4.0};
    movingAverage(3, one);
    EXPECT_EQ(one, Values{4.0});
    Values two = {1.0, 2.0};
    movingAverage(5, two);
    EXPECT_TRUE(two.empty());
    for (int w : {kIntMin, -1, 0, 1}) {
        Values v = {1.0, 2.0, 3.0, 4.0, 5.0};
        movingAverage(w, v);
        EXPECT_EQ(v, (Values{1.5, 2.5, 3.5})) << w;  // window raised to 2
    }
    Values big = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
    movingAverage(kIntMax, big);  // lowered to n / 2
    EXPECT_EQ(big, (Values{2.0, 3.0, 4.0}));
}

// ---------------------------------------------------------------------------
// Kernels, correlation, band and rate filters
// ---------------------------------------------------------------------------

TEST(BadInputKernels, UnusableLengthsAndZeroSigma)
{
    for (int k : {0, 4, -1, -3, kIntMin}) {
        EXPECT_FALSE(gaussianFilter(k, 1.0, nullptr)) << k;
        EXPECT_FALSE(doGFilter(k, 1.0, nullptr)) << k;
    }
    double g[3], d[3];
    EXPECT_TRUE(gaussianFilter(3, 0.0, g));
    EXPECT_TRUE(doGFilter(3, 0.0, d));
    for (int t = 0; t < 3; ++t) EXPECT_TRUE(std::isnan(g[t]) && std::isnan(d[t]));
    EXPECT_TRUE(gaussianFilter(3, kNaN, g));
    EXPECT_TRUE(std::isnan(g[1]));
    EXPECT_TRUE(gaussianFilter(3, -1.0, g));  // the density with a negative factor
    EXPECT_LT(g[1], 0.0);
}

TEST(BadInputKernels, CorrelationSizesAndNaN)
{
    const double kernel[3] = {1.0, 1.0, 1.0};
    const double signal[3] = {1.0, kNaN, 3.0};
    double out[3] = {7.0, 7.0, 7.0};
    EXPECT_FALSE(convFilter(0, 3, kernel, nullptr, nullptr));
    EXPECT_FALSE(convFilter(-2, 3, kernel, nullptr, nullptr));
    EXPECT_FALSE(convFilter(3, 2, kernel, signal, out));
    EXPECT_FALSE(convFilter(3, -1, nullptr, signal, out));
    EXPECT_EQ(out[0], 7.0);
    EXPECT_TRUE(convFilter(3, 3, kernel, signal, out));
    for (double v : out) EXPECT_TRUE(std::isnan(v));  // NaN reaches every output here
    double wide[7] = {0, 0, 0, 1, 0, 0, 0};
    EXPECT_TRUE(convFilter(1, 7, wide, signal, out));  // kernel longer than the signal
    EXPECT_EQ(out[0], 1.0);
}

TEST(BadInputKernels, BandSizesBoundsAndNaN)
{
    double signal[3] = {1.0, kNaN, 20.0};
    bool mask[3] = {true, true, true};
    EXPECT_FALSE(bandFilter(0, 0.0, 10.0, -1.0, nullptr, nullptr));
    EXPECT_FALSE(bandFilter(3, 10.0, 0.0, -1.0, signal, mask));  // lower > upper
    EXPECT_TRUE(mask[2]);
    EXPECT_TRUE(bandFilter(3, 0.0, 10.0, -1.0, signal, mask));
    EXPECT_TRUE(mask[1]);  // NaN sample stays valid
    EXPECT_FALSE(mask[2]);
    EXPECT_EQ(signal[2], -1.0);
    double s2[2] = {5.0, -5.0};
    bool m2[2] = {true, true};
    EXPECT_TRUE(bandFilter(2, kNaN, 0.0, 9.0, s2, m2));  // NaN bound: one-sided test
    EXPECT_FALSE(m2[0]);
    EXPECT_TRUE(m2[1]);
}

TEST(BadInputRateFilter, SizesNegativeMultipleShortVectorAndNaN)
{
    EXPECT_FALSE(rateFilter(0, 3, 1, nullptr, nullptr));
    EXPECT_FALSE(rateFilter(-4, 3, 1, nullptr, nullptr));
    EXPECT_EQ(rateFilter(0, Values{1.0}, 3), 0.0);
    EXPECT_EQ(rateFilter(kIntMin, Values{}, 3), 0.0);
    EXPECT_THROW(rateFilter(6, Values(5, 1.0), 3), std::out_of_range);
    EXPECT_THROW(rateFilter(kIntMax, Values(5, 1.0), 3), std::out_of_range);

    Values ramp(60);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i * i % 7);
    Values signal = ramp;
    std::vector<char> maskStore(60, 1);
    bool* mask = reinterpret_cast<bool*>(maskStore.data());
    EXPECT_FALSE(rateFilter(60, -1, 1, signal.data(), mask));  // empty band
    EXPECT_EQ(signal, ramp);
    for (int i = 0; i < 60; ++i) EXPECT_TRUE(mask[i]);
    EXPECT_EQ(rateFilter(60, ramp, -1), 0.0);

    Values withNaN(60, 2.0);
    withNaN[30] = kNaN;
    EXPECT_TRUE(std::isnan(rateFilter(60, withNaN, 3)));  // nothing is rejected
    EXPECT_TRUE(rateFilter(60, 3, 2, withNaN.data(), mask));
    for (int i = 0; i < 60; ++i) EXPECT_TRUE(mask[i]);
}

// ---------------------------------------------------------------------------
// Matrix operations
// ---------------------------------------------------------------------------

TEST(BadInputMatrix, NonPositiveSizesWriteNothing)
{
    for (int n : {0, -1, kIntMin}) {
        EyeMatrix(nullptr, n);
        ZeroMatrix(nullptr, n);
        MatrixMultiply(nullptr, nullptr, n, 2, 2, nullptr);
        MatrixMultiply(nullptr, nullptr, 2, 2, n, nullptr);
    }
    const double a[2] = {1.0, 2.0}, b[2] = {3.0, 4.0};
    double c[4] = {9, 9, 9, 9};
    MatrixMultiply(a, b, 2, 0, 2, c);  // inner size 0: zeros
    for (double v : c) EXPECT_TRUE(isPositiveZero(v));
    MatrixMultiply(a, b, 2, -3, 2, c);
    for (double v : c) EXPECT_EQ(v, 0.0);
    double m[2] = {1.0, 2.0};
    MatrixTransform(m, 0, 5);
    MatrixTransform(m, 2, 0);
    EXPECT_EQ(m[1], 2.0);
    EXPECT_THROW(MatrixTransform(m, -1, 2), std::bad_array_new_length);
    EXPECT_THROW(MatrixTransform(m, kIntMax, 2), std::bad_array_new_length);
}

TEST(BadInputMatrix, DeterminantSizesSingularAndNaN)
{
    double det = 5.0;
    MatrixDeterminant(det, nullptr, 0);
    MatrixDeterminant(det, nullptr, -2);
    EXPECT_EQ(det, 5.0);
    MatrixDeterminant(det, nullptr, 5);  // larger than the 4 x 4 work array
    EXPECT_TRUE(std::isnan(det));
    double dependent[4][4] = {{1, 2}, {2, 4}};
    det = 1.0;
    MatrixDeterminant(det, dependent, 2);
    EXPECT_EQ(det, 0.0);
    double zeroColumn[4][4] = {{0, 1}, {0, 3}};
    det = 1.0;
    MatrixDeterminant(det, zeroColumn, 2);
    EXPECT_EQ(det, 0.0);
    // A NaN pivot fails the "not within 1e-6 of 1.0" test and is never
    // multiplied in: the determinant can come out finite.
    double withNaN[4][4] = {{0, 1}, {kNaN, 0}};
    det = 1.0;
    MatrixDeterminant(det, withNaN, 2);
    EXPECT_EQ(det, -1.0);
    double infinite[4][4] = {{kInf, 0}, {0, 1}};
    det = 1.0;
    MatrixDeterminant(det, infinite, 2);
    EXPECT_EQ(det, kInf);
}

TEST(BadInputMatrix, InverseSizesSingularAndNaN)
{
    EXPECT_TRUE(MatrixInverse(nullptr, 0));
    EXPECT_FALSE(MatrixInverse(nullptr, -1));
    EXPECT_FALSE(MatrixInverse(nullptr, kIntMin));
    double singular[4] = {1, 2, 2, 4};
    EXPECT_FALSE(MatrixInverse(singular, 2));
    double tiny[1] = {1e-17};
    EXPECT_FALSE(MatrixInverse(tiny, 1));
    // A NaN entry spreads over a row or column of the block still to be
    // eliminated, which is never chosen as pivot (no NaN compares above 0),
    // so the last step finds no pivot: reported as singular.
    for (int at = 0; at < 9; ++at) {
        double m[9] = {4, 1, 0, 1, 5, 2, 0, 2, 6};
        m[at] = kNaN;
        EXPECT_FALSE(MatrixInverse(m, 3)) << at;
    }
    double infinite[4] = {kInf, 0, 0, 2};  // the limit: 1 / inf = 0
    EXPECT_TRUE(MatrixInverse(infinite, 2));
    EXPECT_EQ(infinite[0], 0.0);
    EXPECT_EQ(infinite[3], 0.5);
}

// ---------------------------------------------------------------------------
// Fits
// ---------------------------------------------------------------------------

TEST(BadInputFits, CountsDegreesSingularAndNaN)
{
    const double sentinel = -4.5;
    Values c(4, sentinel);
    EXPECT_EQ(JPolyfit(0, nullptr, 1, c.data()), 0);
    EXPECT_EQ(JPolyfit(-3, nullptr, 1, c.data()), 0);
    double pts[6] = {0, 1, 1, 3, 2, 5};
    EXPECT_EQ(JPolyfit(3, pts, -1, c.data()), 0);
    double same[6] = {2, 1, 2, 3, 2, 5};  // duplicate abscissae: singular
    EXPECT_EQ(JPolyfit(3, same, 1, c.data()), 0);
    double nanPts[6] = {0, 1, kNaN, 3, 2, 5};
    EXPECT_EQ(JPolyfit(3, nanPts, 1, c.data()), 0);
    double infPts[6] = {0, 1, 1, kInf, 2, 5};
    EXPECT_EQ(JPolyfit(3, infPts, 1, c.data()), 0);
    EXPECT_EQ(c, Values(4, sentinel));

    EXPECT_EQ(linearFit({}, {}, 1, c.data()), 0);
    EXPECT_EQ(linearFit({1, 3, 5}, {0, 1}, 1, c.data()), 0);  // too few abscissae
    EXPECT_EQ(linearFit({1, 3, 5}, {0, 1, 2}, -2, c.data()), 0);
    EXPECT_EQ(linearFit({1, 3, 5}, {2, 2, 2}, 1, c.data()), 0);
    EXPECT_EQ(linearFit({1, kNaN, 5}, {0, 1, 2}, 1, c.data()), 0);
    EXPECT_EQ(c, Values(4, sentinel));

    EXPECT_EQ(PolyCalc(2.0, nullptr, -1), 0.0);
    EXPECT_EQ(PolyCalc(2.0, nullptr, kIntMin), 0.0);
    double coef[2] = {1.0, 2.0};
    EXPECT_TRUE(std::isnan(PolyCalc(kNaN, coef, 1)));
}

TEST(BadInputFits, OutlierFitEmptySingularAndNaN)
{
    Values c(3, -4.5);
    bool flag = true;
    EXPECT_EQ(JPolyfitRemoverOutlier(0, nullptr, 1, c.data(), flag), -1);
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_EQ(JPolyfitRemoverOutlier(-5, nullptr, 1, c.data(), flag), -1);
    EXPECT_FALSE(flag);
    // All readings at one abscissa: one run, one point, a singular line.
    double oneRun[8] = {1, 2, 1, 2.1, 1, 1.9, 1, 2};
    flag = true;
    EXPECT_EQ(JPolyfitRemoverOutlier(4, oneRun, 1, c.data(), flag), -1);
    EXPECT_FALSE(flag);
    double withNaN[8] = {0, 1, 1, kNaN, 2, 5, 3, 7};
    flag = true;
    EXPECT_EQ(JPolyfitRemoverOutlier(4, withNaN, 1, c.data(), flag), -1);
    EXPECT_EQ(c, Values(3, -4.5));
    // Degree 0: the slope is taken as 0 and coefficients[1] is never read.
    double line[8] = {0, 1, 1, 3, 2, 5, 3, 7};
    double single = -4.5;
    flag = true;
    EXPECT_EQ(JPolyfitRemoverOutlier(4, line, 0, &single, flag), 1);
    EXPECT_EQ(single, 4.0);
}

// ---------------------------------------------------------------------------
// Splines
// ---------------------------------------------------------------------------

TEST(BadInputSplines, SizesShortVectorsAndRepeatedKnots)
{
    CubicSplines(static_cast<float*>(nullptr), nullptr, 0, nullptr);
    CubicSplines(static_cast<float*>(nullptr), nullptr, -2, nullptr);
    std::vector<float> x = {0, 1, 2}, y = {0, 1, 0};
    std::vector<double> out(8, 7.0);
    CubicSplines(x, y, 3, out);  // x and y hold 3 knots, n = 3 needs 4
    EXPECT_EQ(out, std::vector<double>(8, 7.0));
    std::vector<double> small(7, 7.0);
    CubicSplines(x, y, 2, small);  // output needs 8
    EXPECT_EQ(small, std::vector<double>(7, 7.0));
    std::vector<double> empty;
    CubicSplines(x, y, 2, empty);
    EXPECT_TRUE(empty.empty());

    float rx[3] = {0, 1, 1}, ry[3] = {0, 1, 2};  // repeated abscissa: h = 0
    double c[8];
    CubicSplines(rx, ry, 2, c);
    bool nonFinite = false;
    for (double v : c) nonFinite = nonFinite || !std::isfinite(v);
    EXPECT_TRUE(nonFinite);

    tridiag(nullptr, -1, nullptr);
    double sys[4] = {2.0, 0.0, 6.0, 0.0};
    double sol[1];
    tridiag(sys, 0, sol);  // N = 0 solves row 0
    EXPECT_EQ(sol[0], 3.0);
    double zeroDiag[8] = {0, 0, 0, 0, 0.0, 0.0, 1.0, 0.0};
    double s2[2];
    tridiag(zeroDiag, 1, s2);
    EXPECT_EQ(s2[1], kInf);
}

TEST(BadInputSplines, EvaluationDisabledOutsideNaNAndZeroDivisor)
{
    bool flag = true;
    EXPECT_EQ(CalcSpline(true, nullptr, nullptr, 0, 2.5f, &flag), 2.5f);
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_EQ(CalcSpline(false, nullptr, nullptr, 3, 2.5f, &flag), 2.5f);
    EXPECT_FALSE(flag);
    float x[3] = {0, 1, 2}, y[3] = {0, 1, 0};
    double c[8];
    CubicSplines(x, y, 2, c);
    float table[6] = {0, 1, 2, -10.0f, 10.0f, 0.0f};  // divisor 0
    const float r = CalcSpline(true, table, c, 2, 3.0f, &flag);
    EXPECT_TRUE(flag);
    EXPECT_EQ(r, std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(CalcSpline(true, table, c, 2, std::nanf(""), &flag)));
    EXPECT_FALSE(flag);  // a NaN input raises no flag
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

TEST(BadInputGeometry, SphericalNullZeroAndNaN)
{
    ConvertCartesianToSphericalCoordinates(nullptr);
    ConvertCartesianToSphericalCoordinates(nullptr, 1.0f, 2.0f);
    ConvertCartesianToSphericalCoordinates(nullptr, 1.0f, true);
    double zero[3] = {0.0, 0.0, 0.0};
    ConvertCartesianToSphericalCoordinates(zero);
    EXPECT_EQ(zero[0], -90.0);
    EXPECT_EQ(zero[1], 90.0);
    EXPECT_EQ(zero[2], 0.0);
    double v[3] = {1.0, kNaN, 0.0};
    ConvertCartesianToSphericalCoordinates(v);
    for (double d : v) EXPECT_TRUE(std::isnan(d));
    double huge[3] = {1e300, 1e300, 0.0};
    ConvertCartesianToSphericalCoordinates(huge);
    EXPECT_EQ(huge[2], kInf);  // the distance overflows single precision
}

TEST(BadInputGeometry, VectorsRotationsAndAngles)
{
    double a[3] = {kNaN, 0, 0}, b[3] = {0, 1, 0}, out[3];
    CrossMultiply(a, b, out);
    EXPECT_TRUE(std::isnan(out[2]));
    double m[9];
    EXPECT_EQ(rotation_x(m, kNaN), 0);
    EXPECT_TRUE(std::isnan(m[4]));
    EXPECT_EQ(rotation_y(m, kInf), 0);
    EXPECT_TRUE(std::isnan(m[0]));
    EXPECT_EQ(rotation_z(m, kNaN), 0);
    EXPECT_EQ(m[8], 1.0);

    double axis[3] = {0, 0, 0}, in[3] = {1, 0, 0};
    mlaRotateAroundAxis(axis, 90.0, in, out);  // zero axis: 0 / 0
    EXPECT_TRUE(std::isnan(axis[0]) && std::isnan(out[0]));

    double ref[3] = {0, 0, 1}, bx[3] = {1, 0, 0}, cy[3] = {0, 1, 0}, cx[3] = {-1, 0, 0};
    double res[3] = {5, 5, 5};
    EXPECT_EQ(solveVectorsRelAng(ref, bx, cx, 90, 90, res), -1);  // parallel projections
    EXPECT_EQ(solveVectorsRelAng(ref, bx, cy, 0, 0, res), -1);    // no solution
    EXPECT_EQ(solveVectorsRelAng(ref, bx, cy, kNaN, 90, res), -1);
    double tinyD[3] = {1, 1e-300, 0}, other[3] = {1, 0, 0};
    EXPECT_EQ(solveVectorsRelAng(ref, tinyD, other, 10, 80, res), -1);  // overflowing candidates
    EXPECT_EQ(res[0], 5.0);
    EXPECT_EQ(res[2], 5.0);
}

// ---------------------------------------------------------------------------
// Grid interpolation and encoder calibration
// ---------------------------------------------------------------------------

TEST(BadInputGrid, NeighboursEmptySingleAboveNaNAndDuplicates)
{
    double lower = -1.0, upper = -1.0;
    getNeighbours(1.0, 0, nullptr, lower, upper);
    getNeighbours(1.0, -3, nullptr, lower, upper);
    double one[1] = {5.0};
    getNeighbours(1.0, 1, one, lower, upper);
    getNeighbours(9.0, 1, one, lower, upper);
    double grid[3] = {0.0, 10.0, 20.0};
    getNeighbours(25.0, 3, grid, lower, upper);
    EXPECT_EQ(lower, -1.0);
    EXPECT_EQ(upper, -1.0);
    getNeighbours(kNaN, 3, grid, lower, upper);  // NaN takes the first cell
    EXPECT_EQ(lower, 0.0);
    EXPECT_EQ(upper, 10.0);
    double dup[4] = {0.0, 5.0, 5.0, 9.0};
    getNeighbours(5.0, 4, dup, lower, upper);
    EXPECT_EQ(lower, 0.0);
    EXPECT_EQ(upper, 5.0);
    getNeighbours(kInf, 4, dup, lower, upper);  // above the last node
    EXPECT_EQ(upper, 5.0);
}

TEST(BadInputGrid, InterpolationOutsideNaNAndEqualAbscissae)
{
    EXPECT_EQ(getTrilinearInterpolation(15.0001, 0, 0), 0.0);
    EXPECT_EQ(getTrilinearInterpolation(0, -kInf, 0), 0.0);
    EXPECT_TRUE(std::isnan(getTrilinearInterpolation(kNaN, 0, 0)));
    double values[2] = {1.0, 3.0};
    int corners[8] = {0, 1, 0, 1, 0, 1, 0, 1};
    EXPECT_TRUE(std::isnan(getTrilinearInterpolationNew(values, corners, kNaN, 0.5, 0.5)));
    EXPECT_EQ(getTrilinearInterpolationNew(values, corners, 2.0, 0.0, 0.0), 5.0);  // extrapolates
    EXPECT_EQ(linearInterpolation(5.0, 2.0, 1.0, 2.0, 3.0), kInf);
    EXPECT_TRUE(std::isnan(linearInterpolation(2.0, 2.0, 1.0, 2.0, 3.0)));
}

TEST(BadInputGrid, EncoderNullEmptyOutsideNaNAndDuplicates)
{
    EXPECT_EQ(encoderCalibration(5.0, 3, nullptr), 5.0f);
    float table[6] = {0.0f, 0.0f, 10.0f, 36.0f, 10.0f, 72.0f};
    EXPECT_EQ(encoderCalibration(5.0, 0, table), 5.0f);
    EXPECT_EQ(encoderCalibration(-0.1, 2, table), static_cast<float>(-0.1));
    EXPECT_TRUE(std::isnan(encoderCalibration(kNaN, 2, table)));
    EXPECT_EQ(encoderCalibration(1e300, 2, table), std::numeric_limits<float>::infinity());
    // Two pairs at the same position: the first of them is used, no division by zero.
    EXPECT_EQ(encoderCalibration(10.0, 3, table), static_cast<float>(10.0 - 36.0 / 3600.0));
}

// ---------------------------------------------------------------------------
// Scattered-data surface
// ---------------------------------------------------------------------------

// Twelve well-spread points and the work arrays for them.
struct Scattered {
    int n = 12;
    Values x = {0, 3, 1, 4, 2, 0.5, 3.5, 1.5, 2.5, 0.2, 3.8, 2.2};
    Values y = {0, 0.5, 3, 3.5, 1.5, 2, 1.8, 0.7, 2.8, 3.9, 2.6, 3.3};
    Values z;
    Values work;
    std::vector<int> iwork;
    Scattered() : z(12), work(17 * 12, -9.0), iwork(39 * 12, -9)
    {
        for (int i = 0; i < n; ++i) z[i] = x[i] * x[i] - 2 * y[i] + 1;
    }
};

int interpolate(Scattered& s, int mode, int count, Values& xo, Values& yo, Values& zo, int& border, int& tri)
{
    int status = -1;
    int outCount = static_cast<int>(xo.size());
    sdbi3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &outCount, xo.data(), yo.data(), zo.data(), &status,
            s.work.data(), s.iwork.data(), &border, &tri);
    return status;
}

TEST(BadInputScattered, ArgumentChecksLeaveEverythingUntouched)
{
    Scattered s;
    Values xo = {1.0}, yo = {1.0}, zo = {-5.0};
    int border = -3, tri = -3;
    for (int count : {9, 0, -4, kIntMin}) {
        EXPECT_EQ(interpolate(s, 1, count, xo, yo, zo, border, tri), 1) << count;
        int mode = 1, status = -1, nx = 1, ny = 1;
        sdsf3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &nx, xo.data(), &ny, yo.data(), zo.data(),
                &status, s.work.data(), s.iwork.data());
        EXPECT_EQ(status, 1);
        Calculate_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &nx, xo.data(), yo.data(), zo.data(),
                   &status, s.work.data(), s.iwork.data(), 3, 3);
        EXPECT_EQ(status, 1);
    }
    // No output points: status 3, but the count is remembered, so a re-use
    // call with another count is refused with 2.
    Values none;
    EXPECT_EQ(interpolate(s, 1, 12, none, none, none, border, tri), 3);
    EXPECT_EQ(interpolate(s, 3, 11, xo, yo, zo, border, tri), 2);
    EXPECT_EQ(interpolate(s, 2, 13, xo, yo, zo, border, tri), 2);
    int mode = 1, count = 12, status = -1, zero = 0, one = 1, minus = -2;
    Calculate_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &minus, xo.data(), yo.data(), zo.data(),
               &status, s.work.data(), s.iwork.data(), 3, 3);
    EXPECT_EQ(status, 3);
    mode = 2;
    count = 11;
    Calculate_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &one, xo.data(), yo.data(), zo.data(), &status,
               s.work.data(), s.iwork.data(), 3, 3);
    EXPECT_EQ(status, 2);
    mode = 1;
    count = 12;
    sdsf3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &zero, xo.data(), &one, yo.data(), zo.data(),
            &status, s.work.data(), s.iwork.data());
    EXPECT_EQ(status, 3);
    sdsf3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &one, xo.data(), &minus, yo.data(), zo.data(),
            &status, s.work.data(), s.iwork.data());
    EXPECT_EQ(status, 4);
    mode = 3;
    count = 10;
    sdsf3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &one, xo.data(), &one, yo.data(), zo.data(),
            &status, s.work.data(), s.iwork.data());
    EXPECT_EQ(status, 2);

    EXPECT_EQ(zo[0], -5.0);
    EXPECT_EQ(border, -3);
    EXPECT_EQ(tri, -3);
    for (double w : s.work) EXPECT_EQ(w, -9.0);
    for (int w : s.iwork) EXPECT_EQ(w, -9);
}

TEST(BadInputScattered, DuplicateCollinearAndNonFiniteDataFailWithStatus9)
{
    Values xo = {1.0, 2.0}, yo = {1.0, 2.0};
    auto statusFor = [&](Scattered& s) {
        Values zo = {-5.0, -5.0};
        int border = -3, tri = -3;
        const int status = interpolate(s, 1, s.n, xo, yo, zo, border, tri);
        EXPECT_EQ(zo[0], -5.0);
        int mode = 1, count = s.n, grid = -1, one = 1;
        Values zg = {-5.0};
        sdsf3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &one, xo.data(), &one, yo.data(), zg.data(),
                &grid, s.work.data(), s.iwork.data());
        EXPECT_EQ(grid, status);
        EXPECT_EQ(zg[0], -5.0);
        return status;
    };
    Scattered dup;
    dup.x[7] = dup.x[2];
    dup.y[7] = dup.y[2];
    EXPECT_EQ(statusFor(dup), 9);
    Scattered firstThree;  // collinear first three points, the rest not
    firstThree.x[1] = 1.0;
    firstThree.y[1] = 1.0;
    firstThree.x[2] = 2.0;
    firstThree.y[2] = 2.0;
    EXPECT_EQ(statusFor(firstThree), 9);
    Scattered line;
    for (int i = 0; i < line.n; ++i) line.y[i] = 2.0 * line.x[i] + 1.0;
    EXPECT_EQ(statusFor(line), 9);
    for (double bad : {kNaN, kInf, -kInf}) {
        Scattered s;
        s.x[5] = bad;
        EXPECT_EQ(statusFor(s), 9);
        Scattered t;
        t.y[0] = bad;
        EXPECT_EQ(statusFor(t), 9);
    }
}

TEST(BadInputScattered, NonFiniteValuesAndOutputPoints)
{
    Scattered s;
    Values xo = {1.0, kNaN, 2.0, kInf, 2.0}, yo = {1.0, 1.0, -kInf, 1.0, 2.0}, zo(5, -5.0);
    int border = 0, tri = 0;
    ASSERT_EQ(interpolate(s, 1, s.n, xo, yo, zo, border, tri), 0);
    EXPECT_TRUE(std::isfinite(zo[0]) && std::isfinite(zo[4]));
    EXPECT_TRUE(std::isnan(zo[1]) && std::isnan(zo[2]) && std::isnan(zo[3]));
    // Grid nodes on a non-finite line are NaN too.
    int mode = 3, count = s.n, status = -1, nx = 2, ny = 2;
    int full = 1;
    Values gx = {1.0, kNaN}, gy = {2.0, 1.5}, zg(4, -5.0);
    sdsf3p_(&full, &count, s.x.data(), s.y.data(), s.z.data(), &nx, gx.data(), &ny, gy.data(), zg.data(), &status,
            s.work.data(), s.iwork.data());
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(std::isfinite(zg[0]) && std::isnan(zg[1]) && std::isfinite(zg[2]) && std::isnan(zg[3]));
    (void)mode;

    // A NaN data value is not refused: it reaches the values it enters.
    Scattered v;
    v.z[4] = kNaN;
    Values at = {v.x[4]}, aty = {v.y[4]}, z1 = {-5.0};
    ASSERT_EQ(interpolate(v, 1, v.n, at, aty, z1, border, tri), 0);
    EXPECT_TRUE(std::isnan(z1[0]));
}

TEST(BadInputScattered, PartialsBelowTenPointsAndRepeatedPoints)
{
    Scattered s;
    Values partials(5 * 12, -9.0), cubic(9 * 12, -9.0), plane(2 * 12, -9.0), dist(12, -9.0);
    std::vector<int> order(12, -9), nearest(9 * 12, -9), fitCount(12, -9), fitDegree(12, -9);
    for (int count : {9, 1, 0, -3, kIntMin}) {
        EXPECT_EQ(sdpd3p_(&count, s.x.data(), s.y.data(), s.z.data(), partials.data(), cubic.data(), plane.data(),
                          dist.data(), order.data(), nearest.data(), fitCount.data(), fitDegree.data()),
                  0);
    }
    for (double v : partials) EXPECT_EQ(v, -9.0);
    for (int v : nearest) EXPECT_EQ(v, -9);

    // Repeated points are not refused here (the drivers refuse them): every
    // point still gets nine distinct neighbours and a valid fit degree.
    s.x[7] = s.x[2];
    s.y[7] = s.y[2];
    int count = 12;
    EXPECT_EQ(sdpd3p_(&count, s.x.data(), s.y.data(), s.z.data(), partials.data(), cubic.data(), plane.data(),
                      dist.data(), order.data(), nearest.data(), fitCount.data(), fitDegree.data()),
              0);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(fitDegree[i] >= 0 && fitDegree[i] <= 3);
        for (int k = 0; k < 9; ++k) EXPECT_TRUE(nearest[9 * i + k] >= 1 && nearest[9 * i + k] <= 12);
    }
}

// Point sets whose orientation tests sit on rounding: a line rotated by an
// irrational angle with a few points off it, grids jittered by 1e-15
// relative, cocircular points. Each call must return (with a status, not
// by looping), and a prepared mesh must be a whole triangulation.
TEST(BadInputScattered, RoundingHazardSetsReturnWithAValidMeshOrStatus9)
{
    const double theta = 0.33199835764623936;
    std::vector<std::pair<Values, Values>> sets;
    {
        Values x, y;
        for (int i = 0; i < 40; ++i) {
            const double t = (i * 7 % 40) * 0.25 - 5.0;
            const double off = i % 13 == 5 ? 0.5 : 0.0;
            x.push_back(t * std::cos(theta) - off * std::sin(theta));
            y.push_back(t * std::sin(theta) + off * std::cos(theta));
        }
        std::swap(x[0], x[5]);  // a point off the line first
        std::swap(y[0], y[5]);
        sets.emplace_back(x, y);
    }
    for (double jitter : {1e-15, -1e-15}) {
        Values x, y;
        for (int i = 0; i < 49; ++i) {
            const double j = (i * 37 % 11 - 5) * jitter;
            x.push_back((i % 7) * (1.0 + j));
            y.push_back((i / 7) * (1.0 - j));
        }
        sets.emplace_back(x, y);
    }
    {
        Values x, y;
        for (int i = 0; i < 48; ++i) {
            const double a = (i * 29 % 48) * (6.283185307179586 / 48) + theta;
            x.push_back(3.0 * std::cos(a));
            y.push_back(3.0 * std::sin(a));
        }
        x.push_back(0.0);
        y.push_back(0.0);
        sets.emplace_back(x, y);
    }
    for (auto& [x, y] : sets) {
        const int n = static_cast<int>(x.size());
        Values z(x.size()), work(17 * x.size());
        for (int i = 0; i < n; ++i) z[i] = x[i] - 0.5 * y[i];
        std::vector<int> iwork(39 * x.size());
        Values xo = x, yo = y, zo(x.size());
        int mode = 1, count = n, outCount = n, status = -1, border = 0, tri = 0;
        sdbi3p_(&mode, &count, x.data(), y.data(), z.data(), &outCount, xo.data(), yo.data(), zo.data(), &status,
                work.data(), iwork.data(), &border, &tri);
        ASSERT_TRUE(status == 0 || status == 9) << status;
        if (status != 0) continue;
        EXPECT_EQ(tri + border, 2 * n - 2);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(zo[i], z[i], 1e-9) << i;
    }
}

// ---------------------------------------------------------------------------
// No state leaks from one call into the next
// ---------------------------------------------------------------------------

// 10^5 calls of a mix of functions, the stateful ones included (the sorts,
// the scattered drivers with their remembered counts and mode 3 re-use), in
// a pseudo-random order: every call gives the bits its first call gave.
TEST(StateLeaks, HundredThousandMixedCallsRepeatTheirFirstResults)
{
    std::vector<std::uint64_t> (*kinds[])() = {
        [] {
            Values v = {5, 3, 9, 1, 1, 7, 2, 8, 6, 4, 0, 3, 5, 2, 9, 1, 7, 7};
            sortAscending(static_cast<int>(v.size()), v.data());
            std::vector<std::uint64_t> r;
            for (double d : v) r.push_back(bits(d));
            return r;
        },
        [] {
            std::vector<float> f = {5, 3, 9, 1, 1, 7, 2, 8, 6, 4, 0, 3, 5, 2, 9, 1, 7, 7, 3, 2};
            Qsort(f.data(), 0, static_cast<unsigned>(f.size() - 1));
            std::vector<std::uint64_t> r;
            for (float d : f) r.push_back(bits(d));
            return r;
        },
        [] {
            const Values v = {1.5, 2.25, -3.0, 8.0, 0.125};
            return std::vector<std::uint64_t>{bits(mean(v)), bits(calAvgSigma(5, v, 1.0)), bits(median(v, 0, 4)),
                                              bits(stdev(5, v.data(), nullptr))};
        },
        [] {
            double m[9] = {4, 1, 0, 1, 5, 2, 0, 2, 6};
            MatrixInverse(m, 3);
            double det = 1.0;
            double rows[4][4] = {{4, 1, 0}, {1, 5, 2}, {0, 2, 6}};
            MatrixDeterminant(det, rows, 3);
            std::vector<std::uint64_t> r = {bits(det)};
            for (double d : m) r.push_back(bits(d));
            return r;
        },
        [] {
            double pts[8] = {0, 1, 1, 2.5, 2, 5.5, 3, 9};
            double c[3] = {0, 0, 0};
            bool flag = true;
            const int a = JPolyfit(4, pts, 2, c);
            double c2[2] = {0, 0};
            const int b = JPolyfitRemoverOutlier(4, pts, 1, c2, flag);
            return std::vector<std::uint64_t>{static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b + 1),
                                              bits(c[0]), bits(c[1]), bits(c[2]), bits(c2[0]), bits(c2[1])};
        },
        [] {
            Values v(50);
            for (int i = 0; i < 50; ++i) v[i] = (i * 13 % 17) * 0.5;
            v[20] = 40.0;
            return std::vector<std::uint64_t>{bits(rateFilter(50, v, 2))};
        },
        [] {
            Scattered s;
            Values xo = {1.0, 2.5, -1.0, 3.0}, yo = {1.0, 0.5, 2.0, 4.5}, zo(4), z3(4);
            int border = 0, tri = 0;
            const int st = interpolate(s, 1, s.n, xo, yo, zo, border, tri);
            const int st3 = interpolate(s, 3, s.n, xo, yo, z3, border, tri);
            std::vector<std::uint64_t> r = {static_cast<std::uint64_t>(st), static_cast<std::uint64_t>(st3),
                                            static_cast<std::uint64_t>(border), static_cast<std::uint64_t>(tri)};
            for (double d : zo) r.push_back(bits(d));
            for (double d : z3) r.push_back(bits(d));
            return r;
        },
        [] {
            Scattered s;
            int mode = 1, count = s.n, nx = 3, ny = 2, status = -1;
            Values gx = {0.5, 1.5, 2.5}, gy = {1.0, 3.0}, zg(6);
            sdsf3p_(&mode, &count, s.x.data(), s.y.data(), s.z.data(), &nx, gx.data(), &ny, gy.data(), zg.data(),
                    &status, s.work.data(), s.iwork.data());
            std::vector<std::uint64_t> r = {static_cast<std::uint64_t>(status)};
            for (double d : zg) r.push_back(bits(d));
            return r;
        },
    };
    constexpr int kKinds = sizeof kinds / sizeof kinds[0];
    std::vector<std::vector<std::uint64_t>> first;
    for (auto kind : kinds) first.push_back(kind());
    std::uint32_t state = 12345;
    int mismatches = 0;
    for (int call = 0; call < 100000; ++call) {
        state = state * 1664525u + 1013904223u;
        // The scattered calls are the slow ones: one call in eight.
        const int k = (state >> 8) % 8 == 0 ? 6 + static_cast<int>((state >> 16) % 2)
                                             : static_cast<int>((state >> 16) % (kKinds - 2));
        if (kinds[k]() != first[static_cast<std::size_t>(k)]) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
