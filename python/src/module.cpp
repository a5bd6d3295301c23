// The module `lumutil`: VORN_LumUtility's routines over numpy arrays.
#include <pybind11/pybind11.h>

#include "common.h"

PYBIND11_MODULE(lumutil, m) {
  m.doc() = R"(VORN_LumUtility over numpy arrays.

Every function converts its array arguments once to float64 in C order, checks
lengths, and returns new arrays; results are those of the C++ library, bit for
bit. Bad input raises ValueError (TypeError for a mask that is not boolean),
a singular fit lumutil.LinAlgError.

Families: statistics (mean, std, variance, clipped_mean, median), outliers
(hampel, tau_test), filters (gaussian, derivative_of_gaussian, correlate,
moving_average, running_mean, kalman, band_filter, rate_filter,
rate_filter_mean), fits (polyfit, polyval, polyfit_runs), splines
(natural_spline), geometry (to_spherical, cross, rotation_x/y/z, rotate,
vector_at_angles), grids (trilinear, trilinear_blend, linear_interpolation,
bracket, encoder_calibration) and scattered data (ScatteredSurface).)";
  m.attr("__version__") = LUM_PY_VERSION;
  lumpy::registerErrors(m);
  m.attr("LinAlgError").attr("__doc__") =
      "Raised when a fit's normal equations are singular; a numpy.linalg.LinAlgError.";
  lumpy::bindStatistics(m);
  lumpy::bindSignal(m);
  lumpy::bindFit(m);
  lumpy::bindGeometry(m);
  lumpy::bindScattered(m);
}
