// Partial-derivative estimation (sdpd3p_ and its stages) and the least-squares
// cubic refinement.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "scattered/cubic_refinement.h"
#include "scattered/partial_derivatives.h"

namespace {

using namespace lum::scattered;

// Deterministic uniform numbers in [lo, hi) (splitmix64).
struct Uniform {
  std::uint64_t state;
  double operator()(double lo, double hi) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return lo + (hi - lo) * static_cast<double>(z >> 11) * 0x1.0p-53;
  }
};

// A cubic with every term, and its five derivatives.
double cubic(double x, double y) {
  return 1 + 0.5 * x - 0.7 * y + 0.3 * x * x - 0.2 * x * y + 0.4 * y * y + 0.25 * x * x * x -
         0.15 * x * x * y + 0.35 * x * y * y - 0.1 * y * y * y;
}
std::vector<double> cubicDerivatives(double x, double y) {
  return {0.5 + 0.6 * x - 0.2 * y + 0.75 * x * x - 0.3 * x * y + 0.35 * y * y,
          -0.7 - 0.2 * x + 0.8 * y - 0.15 * x * x + 0.7 * x * y - 0.3 * y * y,
          0.6 + 1.5 * x - 0.3 * y, -0.2 - 0.3 * x + 0.7 * y, 0.8 + 0.7 * x - 0.6 * y};
}

struct Data {
  std::vector<double> x, y, z;
  int n() const { return static_cast<int>(x.size()); }
};

Data randomData(int n, std::uint64_t seed, double (*f)(double, double)) {
  Data d;
  Uniform u{seed};
  for (int i = 0; i < n; ++i) {
    d.x.push_back(u(-1, 1));
    d.y.push_back(u(-1, 1));
    d.z.push_back(f(d.x.back(), d.y.back()));
  }
  return d;
}

// Everything sdpd3p_ writes.
struct Estimate {
  std::vector<double> partials, cubicCoef, planeCoef, distSq;
  std::vector<int> distOrder, nearest, fitCount, fitDegree;
  explicit Estimate(Data& d) {
    const int n = d.n();
    partials.assign(5 * n, -7.0);
    cubicCoef.assign(9 * n, -7.0);
    planeCoef.assign(2 * n, -7.0);
    distSq.assign(n, -7.0);
    distOrder.assign(n, -7);
    nearest.assign(9 * n, -7);
    fitCount.assign(n, -7);
    fitDegree.assign(n, -7);
    int count = n;
    EXPECT_EQ(0, sdpd3p_(&count, d.x.data(), d.y.data(), d.z.data(), partials.data(), cubicCoef.data(),
                         planeCoef.data(), distSq.data(), distOrder.data(), nearest.data(), fitCount.data(),
                         fitDegree.data()));
  }
};

// Adjacency lists in which every node neighbours every other: the walk of
// sdNextNearestNode then sees all points, so its order is the plain order by
// distance (first of equal distances in point order).
struct CompleteLists {
  std::vector<int> node, next, last;
  explicit CompleteLists(int n) : last(n) {
    for (int k = 1; k <= n; ++k) {
      const int first = static_cast<int>(node.size()) + 1;
      for (int j = 1; j <= n; ++j) {
        if (j == k) continue;
        node.push_back(j);
        next.push_back(static_cast<int>(node.size()) + 1);
      }
      next.back() = first;
      last[k - 1] = static_cast<int>(node.size());
    }
  }
};

struct Refined {
  double d[5] = {-7, -7, -7, -7, -7};
  int status = -99;
};

Refined refine(Data& d, int k, CompleteLists& lists, int n = -1) {
  Refined r;
  if (n < 0) n = d.n();
  sdCubicNodalDerivatives(&k, &n, d.x.data(), d.y.data(), d.z.data(), lists.node.data(), lists.next.data(),
                          lists.last.data(), &r.d[0], &r.d[1], &r.d[2], &r.d[3], &r.d[4], &r.status);
  return r;
}

// ---------------------------------------------------------------------------

