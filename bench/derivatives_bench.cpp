// Speed of the derivative stage of the scattered-data surface: sdpd3p_ alone,
// sdpd3p_ followed by the cubic refinement of every point whose local fit
// stayed below degree three (what a full preparation runs), and the
// refinement of every point (its cost per point).
#include <VORN_LumUtility.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "scattered/cubic_refinement.h"
#include "scattered/triangulation.h"

namespace {

using namespace lum::scattered;

// Franke's test function on the unit square.
double franke(double x, double y) {
  const double a = 9 * x, b = 9 * y;
  return 0.75 * std::exp(-((a - 2) * (a - 2) + (b - 2) * (b - 2)) / 4) +
         0.75 * std::exp(-(a + 1) * (a + 1) / 49 - (b + 1) / 10) +
         0.5 * std::exp(-((a - 7) * (a - 7) + (b - 3) * (b - 3)) / 4) -
         0.2 * std::exp(-(a - 4) * (a - 4) - (b - 7) * (b - 7));
}

// Uniform random data points, their Delaunay adjacency lists and the arrays
// that sdpd3p_ fills.
struct Problem {
  int n;
  std::vector<double> x, y, z, partials, cubicCoef, planeCoef, distSq;
  std::vector<int> distOrder, nearest, fitCount, fitDegree, adjNode, adjNext, adjLast;

  explicit Problem(int count)
      : n(count), partials(5 * n), cubicCoef(9 * n), planeCoef(2 * n), distSq(n), distOrder(n), nearest(9 * n),
        fitCount(n), fitDegree(n), adjNode(6 * n), adjNext(6 * n), adjLast(n) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int i = 0; i < n; ++i) {
      x.push_back(uniform(random));
      y.push_back(uniform(random));
      z.push_back(franke(x.back(), y.back()));
    }
    int adjFree = 0, status = -1;
    sdTriangulate(&n, x.data(), y.data(), adjNode.data(), adjNext.data(), adjLast.data(), &adjFree, &status);
    if (status != 0) throw std::runtime_error("triangulation failed");
  }

  void estimate() {
    sdpd3p_(&n, x.data(), y.data(), z.data(), partials.data(), cubicCoef.data(), planeCoef.data(), distSq.data(),
            distOrder.data(), nearest.data(), fitCount.data(), fitDegree.data());
  }

  // Refines point k; on success its partials are replaced.
  void refine(int k) {
    double d[5];
    int status = -1;
    sdCubicNodalDerivatives(&k, &n, x.data(), y.data(), z.data(), adjNode.data(), adjNext.data(), adjLast.data(),
                            &d[0], &d[1], &d[2], &d[3], &d[4], &status);
    if (status >= 0) {
      for (int i = 0; i < 5; ++i) partials[5 * (k - 1) + i] = d[i];
    }
  }
};

void BM_Sdpd3p(benchmark::State& state) {
  Problem problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    problem.estimate();
    benchmark::DoNotOptimize(problem.partials.data());
  }
  state.SetComplexityN(state.range(0));
}

void BM_Sdpd3pAndRefinement(benchmark::State& state) {
  Problem problem(static_cast<int>(state.range(0)));
  int refined = 0;
  for (auto _ : state) {
    problem.estimate();
    refined = 0;
    for (int k = 1; k <= problem.n; ++k) {
      if (problem.fitDegree[k - 1] < 3) {
        problem.refine(k);
        ++refined;
      }
    }
    benchmark::DoNotOptimize(problem.partials.data());
  }
  state.counters["refined"] = refined;
  state.SetComplexityN(state.range(0));
}

void BM_RefineEveryPoint(benchmark::State& state) {
  Problem problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (int k = 1; k <= problem.n; ++k) problem.refine(k);
    benchmark::DoNotOptimize(problem.partials.data());
  }
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_Sdpd3p)->Arg(1000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_Sdpd3pAndRefinement)->Arg(1000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_RefineEveryPoint)->Arg(1000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
