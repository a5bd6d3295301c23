// Rate-of-change rejection followed by k-sigma clipping of the values.
//
// Stage 1 estimates the signal's rate of change by correlating it with a
// derivative-of-Gaussian kernel and invalidates every sample whose rate lies
// outside mean +- k * (standard deviation of the rates). Stage 2 clips the
// values themselves the same way, a number of passes, replacing each rejected
// value by the mean of the valid ones. Statistics use only valid samples.

#include <VORN_LumUtility.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace {

// 39 taps (offsets -19 .. 19) at unit sigma reach well past 4 sigma, where
// the derivative of the density is negligible.
constexpr int kRateTaps = 39;
constexpr double kRateSigma = 1.0;

// Value passes of the vector overload.
constexpr int kVectorPasses = 2;

// Clears the mask of every valid sample outside [m - k s, k s + m] of the
// valid samples of `values` and replaces it by m. False when the band is
// empty (negative k with a positive spread); nothing is changed then.
bool clipOutsideBand(int n, int k, double* values, bool* mask)
{
    const double s = stdev(n, values, mask);
    const double m = avg(n, values, mask);
    const double t = static_cast<double>(k) * s;
    const double lower = m - t;
    const double upper = t + m;
    return bandFilter(n, lower, upper, m, values, mask);
}

}  // namespace

bool rateFilter(const int& n, const int& k, const int& passes, double* signal, bool* mask)
{
    if (n < 1) {
        return false;  // nothing to correlate
    }
    double kernel[kRateTaps];
    doGFilter(kRateTaps, kRateSigma, kernel);

    std::vector<double> rates(static_cast<std::size_t>(n));
    convFilter(n, kRateTaps, kernel, signal, rates.data());

    // Rate stage: only the mask changes (the replaced rates are discarded).
    if (!clipOutsideBand(n, k, rates.data(), mask)) {
        return false;
    }
    // Value stage: each pass works on what the previous one left.
    for (int pass = 0; pass < passes; ++pass) {
        if (!clipOutsideBand(n, k, signal, mask)) {
            return false;
        }
    }
    return true;
}

double rateFilter(int n, const std::vector<double>& signal, int k)
{
    // Bounds-checked copy: a vector shorter than n raises std::out_of_range
    // before anything else happens.
    // The copy never grows past the caller's vector, so an oversized n meets
    // the range check rather than an allocation failure.
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    std::vector<double> values;
    values.reserve(count < signal.size() ? count : signal.size());
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(signal.at(i));
    }
    std::unique_ptr<bool[]> mask(new bool[count]);
    for (std::size_t i = 0; i < count; ++i) {
        mask[i] = true;
    }
    if (!rateFilter(n, k, kVectorPasses, values.data(), mask.get())) {
        return 0.0;
    }
    return avg(n, values.data(), mask.get());
}
