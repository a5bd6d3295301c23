// Evaluation of a cubic spline from CubicSplines with range checks.
//
// Knot table layout (n + 4 floats):
//   [0 .. n]   the knots x[0] < x[1] < ... < x[n]
//   [n + 1]    lowest acceptable spline value
//   [n + 2]    highest acceptable spline value
//   [n + 3]    divisor applied to inputs outside [x[0], x[n]]
//
// Boundary cases for an enabled mapping:
//   t < x[0]          flagged, returns t / divisor
//   x[i] <= t < x[i+1] segment i at u = t - x[i]; a knot x[i] gives y[i]
//   t == x[n]         last segment at its right end (y[n]), not flagged for input range
//   t > x[n]          flagged, returns t / divisor
//   NaN t             last segment, NaN result, not flagged

#include <VORN_LumUtility.h>

#include <cstddef>

float CalcSpline(bool check, float* x, double* coefficients, int n, float t, bool* flags)
{
    if (!check || n <= 0) {
        *flags = false;
        return t;
    }

    // First segment whose half-open interval holds t; the last one otherwise.
    int s = n - 1;
    for (int i = 0; i < n; ++i) {
        if (x[i] <= t && t < x[i + 1]) {
            s = i;
            break;
        }
    }

    const double* coef = coefficients + 4 * static_cast<std::ptrdiff_t>(s);
    const double u = static_cast<double>(t - x[s]);  // float difference, widened
    const double p = ((coef[3] * u + coef[2]) * u + coef[1]) * u + coef[0];

    const bool outsideKnots = x[0] > t || t > x[n];
    const double lowest = static_cast<double>(x[n + 1]);
    const double highest = static_cast<double>(x[n + 2]);
    *flags = outsideKnots || lowest > p || p > highest;

    if (outsideKnots) {
        return t / x[n + 3];  // no extrapolation: a fixed scale in single precision
    }
    return static_cast<float>(p);
}
