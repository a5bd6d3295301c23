// Scattered-data surface at scale, on n uniform random points in the unit
// square with Franke's test function as values:
//   BM_Prepare      full preparation (sdbi3p_ mode 1: triangulation,
//                   derivatives, refinement) with one output point;
//   BM_Grid1000     a 1000 x 1000 grid over the unit square through sdsf3p_
//                   mode 3 on a prepared surface;
//   BM_Calculate    10,000 random points in the unit square through
//                   Calculate_ on a prepared surface;
//   BM_InterpolateRandomPoints, BM_Grid500  whole calls (preparation and
//                   evaluation): sdbi3p_ at 10,000 points around the unit
//                   square, sdsf3p_ on a 500 x 500 grid, n = 1e3 and 1e4.
// n = 1e3, 1e4 and 1e5 run by default; n = 1e6 is added when the environment
// variable LUM_BENCH_LARGE is set (its preparation alone takes seconds).
#include <benchmark/benchmark.h>

#include <VORN_LumUtility.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

// Franke's test function on [0, 1]^2.
double franke(double x, double y) {
  return 0.75 * std::exp(-((9 * x - 2) * (9 * x - 2) + (9 * y - 2) * (9 * y - 2)) / 4) +
         0.75 * std::exp(-((9 * x + 1) * (9 * x + 1)) / 49 - (9 * y + 1) / 10) +
         0.5 * std::exp(-((9 * x - 7) * (9 * x - 7) + (9 * y - 3) * (9 * y - 3)) / 4) -
         0.2 * std::exp(-((9 * x - 4) * (9 * x - 4)) - (9 * y - 7) * (9 * y - 7));
}

void uniformPoints(int count, unsigned seed, std::vector<double>& x, std::vector<double>& y) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  x.resize(count);
  y.resize(count);
  for (int i = 0; i < count; ++i) {
    x[i] = unit(rng);
    y[i] = unit(rng);
  }
}

// Data points, values and the work arrays of one surface.
struct Surface {
  int n;
  std::vector<double> x, y, z, work;
  std::vector<int> iwork;
  int borderCount = 0, triCount = 0;
  explicit Surface(int count)
      : n(count), work(17 * static_cast<size_t>(count)), iwork(39 * static_cast<size_t>(count)) {
    uniformPoints(n, 12345, x, y);
    z.resize(n);
    for (int i = 0; i < n; ++i) z[i] = franke(x[i], y[i]);
  }
  // Full preparation through sdbi3p_ with one output point; returns the status.
  int prepare() {
    int mode = 1, one = 1, status = -1;
    double px = 0.5, py = 0.5, pz = 0.0;
    sdbi3p_(&mode, &n, x.data(), y.data(), z.data(), &one, &px, &py, &pz, &status, work.data(), iwork.data(),
            &borderCount, &triCount);
    return status;
  }
};

// Prepared surfaces, shared by the evaluation benchmarks of one size.
Surface& preparedSurface(int n) {
  static std::map<int, std::unique_ptr<Surface>> cache;
  auto& slot = cache[n];
  if (!slot) {
    slot = std::make_unique<Surface>(n);
    slot->prepare();
  }
  return *slot;
}

void BM_Prepare(benchmark::State& state) {
  Surface s(static_cast<int>(state.range(0)));
  int status = 0;
  for (auto _ : state) {
    status = s.prepare();
    benchmark::ClobberMemory();
  }
  if (status != 0) state.SkipWithError("sdbi3p_ failed");
}

