// Tests of the scattered-data triangulation: Delaunay property and mesh
// invariants on several kinds of point sets, the triangle table against a
// brute-force neighbour search, the border chain, thin-triangle removal, and
// the failure statuses for degenerate or non-finite input.
#include "scattered/triangulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace lum::scattered {
namespace {

using Points = std::pair<std::vector<double>, std::vector<double>>;

struct Mesh {
  int n = 0;
  std::vector<double> x, y;
  std::vector<int> adjNode, adjNext, adjLast;
  int adjFree = 0;
  int status = 0;

  // Neighbours of node v in list order, the last one with its sign.
  std::vector<int> neighbours(int v) const {
    std::vector<int> out;
    const int last = adjLast[v - 1];
    int c = last;
    do {
      c = adjNext[c - 1];
      out.push_back(adjNode[c - 1]);
    } while (c != last && out.size() <= static_cast<size_t>(n));
    return out;
  }
  bool onHull(int v) const { return adjNode[adjLast[v - 1] - 1] < 0; }
};

Mesh triangulate(const std::vector<double>& x, const std::vector<double>& y) {
  Mesh m;
  m.n = static_cast<int>(x.size());
  m.x = x;
  m.y = y;
  m.adjNode.assign(6 * m.n + 6, 0);
  m.adjNext.assign(6 * m.n + 6, 0);
  m.adjLast.assign(m.n + 1, 0);
  sdTriangulate(&m.n, m.x.data(), m.y.data(), m.adjNode.data(), m.adjNext.data(),
                m.adjLast.data(), &m.adjFree, &m.status);
  return m;
}

// Triangles read straight from the lists: each corner (v; u, w) of consecutive
// neighbours, not across a hull gap, kept once from its smallest vertex, in
// the numbering order of the triangle table.
std::vector<std::array<int, 3>> trianglesOf(const Mesh& m) {
  std::vector<std::array<int, 3>> tris;
  for (int v = 1; v <= m.n; ++v) {
    const std::vector<int> nb = m.neighbours(v);
    for (size_t i = 0; i < nb.size(); ++i) {
      if (nb[i] < 0) continue;
      const int u = nb[i], w = std::abs(nb[(i + 1) % nb.size()]);
      if (u > v && w > v) tris.push_back({v, u, w});
    }
  }
  return tris;
}

double orient(const Mesh& m, int a, int b, int c) {
  return (m.x[b - 1] - m.x[a - 1]) * (m.y[c - 1] - m.y[a - 1]) -
         (m.x[c - 1] - m.x[a - 1]) * (m.y[b - 1] - m.y[a - 1]);
}

// > 0 when node d lies strictly inside the circumcircle of the counterclockwise
// triangle (a, b, c).
long double inCircle(const Mesh& m, int a, int b, int c, int d) {
  long double r[3][3];
  const int v[3] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    r[i][0] = static_cast<long double>(m.x[v[i] - 1]) - m.x[d - 1];
    r[i][1] = static_cast<long double>(m.y[v[i] - 1]) - m.y[d - 1];
    r[i][2] = r[i][0] * r[i][0] + r[i][1] * r[i][1];
  }
  return r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
         r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
         r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
}

// Delaunay triangulation of all points: counterclockwise triangles (zero area
// allowed only when `slivers`), empty circumcircles up to `tol` relative to
// the data's extent, 2n - 2 - h triangles, interior edges in two triangles and
// hull edges in one, every node a vertex.
void expectDelaunay(const Mesh& m, bool slivers) {
  ASSERT_EQ(m.status, 0);
  int h = 0;
  for (int v = 1; v <= m.n; ++v) h += m.onHull(v);
  const auto tris = trianglesOf(m);
  EXPECT_EQ(static_cast<int>(tris.size()), 2 * m.n - 2 - h);
  double extent = 0;
  for (int i = 0; i < m.n; ++i) extent = std::max({extent, std::fabs(m.x[i]), std::fabs(m.y[i])});
  const long double tol = 1e-9L * extent * extent * extent * extent;
  std::map<std::pair<int, int>, int> edgeUse;
  std::set<int> used;
  for (const auto& t : tris) {
    const double o = orient(m, t[0], t[1], t[2]);
    if (slivers) EXPECT_GE(o, 0.0); else EXPECT_GT(o, 0.0);
    for (int d = 1; d <= m.n; ++d) {
      if (d == t[0] || d == t[1] || d == t[2] || o == 0.0) continue;
      EXPECT_LE(inCircle(m, t[0], t[1], t[2], d), tol) << "node " << d << " in circle";
    }
    for (int j = 0; j < 3; ++j) {
      const int a = t[j], b = t[(j + 1) % 3];
      ++edgeUse[{std::min(a, b), std::max(a, b)}];
      used.insert(a);
    }
  }
  EXPECT_EQ(static_cast<int>(used.size()), m.n);
  std::set<std::pair<int, int>> hullEdges;
  for (int v = 1; v <= m.n; ++v) {
    if (!m.onHull(v)) continue;
    const int f = m.neighbours(v).front();
    hullEdges.insert({std::min(v, f), std::max(v, f)});
  }
  EXPECT_EQ(static_cast<int>(hullEdges.size()), h);
  for (const auto& [edge, count] : edgeUse) EXPECT_EQ(count, hullEdges.count(edge) ? 1 : 2);
}

