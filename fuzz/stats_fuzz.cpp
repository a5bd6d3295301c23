// Statistics, medians and sorts on hostile vectors, counts and ranges.
//
// Properties: the count statistics agree with their range twins and with the
// masked statistics; range errors raise exactly the documented exceptions;
// the median equals the middle of an independently sorted copy; both sorts
// return a sorted permutation of their input and touch nothing outside their
// range; mid_value names the middle of three.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;
using lumfuzz::sameValue;

bool anyNaN(const double* x, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (std::isnan(x[i])) return true;
    return false;
}

std::vector<std::uint64_t> bitsSorted(const double* x, std::size_t n)
{
    std::vector<std::uint64_t> b(n);
    for (std::size_t i = 0; i < n; ++i) std::memcpy(&b[i], &x[i], sizeof(double));
    std::sort(b.begin(), b.end());
    return b;
}

void checkCountStatistics(Input& in, const std::vector<double>& v)
{
    const int n = in.count(-3, static_cast<int>(v.size()) + 3);
    const double k = in.number();

    const double a = calAvg(n, v);
    const double s = calStdev(n, v);
    const double c = calAvgSigma(n, v, k);
    const int cnt = std::min(n, static_cast<int>(v.size()));

    if (cnt < 0) {
        // An empty sum over a negative count: -0.0 for the mean, the clipped
        // mean and the standard deviation (sqrt of -0.0).
        LUM_FUZZ_CHECK(sameBits(a, -0.0));
        LUM_FUZZ_CHECK(sameBits(c, -0.0));
        LUM_FUZZ_CHECK(sameBits(s, -0.0));
    } else {
        // The range twin over [0, n) and the masked statistics see the same
        // elements in the same order.
        LUM_FUZZ_CHECK(sameValue(a, calAvg2(0, n, v)));
        LUM_FUZZ_CHECK(sameValue(s, calStdev2(0, n, v)));
        LUM_FUZZ_CHECK(sameValue(c, calAvgSigma2(0, n, v, k)));
        if (cnt == 0) {
            LUM_FUZZ_CHECK(std::isnan(a));
            LUM_FUZZ_CHECK(sameBits(avg(cnt, v.data(), nullptr), 0.0));
        } else {
            LUM_FUZZ_CHECK(sameValue(a, avg(cnt, v.data(), nullptr)));
            LUM_FUZZ_CHECK(sameValue(s, stdev(cnt, v.data(), nullptr)));
            if (cnt == static_cast<int>(v.size())) LUM_FUZZ_CHECK(sameValue(a, mean(v)));
        }
        // The clipped mean is a mean of some of the elements, so for finite
        // data without overflow it lies between their extremes.
        // Rounding of the sums may carry it past them by a few units in the
        // last place of the largest magnitude.
        if (cnt >= 1 && std::isfinite(a) && std::isfinite(c)) {
            const auto mm = std::minmax_element(v.begin(), v.begin() + cnt);
            const double scale = std::max(std::fabs(*mm.first), std::fabs(*mm.second));
            const double slack = 2.0 * cnt * std::numeric_limits<double>::epsilon() * scale;
            LUM_FUZZ_CHECK(c >= *mm.first - slack && c <= *mm.second + slack);
        }
    }

    // Range twins: the documented exceptions and nothing else.
    const int first = in.count(-2, static_cast<int>(v.size()) + 2);
    const int last = in.count(-2, static_cast<int>(v.size()) + 2);
    const int e = std::min(last, static_cast<int>(v.size()));
    int thrown = 0;  // 0 none, 1 out_of_range, 2 length_error
    try {
        (void)calAvg2(first, last, v);
    } catch (const std::out_of_range&) {
        thrown = 1;
    } catch (const std::length_error&) {
        thrown = 2;
    }
    if (first < 0)
        LUM_FUZZ_CHECK(thrown == 1);
    else if (first > e)
        LUM_FUZZ_CHECK(thrown == 2);
    else
        LUM_FUZZ_CHECK(thrown == 0);
}

void checkMaskedStatistics(Input& in, const std::vector<double>& v)
{
    const int n = static_cast<int>(v.size());
    std::unique_ptr<bool[]> mask(new bool[v.size() + 1]);
    std::vector<double> selected;
    for (int i = 0; i < n; ++i) {
        mask[i] = in.flag();
        if (mask[i]) selected.push_back(v[i]);
    }
    const double a = avg(n, v.data(), mask.get());
    const double s = stdev(n, v.data(), mask.get());
    if (selected.empty()) {
        LUM_FUZZ_CHECK(sameBits(a, 0.0));
        LUM_FUZZ_CHECK(sameBits(s, 0.0));
    } else {
        LUM_FUZZ_CHECK(sameValue(a, mean(selected)));
        LUM_FUZZ_CHECK(sameValue(s, calStdev(static_cast<int>(selected.size()), selected)));
    }
    // Non-positive counts read nothing (a null array would fault otherwise).
    const int bad = -static_cast<int>(in.byte());
    LUM_FUZZ_CHECK(sameBits(avg(bad, nullptr, nullptr), 0.0));
    LUM_FUZZ_CHECK(sameBits(stdev(bad, nullptr, nullptr), 0.0));
}

