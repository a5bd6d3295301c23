// The fast mesh stages against the straightforward ones (reference/): point
// location during the insertion, triangle table, border chain and thin-triangle
// removal must leave every output and every scratch array bit for bit as the
// straightforward stages do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "reference/mesh_reference.h"
#include "scattered/compact_mesh.h"
#include "scattered/insertion_core.h"
#include "scattered/insertion_locator.h"
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

namespace lum::scattered {
namespace {

namespace ref = lum::scattered::reference;

struct Points {
  std::string name;
  std::vector<double> x, y;
  int n() const { return static_cast<int>(x.size()); }
};

// Random order, but points 1-3 not on one line (the triangulation insists).
void shuffleKeepingFirstTriangle(Points& p, std::mt19937_64& rng) {
  std::vector<int> order(p.n());
  std::iota(order.begin(), order.end(), 0);
  auto collinear = [&] {
    const int a = order[0], b = order[1], c = order[2];
    return (p.x[b] - p.x[a]) * (p.y[c] - p.y[a]) == (p.x[c] - p.x[a]) * (p.y[b] - p.y[a]);
  };
  do std::shuffle(order.begin(), order.end(), rng);
  while (collinear());
  Points q{p.name, {}, {}};
  for (int i : order) q.x.push_back(p.x[i]), q.y.push_back(p.y[i]);
  p = q;
}

Points uniform(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Points p{"uniform " + std::to_string(n), {}, {}};
  for (int i = 0; i < n; ++i) p.x.push_back(u(rng)), p.y.push_back(u(rng));
  return p;
}

// Integer grid: ties in every distance, cocircular quadruples everywhere,
// points exactly on edges of the growing mesh. `jitter` > 0 moves each point
// by up to jitter (near-degenerate: collinear and cocircular up to rounding).
Points grid(int side, unsigned seed, double jitter = 0.0) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Points p{"grid " + std::to_string(side) + (jitter > 0 ? " jittered" : ""), {}, {}};
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) {
      p.x.push_back(i + jitter * u(rng));
      p.y.push_back(j + jitter * u(rng));
    }
  }
  shuffleKeepingFirstTriangle(p, rng);
  return p;
}

Points clustered(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> g(0.0, 0.004);
  Points p{"clustered " + std::to_string(n), {}, {}};
  std::vector<std::pair<double, double>> centres(std::max(1, n / 40));
  for (auto& c : centres) c = {u(rng), u(rng)};
  for (int i = 0; i < n; ++i) {
    const auto& c = centres[rng() % centres.size()];
    p.x.push_back(c.first + g(rng));
    p.y.push_back(c.second + g(rng));
  }
  return p;
}

// A strip 1000 times longer than wide: long thin border triangles.
Points band(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Points p{"band " + std::to_string(n), {}, {}};
  for (int i = 0; i < n; ++i) p.x.push_back(1000 * u(rng)), p.y.push_back(u(rng));
  return p;
}

// A thin circular arc, random order: most points start outside the hull of
// their predecessors, and the flat arc gives thin border triangles.
Points arc(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Points p{"arc " + std::to_string(n), {}, {}};
  for (int i = 0; i < n; ++i) {
    const double a = 0.4 * u(rng), r = 100 + 0.5 * u(rng);
    p.x.push_back(r * std::cos(a));
    p.y.push_back(r * std::sin(a));
  }
  return p;
}

// Every integer point on circles whose radii have many integer
// representations: exactly cocircular sets of 12 to 36 points, concentric.
Points rings(unsigned seed) {
  Points p{"rings", {}, {}};
  for (const int r : {5, 25, 65, 85, 125, 325}) {
    for (int i = -r; i <= r; ++i) {
      const int j2 = r * r - i * i;
      const int j = static_cast<int>(std::lround(std::sqrt(j2)));
      if (j * j != j2) continue;
      p.x.push_back(i), p.y.push_back(j);
      if (j != 0) p.x.push_back(i), p.y.push_back(-j);
    }
  }
  p.x.push_back(0.0), p.y.push_back(0.0);
  std::mt19937_64 rng(seed);
  shuffleKeepingFirstTriangle(p, rng);
  return p;
}

// ---------------------------------------------------------------------------
// Running both versions

constexpr int kPattern = 0x5a5a5a5a;  // what the arrays hold before a call

struct Lists {
  std::vector<int> adjNode, adjNext, adjLast;
  int adjFree = -7, status = -77;
  explicit Lists(int n) : adjNode(6 * n, kPattern), adjNext(6 * n, kPattern), adjLast(n, kPattern) {}
};

template <typename Triangulate>
Lists triangulateWith(Triangulate tri, const Points& p) {
  Lists l(p.n());
  const int n = p.n();
  tri(&n, p.x.data(), p.y.data(), l.adjNode.data(), l.adjNext.data(), l.adjLast.data(), &l.adjFree,
      &l.status);
  return l;
}