TEST(SolveByInverse, ColumnPivotingGivesExactInverseAndConditionNumber) {
  // Upper bidiagonal (1 on the diagonal, -1 above) with its rows reversed:
  // every step needs a column exchange; the inverse is all ones above the
  // diagonal, so |A| = 2, |A^-1| = 10 and x = 1..10 come out exactly.
  const int N = 10;
  std::vector<double> a(N * N, 0.0), b(N, 0.0);
  auto at = [&](int i, int j) -> double& { return a[(j - 1) * N + i - 1]; };  // column-major
  for (int i = 1; i <= N; ++i) {
    const int row = N + 1 - i;
    at(i, row) = 1.0;
    if (row < N) at(i, row + 1) = -1.0;
  }
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j <= N; ++j) b[i - 1] += at(i, j) * j;
  }
  std::vector<double> sol(N), w1(N * N), w2(N * N);
  std::vector<int> perm(N);
  double flag = -1, cond = -1;
  int order = N;
  sdSolveByInverse(&order, a.data(), b.data(), sol.data(), &flag, &cond, perm.data(), w1.data(), w2.data());
  EXPECT_EQ(1.0, flag);
  EXPECT_EQ(20.0, cond);
  for (int i = 0; i < N; ++i) EXPECT_EQ(i + 1.0, sol[i]);
}

TEST(SolveByInverse, PivotThresholdIsSinglePrecisionTenToMinusEight) {
  auto solve1 = [](double pivot, double& cond) {
    double a = pivot, b = 1.0, sol = -7.0, flag = -1.0, w1, w2;
    int order = 1, perm;
    sdSolveByInverse(&order, &a, &b, &sol, &flag, &cond, &perm, &w1, &w2);
    return std::make_pair(flag, sol);
  };
  // Accepted: the double 1e-8 and a value just below it that is still above
  // the widened float 1e-8 (9.99999993922529e-09).
  for (double pivot : {1e-8, 9.99999997e-9}) {
    double cond = -7.0;
    EXPECT_EQ(1.0, solve1(pivot, cond).first) << pivot;
    EXPECT_DOUBLE_EQ(1.0, cond);
  }
  // Rejected (either sign): the solution is zero and the condition number is
  // left alone.
  for (double pivot : {9.9999999e-9, -9.9999999e-9, 0.0}) {
    double cond = -7.0;
    EXPECT_EQ(std::make_pair(0.0, 0.0), solve1(pivot, cond)) << pivot;
    EXPECT_EQ(-7.0, cond);
  }
}

TEST(Givens, RotationZeroesSecondComponent) {
  const double cases[][2] = {{3, 4}, {-3, 4}, {4, -3}, {-4, 3}, {1e-300, 2e-300}, {5, 0}};
  for (const auto& ab : cases) {
    double a = ab[0], b = ab[1], c, s;
    sdGivens(&a, &b, &c, &s);
    const double bigger = std::fabs(ab[0]) > std::fabs(ab[1]) ? ab[0] : ab[1];
    EXPECT_EQ(std::signbit(bigger), std::signbit(a)) << ab[0] << " " << ab[1];
    EXPECT_NEAR(std::hypot(ab[0], ab[1]), std::fabs(a), 1e-15 * std::fabs(a));
    EXPECT_NEAR(1.0, c * c + s * s, 1e-15);
    EXPECT_NEAR(0.0, (c * ab[1] - s * ab[0]) / std::fabs(a), 1e-15);
  }
  double a = 0, b = 0, c = -7, s = -7;
  sdGivens(&a, &b, &c, &s);
  EXPECT_EQ(1.0, c);
  EXPECT_EQ(0.0, s);
  EXPECT_EQ(0.0, a);
}

// ---------------------------------------------------------------------------

