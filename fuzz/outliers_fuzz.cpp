// Outlier rejection on hostile samples, window widths and shares.
//
// Properties: kept positions ascend, lie inside the input and match the
// values appended to `cleaned` (whose old content stays in front); the
// median-band filter agrees with a brute-force windowed median (a slow path
// that copies each window and sorts it with a stable sort); the tau test
// removes at most trunc(N * fraction) samples, never sets the flag, and
// leaves its outputs alone where it refuses the input.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;

double sortedMiddle(std::vector<double> w)
{
    std::stable_sort(w.begin(), w.end());
    const std::size_t c = w.size();
    return c % 2 ? w[c / 2] : (w[c / 2 - 1] + w[c / 2]) * 0.5;
}

// Whether sample i of the median-band filter is kept, computed directly.
bool medianKeeps(const std::vector<double>& x, int i, long long w, double k)
{
    const long long n = static_cast<long long>(x.size());
    const long long lo = std::max(0LL, i - w);
    const long long hi = std::min(n - 1, i + w);
    const std::vector<double> window(x.begin() + lo, x.begin() + hi + 1);
    const double med = sortedMiddle(window);
    std::vector<double> dev;
    for (double v : window) dev.push_back(std::fabs(v - med));
    const double s = sortedMiddle(dev) * 1.4826;
    return !(std::fabs(x[static_cast<std::size_t>(i)] - med) > s * k);
}

void checkOutputs(const std::vector<double>& x, const std::vector<double>& prefix,
                  const std::vector<double>& cleaned, const std::vector<int>& kept)
{
    LUM_FUZZ_CHECK(cleaned.size() == prefix.size() + kept.size());
    for (std::size_t i = 0; i < prefix.size(); ++i) LUM_FUZZ_CHECK(sameBits(cleaned[i], prefix[i]));
    for (std::size_t j = 0; j < kept.size(); ++j) {
        LUM_FUZZ_CHECK(kept[j] >= 0 && kept[j] < static_cast<int>(x.size()));
        if (j > 0) LUM_FUZZ_CHECK(kept[j] > kept[j - 1]);
        LUM_FUZZ_CHECK(sameBits(cleaned[prefix.size() + j], x[static_cast<std::size_t>(kept[j])]));
    }
}

void checkMedianBand(Input& in, const std::vector<double>& x, bool finite)
{
    const int w = in.count(0, 12);
    const double k = in.number();
    const std::vector<double> prefix = in.numbers(in.range(0, 2));
    std::vector<double> cleaned = prefix;
    std::vector<int> kept = {7, -3};  // stale content must be cleared
    removeOutlierFuncMedian(x, cleaned, kept, w, k);
    checkOutputs(x, prefix, cleaned, kept);
    // NaN samples (also from inf - inf) have no defined place in the sorts.
    if (!finite) return;
    const long long width = std::max(0, w);
    std::vector<int> expected;
    for (int i = 0; i < static_cast<int>(x.size()); ++i)
        if (medianKeeps(x, i, width, k)) expected.push_back(i);
    LUM_FUZZ_CHECK(kept == expected);
}

void checkTau(Input& in, const std::vector<double>& x)
{
    double fraction = in.number();
    if (in.flag()) fraction = in.range(0, 20) / 10.0;
    const bool flagIn = in.flag();
    bool flag = flagIn;
    const std::vector<double> prefix = in.numbers(in.range(0, 2));
    std::vector<double> cleaned = prefix;
    const std::vector<int> stale = {5, 1};
    std::vector<int> kept = stale;
    removeOutlierFuncTau(x, cleaned, kept, fraction, flag);
    if (!flagIn) LUM_FUZZ_CHECK(!flag);  // the flag is only ever cleared
    const int n = static_cast<int>(x.size());
    if (n < 3) {
        LUM_FUZZ_CHECK(kept == stale && cleaned.size() == prefix.size());
        return;
    }
    if (fraction > 1.0) {
        LUM_FUZZ_CHECK(kept.empty() && cleaned.size() == prefix.size() && flag == flagIn);
        return;
    }
    checkOutputs(x, prefix, cleaned, kept);
    const double budget = n * fraction;
    const int t0 = budget >= 1.0 ? static_cast<int>(budget) : 0;
    LUM_FUZZ_CHECK(static_cast<int>(kept.size()) >= n - t0);
    if (static_cast<int>(kept.size()) == n) LUM_FUZZ_CHECK(flag == flagIn);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    const std::size_t n = static_cast<std::size_t>(in.range(0, 60));
    std::vector<double> x;
    if (in.flag()) {
        x = in.numbers(n);
    } else {
        // Mostly a constant level with a few planted outliers: the interesting
        // case for both tests, with many exact ties.
        const double level = in.moderate();
        for (std::size_t i = 0; i < n; ++i) x.push_back(in.byte() < 220 ? level : in.moderate());
    }
    bool finite = true;
    for (double v : x) finite = finite && std::isfinite(v);
    checkMedianBand(in, x, finite);
    checkTau(in, x);
    return 0;
}
