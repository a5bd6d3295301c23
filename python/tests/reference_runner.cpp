// Calls the library directly for the Python tests, which compare the module's
// results with these bit for bit.
//
// Requests arrive on standard input, one per call:
//   <function name>
//   <type> <count> <value> ...      one line per argument
// and each answer is written as lines of the same form, then "end".
// Types: d (double), f (float), i (int), b (bool, 0 or 1); floating-point
// values travel as hexadecimal literals (%a), so nothing is rounded.
#include <VORN_LumUtility.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using Doubles = std::vector<double>;
using Floats = std::vector<float>;
using Ints = std::vector<int>;

template <typename T>
std::vector<T> readArray(char expected) {
  std::string type;
  std::size_t count = 0;
  if (!(std::cin >> type >> count) || type.size() != 1 || type[0] != expected)
    throw std::runtime_error(std::string("expected an argument of type ") + expected);
  std::vector<T> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string text;
    std::cin >> text;
    if constexpr (std::is_same_v<T, int>) {
      values[i] = std::stoi(text);
    } else {
      values[i] = static_cast<T>(std::strtod(text.c_str(), nullptr));
    }
  }
  return values;
}

Doubles readD() { return readArray<double>('d'); }
Floats readF() { return readArray<float>('f'); }
Ints readI() { return readArray<int>('i'); }
int readInt() { return readI().at(0); }
double readDouble() { return readD().at(0); }
std::vector<char> readB() {
  Ints v = readArray<int>('b');
  return std::vector<char>(v.begin(), v.end());
}
bool* asBools(std::vector<char>& v) { return reinterpret_cast<bool*>(v.data()); }

void writeD(const double* v, std::size_t n, char type = 'd') {
  std::printf("%c %zu", type, n);
  for (std::size_t i = 0; i < n; ++i) std::printf(" %a", v[i]);
  std::printf("\n");
}
void writeD(const Doubles& v) { writeD(v.data(), v.size()); }
void writeF(const Floats& v) {
  Doubles wide(v.begin(), v.end());
  writeD(wide.data(), wide.size(), 'f');
}
void writeI(const int* v, std::size_t n, char type = 'i') {
  std::printf("%c %zu", type, n);
  for (std::size_t i = 0; i < n; ++i) std::printf(" %d", v[i]);
  std::printf("\n");
}
void writeI(const Ints& v) { writeI(v.data(), v.size()); }
void writeB(const std::vector<char>& v) {
  Ints wide(v.begin(), v.end());
  writeI(wide.data(), wide.size(), 'b');
}
void writeScalar(double v) { writeD(&v, 1); }
void writeInt(int v) { writeI(&v, 1); }

int count(const Doubles& v) { return static_cast<int>(v.size()); }

// --- statistics and outliers -------------------------------------------------

void meanCall() { writeScalar(mean(readD())); }
void calStdevCall() {
  Doubles v = readD();
  writeScalar(calStdev(count(v), v));
}
void stdDevCall() {
  Doubles v = readD();
  writeScalar(stdDev(v, readDouble()));
}
void varianceCall() {
  Doubles v = readD();
  writeScalar(variance(v, readDouble()));
}
void calAvgSigmaCall() {
  Doubles v = readD();
  writeScalar(calAvgSigma(count(v), v, readDouble()));
}
void avgCall() {
  Doubles x = readD();
  std::vector<char> mask = readB();
  const int n = count(x);
  writeScalar(avg(n, x.data(), asBools(mask)));
}
void stdevCall() {
  Doubles x = readD();
  std::vector<char> mask = readB();
  const int n = count(x);
  writeScalar(stdev(n, x.data(), asBools(mask)));
}
void medianCall() {
  Doubles v = readD();
  writeScalar(median(v, 0, count(v) - 1));
}
void hampelCall() {
  Doubles v = readD();
  const int w = readInt();
  const double k = readDouble();
  Doubles cleaned;
  Ints kept;
  removeOutlierFuncMedian(v, cleaned, kept, w, k);
  writeI(kept);
  writeD(cleaned);
}
void tauCall() {
  Doubles v = readD();
  const double fraction = readDouble();
  Doubles cleaned;
  Ints kept;
  bool flag = true;
  removeOutlierFuncTau(v, cleaned, kept, fraction, flag);
  writeI(kept);
  writeD(cleaned);
  writeB({static_cast<char>(flag)});
}

