// Speed of the scattered-data mesh stages on uniform random points in random
// order, n = 1e3 to 1e6: the Delaunay insertion (sdTriangulate), and the
// conversion into triangles, border chain and thin-triangle removal
// (sdTriangulateAndList); and the insertion of a shuffled integer grid.
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using namespace lum::scattered;

struct Data {
  int n;
  std::vector<double> x, y;
  std::vector<int> iwork;
};

Data makeData(int n) {
  Data d{n, std::vector<double>(n), std::vector<double>(n),
         std::vector<int>(static_cast<size_t>(kIworkColumns) * n)};
  std::mt19937_64 rng(20240601u + n);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int i = 0; i < n; ++i) {
    d.x[i] = u(rng);
    d.y[i] = u(rng);
  }
  return d;
}

int triangulate(Data& d) {
  int adjFree = 0, status = 0;
  sdTriangulate(&d.n, d.x.data(), d.y.data(), column(d.iwork.data(), kAdjNodeCol, d.n),
                column(d.iwork.data(), kAdjNextCol, d.n), column(d.iwork.data(), kAdjLastCol, d.n),
                &adjFree, &status);
  return status;
}

void BM_Triangulate(benchmark::State& state) {
  Data d = makeData(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const int status = triangulate(d);
    if (status != 0) state.SkipWithError("triangulation failed");
    benchmark::DoNotOptimize(d.iwork.data());
  }
  state.SetComplexityN(state.range(0));
}

// The conversion alone (triangle table, border chain, thin-triangle
// removal) on the lists of one triangulation, restored before each run.
void BM_TriangulateAndList(benchmark::State& state) {
  Data d = makeData(static_cast<int>(state.range(0)));
  if (triangulate(d) != 0) state.SkipWithError("triangulation failed");
  const std::vector<int> lists = d.iwork;
  int* iw = d.iwork.data();
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(lists.begin(), lists.end(), d.iwork.begin());
    state.ResumeTiming();
    int triCount = 0, borderCount = 0, status = 0;
    sdTriangulateAndList(&d.n, d.x.data(), d.y.data(), &triCount,
                         column(iw, kTriVertexCol, d.n), &borderCount,
                         column(iw, kBorderSegCol, d.n), &status, column(iw, kAdjNodeCol, d.n),
                         column(iw, kAdjNextCol, d.n), column(iw, kAdjLastCol, d.n),
                         column(iw, kTriTableCol, d.n), column(iw, kBorderTriCol, d.n));
    if (status != 0) state.SkipWithError("mesh conversion failed");
    benchmark::DoNotOptimize(triCount);
  }
  state.SetComplexityN(state.range(0));
}

// Shuffled integer grid of side*side points: many points fall on edges of the
// growing mesh or on rays through the previous node, and take the walk.
Data makeGrid(int side) {
  const int n = side * side;
  Data d{n, std::vector<double>(n), std::vector<double>(n),
         std::vector<int>(static_cast<size_t>(kIworkColumns) * n)};
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  std::mt19937_64 rng(77u + n);
  std::shuffle(order.begin(), order.end(), rng);
  // Points 1-3 must not lie on one line.
  for (int k = 2; k < n; ++k) {
    const int a = order[0], b = order[1], c = order[k];
    if ((b / side - a / side) * (c % side - a % side) != (c / side - a / side) * (b % side - a % side)) {
      std::swap(order[2], order[k]);
      break;
    }
  }
  for (int i = 0; i < n; ++i) {
    d.x[i] = order[i] / side;
    d.y[i] = order[i] % side;
  }
  return d;
}

void BM_TriangulateGrid(benchmark::State& state) {
  Data d = makeGrid(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (triangulate(d) != 0) state.SkipWithError("triangulation failed");
    benchmark::DoNotOptimize(d.iwork.data());
  }
  state.SetComplexityN(d.n);
}

BENCHMARK(BM_Triangulate)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateAndList)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateGrid)->Arg(100)->Arg(316)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
