// Statistics and outlier rejection over numpy arrays.
#include <VORN_LumUtility.h>

#include <cmath>
#include <vector>

#include "common.h"

namespace lumpy {

namespace {

// All elements, flattened in C order.
std::vector<double> allValues(const Doubles& x) { return std::vector<double>(x.data(), x.data() + x.size()); }

// The elements whose mask entry is true, in C order.
std::vector<double> selectedValues(const Doubles& x, const Bools& mask) {
  std::vector<double> out;
  const bool* keep = mask.data();
  for (py::ssize_t i = 0; i < x.size(); ++i)
    if (keep[i]) out.push_back(x.data()[i]);
  return out;
}

// The values to work on: all of x, or those selected by a boolean mask.
std::vector<double> valuesOf(const Doubles& x, const py::object& mask) {
  if (mask.is_none()) return allValues(x);
  return selectedValues(x, toMask(mask, x.size(), "mask"));
}

void requireNoNaN(const std::vector<double>& values, const char* name) {
  for (std::size_t i = 0; i < values.size(); ++i)
    if (std::isnan(values[i]))
      throw py::value_error(std::string(name) + " holds NaN (at position " + std::to_string(i) +
                            "); sorting gives NaN no defined place");
}

double meanOf(const py::object& xObj, const py::object& maskObj) {
  Doubles x = toDoubles(xObj, "x");
  if (maskObj.is_none()) return mean(allValues(x));
  Bools mask = toMask(maskObj, x.size(), "mask");
  const int n = toCount(x.size(), "x");
  return avg(n, x.data(), mask.data());
}

double stdOf(const py::object& xObj, int ddof, const py::object& maskObj) {
  Doubles x = toDoubles(xObj, "x");
  if (ddof == 1) {
    const int n = toCount(x.size(), "x");
    if (maskObj.is_none()) return calStdev(n, allValues(x));
    Bools mask = toMask(maskObj, x.size(), "mask");
    return stdev(n, x.data(), mask.data());
  }
  if (ddof == 0) {
    std::vector<double> values = valuesOf(x, maskObj);
    return stdDev(values, mean(values));
  }
  throw py::value_error("ddof must be 0 (divisor n) or 1 (divisor n - 1), got " + std::to_string(ddof));
}

double varianceOf(const py::object& xObj, const py::object& center) {
  std::vector<double> values = allValues(toDoubles(xObj, "x"));
  const double m = center.is_none() ? mean(values) : center.cast<double>();
  return variance(values, m);
}

double clippedMeanOf(const py::object& xObj, double k, const py::object& maskObj) {
  std::vector<double> values = valuesOf(toDoubles(xObj, "x"), maskObj);
  const int n = toCount(static_cast<py::ssize_t>(values.size()), "x");
  return calAvgSigma(n, values, k);
}

double medianOf(const py::object& xObj, const py::object& maskObj) {
  std::vector<double> values = valuesOf(toDoubles(xObj, "x"), maskObj);
  if (values.empty()) throw py::value_error("median of no values");
  requireNoNaN(values, "x");
  const int last = toCount(static_cast<py::ssize_t>(values.size()), "x") - 1;
  return median(values, 0, last);
}

py::tuple hampelOf(const py::object& xObj, int window, double k) {
  Doubles x = toSeries(xObj, "x");
  if (window < 0) throw py::value_error("window must be 0 or more, got " + std::to_string(window));
  toCount(x.size(), "x");
  std::vector<double> data = allValues(x);
  requireNoNaN(data, "x");
  std::vector<double> cleaned;
  std::vector<int> kept;
  {
    py::gil_scoped_release release;
    removeOutlierFuncMedian(data, cleaned, kept, window, k);
  }
  return py::make_tuple(indicesToArray(kept), vectorToArray(cleaned));
}

py::tuple tauTestOf(const py::object& xObj, double fraction, bool fullOutput) {
  Doubles x = toSeries(xObj, "x");
  toCount(x.size(), "x");
  if (x.size() < 3) throw py::value_error("the tau test needs at least 3 samples, got " + std::to_string(x.size()));
  if (!std::isfinite(fraction) || fraction > 1.0)
    throw py::value_error("fraction must be a finite number of at most 1, got " + formatNumber(fraction));
  std::vector<double> data = allValues(x);
  requireNoNaN(data, "x");
  std::vector<double> cleaned;
  std::vector<int> kept;
  bool spreadOk = true;
  {
    py::gil_scoped_release release;
    removeOutlierFuncTau(data, cleaned, kept, fraction, spreadOk);
  }
  if (fullOutput) return py::make_tuple(indicesToArray(kept), vectorToArray(cleaned), spreadOk);
  return py::make_tuple(indicesToArray(kept), vectorToArray(cleaned));
}

}  // namespace

void bindStatistics(py::module_& m) {
  m.def("mean", &meanOf, py::arg("x"), py::kw_only(), py::arg("mask") = py::none(),
        R"(Mean of all elements of x (flattened), summed in order; NaN when x is empty.

With a boolean mask of x's size, the mean of the selected elements, and 0.0
when none is selected (the library's masked mean).)");
  m.def("std", &stdOf, py::arg("x"), py::kw_only(), py::arg("ddof") = 1, py::arg("mask") = py::none(),
        R"(Standard deviation of x (flattened).

ddof=1 (default): sample form, divisor n - 1 (NaN for one element; with a mask,
0.0 when nothing is selected). ddof=0: population form about the mean,
divisor n. mask selects elements as in mean().)");
  m.def("variance", &varianceOf, py::arg("x"), py::arg("center") = py::none(),
        R"(Population variance of x about center (default: the mean of x): sum((center - x)**2) / n.)");
  m.def("clipped_mean", &clippedMeanOf, py::arg("x"), py::arg("k"), py::kw_only(), py::arg("mask") = py::none(),
        R"(One pass of k-sigma clipping: the mean of the elements strictly inside
(mean - k*s, mean + k*s), s the sample standard deviation; the plain mean when
no element is inside. mask selects the elements first.)");
  m.def("median", &medianOf, py::arg("x"), py::kw_only(), py::arg("mask") = py::none(),
        R"(Median of x (flattened, or the elements a boolean mask selects); the mean
of the two middle values for an even count. ValueError when empty or NaN is present.)");
  m.def("hampel", &hampelOf, py::arg("x"), py::arg("window"), py::arg("k"),
        R"(Sliding-window median (Hampel) outlier test on a 1-D series.

Sample i is rejected when |x[i] - med| > k * 1.4826 * MAD over the window
x[i-window .. i+window] (cut off at the ends). Returns (indices, values) of the
kept samples, in order. Costs O(n * (n + window log window)).)");
  m.def("tau_test", &tauTestOf, py::arg("x"), py::arg("fraction"), py::kw_only(), py::arg("full_output") = false,
        R"(Iterated modified Thompson tau test on a 1-D series of at least 3 samples,
removing at most trunc(n * fraction) samples (fraction <= 1).

Returns (indices, values) of the kept samples; with full_output=True also
spread_ok, False when the spread of the deviations had to be limited to 1.0 in
as many tests as the budget allowed.)");
}

}  // namespace lumpy