TEST(NearestPoints, MatchesBruteForceSortOnDistinctDistances) {
  for (int n : {10, 11, 57}) {
    Data d = randomData(n, 40 + n, cubic);
    Estimate est(d);
    for (int p = 1; p <= n; ++p) {
      std::vector<int> others;
      for (int q = 1; q <= n; ++q) {
        if (q != p) others.push_back(q);
      }
      auto dist = [&](int q) { return std::hypot(d.x[q - 1] - d.x[p - 1], d.y[q - 1] - d.y[p - 1]); };
      std::sort(others.begin(), others.end(), [&](int a, int b) { return dist(a) < dist(b); });
      for (int k = 0; k < 9; ++k) ASSERT_EQ(others[k], est.nearest[9 * (p - 1) + k]) << n << " " << p;
    }
  }
}

TEST(NearestPoints, EqualDistancesFollowTheWorkingOrder) {
  // From point 1, points 2 and 4 lie at distance 1 and point 5 at 0.5. The
  // selection first moves point 5 to position 2, which sends point 2 to
  // position 5, behind point 4: 4 comes before 2.
  Data d;
  d.x = {0, 1, 5, 0, 0.5, 6, 7, 8, 9, 10, 11};
  d.y = {0, 0, 5, 1, 0, 6, 7, 8, 9, 10, 11};
  d.z.assign(d.x.size(), 0.0);
  Estimate est(d);
  EXPECT_EQ((std::vector<int>{5, 4, 2, 3, 6, 7, 8, 9, 10}),
            std::vector<int>(est.nearest.begin(), est.nearest.begin() + 9));
}

TEST(NearestPoints, GridNeighboursAreTheNineNearestDistances) {
  // On a grid most distances tie; whatever the order of the ties, the k-th
  // neighbour's distance is the k-th smallest.
  Data d;
  for (int i = 0; i < 7; ++i) {
    for (int j = 0; j < 6; ++j) {
      d.x.push_back(i);
      d.y.push_back(j);
      d.z.push_back(0);
    }
  }
  Estimate est(d);
  for (int p = 1; p <= d.n(); ++p) {
    std::vector<double> all;
    for (int q = 1; q <= d.n(); ++q) {
      if (q != p) all.push_back(std::hypot(d.x[q - 1] - d.x[p - 1], d.y[q - 1] - d.y[p - 1]));
    }
    std::sort(all.begin(), all.end());
    for (int k = 0; k < 9; ++k) {
      const int q = est.nearest[9 * (p - 1) + k];
      ASSERT_EQ(all[k], std::hypot(d.x[q - 1] - d.x[p - 1], d.y[q - 1] - d.y[p - 1]));
    }
  }
}

// ---------------------------------------------------------------------------

TEST(Sdpd3p, ReproducesPlaneAndCubic) {
  Data plane = randomData(40, 7, [](double x, double y) { return 2.0 * x - 3.0 * y + 1.0; });
  Estimate p(plane);
  Data cub = randomData(40, 8, cubic);
  Estimate c(cub);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(3, c.fitDegree[i]);
    EXPECT_EQ(9, c.fitCount[i]);
    const std::vector<double> exactPlane = {2, -3, 0, 0, 0};
    const std::vector<double> exactCubic = cubicDerivatives(cub.x[i], cub.y[i]);
    for (int k = 0; k < 5; ++k) {
      EXPECT_NEAR(exactPlane[k], p.partials[5 * i + k], 1e-9) << i << " " << k;
      EXPECT_NEAR(exactCubic[k], c.partials[5 * i + k], 1e-8) << i << " " << k;
    }
    EXPECT_NEAR(2.0, p.planeCoef[2 * i], 1e-12);
    EXPECT_NEAR(-3.0, p.planeCoef[2 * i + 1], 1e-12);
  }
}

TEST(Sdpd3p, FewerThanTenPointsWritesNothing) {
  Data d = randomData(9, 3, cubic);
  Estimate est(d);
  for (double v : est.partials) EXPECT_EQ(-7.0, v);
  for (int v : est.nearest) EXPECT_EQ(-7, v);
  for (int v : est.fitDegree) EXPECT_EQ(-7, v);
}

TEST(Sdpd3p, ZeroDataGivesPositiveZeroPartials) {
  Data d = randomData(30, 5, [](double, double) { return 0.0; });
  Estimate est(d);
  for (double v : est.partials) {
    EXPECT_EQ(0.0, v);
    EXPECT_FALSE(std::signbit(v));
  }
}