void expectSameLists(const Lists& fast, const Lists& slow, const std::string& what) {
  EXPECT_EQ(fast.status, slow.status) << what;
  EXPECT_EQ(fast.adjFree, slow.adjFree) << what;
  EXPECT_EQ(fast.adjNode, slow.adjNode) << what << ": adjNode";
  EXPECT_EQ(fast.adjNext, slow.adjNext) << what << ": adjNext";
  EXPECT_EQ(fast.adjLast, slow.adjLast) << what << ": adjLast";
}

// The driver's road through the mesh stages in its iwork: triangulation into
// columns 1, 7, 13, the copies into 26, 32, 38, then the conversion with
// triTable in column 14 and borderTri in column 9.
struct Iwork {
  std::vector<int> iwork;
  int triStatus = -77, listStatus = -77, triCount = -7, borderCount = -7;
};

template <typename Triangulate, typename AndList>
Iwork runMeshStages(Triangulate tri, AndList andList, const Points& p) {
  const int n = p.n();
  Iwork w;
  w.iwork.assign(static_cast<size_t>(kIworkColumns) * n, kPattern);
  int* iw = w.iwork.data();
  int adjFree = 0;
  tri(&n, p.x.data(), p.y.data(), column(iw, kAdjNodeCol, n), column(iw, kAdjNextCol, n),
      column(iw, kAdjLastCol, n), &adjFree, &w.triStatus);
  if (w.triStatus != 0) return w;
  std::copy_n(column(iw, kAdjNodeCol, n), adjFree - 1, column(iw, kAdjNodeCopyCol, n));
  std::copy_n(column(iw, kAdjNextCol, n), adjFree - 1, column(iw, kAdjNextCopyCol, n));
  std::copy_n(column(iw, kAdjLastCol, n), n, column(iw, kAdjLastCopyCol, n));
  andList(&n, p.x.data(), p.y.data(), &w.triCount, column(iw, kTriVertexCol, n), &w.borderCount,
          column(iw, kBorderSegCol, n), &w.listStatus, column(iw, kAdjNodeCol, n),
          column(iw, kAdjNextCol, n), column(iw, kAdjLastCol, n), column(iw, kTriTableCol, n),
          column(iw, kBorderTriCol, n));
  return w;
}

// The grid driver's road: sdExtractBorder, then sdRemoveThinTriangles.
template <typename Extract, typename RemoveThin>
auto extractThenRemove(Extract extract, RemoveThin removeThin) {
  return [=](const int* n, const double* x, const double* y, int* triCount, int* triVertex,
             int* borderCount, int* borderSeg, int* status, const int* adjNode, const int* adjNext,
             const int* adjLast, int* triTable, int* borderTri) {
    extract(n, triCount, triVertex, borderCount, borderSeg, status, adjNode, adjNext, adjLast,
            triTable);
    if (*status == 0) removeThin(n, x, y, triCount, triVertex, borderCount, borderSeg, borderTri);
  };
}

Iwork fastStages(const Points& p) { return runMeshStages(sdTriangulate, sdTriangulateAndList, p); }
Iwork fastGridStages(const Points& p) {
  return runMeshStages(sdTriangulate, extractThenRemove(sdExtractBorder, sdRemoveThinTriangles), p);
}
Iwork slowStages(const Points& p) {
  return runMeshStages(ref::sdTriangulate, ref::sdTriangulateAndList, p);
}

// ---------------------------------------------------------------------------

// Exact sign of (xb - xa)(yp - ya) - (xp - xa)(yb - ya) for coordinates that
// are multiples of 2^-52 below 2 in magnitude: differences are exact in 54
// bits, products in 108, and quad precision (113 bits) then rounds only the
// final difference, which keeps its sign.
int exactSide(double ax, double ay, double bx, double by, double px, double py) {
  using Q = __float128;
  const Q l = (Q(bx) - Q(ax)) * (Q(py) - Q(ay));
  const Q r = (Q(px) - Q(ax)) * (Q(by) - Q(ay));
  return l > r ? 1 : (l < r ? -1 : 0);
}

