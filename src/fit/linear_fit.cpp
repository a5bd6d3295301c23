#include <VORN_LumUtility.h>

#include "fit/least_squares.h"

#include <limits>
#include <vector>

// The first vector holds the observations y, the second the abscissae x; only
// the first y.size() abscissae are read.
int linearFit(std::vector<double> y, std::vector<double> x, int degree, double* coefficients) {
  if (x.size() < y.size()) return 0;
  if (y.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return 0;
  return lum::fitPolynomialLeastSquares(static_cast<int>(y.size()), x.data(), y.data(), 1,
                                        degree, coefficients);
}