TEST(Sdpd3p, TenPointsShareOneSetAndCopyItsEstimate) {
  // With ten points every fit uses all ten, so all candidate sets are equal:
  // each point takes, unweighted, the estimate of point 1's cubic (the first
  // set found), even though its own cubic differs in the last bits.
  Data d = randomData(10, 11, [](double x, double y) { return std::sin(3 * x) * std::cos(2 * y); });
  Estimate est(d);
  const double* c = est.cubicCoef.data();  // point 1
  for (int p = 0; p < 10; ++p) {
    ASSERT_EQ(3, est.fitDegree[p]);
    const double X = d.x[p], Y = d.y[p];
    const double e[5] = {
        c[0] + 2.0 * c[1] * X + 3.0 * c[2] * (X * X) + c[4] * Y + 2.0 * c[5] * X * Y + c[7] * (Y * Y),
        c[3] + c[4] * X + c[5] * (X * X) + 2.0 * c[6] * Y + 2.0 * c[7] * X * Y + 3.0 * c[8] * (Y * Y),
        2.0 * c[1] + 6.0 * c[2] * X + 2.0 * c[5] * Y, c[4] + 2.0 * c[5] * X + 2.0 * c[7] * Y,
        2.0 * c[6] + 2.0 * c[7] * X + 6.0 * c[8] * Y};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(e[k], est.partials[5 * p + k]) << p << " " << k;
  }
}