// --- filters -------------------------------------------------------------------

void kernelCall(bool derivative) {
  const int k = readInt();
  const double sigma = readDouble();
  Doubles kernel(static_cast<std::size_t>(k));
  const bool ok = derivative ? doGFilter(k, sigma, kernel.data()) : gaussianFilter(k, sigma, kernel.data());
  writeB({static_cast<char>(ok)});
  writeD(kernel);
}
void convCall() {
  Doubles kernel = readD();
  Doubles signal = readD();
  Doubles out(signal.size());
  const int n = count(signal), k = count(kernel);
  convFilter(n, k, kernel.data(), signal.data(), out.data());
  writeD(out);
}
void movingAverageCall() {
  const int w = readInt();
  Doubles data = readD();
  movingAverage(w, data);
  writeD(data);
}
void movingFilterCall() {
  Doubles x = readD();
  const int w = readInt();
  Doubles slots(static_cast<std::size_t>(w > 0 ? w : 1));
  Doubles out;
  for (int i = 0; i < count(x); ++i) out.push_back(MovingFilter(slots.data(), i + 1, w, x[static_cast<std::size_t>(i)]));
  writeD(out);
}
void kalmanCall() {
  Doubles z = readD();
  double estimate = readDouble(), errorVariance = readDouble();
  Doubles estimates, variances;
  for (double v : z) {
    KalmanFilter(v, estimate, errorVariance);
    estimates.push_back(estimate);
    variances.push_back(errorVariance);
  }
  writeD(estimates);
  writeD(variances);
}
void bandCall() {
  Doubles x = readD();
  const double lo = readDouble(), hi = readDouble(), rep = readDouble();
  std::vector<char> mask = readB();
  const int n = count(x);
  const bool ok = bandFilter(n, lo, hi, rep, x.data(), asBools(mask));
  writeB({static_cast<char>(ok)});
  writeD(x);
  writeB(mask);
}
void rateArrayCall() {
  Doubles x = readD();
  const int k = readInt(), passes = readInt();
  std::vector<char> mask = readB();
  const int n = count(x);
  const bool ok = rateFilter(n, k, passes, x.data(), asBools(mask));
  writeB({static_cast<char>(ok)});
  writeD(x);
  writeB(mask);
}
void rateVectorCall() {
  Doubles x = readD();
  const int k = readInt();
  writeScalar(rateFilter(count(x), x, k));
}

// --- fits and splines ------------------------------------------------------------

Doubles interleaved(const Doubles& x, const Doubles& y) {
  Doubles p;
  for (std::size_t i = 0; i < x.size(); ++i) {
    p.push_back(x[i]);
    p.push_back(y[i]);
  }
  return p;
}
void polyfitCall() {
  Doubles x = readD(), y = readD();
  const int degree = readInt();
  Doubles p = interleaved(x, y);
  Doubles c(static_cast<std::size_t>(degree) + 1, std::numeric_limits<double>::quiet_NaN());
  writeInt(JPolyfit(count(x), p.data(), degree, c.data()));
  writeD(c);
}
void polyCalcCall() {
  Doubles x = readD(), c = readD();
  Doubles out;
  for (double v : x) out.push_back(PolyCalc(v, c.data(), count(c) - 1));
  writeD(out);
}
void polyfitRunsCall() {
  Doubles x = readD(), y = readD();
  const int degree = readInt();
  Doubles p = interleaved(x, y);
  Doubles c(static_cast<std::size_t>(degree < 1 ? 2 : degree + 1), std::numeric_limits<double>::quiet_NaN());
  bool flag = true;
  writeInt(JPolyfitRemoverOutlier(count(x), p.data(), degree, c.data(), flag));
  c.resize(static_cast<std::size_t>(degree) + 1);
  writeD(c);
  writeB({static_cast<char>(flag)});
}
void splineCall() {
  Floats x = readF(), y = readF();
  const int n = static_cast<int>(x.size()) - 1;
  Doubles c(4 * static_cast<std::size_t>(n));
  CubicSplines(x.data(), y.data(), n, c.data());
  writeD(c);
}
void calcSplineCall() {
  Floats table = readF();  // knots, then lower, upper, divisor
  Doubles c = readD();
  Floats t = readF();
  const int n = static_cast<int>(table.size()) - 4;
  Floats values;
  std::vector<char> flags;
  for (float v : t) {
    bool flag = false;
    values.push_back(CalcSpline(true, table.data(), c.data(), n, v, &flag));
    flags.push_back(flag);
  }
  writeF(values);
  writeB(flags);
}

