// Shared pieces of the Python module: argument conversion, length checks and
// the exceptions that library failures turn into.
#ifndef LUMUTIL_PYTHON_COMMON_H
#define LUMUTIL_PYTHON_COMMON_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumpy {

namespace py = pybind11;

// A C-contiguous float64 array; arguments are converted to it once.
using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Bools = py::array_t<bool, py::array::c_style | py::array::forcecast>;

// Raised for a fit whose normal equations are singular; Python sees it as
// lumutil.LinAlgError, a subclass of numpy.linalg.LinAlgError.
class SingularFitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Converts an array-like to float64, C order (a copy only when needed).
// Raises ValueError naming the argument when it cannot be converted.
Doubles toDoubles(const py::handle& value, const char* name);
// As toDoubles, and the result must have exactly one dimension.
Doubles toSeries(const py::handle& value, const char* name);
// A boolean mask with `size` elements (any shape), or ValueError/TypeError.
Bools toMask(const py::handle& value, py::ssize_t size, const char* name);

// The element count as the library's int; ValueError when it does not fit.
int toCount(py::ssize_t size, const char* what);
// ValueError unless every element is finite.
void requireFinite(const double* values, py::ssize_t size, const char* name);
// ValueError unless the two arrays have the same number of elements.
void requireSameLength(py::ssize_t a, const char* nameA, py::ssize_t b, const char* nameB);

// A new float64 array of the given shape, and a 1-D one of n elements.
py::array_t<double> newDoubles(const std::vector<py::ssize_t>& shape);
py::array_t<double> vectorToArray(const std::vector<double>& values);
py::array_t<py::ssize_t> indicesToArray(const std::vector<int>& values);

// Broadcasts the arguments against each other by numpy's rules and returns
// C-contiguous float64 copies of the broadcast arrays; `shape` receives the
// common shape. ValueError names the arguments when they do not broadcast.
std::vector<Doubles> broadcastDoubles(const std::vector<py::object>& values, const std::vector<const char*>& names,
                                      std::vector<py::ssize_t>& shape);
// A 0-d result as a numpy scalar, anything else unchanged.
py::object scalarIfZeroDim(const py::array& array);

// Shape of an array as a vector.
std::vector<py::ssize_t> shapeOf(const py::array& array);

// The number rendered with 17 significant digits, shortest form.
std::string formatNumber(double value);

// Registers lumutil.LinAlgError and the translation of SingularFitError.
void registerErrors(py::module_& m);

// Binding of each family.
void bindStatistics(py::module_& m);
void bindSignal(py::module_& m);
void bindFit(py::module_& m);
void bindGeometry(py::module_& m);
void bindScattered(py::module_& m);

}  // namespace lumpy

#endif  // LUMUTIL_PYTHON_COMMON_H
