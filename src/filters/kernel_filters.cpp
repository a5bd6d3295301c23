// Gaussian kernels, correlation with a kernel, and a band check on values.
//
// A kernel holds k taps, k odd; tap t belongs to the offset j = t - h from the
// centre, h = k / 2.

#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>

namespace {

// Leading factor 1 / (sqrt(2 pi) sigma) of the normal density.
double normalFactor(double sigma)
{
    const double pi = std::acos(-1.0);
    return 1.0 / (std::sqrt(pi * 2.0) * sigma);
}

// exp(-j^2 / (2 sigma^2)) with the square of the offset formed exactly.
double gaussianShape(int j, double s2)
{
    const long long square = static_cast<long long>(j) * j;
    return std::exp(static_cast<double>(square) / (s2 * -2.0));
}

bool isEven(int k) { return (k & 1) == 0; }

// A kernel length the filters can use: odd and positive. A negative odd
// length such as -1 would still give h = k / 2 = 0 and touch tap 0 of an
// array the caller says has no taps, so it is refused like an even one.
bool usableLength(int k) { return k > 0 && !isEven(k); }

}  // namespace

bool gaussianFilter(const int& k, const double& sigma, double* kernel)
{
    if (!usableLength(k)) {
        return false;
    }
    const int h = k / 2;
    const double s2 = sigma * sigma;
    const double factor = normalFactor(sigma);
    // The density sampled at integer offsets; the taps are not rescaled to sum to 1.
    for (int j = -h; j <= h; ++j) {
        kernel[j + h] = gaussianShape(j, s2) * factor;
    }
    return true;
}

bool doGFilter(const int& k, const double& sigma, double* kernel)
{
    if (!usableLength(k)) {
        return false;
    }
    const int h = k / 2;
    const double s2 = sigma * sigma;
    const double factor = normalFactor(sigma);
    // First derivative of the density: positive for negative offsets, +0.0 at
    // the centre (the offset is negated as an integer), negative for positive ones.
    for (int j = -h; j <= h; ++j) {
        kernel[j + h] = gaussianShape(j, s2) * (factor * (static_cast<double>(-j) / s2));
    }
    return true;
}

bool convFilter(const int& n, const int& k, const double* kernel, const double* signal, double* out)
{
    if (n < 1 || !usableLength(k)) {
        return false;
    }
    const long long h = k / 2;
    const long long count = n;
    // Correlation: tap t meets sample i - h + t, so the kernel is not reversed.
    // Taps that fall outside the signal are skipped without renormalising.
    for (long long i = 0; i < count; ++i) {
        const long long first = std::max(0LL, h - i);
        const long long last = std::min(2 * h, count - 1 - i + h);
        double sum = 0.0;
        for (long long t = first; t <= last; ++t) {
            sum += kernel[t] * signal[i - h + t];
        }
        out[i] = sum;
    }
    return true;
}

bool bandFilter(const int& n, const double& lower, const double& upper, const double& replacement,
                double* signal, bool* mask)
{
    if (n < 1 || lower > upper) {
        return false;
    }
    // Inclusive bounds; a NaN sample compares false both ways and stays valid.
    for (int i = 0; i < n; ++i) {
        if (mask[i] && (lower > signal[i] || signal[i] > upper)) {
            mask[i] = false;
            signal[i] = replacement;
        }
    }
    return true;
}
