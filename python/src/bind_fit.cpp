// Polynomial fits and natural cubic splines over numpy arrays.
#include <VORN_LumUtility.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common.h"

namespace lumpy {

namespace {

// The points interleaved as the library reads them: x0, y0, x1, y1, ...
std::vector<double> interleave(const Doubles& x, const Doubles& y) {
  std::vector<double> points(2 * static_cast<std::size_t>(x.size()));
  for (py::ssize_t i = 0; i < x.size(); ++i) {
    points[2 * static_cast<std::size_t>(i)] = x.data()[i];
    points[2 * static_cast<std::size_t>(i) + 1] = y.data()[i];
  }
  return points;
}

void checkDegree(int degree, int minimum) {
  if (degree < minimum)
    throw py::value_error("degree must be " + std::to_string(minimum) + " or more, got " + std::to_string(degree));
  if (degree > 1000) throw py::value_error("degree " + std::to_string(degree) + " is not a sensible fit");
}

py::array_t<double> polyfitOf(const py::object& xObj, const py::object& yObj, int degree) {
  Doubles x = toSeries(xObj, "x");
  Doubles y = toSeries(yObj, "y");
  requireSameLength(x.size(), "x", y.size(), "y");
  checkDegree(degree, 0);
  const int n = toCount(x.size(), "x");
  if (n == 0) throw SingularFitError("polyfit: no points to fit");
  std::vector<double> points = interleave(x, y);
  std::vector<double> coefficients(static_cast<std::size_t>(degree) + 1);
  int result = 0;
  {
    py::gil_scoped_release release;
    result = JPolyfit(n, points.data(), degree, coefficients.data());
  }
  if (result != 1)
    throw SingularFitError("polyfit: the normal equations of a degree-" + std::to_string(degree) +
                           " fit to " + std::to_string(n) +
                           " points are singular (too few distinct x values, or non-finite input)");
  return vectorToArray(coefficients);
}

py::object polyvalOf(const py::object& xObj, const py::object& cObj) {
  Doubles x = toDoubles(xObj, "x");
  Doubles c = toSeries(cObj, "coefficients");
  if (c.size() == 0) throw py::value_error("coefficients is empty");
  const int degree = toCount(c.size(), "coefficients") - 1;
  std::vector<double> coefficients(c.data(), c.data() + c.size());
  py::array_t<double> out(shapeOf(x));
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < x.size(); ++i) dst[i] = PolyCalc(x.data()[i], coefficients.data(), degree);
  return scalarIfZeroDim(out);
}

py::object polyfitRunsOf(const py::object& xObj, const py::object& yObj, int degree, bool fullOutput) {
  Doubles x = toSeries(xObj, "x");
  Doubles y = toSeries(yObj, "y");
  requireSameLength(x.size(), "x", y.size(), "y");
  checkDegree(degree, 0);
  const int n = toCount(x.size(), "x");
  std::vector<double> points = interleave(x, y);
  // The residual test reads the linear coefficient even for degree 0.
  std::vector<double> coefficients(static_cast<std::size_t>(degree < 1 ? 2 : degree + 1));
  bool spreadOk = true;
  int result = 0;
  {
    py::gil_scoped_release release;
    result = JPolyfitRemoverOutlier(n, points.data(), degree, coefficients.data(), spreadOk);
  }
  if (result == -1)
    throw SingularFitError("polyfit_runs: the fit to the run means is singular (too few runs of readings)");
  if (result != 1)
    throw SingularFitError("polyfit_runs: the fit after residual rejection is singular (too few points left)");
  coefficients.resize(static_cast<std::size_t>(degree) + 1);
  if (fullOutput) return py::make_tuple(vectorToArray(coefficients), spreadOk);
  return vectorToArray(coefficients);
}

// Natural cubic spline through single-precision knots, evaluated by the
// library's range-checked evaluation.
class NaturalSpline {
 public:
  NaturalSpline(std::vector<float> x, std::vector<float> y) : x_(std::move(x)), y_(std::move(y)) {
    segments_ = static_cast<int>(x_.size()) - 1;
    coefficients_.resize(4 * static_cast<std::size_t>(segments_));
    CubicSplines(x_.data(), y_.data(), segments_, coefficients_.data());
  }