struct Border {
  int triCount = 0, borderCount = 0, status = 0;
  std::vector<int> triVertex, borderSeg, triTable, borderTri;
};

Border extract(const Mesh& m) {
  Border b;
  b.triVertex.assign(6 * m.n, 0);
  b.borderSeg.assign(2 * m.n, 0);
  b.triTable.assign(12 * m.n, 0);
  b.borderTri.assign(m.n, 0);
  sdExtractBorder(&m.n, &b.triCount, b.triVertex.data(), &b.borderCount, b.borderSeg.data(),
                  &b.status, m.adjNode.data(), m.adjNext.data(), m.adjLast.data(),
                  b.triTable.data());
  return b;
}

void removeThin(const Mesh& m, Border& b) {
  sdRemoveThinTriangles(&m.n, m.x.data(), m.y.data(), &b.triCount, b.triVertex.data(),
                        &b.borderCount, b.borderSeg.data(), b.borderTri.data());
}

// One closed, simple, counterclockwise chain whose segments each have the
// data area (a triangle using both ends) on their left.
void expectChain(const Mesh& m, const Border& b) {
  ASSERT_GE(b.borderCount, 3);
  ASSERT_LE(b.borderCount, m.n);
  std::set<int> starts;
  double area2 = 0;
  for (int l = 1; l <= b.borderCount; ++l) {
    const int s = b.borderSeg[2 * l - 2], e = b.borderSeg[2 * l - 1];
    const int nextStart = b.borderSeg[2 * (l % b.borderCount)];
    EXPECT_EQ(e, nextStart) << "segment " << l;
    starts.insert(s);
    area2 += m.x[s - 1] * m.y[e - 1] - m.x[e - 1] * m.y[s - 1];
    bool owned = false;
    for (int t = 1; t <= b.triCount && !owned; ++t) {
      const int* v = &b.triVertex[3 * t - 3];
      for (int j = 0; j < 3; ++j) owned |= v[j] == s && v[(j + 1) % 3] == e;
    }
    EXPECT_TRUE(owned) << "segment " << l << " has no triangle on its left";
  }
  EXPECT_EQ(static_cast<int>(starts.size()), b.borderCount);
  EXPECT_GT(area2, 0.0);
}

enum class Kind { kUniform, kGrid, kClustered, kBand };

// Uniform in [-1, 1]^2; a shuffled integer grid of side n (many cocircular
// quadruples, first three points off one line); Gaussian clusters of 15;
// a long thin 100 x 1 strip.
Points makePoints(Kind kind, int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> g(0.0, 0.01);
  Points p;
  double cx = 0, cy = 0;
  const int count = kind == Kind::kGrid ? n * n : n;
  for (int i = 0; i < count; ++i) {
    if (kind == Kind::kClustered && i % 15 == 0) cx = u(rng), cy = u(rng);
    double x = 2 * u(rng) - 1, y = 2 * u(rng) - 1;
    if (kind == Kind::kGrid) x = i / n, y = i % n;
    if (kind == Kind::kClustered) x = cx + g(rng), y = cy + g(rng);
    if (kind == Kind::kBand) x = 50 * (x + 1), y = (y + 1) / 2;
    p.first.push_back(x);
    p.second.push_back(y);
  }
  if (kind == Kind::kGrid) {
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i) order[i] = i;
    const auto& [x, y] = p;
    do {
      std::shuffle(order.begin(), order.end(), rng);
    } while ((x[order[1]] - x[order[0]]) * (y[order[2]] - y[order[0]]) ==
             (x[order[2]] - x[order[0]]) * (y[order[1]] - y[order[0]]));
    Points q;
    for (int i : order) q.first.push_back(x[i]), q.second.push_back(y[i]);
    return q;
  }
  return p;
}

