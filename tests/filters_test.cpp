// Moving buffers, Kalman step, moving average, kernels, correlation, band
// check and rate filters. Unusable sizes and non-finite input are pinned in
// bad_input_test.cpp.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {
using Values = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInvSqrt2Pi = 1.0 / std::sqrt(std::acos(-1.0) * 2.0);

Values rates(const Values& signal)
{
    const int n = static_cast<int>(signal.size());
    Values kernel(39), out(n);
    doGFilter(39, 1.0, kernel.data());
    convFilter(n, 39, kernel.data(), signal.data(), out.data());
    return out;
}
}  // namespace

TEST(MovingBuffers, WindowFillsAndSlides)
{
    double window[3] = {kNaN, kNaN, kNaN};
    const double fed[4] = {3, 6, 9, 12}, means[4] = {3, 4.5, 6, 9};
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(MovingFilter(window, n, 3, fed[n - 1]), means[n - 1]) << n;
    EXPECT_EQ(Values(window, window + 3), (Values{6, 9, 12}));
    ShiftMovingBuffer(window, 3, 4);
    ShiftMovingBuffer(window, 1, 5);
    EXPECT_EQ(Values(window, window + 3), (Values{5, 12, 4}));
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
    auto run = [](int request, Values d) { movingAverage(request, d); return d; };
    EXPECT_EQ(run(3, {1, 2, 3, 4, 5, 6}), (Values{2, 3, 4}));
    EXPECT_EQ(run(5, {4, 8, 100}), Values{6});
    // A running sum would carry the rounding of 1e16 + 1 into later windows.
    EXPECT_EQ(run(2, {1e16, 1, -1e16, 1, 1, 1, 1, 1}), (Values{5e15, -5e15, -5e15, 1, 1, 1}));
}

TEST(Kernels, GaussianAndDerivativeTaps)
{
    double kernel[3];
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
    // Regression: an odd negative length made h = 0 and tap 0 was written and
    // read from an array described as empty.
    for (int k : {-1, -3, std::numeric_limits<int>::min() + 1}) {
        double taps[2] = {kNaN, kNaN}, out[2] = {-7.0, -7.0};
        const double signal[2] = {1.0, 2.0};
        EXPECT_FALSE(gaussianFilter(k, 1.0, taps) || doGFilter(k, 1.0, taps) || convFilter(2, k, taps, signal, out));
        EXPECT_TRUE(std::isnan(taps[0]) && std::isnan(taps[1]) && out[0] == -7.0 && out[1] == -7.0) << k;
    }
}

TEST(ConvFilter, CorrelationMatchesTheDirectSum)
{
    const double signal[3] = {1, 2, 3}, box[3] = {1, 1, 1}, first[3] = {1, 0, 0};
    double out[3];
    ASSERT_TRUE(convFilter(3, 3, box, signal, out));
    EXPECT_EQ(Values(out, out + 3), (Values{3, 6, 5}));
    ASSERT_TRUE(convFilter(3, 3, first, signal, out));  // not reversed
    EXPECT_EQ(Values(out, out + 3), (Values{0, 1, 2}));

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> dist(-5, 5);
    for (int n : {1, 2, 17, 40}) {
        for (int k : {1, 9, 39, 81}) {
            Values kern(k), sig(n), got(n), want(n);
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
    Values ramp(100);
    for (int i = 0; i < 100; ++i) ramp[i] = i;
    const Values r = rates(ramp);
    for (int i = 19; i <= 80; ++i) EXPECT_NEAR(r[i], -0.9999998, 1e-7) << i;
    EXPECT_GT(r[0] - r[19], 0.1);
}

TEST(BandFilter, InclusiveBoundsOnlyClearTheMask)
{
    double signal[6] = {10.0, 10.5, -0.5, 0.0, 20.0, kNaN};
    bool mask[6] = {true, true, true, true, false, true};
    ASSERT_TRUE(bandFilter(6, 0.0, 10.0, -1.0, signal, mask));
    const bool keep[6] = {true, false, false, true, false, true};  // entry 4 was already cleared
    for (int i = 0; i < 6; ++i) EXPECT_EQ(mask[i], keep[i]) << i;
    EXPECT_EQ(Values(signal, signal + 5), (Values{10, -1, -1, 0, 20}));
}

TEST(RateFilter, SpikeIsRemovedByTheRateAndValueStages)
{
    for (int passes : {0, 1}) {
        Values signal(60, 0.0);
        signal[30] = 100.0;
        bool mask[60];
        std::fill(mask, mask + 60, true);
        const Values r = rates(signal);
        EXPECT_NEAR(r[29], -24.197, 1e-3);
        EXPECT_NEAR(3 * stdev(60, r.data(), nullptr), 14.65, 0.01);
        ASSERT_TRUE(rateFilter(60, 3, passes, signal.data(), mask));
        for (int i = 0; i < 60; ++i) EXPECT_EQ(mask[i], i < 29 || i > 31 || (i == 30 && passes == 0)) << i;
        EXPECT_EQ(signal[30], passes ? 100.0 / 58 : 100.0);
        EXPECT_EQ(signal[29], 0.0);
    }
}

TEST(RateFilter, ZeroMultipleAndVectorOverload)
{
    // k = 0 keeps only samples whose rate equals the mean rate: on a flat
    // signal, none (cut-off ends and rounding), so the mean falls back to 0.0.
    Values flat(30, 5.0);
    bool mask[120];
    std::fill(mask, mask + 120, true);
    const Values r = rates(flat);
    const double meanRate = avg(30, r.data(), nullptr);
    ASSERT_TRUE(rateFilter(30, 0, 0, flat.data(), mask));
    for (int i = 0; i < 30; ++i) EXPECT_EQ(mask[i], r[i] == meanRate) << i;
    EXPECT_EQ(rateFilter(30, flat, 0), 0.0);
    EXPECT_EQ(rateFilter(30, flat, 3), 5.0);

    // The vector overload is two passes of the array one, then the masked mean.
    std::mt19937 rng(17);
    std::normal_distribution<double> noise(10.0, 1.0);
    Values data(120);
    for (double& v : data) v = noise(rng);
    data[40] = 60.0;
    data[90] = -30.0;
    Values signal = data;
    std::fill(mask, mask + 120, true);
    ASSERT_TRUE(rateFilter(120, 3, 2, signal.data(), mask));
    EXPECT_FALSE(mask[40] || mask[90]);
    data.push_back(1e9);  // only the first n elements take part
    EXPECT_EQ(rateFilter(120, data, 3), avg(120, signal.data(), mask));
}
