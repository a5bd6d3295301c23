// The fast derivative stage (neighbour search by cell grid or k-d tree, candidate sets from
// lists of namers, local solves that stop once their outcome is known, and the
// refinement's incremental neighbour collection) against the straightforward
// versions kept in reference/: every output and scratch word must agree.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "reference/derivative_columns_reference.h"
#include "reference/partials_reference.h"
#include "reference/refinement_reference.h"
#include "scattered/cubic_refinement.h"
#include "scattered/partial_derivatives.h"
#include "scattered/refinement_lanes.h"
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

namespace {

namespace ref = lum::scattered::reference;
using namespace lum::scattered;

// ---------------------------------------------------------------------------
// Point sets

struct Points {
  std::string name;
  std::vector<double> x, y, z;
  int n() const { return static_cast<int>(x.size()); }
};

// splitmix64 with a fixed seed: uniform doubles in [0, 1).
struct Random {
  std::uint64_t state;
  double next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
  }
  int below(int m) { return static_cast<int>(next() * m); }
};

double franke(double x, double y) {
  const double a = 9 * x, b = 9 * y;
  return 0.75 * std::exp(-((a - 2) * (a - 2) + (b - 2) * (b - 2)) / 4) +
         0.75 * std::exp(-(a + 1) * (a + 1) / 49 - (b + 1) / 10) +
         0.5 * std::exp(-((a - 7) * (a - 7) + (b - 3) * (b - 3)) / 4) -
         0.2 * std::exp(-(a - 4) * (a - 4) - (b - 7) * (b - 7));
}

Points finish(std::string name, std::vector<double> x, std::vector<double> y) {
  Points p{std::move(name), std::move(x), std::move(y), {}};
  for (int i = 0; i < p.n(); ++i) p.z.push_back(franke(p.x[i], p.y[i]));
  return p;
}

void shuffle(std::vector<double>& x, std::vector<double>& y, Random& r) {
  for (int i = static_cast<int>(x.size()) - 1; i > 0; --i) {
    const int j = r.below(i + 1);
    std::swap(x[i], x[j]);
    std::swap(y[i], y[j]);
  }
}

Points uniform(int n, std::uint64_t seed) {
  Random r{seed};
  std::vector<double> x, y;
  for (int i = 0; i < n; ++i) {
    x.push_back(r.next());
    y.push_back(r.next());
  }
  return finish("uniform " + std::to_string(n), x, y);
}

// A cols x rows grid of step `step` in shuffled order: every point has many
// neighbours at exactly equal distances.
Points grid(int cols, int rows, double step, std::uint64_t seed) {
  Random r{seed};
  std::vector<double> x, y;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < cols; ++i) {
      x.push_back(i * step);
      y.push_back(j * step);
    }
  }
  shuffle(x, y, r);
  return finish("grid " + std::to_string(cols) + "x" + std::to_string(rows), x, y);
}

// Integer points on the circles x^2 + y^2 = 25, 50, 65, 85 (12, 12, 16, 16
// points each, exactly cocircular) around the origin and around (40, 0),
// plus a sprinkling of points with equal distances to several centres.
Points cocircular(std::uint64_t seed) {
  Random r{seed};
  std::vector<double> x, y;
  for (double cx : {0.0, 40.0}) {
    x.push_back(cx);
    y.push_back(0);
    for (int radiusSq : {25, 50, 65, 85}) {
      for (int a = -9; a <= 9; ++a) {
        for (int b = -9; b <= 9; ++b) {
          if (a * a + b * b == radiusSq) {
            x.push_back(cx + a);
            y.push_back(b);
          }
        }
      }
    }
  }
  for (int i = 0; i < 40; ++i) {
    x.push_back(20 + r.below(9) - 4);
    y.push_back(r.below(9) - 4 + 0.5);
  }
  shuffle(x, y, r);
  return finish("cocircular", x, y);
}

// Tight clusters of very different sizes and a few far points.
Points clustered(int n, std::uint64_t seed) {
  Random r{seed};
  std::vector<double> x, y;
  const double centres[4][3] = {{0.2, 0.3, 1e-3}, {0.7, 0.6, 1e-6}, {0.5, 0.9, 0.05}, {0.9, 0.1, 1e-9}};
  for (int i = 0; i < n; ++i) {
    if (i % 50 == 0) {
      x.push_back(10 * r.next());
      y.push_back(10 * r.next());
      continue;
    }
    const double* c = centres[r.below(4)];
    x.push_back(c[0] + c[2] * (r.next() - 0.5));
    y.push_back(c[1] + c[2] * (r.next() - 0.5));
  }
  return finish("clustered " + std::to_string(n), x, y);
}