TEST(Triangulation, DelaunayMeshOnVariedPointSets) {
  const std::vector<std::pair<Kind, int>> sets = {{Kind::kUniform, 10},  {Kind::kUniform, 60},
                                                   {Kind::kUniform, 300}, {Kind::kGrid, 12},
                                                   {Kind::kClustered, 150}, {Kind::kBand, 200}};
  unsigned seed = 1;
  for (const auto& [kind, n] : sets) {
    SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(kind) << " n " << n);
    const Points pts = makePoints(kind, n, seed++);
    const Mesh m = triangulate(pts.first, pts.second);
    expectDelaunay(m, kind == Kind::kGrid);
    EXPECT_LE(m.adjFree - 1, 6 * m.n - 12);
  }
}

TEST(Triangulation, TriangleTableMatchesBruteForceNeighbours) {
  for (const Points& pts : {makePoints(Kind::kUniform, 80, 11), makePoints(Kind::kGrid, 7, 12),
                            makePoints(Kind::kBand, 60, 13)}) {
    const Mesh m = triangulate(pts.first, pts.second);
    ASSERT_EQ(m.status, 0);
    const auto tris = trianglesOf(m);
    std::vector<int> table(12 * m.n, -7);
    int count = -1, status = -1;
    sdBuildTriangleTable(&m.n, m.adjNode.data(), m.adjNext.data(), m.adjLast.data(), &count,
                         table.data(), &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(count, static_cast<int>(tris.size()));
    for (int t = 1; t <= count; ++t) {
      for (int j = 0; j < 3; ++j) EXPECT_EQ(table[6 * t - 6 + j], tris[t - 1][j]);
      // Row 3 + i: the other triangle holding the edge opposite vertex i.
      for (int i = 0; i < 3; ++i) {
        const int a = tris[t - 1][(i + 1) % 3], b = tris[t - 1][(i + 2) % 3];
        int across = 0;
        for (int r = 1; r <= count; ++r) {
          const auto& o = tris[r - 1];
          if (r != t && std::count(o.begin(), o.end(), a) && std::count(o.begin(), o.end(), b))
            across = r;
        }
        EXPECT_EQ(table[6 * t - 3 + i], across) << "triangle " << t << " side " << i + 1;
      }
    }
  }
}

TEST(Triangulation, BorderChainBeforeAndAfterThinRemoval) {
  for (const Points& pts :
       {makePoints(Kind::kUniform, 200, 21), makePoints(Kind::kGrid, 9, 22),
        makePoints(Kind::kClustered, 120, 23), makePoints(Kind::kBand, 300, 24),
        makePoints(Kind::kBand, 40, 25)}) {
    const Mesh m = triangulate(pts.first, pts.second);
    ASSERT_EQ(m.status, 0);
    Border b = extract(m);
    ASSERT_EQ(b.status, 0);
    int h = 0;
    for (int v = 1; v <= m.n; ++v) h += m.onHull(v);
    EXPECT_EQ(b.borderCount, h);
    EXPECT_EQ(b.triCount, 2 * m.n - 2 - h);
    expectChain(m, b);
    // The chain starts with the first border segment of the first triangle
    // that has one.
    const int t1 = std::find(b.triTable.begin() + 3, b.triTable.end(), 0) - b.triTable.begin();
    const int firstTri = t1 / 6 + 1;
    const int* v = &b.triVertex[3 * firstTri - 3];
    const int j = t1 % 6 - 3;  // 0-based side: vertices j+1, j+2 (mod 3)
    EXPECT_EQ(b.borderSeg[0], v[(j + 1) % 3]);
    EXPECT_EQ(b.borderSeg[1], v[(j + 2) % 3]);

    const int trisBefore = b.triCount, segsBefore = b.borderCount;
    removeThin(m, b);
    expectChain(m, b);
    EXPECT_EQ(trisBefore - b.triCount, b.borderCount - segsBefore);
    std::set<int> vertices(b.triVertex.begin(), b.triVertex.begin() + 3 * b.triCount);
    EXPECT_EQ(static_cast<int>(vertices.size()), m.n) << "a point was cut off the mesh";
  }
}

TEST(Triangulation, SmallAndDegenerateInput) {
  // Three points: the initial triangle only, counterclockwise whatever the
  // input order.
  for (const Points& pts : {Points{{0, 1, 0}, {0, 0, 1}}, Points{{0, 0, 1}, {0, 1, 0}}}) {
    const Mesh m = triangulate(pts.first, pts.second);
    ASSERT_EQ(m.status, 0);
    EXPECT_EQ(m.adjFree, 7);
    const Border b = extract(m);
    EXPECT_EQ(b.triCount, 1);
    EXPECT_EQ(b.borderCount, 3);
    EXPECT_GT(orient(m, b.triVertex[0], b.triVertex[1], b.triVertex[2]), 0.0);
  }
  EXPECT_EQ(triangulate({0, 1}, {0, 1}).status, kTriTooFewPoints);
  // Points 1-3 on one line make the whole set fail, though it is triangulable.
  EXPECT_EQ(triangulate({0, 1, 2, 0, 5}, {0, 1, 2, 3, -1}).status, kTriCollinear);
  // A point equal to an earlier one: the status names the earlier point.
  EXPECT_EQ(triangulate({0, 4, 0, 1, 3, 1, 3}, {0, 0, 4, 1, 1, 1, 5}).status, 4);
  EXPECT_EQ(triangulate({0, 4, 0, 4}, {0, 0, 4, 0}).status, 2);
  // Non-finite coordinates fail before any mesh work.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(triangulate({0, 1, 0, 1, nan}, {0, 0, 1, 1, 0.5}).status, kTriNonFinite);
  EXPECT_EQ(triangulate({0, 1, 0, 1, 0.5}, {0, 0, 1, 1, -inf}).status, kTriNonFinite);
  EXPECT_EQ(triangulate({nan, 1, 0}, {0, 0, 1}).status, kTriNonFinite);
}

TEST(Triangulation, CocircularQuadrilateralKeepsTheInsertionDiagonal) {
  // The unit square's four corners lie on one circle; the fourth point is
  // added outside the first triangle and no swap happens.
  const Mesh a = triangulate({0, 1, 0, 1}, {0, 0, 1, 1});  // diagonal 2-3
  const Mesh b = triangulate({0, 1, 1, 0}, {0, 0, 1, 1});  // diagonal 1-3
  ASSERT_EQ(a.status, 0);
  ASSERT_EQ(b.status, 0);
  EXPECT_EQ(a.neighbours(1).size(), 2u);
  EXPECT_EQ(a.neighbours(2).size(), 3u);
  EXPECT_EQ(b.neighbours(2).size(), 2u);
  EXPECT_EQ(b.neighbours(1).size(), 3u);
  const int four = 4, one = 1, two = 2, three = 3;
  EXPECT_FALSE(sdSwapTest(&four, &one, &two, &three, a.x.data(), a.y.data()));
  // A clearly non-Delaunay diagonal is swapped.
  const std::vector<double> x = {0, 2, 1, 1}, y = {0, 0, 0.2, -0.2};
  const int o1 = 3, o2 = 4, d1 = 1, d2 = 2;
  EXPECT_TRUE(sdSwapTest(&o1, &o2, &d1, &d2, x.data(), y.data()));
}

TEST(Triangulation, OutsidePointJoinsEveryVisibleHullNode) {
  // Points on a lower arc of the unit circle, left to right, then one far
  // below that sees all of them.
  std::vector<double> x, y;
  for (int i = 0; i < 7; ++i) {
    const double a = 3.141592653589793 + 0.3 + 0.4 * i;
    x.push_back(std::cos(a));
    y.push_back(std::sin(a));
  }
  x.push_back(0.0);
  y.push_back(-50.0);
  const Mesh m = triangulate(x, y);
  expectDelaunay(m, false);
  const std::vector<int> nb = m.neighbours(8);
  EXPECT_EQ(nb.size(), 7u);
  EXPECT_EQ(nb.front(), 7);
  EXPECT_EQ(nb.back(), -1);
  for (int v = 2; v <= 6; ++v) EXPECT_FALSE(m.onHull(v)) << v;
}

TEST(Triangulation, ThinBorderTriangleMeasuredAgainstSinglePrecisionRatio) {
  // Square border (mean extents 5 and 5), apex above the bottom edge: the
  // ratio is apexY / 10.
  auto thinRemoved = [](double apexY) {
    const Mesh m = triangulate({0, 10, 10, 0, 5, 5}, {0, 0, 10, 10, 5, apexY});
    Border b = extract(m);
    const int before = b.triCount;
    removeThin(m, b);
    expectChain(m, b);
    return before - b.triCount;
  };
  EXPECT_EQ(thinRemoved(1.0), 1);          // ratio exactly 0.1 in doubles
  EXPECT_EQ(thinRemoved(1.0 + 1e-8), 1);   // above 0.1, below 0.1f
  EXPECT_EQ(thinRemoved(1.0 + 2e-8), 0);   // above 0.1f
  EXPECT_EQ(thinRemoved(1.000001), 0);
}

TEST(Triangulation, ThinTriangleWithApexOnTheBorderStays) {
  // Points on a parabola: every point is a border vertex, so no triangle may
  // go, however flat the ears are.
  std::vector<double> x, y;
  for (int i = 0; i < 40; ++i) {
    const double t = -1.0 + (i * 37 % 40) / 20.0;
    x.push_back(100.0 * t);
    y.push_back(t * t);
  }
  const Mesh m = triangulate(x, y);
  ASSERT_EQ(m.status, 0);
  Border b = extract(m);
  removeThin(m, b);
  EXPECT_EQ(b.triCount, m.n - 2);
  EXPECT_EQ(b.borderCount, m.n);
  expectChain(m, b);
}

TEST(Triangulation, NearlyCollinearInputFailsInsteadOfLooping) {
  // Ten points whose ninth insertion asks for a swap to an existing diagonal.
  const std::vector<double> x = {-0x1.759f9f24c5d02p+2, 0x1.ad6f6e9bbac7p+2, 0x1.877fe0358e872p+2,
                                 0x1.d124a6e8f75e8p-3, 0x1.eb9d71230e47ep+2, 0x1.090ac0b73ad8ap+3,
                                 -0x1.1080cdd740df9p+3, 0x1.34c662c8f68e5p+2, -0x1.5d98c003a8926p+0,
                                 0x1.22b3d17bb4b77p+2};
  const std::vector<double> y = {0x1.71ba44eedb86cp+2, -0x1.3c9abf5e03691p+2, -0x1.b97d9db893618p-2,
                                 -0x1.c5d89afbcb23p-4, -0x1.dfacce3e4d7f5p+1, -0x1.029ad7e69cd58p+2,
                                 0x1.09e2813458528p+2, -0x1.2d4690aa85338p+1, 0x1.551b1e54c30d1p-1,
                                 -0x1.1ba45d3c86692p+1};
  EXPECT_EQ(triangulate({x.begin(), x.begin() + 8}, {y.begin(), y.begin() + 8}).status, 0);
  EXPECT_EQ(triangulate(x, y).status, kTriBrokenLists);

  // Points on a rotated line after a proper first triangle: the search's
  // orientation tests contradict each other.
  const double th = 0.33199835764623936;
  std::vector<double> lx = {0, 3, 1}, ly = {2, -1, -2};
  for (double t : {2.75, -1.25, 2.0, -4.5, -2.25, 4.0, 1.75}) {
    lx.push_back(t * std::cos(th));
    ly.push_back(t * std::sin(th));
  }
  EXPECT_EQ(triangulate(lx, ly).status, kTriSearchFailed);

  // Many such sets: every call returns, and a mesh reported sound is one.
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> u(-5.0, 5.0);
  int succeeded = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<double> px = {0, 3, 1}, py = {2, -1, -2};
    const double angle = u(rng);
    for (int i = 0; i < 12; ++i) {
      const double t = u(rng);
      px.push_back(t * std::cos(angle));
      py.push_back(t * std::sin(angle));
    }
    Mesh m = triangulate(px, py);
    if (m.status == 0) {
      ++succeeded;
      EXPECT_TRUE(sdCheckTriangulation(&m.n, m.adjNode.data(), m.adjNext.data(),
                                       m.adjLast.data(), &m.adjFree));
    }
  }
  EXPECT_GT(succeeded, 0);
}

