// Moving buffers, Kalman step, moving average, kernels, correlation, band
// check and rate filters.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInvSqrt2Pi = 1.0 / std::sqrt(std::acos(-1.0) * 2.0);

std::vector<double> rates(const std::vector<double>& signal)
{
    const int n = static_cast<int>(signal.size());
    std::vector<double> kernel(39), out(n);
    doGFilter(39, 1.0, kernel.data());
    convFilter(n, 39, kernel.data(), signal.data(), out.data());
    return out;
}
}  // namespace

TEST(MovingBuffers, WindowFillsSlidesAndIgnoresDegenerateCounts)
{
    double window[3] = {kNaN, kNaN, kNaN};
    EXPECT_EQ(MovingFilter(window, 1, 3, 3.0), 3.0);
    EXPECT_EQ(MovingFilter(window, 2, 3, 6.0), 4.5);
    EXPECT_EQ(MovingFilter(window, 3, 3, 9.0), 6.0);
    EXPECT_EQ(MovingFilter(window, 4, 3, 12.0), 9.0);
    // No window, no sample yet, negative count or length: x back, nothing written.
    for (auto nw : std::initializer_list<std::pair<int, int>>{{4, 0}, {0, 2}, {-1, 2}, {3, -2}})
        EXPECT_EQ(MovingFilter(window, nw.first, nw.second, 7.5), 7.5) << nw.first << " " << nw.second;
    EXPECT_EQ(std::vector<double>(window, window + 3), (std::vector<double>{6, 9, 12}));

    double buf[3] = {1, 2, 3};
    ShiftMovingBuffer(buf, 3, 4);
    EXPECT_EQ(std::vector<double>(buf, buf + 3), (std::vector<double>{2, 3, 4}));
    ShiftMovingBuffer(buf, 1, 9);
    ShiftMovingBuffer(buf, 0, 5);
    ShiftMovingBuffer(buf, -2, 5);
    EXPECT_EQ(std::vector<double>(buf, buf + 3), (std::vector<double>{9, 3, 4}));
}

TEST(KalmanFilter, FirstStepAndSteadyState)
{
    double estimate = 0.0, variance = 1.0;
    KalmanFilter(1.0, estimate, variance);
    const double k = 1.00001 / (1.00001 + 0.001);
    EXPECT_EQ(estimate, k);
    EXPECT_EQ(variance, (1.0 - k) * 1.00001);

    // The predicted variance p settles at the root of p^2 - q p - q r = 0.
    const double q = 1e-5, r = 0.001, p = (q + std::sqrt(q * q + 4 * q * r)) / 2;
    for (int i = 0; i < 5000; ++i) KalmanFilter(2.5, estimate, variance);
    EXPECT_NEAR(variance, p - q, 1e-15);
    EXPECT_NEAR(estimate, 2.5, 1e-12);
}