// A long thin strip, 1e6 times longer than wide.
Points thin(int n, std::uint64_t seed) {
  Random r{seed};
  std::vector<double> x, y;
  for (int i = 0; i < n; ++i) {
    x.push_back(1000 * r.next());
    y.push_back(1e-3 * r.next());
  }
  return finish("thin " + std::to_string(n), x, y);
}

// Nearly collinear: points on a rotated line, off it by 1e-12 at most, and a
// row of exactly collinear points with equal spacing.
Points nearlyCollinear(int n, std::uint64_t seed) {
  Random r{seed};
  std::vector<double> x, y;
  for (int i = 0; i < n; ++i) {
    const double t = 10 * r.next();
    x.push_back(0.6 * t - 0.8e-12 * r.next());
    y.push_back(0.8 * t + 0.6e-12 * r.next());
  }
  for (int i = 0; i < 30; ++i) {
    x.push_back(i * 0.25);
    y.push_back(-1.0);
  }
  return finish("nearly collinear " + std::to_string(n), x, y);
}

std::vector<Points> hardSets() {
  return {uniform(10, 1),    uniform(11, 2),   uniform(23, 3),        uniform(700, 4),   uniform(3000, 5),
          grid(4, 3, 1, 6),  grid(11, 1, 0.5, 7), grid(37, 41, 0.125, 8), cocircular(9), clustered(1500, 10),
          thin(1200, 11),    nearlyCollinear(400, 12)};
}

// ---------------------------------------------------------------------------
// Comparison helpers

template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Index of the first differing element, for the failure message.
template <typename T>
std::string firstDifference(const std::vector<T>& a, const std::vector<T>& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) {
      return "at " + std::to_string(i) + ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    }
  }
  return "sizes " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
}

#define EXPECT_SAME_BITS(a, b, what) EXPECT_TRUE(sameBits(a, b)) << what << " " << firstDifference(a, b)

// Everything sdpd3p_ writes, filled with the same junk beforehand.
struct Derivatives {
  std::vector<double> partials, cubicCoef, planeCoef, distSq;
  std::vector<int> distOrder, nearest, fitCount, fitDegree;
  explicit Derivatives(int n)
      : partials(5 * n, -7.5), cubicCoef(9 * n, -7.5), planeCoef(2 * n, -7.5), distSq(n, -7.5), distOrder(n, -7),
        nearest(9 * n, -7), fitCount(n, -7), fitDegree(n, -7) {}
};

void expectSameDerivatives(const Derivatives& fast, const Derivatives& slow, const std::string& name) {
  EXPECT_SAME_BITS(fast.nearest, slow.nearest, name + " nearest");
  EXPECT_SAME_BITS(fast.distSq, slow.distSq, name + " distSq");
  EXPECT_SAME_BITS(fast.distOrder, slow.distOrder, name + " distOrder");
  EXPECT_SAME_BITS(fast.fitCount, slow.fitCount, name + " fitCount");
  EXPECT_SAME_BITS(fast.fitDegree, slow.fitDegree, name + " fitDegree");
  EXPECT_SAME_BITS(fast.cubicCoef, slow.cubicCoef, name + " cubicCoef");
  EXPECT_SAME_BITS(fast.planeCoef, slow.planeCoef, name + " planeCoef");
  EXPECT_SAME_BITS(fast.partials, slow.partials, name + " partials");
}

void compareSdpd3p(Points& p) {
  int n = p.n();
  Derivatives fast(n), slow(n);
  sdpd3p_(&n, p.x.data(), p.y.data(), p.z.data(), fast.partials.data(), fast.cubicCoef.data(),
          fast.planeCoef.data(), fast.distSq.data(), fast.distOrder.data(), fast.nearest.data(),
          fast.fitCount.data(), fast.fitDegree.data());
  ref::sdpd3p(&n, p.x.data(), p.y.data(), p.z.data(), slow.partials.data(), slow.cubicCoef.data(),
              slow.planeCoef.data(), slow.distSq.data(), slow.distOrder.data(), slow.nearest.data(),
              slow.fitCount.data(), slow.fitDegree.data());
  expectSameDerivatives(fast, slow, p.name);
}