TEST(Triangulation, RepeatedHullPointPlacedOutsideTheHullIsReported) {
  // Nearly collinear points: the search puts point 14, a copy of point 1 (a
  // hull node), outside the hull. It must still be reported as a repeat of
  // point 1 instead of entering the mesh a second time.
  const std::vector<double> x = {
      0x0p+0, -0x1.5e31712d82bcap+0, -0x1.5e31712d82e38p+1, -0x1.75823bf5bc108p+0, -0x1.69d9d6919f5b6p+1,
      -0x1.0c79479430608p+2, -0x1.75823bf5bbebep+1, -0x1.124d7a463e9d6p+2, -0x1.69d9d6919f37ep+2,
      -0x1.1821acf84ce4fp+2, -0x1.6fae0943ad942p+2, -0x1.c73a658f0e24ap+2, -0x1.75823bf5bbdbep+2, 0x0p+0};
  const std::vector<double> y = {
      0x0p+0, 0x1.75823bf5bbdbep+0, 0x1.75823bf5bc056p+1, -0x1.5e31712d82edep+0, 0x1.750cac839205p-4,
      0x1.8cd306bdf50bep+0, -0x1.5e31712d82cbap+1, -0x1.46e0a665499dbp+0, 0x1.750cac839463p-3,
      -0x1.06a514e2220d7p+2, -0x1.52890bc9662cfp+1, -0x1.2f8fdb9d1009ep+0, -0x1.5e31712d82bcap+2, 0x0p+0};
  EXPECT_EQ(triangulate({x.begin(), x.end() - 1}, {y.begin(), y.end() - 1}).status, 0);
  EXPECT_EQ(triangulate(x, y).status, 1);
}