void BM_Grid1000(benchmark::State& state) {
  Surface& s = preparedSurface(static_cast<int>(state.range(0)));
  int xCount = 1000, yCount = 1000;
  std::vector<double> xGrid(xCount), yGrid(yCount), zGrid(static_cast<size_t>(xCount) * yCount);
  for (int i = 0; i < xCount; ++i) xGrid[i] = i / (xCount - 1.0);
  for (int j = 0; j < yCount; ++j) yGrid[j] = j / (yCount - 1.0);
  // sdsf3p_ keeps its own mesh counts: prepare once through it (1 x 1 grid),
  // then time mode 3 on the full grid.
  int mode = 1, one = 1, status = -1;
  double corner = 0.0;
  sdsf3p_(&mode, &s.n, s.x.data(), s.y.data(), s.z.data(), &one, xGrid.data(), &one, yGrid.data(), &corner,
          &status, s.work.data(), s.iwork.data());
  mode = 3;
  for (auto _ : state) {
    sdsf3p_(&mode, &s.n, s.x.data(), s.y.data(), s.z.data(), &xCount, xGrid.data(), &yCount, yGrid.data(),
            zGrid.data(), &status, s.work.data(), s.iwork.data());
    benchmark::DoNotOptimize(zGrid.data());
  }
  if (status != 0) state.SkipWithError("sdsf3p_ failed");
}

void BM_Calculate(benchmark::State& state) {
  Surface& s = preparedSurface(static_cast<int>(state.range(0)));
  int outCount = 10000;
  std::vector<double> xOut, yOut, zOut(outCount);
  uniformPoints(outCount, 777, xOut, yOut);
  int mode = 1, status = -1;
  for (auto _ : state) {
    Calculate_(&mode, &s.n, s.x.data(), s.y.data(), s.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(),
               &status, s.work.data(), s.iwork.data(), s.borderCount, s.triCount);
    benchmark::DoNotOptimize(zOut.data());
  }
  if (status != 0) state.SkipWithError("Calculate_ failed");
}

void BM_InterpolateRandomPoints(benchmark::State& state) {
  Surface s(static_cast<int>(state.range(0)));
  int outCount = 10000;
  std::vector<double> xOut, yOut, zOut(outCount);
  uniformPoints(outCount, 777, xOut, yOut);
  for (int i = 0; i < outCount; ++i) xOut[i] = 1.1 * xOut[i] - 0.05, yOut[i] = 1.1 * yOut[i] - 0.05;
  int mode = 1, status = 0;
  for (auto _ : state) {
    sdbi3p_(&mode, &s.n, s.x.data(), s.y.data(), s.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(),
            &status, s.work.data(), s.iwork.data(), &s.borderCount, &s.triCount);
    benchmark::DoNotOptimize(zOut.data());
  }
  if (status != 0) state.SkipWithError("sdbi3p_ failed");
}
BENCHMARK(BM_InterpolateRandomPoints)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Grid500(benchmark::State& state) {
  Surface s(static_cast<int>(state.range(0)));
  int xCount = 500, yCount = 500;
  std::vector<double> xGrid(xCount), yGrid(yCount), zGrid(static_cast<size_t>(xCount) * yCount);
  for (int i = 0; i < xCount; ++i) xGrid[i] = i / (xCount - 1.0);
  for (int j = 0; j < yCount; ++j) yGrid[j] = j / (yCount - 1.0);
  int mode = 1, status = 0;
  for (auto _ : state) {
    sdsf3p_(&mode, &s.n, s.x.data(), s.y.data(), s.z.data(), &xCount, xGrid.data(), &yCount, yGrid.data(),
            zGrid.data(), &status, s.work.data(), s.iwork.data());
    benchmark::DoNotOptimize(zGrid.data());
  }
  if (status != 0) state.SkipWithError("sdsf3p_ failed");
}
BENCHMARK(BM_Grid500)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Registers the three benchmarks at scale for each size, 1e6 only on request.
const bool registered = [] {
  std::vector<int> sizes{1000, 10000, 100000};
  if (std::getenv("LUM_BENCH_LARGE") != nullptr) sizes.push_back(1000000);
  for (int n : sizes) {
    benchmark::RegisterBenchmark("BM_Prepare", BM_Prepare)->Arg(n)->Unit(benchmark::kMillisecond);
  }
  for (int n : sizes) {
    benchmark::RegisterBenchmark("BM_Grid1000", BM_Grid1000)->Arg(n)->Unit(benchmark::kMillisecond);
  }
  for (int n : sizes) {
    benchmark::RegisterBenchmark("BM_Calculate", BM_Calculate)->Arg(n)->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
