#include "common.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace lumpy {

Doubles toDoubles(const py::handle& value, const char* name) {
  if (value.is_none()) throw py::type_error(std::string(name) + " must be an array of numbers, not None");
  auto converted = Doubles::ensure(value);
  if (!converted) {
    PyErr_Clear();
    throw py::value_error(std::string(name) + " cannot be converted to an array of float64 numbers");
  }
  return converted;
}

Doubles toSeries(const py::handle& value, const char* name) {
  Doubles array = toDoubles(value, name);
  if (array.ndim() != 1)
    throw py::value_error(std::string(name) + " must be one-dimensional, got " + std::to_string(array.ndim()) +
                          " dimensions");
  return array;
}

Bools toMask(const py::handle& value, py::ssize_t size, const char* name) {
  py::array raw = py::array::ensure(value);
  if (!raw) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + " must be a boolean array");
  }
  if (raw.dtype().kind() != 'b') throw py::type_error(std::string(name) + " must have dtype bool");
  if (raw.size() != size)
    throw py::value_error(std::string(name) + " has " + std::to_string(raw.size()) + " elements, expected " +
                          std::to_string(size));
  return Bools::ensure(raw);
}

int toCount(py::ssize_t size, const char* what) {
  if (size > static_cast<py::ssize_t>(std::numeric_limits<int>::max()))
    throw py::value_error(std::string(what) + " has too many elements for the library (at most 2147483647)");
  return static_cast<int>(size);
}

void requireFinite(const double* values, py::ssize_t size, const char* name) {
  for (py::ssize_t i = 0; i < size; ++i)
    if (!std::isfinite(values[i]))
      throw py::value_error(std::string(name) + "[" + std::to_string(i) + "] is " + formatNumber(values[i]) +
                            "; only finite values are accepted");
}

void requireSameLength(py::ssize_t a, const char* nameA, py::ssize_t b, const char* nameB) {
  if (a != b)
    throw py::value_error(std::string(nameA) + " and " + nameB + " differ in length (" + std::to_string(a) +
                          " and " + std::to_string(b) + ")");
}

py::array_t<double> newDoubles(const std::vector<py::ssize_t>& shape) { return py::array_t<double>(shape); }

py::array_t<double> vectorToArray(const std::vector<double>& values) {
  py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
  double* dst = out.mutable_data();
  for (std::size_t i = 0; i < values.size(); ++i) dst[i] = values[i];
  return out;
}

py::array_t<py::ssize_t> indicesToArray(const std::vector<int>& values) {
  py::array_t<py::ssize_t> out(static_cast<py::ssize_t>(values.size()));
  py::ssize_t* dst = out.mutable_data();
  for (std::size_t i = 0; i < values.size(); ++i) dst[i] = values[i];
  return out;
}

std::vector<Doubles> broadcastDoubles(const std::vector<py::object>& values, const std::vector<const char*>& names,
                                      std::vector<py::ssize_t>& shape) {
  py::list arrays;
  for (std::size_t i = 0; i < values.size(); ++i) arrays.append(toDoubles(values[i], names[i]));
  py::object broadcast;
  try {
    broadcast = py::module_::import("numpy").attr("broadcast_arrays")(*arrays);
  } catch (const py::error_already_set& error) {
    if (!error.matches(PyExc_ValueError)) throw;
    std::string message;
    for (std::size_t i = 0; i < values.size(); ++i)
      message += std::string(i ? (i + 1 == values.size() ? " and " : ", ") : "") + names[i] + " " +
                 py::str(arrays[i].attr("shape")).cast<std::string>();
    throw py::value_error("cannot broadcast " + message + " together");
  }
  std::vector<Doubles> out;
  for (py::handle item : broadcast) out.push_back(Doubles::ensure(item));
  shape = shapeOf(out.front());
  return out;
}

py::object scalarIfZeroDim(const py::array& array) {
  if (array.ndim() == 0) return array[py::tuple()];
  return array;
}

std::vector<py::ssize_t> shapeOf(const py::array& array) {
  return std::vector<py::ssize_t>(array.shape(), array.shape() + array.ndim());
}

std::string formatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

void registerErrors(py::module_& m) {
  py::object base = py::module_::import("numpy.linalg").attr("LinAlgError");
  py::register_exception<SingularFitError>(m, "LinAlgError", base);
}

}  // namespace lumpy