TEST(FastMesh, CertainSideIsRightWheneverItDecides) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int decided = 0, computedWrong = 0, trials = 0;
  for (int i = 0; i < 200000; ++i) {
    double ax = u(rng), ay = u(rng), bx = u(rng), by = u(rng);
    // P on the line A-B (up to the rounding of the coordinates), then
    // nudged by a few units in the last place or not at all.
    const double t = 3 * u(rng);
    double px = ax + t * (bx - ax), py = ay + t * (by - ay);
    if (std::fabs(px) >= 2 || std::fabs(py) >= 2) continue;
    const int nudge = static_cast<int>(rng() % 9) - 4;
    for (int k = 0; k < std::abs(nudge); ++k) px = std::nextafter(px, nudge > 0 ? 2.0 : -2.0);
    if (i % 4 == 0) px = u(rng), py = u(rng);  // generic points too
    auto grid52 = [](double v) { return std::ldexp(std::nearbyint(std::ldexp(v, 52)), -52); };
    ax = grid52(ax), ay = grid52(ay), bx = grid52(bx), by = grid52(by);
    px = grid52(px), py = grid52(py);
    ++trials;
    const int exact = exactSide(ax, ay, bx, by, px, py);
    const int certain = sdCertainSide(ax, ay, bx, by, px, py);
    const bool computedLeft = (bx - ax) * (py - ay) >= (px - ax) * (by - ay);
    if (computedLeft != (exact >= 0)) {
      ++computedWrong;
      EXPECT_EQ(certain, 0) << "a wrongly computed test must not be certified";
    }
    if (certain != 0) {
      ++decided;
      ASSERT_EQ(certain, exact) << std::hexfloat << ax << ' ' << ay << ' ' << bx << ' ' << by
                                << ' ' << px << ' ' << py;
    }
  }
  EXPECT_GT(computedWrong, 100);         // the data does reach the rounding zone
  EXPECT_GT(decided, trials / 4);        // and the generic quarter is decided
  // Overflowing differences, and products in the subnormal range, are never
  // certified; exact zeros are not either.
  EXPECT_EQ(sdCertainSide(-1e308, 0, 1e308, 1, 0, 1e308), 0);
  EXPECT_EQ(sdCertainSide(0, 0, 1e-170, 0, 0, 1e-170), 0);
  EXPECT_EQ(sdCertainSide(0, 0, 1, 1, 2, 2), 0);
  EXPECT_EQ(sdCertainSide(0, 0, 1, 0, 0, 1), 1);
  EXPECT_EQ(sdCertainSide(0, 0, 1, 0, 0, -1), -1);

  // sdKnownSide adds exactly computed cases: ties of integer points, and
  // tiny exact values the filter leaves open (P = (5, 12) is 2^-51 right of
  // the line from (7, 13) to (3 + 2^-51, 11), computed without rounding).
  EXPECT_EQ(sdKnownSide(0, 0, 1, 1, 2, 2), 0);
  EXPECT_EQ(sdKnownSide(7, 13, 3, 11, 5, 12), 0);
  EXPECT_EQ(sdCertainSide(7, 13, 3 + 0x1p-51, 11, 5, 12), 0);
  EXPECT_EQ(sdKnownSide(7, 13, 3 + 0x1p-51, 11, 5, 12), -1);
  EXPECT_EQ(sdKnownSide(7, 13, 3 - 0x1p-50, 11, 5, 12), 1);
  EXPECT_EQ(sdKnownSide(7, 13, 3 - 0x1p-51, 11, 5, 12), kSideUnknown);  // 7 - B rounds
  EXPECT_EQ(sdKnownSide(0, 0, 0.1, 0.3, 0.2, 0.6), kSideUnknown);  // rounded products
  EXPECT_EQ(sdKnownSide(0, 0, 1e-170, 0, 0, 1e-170), kSideUnknown);
  EXPECT_EQ(sdKnownSide(0, 0, 0, 0, 1, 1), 0);  // A = B: both products exactly zero
}