void checkMedian(Input& in, const std::vector<double>& v)
{
    const int size = static_cast<int>(v.size());
    const int first = in.count(-2, size + 1);
    const int last = in.count(-2, size + 1);
    const bool valid = first >= 0 && last >= first && last < size;
    double m = 0.0;
    bool threw = false;
    try {
        m = median(v, first, last);
    } catch (const std::out_of_range&) {
        threw = true;
    }
    LUM_FUZZ_CHECK(threw == !valid);
    if (!valid || anyNaN(v.data() + first, static_cast<std::size_t>(last - first + 1))) return;
    std::vector<double> w(v.begin() + first, v.begin() + last + 1);
    std::stable_sort(w.begin(), w.end());
    const std::size_t c = w.size();
    const double expected = c % 2 ? w[c / 2] : (w[c / 2 - 1] + w[c / 2]) * 0.5;
    // Equal keys may differ in sign of zero only; compare as values.
    LUM_FUZZ_CHECK(m == expected || (std::isnan(m) && std::isnan(expected)));
}

void checkMidValue(Input& in)
{
    const float x[3] = {in.single(), in.single(), in.single()};
    const int p = mid_value(x[0], x[1], x[2]);
    LUM_FUZZ_CHECK(p >= 0 && p <= 3);
    if (std::isnan(x[0]) || std::isnan(x[1]) || std::isnan(x[2])) return;
    LUM_FUZZ_CHECK(p <= 2);
    // The named value has at most one smaller and at most one larger value,
    // and it is the lowest position holding that value.
    int below = 0, above = 0;
    for (float y : x) {
        below += y < x[p];
        above += y > x[p];
    }
    LUM_FUZZ_CHECK(below <= 1 && above <= 1);
    for (int i = 0; i < p; ++i) LUM_FUZZ_CHECK(!(x[i] == x[p]));
}

void checkQsort(Input& in, const std::vector<double>& v)
{
    // Guard cells on both sides catch writes outside [lo, hi].
    const std::size_t n = v.size();
    std::vector<float> a(n + 2);
    const float guard = -7.25f;
    a[0] = guard;
    a[n + 1] = guard;
    for (std::size_t i = 0; i < n; ++i) a[i + 1] = static_cast<float>(v[i]);
    if (n == 0) return;
    const unsigned lo = static_cast<unsigned>(in.range(0, static_cast<int>(n) - 1)) + 1;
    // hi may lie below lo: such a range must be left alone.
    const unsigned hi = static_cast<unsigned>(in.range(0, static_cast<int>(n) - 1)) + 1;
    const std::vector<float> before = a;
    Qsort(a.data(), lo, hi);
    for (std::size_t i = 0; i < a.size(); ++i)
        if (i < lo || i > hi || lo >= hi) LUM_FUZZ_CHECK(sameBits(a[i], before[i]));
    if (lo >= hi) return;
    std::vector<std::uint32_t> x, y;
    bool nan = false;
    for (unsigned i = lo; i <= hi; ++i) {
        std::uint32_t b1, b2;
        std::memcpy(&b1, &a[i], 4);
        std::memcpy(&b2, &before[i], 4);
        x.push_back(b1);
        y.push_back(b2);
        nan = nan || std::isnan(before[i]);
    }
    std::sort(x.begin(), x.end());
    std::sort(y.begin(), y.end());
    LUM_FUZZ_CHECK(x == y);  // a permutation, whatever the values
    if (!nan)
        for (unsigned i = lo; i < hi; ++i) LUM_FUZZ_CHECK(!(a[i + 1] < a[i]));
}

void checkSortAscending(const std::vector<double>& v)
{
    const std::size_t n = v.size();
    std::vector<double> x(n + 2, 3.5);
    std::copy(v.begin(), v.end(), x.begin() + 1);
    sortAscending(static_cast<int>(n), x.data() + 1);
    LUM_FUZZ_CHECK(sameBits(x[0], 3.5) && sameBits(x[n + 1], 3.5));
    LUM_FUZZ_CHECK(bitsSorted(x.data() + 1, n) == bitsSorted(v.data(), n));
    if (!anyNaN(v.data(), n))
        for (std::size_t i = 1; i < n; ++i) LUM_FUZZ_CHECK(!(x[i + 1] < x[i]));
    // Non-positive counts touch nothing.
    sortAscending(-1, nullptr);
    sortAscending(0, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    const std::size_t n = static_cast<std::size_t>(in.range(0, 300));
    const bool hostile = in.flag();
    // Half the inputs are moderate values, whose sums stay finite, so that
    // the order-sensitive properties are exercised beyond NaN.
    std::vector<double> v = hostile ? in.numbers(n) : in.moderates(n);

    checkCountStatistics(in, v);
    checkMaskedStatistics(in, v);
    checkMedian(in, v);
    checkMidValue(in);
    checkQsort(in, v);
    checkSortAscending(v);
    return 0;
}