TEST(Triangulation, RepeatedPointBesideAHugeOutlierIsReported) {
  // Point 7 lies 1e38 away, so the orientation tests around the others are
  // decided by rounding and point 10, a copy of point 1, gets past the
  // insertion's own comparison; it must still be reported.
  const std::vector<double> x = {0x1.82e703f2c75b2p+1, -0x1.7395de620f109p+3, 0x1.57246d075bcd6p+3, -0x1.f5dd6735bf949p-268, 0x1.df115515a0dap+2, 0x1.04d514fb58cp+1, -0x1.3bb5af92cf038p+129, -0x1.276f08f751001p+3, -0x1.02788769a7d36p+2, 0x1.82e703f2c75b2p+1, -0x1.67ead266f910bp-7, 0x1.fe4b6c93e9002p+3, -0x1.30f5a87c0637ep+5, -0x1.62d776d15ff48p+4};
  const std::vector<double> y = {0x1.2aa75a1d544c9p+2, 0x1.f4c6e9eeaf8f7p+2, -0x1.b972aa400494dp+2, -0x1.8362053d79d9fp-267, 0x1.44de44fdc925ap+3, 0x1.92f280ba441d3p+1, 0x1.9902a59a86142p+128, 0x1.7ebe053f61d3cp+2, -0x1.947a1c2fafe3bp+2, 0x1.2aa75a1d544c9p+2, -0x1.269b66de410a6p-5, -0x1.4a8cd5fc8eab4p+3, -0x1.7e3d0d29e567ep+3, -0x1.8bf7b7c1420fp+2};
  EXPECT_EQ(triangulate(x, y).status, 1);
}

