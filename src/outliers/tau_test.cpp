// Iterated modified Thompson tau test on the absolute deviations of the samples
// from their mean. The largest remaining deviation is tested against tau times
// the spread of the deviations and removed when it fails; the spread is capped
// at 1.0 and every cap is counted, so the caller's flag can report a spread
// that stayed too large for the test to mean much.
#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Critical values tau for 3 .. 40 samples; 1.96 for more.
constexpr double kTau[38] = {
    1.15,  1.393, 1.572, 1.656, 1.711, 1.749, 1.777, 1.798, 1.815, 1.829,  //  3 .. 12
    1.84,  1.849, 1.858, 1.865, 1.871, 1.876, 1.881, 1.885, 1.889, 1.893,  // 13 .. 22
    1.896, 1.899, 1.902, 1.904, 1.906, 1.908, 1.91,  1.911, 1.913, 1.914,  // 23 .. 32
    1.916, 1.917, 1.919, 1.92,  1.921, 1.922, 1.923, 1.924};               // 33 .. 40
constexpr double kTauLarge = 1.96;

// The spread used in the test never exceeds this, in the units of the samples.
constexpr double kSpreadLimit = 1.0;

double tauFor(int n)
{
    return n > 40 ? kTauLarge : kTau[n - 3];
}

}  // namespace

void removeOutlierFuncTau(const std::vector<double>& data, std::vector<double>& cleaned,
                          std::vector<int>& kept, double fraction, bool& flag)
{
    const int n = static_cast<int>(data.size());
    if (n < 3) return;
    kept.clear();
    if (fraction > 1.0) return;

    // Deviations from the mean of all samples; the mean is not recomputed as
    // samples go.
    const double m = mean(data);
    std::vector<std::pair<double, int>> records(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) records[i] = {std::fabs(data[i] - m), i};
    std::sort(records.begin(), records.end(),
              [](const std::pair<double, int>& a, const std::pair<double, int>& b) {
                  return a.first < b.first;
              });
    std::vector<double> dev(static_cast<std::size_t>(n));
    std::vector<int> pos(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        dev[i] = records[i].first;
        pos[i] = records[i].second;
    }

    double mu = mean(dev);
    double s = stdDev(dev, mu);
    int capped = 0;
    if (s > kSpreadLimit) {
        s = kSpreadLimit;
        capped = 1;
    }
    const double tau = tauFor(n);
    double h = tau * s;

    // Test budget trunc(n * fraction). fraction <= 1 here, so it fits an int;
    // anything below one test (negative or NaN fraction included) is no test.
    const double budget = static_cast<double>(n) * fraction;
    int t = budget >= 1.0 ? static_cast<int>(budget) : 0;
    const int t0 = t;
    int r = 0;
    std::vector<int> removed;

    while (t > 0) {
        // Once the largest deviation passes, every later test would too.
        if (!(std::fabs(dev.back() - mu) > h)) break;
        removed.push_back(pos[n - 1 - r]);
        dev.pop_back();
        ++r;
        mu = mean(dev);
        s = stdDev(dev, mu);
        if (s > kSpreadLimit) {
            s = kSpreadLimit;
            ++capped;
        }
        h = tau * s;
        --t;
    }

    kept.reserve(static_cast<std::size_t>(n - r));
    cleaned.reserve(cleaned.size() + static_cast<std::size_t>(n - r));
    std::sort(removed.begin(), removed.end());
    auto next = removed.begin();
    for (int i = 0; i < n; ++i) {
        if (next != removed.end() && *next == i) {
            ++next;
            continue;
        }
        kept.push_back(i);
        cleaned.push_back(data[i]);
    }
    if (r > 0 && capped >= t0) flag = false;
}