TEST(MovingAverage, EffectiveWindowLengthAndFreshSums)
{
    auto run = [](int request, std::vector<double> d) { movingAverage(request, d); return d; };
    const std::vector<double> six{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(run(3, six), (std::vector<double>{2, 3, 4}));
    EXPECT_EQ(run(10, six), (std::vector<double>{2, 3, 4}));  // at most n / 2
    for (int request : {-4, 0, 1}) EXPECT_EQ(run(request, six), (std::vector<double>{1.5, 2.5, 3.5, 4.5}));
    EXPECT_TRUE(run(5, {4, 8}).empty());
    EXPECT_EQ(run(5, {4, 8, 100}), std::vector<double>{6});
    EXPECT_EQ(run(5, {4}), std::vector<double>{4});
    // A running sum would carry the rounding of 1e16 + 1 into later windows.
    EXPECT_EQ(run(2, {1e16, 1, -1e16, 1, 1, 1, 1, 1}), (std::vector<double>{5e15, -5e15, -5e15, 1, 1, 1}));
}

TEST(Kernels, GaussianAndDerivativeTaps)
{
    double kernel[5] = {kNaN, kNaN, kNaN, kNaN, kNaN};
    EXPECT_FALSE(gaussianFilter(4, 1.0, kernel));
    EXPECT_FALSE(doGFilter(0, 1.0, kernel));
    EXPECT_TRUE(std::isnan(kernel[0]));
    ASSERT_TRUE(gaussianFilter(1, 1.0, kernel));
    EXPECT_EQ(kernel[0], kInvSqrt2Pi);
    ASSERT_TRUE(doGFilter(3, 1.0, kernel));
    EXPECT_EQ(kernel[0], std::exp(-0.5) * kInvSqrt2Pi);
    EXPECT_TRUE(kernel[1] == 0.0 && !std::signbit(kernel[1]));
    EXPECT_EQ(kernel[2], -kernel[0]);

    // Factor order: exp(j*j / (s2 * -2)) * (1 / (sqrt(2 pi) sigma)) [* (-j / s2)].
    const double sigma = 1.3, s2 = sigma * sigma;
    double gauss[5], dog[5];
    ASSERT_TRUE(gaussianFilter(5, sigma, gauss) && doGFilter(5, sigma, dog));
    for (int j = -2; j <= 2; ++j) {
        const double e = std::exp((j * j) / (s2 * -2.0)), f = 1.0 / (std::sqrt(std::acos(-1.0) * 2.0) * sigma);
        EXPECT_EQ(gauss[j + 2], e * f) << j;
        EXPECT_EQ(dog[j + 2], e * (f * (-j / s2))) << j;
    }
}

TEST(ConvFilter, CorrelationMatchesTheDirectSum)
{
    const double signal[3] = {1, 2, 3}, box[3] = {1, 1, 1}, first[3] = {1, 0, 0};
    double out[3] = {kNaN, kNaN, kNaN};
    EXPECT_FALSE(convFilter(0, 3, box, signal, out));
    EXPECT_FALSE(convFilter(3, 2, box, signal, out));
    EXPECT_TRUE(std::isnan(out[0]));
    ASSERT_TRUE(convFilter(3, 3, box, signal, out));
    EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{3, 6, 5}));
    ASSERT_TRUE(convFilter(3, 3, first, signal, out));  // not reversed
    EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{0, 1, 2}));

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> dist(-5, 5);
    for (int n : {1, 2, 17, 40}) {
        for (int k : {1, 9, 39, 81}) {
            std::vector<double> kern(k), sig(n), got(n), want(n);
            for (double& v : kern) v = dist(rng);
            for (double& v : sig) v = dist(rng);
            ASSERT_TRUE(convFilter(n, k, kern.data(), sig.data(), got.data()));
            for (int i = 0; i < n; ++i) {
                double sum = 0.0;
                for (int t = 0; t < k; ++t)
                    if (i - k / 2 + t >= 0 && i - k / 2 + t < n) sum += kern[t] * sig[i - k / 2 + t];
                want[i] = sum;
            }
            EXPECT_EQ(got, want) << "n " << n << " k " << k;
        }
    }
    // A rising ramp has rate close to -1 wherever the whole kernel fits.
    std::vector<double> ramp(100);
    for (int i = 0; i < 100; ++i) ramp[i] = i;
    const std::vector<double> r = rates(ramp);
    for (int i = 19; i <= 80; ++i) EXPECT_NEAR(r[i], -0.9999998, 1e-7) << i;
    EXPECT_GT(r[0] - r[19], 0.1);
}

TEST(BandFilter, InclusiveBoundsOnlyClearTheMask)
{
    double signal[6] = {10.0, 10.5, -0.5, 0.0, 20.0, kNaN};
    bool mask[6] = {true, true, true, true, false, true};
    EXPECT_FALSE(bandFilter(6, 10.0, 0.0, -1.0, signal, mask));
    EXPECT_FALSE(bandFilter(0, 0.0, 10.0, -1.0, signal, mask));
    EXPECT_TRUE(mask[1]);
    ASSERT_TRUE(bandFilter(6, 0.0, 10.0, -1.0, signal, mask));
    const bool keep[6] = {true, false, false, true, false, true};  // entry 4 was already cleared
    for (int i = 0; i < 6; ++i) EXPECT_EQ(mask[i], keep[i]) << i;
    EXPECT_EQ(std::vector<double>(signal, signal + 5), (std::vector<double>{10, -1, -1, 0, 20}));
    EXPECT_TRUE(std::isnan(signal[5]));
}