// Direct check of the locator: on meshes of several kinds, for many points P
// and start nodes m0 (interior and hull nodes), whenever the locator answers
// it gives the walk's triangle in the walk's vertex order.
TEST(FastMesh, LocatorAnswersExactlyAsTheWalk) {
  std::mt19937_64 rng(11);
  // Least share of queries answered (grid points on rays through m0 and the
  // rings' cocircular points often take the walk).
  const std::vector<std::pair<Points, double>> sets = {
      {uniform(3000, 1), 0.95}, {grid(50, 2), 0.8},  {clustered(3000, 3), 0.95},
      {band(2000, 4), 0.95},    {rings(5), 0.7},     {grid(40, 6, 1e-12), 0.95}};
  for (const auto& [p, share] : sets) {
    SCOPED_TRACE(p.name);
    const int n = p.n();
    // Mesh of the first `built` points; the others are query points.
    const int built = n * 3 / 4;
    Points head{p.name, {p.x.begin(), p.x.begin() + built}, {p.y.begin(), p.y.begin() + built}};
    const Lists mesh = triangulateWith(ref::sdTriangulate, head);
    ASSERT_EQ(mesh.status, 0);
    CompactMesh compact(n, p.x.data(), p.y.data());
    ASSERT_TRUE(compact.load(built, mesh.adjNode.data(), mesh.adjNext.data(), mesh.adjLast.data()));
    InsertionLocator locator(compact, compact.internal(1), compact.internal(2), compact.internal(3));
    for (int k = 4; k <= built; ++k) locator.recordNode(compact.internal(k), k);
    int answered = 0, queries = 0;
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    for (int q = built; q < n; ++q) {
      for (int rep = 0; rep < 3; ++rep) {
        // Query the remaining data points, and points half way to a node.
        double px = p.x[q], py = p.y[q];
        if (rep == 2) {
          const int other = static_cast<int>(rng() % built);
          px = 0.5 * (px + p.x[other]);
          py = 0.5 * (py + p.y[other]);
        }
        const int m0 = 1 + static_cast<int>(rng() % built);
        int f1 = -9, f2 = -9, f3 = -9;
        ++queries;
        if (locator.locate(compact.internal(m0), px, py, built, &f1, &f2, &f3) !=
            InsertionLocator::Answer::kFound) {
          continue;
        }
        ++answered;
        f1 = compact.external(f1), f2 = compact.external(f2), f3 = compact.external(f3);
        int s1 = 0, s2 = 0, s3 = 0;
        ref::sdFindTriangle(&m0, &px, &py, p.x.data(), p.y.data(), mesh.adjNode.data(),
                            mesh.adjNext.data(), mesh.adjLast.data(), &s1, &s2, &s3, &built);
        ASSERT_EQ(f1, s1) << "m0 " << m0 << " query " << q;
        ASSERT_EQ(f2, s2) << "m0 " << m0 << " query " << q;
        ASSERT_EQ(f3, s3) << "m0 " << m0 << " query " << q;
      }
    }
    EXPECT_GT(answered, share * queries);
  }
}

// The walks cost n^1.5 here (1e5 points: about 1.5 s in a release build); the
// sanitizer build, which checks memory use rather than bits, takes fewer.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kLargeUniform = 20000;
#else
constexpr int kLargeUniform = 100000;
#endif

TEST(FastMesh, LargeUniformTriangulationEqualsTheWalks) {
  const Points p = uniform(kLargeUniform, 21);
  expectSameLists(triangulateWith(sdTriangulate, p), triangulateWith(ref::sdTriangulate, p),
                  p.name);
}

// Whole iwork after triangulation, list copies and conversion (triangle table,
// border chain, thin-triangle removal), on every kind of data at a few sizes.
TEST(FastMesh, MeshStagesLeaveTheReferenceIwork) {
  std::vector<Points> sets = {uniform(10, 31),    uniform(100, 32),   uniform(3000, 33),
                              grid(4, 34),        grid(30, 35),       grid(60, 36),
                              grid(30, 37, 1e-9), grid(30, 38, 1e-13), clustered(200, 39),
                              clustered(4000, 40), band(50, 41),      band(3000, 42),
                              arc(300, 43),       rings(44)};
  for (const Points& p : sets) {
    SCOPED_TRACE(p.name);
    const Iwork slow = slowStages(p);
    ASSERT_EQ(slow.triStatus, 0);
    for (const Iwork& fast : {fastStages(p), fastGridStages(p)}) {
      EXPECT_EQ(fast.triStatus, slow.triStatus);
      EXPECT_EQ(fast.listStatus, slow.listStatus);
      EXPECT_EQ(fast.triCount, slow.triCount);
      EXPECT_EQ(fast.borderCount, slow.borderCount);
      EXPECT_TRUE(fast.iwork == slow.iwork) << "iwork differs";
    }
  }
}

// The long thin sets do exercise the removal: several triangles per set, and
// triangles shifted in the middle of the list.
TEST(FastMesh, ThinRemovalIsExercisedByTheLongThinSets) {
  for (const Points& p : {band(3000, 42), arc(300, 43)}) {
    const Lists l = triangulateWith(ref::sdTriangulate, p);
    const int n = p.n();
    std::vector<int> triVertex(6 * n), borderSeg(2 * n), triTable(12 * n);
    int triCount = 0, borderCount = 0, status = 0;
    ref::sdExtractBorder(&n, &triCount, triVertex.data(), &borderCount, borderSeg.data(), &status,
                         l.adjNode.data(), l.adjNext.data(), l.adjLast.data(), triTable.data());
    const int before = triCount;
    std::vector<int> borderTri(n);
    ref::sdRemoveThinTriangles(&n, p.x.data(), p.y.data(), &triCount, triVertex.data(),
                               &borderCount, borderSeg.data(), borderTri.data());
    EXPECT_GE(before - triCount, 3) << p.name;
  }
}

