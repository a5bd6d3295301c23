// Partial-derivative estimation (sdpd3p_ and its stages) and the least-squares
// cubic refinement.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "scattered/cubic_refinement.h"
#include "scattered/partial_derivatives.h"
#include "scattered/triangulation.h"

namespace {

using namespace lum::scattered;

// A cubic with every term, and its five derivatives.
double cubic(double x, double y) {
  return 1 + 0.5 * x - 0.7 * y + 0.3 * x * x - 0.2 * x * y + 0.4 * y * y + 0.25 * x * x * x -
         0.15 * x * x * y + 0.35 * x * y * y - 0.1 * y * y * y;
}
std::vector<double> cubicDerivatives(double x, double y) {
  return {0.5 + 0.6 * x - 0.2 * y + 0.75 * x * x - 0.3 * x * y + 0.35 * y * y,
          -0.7 - 0.2 * x + 0.8 * y - 0.15 * x * x + 0.7 * x * y - 0.3 * y * y, 0.6 + 1.5 * x - 0.3 * y,
          -0.2 - 0.3 * x + 0.7 * y, 0.8 + 0.7 * x - 0.6 * y};
}

struct Data {
  std::vector<double> x, y, z;
  int n() const { return static_cast<int>(x.size()); }
  double dist(int p, int q) const { return std::hypot(x[q - 1] - x[p - 1], y[q - 1] - y[p - 1]); }
  // Point numbers 1..n by distance from p (p first).
  std::vector<int> byDistance(int p) const {
    std::vector<int> order(n());
    std::iota(order.begin(), order.end(), 1);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return dist(p, a) < dist(p, b); });
    return order;
  }
};

// n points uniform in [-1, 1)^2 (splitmix64 with a fixed seed), z = f(x, y).
Data randomData(int n, std::uint64_t seed, double (*f)(double, double)) {
  auto next = [&seed] {
    std::uint64_t z = (seed += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return -1 + 2 * static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
  };
  Data d;
  for (int i = 0; i < n; ++i) {
    d.x.push_back(next());
    d.y.push_back(next());
    d.z.push_back(f(d.x.back(), d.y.back()));
  }
  return d;
}

// Everything sdpd3p_ writes, filled with -7 beforehand.
struct Estimate {
  std::vector<double> partials, cubicCoef, planeCoef, distSq;
  std::vector<int> distOrder, nearest, fitCount, fitDegree;
  explicit Estimate(Data& d)
      : partials(5 * d.n(), -7), cubicCoef(9 * d.n(), -7), planeCoef(2 * d.n(), -7), distSq(d.n(), -7),
        distOrder(d.n(), -7), nearest(9 * d.n(), -7), fitCount(d.n(), -7), fitDegree(d.n(), -7) {
    int count = d.n();
    EXPECT_EQ(0, sdpd3p_(&count, d.x.data(), d.y.data(), d.z.data(), partials.data(), cubicCoef.data(),
                         planeCoef.data(), distSq.data(), distOrder.data(), nearest.data(), fitCount.data(),
                         fitDegree.data()));
  }
};

// Adjacency lists in which every node neighbours every other: the walk of
// sdNextNearestNode then sees all points and collects them by distance.
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
  std::vector<double> a(N * N, 0.0), b(N, 0.0), sol(N), w1(N * N), w2(N * N);
  auto at = [&](int i, int j) -> double& { return a[(j - 1) * N + i - 1]; };  // column-major
  for (int i = 1; i <= N; ++i) {
    at(i, N + 1 - i) = 1.0;
    if (i > 1) at(i, N + 2 - i) = -1.0;
    b[i - 1] = i == 1 ? N : -1.0;
  }
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
  // Rejected (either sign): zero solution, condition number left alone.
  for (double pivot : {9.9999999e-9, -9.9999999e-9, 0.0}) {
    double cond = -7.0;
    EXPECT_EQ(std::make_pair(0.0, 0.0), solve1(pivot, cond)) << pivot;
    EXPECT_EQ(-7.0, cond);
  }
}

