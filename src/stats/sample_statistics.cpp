// Sample statistics on vectors: mean, population variance about a given centre,
// and the count statistics over a leading part (calAvg, calStdev, calAvgSigma)
// with their sub-range twins.
//
// Every sum starts at 0.0 and adds the elements one at a time in increasing
// index order, so results are reproducible to the bit. Degenerate counts are not
// errors: they give the IEEE result of the formula (0/0 = NaN, 0/negative = -0.0).
#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

namespace lum {
namespace {

// Mean of x[0 .. c-1]. For c <= 0 the sum is empty: 0/0 is NaN and 0 divided by a
// negative count is -0.0, both of which callers rely on.
double countMean(const double* x, int c)
{
    double s = 0.0;
    for (int i = 0; i < c; ++i) s += x[i];
    return s / static_cast<double>(c);
}

// Sample standard deviation (divisor c - 1) of x[0 .. c-1].
double countStdev(const double* x, int c)
{
    const double mu = countMean(x, c);
    double q = 0.0;
    for (int i = 0; i < c; ++i) {
        const double d = x[i] - mu;
        q += d * d;
    }
    // c - 1 is formed in double: for c = INT_MIN the int subtraction would
    // overflow, and for every other c the two are the same exact value.
    return std::sqrt(q / (static_cast<double>(c) - 1.0));
}

// One pass of k-sigma clipping over x[0 .. c-1]: the mean of the elements lying
// strictly inside (mu - s*k, s*k + mu), or the plain mean when none does. A NaN
// band (c = 1) or an empty one (k <= 0, s = 0) therefore yields the plain mean.
double countClippedMean(const double* x, int c, double k)
{
    const double mu = countMean(x, c);
    const double s = countStdev(x, c);
    const double lo = mu - s * k;
    const double hi = s * k + mu;
    double t = 0.0;
    int m = 0;
    for (int i = 0; i < c; ++i) {
        if (x[i] > lo && x[i] < hi) {
            t += x[i];
            ++m;
        }
    }
    if (m == 0) return mu;
    return t / static_cast<double>(m);
}

// Signed clamp of a count to the vector's length.
int clampedCount(int n, const std::vector<double>& v)
{
    return std::min(n, static_cast<int>(v.size()));
}

// Checks the sub-range [first, min(last, size)) and returns its length. A
// negative start is refused with std::out_of_range; a start past the clamped
// end cannot form a range and gives std::length_error, as building a vector
// from an inverted range would.
int subRangeLength(int first, int last, const std::vector<double>& v)
{
    if (first < 0) throw std::out_of_range("sub-range starts before the first element");
    const int e = clampedCount(last, v);
    if (first > e) throw std::length_error("sub-range starts after its end");
    return e - first;
}

}  // namespace
}  // namespace lum

double mean(std::vector<double> v)
{
    double s = 0.0;
    for (double x : v) s += x;
    return s / static_cast<double>(v.size());
}

double variance(std::vector<double> v, double m)
{
    double s = 0.0;
    for (double x : v) s += (m - x) * (m - x);
    return s / static_cast<double>(v.size());
}

double stdDev(std::vector<double> v, double m)
{
    return std::sqrt(variance(std::move(v), m));
}

double calAvg(int n, const std::vector<double>& v)
{
    return lum::countMean(v.data(), lum::clampedCount(n, v));
}

double calAvg2(int first, int last, const std::vector<double>& v)
{
    const int c = lum::subRangeLength(first, last, v);
    return lum::countMean(v.data() + first, c);
}

double calStdev(int n, const std::vector<double>& v)
{
    return lum::countStdev(v.data(), lum::clampedCount(n, v));
}

double calStdev2(int first, int last, const std::vector<double>& v)
{
    const int c = lum::subRangeLength(first, last, v);
    return lum::countStdev(v.data() + first, c);
}

double calAvgSigma(int n, const std::vector<double>& v, double k)
{
    return lum::countClippedMean(v.data(), lum::clampedCount(n, v), k);
}

double calAvgSigma2(int first, int last, const std::vector<double>& v, double k)
{
    const int c = lum::subRangeLength(first, last, v);
    return lum::countClippedMean(v.data() + first, c, k);
}
