// Moving windows, a scalar Kalman step and a whole-vector moving average.
// The window and the Kalman state live in the caller's storage; nothing is
// kept here between calls.

#include <VORN_LumUtility.h>

#include <cstddef>
#include <vector>

namespace {

// Mean of p[0 .. count - 1], summed from 0.0 in ascending order.
double windowMean(const double* p, std::size_t count)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += p[i];
    }
    return sum / static_cast<double>(count);
}

// Random-walk model of the Kalman step: process-noise variance added to the
// error variance on every step, and the variance of one measurement.
constexpr double kProcessNoise = 1e-5;
constexpr double kMeasurementNoise = 0.001;

}  // namespace

double MovingFilter(double* window, int n, int w, double x)
{
    // n is the running sample count including x. An empty window, no sample
    // yet, or a negative count or length passes x through and writes nothing.
    if (w <= 0 || n <= 0) {
        return x;
    }
    if (n > w) {
        // Window full: drop the oldest sample, append x.
        for (int i = 0; i + 1 < w; ++i) {
            window[i] = window[i + 1];
        }
        window[w - 1] = x;
        return windowMean(window, static_cast<std::size_t>(w));
    }
    // Window still filling: x goes to slot n - 1.
    window[n - 1] = x;
    return windowMean(window, static_cast<std::size_t>(n));
}

void ShiftMovingBuffer(double* buf, int n, double x)
{
    if (n <= 0) {
        return;
    }
    for (int i = 0; i + 1 < n; ++i) {
        buf[i] = buf[i + 1];
    }
    buf[n - 1] = x;
}

void KalmanFilter(double z, double& estimate, double& errorVariance)
{
    const double p = errorVariance + kProcessNoise;        // predict
    const double k = p / (p + kMeasurementNoise);           // gain
    estimate = (z - estimate) * k + estimate;               // update
    errorVariance = (1.0 - k) * p;
}

void movingAverage(int window, std::vector<double>& data)
{
    const std::size_t n = data.size();
    if (n < 2) {
        return;
    }
    // Effective window: at most half the data, at least two samples.
    std::size_t w = n / 2;
    if (window < static_cast<long long>(w)) {
        w = window < 2 ? 2 : static_cast<std::size_t>(window);
    }
    if (w < 2) {
        w = 2;
    }
    // One value per start position 0 .. n - w - 1; the window ending at the
    // last sample is not produced. Each window is summed afresh so that every
    // value carries only its own rounding.
    std::vector<double> result(n - w);
    for (std::size_t s = 0; s < n - w; ++s) {
        result[s] = windowMean(data.data() + s, w);
    }
    data.swap(result);
}
