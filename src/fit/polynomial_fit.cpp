#include <VORN_LumUtility.h>

#include "fit/least_squares.h"

#include <cstddef>

int JPolyfit(int n, double* points, int degree, double* coefficients) {
  // No points: nothing to fit (and a caller may pass a null array, which
  // must not be offset).
  if (n < 1) return 0;
  // Points are interleaved: x_i at 2i, y_i at 2i + 1.
  return lum::fitPolynomialLeastSquares(n, points, points + 1, 2, degree, coefficients);
}

double PolyCalc(double x, double* coefficients, int degree) {
  if (degree < 0) return 0.0;
  // Horner's rule from the highest power down.
  double v = coefficients[degree];
  for (int j = degree - 1; j >= 0; --j) v = v * x + coefficients[j];
  return v;
}