TEST(Sdpd3p, CollinearNeighboursFallBackToTwoPointSlope) {
  // Point 1 sits above a row of nine points: its cubic, quadratic and linear
  // systems are all singular.
  Data d;
  d.x = {0.1, -4.3, -3.1, -2.2, -1.05, 0.0, 1.15, 2.05, 3.2, 4.1, 0.3, 9.0, -9.0};
  d.y = {1.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7.0, 8.0, 9.0};
  for (size_t i = 0; i < d.x.size(); ++i) d.z.push_back(cubic(d.x[i], d.y[i]));
  Estimate est(d);
  EXPECT_EQ(0, est.fitDegree[0]);
  EXPECT_EQ(1, est.fitCount[0]);
  const int q = est.nearest[0];
  EXPECT_EQ(6, q);
  const double dx = d.x[q - 1] - d.x[0], dy = d.y[q - 1] - d.y[0], dz = d.z[q - 1] - d.z[0];
  EXPECT_EQ(dz * dx / (dx * dx + dy * dy), est.cubicCoef[0]);
  EXPECT_EQ(dz * dy / (dx * dx + dy * dy), est.cubicCoef[3]);
  EXPECT_EQ(est.cubicCoef[0], est.planeCoef[0]);
  EXPECT_EQ(est.cubicCoef[3], est.planeCoef[1]);
  for (int k : {1, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(0.0, est.cubicCoef[k]);
}

TEST(Sdpd3p, LargeOffsetFailsTheConditionLimits) {
  // The same shape far from the origin makes the systems in raw coordinates
  // too ill-conditioned for the cubic.
  Data d = randomData(30, 9, cubic);
  for (double& x : d.x) x += 1000.0;
  Estimate est(d);
  for (int deg : est.fitDegree) EXPECT_LT(deg, 3);
}

// ---------------------------------------------------------------------------

TEST(CandidateSets, FirstTwentyFiveDistinctSetsInPointOrder) {
  // Every point 2..40 names point 1 as its only fit neighbour: of the
  // qualifying sets, the first 25 distinct ones in point order are kept.
  const int n = 40;
  std::vector<int> nearest(9 * n, 0), fitCount(n, 1);
  for (int q = 1; q <= n; ++q) nearest[9 * (q - 1)] = q == 1 ? 2 : 1;
  int p0 = 1, count = n, m = 0, gen[25];
  sdSelectCandidateSets(&p0, &count, nearest.data(), fitCount.data(), &m, gen);
  ASSERT_EQ(25, m);
  // Point 2's set {1, 2} equals point 1's own, so it is skipped.
  EXPECT_EQ(1, gen[0]);
  for (int i = 1; i < 25; ++i) EXPECT_EQ(i + 2, gen[i]);

  // Point 40 is named by nobody: its own set, then the sets of its nine
  // nearest (skipping repeats) until six sets are accepted.
  // Points 31 and 32 name each other, so their sets are equal.
  const int near40[9] = {31, 32, 33, 2, 34, 35, 36, 37, 38};
  std::copy(near40, near40 + 9, nearest.begin() + 9 * 39);
  nearest[9 * 30] = 32;  // {31, 32}
  nearest[9 * 31] = 31;  // {31, 32} again
  p0 = 40;
  sdSelectCandidateSets(&p0, &count, nearest.data(), fitCount.data(), &m, gen);
  ASSERT_EQ(6, m);
  EXPECT_EQ((std::vector<int>{40, 31, 33, 2, 34, 35}), std::vector<int>(gen, gen + 6));
}

TEST(WeightEstimates, ZeroVolatilityOutranksAndVanishedWeightsGiveTheMean) {
  // Three generating points evaluated at p0 = (0, 0): their estimates are
  // (c1, c4, 2 c2, c5, 2 c7) there. Point 3 is a plane (zero volatility).
  std::vector<double> x = {0, 1, 2}, y = {0, 0, 0};
  std::vector<double> coef = {1, 0.5, 0, 2, 0.1, 0, 0.3, 0, 0,  //
                              2, 0.7, 0, 1, 0.2, 0, 0.1, 0, 0,  //
                              4, 0, 0, 3, 0, 0, 0, 0, 0};
  std::vector<double> plane = {0, 0, 0, 0, 0, 0};
  std::vector<double> out(15, -7.0);
  int p0 = 1, m = 3, gen[3] = {1, 2, 3};
  sdWeightEstimates(&p0, x.data(), y.data(), coef.data(), plane.data(), &m, gen, out.data());
  const double planeEstimate[5] = {4, 3, 0, 0, 0};
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(planeEstimate[k], out[k]) << k;

  // Two curved estimates: weighted by the reciprocal volatility, which uses
  // the plane gradient of the generating point (point 2's is (1.5, 0.5)).
  plane[2] = 1.5;
  plane[3] = 0.5;
  m = 2;
  sdWeightEstimates(&p0, x.data(), y.data(), coef.data(), plane.data(), &m, gen, out.data());
  const double e1[5] = {1, 2, 1, 0.1, 0.6}, e2[5] = {2, 1, 1.4, 0.2, 0.2};
  const double v1 = (1 + 2 * 0.01 + 0.36) * (1 + 4), v2 = (1.96 + 2 * 0.04 + 0.04) * (0.25 + 0.25);
  for (int k = 0; k < 5; ++k) EXPECT_NEAR((e1[k] / v1 + e2[k] / v2) / (1 / v1 + 1 / v2), out[k], 1e-14) << k;

  // An equal curvature so large that every volatility overflows: no weight
  // is left, and the plain mean is taken.
  for (int i : {1, 10, 19}) coef[i] = 0x1p699;  // c2 of each point
  m = 3;
  sdWeightEstimates(&p0, x.data(), y.data(), coef.data(), plane.data(), &m, gen, out.data());
  const double mean[5] = {7.0 / 3, 2.0, 0x1p700, 0.1, 0.8 / 3};
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(mean[k], out[k]) << k;

  // A single estimate is copied as it is.
  m = 1;
  gen[0] = 2;
  sdWeightEstimates(&p0, x.data(), y.data(), coef.data(), plane.data(), &m, gen, out.data());
  const double second[5] = {2, 1, 0x1p700, 0.2, 0.2};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(second[k], out[k]) << k;
}

// ---------------------------------------------------------------------------

TEST(NextNearestNode, CollectsInDistanceOrderAndRestoresTheLists) {
  Data d = randomData(25, 21, cubic);
  int n = d.n();
  CompleteLists lists(n);
  const std::vector<int> lastBefore = lists.last;
  std::vector<int> nodes(n, 0);
  std::vector<double> dist(n, 0.0);
  nodes[0] = 7;
  int status = 1;
  for (int L = 2; L <= n; ++L) {
    sdNextNearestNode(&L, &n, d.x.data(), d.y.data(), lists.node.data(), lists.next.data(), lists.last.data(),
                      nodes.data(), dist.data(), &status);
    ASSERT_EQ(0, status);
  }
  EXPECT_EQ(lastBefore, lists.last);
  std::vector<int> expected(n);
  std::iota(expected.begin(), expected.end(), 1);
  auto dist7 = [&](int q) { return std::hypot(d.x[q - 1] - d.x[6], d.y[q - 1] - d.y[6]); };
  std::sort(expected.begin(), expected.end(), [&](int a, int b) { return dist7(a) < dist7(b); });
  EXPECT_EQ(expected, nodes);
  for (int l = 1; l < n; ++l) EXPECT_NEAR(dist7(nodes[l]), dist[l], 1e-14);

  int L = n + 1;  // every node listed
  sdNextNearestNode(&L, &n, d.x.data(), d.y.data(), lists.node.data(), lists.next.data(), lists.last.data(),
                    nodes.data(), dist.data(), &status);
  EXPECT_EQ(-1, status);
  L = 4;
  nodes[2] = n + 1;  // entry 3 is no node
  sdNextNearestNode(&L, &n, d.x.data(), d.y.data(), lists.node.data(), lists.next.data(), lists.last.data(),
                    nodes.data(), dist.data(), &status);
  EXPECT_EQ(3, status);
  EXPECT_EQ(lastBefore, lists.last);
}

TEST(CubicNodalDerivatives, ReproducesCubicWithTwelveOrAllNeighbours) {
  for (int n : {10, 30}) {
    Data d = randomData(n, 100 + n, cubic);
    CompleteLists lists(n);
    for (int k = 1; k <= n; k += 3) {
      Refined r = refine(d, k, lists);
      // n = 10 uses all nine others; otherwise 12 neighbours (no ties here).
      EXPECT_EQ(n == 10 ? 10 : 13, r.status) << k;
      const std::vector<double> exact = cubicDerivatives(d.x[k - 1], d.y[k - 1]);
      for (int i = 0; i < 5; ++i) EXPECT_NEAR(exact[i], r.d[i], 1e-9) << n << " " << k << " " << i;
    }
  }
}

TEST(CubicNodalDerivatives, MatchesWeightedNormalEquations) {
  // Independent slow path: the normal equations of the weighted problem
  // min sum (W (P(dx, dy) - (z - z(k))))^2, W = 1/D - 1/D13, over the twelve
  // nearest neighbours, solved in long double without scaling.
  Data d = randomData(30, 314, [](double x, double y) { return std::sin(3 * x) * std::exp(y); });
  CompleteLists lists(30);
  for (int k : {1, 12, 30}) {
    Refined r = refine(d, k, lists);
    ASSERT_EQ(13, r.status);
    std::vector<int> order(30);
    std::iota(order.begin(), order.end(), 1);
    auto dist = [&](int q) { return std::hypot(d.x[q - 1] - d.x[k - 1], d.y[q - 1] - d.y[k - 1]); };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return dist(a) < dist(b); });
    long double ata[9][10] = {};
    for (int l = 1; l <= 12; ++l) {
      const int q = order[l];
      const long double dx = d.x[q - 1] - d.x[k - 1], dy = d.y[q - 1] - d.y[k - 1];
      const long double w = 1 / std::sqrt(dx * dx + dy * dy) - 1.0L / dist(order[13]);
      const long double row[10] = {dx * dx * dx, dx * dx * dy, dx * dy * dy, dy * dy * dy, dx * dx,
                                   dx * dy,      dy * dy,      dx,           dy,          d.z[q - 1] - d.z[k - 1]};
      for (int i = 0; i < 9; ++i) {
        for (int j = 0; j < 10; ++j) ata[i][j] += w * w * row[i] * row[j];
      }
    }
    for (int i = 0; i < 9; ++i) {  // Gauss-Jordan (symmetric positive definite)
      for (int j = 0; j < 9; ++j) {
        if (j == i) continue;
        const long double f = ata[j][i] / ata[i][i];
        for (int c = i; c < 10; ++c) ata[j][c] -= f * ata[i][c];
      }
    }
    auto coef = [&](int i) { return static_cast<double>(ata[i][9] / ata[i][i]); };
    const double expected[5] = {coef(7), coef(8), 2 * coef(4), coef(5), 2 * coef(6)};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(expected[i], r.d[i], 1e-9 * (1 + std::fabs(expected[i]))) << k << " " << i;
  }
}

