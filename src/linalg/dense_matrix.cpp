#include "linalg/dense_matrix.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace lum {

namespace {

std::uint32_t dimension(int requested) {
  if (requested < 0) throw std::bad_array_new_length();
  return requested == 0 ? 1u : static_cast<std::uint32_t>(requested);
}

// rows * cols as the 32-bit element count. A product that does not fit would
// wrap to a smaller array than the record indexes, so it is refused instead.
std::uint32_t elementCount(std::uint32_t rows, std::uint32_t cols) {
  const std::uint64_t count = static_cast<std::uint64_t>(rows) * cols;
  if (count > std::numeric_limits<std::uint32_t>::max()) throw std::bad_array_new_length();
  return static_cast<std::uint32_t>(count);
}

}  // namespace

DenseMatrix::DenseMatrix(int rowCount, int colCount)
    : rows(dimension(rowCount)),
      cols(dimension(colCount)),
      data(new double[elementCount(rows, cols)]()) {}

DenseMatrix::DenseMatrix(const DenseMatrix& other)
    : rows(other.rows), cols(other.cols), data(new double[elementCount(rows, cols)]) {
  std::memcpy(data, other.data, sizeof(double) * elementCount(rows, cols));
}

DenseMatrix::~DenseMatrix() { delete[] data; }

DenseMatrix& DenseMatrix::multiply(const DenseMatrix& a, const DenseMatrix& b) {
  if (rows != a.rows || cols != b.cols || a.cols != b.rows) return *this;
  if (rows == 0) return *this;
  for (std::uint32_t i = 0; i < rows; ++i) {
    double* out = data + static_cast<std::uint64_t>(i) * cols;
    const double* aRow = a.data + static_cast<std::uint64_t>(i) * a.cols;
    for (std::uint32_t j = 0; j < cols; ++j) {
      out[j] = 0.0;
      for (std::uint32_t k = 0; k < a.cols; ++k)
        out[j] = out[j] + b.data[static_cast<std::uint64_t>(k) * b.cols + j] * aRow[k];
    }
  }
  return *this;
}

DenseMatrix& DenseMatrix::transpose() {
  const DenseMatrix copy(*this);
  rows = copy.cols;
  cols = copy.rows;
  for (std::uint32_t i = 0; i < rows; ++i)
    for (std::uint32_t j = 0; j < cols; ++j)
      data[static_cast<std::uint64_t>(i) * cols + j] =
          copy.data[static_cast<std::uint64_t>(j) * copy.cols + i];
  return *this;
}

int DenseMatrix::solve(DenseMatrix& b, double tolerance) {
  const std::uint32_t n = rows;
  if (cols != n || b.rows != n) return 0;
  const std::uint32_t k = b.cols;

  DenseMatrix work(b);
  std::vector<std::uint32_t> perm(n);
  for (std::uint32_t i = 0; i < n; ++i) perm[i] = i;

  // Rows are addressed through the permutation; A(perm[i], c) is the element
  // in column c of the row that currently sits at position i.
  auto a = [this](std::uint32_t r) { return data + static_cast<std::uint64_t>(r) * cols; };
  auto w = [&work](std::uint32_t r) {
    return work.data + static_cast<std::uint64_t>(r) * work.cols;
  };

  for (std::uint32_t s = 0; s < n; ++s) {
    // Partial pivoting: the first largest magnitude in column s wins.
    double best = std::fabs(a(perm[s])[s]);
    std::uint32_t p = s;
    for (std::uint32_t j = s + 1; j < n; ++j) {
      const double magnitude = std::fabs(a(perm[j])[s]);
      if (magnitude > best) {
        best = magnitude;
        p = j;
      }
    }
    // Equality and NaN pass: a tolerance of 0.0 never rejects a step.
    if (tolerance > best) return 0;
    if (p != s) {
      const std::uint32_t t = perm[p];
      perm[p] = perm[s];
      perm[s] = t;
    }

    double* pivotRow = a(perm[s]);
    double* pivotRhs = w(perm[s]);
    const double q = pivotRow[s];
    for (std::uint32_t c = s + 1; c < cols; ++c) pivotRow[c] = pivotRow[c] / q;
    for (std::uint32_t c = 0; c < k; ++c) pivotRhs[c] = pivotRhs[c] / q;

    // Column s below the pivot is left as it is; it is never read again.
    for (std::uint32_t i = s + 1; i < n; ++i) {
      double* target = a(perm[i]);
      double* targetRhs = w(perm[i]);
      const double f = target[s];
      for (std::uint32_t c = s + 1; c < cols; ++c) target[c] = target[c] - f * pivotRow[c];
      for (std::uint32_t c = 0; c < k; ++c) targetRhs[c] = targetRhs[c] - f * pivotRhs[c];
    }
  }

  // Back substitution, one right-hand side at a time, on the unit upper
  // triangle left by the elimination.
  for (std::uint32_t c = 0; c < k; ++c) {
    for (std::uint32_t i = n - 1; i-- > 0;) {
      const double* coefficients = a(perm[i]);
      double& x = w(perm[i])[c];
      for (std::uint32_t j = i + 1; j < cols; ++j) x = x - w(perm[j])[c] * coefficients[j];
    }
  }

  for (std::uint32_t r = 0; r < b.rows; ++r) {
    const double* source = w(perm[r]);
    double* destination = b.data + static_cast<std::uint64_t>(r) * b.cols;
    for (std::uint32_t c = 0; c < b.cols; ++c) destination[c] = source[c];
  }
  return 1;
}

}  // namespace lum
