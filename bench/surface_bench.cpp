// Scattered-data surface: full preparation plus evaluation at random points
// (sdbi3p_), and the surface on a 500 x 500 grid (sdsf3p_).
#include <benchmark/benchmark.h>

#include <VORN_LumUtility.h>

#include <cmath>
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

struct DataSet {
  std::vector<double> x, y, z, work;
  std::vector<int> iwork;
  explicit DataSet(int n) : work(17 * static_cast<size_t>(n)), iwork(39 * static_cast<size_t>(n)) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < n; ++i) {
      x.push_back(unit(rng));
      y.push_back(unit(rng));
      z.push_back(franke(x.back(), y.back()));
    }
  }
};

void BM_InterpolateRandomPoints(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  DataSet data(n);
  int outCount = 10000;
  std::vector<double> xOut, yOut, zOut(outCount);
  std::mt19937_64 rng(777);
  std::uniform_real_distribution<double> around(-0.05, 1.05);
  for (int i = 0; i < outCount; ++i) {
    xOut.push_back(around(rng));
    yOut.push_back(around(rng));
  }
  int mode = 1, status = 0, borderCount = 0, triCount = 0;
  for (auto _ : state) {
    sdbi3p_(&mode, &n, data.x.data(), data.y.data(), data.z.data(), &outCount, xOut.data(), yOut.data(),
            zOut.data(), &status, data.work.data(), data.iwork.data(), &borderCount, &triCount);
    benchmark::DoNotOptimize(zOut.data());
  }
  if (status != 0) state.SkipWithError("sdbi3p_ failed");
}
BENCHMARK(BM_InterpolateRandomPoints)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Grid500(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  DataSet data(n);
  int xCount = 500, yCount = 500;
  std::vector<double> xGrid, yGrid, zGrid(static_cast<size_t>(xCount) * yCount);
  for (int i = 0; i < xCount; ++i) xGrid.push_back(i / (xCount - 1.0));
  for (int j = 0; j < yCount; ++j) yGrid.push_back(j / (yCount - 1.0));
  int mode = 1, status = 0;
  for (auto _ : state) {
    sdsf3p_(&mode, &n, data.x.data(), data.y.data(), data.z.data(), &xCount, xGrid.data(), &yCount,
            yGrid.data(), zGrid.data(), &status, data.work.data(), data.iwork.data());
    benchmark::DoNotOptimize(zGrid.data());
  }
  if (status != 0) state.SkipWithError("sdsf3p_ failed");
}
BENCHMARK(BM_Grid500)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The grid alone, on a prepared surface (mode 3).
void BM_Grid500Reuse(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  DataSet data(n);
  int xCount = 500, yCount = 500;
  std::vector<double> xGrid, yGrid, zGrid(static_cast<size_t>(xCount) * yCount);
  for (int i = 0; i < xCount; ++i) xGrid.push_back(i / (xCount - 1.0));
  for (int j = 0; j < yCount; ++j) yGrid.push_back(j / (yCount - 1.0));
  int mode = 1, status = 0;
  sdsf3p_(&mode, &n, data.x.data(), data.y.data(), data.z.data(), &xCount, xGrid.data(), &yCount, yGrid.data(),
          zGrid.data(), &status, data.work.data(), data.iwork.data());
  mode = 3;
  for (auto _ : state) {
    sdsf3p_(&mode, &n, data.x.data(), data.y.data(), data.z.data(), &xCount, xGrid.data(), &yCount,
            yGrid.data(), zGrid.data(), &status, data.work.data(), data.iwork.data());
    benchmark::DoNotOptimize(zGrid.data());
  }
  if (status != 0) state.SkipWithError("sdsf3p_ failed");
}
BENCHMARK(BM_Grid500Reuse)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
