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
  auto row = [&](int p, long double& dx, long double& dy, long double& s) {
    dx = static_cast<long double>(m.x[p - 1]) - m.x[d - 1];
    dy = static_cast<long double>(m.y[p - 1]) - m.y[d - 1];
    s = dx * dx + dy * dy;
  };
  long double ax, ay, as, bx, by, bs, cx, cy, cs;
  row(a, ax, ay, as);
  row(b, bx, by, bs);
  row(c, cx, cy, cs);
  return ax * (by * cs - bs * cy) - ay * (bx * cs - bs * cx) + as * (bx * cy - by * cx);
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

Points uniform(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Points p;
  for (int i = 0; i < n; ++i) {
    p.first.push_back(u(rng));
    p.second.push_back(u(rng));
  }
  return p;
}

Points shuffledGrid(int side, unsigned seed) {
  Points p;
  std::vector<std::pair<int, int>> cells;
  for (int i = 0; i < side; ++i)
    for (int j = 0; j < side; ++j) cells.push_back({i, j});
  std::mt19937_64 rng(seed);
  std::shuffle(cells.begin(), cells.end(), rng);
  // Keep the first three points off one line.
  while ((cells[1].first - cells[0].first) * (cells[2].second - cells[0].second) ==
         (cells[2].first - cells[0].first) * (cells[1].second - cells[0].second)) {
    std::shuffle(cells.begin(), cells.end(), rng);
  }
  for (const auto& [i, j] : cells) {
    p.first.push_back(i);
    p.second.push_back(j);
  }
  return p;
}

Points clustered(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> g(0.0, 0.01);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Points p;
  double cx = 0, cy = 0;
  for (int i = 0; i < n; ++i) {
    if (i % 15 == 0) cx = u(rng), cy = u(rng);
    p.first.push_back(cx + g(rng));
    p.second.push_back(cy + g(rng));
  }
  return p;
}

Points band(int n, unsigned seed) {  // long thin strip 100 x 1
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Points p;
  for (int i = 0; i < n; ++i) {
    p.first.push_back(100.0 * u(rng));
    p.second.push_back(u(rng));
  }
  return p;
}

TEST(Triangulation, DelaunayMeshOnVariedPointSets) {
  const std::vector<std::pair<const char*, Points>> sets = {
      {"uniform 10", uniform(10, 1)},       {"uniform 60", uniform(60, 2)},
      {"uniform 300", uniform(300, 3)},     {"grid 12x12", shuffledGrid(12, 4)},
      {"clustered 150", clustered(150, 5)}, {"band 200", band(200, 6)}};
  for (const auto& [name, pts] : sets) {
    SCOPED_TRACE(name);
    const Mesh m = triangulate(pts.first, pts.second);
    expectDelaunay(m, std::string(name).rfind("grid", 0) == 0);
    EXPECT_LE(m.adjFree - 1, 6 * m.n - 12);
  }
}

TEST(Triangulation, TriangleTableMatchesBruteForceNeighbours) {
  for (const Points& pts : {uniform(80, 11), shuffledGrid(7, 12), band(60, 13)}) {
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
          const bool hasA = o[0] == a || o[1] == a || o[2] == a;
          const bool hasB = o[0] == b || o[1] == b || o[2] == b;
          if (r != t && hasA && hasB) across = r;
        }
        EXPECT_EQ(table[6 * t - 3 + i], across) << "triangle " << t << " side " << i + 1;
      }
    }
  }
}

TEST(Triangulation, BorderChainBeforeAndAfterThinRemoval) {
  for (const Points& pts : {uniform(200, 21), shuffledGrid(9, 22), clustered(120, 23),
                            band(300, 24), band(40, 25)}) {
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

TEST(Triangulation, CheckerRejectsDamagedListsAndRestoresThem) {
  const Points pts = uniform(40, 31);
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
  Mesh swapped = copy;  // two neighbours out of order
  std::swap(swapped.adjNode[c1 - 1], swapped.adjNode[c2 - 1]);
  EXPECT_FALSE(check(swapped));
  EXPECT_EQ(swapped.adjLast, copy.adjLast);
}

TEST(Triangulation, DriverStatusMapping) {
  const Points pts = uniform(30, 41);
  const Mesh m = triangulate(pts.first, pts.second);
  ASSERT_EQ(m.status, 0);
  Border b = extract(m);
  int status = -1;
  sdTriangulateAndList(&m.n, m.x.data(), m.y.data(), &b.triCount, b.triVertex.data(),
                       &b.borderCount, b.borderSeg.data(), &status, m.adjNode.data(),
                       m.adjNext.data(), m.adjLast.data(), b.triTable.data(), b.borderTri.data());
  EXPECT_EQ(status, 0);
  const int two = 2;
  sdTriangulateAndList(&two, m.x.data(), m.y.data(), &b.triCount, b.triVertex.data(),
                       &b.borderCount, b.borderSeg.data(), &status, m.adjNode.data(),
                       m.adjNext.data(), m.adjLast.data(), b.triTable.data(), b.borderTri.data());
  EXPECT_EQ(status, 4);
  // Node 1's first neighbour replaced by a node that does not name node 1.
  Mesh broken = m;
  std::vector<int> nb1 = m.neighbours(1);
  int stranger = 2;
  while (std::find(nb1.begin(), nb1.end(), stranger) != nb1.end() ||
         std::find(nb1.begin(), nb1.end(), -stranger) != nb1.end()) {
    ++stranger;
  }
  broken.adjNode[m.adjNext[m.adjLast[0] - 1] - 1] = stranger;
  sdTriangulateAndList(&m.n, m.x.data(), m.y.data(), &b.triCount, b.triVertex.data(),
                       &b.borderCount, b.borderSeg.data(), &status, broken.adjNode.data(),
                       broken.adjNext.data(), broken.adjLast.data(), b.triTable.data(),
                       b.borderTri.data());
  EXPECT_EQ(status, 5);
}

}  // namespace
}  // namespace lum::scattered