TEST(CubicNodalDerivatives, NeighboursTiedWithTheTwelfthJoin) {
  // Eleven points inside the unit circle, four on it, one 4e-6 and one 6e-6
  // outside it, and two far away. The 12th neighbour lies on the circle;
  // squared distances within 1e-5 (relative) of its own join the fit: the
  // three others on the circle and the one at 1 + 4e-6. The one at 1 + 6e-6
  // is the first left out.
  const double a = 1 + 4e-6, b = 1 + 6e-6;
  Data d;
  d.x = {0, 0.3, -0.35, 0.1, -0.2, 0.45, -0.5, 0.25, -0.15, 0.55, -0.6, 0.05, 1, 0, -1, 0, 0.6 * a, -0.6 * b, 2, -2.5};
  d.y = {0, 0.1, 0.2, -0.4, -0.3, 0.35, -0.1, -0.6, 0.5, -0.05, 0.4, 0.7, 0, 1, 0, -1, 0.8 * a, -0.8 * b, 2, 1};
  for (size_t i = 0; i < d.x.size(); ++i) d.z.push_back(cubic(d.x[i], d.y[i]));
  CompleteLists lists(d.n());
  Refined r = refine(d, 1, lists);
  EXPECT_EQ(17, r.status);
  const std::vector<double> exact = cubicDerivatives(0, 0);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(exact[i], r.d[i], 1e-9) << i;
}