  // Values (float32, the library's rounding) and out-of-range flags.
  void evaluate(const float* t, py::ssize_t count, float lower, float upper, float divisor, float* values,
                bool* flags) const {
    std::vector<float> table(x_);
    table.push_back(lower);
    table.push_back(upper);
    table.push_back(divisor);
    for (py::ssize_t i = 0; i < count; ++i) {
      bool flag = false;
      values[i] = CalcSpline(true, table.data(), const_cast<double*>(coefficients_.data()), segments_, t[i], &flag);
      flags[i] = flag;
    }
  }

  py::object call(const py::object& tObj) const {
    py::array_t<float, py::array::c_style | py::array::forcecast> t = toFloats(tObj);
    py::array_t<float> out(shapeOf(t));
    std::vector<char> flags(static_cast<std::size_t>(t.size()));
    const float inf = std::numeric_limits<float>::infinity();
    evaluate(t.data(), t.size(), -inf, inf, 1.0f, out.mutable_data(), reinterpret_cast<bool*>(flags.data()));
    // With unbounded limits the flag marks exactly the inputs outside the knots.
    float* values = out.mutable_data();
    for (py::ssize_t i = 0; i < t.size(); ++i)
      if (flags[static_cast<std::size_t>(i)]) values[i] = std::numeric_limits<float>::quiet_NaN();
    return scalarIfZeroDim(out);
  }

  py::tuple evaluateChecked(const py::object& tObj, float lower, float upper, float divisor) const {
    py::array_t<float, py::array::c_style | py::array::forcecast> t = toFloats(tObj);
    py::array_t<float> values(shapeOf(t));
    py::array_t<bool> flags(shapeOf(t));
    evaluate(t.data(), t.size(), lower, upper, divisor, values.mutable_data(), flags.mutable_data());
    return py::make_tuple(values, flags);
  }

  py::array_t<double> coefficients() const {
    py::array_t<double> out({static_cast<py::ssize_t>(segments_), py::ssize_t{4}});
    double* dst = out.mutable_data();
    for (std::size_t i = 0; i < coefficients_.size(); ++i) dst[i] = coefficients_[i];
    return out;
  }

  py::array_t<float> knots(bool ordinates) const {
    const std::vector<float>& v = ordinates ? y_ : x_;
    py::array_t<float> out(static_cast<py::ssize_t>(v.size()));
    for (std::size_t i = 0; i < v.size(); ++i) out.mutable_data()[i] = v[i];
    return out;
  }

  int segments() const { return segments_; }

 private:
  static py::array_t<float, py::array::c_style | py::array::forcecast> toFloats(const py::object& t) {
    if (t.is_none()) throw py::type_error("t must be an array of numbers, not None");
    auto converted = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(t);
    if (!converted) {
      PyErr_Clear();
      throw py::value_error("t cannot be converted to an array of numbers");
    }
    return converted;
  }