// sdRemoveThinTriangles on arbitrary triangle lists and chains (vertices in
// range): repeated vertices, segments without a triangle, border triangles
// named by several segments, a chain that reaches n segments. The renumbering,
// the stale slots and the scratch must still come out as the plain procedure
// leaves them.
TEST(FastMesh, ThinRemovalMatchesOnArbitraryLists) {
  std::mt19937_64 rng(51);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int changed = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = 6 + static_cast<int>(rng() % 30);
    const int tris = 1 + static_cast<int>(rng() % (2 * n));
    const int segs = 1 + static_cast<int>(rng() % n);
    const int hubs = 2 + static_cast<int>(rng() % 4);  // few distinct segment starts
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) x[i] = u(rng), y[i] = trial % 3 == 0 ? 0.01 * u(rng) : u(rng);
    std::vector<int> triVertex(6 * n + 3, kPattern), borderSeg(2 * n + 2, kPattern);
    std::vector<int> borderTri(n + 1, kPattern);
    for (int r = 0; r < 3 * tris; ++r) triVertex[r] = 1 + static_cast<int>(rng() % n);
    for (int l = 0; l < segs; ++l) {
      borderSeg[2 * l] = 1 + static_cast<int>(rng() % hubs);
      borderSeg[2 * l + 1] = 1 + static_cast<int>(rng() % n);
    }
    std::vector<int> tv2 = triVertex, bs2 = borderSeg, bt2 = borderTri;
    int tc1 = tris, bc1 = segs, tc2 = tris, bc2 = segs;
    sdRemoveThinTriangles(&n, x.data(), y.data(), &tc1, triVertex.data(), &bc1, borderSeg.data(),
                          borderTri.data());
    ref::sdRemoveThinTriangles(&n, x.data(), y.data(), &tc2, tv2.data(), &bc2, bs2.data(),
                               bt2.data());
    ASSERT_EQ(tc1, tc2) << "trial " << trial;
    ASSERT_EQ(bc1, bc2) << "trial " << trial;
    ASSERT_EQ(triVertex, tv2) << "trial " << trial;
    ASSERT_EQ(borderSeg, bs2) << "trial " << trial;
    ASSERT_EQ(borderTri, bt2) << "trial " << trial;
    changed += tc1 < tris;
  }
  EXPECT_GT(changed, 1000);
}

// Lists damaged after the triangulation (neighbours replaced by other nodes):
// the conversion gives the straightforward status, counts and arrays, also
// when it fails half way (partial triangle table, partly chained border).
TEST(FastMesh, DamagedListsConvertAsTheReferenceDoes) {
  std::mt19937_64 rng(61);
  int failures = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const Points p = trial % 2 ? uniform(40, 100 + trial) : grid(6, 100 + trial);
    Lists l = triangulateWith(ref::sdTriangulate, p);
    ASSERT_EQ(l.status, 0);
    const int n = p.n();
    const int damage = 1 + static_cast<int>(rng() % 3);
    for (int d = 0; d < damage; ++d) {
      const int c = static_cast<int>(rng() % (l.adjFree - 1));
      const int v = 1 + static_cast<int>(rng() % n);
      l.adjNode[c] = l.adjNode[c] < 0 ? -v : v;
    }
    auto convert = [&](auto andList) {
      Iwork w;
      w.iwork.assign(static_cast<size_t>(kIworkColumns) * n, kPattern);
      int* iw = w.iwork.data();
      std::copy(l.adjNode.begin(), l.adjNode.end(), column(iw, kAdjNodeCol, n));
      std::copy(l.adjNext.begin(), l.adjNext.end(), column(iw, kAdjNextCol, n));
      std::copy(l.adjLast.begin(), l.adjLast.end(), column(iw, kAdjLastCol, n));
      andList(&n, p.x.data(), p.y.data(), &w.triCount, column(iw, kTriVertexCol, n),
              &w.borderCount, column(iw, kBorderSegCol, n), &w.listStatus,
              column(iw, kAdjNodeCol, n), column(iw, kAdjNextCol, n), column(iw, kAdjLastCol, n),
              column(iw, kTriTableCol, n), column(iw, kBorderTriCol, n));
      return w;
    };
    const Iwork fast = convert(sdTriangulateAndList);
    const Iwork slow = convert(ref::sdTriangulateAndList);
    ASSERT_EQ(fast.listStatus, slow.listStatus) << "trial " << trial;
    ASSERT_EQ(fast.triCount, slow.triCount) << "trial " << trial;
    ASSERT_EQ(fast.borderCount, slow.borderCount) << "trial " << trial;
    ASSERT_TRUE(fast.iwork == slow.iwork) << "trial " << trial;
    failures += slow.listStatus != 0;
  }
  EXPECT_GT(failures, 100);
  EXPECT_LT(failures, 400);
}

