// Least-squares polynomial fit through the normal equations, shared by the
// interleaved-array and the vector forms of the fit.
#ifndef LUM_FIT_LEAST_SQUARES_H
#define LUM_FIT_LEAST_SQUARES_H

#include <cstddef>

namespace lum {

// Fits a polynomial of `degree` to the n points (x[i * stride], y[i * stride])
// and writes its degree + 1 coefficients in ascending powers. Returns 1 on
// success; returns 0 and writes nothing for a negative n or degree, and for a
// singular fit, i.e. one whose solved coefficients are not all finite (no
// points, fewer distinct abscissae than coefficients, NaN input).
int fitPolynomialLeastSquares(int n, const double* x, const double* y, std::ptrdiff_t stride,
                              int degree, double* coefficients);

}  // namespace lum

#endif  // LUM_FIT_LEAST_SQUARES_H
