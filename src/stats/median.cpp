// Median of an inclusive index range, and the position of the middle of three
// single-precision values.
#include <VORN_LumUtility.h>

#include "stats/median.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace lum {

double sortedMedian(std::vector<double>& w)
{
    std::sort(w.begin(), w.end());
    const std::size_t c = w.size();
    if (c % 2 == 0) return (w[c / 2 - 1] + w[c / 2]) * 0.5;
    return w[(c - 1) / 2];
}

}  // namespace lum

double median(std::vector<double> v, int first, int last)
{
    if (first < 0 || last < first || static_cast<std::size_t>(last) >= v.size())
        throw std::out_of_range("median: index range outside the vector");
    std::vector<double> w(v.begin() + first, v.begin() + last + 1);
    return lum::sortedMedian(w);
}

int mid_value(float a, float b, float c)
{
    float hi, lo;
    if (b > a) {
        hi = b;
        lo = a;
    } else {
        hi = a;
        lo = b;
    }
    const float u = (c > lo) ? c : lo;
    const float med = (hi < u) ? hi : u;
    // The lowest position holding the middle value; with NaN input nothing may
    // compare equal, which is reported as 3.
    if (a == med) return 0;
    if (b == med) return 1;
    if (c == med) return 2;
    return 3;
}
