// The indexed triangle search, the drivers' evaluation and concurrent
// evaluation of one prepared surface, compared bit for bit with the
// straightforward location in reference/location_reference.h and with the
// evaluation without its quintic cache.
#include <gtest/gtest.h>

#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "scattered/point_location.h"
#include "reference/location_reference.h"

namespace {

using lum::scattered::BorderLocator;
using lum::scattered::PointLocator;
using lum::scattered::TriangleLocator;
namespace ref = lum::scattered::reference;
using Vec = std::vector<double>;
using IVec = std::vector<int>;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const long long kManyQueries = 1LL << 40;  // a locator expecting many points indexes at once, with boxes

template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

struct Data {
  std::string name;
  Vec x, y;
  bool borderIndex = true;  // false: too far from the origin for the border's grid
};

// Data sets of the kinds that stress location: ties and cocircular points on
// lattices, collinearity up to rounding, clusters, long thin areas.
Data uniform(int n, unsigned seed) {
  Data d{"uniform" + std::to_string(n), {}, {}};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int i = 0; i < n; ++i) d.x.push_back(u(rng)), d.y.push_back(u(rng));
  return d;
}
// m x m lattice in shuffled order; `angle` rotates it (collinear only up to
// rounding), `jitter` perturbs it.
Data lattice(int m, double angle, double jitter, unsigned seed) {
  Data d{"lattice" + std::to_string(m) + "_" + std::to_string(angle) + "_" + std::to_string(jitter), {}, {}};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      const double px = i + jitter * u(rng), py = j + jitter * u(rng);
      d.x.push_back(angle == 0.0 ? px : std::cos(angle) * px - std::sin(angle) * py);
      d.y.push_back(angle == 0.0 ? py : std::sin(angle) * px + std::cos(angle) * py);
    }
  for (size_t k = d.x.size() - 1; k > 0; --k) {
    const size_t r = rng() % (k + 1);
    std::swap(d.x[k], d.x[r]);
    std::swap(d.y[k], d.y[r]);
  }
  return d;
}
// Uniform points in a square of side `side` far from the origin.
Data shifted(int n, double x0, double y0, double side, unsigned seed) {
  Data d = uniform(n, seed);
  d.name = "shifted" + std::to_string(x0);
  for (size_t i = 0; i < d.x.size(); ++i) d.x[i] = x0 + side * d.x[i], d.y[i] = y0 + side * d.y[i];
  d.borderIndex = std::fabs(y0) < 1e7 * side;
  return d;
}
// Concentric rings of 16 points each (cocircular quadruples everywhere).
Data rings(int count) {
  Data d{"rings", {0.0}, {0.0}};
  for (int r = 1; r <= count; ++r)
    for (int k = 0; k < 16; ++k) {
      d.x.push_back(r * std::cos(k * M_PI / 8 + 0.1 * r));
      d.y.push_back(r * std::sin(k * M_PI / 8 + 0.1 * r));
    }
  return d;
}
Data clusters(int n, unsigned seed) {
  Data d{"clusters", {}, {}};
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  const double cx[] = {0.0, 50.0, 52.0, 10.0}, cy[] = {0.0, 3.0, 40.0, 60.0}, s[] = {1.0, 0.01, 3.0, 1e-4};
  for (int i = 0; i < n; ++i) d.x.push_back(cx[i % 4] + s[i % 4] * g(rng)), d.y.push_back(cy[i % 4] + s[i % 4] * g(rng));
  return d;
}
// A band 1000 long and 1 wide, and a thin parabolic arc.
Data band(int n, unsigned seed) {
  Data d{"band", {}, {}};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int i = 0; i < n; ++i) d.x.push_back(1000 * u(rng)), d.y.push_back(u(rng));
  return d;
}
Data arc(int n, unsigned seed) {
  Data d{"arc", {}, {}};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < n; ++i) {
    const double t = u(rng);
    d.x.push_back(t);
    d.y.push_back(t * t + 0.01 * u(rng));
  }
  return d;
}