TEST(RateFilter, SpikeIsRemovedByTheRateAndValueStages)
{
    for (int passes : {0, 1}) {
        std::vector<double> signal(60, 0.0);
        signal[30] = 100.0;
        bool mask[60];
        std::fill(mask, mask + 60, true);
        const std::vector<double> r = rates(signal);
        EXPECT_NEAR(r[29], -24.197, 1e-3);
        EXPECT_NEAR(3 * stdev(60, r.data(), nullptr), 14.65, 0.01);
        ASSERT_TRUE(rateFilter(60, 3, passes, signal.data(), mask));
        for (int i = 0; i < 60; ++i) EXPECT_EQ(mask[i], i < 29 || i > 31 || (i == 30 && passes == 0)) << i;
        EXPECT_EQ(signal[30], passes ? 100.0 / 58 : 100.0);
        EXPECT_EQ(signal[29], 0.0);
    }
}

TEST(RateFilter, FailuresAndZeroMultiple)
{
    std::vector<double> signal(60, 0.0);
    signal[30] = 100.0;
    bool mask[60];
    std::fill(mask, mask + 60, true);
    EXPECT_FALSE(rateFilter(60, -1, 2, signal.data(), mask));
    EXPECT_FALSE(rateFilter(0, 3, 2, signal.data(), mask));
    EXPECT_EQ(std::count(mask, mask + 60, true), 60);
    EXPECT_EQ(signal[30], 100.0);
    EXPECT_EQ(rateFilter(60, signal, -1), 0.0);
    EXPECT_EQ(rateFilter(0, signal, 3), 0.0);

    // k = 0 keeps only samples whose rate equals the mean rate: on a flat
    // signal, none (cut-off ends and rounding), so the mean falls back to 0.0.
    std::vector<double> flat(30, 5.0);
    const std::vector<double> r = rates(flat);
    const double meanRate = avg(30, r.data(), nullptr);
    ASSERT_TRUE(rateFilter(30, 0, 0, flat.data(), mask));
    for (int i = 0; i < 30; ++i) EXPECT_EQ(mask[i], r[i] == meanRate) << i;
    EXPECT_EQ(rateFilter(30, flat, 0), 0.0);
    EXPECT_EQ(rateFilter(30, flat, 3), 5.0);
}

TEST(RateFilter, VectorOverloadIsTwoPassesThenTheMaskedMean)
{
    std::mt19937 rng(17);
    std::normal_distribution<double> noise(10.0, 1.0);
    std::vector<double> data(120);
    for (double& v : data) v = noise(rng);
    data[40] = 60.0;
    data[90] = -30.0;
    std::vector<double> signal = data;
    bool mask[120];
    std::fill(mask, mask + 120, true);
    ASSERT_TRUE(rateFilter(120, 3, 2, signal.data(), mask));
    EXPECT_FALSE(mask[40] || mask[90]);
    std::vector<double> longer = data;
    longer.push_back(1e9);  // only the first n elements take part
    EXPECT_EQ(rateFilter(120, longer, 3), avg(120, signal.data(), mask));

    EXPECT_THROW(rateFilter(6, std::vector<double>(5, 1.0), 3), std::out_of_range);
    EXPECT_THROW(rateFilter(std::numeric_limits<int>::max(), data, 3), std::out_of_range);
}

// Regression: a kernel length of -1 is odd, and h = -1 / 2 = 0 used to make
// the generators write tap 0 and the correlation read it, from an array the
// caller describes as empty. Negative lengths are refused like even ones.
TEST(Kernels, NegativeOddLengthIsRefusedWithoutTouchingTheArrays)
{
    for (int k : {-1, -3, std::numeric_limits<int>::min() + 1}) {
        double kernel[2] = {kNaN, kNaN};
        EXPECT_FALSE(gaussianFilter(k, 1.0, kernel)) << k;
        EXPECT_FALSE(doGFilter(k, 1.0, kernel)) << k;
        EXPECT_TRUE(std::isnan(kernel[0]) && std::isnan(kernel[1]));
        const double signal[2] = {1.0, 2.0};
        double out[2] = {-7.0, -7.0};
        EXPECT_FALSE(convFilter(2, k, kernel, signal, out)) << k;
        EXPECT_EQ(out[0], -7.0);
        EXPECT_EQ(out[1], -7.0);
    }
}