TEST(Triangulation, RepeatedPointOnANearlyStraightLineIsReported) {
  // Points near one rotated line: point 20, a copy of point 15, is placed
  // away from its twin by contradictory orientation tests.
  const std::vector<double> x = {-0x1.604bff0311518p+2, -0x1.165ba6b9bb82cp-1, 0x1.7801ae520a002p+1, 0x1.165ba6b9bb82cp+2, 0x1.0fd580d1611dbp+3, -0x1.5bf290682a637p+1, 0x1.0722a39b9341ap+3, -0x1.b2ef348234fc5p+1, 0x1.64a56d9df83f8p+2, -0x1.37a3ebd4d9a57p+2, 0x1.5bf290682a637p+1, 0x1.a1897a1699442p+0, 0x1.009c7db338dc9p+2, 0x1.68fedc38df2d9p+2, -0x1.39271b90f2f32p+2, 0x1.5bf290682a637p+2, -0x1.fcdf8ccb8acbp+2, -0x1.a040195e8058cp-2, 0x1.a1897a1699442p+2, -0x1.39271b90f2f32p+2};
  const std::vector<double> y = {-0x1.0feeee1230601p+3, -0x1.adb8c73930002p-1, -0x1.e72063c50824dp+0, 0x1.adb8c73930002p+2, 0x1.a3a6728dd8e02p+3, -0x1.0c937c83be001p+2, 0x1.9638ac540f602p+3, -0x1.4fb85ba4ad802p+2, 0x1.134a5fa0a2c01p+3, -0x1.fd18e9c426786p+3, 0x1.0c937c83be001p+2, 0x1.424a956ae4002p+1, 0x1.8c2657a8b8402p+2, 0x1.16a5d12f15201p+3, -0x1.e36fe02056002p+2, 0x1.0c937c83be001p+3, -0x1.88cae61a45e02p+3, 0x1.e6ce0b9701e9fp+0, 0x1.424a956ae4002p+3, -0x1.e36fe02056002p+2};
  EXPECT_EQ(triangulate(x, y).status, 15);
}