// --- geometry and grids ------------------------------------------------------------

void sphericalCall() {
  const int variant = readInt();
  Doubles xyz = readD();
  Floats refH = readF(), refV = readF();
  for (std::size_t r = 0; r * 3 < xyz.size(); ++r) {
    double* v = &xyz[3 * r];
    if (variant == 0)
      ConvertCartesianToSphericalCoordinates(v);
    else if (variant == 1)
      ConvertCartesianToSphericalCoordinates(v, refH[r], false);
    else
      ConvertCartesianToSphericalCoordinates(v, refH[r], refV[r]);
  }
  writeD(xyz);
}
void crossCall() {
  Doubles a = readD(), b = readD();
  Doubles out(a.size());
  for (std::size_t i = 0; i < a.size(); i += 3) CrossMultiply(&a[i], &b[i], &out[i]);
  writeD(out);
}
void rotationCall() {
  const int axis = readInt();
  Doubles angles = readD();
  Doubles out(9 * angles.size());
  for (std::size_t i = 0; i < angles.size(); ++i) {
    if (axis == 0) rotation_x(&out[9 * i], angles[i]);
    if (axis == 1) rotation_y(&out[9 * i], angles[i]);
    if (axis == 2) rotation_z(&out[9 * i], angles[i]);
  }
  writeD(out);
}
void rotateCall() {
  Doubles v = readD(), axis = readD(), angles = readD();
  Doubles out(v.size());
  for (std::size_t r = 0; r < angles.size(); ++r) mlaRotateAroundAxis(&axis[3 * r], angles[r], &v[3 * r], &out[3 * r]);
  writeD(out);
}
void vectorAtAnglesCall() {
  Doubles ref = readD(), b = readD(), c = readD(), angles = readD();
  Doubles out(3, 0.0);
  writeInt(solveVectorsRelAng(ref.data(), b.data(), c.data(), angles[0], angles[1], out.data()));
  writeD(out);
}
void trilinearCall() {
  Doubles x = readD(), y = readD(), z = readD();
  Doubles out;
  for (std::size_t i = 0; i < x.size(); ++i) out.push_back(getTrilinearInterpolation(x[i], y[i], z[i]));
  writeD(out);
}
void trilinearBlendCall() {
  Doubles values = readD(), tx = readD(), ty = readD(), tz = readD();
  int corners[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  Doubles out;
  for (std::size_t i = 0; i < tx.size(); ++i)
    out.push_back(getTrilinearInterpolationNew(values.data(), corners, tx[i], ty[i], tz[i]));
  writeD(out);
}
void neighboursCall() {
  Doubles values = readD(), grid = readD();
  Doubles lower, upper;
  for (double v : values) {
    double lo = std::numeric_limits<double>::quiet_NaN(), hi = lo;
    getNeighbours(v, count(grid), grid.data(), lo, hi);
    lower.push_back(lo);
    upper.push_back(hi);
  }
  writeD(lower);
  writeD(upper);
}
void encoderCall() {
  Doubles readings = readD();
  Floats table = readF();
  Floats out;
  for (double r : readings)
    out.push_back(encoderCalibration(r, static_cast<unsigned int>(table.size() / 2), table.data()));
  writeF(out);
}

// --- scattered data ------------------------------------------------------------------

// A full sdbi3p_ preparation with z1, then optionally a mode 2 call with z2,
// evaluated at (xo, yo); answers the status, the values, the mesh and the
// partial derivatives of the last call.
void sdbi3pCall() {
  Doubles x = readD(), y = readD(), z1 = readD(), z2 = readD(), xo = readD(), yo = readD();
  int n = count(x), outCount = count(xo), status = -1, borderCount = 0, triCount = 0;
  Doubles work(17 * x.size()), zo(xo.size());
  Ints iwork(39 * x.size());
  int mode = 1;
  sdbi3p_(&mode, &n, x.data(), y.data(), z1.data(), &outCount, xo.data(), yo.data(), zo.data(), &status,
          work.data(), iwork.data(), &borderCount, &triCount);
  if (status == 0 && !z2.empty()) {
    mode = 2;
    sdbi3p_(&mode, &n, x.data(), y.data(), z2.data(), &outCount, xo.data(), yo.data(), zo.data(), &status,
            work.data(), iwork.data(), &borderCount, &triCount);
  }
  writeInt(status);
  writeD(zo);
  writeI(iwork.data(), 3 * static_cast<std::size_t>(triCount));
  writeI(iwork.data() + 6 * x.size(), 2 * static_cast<std::size_t>(borderCount));
  writeD(work.data(), 5 * x.size());
}
void sdsf3pCall() {
  Doubles x = readD(), y = readD(), z = readD(), xg = readD(), yg = readD();
  int mode = 1, n = count(x), nx = count(xg), ny = count(yg), status = -1;
  Doubles work(17 * x.size()), grid(xg.size() * yg.size());
  Ints iwork(39 * x.size());
  sdsf3p_(&mode, &n, x.data(), y.data(), z.data(), &nx, xg.data(), &ny, yg.data(), grid.data(), &status,
          work.data(), iwork.data());
  writeInt(status);
  writeD(grid);
}

}  // namespace