// A surface prepared by sdbi3p_ (values from a smooth function).
struct Surface {
  Data data;
  Vec z, work;
  IVec iwork;
  int n = 0, triCount = 0, borderCount = 0;
  explicit Surface(const Data& d) : data(d), n(static_cast<int>(d.x.size())) {
    for (int i = 0; i < n; ++i) z.push_back(std::sin(0.3 * data.x[i]) * std::cos(0.2 * data.y[i]) + 0.01 * data.x[i]);
    work.assign(17 * static_cast<size_t>(n), 0.0);
    iwork.assign(39 * static_cast<size_t>(n), 0);
    int mode = 1, one = 1, status = -1;
    double px = data.x[0], py = data.y[0], pz;
    sdbi3p_(&mode, &n, data.x.data(), data.y.data(), z.data(), &one, &px, &py, &pz, &status, work.data(),
            iwork.data(), &borderCount, &triCount);
    EXPECT_EQ(status, 0) << data.name;
  }
  int* tri() { return iwork.data(); }
  int* seg() { return iwork.data() + 6 * static_cast<size_t>(n); }
};

int scanFirst(const Vec& x, const Vec& y, const int* tri, int triCount, double px, double py) {
  for (int t = 1; t <= triCount; ++t)
    if (ref::sdInsideTriangle(x.data(), y.data(), tri, t, px, py)) return t;
  return 0;
}

// Output points that probe the seams: data points, edge midpoints, points on
// and next to the cell boundaries of the index, far points along the lines
// of edges and in every direction, non-finite and subnormal offsets.
void probePoints(const Vec& x, const Vec& y, const int* tri, int triCount, const TriangleLocator::FineGrid& g,
                 unsigned seed, Vec& px, Vec& py) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double w = g.x1 - g.x0, h = g.y1 - g.y0;
  auto add = [&](double a, double b) { px.push_back(a), py.push_back(b); };
  for (int k = 0; k < 400; ++k) add(g.x0 - 0.1 * w + 1.2 * w * u(rng), g.y0 - 0.1 * h + 1.2 * h * u(rng));
  for (int k = 0; k < 200; ++k) {
    const int t = 1 + static_cast<int>(rng() % triCount);
    const int a = tri[3 * t - 3] - 1, b = tri[3 * t - 2] - 1;
    add(x[a], y[a]);
    add((x[a] + x[b]) / 2, (y[a] + y[b]) / 2);
    // Far out on the line of the edge, where rounding can let a point pass.
    const double s = std::pow(10.0, 1 + static_cast<int>(rng() % 20));
    add(x[a] + s * (x[b] - x[a]), y[a] + s * (y[b] - y[a]));
    add(x[a] + std::nextafter(0.0, 1.0), std::nextafter(y[a], kInf));
  }
  for (int i = 0; i <= g.nx; i += 1 + g.nx / 40) {
    const double bx = g.x0 + w * i / g.nx;
    for (double v : {std::nextafter(bx, -kInf), bx, std::nextafter(bx, kInf)}) add(v, g.y0 + h * u(rng));
  }
  for (int j = 0; j <= g.ny; j += 1 + g.ny / 40) {
    const double by = g.y0 + h * j / g.ny;
    for (double v : {std::nextafter(by, -kInf), by, std::nextafter(by, kInf)}) add(g.x0 + w * u(rng), v);
  }
  const double scale = std::max({w, h, 1e-300});
  for (double f : {1.5, 15.9, 16.1, 17.0, 1e3, 1e8, 1e13, 1e15, 1e16, 1e17, 1e20, 1e100, 1e300})
    for (int k = 0; k < 8; ++k) {
      const double phi = 2 * M_PI * u(rng);
      add(g.x0 + f * scale * std::cos(phi), g.y0 + f * scale * std::sin(phi));
    }
  for (double v : {1e308, -1e308, 1e17, -1e20}) add(v, g.y0), add(g.x0, v), add(v, v);
  for (double a : {kNaN, kInf, -kInf, 0.5})
    for (double b : {kNaN, kInf, -kInf}) add(a, b), add(b, a);
}

