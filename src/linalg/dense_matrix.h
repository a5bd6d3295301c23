// DenseMatrix: the small owning row-major matrix that the least-squares fits
// use to form and solve their normal equations. Internal to the library.
//
//   data --> | (0,0) (0,1) ... (0,cols-1) | (1,0) ... | ... | (rows-1,cols-1) |
//             element (r, c) lives at data[r * cols + c], r and c from 0
//
// A record is created by size (all elements 0.0) or by deep copy, changed in
// place by multiply, solve and transpose, and destroyed with its scope. There is
// no assignment.
#ifndef LUM_LINALG_DENSE_MATRIX_H
#define LUM_LINALG_DENSE_MATRIX_H

#include <cstdint>

namespace lum {

class DenseMatrix {
 public:
  std::uint32_t rows;
  std::uint32_t cols;
  double* data;  // owned, rows * cols elements

  // A record of rows x cols zeros; a requested dimension of 0 becomes 1, so a
  // record never has an empty dimension. Throws std::bad_array_new_length when
  // the element count does not fit in 32 bits (or a size is negative), and
  // whatever the allocator throws when the array cannot be had.
  DenseMatrix(int rows, int cols);
  DenseMatrix(const DenseMatrix& other);
  DenseMatrix& operator=(const DenseMatrix&) = delete;
  ~DenseMatrix();

  // First element of row r; element (r, c) is row(r)[c]. No bounds check.
  double* row(int r) { return data + static_cast<std::uint64_t>(r) * cols; }
  const double* row(int r) const { return data + static_cast<std::uint64_t>(r) * cols; }

  // this = a * b. Does nothing when this record is not a.rows x b.cols or
  // a.cols differs from b.rows. This record must not be a or b: each element
  // is cleared before its sum is accumulated into it.
  DenseMatrix& multiply(const DenseMatrix& a, const DenseMatrix& b);

  // Solves this * X = b for every column of b by Gaussian elimination with
  // partial pivoting through a row-index permutation (rows never move in
  // memory). Returns 1 with X stored in b, or 0 when this record is not square
  // or b has another row count (nothing changed), or when a step's best pivot
  // magnitude is below `tolerance` (b unchanged). This record is consumed by
  // the elimination. A pivot equal to `tolerance`, or NaN, is accepted, so a
  // tolerance of 0.0 never fails and a zero pivot gives infinities or NaN.
  int solve(DenseMatrix& b, double tolerance);

  // Transposes in place (the element count does not change).
  DenseMatrix& transpose();
};

}  // namespace lum

#endif  // LUM_LINALG_DENSE_MATRIX_H
