#include "fit/least_squares.h"

#include "linalg/dense_matrix.h"

#include <cmath>
#include <limits>

namespace lum {

int fitPolynomialLeastSquares(int n, const double* x, const double* y, std::ptrdiff_t stride,
                              int degree, double* coefficients) {
  // degree + 1 coefficients must be countable in an int.
  if (n < 0 || degree < 0 || degree == std::numeric_limits<int>::max()) return 0;
  // No points: the normal equations are all zero and their solution is NaN.
  if (n == 0) return 0;
  const int m = degree + 1;

  // Design matrix: row i holds 1, x_i, x_i^2, ..., the powers formed by
  // repeated multiplication.
  DenseMatrix design(n, m);
  DenseMatrix observations(n, 1);
  for (int i = 0; i < n; ++i) {
    const double xi = x[i * stride];
    double* row = design.row(i);
    row[0] = 1.0;
    for (int j = 1; j <= degree; ++j) row[j] = row[j - 1] * xi;
    observations.row(i)[0] = y[i * stride];
  }

  DenseMatrix transposed(design);
  transposed.transpose();
  DenseMatrix normal(m, m);
  normal.multiply(transposed, design);
  DenseMatrix rhs(m, 1);
  rhs.multiply(transposed, observations);

  // Tolerance 0.0: the elimination never refuses a pivot, so a singular
  // system shows up as non-finite values in the solution instead.
  if (!normal.solve(rhs, 0.0)) return 0;
  for (int j = 0; j < m; ++j)
    if (!std::isfinite(rhs.row(j)[0])) return 0;
  for (int j = 0; j < m; ++j) coefficients[j] = rhs.row(j)[0];
  return 1;
}

}  // namespace lum