int main() {
  const std::map<std::string, void (*)()> calls = {
      {"mean", meanCall},
      {"calStdev", calStdevCall},
      {"stdDev", stdDevCall},
      {"variance", varianceCall},
      {"calAvgSigma", calAvgSigmaCall},
      {"avg", avgCall},
      {"stdev", stdevCall},
      {"median", medianCall},
      {"removeOutlierFuncMedian", hampelCall},
      {"removeOutlierFuncTau", tauCall},
      {"gaussianFilter", [] { kernelCall(false); }},
      {"doGFilter", [] { kernelCall(true); }},
      {"convFilter", convCall},
      {"movingAverage", movingAverageCall},
      {"MovingFilter", movingFilterCall},
      {"KalmanFilter", kalmanCall},
      {"bandFilter", bandCall},
      {"rateFilterArray", rateArrayCall},
      {"rateFilterVector", rateVectorCall},
      {"JPolyfit", polyfitCall},
      {"PolyCalc", polyCalcCall},
      {"JPolyfitRemoverOutlier", polyfitRunsCall},
      {"CubicSplines", splineCall},
      {"CalcSpline", calcSplineCall},
      {"spherical", sphericalCall},
      {"CrossMultiply", crossCall},
      {"rotation", rotationCall},
      {"mlaRotateAroundAxis", rotateCall},
      {"solveVectorsRelAng", vectorAtAnglesCall},
      {"getTrilinearInterpolation", trilinearCall},
      {"getTrilinearInterpolationNew", trilinearBlendCall},
      {"getNeighbours", neighboursCall},
      {"encoderCalibration", encoderCall},
      {"sdbi3p_", sdbi3pCall},
      {"sdsf3p_", sdsf3pCall},
  };
  std::string name;
  while (std::cin >> name) {
    auto call = calls.find(name);
    try {
      if (call == calls.end()) throw std::runtime_error("unknown function " + name);
      call->second();
      std::printf("end\n");
    } catch (const std::exception& error) {
      std::printf("error %s\nend\n", error.what());
    }
    std::fflush(stdout);
  }
  return 0;
}
