// Mean and sample standard deviation of the samples selected by a mask (a null
// mask selects every sample). An empty selection gives 0.0 rather than NaN, since
// the rate filters use these as fall-back levels.
#include <VORN_LumUtility.h>

#include <cmath>

namespace {

bool selected(const bool* mask, int i)
{
    return mask == nullptr || mask[i];
}

}  // namespace

double avg(const int& n, const double* x, const bool* mask)
{
    double t = 0.0;
    int m = 0;
    for (int i = 0; i < n; ++i) {
        if (selected(mask, i)) {
            t += x[i];
            ++m;
        }
    }
    if (m == 0) return 0.0;
    return t / static_cast<double>(m);
}

double stdev(const int& n, const double* x, const bool* mask)
{
    double t = 0.0;
    int m = 0;
    for (int i = 0; i < n; ++i) {
        if (selected(mask, i)) {
            t += x[i];
            ++m;
        }
    }
    if (m == 0) return 0.0;
    const double mu = t / static_cast<double>(m);
    double q = 0.0;
    for (int i = 0; i < n; ++i) {
        if (selected(mask, i)) {
            const double d = x[i] - mu;
            q += d * d;
        }
    }
    // One selected sample gives 0/0 = NaN: its spread is undefined.
    return std::sqrt(q / static_cast<double>(m - 1));
}