// Failures: duplicates (the status names the earlier point), collinear first
// points, non-finite coordinates; the fast version stops at the same point
// with the same partial lists.
TEST(FastMesh, FailuresStopAtTheSamePointWithTheSameLists) {
  std::vector<Points> sets;
  Points dup = uniform(500, 71);
  dup.x[400] = dup.x[123], dup.y[400] = dup.y[123];
  dup.name = "duplicate";
  sets.push_back(dup);
  Points gridDup = grid(20, 72);
  gridDup.x.push_back(gridDup.x[200]), gridDup.y.push_back(gridDup.y[200]);
  gridDup.name = "grid duplicate";
  sets.push_back(gridDup);
  sets.push_back({"collinear start", {0, 1, 2, 0.5, 3}, {0, 1, 2, 7, -1}});
  Points nan = uniform(50, 73);
  nan.y[30] = std::numeric_limits<double>::quiet_NaN();
  nan.name = "NaN";
  sets.push_back(nan);
  // Nearly collinear points that put point 14, a copy of hull node 1, outside
  // the hull: still a repeat of point 1.
  sets.push_back(
      {"repeated hull point outside",
       {0x0p+0, -0x1.5e31712d82bcap+0, -0x1.5e31712d82e38p+1, -0x1.75823bf5bc108p+0,
        -0x1.69d9d6919f5b6p+1, -0x1.0c79479430608p+2, -0x1.75823bf5bbebep+1,
        -0x1.124d7a463e9d6p+2, -0x1.69d9d6919f37ep+2, -0x1.1821acf84ce4fp+2,
        -0x1.6fae0943ad942p+2, -0x1.c73a658f0e24ap+2, -0x1.75823bf5bbdbep+2, 0x0p+0},
       {0x0p+0, 0x1.75823bf5bbdbep+0, 0x1.75823bf5bc056p+1, -0x1.5e31712d82edep+0,
        0x1.750cac839205p-4, 0x1.8cd306bdf50bep+0, -0x1.5e31712d82cbap+1, -0x1.46e0a665499dbp+0,
        0x1.750cac839463p-3, -0x1.06a514e2220d7p+2, -0x1.52890bc9662cfp+1,
        -0x1.2f8fdb9d1009ep+0, -0x1.5e31712d82bcap+2, 0x0p+0}});
  for (const Points& p : sets) expectSameLists(triangulateWith(sdTriangulate, p),
                                               triangulateWith(ref::sdTriangulate, p), p.name);
  EXPECT_EQ(triangulateWith(sdTriangulate, sets[0]).status, 124);
  EXPECT_EQ(triangulateWith(sdTriangulate, sets.back()).status, 1);
}

// Nearly degenerate sets, where the walk's tests contradict each other and
// the walk strays, gives up or breaks the lists: points on rotated lines
// after a proper triangle, rotated and jittered grids (collinear and
// cocircular up to rounding), clusters 1e-13 wide, distinct points of a small
// integer lattice, a circle with its centre. Statuses and lists, partial ones
// included, must be those of the straightforward version.
TEST(FastMesh, NearlyDegenerateSetsMatchIncludingFailures) {
  std::mt19937_64 rng(101);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int failures = 0, sets = 0;
  for (int trial = 0; trial < 900; ++trial) {
    Points p{"kind " + std::to_string(trial % 6) + " trial " + std::to_string(trial), {}, {}};
    const int n = 20 + static_cast<int>(rng() % 150);
    switch (trial % 6) {
      case 0: {  // points on 1 to 3 rotated lines
        p.x = {0, 3, 1}, p.y = {2, -1, -2};
        const int lines = 1 + static_cast<int>(rng() % 3);
        std::vector<double> angle(lines), offset(lines);
        for (int l = 0; l < lines; ++l) angle[l] = 3.14159 * u(rng), offset[l] = u(rng);
        for (int i = 0; i < n; ++i) {
          const int l = static_cast<int>(rng() % lines);
          const double t = 10 * u(rng) - 5;
          p.x.push_back(offset[l] + t * std::cos(angle[l]));
          p.y.push_back(-offset[l] + t * std::sin(angle[l]));
        }
        break;
      }
      case 1: {  // rotated grid
        const int side = 4 + static_cast<int>(rng() % 12);
        const double c = std::cos(3.14159 * u(rng)), sn = std::sin(3.14159 * u(rng));
        for (int i = 0; i < side; ++i) {
          for (int j = 0; j < side; ++j) p.x.push_back(c * i - sn * j), p.y.push_back(sn * i + c * j);
        }
        shuffleKeepingFirstTriangle(p, rng);
        break;
      }
      case 2:  // grid jittered by about an ulp
        p = grid(4 + static_cast<int>(rng() % 12), static_cast<unsigned>(rng()), 1e-15);
        break;
      case 3:  // clusters 1e-13 wide around lattice points
        for (int i = 0; i < n; ++i) {
          p.x.push_back(static_cast<double>(rng() % 5) + 1e-13 * u(rng));
          p.y.push_back(static_cast<double>(rng() % 5) + 1e-13 * u(rng));
        }
        shuffleKeepingFirstTriangle(p, rng);
        break;
      case 4: {  // distinct points of a small lattice: many exact ties
        const int side = 8 + static_cast<int>(rng() % 16);
        std::vector<int> cells(side * side);
        std::iota(cells.begin(), cells.end(), 0);
        std::shuffle(cells.begin(), cells.end(), rng);
        for (int i = 0; i < std::min(n, side * side / 2); ++i) {
          p.x.push_back(0.5 * (cells[i] / side));
          p.y.push_back(0.25 * (cells[i] % side));
        }
        shuffleKeepingFirstTriangle(p, rng);
        break;
      }
      default:  // a circle and its centre
        p.x.push_back(1e-3), p.y.push_back(2e-3);
        for (int i = 0; i < n; ++i) {
          const double a = 6.283185307179586 * u(rng);
          p.x.push_back(std::cos(a)), p.y.push_back(std::sin(a));
        }
        shuffleKeepingFirstTriangle(p, rng);
    }
    const Lists slow = triangulateWith(ref::sdTriangulate, p);
    expectSameLists(triangulateWith(sdTriangulate, p), slow, p.name);
    failures += slow.status != 0;
    ++sets;
  }
  EXPECT_GT(failures, 50);  // the failure paths are exercised
  EXPECT_LT(failures, sets / 2);
}

