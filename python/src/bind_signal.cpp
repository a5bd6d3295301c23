// Signal filters over 1-D numpy arrays.
#include <VORN_LumUtility.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common.h"

namespace lumpy {

namespace {

int kernelSize(int size, double sigma) {
  if (!std::isfinite(sigma) || sigma <= 0.0)
    throw py::value_error("sigma must be a positive finite number, got " + formatNumber(sigma));
  if (size < 1 || size % 2 == 0)
    throw py::value_error("the kernel size must be odd and positive, got " + std::to_string(size));
  return size;
}

// Default kernel: taps out to four standard deviations on each side.
int defaultKernelSize(const py::object& size, double sigma) {
  if (!size.is_none()) return kernelSize(size.cast<int>(), sigma);
  kernelSize(1, sigma);
  const double half = std::floor(4.0 * sigma + 0.5);
  if (half > 1.0e6) throw py::value_error("sigma is too large for a default kernel size; give size=");
  return 2 * static_cast<int>(half) + 1;
}

std::vector<double> kernelOf(bool derivative, int size, double sigma) {
  std::vector<double> kernel(static_cast<std::size_t>(size));
  const bool ok = derivative ? doGFilter(size, sigma, kernel.data()) : gaussianFilter(size, sigma, kernel.data());
  if (!ok) throw py::value_error("the kernel size must be odd, got " + std::to_string(size));
  return kernel;
}

py::array_t<double> correlateWith(const Doubles& x, const std::vector<double>& kernel) {
  const int n = toCount(x.size(), "x");
  if (n < 1) throw py::value_error("x is empty");
  const int k = toCount(static_cast<py::ssize_t>(kernel.size()), "kernel");
  if (k % 2 == 0) throw py::value_error("the kernel must have an odd number of taps, got " + std::to_string(k));
  py::array_t<double> out(x.size());
  double* dst = out.mutable_data();
  bool ok = false;
  {
    py::gil_scoped_release release;
    ok = convFilter(n, k, kernel.data(), x.data(), dst);
  }
  if (!ok) throw py::value_error("the correlation refused its arguments");
  return out;
}

py::array_t<double> kernelArray(int size, double sigma, bool derivative) {
  return vectorToArray(kernelOf(derivative, kernelSize(size, sigma), sigma));
}

py::array_t<double> correlateOf(const py::object& xObj, const py::object& kernelObj) {
  Doubles x = toSeries(xObj, "x");
  Doubles kernel = toSeries(kernelObj, "kernel");
  return correlateWith(x, std::vector<double>(kernel.data(), kernel.data() + kernel.size()));
}

py::array_t<double> gaussianOf(const py::object& xObj, double sigma, const py::object& size, bool derivative) {
  Doubles x = toSeries(xObj, "x");
  return correlateWith(x, kernelOf(derivative, defaultKernelSize(size, sigma), sigma));
}

py::array_t<double> movingAverageOf(const py::object& xObj, int window) {
  Doubles x = toSeries(xObj, "x");
  toCount(x.size(), "x");
  std::vector<double> data(x.data(), x.data() + x.size());
  movingAverage(window, data);
  return vectorToArray(data);
}

py::array_t<double> runningMeanOf(const py::object& xObj, int window) {
  Doubles x = toSeries(xObj, "x");
  if (window < 0) throw py::value_error("window must be 0 or more, got " + std::to_string(window));
  const int n = toCount(x.size(), "x");
  if (n == std::numeric_limits<int>::max()) throw py::value_error("x has too many elements for the library");
  std::vector<double> slots(static_cast<std::size_t>(window > 0 ? window : 1));
  py::array_t<double> out(x.size());
  double* dst = out.mutable_data();
  for (int i = 0; i < n; ++i) dst[i] = MovingFilter(slots.data(), i + 1, window, x.data()[i]);
  return out;
}

py::object kalmanOf(const py::object& zObj, const py::object& estimate0, double variance0, bool fullOutput) {
  Doubles z = toSeries(zObj, "z");
  const py::ssize_t n = z.size();
  double estimate = 0.0;
  if (!estimate0.is_none()) {
    estimate = estimate0.cast<double>();
  } else {
    if (n == 0) throw py::value_error("z is empty and no initial estimate was given");
    estimate = z.data()[0];
  }
  double errorVariance = variance0;
  py::array_t<double> estimates(n);
  py::array_t<double> variances(n);
  double* e = estimates.mutable_data();
  double* v = variances.mutable_data();
  for (py::ssize_t i = 0; i < n; ++i) {
    KalmanFilter(z.data()[i], estimate, errorVariance);
    e[i] = estimate;
    v[i] = errorVariance;
  }
  if (fullOutput) return py::make_tuple(estimates, variances);
  return estimates;
}

// Copies of x and of the mask (all true when none is given).
struct MaskedSeries {
  std::vector<double> values;
  std::vector<char> mask;  // bool storage, one byte per sample
  bool* maskData() { return reinterpret_cast<bool*>(mask.data()); }
};

MaskedSeries maskedSeries(const Doubles& x, const py::object& maskObj) {
  MaskedSeries s;
  s.values.assign(x.data(), x.data() + x.size());
  s.mask.assign(static_cast<std::size_t>(x.size()), 1);
  if (!maskObj.is_none()) {
    Bools mask = toMask(maskObj, x.size(), "mask");
    for (py::ssize_t i = 0; i < x.size(); ++i) s.mask[static_cast<std::size_t>(i)] = mask.data()[i] ? 1 : 0;
  }
  return s;
}

py::tuple maskedResult(const MaskedSeries& s) {
  py::array_t<bool> mask(static_cast<py::ssize_t>(s.mask.size()));
  bool* dst = mask.mutable_data();
  for (std::size_t i = 0; i < s.mask.size(); ++i) dst[i] = s.mask[i] != 0;
  return py::make_tuple(vectorToArray(s.values), mask);
}

py::tuple bandFilterOf(const py::object& xObj, double lower, double upper, double replacement,
                       const py::object& maskObj) {
  Doubles x = toSeries(xObj, "x");
  const int n = toCount(x.size(), "x");
  if (n < 1) throw py::value_error("x is empty");
  if (lower > upper)
    throw py::value_error("lower (" + formatNumber(lower) + ") is above upper (" + formatNumber(upper) + ")");
  MaskedSeries s = maskedSeries(x, maskObj);
  if (!bandFilter(n, lower, upper, replacement, s.values.data(), s.maskData()))
    throw py::value_error("the band filter refused its arguments");
  return maskedResult(s);
}

py::tuple rateFilterOf(const py::object& xObj, int k, int passes, const py::object& maskObj) {
  Doubles x = toSeries(xObj, "x");
  const int n = toCount(x.size(), "x");
  if (n < 1) throw py::value_error("x is empty");
  if (k < 0) throw py::value_error("k must be 0 or more, got " + std::to_string(k));
  MaskedSeries s = maskedSeries(x, maskObj);
  bool ok = false;
  {
    py::gil_scoped_release release;
    ok = rateFilter(n, k, passes, s.values.data(), s.maskData());
  }
  if (!ok) throw py::value_error("the rate filter's band test failed (lower bound above the upper)");
  return maskedResult(s);
}

double rateFilterMeanOf(const py::object& xObj, int k) {
  Doubles x = toSeries(xObj, "x");
  const int n = toCount(x.size(), "x");
  if (n < 1) throw py::value_error("x is empty");
  if (k < 0) throw py::value_error("k must be 0 or more, got " + std::to_string(k));
  std::vector<double> data(x.data(), x.data() + x.size());
  py::gil_scoped_release release;
  return rateFilter(n, data, k);
}

}  // namespace

void bindSignal(py::module_& m) {
  m.def(
      "gaussian_kernel", [](int size, double sigma) { return kernelArray(size, sigma, false); }, py::arg("size"),
      py::arg("sigma"),
      R"(The normal density with standard deviation sigma (in samples) at the offsets
-size//2 .. size//2 (size odd); not rescaled to sum to 1.)");
  m.def(
      "derivative_of_gaussian_kernel", [](int size, double sigma) { return kernelArray(size, sigma, true); },
      py::arg("size"), py::arg("sigma"),
      R"(First derivative of the normal density at the offsets -size//2 .. size//2
(size odd): positive for negative offsets, 0 at the centre.)");
  m.def("correlate", &correlateOf, py::arg("x"), py::arg("kernel"),
        R"(Correlation of a 1-D series with an odd-length kernel, without reversing the
kernel (tap t meets sample i - len(kernel)//2 + t); taps beyond the ends are
dropped, not renormalised. Returns an array of x's length.)");
  m.def(
      "gaussian",
      [](const py::object& x, double sigma, const py::object& size) { return gaussianOf(x, sigma, size, false); },
      py::arg("x"), py::arg("sigma"), py::arg("size") = py::none(),
      R"(Gaussian smoothing of a 1-D series: correlate(x, gaussian_kernel(size, sigma)).
size defaults to 2*round(4*sigma) + 1 taps.)");
  m.def(
      "derivative_of_gaussian",
      [](const py::object& x, double sigma, const py::object& size) { return gaussianOf(x, sigma, size, true); },
      py::arg("x"), py::arg("sigma"), py::arg("size") = py::none(),
      R"(Rate of change of a 1-D series: correlate(x, derivative_of_gaussian_kernel(size,
sigma)). The kernel is not reversed, so a rising series gives negative values.)");
  m.def("moving_average", &movingAverageOf, py::arg("x"), py::arg("window"),
        R"(Moving average with the effective window w = min(len(x)//2, window), at least 2.
Returns len(x) - w values (the window ending at the last sample is not
produced); a series of fewer than 2 samples comes back unchanged.)");
  m.def("running_mean", &runningMeanOf, py::arg("x"), py::arg("window"),
        R"(Streaming mean: element i is the mean of the last min(i + 1, window) samples
up to x[i]. window=0 returns x unchanged.)");
  m.def("kalman", &kalmanOf, py::arg("z"), py::kw_only(), py::arg("estimate") = py::none(),
        py::arg("variance") = 1.0, py::arg("full_output") = false,
        R"(Scalar Kalman filter (process noise 1e-5, measurement noise 0.001) run over the
measurements z. estimate defaults to z[0]; variance is the initial error
variance. Returns the estimate after each step; with full_output=True also the
error variances.)");
  m.def("band_filter", &bandFilterOf, py::arg("x"), py::arg("lower"), py::arg("upper"), py::arg("replacement"),
        py::kw_only(), py::arg("mask") = py::none(),
        R"(Marks samples outside [lower, upper] invalid and replaces them by replacement.
Returns (values, mask) as new arrays; samples already invalid are left alone.)");
  m.def("rate_filter", &rateFilterOf, py::arg("x"), py::arg("k"), py::kw_only(), py::arg("passes") = 2,
        py::arg("mask") = py::none(),
        R"(Rate-of-change rejection: samples whose derivative-of-Gaussian rate (39 taps,
sigma 1) lies outside mean +- k std of the rates become invalid; then `passes`
rounds of k-sigma clipping on the values replace rejected values by the mean
of the valid ones. Returns (values, mask) as new arrays.)");
  m.def("rate_filter_mean", &rateFilterMeanOf, py::arg("x"), py::arg("k"),
        R"(Mean of the samples that survive the rate stage and two value passes of
rate_filter (0.0 when none does).)");
}

}  // namespace lumpy