TEST(NearestPoints, MatchBruteForceDistances) {
  // Random points (distinct distances, so equal distance means equal point)
  // and a grid (many ties, in whatever order): the k-th neighbour's distance
  // is the k-th smallest distance to another point.
  Data grid;
  for (int i = 0; i < 42; ++i) {
    grid.x.push_back(i % 7);
    grid.y.push_back(i / 7);
    grid.z.push_back(0);
  }
  for (Data d : {randomData(10, 41, cubic), randomData(57, 42, cubic), grid}) {
    Estimate est(d);
    for (int p = 1; p <= d.n(); ++p) {
      const std::vector<int> order = d.byDistance(p);
      for (int k = 1; k <= 9; ++k) {
        ASSERT_EQ(d.dist(p, order[k]), d.dist(p, est.nearest[9 * (p - 1) + k - 1])) << d.n() << " " << p;
      }
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

// ---------------------------------------------------------------------------

TEST(Sdpd3p, ReproducesPlaneAndCubic) {
  Data plane = randomData(40, 7, [](double x, double y) { return 2.0 * x - 3.0 * y + 1.0; });
  Data cub = randomData(40, 8, cubic);
  Estimate p(plane), c(cub);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(3, c.fitDegree[i]);
    EXPECT_EQ(9, c.fitCount[i]);
    const std::vector<double> exactPlane = {2, -3, 0, 0, 0}, exactCubic = cubicDerivatives(cub.x[i], cub.y[i]);
    for (int k = 0; k < 5; ++k) {
      EXPECT_NEAR(exactPlane[k], p.partials[5 * i + k], 1e-9) << i << " " << k;
      EXPECT_NEAR(exactCubic[k], c.partials[5 * i + k], 1e-8) << i << " " << k;
    }
  }
}

TEST(Sdpd3p, EdgeCases) {
  // Fewer than ten points: nothing is written.
  Data nine = randomData(9, 3, cubic);
  Estimate few(nine);
  for (double v : few.partials) EXPECT_EQ(-7.0, v);
  for (int v : few.nearest) EXPECT_EQ(-7, v);

  // z = 0: every sum starts from +0.0, so no -0.0 comes out.
  Data zero = randomData(30, 5, [](double, double) { return 0.0; });
  for (double v : Estimate(zero).partials) EXPECT_TRUE(v == 0.0 && !std::signbit(v));

  // Far from the origin the raw-coordinate cubic systems exceed their limit.
  Data far = randomData(30, 9, cubic);
  for (double& x : far.x) x += 20.0;
  for (int deg : Estimate(far).fitDegree) EXPECT_LT(deg, 3);
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
  ASSERT_EQ(6, est.nearest[0]);
  const double dx = d.x[5] - d.x[0], dy = d.y[5] - d.y[0], dz = d.z[5] - d.z[0];
  EXPECT_EQ(dz * dx / (dx * dx + dy * dy), est.cubicCoef[0]);
  EXPECT_EQ(dz * dy / (dx * dx + dy * dy), est.cubicCoef[3]);
  for (int k : {1, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(0.0, est.cubicCoef[k]);
}

TEST(CandidateSets, FirstTwentyFiveDistinctSetsThenNeighbourSets) {
  // Every point 2..40 names point 1 as its only fit neighbour: of the
  // qualifying sets, the first 25 distinct ones in point order are kept
  // (point 2's set {1, 2} repeats point 1's own).
  const int n = 40;
  std::vector<int> nearest(9 * n, 1), fitCount(n, 1);
  nearest[0] = 2;
  int p0 = 1, count = n, m = 0, gen[25];
  std::vector<int> namerStart(n + 1), namers(9 * n), sortedSets(10 * n);
  auto select = [&] {
    sdListNamers(&count, nearest.data(), fitCount.data(), namerStart.data(), namers.data());
    sdSortCandidateSets(&count, nearest.data(), fitCount.data(), sortedSets.data());
    sdSelectCandidateSets(&p0, nearest.data(), fitCount.data(), sortedSets.data(), namerStart.data(), namers.data(),
                          &m, gen);
  };
  select();
  ASSERT_EQ(25, m);
  EXPECT_EQ(1, gen[0]);
  for (int i = 1; i < 25; ++i) EXPECT_EQ(i + 2, gen[i]);

  // Point 40 is named by nobody: its own set, then the sets of its nine
  // nearest, skipping repeats (31 and 32 name each other), until six.
  const int near40[9] = {31, 32, 33, 2, 34, 35, 36, 37, 38};
  std::copy(near40, near40 + 9, nearest.begin() + 9 * 39);
  nearest[9 * 30] = 32;
  nearest[9 * 31] = 31;
  p0 = 40;
  select();
  EXPECT_EQ((std::vector<int>{40, 31, 33, 2, 34, 35}), std::vector<int>(gen, gen + m));
}

TEST(WeightEstimates, VolatilityWeightingAndItsLimits) {
  // Generating points evaluated at p0 = (0, 0), where their estimates are
  // (c1, c4, 2 c2, c5, 2 c7). Point 3 is a plane: zero volatility.
  std::vector<double> x = {0, 1, 2}, y = {0, 0, 0}, out(15, -7.0), plane(6, 0.0);
  std::vector<double> coef = {1, 0.5, 0, 2, 0.1, 0, 0.3, 0, 0,  //
                              2, 0.7, 0, 1, 0.2, 0, 0.1, 0, 0,  //
                              4, 0,   0, 3, 0,   0, 0,   0, 0};
  int p0 = 1, m = 3, gen[3] = {1, 2, 3};
  auto weigh = [&] { sdWeightEstimates(&p0, x.data(), y.data(), coef.data(), plane.data(), &m, gen, out.data()); };
  weigh();  // the zero-volatility estimate outranks the others
  const double e1[5] = {1, 2, 1, 0.1, 0.6}, e2[5] = {2, 1, 1.4, 0.2, 0.2}, e3[5] = {4, 3, 0, 0, 0};
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(e3[k], out[k]) << k;

  // Two curved estimates (equal probability weights for m = 2): weighted by
  // 1/volatility, which uses the plane gradient of the generating point.
  plane[2] = 1.5;
  plane[3] = 0.5;
  m = 2;
  weigh();
  const double v1 = (1 + 2 * 0.01 + 0.36) * (1 + 4), v2 = (1.96 + 2 * 0.04 + 0.04) * (0.25 + 0.25);
  for (int k = 0; k < 5; ++k) EXPECT_NEAR((e1[k] / v1 + e2[k] / v2) / (1 / v1 + 1 / v2), out[k], 1e-14) << k;

  // An equal curvature so large that every volatility overflows: no weight
  // is left, and the plain mean is taken instead of 0/0.
  for (int i : {1, 10, 19}) coef[i] = 0x1p699;  // c2 of each point
  m = 3;
  weigh();
  const double mean[5] = {7.0 / 3, 2.0, 0x1p700, 0.1, 0.8 / 3};
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(mean[k], out[k]) << k;

  m = 1;  // a single estimate is copied as it is
  gen[0] = 2;
  weigh();
  EXPECT_EQ((std::vector<double>{2, 1, 0x1p700, 0.2, 0.2}), std::vector<double>(out.begin(), out.begin() + 5));
}

// ---------------------------------------------------------------------------

TEST(CubicNodalDerivatives, DelaunayWalkFindsTheNearestNeighboursAndReproducesACubic) {
  // The walk over the Delaunay lists must collect the same neighbours in the
  // same order as a walk that sees every point, leave the lists as they were,
  // and fit cubic data exactly (n = 10: all nine others; else 12 or more).
  for (int n : {10, 200}) {
    Data d = randomData(n, 500 + n, cubic);
    std::vector<int> node(6 * n), next(6 * n), last(n);
    int cells = 0, status = -1;
    sdTriangulate(&n, d.x.data(), d.y.data(), node.data(), next.data(), last.data(), &cells, &status);
    ASSERT_EQ(0, status);
    const std::vector<int> nodeBefore = node, nextBefore = next, lastBefore = last;
    CompleteLists all(n);
    for (int k = 1; k <= n; ++k) {
      Refined r;
      sdCubicNodalDerivatives(&k, &n, d.x.data(), d.y.data(), d.z.data(), node.data(), next.data(), last.data(),
                              &r.d[0], &r.d[1], &r.d[2], &r.d[3], &r.d[4], &r.status);
      const Refined slow = refine(d, k, all);
      ASSERT_EQ(slow.status, r.status) << k;
      EXPECT_EQ(std::vector<double>(slow.d, slow.d + 5), std::vector<double>(r.d, r.d + 5)) << k;
      EXPECT_TRUE(n == 10 ? r.status == 10 : r.status >= 13) << r.status;
      const std::vector<double> exact = cubicDerivatives(d.x[k - 1], d.y[k - 1]);
      for (int i = 0; i < 5; ++i) EXPECT_NEAR(exact[i], r.d[i], 1e-9) << n << " " << k << " " << i;
    }
    EXPECT_TRUE(node == nodeBefore && next == nextBefore && last == lastBefore);
  }
}

TEST(CubicNodalDerivatives, MatchesWeightedNormalEquations) {
  // Independent slow path: the normal equations of the weighted problem
  // min sum (W (P(dx, dy) - (z - z(k))))^2 over the twelve nearest
  // neighbours, W = 1/D - 1/D13, in long double without scaling.
  Data d = randomData(30, 314, [](double x, double y) { return std::sin(3 * x) * std::exp(y); });
  CompleteLists lists(30);
  for (int k : {1, 12, 30}) {
    Refined r = refine(d, k, lists);
    ASSERT_EQ(13, r.status);
    const std::vector<int> order = d.byDistance(k);
    long double ata[9][10] = {};
    for (int l = 1; l <= 12; ++l) {
      const int q = order[l];
      const long double dx = d.x[q - 1] - d.x[k - 1], dy = d.y[q - 1] - d.y[k - 1];
      const long double w = 1 / std::sqrt(dx * dx + dy * dy) - 1.0L / d.dist(k, order[13]);
      const long double row[10] = {dx * dx * dx, dx * dx * dy, dx * dy * dy, dy * dy * dy, dx * dx,
                                   dx * dy,      dy * dy,      dx,           dy,          d.z[q - 1] - d.z[k - 1]};
      for (int i = 0; i < 9; ++i) {
        for (int j = 0; j < 10; ++j) ata[i][j] += w * w * row[i] * row[j];
      }
    }
    for (int i = 0; i < 9; ++i) {  // Gauss-Jordan on the positive definite system
      for (int j = 0; j < 9; ++j) {
        const long double f = j == i ? 0 : ata[j][i] / ata[i][i];
        for (int c = i; c < 10; ++c) ata[j][c] -= f * ata[i][c];
      }
    }
    auto coef = [&](int i) { return static_cast<double>(ata[i][9] / ata[i][i]); };
    const double expected[5] = {coef(7), coef(8), 2 * coef(4), coef(5), 2 * coef(6)};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(expected[i], r.d[i], 1e-9 * (1 + std::fabs(expected[i]))) << k << i;
  }
}

TEST(CubicNodalDerivatives, NeighboursTiedWithTheTwelfthJoin) {
  // Eleven points inside the unit circle, four on it, one 4e-6 and one 6e-6
  // outside it, two far away. The 12th neighbour lies on the circle; squared
  // distances within 1e-5 (relative) of its own join: the three others on
  // the circle and the one at 1 + 4e-6. The one at 1 + 6e-6 is left out.
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

TEST(CubicNodalDerivatives, DegenerateNeighbourhoodsAndBadArguments) {
  // Three lines through the point: the cubic part is singular, so all 29
  // neighbours are taken and the third-order terms damped; quadratic data
  // still comes out exactly.
  Data lines;
  const double dir[3][2] = {{1, 0}, {0, 1}, {1, 1}};
  for (int i = 0; i < 30; ++i) {
    const double t = i == 0 ? 0 : (i / 3 + 1) * (i % 2 ? -0.13 : 0.11), x = t * dir[i % 3][0], y = t * dir[i % 3][1];
    lines.x.push_back(x);
    lines.y.push_back(y);
    lines.z.push_back(1 + 0.5 * x - 0.7 * y + 0.3 * x * x - 0.2 * x * y + 0.4 * y * y);
  }
  CompleteLists lists30(30);
  Refined r = refine(lines, 1, lists30);
  EXPECT_EQ(30, r.status);
  const double exact[5] = {0.5, -0.7, 0.6, -0.2, 0.8};
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(exact[i], r.d[i], 1e-9) << i;

  // All points on one line: even the quadratic part is singular (-2), and
  // bad arguments (-1); the outputs stay untouched.
  Data row = randomData(20, 77, cubic);
  for (double& y : row.y) y = 0.5;
  CompleteLists lists20(20);
  for (auto [k, n, status] : {std::array<int, 3>{4, 20, -2}, {0, 20, -1}, {21, 20, -1}, {1, 9, -1}}) {
    r = refine(row, k, lists20, n);
    EXPECT_EQ(status, r.status);
    for (double v : r.d) EXPECT_EQ(-7.0, v);
  }
}

}  // namespace