TEST(CubicNodalDerivatives, DegenerateNeighbourhoods) {
  // Three lines through the point: the cubic part is singular, so all 29
  // neighbours are taken and the third-order terms damped; quadratic data
  // still comes out exactly.
  Data lines;
  for (int i = 0; i < 30; ++i) {
    const double t = (i / 3 + 1) * (i % 2 ? -0.13 : 0.11);
    const double dir[3][2] = {{1, 0}, {0, 1}, {1, 1}};
    lines.x.push_back(i == 0 ? 0 : t * dir[i % 3][0]);
    lines.y.push_back(i == 0 ? 0 : t * dir[i % 3][1]);
    const double x = lines.x.back(), y = lines.y.back();
    lines.z.push_back(1 + 0.5 * x - 0.7 * y + 0.3 * x * x - 0.2 * x * y + 0.4 * y * y);
  }
  CompleteLists lists30(30);
  Refined r = refine(lines, 1, lists30);
  EXPECT_EQ(30, r.status);
  const double exact[5] = {0.5, -0.7, 0.6, -0.2, 0.8};
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(exact[i], r.d[i], 1e-9) << i;

  // All points on one line: even the quadratic part is singular.
  Data row = randomData(20, 77, cubic);
  for (double& y : row.y) y = 0.5;
  CompleteLists lists20(20);
  r = refine(row, 4, lists20);
  EXPECT_EQ(-2, r.status);
  for (double v : r.d) EXPECT_EQ(-7.0, v);

  // Bad arguments leave the outputs alone.
  for (auto [k, n] : {std::pair<int, int>{0, 20}, {21, 20}, {1, 9}}) {
    r = refine(row, k, lists20, n);
    EXPECT_EQ(-1, r.status);
    for (double v : r.d) EXPECT_EQ(-7.0, v);
  }
}

}  // namespace
