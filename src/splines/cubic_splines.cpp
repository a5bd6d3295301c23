// Natural cubic spline coefficients and the tridiagonal solver behind them.
//
// Segment i of the spline through the knots (x[0], y[0]) .. (x[n], y[n]) is
//   S_i(t) = a[i] + b[i] u + c[i] u^2 + d[i] u^3,   u = t - x[i],
// stored as coefficients[4i .. 4i + 3] = (a, b, c, d). Continuity of the first
// and second derivatives at the interior knots gives one equation per interior
// knot for the quadratic coefficients c[1] .. c[n - 1]:
//   h[i-1] c[i-1] + 2 (h[i-1] + h[i]) c[i] + h[i] c[i+1] = 3 (D[i] - D[i-1]),
// with the slopes D[i] = (y[i+1] - y[i]) / h[i] and the natural end conditions
// c[0] = c[n] = 0.

#include <VORN_LumUtility.h>

#include <cmath>
#include <cstddef>
#include <memory>

namespace {

// Layout of one row of the tridiagonal system: four doubles per row.
constexpr int kDiag = 0;
constexpr int kSuper = 1;
constexpr int kRhs = 2;
constexpr int kSub = 3;

// Multipliers at or below this size are treated as zero: the row below is
// already in upper form and is left as it is.
constexpr double kNegligibleMultiplier = 1e-20;

}  // namespace

void tridiag(double* system, int n, double* solution)
{
    if (n < 0) {
        return;  // no equations to solve; nothing is read or written
    }
    double* const row = system;
    auto at = [row](int r, int slot) -> double& { return row[4 * static_cast<std::ptrdiff_t>(r) + slot]; };

    // Forward elimination without pivoting. The multiplier's absolute value is
    // used; for spline systems over ascending abscissae it is positive anyway.
    for (int r = 2; r <= n; ++r) {
        const double f = std::fabs(at(r, kSub) / at(r - 1, kDiag));
        if (f > kNegligibleMultiplier) {
            at(r, kSub) = f;
            at(r, kDiag) = at(r, kDiag) - f * at(r - 1, kSuper);
            at(r, kRhs) = at(r, kRhs) - f * at(r - 1, kRhs);
        } else {
            at(r, kSub) = 0.0;
        }
    }

    // Back substitution. For n = 0 this solves the single equation of row 0.
    solution[n] = at(n, kRhs) / at(n, kDiag);
    for (int r = n - 1; r >= 1; --r) {
        solution[r] = (at(r, kRhs) - solution[r + 1] * at(r, kSuper)) / at(r, kDiag);
    }
}

void CubicSplines(float* x, float* y, int n, double* coefficients)
{
    if (n <= 0) {
        return;
    }
    const std::size_t knots = static_cast<std::size_t>(n) + 1;
    std::unique_ptr<double[]> h(new double[knots]);
    std::unique_ptr<double[]> system(new double[4 * knots]);
    std::unique_ptr<double[]> c(new double[knots]);

    // Knot spacings: the float difference, widened afterwards.
    for (int i = 0; i < n; ++i) {
        h[i] = static_cast<double>(x[i + 1] - x[i]);
    }
    // Slope of segment i; the ordinates are widened before they are subtracted.
    auto slope = [y, &h](int i) {
        return (static_cast<double>(y[i + 1]) - static_cast<double>(y[i])) / h[i];
    };

    // One equation per interior knot, in rows 1 .. n - 1.
    for (int i = 1; i < n; ++i) {
        double* row = &system[4 * static_cast<std::size_t>(i)];
        row[kDiag] = (h[i - 1] + h[i]) + (h[i - 1] + h[i]);
        row[kSuper] = h[i];
        row[kRhs] = (slope(i) - slope(i - 1)) * 3.0;
        row[kSub] = h[i - 1];
    }

    // Natural ends: zero curvature at the first and last knot.
    c[0] = 0.0;
    c[n] = 0.0;
    if (n > 1) {
        tridiag(system.get(), n - 1, c.get());
    }

    double* const coef = coefficients;
    auto a_ = [coef](int i) -> double& { return coef[4 * static_cast<std::size_t>(i) + 0]; };
    auto b_ = [coef](int i) -> double& { return coef[4 * static_cast<std::size_t>(i) + 1]; };
    auto c_ = [coef](int i) -> double& { return coef[4 * static_cast<std::size_t>(i) + 2]; };
    auto d_ = [coef](int i) -> double& { return coef[4 * static_cast<std::size_t>(i) + 3]; };

    a_(0) = static_cast<double>(y[0]);
    c_(0) = 0.0;
    b_(0) = slope(0) - h[0] * c[1] / 3.0;
    // The linear coefficients follow from the first-derivative continuity as a
    // running sum; each cubic coefficient closes the segment to its left.
    for (int i = 1; i < n; ++i) {
        a_(i) = static_cast<double>(y[i]);
        c_(i) = c[i];
        b_(i) = b_(i - 1) + (c[i] + c[i - 1]) * h[i - 1];
        d_(i - 1) = (c[i] - c[i - 1]) / (h[i - 1] * 3.0);
    }
    d_(n - 1) = c[n - 1] / (h[n - 1] * -3.0);
}

void CubicSplines(std::vector<float>& x, std::vector<float>& y, int n, std::vector<double>& coefficients)
{
    if (n <= 0 || coefficients.empty()) {
        return;
    }
    const std::size_t knots = static_cast<std::size_t>(n) + 1;
    if (x.size() < knots || y.size() < knots || coefficients.size() < 4 * static_cast<std::size_t>(n)) {
        return;  // too short to hold the knots or the coefficients
    }
    CubicSplines(x.data(), y.data(), n, coefficients.data());
}
