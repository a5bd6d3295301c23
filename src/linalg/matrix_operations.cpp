// Matrix operations on caller-owned flat arrays of doubles, row-major: element
// (r, c) of a matrix with C columns is at index r * C + c.
#include <VORN_LumUtility.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

// Pivots this close to 1.0 are taken as 1.0 by the determinant (not divided
// out), and diagonal entries smaller than this make it look for a nonzero
// entry further down the column.
constexpr double kDeterminantEpsilon = 1e-6;

// MatrixDeterminant works on a fixed 4 x 4 copy.
constexpr int kDeterminantOrder = 4;

std::size_t at(int r, int c, int columns) {
  return static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) +
         static_cast<std::size_t>(c);
}

}  // namespace

void EyeMatrix(double* m, int n) {
  if (n < 1) return;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) m[at(i, j, n)] = i == j ? 1.0 : 0.0;
}

void ZeroMatrix(double* m, int n) {
  if (n < 1) return;
  const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  for (std::size_t i = 0; i < count; ++i) m[i] = 0.0;
}

void MatrixMultiply(const double* a, const double* b, int m, int n, int p, double* c) {
  if (m < 1 || p < 1) return;
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < p; ++j) {
      c[at(i, j, p)] = 0.0;
      if (n < 1) continue;
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum = sum + b[at(k, j, p)] * a[at(i, k, n)];
      c[at(i, j, p)] = sum;
    }
  }
}

void MatrixTransform(double* const m, int rows, int cols) {
  if (rows == 0 || cols == 0) return;
  // A negative size (or a count beyond the int range) cannot be an array the
  // caller holds: it is refused as an impossible allocation.
  const std::int64_t count = static_cast<std::int64_t>(rows) * cols;
  if (rows < 0 || cols < 0 || count > std::numeric_limits<int>::max())
    throw std::bad_array_new_length();

  std::vector<double> transposed(static_cast<std::size_t>(count));
  for (int c = 0; c < cols; ++c)
    for (int r = 0; r < rows; ++r) transposed[at(c, r, rows)] = m[at(r, c, cols)];
  for (std::size_t i = 0; i < transposed.size(); ++i) m[i] = transposed[i];
}

void MatrixDeterminant(double& det, double (*const m)[4], int n) {
  if (n > kDeterminantOrder) {
    det = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  if (n < 1) return;

  double w[kDeterminantOrder][kDeterminantOrder];
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) w[r][c] = m[r][c];

  for (int i = 0; i < n; ++i) {
    if (std::fabs(w[i][i]) < kDeterminantEpsilon) {
      // A small diagonal entry is kept if it is nonzero; only an exact zero
      // sends the search further down (a NaN counts as nonzero).
      int r = i;
      while (r < n && w[r][i] == 0.0) ++r;
      if (r == n) {
        det = 0.0;
        return;
      }
      if (r != i) {
        for (int c = i; c < n; ++c) std::swap(w[i][c], w[r][c]);
        det = det * -1.0;
      }
    }

    const double q = w[i][i];
    if (std::fabs(q - 1.0) > kDeterminantEpsilon) {
      det = det * q;
      for (int c = i; c < n; ++c) w[i][c] = w[i][c] / q;
    }

    // Columns run right to left so that the multiplier w[j][i] changes last.
    for (int j = i + 1; j < n; ++j)
      for (int c = n - 1; c >= i; --c) w[j][c] = w[j][c] - w[i][c] * w[j][i];
  }
}

bool MatrixInverse(double* a, int n) {
  if (n < 0) return false;
  std::vector<int> pivotRow(static_cast<std::size_t>(n));
  std::vector<int> pivotCol(static_cast<std::size_t>(n));

  auto swapRows = [a, n](int r1, int r2) {
    for (int j = 0; j < n; ++j) std::swap(a[at(r1, j, n)], a[at(r2, j, n)]);
  };
  auto swapCols = [a, n](int c1, int c2) {
    for (int i = 0; i < n; ++i) std::swap(a[at(i, c1, n)], a[at(i, c2, n)]);
  };

  for (int k = 0; k < n; ++k) {
    // Full pivoting: the first largest magnitude in row-major order wins.
    double d = 0.0;
    for (int i = k; i < n; ++i) {
      for (int j = k; j < n; ++j) {
        const double magnitude = std::fabs(a[at(i, j, n)]);
        if (magnitude > d) {
          d = magnitude;
          pivotRow[k] = i;
          pivotCol[k] = j;
        }
      }
    }
    // Singular when the best pivot vanishes next to 1.0 (d <= 2^-53).
    if (d + 1.0 == 1.0) return false;

    if (pivotRow[k] != k) swapRows(k, pivotRow[k]);
    if (pivotCol[k] != k) swapCols(k, pivotCol[k]);

    double& pivot = a[at(k, k, n)];
    pivot = 1.0 / pivot;
    for (int j = 0; j < n; ++j)
      if (j != k) a[at(k, j, n)] = a[at(k, j, n)] * pivot;
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      for (int j = 0; j < n; ++j)
        if (j != k) a[at(i, j, n)] = a[at(i, j, n)] - a[at(i, k, n)] * a[at(k, j, n)];
    }
    for (int i = 0; i < n; ++i)
      if (i != k) a[at(i, k, n)] = -(a[at(i, k, n)] * pivot);
  }

  // A row exchange of the matrix is a column exchange of its inverse and vice
  // versa; undo them in reverse order.
  for (int k = n - 1; k >= 0; --k) {
    if (pivotCol[k] != k) swapRows(k, pivotCol[k]);
    if (pivotRow[k] != k) swapCols(k, pivotRow[k]);
  }
  return true;
}