  std::vector<float> x_, y_;
  int segments_ = 0;
  std::vector<double> coefficients_;
};

NaturalSpline makeSpline(const py::object& xObj, const py::object& yObj) {
  Doubles x = toSeries(xObj, "x");
  Doubles y = toSeries(yObj, "y");
  requireSameLength(x.size(), "x", y.size(), "y");
  if (x.size() < 2) throw py::value_error("a spline needs at least 2 knots, got " + std::to_string(x.size()));
  if (x.size() > std::numeric_limits<int>::max() / 4) throw py::value_error("too many knots");
  std::vector<float> xf(static_cast<std::size_t>(x.size())), yf(static_cast<std::size_t>(x.size()));
  for (py::ssize_t i = 0; i < x.size(); ++i) {
    xf[static_cast<std::size_t>(i)] = static_cast<float>(x.data()[i]);
    yf[static_cast<std::size_t>(i)] = static_cast<float>(y.data()[i]);
    if (!std::isfinite(xf[static_cast<std::size_t>(i)]) || !std::isfinite(yf[static_cast<std::size_t>(i)]))
      throw py::value_error("knot " + std::to_string(i) + " is not finite in single precision");
    if (i > 0 && !(xf[static_cast<std::size_t>(i)] > xf[static_cast<std::size_t>(i) - 1]))
      throw py::value_error("x must increase strictly in single precision; x[" + std::to_string(i) +
                            "] does not exceed x[" + std::to_string(i - 1) + "]");
  }
  return NaturalSpline(std::move(xf), std::move(yf));
}

}  // namespace

void bindFit(py::module_& m) {
  m.def("polyfit", &polyfitOf, py::arg("x"), py::arg("y"), py::arg("degree"),
        R"(Least-squares polynomial of the given degree through the points (x, y).

Returns degree + 1 coefficients in ASCENDING powers (element 0 is the
constant), as numpy.polynomial.polynomial.polyfit, not numpy.polyfit.
Raises lumutil.LinAlgError when the normal equations are singular.)");
  m.def("polyval", &polyvalOf, py::arg("x"), py::arg("coefficients"),
        R"(Value of the polynomial with ascending coefficients at x (any shape), by Horner's rule.)");
  m.def("polyfit_runs", &polyfitRunsOf, py::arg("x"), py::arg("y"), py::arg("degree"), py::kw_only(),
        py::arg("full_output") = false,
        R"(Polynomial fit to readings taken in runs at (nearly) the same x.

Consecutive x closer than 0.0005 form a run; each run is condensed to its mean
x and the mean of the readings that pass a tau test; widely spread run means
are tested too; the straight-line residuals of a first fit are tested and the
fit is repeated. Returns ascending coefficients; with full_output=True also
spread_ok (False when a tau test had to limit its spread throughout). Raises
lumutil.LinAlgError when a fit is singular.)");

  py::class_<NaturalSpline>(m, "NaturalSpline",
                            R"(Natural cubic spline through single-precision knots (see natural_spline).)")
      .def("__call__", &NaturalSpline::call, py::arg("t"),
           R"(Spline values at t (any shape, rounded to float32), as float32; NaN outside [x[0], x[-1]].)")
      .def("evaluate_checked", &NaturalSpline::evaluateChecked, py::arg("t"), py::arg("lower"), py::arg("upper"),
           py::arg("divisor"),
           R"(The library's range-checked evaluation: returns (values, flags). Outside the
knots the value is t / divisor; the flag is set when t lies outside the knots
or the value outside [lower, upper].)")
      .def_property_readonly("coefficients", &NaturalSpline::coefficients,
                             R"((segments, 4) array of a, b, c, d: a + b*u + c*u**2 + d*u**3, u = t - x[i].)")
      .def_property_readonly(
          "x", [](const NaturalSpline& s) { return s.knots(false); }, "Knot abscissae (float32).")
      .def_property_readonly(
          "y", [](const NaturalSpline& s) { return s.knots(true); }, "Knot ordinates (float32).")
      .def_property_readonly("segments", &NaturalSpline::segments, "Number of segments (knots - 1).")
      .def("__repr__", [](const NaturalSpline& s) {
        return "<NaturalSpline with " + std::to_string(s.segments()) + " segments>";
      });
  m.def("natural_spline", &makeSpline, py::arg("x"), py::arg("y"),
        R"(Natural cubic spline (zero second derivative at both ends) through the knots
(x, y), which are rounded to float32; x must increase strictly. Returns a
NaturalSpline; call it to evaluate.)");
}

}  // namespace lumpy