// Outside probes along the seams of the border regions: on the
// perpendiculars through segment ends, on the extensions of segments and
// chords, and just beside them.
void borderProbes(const Vec& x, const Vec& y, const IVec& seg, unsigned seed, Vec& px, Vec& py) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const int nb = static_cast<int>(seg.size() / 2);
  for (int l = 1 + static_cast<int>(rng() % 3); l <= nb; l += 1 + nb / 60) {
    const int a = seg[2 * l - 2] - 1, b = seg[2 * l - 1] - 1, c = seg[(2 * l + 1) % (2 * nb)] - 1;
    const double ex = x[b] - x[a], ey = y[b] - y[a];
    for (double t : {0.01, 0.3, 2.0, 40.0 * u(rng)}) {
      for (double e : {-1e-12, 0.0, 1e-12}) {
        px.push_back(x[a] + t * ey + e * ex), py.push_back(y[a] - t * ex + e * ey);  // perpendiculars
        px.push_back(x[b] + t * ey + e * ex), py.push_back(y[b] - t * ex + e * ey);
      }
      px.push_back(x[a] - t * ex), py.push_back(y[a] - t * ey);  // extensions
      px.push_back(x[a] + t * (x[c] - x[a])), py.push_back(y[a] + t * (y[c] - y[a]));  // chords
      px.push_back(x[a] + (0.5 + t) * ey + u(rng) * ex), py.push_back(y[a] - (0.5 + t) * ex + u(rng) * ey);
    }
  }
}

// Every probe: the locator (lazy, and with its index forced) against the
// scan; then whole blocks of location codes against the straightforward
// location.
// Returns how many probes the scan put into a triangle whose bounding box
// does not hold them (rounding near needle-thin triangles).
int checkLocation(const Vec& x, const Vec& y, IVec tri, IVec seg, const std::string& name, unsigned seed,
                  bool borderIndex, Vec px = {}, Vec py = {}) {
  int n = static_cast<int>(x.size()), triCount = static_cast<int>(tri.size() / 3);
  int borderCount = static_cast<int>(seg.size() / 2);
  TriangleLocator lazy(n, x.data(), y.data(), tri.data(), triCount, 0);
  TriangleLocator indexed(n, x.data(), y.data(), tri.data(), triCount, 0);
  TriangleLocator dense(n, x.data(), y.data(), tri.data(), triCount, kManyQueries);  // with boxes
  indexed.buildIndexNow();
  probePoints(x, y, tri.data(), triCount, indexed.fineGrid(), seed, px, py);
  borderProbes(x, y, seg, seed, px, py);
  int mismatches = 0, outsideBox = 0;
  for (size_t k = 0; k < px.size(); ++k) {
    if (!std::isfinite(px[k]) || !std::isfinite(py[k])) continue;
    const int expected = scanFirst(x, y, tri.data(), triCount, px[k], py[k]);
    const int a = lazy.firstContaining(px[k], py[k]), b = indexed.firstContaining(px[k], py[k]);
    const int c = dense.firstContaining(px[k], py[k]);
    if (expected > 0) {
      const int* v = &tri[3 * expected - 3];
      const auto [x0, x1] = std::minmax({x[v[0] - 1], x[v[1] - 1], x[v[2] - 1]});
      const auto [y0, y1] = std::minmax({y[v[0] - 1], y[v[1] - 1], y[v[2] - 1]});
      outsideBox += px[k] < x0 || px[k] > x1 || py[k] < y0 || py[k] > y1;
    }
    if (a != expected || b != expected || c != expected) {
      if (++mismatches <= 5)
        ADD_FAILURE() << name << ": point " << k << " (" << std::hexfloat << px[k] << ", " << py[k]
                      << std::defaultfloat << ") scan " << expected << " lazy " << a << " indexed " << b
                      << " dense " << c;
    }
  }
  EXPECT_EQ(mismatches, 0) << name;
  if (triCount >= 32) {
    EXPECT_TRUE(lazy.indexed()) << name;
  }
  // Whole blocks: a locator that indexes when its scans have cost enough,
  // and one indexed from the start, against the straightforward location.
  const size_t count = px.size();
  IVec refCode(count), refIndex(count);
  double* xd = const_cast<double*>(x.data());
  double* yd = const_cast<double*>(y.data());
  for (int b = 0; b < static_cast<int>(count); b += 51) {
    int block = std::min<int>(51, static_cast<int>(count) - b);
    ref::sdLocatePoints(&n, xd, yd, &triCount, tri.data(), &borderCount, seg.data(), &block, &px[b], &py[b],
                        &refCode[b], &refIndex[b]);
  }
  for (bool forced : {false, true}) {
    PointLocator locator(n, x.data(), y.data(), tri.data(), triCount, seg.data(), borderCount,
                         forced ? kManyQueries : 0);
    if (forced) locator.triangles.buildIndexNow(), locator.border.buildIndexNow();
    IVec code(count), index(count);
    for (int b = 0; b < static_cast<int>(count); b += 51) {
      int block = std::min<int>(51, static_cast<int>(count) - b);
      lum::scattered::sdLocatePoints(&n, xd, yd, &triCount, tri.data(), &borderCount, seg.data(), &block, &px[b],
                                     &py[b], &code[b], &index[b], locator);
    }
    int wrong = 0;
    for (size_t k = 0; k < count; ++k) {
      if ((code[k] != refCode[k] || index[k] != refIndex[k]) && ++wrong <= 5)
        ADD_FAILURE() << name << (forced ? " indexed" : " lazy") << ": point " << k << " (" << std::hexfloat
                      << px[k] << ", " << py[k] << std::defaultfloat << ") code " << code[k] << "/" << refCode[k]
                      << " index " << index[k] << "/" << refIndex[k];
    }
    EXPECT_EQ(wrong, 0) << name;
    if (forced || borderCount > 20) {
      EXPECT_EQ(locator.border.indexed(), borderIndex) << name;
    }
  }
  return outsideBox;
}