// ---------------------------------------------------------------------------

TEST(FastPartials, Sdpd3pMatchesStraightforwardOnHardPointSets) {
  for (Points& p : hardSets()) compareSdpd3p(p);
}

TEST(FastPartials, Sdpd3pMatchesStraightforwardOnAwkwardNumbers) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto scaled = [](Points p, double scale, double shift, const std::string& name) {
    for (double& v : p.x) v = v * scale + shift;
    for (double& v : p.y) v = v * scale - shift;
    p.name = name;
    return p;
  };
  std::vector<Points> sets;
  // Coordinates whose cubes and products overflow or underflow: the local
  // systems hold infinities, their eliminations multipliers that are not
  // finite, and squared distances that tie at infinity or at zero.
  sets.push_back(scaled(uniform(150, 21), 1e75, 1e75, "1e75"));
  sets.push_back(scaled(uniform(150, 22), 1e101, 0, "1e101"));
  sets.push_back(scaled(uniform(150, 23), 1e200, 0, "1e200"));
  sets.push_back(scaled(uniform(150, 24), 1e-160, 0, "1e-160"));
  sets.push_back(scaled(uniform(150, 25), 1e-3, 1e9, "offset 1e9"));
  Points mixed = uniform(120, 26);
  for (int i = 0; i < mixed.n(); i += 3) mixed.x[i] *= 1e150;
  mixed.name = "mixed magnitudes";
  sets.push_back(mixed);
  // Values that are not finite, a coordinate that is not (the neighbour
  // search falls back to the full selection), and repeated points.
  Points values = uniform(200, 27);
  values.z[5] = nan;
  values.z[17] = inf;
  values.z[18] = -inf;
  values.name = "non-finite values";
  sets.push_back(values);
  Points coordinate = uniform(60, 28);
  coordinate.x[30] = nan;
  coordinate.name = "NaN coordinate";
  sets.push_back(coordinate);
  Points repeated = uniform(80, 29);
  for (int i = 40; i < 50; ++i) {
    repeated.x[i] = repeated.x[i - 40];
    repeated.y[i] = repeated.y[i - 40];
  }
  repeated.name = "repeated points";
  sets.push_back(repeated);
  for (Points& p : sets) compareSdpd3p(p);
}

// Sets that probe the neighbour search's cell grid: points exactly on cell
// boundaries and at equal distances across them, mostly empty grids, grids
// of a single row, and crowded cells that send the search to its tree.
TEST(FastPartials, Sdpd3pMatchesStraightforwardAcrossCellBoundaries) {
  std::vector<Points> sets;
  // 29 x 29 integer lattice points on 20 x 20 cells: every seventh lattice
  // line falls on (or within rounding of) a cell boundary; a jittered copy
  // moves points by one ulp across them.
  Points lattice = grid(29, 29, 1.0, 31);
  lattice.name = "lattice on cell boundaries";
  Points jittered = lattice;
  for (int i = 0; i < jittered.n(); i += 2) jittered.x[i] = std::nextafter(jittered.x[i], i % 4 ? 100.0 : -1.0);
  jittered.name = "lattice off by one ulp";
  // Two far-apart patches: most cells empty, rings must reach across.
  Points patches = uniform(300, 32);
  for (int i = 0; i < patches.n(); i += 2) patches.x[i] += 1e3, patches.y[i] += 7e2;
  patches.name = "two far patches";
  // One outlier far away from a uniform set.
  Points outlier = uniform(250, 33);
  outlier.x[100] = 1e6;
  outlier.y[100] = -3e5;
  outlier.name = "far outlier";
  // All points on one horizontal line but three: one row of cells.
  Points line = uniform(200, 34);
  for (int i = 3; i < line.n(); ++i) line.y[i] = 0.5;
  line.name = "horizontal line";
  // Half the points crowded into one tiny spot.
  Points crowded = uniform(400, 35);
  for (int i = 0; i < crowded.n(); i += 2) crowded.x[i] = 0.3 + crowded.x[i] * 1e-9, crowded.y[i] *= 1e-9;
  crowded.name = "crowded spot";
  for (Points* p : {&lattice, &jittered, &patches, &outlier, &line, &crowded}) sets.push_back(*p);
  for (Points& p : sets) compareSdpd3p(p);
}

