// Sliding-window median test of the Hampel kind: each sample is compared with
// the median of its window and rejected when it lies further from it than k
// scaled median absolute deviations. Every window is taken from the full input,
// never from what earlier decisions kept.
#include <VORN_LumUtility.h>

#include "stats/median.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Turns a median absolute deviation into a standard-deviation estimate for
// normally distributed data.
constexpr double kMadScale = 1.4826;

}  // namespace

void removeOutlierFuncMedian(const std::vector<double>& data, std::vector<double>& cleaned,
                             std::vector<int>& kept, int w, double k)
{
    kept.clear();
    const int n = static_cast<int>(data.size());
    if (n < 1) return;
    // A negative half-width would give windows that end before they start; it
    // is taken as 0 (each sample its own window, so every sample is kept).
    if (w < 0) w = 0;

    std::vector<double> window;
    std::vector<double> deviations;
    window.reserve(2 * static_cast<std::size_t>(std::min(w, n)) + 1);
    deviations.reserve(window.capacity());
    for (int i = 0; i < n; ++i) {
        // Windows are cut off at either end, not shifted. The comparisons avoid
        // forming i + w, which could overflow for a huge w.
        const int lo = (i > w) ? i - w : 0;
        const int hi = (w > n - 1 - i) ? n - 1 : i + w;

        // The window is copied in input order, exactly as a median of the
        // position range lo .. hi would copy it.
        window.assign(data.begin() + lo, data.begin() + hi + 1);
        const double med = lum::sortedMedian(window);

        deviations.clear();
        for (int j = lo; j <= hi; ++j) deviations.push_back(std::fabs(data[j] - med));
        const double s = lum::sortedMedian(deviations) * kMadScale;

        if (std::fabs(data[i] - med) > s * k) continue;  // at the threshold: kept
        cleaned.push_back(data[i]);
        kept.push_back(i);
    }
}