std::vector<Data> meshData() {
  return {uniform(30, 1),         uniform(2000, 2),   lattice(12, 0.0, 0.0, 3),  lattice(40, 0.0, 0.0, 4),
          lattice(25, 0.3, 0.0, 5), lattice(30, 0.0, 1e-15, 6), rings(40),    clusters(2000, 7),
          band(2000, 8),          arc(1500, 9),       shifted(800, 1e9, -3e8, 100.0, 10),
          shifted(800, 3e10, 1e11, 100.0, 11)};
}

TEST(FastLocation, IndexGivesTheScansTriangleOnMeshes) {
  for (const Data& d : meshData()) {
    Surface s(d);
    if (::testing::Test::HasFailure()) return;
    IVec tri(s.tri(), s.tri() + 3 * s.triCount), seg(s.seg(), s.seg() + 2 * s.borderCount);
    checkLocation(d.x, d.y, tri, seg, d.name, 11, d.borderIndex);
  }
}

// Any list of triangles, not only a mesh: overlapping, clockwise, flat,
// needle-thin (widths down to rounding), huge and tiny triangles, vertices
// shared by many.
TEST(FastLocation, IndexGivesTheScansTriangleOnTriangleSoup) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Vec x, y, px, py;
  IVec tri;
  for (int i = 0; i < 400; ++i) x.push_back(u(rng)), y.push_back(u(rng));
  for (int i = 0; i < 60; ++i) x.push_back(std::floor(8 * u(rng)) / 8), y.push_back(std::floor(8 * u(rng)) / 8);
  for (int t = 0; t < 700; ++t)
    for (int k = 0; k < 3; ++k) tri.push_back(1 + static_cast<int>(rng() % 460));
  // Needles: lengths 1 to 1e-6, middle vertex off the line by 0 to 1e-3 of
  // the length, both orientations; probes along the needle's line.
  for (int i = 0; i < 150; ++i) {
    const double len = std::pow(10.0, -(i % 7)), off = i % 5 == 0 ? 0.0 : std::pow(10.0, -3.0 - i % 16);
    const double x0 = u(rng), y0 = u(rng), phi = 2 * M_PI * u(rng), dx = len * std::cos(phi), dy = len * std::sin(phi);
    const int b = static_cast<int>(x.size()) + 1;
    x.insert(x.end(), {x0, x0 + 0.5 * dx - off * dy, x0 + dx});
    y.insert(y.end(), {y0, y0 + 0.5 * dy + off * dx, y0 + dy});
    tri.insert(tri.end(), {b, b + 1, b + 2, b + 2, b + 1, b});
    for (double s = 1e-3; s < 1e19; s *= 2.5)
      for (double f : {-s, 1.0 + s, 0.5 + 1e-9 * s}) px.push_back(x0 + f * dx), py.push_back(y0 + f * dy);
  }
  tri.insert(tri.end(), {1, 2, 3, 3, 2, 1, 1, 1, 1, 4, 4, 5});
  const int outsideBox = checkLocation(x, y, tri, {1, 2, 2, 3, 3, 1}, "soup", 12, true, px, py);
  EXPECT_GT(outsideBox, 50) << "the probes should reach points that rounding puts into needles";
}

