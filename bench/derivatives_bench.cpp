// Speed of the derivative stage of the scattered-data surface on n uniform
// random points in the unit square with Franke's test function as values:
//   BM_EstimateAndRefine    sdEstimateAndRefine: what a full preparation runs
//                           after the triangulation (sdpd3p_ and the cubic
//                           refinement of every point whose local fit stayed
//                           below degree three, in one pass);
//   BM_Sdpd3pAndRefinement  sdpd3p_ followed by sdRefineDerivatives (the same
//                           results, each weighted mean formed);
//   BM_Sdpd3p               sdpd3p_ alone;
//   BM_NearestPoints        its neighbour search alone;
//   BM_FitLocalPolynomials  its local polynomial fits alone;
//   BM_Refinement           sdRefineDerivatives alone;
//   BM_RefinePointByPoint   the same points through sdCubicNodalDerivatives
//                           one by one in point order.
// n = 1e3, 1e4 and 1e5 run by default; n = 1e6 is added when the environment
// variable LUM_BENCH_LARGE is set.
#include <VORN_LumUtility.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "scattered/cubic_refinement.h"
#include "scattered/partial_derivatives.h"
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
    estimate();
  }

  void estimate() {
    sdpd3p_(&n, x.data(), y.data(), z.data(), partials.data(), cubicCoef.data(), planeCoef.data(), distSq.data(),
            distOrder.data(), nearest.data(), fitCount.data(), fitDegree.data());
  }

  // Refines the points whose fit stayed below degree three; returns how many.
  int refineWeakPoints() {
    sdRefineDerivatives(&n, x.data(), y.data(), z.data(), adjNode.data(), adjNext.data(), adjLast.data(),
                        fitDegree.data(), partials.data(), nullptr);
    int refined = 0;
    for (int d : fitDegree) refined += d < 3;
    return refined;
  }

  // The same one by one, in point order.
  void refinePointByPoint() {
    for (int k = 1; k <= n; ++k) {
      if (fitDegree[k - 1] >= 3) continue;
      double d[5];
      int status = -1;
      sdCubicNodalDerivatives(&k, &n, x.data(), y.data(), z.data(), adjNode.data(), adjNext.data(),
                              adjLast.data(), &d[0], &d[1], &d[2], &d[3], &d[4], &status);
      if (status >= 0) {
        for (int i = 0; i < 5; ++i) partials[5 * (k - 1) + i] = d[i];
      }
    }
  }
};

// One problem per size, built on first use (the triangulation is set-up).
Problem& problem(int n) {
  static std::map<int, std::unique_ptr<Problem>> problems;
  std::unique_ptr<Problem>& p = problems[n];
  if (!p) p = std::make_unique<Problem>(n);
  return *p;
}

void BM_EstimateAndRefine(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    sdEstimateAndRefine(&p.n, p.x.data(), p.y.data(), p.z.data(), p.partials.data(), p.cubicCoef.data(),
                        p.planeCoef.data(), p.distSq.data(), p.distOrder.data(), p.nearest.data(),
                        p.fitCount.data(), p.fitDegree.data(), p.adjNode.data(), p.adjNext.data(),
                        p.adjLast.data());
    benchmark::DoNotOptimize(p.partials.data());
  }
}

void BM_Sdpd3pAndRefinement(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  int refined = 0;
  for (auto _ : state) {
    p.estimate();
    refined = p.refineWeakPoints();
    benchmark::DoNotOptimize(p.partials.data());
  }
  state.counters["refined"] = refined;
}

void BM_Sdpd3p(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    p.estimate();
    benchmark::DoNotOptimize(p.partials.data());
  }
}

void BM_NearestPoints(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    sdNearestPoints(&p.n, p.x.data(), p.y.data(), p.nearest.data(), p.distSq.data(), p.distOrder.data());
    benchmark::DoNotOptimize(p.nearest.data());
  }
}

void BM_FitLocalPolynomials(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    sdFitLocalPolynomials(&p.n, p.x.data(), p.y.data(), p.z.data(), p.nearest.data(), p.cubicCoef.data(),
                          p.fitCount.data(), p.fitDegree.data());
    benchmark::DoNotOptimize(p.cubicCoef.data());
  }
}

void BM_Refinement(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  int refined = 0;
  for (auto _ : state) {
    refined = p.refineWeakPoints();
    benchmark::DoNotOptimize(p.partials.data());
  }
  state.counters["refined"] = refined;
}

void BM_RefinePointByPoint(benchmark::State& state) {
  Problem& p = problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    p.refinePointByPoint();
    benchmark::DoNotOptimize(p.partials.data());
  }
}

const bool registered = [] {
  std::vector<int> sizes{1000, 10000, 100000};
  if (std::getenv("LUM_BENCH_LARGE") != nullptr) sizes.push_back(1000000);
  const std::pair<const char*, void (*)(benchmark::State&)> benchmarks[] = {
      {"BM_EstimateAndRefine", BM_EstimateAndRefine},
      {"BM_Sdpd3pAndRefinement", BM_Sdpd3pAndRefinement},
      {"BM_Sdpd3p", BM_Sdpd3p},
      {"BM_NearestPoints", BM_NearestPoints},
      {"BM_FitLocalPolynomials", BM_FitLocalPolynomials},
      {"BM_Refinement", BM_Refinement},
      {"BM_RefinePointByPoint", BM_RefinePointByPoint}};
  for (const auto& [name, function] : benchmarks) {
    for (int n : sizes) benchmark::RegisterBenchmark(name, function)->Arg(n)->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