TEST(FastPartials, SolveByInverseMatchesStraightforward) {
  // Random systems of every order, rescaled rows and columns (condition
  // numbers up to far beyond the limits), near-singular ones, and entries
  // that overflow or are not numbers.
  Random r{31};
  const double specials[] = {0.0, 1e-9, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
  for (int trial = 0; trial < 600; ++trial) {
    int N = 1 + trial % 10;
    std::vector<double> a(N * N), b(N);
    for (double& v : a) v = (r.next() - 0.5) * std::pow(10.0, r.below(17) - 8);
    for (double& v : b) v = r.next() - 0.5;
    if (trial % 5 == 1) {  // a repeated column scaled by almost 1
      const int j = r.below(N), k = r.below(N);
      for (int i = 0; i < N; ++i) a[k * N + i] = a[j * N + i] * (1 + 1e-12);
    }
    if (trial % 7 == 2) a[r.below(N * N)] = specials[r.below(6)];
    std::vector<double> aSlow = a, bSlow = b, sol(N, -7.5), solSlow(N, -7.5), w(2 * N * N), wSlow(2 * N * N);
    std::vector<int> perm(N), permSlow(N);
    double flag = -7.5, flagSlow = -7.5, cond = -7.5, condSlow = -7.5;
    sdSolveByInverse(&N, a.data(), b.data(), sol.data(), &flag, &cond, perm.data(), w.data(), w.data() + N * N);
    ref::sdSolveByInverse(&N, aSlow.data(), bSlow.data(), solSlow.data(), &flagSlow, &condSlow, permSlow.data(),
                          wSlow.data(), wSlow.data() + N * N);
    const std::string name = "trial " + std::to_string(trial);
    EXPECT_SAME_BITS(sol, solSlow, name + " solution");
    EXPECT_EQ(0, std::memcmp(&flag, &flagSlow, sizeof flag)) << name;
    EXPECT_EQ(0, std::memcmp(&cond, &condSlow, sizeof cond)) << name << " " << cond << " " << condSlow;
  }
}

TEST(FastPartials, CandidateSetsMatchTheScanOnArbitraryNeighbourTables) {
  // Tables no search would give: repeated neighbours, points naming
  // themselves, and sets shared by many points, so that the 25-set limit,
  // repeats and the second phase all occur.
  Random r{41};
  for (int trial = 0; trial < 40; ++trial) {
    int n = 12 + r.below(50);
    std::vector<int> nearest(9 * n), fitCount(n);
    const int used[] = {0, 1, 3, 5, 9};
    for (int q = 0; q < n; ++q) {
      fitCount[q] = used[r.below(5)];
      for (int k = 0; k < 9; ++k) nearest[9 * q + k] = 1 + (trial % 3 == 0 ? r.below(4) : r.below(n));
    }
    std::vector<int> namerStart(n + 1), namers(9 * n), sortedSets(10 * n);
    sdListNamers(&n, nearest.data(), fitCount.data(), namerStart.data(), namers.data());
    sdSortCandidateSets(&n, nearest.data(), fitCount.data(), sortedSets.data());
    for (int p0 = 1; p0 <= n; ++p0) {
      int m = 0, mSlow = 0, gen[25], genSlow[25];
      sdSelectCandidateSets(&p0, nearest.data(), fitCount.data(), sortedSets.data(), namerStart.data(),
                            namers.data(), &m, gen);
      ref::sdSelectCandidateSets(&p0, &n, nearest.data(), fitCount.data(), &mSlow, genSlow);
      ASSERT_EQ(std::vector<int>(genSlow, genSlow + mSlow), std::vector<int>(gen, gen + m))
          << "trial " << trial << " point " << p0;
    }
  }
}

// ---------------------------------------------------------------------------
// Refinement

struct Lists {
  std::vector<int> node, next, last;
};

// Delaunay adjacency lists of the points; false when the set cannot be
// triangulated.
bool triangulate(Points& p, Lists& lists) {
  int n = p.n(), cells = 0, status = -1;
  lists.node.assign(6 * n, 0);
  lists.next.assign(6 * n, 0);
  lists.last.assign(n, 0);
  sdTriangulate(&n, p.x.data(), p.y.data(), lists.node.data(), lists.next.data(), lists.last.data(), &cells,
                &status);
  return status == 0;
}

// Adjacency lists holding, for node k, neighbours[k-1] in list order.
Lists listsOf(const std::vector<std::vector<int>>& neighbours) {
  Lists l;
  for (const std::vector<int>& list : neighbours) {
    const int first = static_cast<int>(l.node.size()) + 1;
    for (int v : list) {
      l.node.push_back(v);
      l.next.push_back(static_cast<int>(l.node.size()) + 1);
    }
    l.next.back() = first;
    l.last.push_back(static_cast<int>(l.node.size()));
  }
  return l;
}

// Refines every point with the library and with the straightforward walk,
// one by one and through sdRefineDerivatives, and compares all results.
void compareRefinement(Points& p, Lists& lists, const std::string& name) {
  int n = p.n();
  const Lists before = lists;
  std::vector<double> slow(5 * n, -7.5), fast(5 * n, -7.5), batch(5 * n, -7.5);
  std::vector<int> slowStatus(n), fastStatus(n);
  for (int k = 1; k <= n; ++k) {
    double* s = &slow[5 * (k - 1)];
    double* f = &fast[5 * (k - 1)];
    ref::sdCubicNodalDerivatives(&k, &n, p.x.data(), p.y.data(), p.z.data(), lists.node.data(), lists.next.data(),
                                 lists.last.data(), s, s + 1, s + 2, s + 3, s + 4, &slowStatus[k - 1]);
    sdCubicNodalDerivatives(&k, &n, p.x.data(), p.y.data(), p.z.data(), lists.node.data(), lists.next.data(),
                            lists.last.data(), f, f + 1, f + 2, f + 3, f + 4, &fastStatus[k - 1]);
  }
  EXPECT_SAME_BITS(fastStatus, slowStatus, name + " status");
  EXPECT_SAME_BITS(fast, slow, name + " one by one");
  // Every point below degree three, in sdRefineDerivatives: all of them.
  std::vector<int> fitDegree(n, 2);
  fitDegree[0] = 3;  // except point 1, which keeps its partials
  std::vector<int> refined(n, -1), slowRefined(n, 0);
  sdRefineDerivatives(&n, p.x.data(), p.y.data(), p.z.data(), lists.node.data(), lists.next.data(),
                      lists.last.data(), fitDegree.data(), batch.data(), refined.data());
  for (int k = 1; k < n; ++k) {
    if (slowStatus[k] < 0) std::fill(slow.begin() + 5 * k, slow.begin() + 5 * k + 5, -7.5);
    slowRefined[k] = slowStatus[k] >= 0;
  }
  std::fill(slow.begin(), slow.begin() + 5, -7.5);
  EXPECT_SAME_BITS(batch, slow, name + " batch");
  EXPECT_SAME_BITS(refined, slowRefined, name + " refined");
  EXPECT_TRUE(lists.node == before.node && lists.next == before.next && lists.last == before.last) << name;
}

TEST(FastRefinement, MatchesStraightforwardWalkOnDelaunayLists) {
  int compared = 0;
  for (Points& p : hardSets()) {
    Lists lists;
    if (!triangulate(p, lists)) continue;
    compareRefinement(p, lists, p.name);
    ++compared;
  }
  EXPECT_GE(compared, 10);
}

TEST(FastRefinement, ListsBeyondTheFastPathsRoom) {
  // A fan: node 1 at the centre of 700 points on a circle neighbours them
  // all, each point of the ring has three neighbours. Refining node 1, the
  // per-point collector's room runs out and the walk takes over.
  const int n = 701;
  std::vector<double> x{0.0}, y{0.0};
  std::vector<std::vector<int>> neighbours(1);
  for (int v = 2; v <= n; ++v) {
    const double angle = 2 * 3.141592653589793 * (v - 2) / (n - 1);
    x.push_back(std::cos(angle) + 1e-3 * (v % 7));
    y.push_back(std::sin(angle));
    neighbours[0].push_back(v);
    neighbours.push_back({v == n ? 2 : v + 1, 1, v == 2 ? n : v - 1});
  }
  Points fanPoints = finish("fan", x, y);
  Lists fanLists = listsOf(neighbours);
  compareRefinement(fanPoints, fanLists, fanPoints.name);

  // Every node neighbouring every other: n(n-1) cells, more than the 6n of a
  // triangulation, which sdRefineDerivatives does not pack: it goes point by
  // point.
  Points all = uniform(40, 51);
  std::vector<std::vector<int>> everyOther(all.n());
  for (int k = 1; k <= all.n(); ++k) {
    for (int j = 1; j <= all.n(); ++j) {
      if (j != k) everyOther[k - 1].push_back(j);
    }
  }
  Lists complete = listsOf(everyOther);
  compareRefinement(all, complete, "complete lists");
}

// For each point its k nearest other points, in ascending point number.
std::vector<std::vector<int>> nearestNeighbours(const Points& p, int k) {
  std::vector<std::vector<int>> neighbours(p.n());
  for (int i = 0; i < p.n(); ++i) {
    std::vector<std::pair<double, int>> byDistance;
    for (int j = 0; j < p.n(); ++j) {
      if (j != i) byDistance.push_back({std::hypot(p.x[j] - p.x[i], p.y[j] - p.y[i]), j + 1});
    }
    std::sort(byDistance.begin(), byDistance.end());
    for (int m = 0; m < k; ++m) neighbours[i].push_back(byDistance[m].second);
    std::sort(neighbours[i].begin(), neighbours[i].end());
  }
  return neighbours;
}

TEST(FastRefinement, EqualDistancesFromDifferentSquares) {
  // Offsets a and b from the origin whose squared distances differ in the
  // last bit while their square roots are equal: the walk takes the one met
  // first among equal distances, also when the other has the smaller square.
  // (Equal distances join or leave the fit together, so the order shows only
  // in the rounding of the factor.)
  const double ax = 0x1.fffab10dff4e7p-1, ay = 0x1.26e873e9ee5edp-7;
  const double bx = 0x1.eeec4cc8af31ap-1, by = 0x1.0642c1d85096ep-2;
  const double aSq = ax * ax + ay * ay, bSq = bx * bx + by * by;
  ASSERT_GT(aSq, bSq);
  ASSERT_EQ(std::sqrt(aSq), std::sqrt(bSq));
  for (bool largerFirst : {true, false}) {
    Random r{81};
    // Point 1 keeps its partials in compareRefinement: the origin is point 2.
    std::vector<double> x{4.0, 0.0, ax, bx}, y{4.0, 0.0, ay, by};
    for (int i = 0; i < 40; ++i) {  // four nearer (the tie is not first), the others farther
      const double angle = 6.283185307179586 * r.next();
      const double radius = i < 4 ? 0.3 + 0.6 * r.next() : 1.5 + 2 * r.next();
      x.push_back(radius * std::cos(angle));
      y.push_back(radius * std::sin(angle));
    }
    Points p = finish(largerFirst ? "larger square first" : "smaller square first", x, y);
    // Lists that the refinement can walk (not a triangulation); the origin
    // meets a (point 3) and b (point 4) first, in the chosen order.
    std::vector<std::vector<int>> neighbours = nearestNeighbours(p, 6);
    std::vector<int>& origin = neighbours[1];
    origin.erase(std::remove_if(origin.begin(), origin.end(), [](int v) { return v == 3 || v == 4; }), origin.end());
    origin.insert(origin.begin(), largerFirst ? 4 : 3);
    origin.insert(origin.begin(), largerFirst ? 3 : 4);
    Lists lists = listsOf(neighbours);
    compareRefinement(p, lists, p.name);
  }
}

TEST(FastRefinement, LongListWithManyEqualDistances) {
  // Point 2 at the origin lists every lattice point within radius 7 (many at
  // exactly equal distances), so its first walk brings them all at once.
  std::vector<double> x{30.0, 0.0}, y{30.0, 0.0};
  for (int a = -7; a <= 7; ++a) {
    for (int b = -7; b <= 7; ++b) {
      if ((a != 0 || b != 0) && a * a + b * b <= 49) {
        x.push_back(a);
        y.push_back(b);
      }
    }
  }
  Points p = finish("lattice disc", x, y);
  // Five each, so that the lists fit the 6n cells of a triangulation.
  std::vector<std::vector<int>> neighbours = nearestNeighbours(p, 5);
  neighbours[1].clear();
  for (int v = 3; v <= p.n(); ++v) neighbours[1].push_back(v);
  Lists lists = listsOf(neighbours);
  compareRefinement(p, lists, p.name);
}

TEST(FastRefinement, ExtremeCoordinatesAndBrokenNeighbourhoods) {
  Points base = uniform(300, 91);
  Lists delaunay;
  ASSERT_TRUE(triangulate(base, delaunay));
  // Squared distances that overflow (every distance infinite, all tied) or
  // underflow, on the lists of the unscaled points.
  for (double scale : {1e200, 1e155, 1e-170}) {
    Points p = base;
    for (double& v : p.x) v *= scale;
    for (double& v : p.y) v *= scale;
    compareRefinement(p, delaunay, "scaled " + std::to_string(scale));
  }
  // Coordinates that are not finite.
  Points p = base;
  p.x[6] = std::numeric_limits<double>::quiet_NaN();
  p.y[20] = std::numeric_limits<double>::infinity();
  p.x[41] = -std::numeric_limits<double>::infinity();
  compareRefinement(p, delaunay, "not finite");

  // Three components: 40 uniform points with their triangulation, and 15
  // and 8 points on lines, chained to their neighbours. On the longer line
  // the fit stays ill-conditioned and asks for more nodes than the chain
  // has; on the shorter one the collection runs out (status -1 either way).
  Points pair = uniform(40, 92);
  Lists lists;
  ASSERT_TRUE(triangulate(pair, lists));
  std::vector<std::vector<int>> neighbours(pair.n());
  for (int k = 0; k < pair.n(); ++k) {
    int cell = lists.last[k];
    do {
      cell = lists.next[cell - 1];
      neighbours[k].push_back(std::abs(lists.node[cell - 1]));
    } while (cell != lists.last[k]);
  }
  Random r{93};
  for (int length : {15, 8}) {
    for (int i = 0; i < length; ++i) {
      pair.x.push_back(5 + i + 0.3 * r.next());
      pair.y.push_back(length);
      pair.z.push_back(franke(pair.x.back(), 0.5));
      const int v = pair.n();
      neighbours.push_back(i == 0 ? std::vector<int>{v + 1}
                                  : i == length - 1 ? std::vector<int>{v - 1} : std::vector<int>{v - 1, v + 1});
    }
  }
  Lists joined = listsOf(neighbours);
  compareRefinement(pair, joined, "three components");
}

TEST(FastRefinement, GivensMatchesStraightforward) {
  Random r{61};
  const double specials[] = {0.0, -0.0, 1e-300, 1e300, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
  for (int trial = 0; trial < 400; ++trial) {
    double a = trial % 4 == 0 ? specials[r.below(6)] : r.next() - 0.5;
    double b = trial % 3 == 0 ? specials[r.below(6)] : r.next() - 0.5;
    double aSlow = a, bSlow = b, c = -7.5, s = -7.5, cSlow = -7.5, sSlow = -7.5;
    sdGivens(&a, &b, &c, &s);
    ref::sdGivens(&aSlow, &bSlow, &cSlow, &sSlow);
    const std::vector<double> fast{a, b, c, s}, slow{aSlow, bSlow, cSlow, sSlow};
    EXPECT_SAME_BITS(fast, slow, "trial " + std::to_string(trial));
  }
}

TEST(FastRefinement, RotationInLanesMatchesStraightforwardGivens) {
  // Each lane of the two- and four-lane rotations against the straightforward
  // sdGivens on the same values (c, s and r, which sdGivens leaves in a),
  // with the lanes taking different sides of |b| >= |a| and special values.
  namespace lanes = lum::scattered::lanes;
  Random r{62};
  const double inf = std::numeric_limits<double>::infinity();
  const double specials[] = {0.0, -0.0, 1e-310, -1e-300, 1e300, -1e300, inf, -inf,
                             std::numeric_limits<double>::quiet_NaN(), 1.0, -1.0};
  auto value = [&](int trial) {
    return trial % 3 == 0 ? specials[r.below(11)] : (r.next() - 0.5) * std::pow(10.0, r.below(9) - 4);
  };
  for (int trial = 0; trial < 2000; ++trial) {
    double a[4], b[4];
    for (int l = 0; l < 4; ++l) {
      a[l] = value(trial + l);
      b[l] = value(trial + 2 * l);
    }
    lanes::Lanes4 c4, s4, r4;
    lanes::rotation(lanes::Lanes4(a[0], a[1], a[2], a[3]), lanes::Lanes4(b[0], b[1], b[2], b[3]), c4, s4, r4);
    lanes::Lanes2 c2, s2, r2;
    lanes::rotation(lanes::Lanes2(a[0], a[1]), lanes::Lanes2(b[0], b[1]), c2, s2, r2);
    const double four[3][4] = {{c4.lo.lane0(), c4.lo.lane1(), c4.hi.lane0(), c4.hi.lane1()},
                               {s4.lo.lane0(), s4.lo.lane1(), s4.hi.lane0(), s4.hi.lane1()},
                               {r4.lo.lane0(), r4.lo.lane1(), r4.hi.lane0(), r4.hi.lane1()}};
    const double two[3][2] = {{c2.lane0(), c2.lane1()}, {s2.lane0(), s2.lane1()}, {r2.lane0(), r2.lane1()}};
    for (int l = 0; l < 4; ++l) {
      double aSlow = a[l], bSlow = b[l], cSlow = -7.5, sSlow = -7.5;
      ref::sdGivens(&aSlow, &bSlow, &cSlow, &sSlow);
      const std::vector<double> slow{cSlow, sSlow, aSlow};
      const std::string what = "trial " + std::to_string(trial) + " lane " + std::to_string(l);
      EXPECT_SAME_BITS((std::vector<double>{four[0][l], four[1][l], four[2][l]}), slow, what + " of four");
      if (l < 2) {
        EXPECT_SAME_BITS((std::vector<double>{two[0][l], two[1][l], two[2][l]}), slow, what + " of two");
      }
    }
  }
}

// ---------------------------------------------------------------------------
// In the drivers

// A full sdbi3p_ against the same preparation whose derivative columns are
// wiped and redone by the straightforward stages: every word of work, iwork
// and zOut must agree.
TEST(FastPartials, FullPreparationMatchesStraightforwardDerivativeStages) {
  int prepared = 0;
  std::vector<Points> sets = hardSets();
  for (double scale : {1e-150, 1e90}) {  // local systems that overflow or underflow
    Points p = uniform(300, 71);
    for (double& v : p.x) v *= scale;
    for (double& v : p.y) v *= scale;
    p.name = "scaled " + std::to_string(scale);
    sets.push_back(p);
  }
  // A long row of points with a few off it: along the row the refinement
  // fails (its quadratic part stays singular) and the weighted mean stays.
  std::vector<double> rowX{1, 3, -2, 8}, rowY{5, -5, 1, 2};
  for (int i = 0; i < 60; ++i) {
    rowX.push_back(0.1 * i);
    rowY.push_back(0.0);
  }
  sets.push_back(finish("row", rowX, rowY));
  for (Points& p : sets) {
    int n = p.n();
    if (n > 1500) continue;
    // Output points inside, on data points and outside the data area.
    std::vector<double> xOut, yOut;
    Random r{99};
    for (int i = 0; i < 60; ++i) {
      const int k = r.below(n);
      xOut.push_back(i % 3 == 0 ? p.x[k] : p.x[k] + (r.next() - 0.5) * (i % 3 == 1 ? 1e-3 : 10.0));
      yOut.push_back(i % 3 == 0 ? p.y[k] : p.y[k] + (r.next() - 0.5) * (i % 3 == 1 ? 1e-3 : 10.0));
    }
    int outCount = static_cast<int>(xOut.size());
    std::vector<double> work(kWorkColumns * n, -7.5), zOut(outCount, -7.5);
    std::vector<int> iwork(kIworkColumns * n, -7);
    int mode = 1, status = -1, borderCount = 0, triCount = 0;
    sdbi3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(),
            &status, work.data(), iwork.data(), &borderCount, &triCount);
    if (status != 0) continue;
    ++prepared;

    std::vector<double> refWork, refZ(outCount, -7.5);
    std::vector<int> refIwork;
    ref::redoDerivativeColumns(n, p.x.data(), p.y.data(), p.z.data(), work, iwork, refWork, refIwork);
    Calculate_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &outCount, xOut.data(), yOut.data(), refZ.data(),
               &status, refWork.data(), refIwork.data(), borderCount, triCount);
    ASSERT_EQ(0, status);
    EXPECT_SAME_BITS(work, refWork, p.name + " work");
    EXPECT_SAME_BITS(iwork, refIwork, p.name + " iwork");
    EXPECT_SAME_BITS(zOut, refZ, p.name + " zOut");
  }
  EXPECT_GE(prepared, 11);
}

}  // namespace