// Location and evaluation through the drivers against the straightforward
// blocks on the same prepared arrays; re-use calls leave the arrays alone.
TEST(FastEvaluation, DriversGiveTheStraightforwardBits) {
  for (const Data& d : {uniform(2500, 31), lattice(30, 0.0, 0.0, 32), clusters(1200, 33), band(1200, 34)}) {
    Surface s(d);
    if (::testing::Test::HasFailure()) return;
    TriangleLocator probe(s.n, d.x.data(), d.y.data(), s.tri(), s.triCount, 0);
    probe.buildIndexNow();
    Vec px, py;
    probePoints(d.x, d.y, s.tri(), s.triCount, probe.fineGrid(), 35, px, py);
    borderProbes(d.x, d.y, IVec(s.seg(), s.seg() + 2 * s.borderCount), 36, px, py);
    int outCount = static_cast<int>(px.size()), mode = 1, status = -1;
    const Vec workBefore = s.work;
    const IVec iworkBefore = s.iwork;
    Vec zOut(outCount), zRef(outCount), zMode3(outCount);
    Calculate_(&mode, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &outCount, px.data(), py.data(),
               zOut.data(), &status, s.work.data(), s.iwork.data(), s.borderCount, s.triCount);
    ASSERT_EQ(status, 0);
    mode = 3;
    sdbi3p_(&mode, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &outCount, px.data(), py.data(),
            zMode3.data(), &status, s.work.data(), s.iwork.data(), &s.borderCount, &s.triCount);
    ref::interpolateBlocks(s.n, s.data.x.data(), s.data.y.data(), s.z.data(), s.work.data(), s.iwork.data(),
                           s.triCount, s.borderCount, outCount, px.data(), py.data(), zRef.data());
    EXPECT_TRUE(sameBits(zOut, zRef)) << d.name;
    EXPECT_TRUE(sameBits(zMode3, zRef)) << d.name;
    EXPECT_TRUE(sameBits(s.work, workBefore) && sameBits(s.iwork, iworkBefore)) << d.name;

    // The grid: nodes inside, on and beyond the data area, unsorted x.
    Vec gx, gy;
    for (int i = 0; i < 130; ++i) gx.push_back(px[(i * 7) % 400]);
    for (int j = 0; j < 90; ++j) gy.push_back(py[(j * 11) % 400]);
    int nx = static_cast<int>(gx.size()), ny = static_cast<int>(gy.size());
    Vec zGrid(gx.size() * gy.size()), zGridRef(zGrid.size());
    mode = 1;
    sdsf3p_(&mode, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &nx, gx.data(), &ny, gy.data(),
            zGrid.data(), &status, s.work.data(), s.iwork.data());
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(sameBits(s.work, workBefore) && sameBits(s.iwork, iworkBefore)) << d.name << ": sdsf3p_ prepares alike";
    ref::gridRows(s.n, s.data.x.data(), s.data.y.data(), s.z.data(), s.work.data(), s.iwork.data(), s.triCount,
                  s.borderCount, nx, gx.data(), ny, gy.data(), zGridRef.data());
    EXPECT_TRUE(sameBits(zGrid, zGridRef)) << d.name;
  }
}