// The compact store against the plain linked lists, edit by edit: random
// sequences of the edits the insertion uses, on lists of assorted lengths
// (including one- and two-cell lists), leave the same cells, links and last
// cells; unlinking from a one-cell list is the one edit reported as lost.
TEST(FastMesh, CompactStoreFollowsEveryListEdit) {
  std::mt19937_64 rng(81);
  const int n = 12;
  std::vector<double> x(n), y(n);
  for (int i = 0; i < n; ++i) x[i] = i, y[i] = (i * 7) % n;
  int lost = 0, longest = 0;
  for (int trial = 0; trial < 300; ++trial) {
    CompactMesh compact(n, x.data(), y.data());
    std::vector<int> node(16 * n, 0), next(16 * n, 0), last(n, 0);
    int free = 1;
    auto pick = [&](int k) { return static_cast<int>(rng() % k); };
    // Plain edits, 1-based cells.
    auto insertAfter = [&](int lp, int value, int cell) {
      node[cell - 1] = value, next[cell - 1] = next[lp - 1], next[lp - 1] = cell;
    };
    auto cellsOf = [&](int k) {
      std::vector<int> cells;
      int c = last[k - 1];
      do c = next[c - 1], cells.push_back(c);
      while (c != last[k - 1]);
      return cells;
    };
    for (int k = 1; k <= n; ++k) {
      const int len = 1 + pick(4);
      std::vector<int> values(len);
      for (int& v : values) v = (1 + pick(n)) * (pick(5) == 0 ? -1 : 1);
      compact.makeList(compact.internal(k), std::vector<int>(len, 0).data(), len, free);
      for (int j = 0; j < len; ++j) {
        const int v = values[j];
        compact.setNode(compact.internal(k), free + j,
                        v < 0 ? -compact.internal(-v) : compact.internal(v));
        node[free + j - 1] = v;
        next[free + j - 1] = j + 1 < len ? free + j + 1 : free;
      }
      last[k - 1] = free + len - 1;
      free += len;
    }
    for (int step = 0; step < 80; ++step) {
      // Node 1 gets many cells: its list outgrows the record and then its
      // first spill block.
      const int k = pick(3) == 0 ? 1 : 1 + pick(n), r = compact.internal(k);
      const std::vector<int> cells = cellsOf(k);
      const int lp = cells[pick(static_cast<int>(cells.size()))];
      const int v = 1 + pick(n);
      const int op = k == 1 && pick(4) != 0 ? 0 : pick(4);
      if (op == 0) {  // a new cell after lp
        insertAfter(lp, v, free);
        compact.insertAfter(r, lp, compact.internal(v), free);
        ++free;
      } else if (op == 1) {  // move the cell after lp to another list
        const int freed = compact.unlinkAfter(r, lp);
        if (cells.size() == 1) {
          EXPECT_EQ(freed, core::kLostTrack);
          ++lost;
          break;
        }
        const int plainFreed = next[lp - 1];
        next[lp - 1] = next[plainFreed - 1];
        if (last[k - 1] == plainFreed) last[k - 1] = lp;
        ASSERT_EQ(freed, plainFreed);
        int k2 = 1 + pick(n);
        while (k2 == k) k2 = 1 + pick(n);
        const std::vector<int> cells2 = cellsOf(k2);
        const int lp2 = cells2[pick(static_cast<int>(cells2.size()))];
        next[freed - 1] = next[lp2 - 1], next[lp2 - 1] = freed, node[freed - 1] = v;
        compact.relinkAfter(compact.internal(k2), lp2, freed, compact.internal(v));
      } else if (op == 2) {
        last[k - 1] = lp;
        compact.setLast(r, lp);
      } else {
        node[lp - 1] = -v;
        compact.setNode(r, lp, -compact.internal(v));
      }
      std::vector<int> cnode(16 * n, 0), cnext(16 * n, 0), clast(n, 0);
      compact.materialize(cnode.data(), cnext.data(), clast.data());
      ASSERT_EQ(cnode, node) << "trial " << trial << " step " << step;
      ASSERT_EQ(cnext, next) << "trial " << trial << " step " << step;
      ASSERT_EQ(clast, last) << "trial " << trial << " step " << step;
      const ref::mesh_detail::Lists<const int> plain{node.data(), next.data(), last.data()};
      EXPECT_EQ(compact.findCell(r, compact.internal(v), 100), plain.findCell(k, v, 100));
      longest = std::max(longest, compact.degree(r));
    }
  }
  EXPECT_GT(lost, 0);
  EXPECT_GT(longest, 16);
}