TEST(Triangulation, CheckerRejectsDamagedListsAndRestoresThem) {
  const Points pts = makePoints(Kind::kUniform, 40, 31);
  Mesh m = triangulate(pts.first, pts.second);
  ASSERT_EQ(m.status, 0);
  auto check = [](Mesh& mm) {
    return sdCheckTriangulation(&mm.n, mm.adjNode.data(), mm.adjNext.data(), mm.adjLast.data(),
                                &mm.adjFree);
  };
  const Mesh copy = m;
  EXPECT_TRUE(check(m));
  EXPECT_EQ(m.adjNode, copy.adjNode);
  EXPECT_EQ(m.adjNext, copy.adjNext);
  EXPECT_EQ(m.adjLast, copy.adjLast);

  int interior = 1;
  while (m.onHull(interior)) ++interior;
  const int c1 = m.adjLast[interior - 1], c2 = m.adjNext[c1 - 1];
  Mesh dup = copy;  // a repeated neighbour
  dup.adjNode[c2 - 1] = dup.adjNode[c1 - 1];
  EXPECT_FALSE(check(dup));
  Mesh cut = copy;  // a list that no longer returns to its last cell
  cut.adjNext[c2 - 1] = c2;
  EXPECT_FALSE(check(cut));
  Mesh flipped = copy;  // an interior node marked as a hull node
  flipped.adjNode[c1 - 1] = -flipped.adjNode[c1 - 1];
  EXPECT_FALSE(check(flipped));
}

TEST(Triangulation, ListingStatusMapping) {
  const Points pts = makePoints(Kind::kUniform, 30, 41);
  Mesh m = triangulate(pts.first, pts.second);
  ASSERT_EQ(m.status, 0);
  Border b = extract(m);
  auto list = [&](int n) {
    int status = -1;
    sdTriangulateAndList(&n, m.x.data(), m.y.data(), &b.triCount, b.triVertex.data(),
                         &b.borderCount, b.borderSeg.data(), &status, m.adjNode.data(),
                         m.adjNext.data(), m.adjLast.data(), b.triTable.data(), b.borderTri.data());
    return status;
  };
  EXPECT_EQ(list(m.n), 0);
  EXPECT_EQ(list(2), 4);
  // Node 1's first neighbour replaced by a node that does not name node 1.
  const std::vector<int> nb1 = m.neighbours(1);
  int stranger = 2;
  while (std::count(nb1.begin(), nb1.end(), stranger) + std::count(nb1.begin(), nb1.end(), -stranger))
    ++stranger;
  m.adjNode[m.adjNext[m.adjLast[0] - 1] - 1] = stranger;
  EXPECT_EQ(list(m.n), 5);
  EXPECT_EQ(b.triCount, 0);
  EXPECT_EQ(b.borderCount, 0);
}

}  // namespace
}  // namespace lum::scattered