// One prepared surface evaluated from four threads at once (Calculate_ twice,
// sdbi3p_ mode 3, sdsf3p_ mode 3) gives the sequential bits.
TEST(ConcurrencyPreparedSurface, ParallelEvaluationGivesTheSequentialBits) {
  Surface s(uniform(2000, 41));
  ASSERT_FALSE(::testing::Test::HasFailure());
  Vec gx, gy, px, py;
  for (int i = 0; i < 200; ++i) gx.push_back(-0.05 + 1.1 * i / 199), gy.push_back(-0.05 + 1.1 * i / 199);
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> u(-0.1, 1.1);
  for (int k = 0; k < 20000; ++k) px.push_back(u(rng)), py.push_back(u(rng));
  int nx = 200, ny = 200, outCount = static_cast<int>(px.size()), status = -1, mode = 1;
  Vec gridSeq(nx * ny), dummy(1);
  int one = 1;
  sdsf3p_(&mode, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &one, gx.data(), &one, gy.data(), dummy.data(),
          &status, s.work.data(), s.iwork.data());
  ASSERT_EQ(status, 0);
  auto calculate = [&](Vec& out, int& st) {
    int m = 1, count = outCount;
    Calculate_(&m, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &count, px.data(), py.data(), out.data(), &st,
               s.work.data(), s.iwork.data(), s.borderCount, s.triCount);
  };
  auto reuse = [&](Vec& out, int& st) {
    int m = 3, count = outCount, bc = s.borderCount, tc = s.triCount;
    sdbi3p_(&m, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &count, px.data(), py.data(), out.data(), &st,
            s.work.data(), s.iwork.data(), &bc, &tc);
  };
  auto grid = [&](Vec& out, int& st) {
    int m = 3, cx = nx, cy = ny;
    sdsf3p_(&m, &s.n, s.data.x.data(), s.data.y.data(), s.z.data(), &cx, gx.data(), &cy, gy.data(), out.data(), &st,
            s.work.data(), s.iwork.data());
  };
  Vec seqCalc(outCount), seqReuse(outCount);
  int st1 = -1, st2 = -1, st3 = -1;
  calculate(seqCalc, st1);
  reuse(seqReuse, st2);
  grid(gridSeq, st3);
  ASSERT_EQ(st1 + st2 + st3, 0);
  ASSERT_TRUE(sameBits(seqCalc, seqReuse));

  Vec parCalcA(outCount), parCalcB(outCount), parReuse(outCount), parGrid(nx * ny);
  int sa = -1, sb = -1, sc = -1, sd = -1;
  std::thread ta([&] { calculate(parCalcA, sa); });
  std::thread tb([&] { calculate(parCalcB, sb); });
  std::thread tc([&] { reuse(parReuse, sc); });
  std::thread td([&] { grid(parGrid, sd); });
  ta.join(), tb.join(), tc.join(), td.join();
  EXPECT_EQ(sa + sb + sc + sd, 0);
  EXPECT_TRUE(sameBits(parCalcA, seqCalc));
  EXPECT_TRUE(sameBits(parCalcB, seqCalc));
  EXPECT_TRUE(sameBits(parReuse, seqCalc));
  EXPECT_TRUE(sameBits(parGrid, gridSeq));
}

}  // namespace