// The store's triangulation check gives the verdict of the check on the
// caller's lists, for sound meshes and for lists damaged in ways that keep
// each list a cycle (neighbours replaced, repeated, negated, or cells moved
// from one list to another).
TEST(FastMesh, CompactCheckAgreesWithListCheck) {
  std::mt19937_64 rng(91);
  int rejected = 0, trials = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const Points p = trial % 3 == 0 ? grid(5 + trial % 4, 200 + trial) : uniform(30, 200 + trial);
    Lists l = triangulateWith(ref::sdTriangulate, p);
    ASSERT_EQ(l.status, 0);
    const int n = p.n();
    const int cells = l.adjFree - 1;
    if (trial % 5 != 0) {
      const int c = static_cast<int>(rng() % cells);
      switch (trial % 4) {
        case 0: l.adjNode[c] = 1 + static_cast<int>(rng() % n); break;
        case 1: l.adjNode[c] = -l.adjNode[c]; break;
        case 2: l.adjNode[c] = l.adjNode[l.adjNext[c] - 1]; break;
        default: {  // move the cell after c's successor into another list
          const int from = l.adjNext[c];
          const int moved = l.adjNext[from - 1];
          if (moved == c + 1) break;
          int target = 1 + static_cast<int>(rng() % n);
          const int lp = l.adjLast[target - 1];
          l.adjNext[from - 1] = l.adjNext[moved - 1];
          for (int v = 1; v <= n; ++v) {
            if (l.adjLast[v - 1] == moved) l.adjLast[v - 1] = from;
          }
          l.adjNext[moved - 1] = l.adjNext[lp - 1];
          l.adjNext[lp - 1] = moved;
        }
      }
    }
    CompactMesh compact(n, p.x.data(), p.y.data());
    if (!compact.load(n, l.adjNode.data(), l.adjNext.data(), l.adjLast.data())) continue;
    ++trials;
    const bool expected = ref::sdCheckTriangulation(&n, l.adjNode.data(), l.adjNext.data(),
                                                    l.adjLast.data(), &l.adjFree);
    ASSERT_EQ(compact.formsTriangulation(cells), expected) << "trial " << trial;
    rejected += !expected;
  }
  EXPECT_GT(trials, 400);
  EXPECT_GT(rejected, 200);
  EXPECT_LT(rejected, trials);
}

// The per-step routines on the caller's lists (the path taken when the fast
// store cannot follow an edit): inserting point after point with sdInsertNode
// from the previous node gives the straightforward lists.
TEST(FastMesh, InsertionStepByStepOnTheListsMatches) {
  for (const Points& p : {uniform(500, 95), grid(15, 96), band(300, 97)}) {
    SCOPED_TRACE(p.name);
    const int n = p.n();
    Lists l(n);
    const int three = 3;
    sdTriangulate(&three, p.x.data(), p.y.data(), l.adjNode.data(), l.adjNext.data(),
                  l.adjLast.data(), &l.adjFree, &l.status);
    ASSERT_EQ(l.status, 0);
    for (int k = 4; k <= n; ++k) {
      const int prev = k - 1;
      sdInsertNode(&k, &p.x[k - 1], &p.y[k - 1], &prev, &prev, p.x.data(), p.y.data(),
                   l.adjNode.data(), l.adjNext.data(), l.adjLast.data(), &l.adjFree, &l.status);
      ASSERT_EQ(l.status, 0) << "point " << k;
    }
    expectSameLists(l, triangulateWith(ref::sdTriangulate, p), p.name);
  }
}

}  // namespace
}  // namespace lum::scattered
