// Point location, per-region evaluation and the surface drivers sdbi3p_,
// Calculate_ and sdsf3p_.
#include <gtest/gtest.h>

#include <VORN_LumUtility.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "scattered/cubic_refinement.h"
#include "scattered/evaluation.h"
#include "scattered/point_location.h"
#include "scattered/triangulation.h"

namespace {

using lum::scattered::sdEvaluatePoints;
using lum::scattered::sdLocatePoints;
using Vec = std::vector<double>;
using IVec = std::vector<int>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}
void expectSameBits(const Vec& a, const Vec& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t k = 0; k < a.size(); ++k) EXPECT_EQ(bits(a[k]), bits(b[k])) << k << ": " << a[k] << " " << b[k];
}

// Cubic c0 + c1 x + c2 y + c3 x^2 + c4 xy + c5 y^2 + c6 x^3 + c7 x^2 y + c8 x y^2 + c9 y^3:
// value and zx, zy, zxx, zxy, zyy.
using Poly = std::vector<double>;
const Poly kPlane{0.5, 2.0, -3.0, 0, 0, 0, 0, 0, 0, 0};
const Poly kQuadratic{1, 1, -2, 0.5, 0.75, -1, 0, 0, 0, 0};
const Poly kCubic{0.5, 1, -1, 0.3, -0.2, 0.4, 0.1, -0.25, 0.15, -0.05};
std::array<double, 6> poly(const Poly& c, double x, double y) {
  return {c[0] + c[1] * x + c[2] * y + c[3] * x * x + c[4] * x * y + c[5] * y * y + c[6] * x * x * x +
              c[7] * x * x * y + c[8] * x * y * y + c[9] * y * y * y,
          c[1] + 2 * c[3] * x + c[4] * y + 3 * c[6] * x * x + 2 * c[7] * x * y + c[8] * y * y,
          c[2] + c[4] * x + 2 * c[5] * y + c[7] * x * x + 2 * c[8] * x * y + 3 * c[9] * y * y,
          2 * c[3] + 6 * c[6] * x + 2 * c[7] * y,
          c[4] + 2 * c[7] * x + 2 * c[8] * y,
          2 * c[5] + 2 * c[8] * x + 6 * c[9] * y};
}

// A hand-made mesh with values and partial derivatives at its nodes.
struct Mesh {
  Vec x, y, z, partials;
  IVec tri, seg;
  void setData(const Poly& c) {
    z.clear();
    partials.clear();
    for (size_t i = 0; i < x.size(); ++i) {
      auto v = poly(c, x[i], y[i]);
      z.push_back(v[0]);
      partials.insert(partials.end(), v.begin() + 1, v.end());
    }
  }
  void setRandomData(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-2.0, 2.0);
    for (double& v : z) v = d(rng);
    for (double& v : partials) v = d(rng);
  }
  void locate(Vec px, Vec py, IVec& code, IVec& index) {
    int n = x.size(), nt = tri.size() / 3, nb = seg.size() / 2, count = px.size();
    code.assign(px.size(), -7);
    index.assign(px.size(), -7);
    sdLocatePoints(&n, x.data(), y.data(), &nt, tri.data(), &nb, seg.data(), &count, px.data(), py.data(),
                   code.data(), index.data());
  }
  Vec evaluate(Vec px, Vec py, IVec code, IVec index) {
    int n = x.size(), nt = tri.size() / 3, nb = seg.size() / 2, count = px.size();
    Vec out(px.size(), -12345.0);
    sdEvaluatePoints(&n, x.data(), y.data(), z.data(), &nt, tri.data(), &nb, seg.data(), partials.data(),
                     &count, px.data(), py.data(), code.data(), index.data(), out.data());
    return out;
  }
  double in(int code, int index, double px, double py) { return evaluate({px}, {py}, {code}, {index})[0]; }
};

// Unit square split at its centre 5: triangles (1,2,5), (2,3,5), (3,4,5),
// (4,1,5); border 1-2, 2-3, 3-4, 4-1 (corners counterclockwise from (0,0)).
Mesh squareMesh() {
  Mesh m{{0, 1, 1, 0, 0.5}, {0, 0, 1, 1, 0.5}, {}, {}, {1, 2, 5, 2, 3, 5, 3, 4, 5, 4, 1, 5}, {1, 2, 2, 3, 3, 4, 4, 1}};
  m.setData(kQuadratic);
  return m;
}
// A notch: (0,0), (2,0), (2,2), reflex vertex 4 = (1, 1.5), (0,2); triangles
// (1,2,4), (2,3,4), (1,4,5); border 1-2, 2-3, 3-4, 4-5, 5-1.
Mesh notchMesh() {
  Mesh m{{0, 2, 2, 1, 0}, {0, 0, 2, 1.5, 2}, {}, {}, {1, 2, 4, 2, 3, 4, 1, 4, 5}, {1, 2, 2, 3, 3, 4, 4, 5, 5, 1}};
  m.setData(kQuadratic);
  return m;
}

TEST(LocatePoints, RegionsOfConvexAndNonConvexBorders) {
  Mesh m = squareMesh();
  IVec code, index;
  // Inside; on the edge shared by triangles 1 and 4 after a point of
  // triangle 2 (lowest number wins); the centre and a border point keep the
  // previous triangle; corners; strips; corner wedges (named by the segment
  // starting there); the seam x = 1 below segment 1 belongs to the wedge.
  m.locate({0.5, 0.9, 0.25, 0.5, 0.5, 0.5, 0, 1, 0.5, 1.5, 0.5, -0.5, -1, 2, 2, -1, 1, 1},
           {0.1, 0.5, 0.25, 0.5, 0, 1, 0, 1, -1, 0.5, 1.5, 0.5, -1, -1, 2, 2, -1, -1e-300}, code, index);
  EXPECT_EQ(code, (IVec{1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3}));
  EXPECT_EQ(index, (IVec{1, 2, 1, 1, 1, 3, 1, 2, 1, 2, 3, 4, 1, 2, 3, 4, 2, 2}));
  // Alternating centre and triangle-3 points over more than a block: the
  // centre keeps triangle 3; a block that starts at the centre gets 1.
  Vec px(60, 0.5), py(60, 0.5);
  for (int k = 0; k < 60; k += 2) py[k] = 0.9;
  m.locate(px, py, code, index);
  EXPECT_EQ(index, IVec(60, 3));
  m.locate({0.5, 0.5}, {0.5, 0.9}, code, index);
  EXPECT_EQ(index, (IVec{1, 3}));

  // Notch: beyond the reflex vertex above the chord 3-5 (code 4); inside the
  // notch (strips of segments 3 and 4); beyond the convex vertex 3.
  Mesh n = notchMesh();
  n.locate({1.0, 1.0, 1.2, 0.5, 3.0}, {2.5, 1.9, 1.8, 1.9, 3.0}, code, index);
  EXPECT_EQ(code, (IVec{4, 2, 2, 2, 3}));
  EXPECT_EQ(index, (IVec{4, 3, 3, 4, 3}));
}

TEST(LocatePoints, FlatTrianglesNonFinitePointsAndUnassignedPoints) {
  // Point 3 inserted exactly on the hull edge 1-2 left the flat triangle 1
  // (1,2,3); a point on it goes to the next triangle holding it.
  Mesh f{{0, 2, 1, 1}, {0, 0, 0, 1}, {}, {}, {1, 2, 3, 1, 3, 4, 2, 4, 3}, {1, 2, 2, 4, 4, 1}};
  f.setData(kPlane);
  IVec code, index;
  const Vec fx{0.5, 1.0, 1.5, 1.0, 0.0}, fy{0.0, 0.0, 0.0, -1.0, 0.0};
  f.locate(fx, fy, code, index);
  EXPECT_EQ(code, (IVec{1, 1, 1, 2, 1}));
  EXPECT_EQ(index, (IVec{2, 2, 3, 1, 2}));
  const Vec fz = f.evaluate(fx, fy, code, index);
  for (size_t k = 0; k < fz.size(); ++k) EXPECT_NEAR(fz[k], poly(kPlane, fx[k], fy[k])[0], 1e-14);

  // A non-finite point is in no region and gives NaN; the point after it is
  // searched from triangle 1 again.
  Mesh m = squareMesh();
  const Vec px{0.5, kNaN, 0.5, 0.5, kInf, 0.5}, py{0.9, 0.5, 0.5, 0.9, 0.5, 0.5};
  m.locate(px, py, code, index);
  EXPECT_EQ(code, (IVec{1, 0, 1, 1, 0, 1}));
  EXPECT_EQ(index, (IVec{3, 0, 1, 3, 0, 1}));
  const Vec z = m.evaluate(px, py, code, index);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(std::isnan(z[k]), k == 1 || k == 4) << k;

  // No triangle and two unconnected segments 3-4, 1-2: points between them
  // meet no wedge or strip and take code 3 at the nearest segment start, the
  // lower segment number on a tie (segment 1 at vertex 3, not vertex 1).
  m.tri.clear();
  m.seg = {3, 4, 1, 2};
  m.locate({0.5, 0.4, 0.6}, {0.5, 0.5, 0.5}, code, index);
  EXPECT_EQ(code, (IVec{3, 3, 3}));
  EXPECT_EQ(index, (IVec{1, 2, 1}));
  m.seg.clear();
  m.locate({0.5}, {0.5}, code, index);
  EXPECT_EQ(code[0], 0);
}

// Random point inside triangle t.
std::pair<double, double> pointInTriangle(const Mesh& m, int t, std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double s = unit(rng), r = unit(rng);
  if (s + r > 1.0) s = 1.0 - s, r = 1.0 - r;
  const int a = m.tri[3 * t - 3] - 1, b = m.tri[3 * t - 2] - 1, c = m.tri[3 * t - 1] - 1;
  return {m.x[a] + s * (m.x[b] - m.x[a]) + r * (m.x[c] - m.x[a]),
          m.y[a] + s * (m.y[b] - m.y[a]) + r * (m.y[c] - m.y[a])};
}

TEST(EvaluatePoints, ReproducesPolynomials) {
  // Inside: the quintic of each triangle of an irregular mesh reproduces a
  // cubic from exact derivatives.
  Mesh m{{0.0, 3.0, 2.2, -0.4, 1.3}, {0.0, 0.5, 2.7, 2.1, 1.1}, {}, {}, {1, 2, 5, 2, 3, 5, 3, 4, 5, 4, 1, 5},
         {1, 2, 2, 3, 3, 4, 4, 1}};
  m.setData(kCubic);
  std::mt19937 rng(7);
  for (int t = 1; t <= 4; ++t) {
    for (int i = 0; i < 50; ++i) {
      auto [px, py] = pointInTriangle(m, t, rng);
      EXPECT_NEAR(m.in(1, t, px, py), poly(kCubic, px, py)[0], 1e-13);
    }
  }
  // Outside: strips, convex wedges and the reflex wedge reproduce a quadratic.
  Mesh n = notchMesh();
  const Vec px{1.0, 0.5, 1.0, 3.0, -1.0, -1.0, 3.5, 1.0, 0.6}, py{-1.0, 1.9, 3.0, 3.0, 3.0, -2.0, 1.0, 2.2, 2.9};
  IVec code, index;
  n.locate(px, py, code, index);
  EXPECT_EQ(code, (IVec{2, 2, 4, 3, 3, 3, 2, 4, 4}));
  const Vec z = n.evaluate(px, py, code, index);
  for (size_t k = 0; k < px.size(); ++k) EXPECT_NEAR(z[k], poly(kQuadratic, px[k], py[k])[0], 1e-12) << k;
}

TEST(EvaluatePoints, ContinuityAndReflexBlendOnArbitraryData) {
  Mesh m{{0.0, 3.0, 2.2, -0.4, 1.3}, {0.0, 0.5, 2.7, 2.1, 1.1}, Vec(5), Vec(25), {1, 2, 5, 2, 3, 5, 3, 4, 5, 4, 1, 5},
         {1, 2, 2, 3, 3, 4, 4, 1}};
  m.setRandomData(11);
  auto along = [&](int a, int b, double s) {
    return std::make_pair(m.x[a - 1] + s * (m.x[b - 1] - m.x[a - 1]), m.y[a - 1] + s * (m.y[b - 1] - m.y[a - 1]));
  };
  for (int i = 0; i <= 20; ++i) {
    for (int t = 1; t <= 4; ++t) {
      // Edge from corner t to the centre, shared by triangles t and t - 1;
      // border segment t, shared by triangle t and its strip.
      auto [ex, ey] = along(t, 5, i / 20.0);
      EXPECT_NEAR(m.in(1, t, ex, ey), m.in(1, t == 1 ? 4 : t - 1, ex, ey), 1e-12);
      auto [bx, by] = along(m.seg[2 * t - 2], m.seg[2 * t - 1], i / 20.0);
      EXPECT_NEAR(m.in(1, t, bx, by), m.in(2, t, bx, by), 1e-12);
    }
    // The strip of segment 1 (to (3, 0.5)) meets the Taylor wedge of its
    // start on the perpendicular through (0, 0).
    EXPECT_NEAR(m.in(2, 1, 0.5 * i, -3.0 * i), m.in(3, 1, 0.5 * i, -3.0 * i), 1e-12 * (1 + i * i));
  }
  // Reflex vertex V = (1, 1.5) between segment 3 (from Q1 = (2, 2)) and
  // segment 4 (to Q2 = (0, 2)): on the perpendicular to segment 4 the blend
  // is segment 4's extension, on that to segment 3 it is segment 3's, and
  // elsewhere (B*w1 + A*w2)/(w1 + w2) with squared projections w1, w2.
  Mesh n = notchMesh();
  n.setRandomData(5);
  IVec code, index;
  const Vec px{1.5, 0.5, 1.3}, py{2.5, 2.5, 2.6};
  n.locate(px, py, code, index);
  EXPECT_EQ(code, (IVec{4, 4, 4}));
  const Vec z = n.evaluate(px, py, code, index);
  EXPECT_NEAR(z[0], n.in(2, 4, px[0], py[0]), 1e-13);
  EXPECT_NEAR(z[1], n.in(2, 3, px[1], py[1]), 1e-13);
  const double w1 = std::pow(1.0 * (px[2] - 1) + 0.5 * (py[2] - 1.5), 2);
  const double w2 = std::pow(-1.0 * (px[2] - 1) + 0.5 * (py[2] - 1.5), 2);
  EXPECT_EQ(z[2], (n.in(2, 4, px[2], py[2]) * w1 + n.in(2, 3, px[2], py[2]) * w2) / (w1 + w2));
}

TEST(EvaluatePoints, CoefficientReuseGivesTheBitsOfAFreshBuild) {
  // Runs of nearby points share a region; every point must equal the same
  // point evaluated alone, whatever region came before it.
  Mesh m = notchMesh();
  m.setRandomData(3);
  Vec px, py;
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> d(-1.5, 3.5);
  while (px.size() < 51) {
    const double x = d(rng), y = d(rng);
    for (int r = 0; r < 3 && px.size() < 51; ++r) px.push_back(x + 1e-3 * r), py.push_back(y);
  }
  IVec code, index;
  m.locate(px, py, code, index);
  const Vec z = m.evaluate(px, py, code, index);
  for (int c = 1; c <= 4; ++c) EXPECT_NE(std::count(code.begin(), code.end(), c), 0) << c;
  for (size_t k = 0; k < px.size(); ++k) EXPECT_EQ(bits(z[k]), bits(m.in(code[k], index[k], px[k], py[k]))) << k;
}

// ---------------------------------------------------------------------------
// Drivers
// ---------------------------------------------------------------------------

// Data points, their work arrays and the mesh counts of a prepared surface.
struct Surface {
  Vec x, y, z, work;
  IVec iwork;
  int borderCount = -1, triCount = -1;
  Surface(Vec xs, Vec ys, Vec zs)
      : x(std::move(xs)), y(std::move(ys)), z(std::move(zs)), work(17 * x.size(), -9.0), iwork(39 * x.size(), -9) {}
  int n() const { return x.size(); }
  int interpolate(int mode, Vec px, Vec py, Vec& out) {
    int nn = n(), count = px.size(), status = -1;
    out.resize(px.size(), -5.0);
    sdbi3p_(&mode, &nn, x.data(), y.data(), z.data(), &count, px.data(), py.data(), out.data(), &status,
            work.data(), iwork.data(), &borderCount, &triCount);
    return status;
  }
  int calculate(int mode, Vec px, Vec py, Vec& out) {
    int nn = n(), count = px.size(), status = -1;
    out.resize(px.size(), -5.0);
    Calculate_(&mode, &nn, x.data(), y.data(), z.data(), &count, px.data(), py.data(), out.data(), &status,
               work.data(), iwork.data(), borderCount, triCount);
    return status;
  }
  int grid(int mode, Vec gx, Vec gy, Vec& out) {
    int nn = n(), nx = gx.size(), ny = gy.size(), status = -1;
    out.resize(std::max<size_t>(1, gx.size() * gy.size()), -5.0);
    sdsf3p_(&mode, &nn, x.data(), y.data(), z.data(), &nx, gx.data(), &ny, gy.data(), out.data(), &status,
            work.data(), iwork.data());
    return status;
  }
  // Successful calls.
  Vec at(int mode, const Vec& px, const Vec& py) {
    Vec out;
    EXPECT_EQ(interpolate(mode, px, py, out), 0);
    return out;
  }
  Vec onGrid(int mode, const Vec& gx, const Vec& gy) {
    Vec out;
    EXPECT_EQ(grid(mode, gx, gy, out), 0);
    return out;
  }
  // Region code of each point on the prepared mesh.
  IVec codes(Vec px, Vec py) {
    int nn = n(), one = 1, index;
    IVec code(px.size());
    for (size_t k = 0; k < px.size(); ++k)
      sdLocatePoints(&nn, x.data(), y.data(), &triCount, iwork.data(), &borderCount, iwork.data() + 6 * nn, &one,
                     &px[k], &py[k], &code[k], &index);
    return code;
  }
};

double franke(double x, double y) {
  return 0.75 * std::exp(-((9 * x - 2) * (9 * x - 2) + (9 * y - 2) * (9 * y - 2)) / 4) +
         0.75 * std::exp(-((9 * x + 1) * (9 * x + 1)) / 49 - (9 * y + 1) / 10) +
         0.5 * std::exp(-((9 * x - 7) * (9 * x - 7) + (9 * y - 3) * (9 * y - 3)) / 4) -
         0.2 * std::exp(-((9 * x - 4) * (9 * x - 4)) - (9 * y - 7) * (9 * y - 7));
}
void randomPoints(int count, unsigned seed, double lo, double hi, Vec& px, Vec& py) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(lo, hi);
  px.resize(count);
  py.resize(count);
  for (int i = 0; i < count; ++i) px[i] = d(rng), py[i] = d(rng);
}
// n random points in [lo, hi]^2 with values f.
template <typename F>
Surface randomSurface(int n, unsigned seed, double lo, double hi, F f) {
  Vec x, y, z;
  randomPoints(n, seed, lo, hi, x, y);
  for (int i = 0; i < n; ++i) z.push_back(f(x[i], y[i]));
  return Surface(x, y, z);
}
Surface frankeSurface(int n, unsigned seed) { return randomSurface(n, seed, 0.0, 1.0, franke); }
// An nx x 5 grid of points in shuffled order: equal distances, cocircular
// quadruples, points inserted on hull edges.
Surface gridSurface(unsigned seed, int nx) {
  std::vector<std::pair<double, double>> p;
  for (int i = 0; i < nx * 5; ++i) p.emplace_back(i / 5, i % 5);
  std::mt19937 rng(seed);
  for (int i = static_cast<int>(p.size()) - 1; i > 0; --i) std::swap(p[i], p[rng() % (i + 1)]);
  Vec x, y, z;
  for (auto& q : p) x.push_back(q.first), y.push_back(q.second), z.push_back(std::sin(q.first) + 0.3 * q.second * q.second);
  return Surface(x, y, z);
}

// Must run before any other test calls a driver with 10 points: the
// remembered counts start at 0, so a first re-use call is refused.
TEST(SurfaceDrivers, StatusCodesAndRememberedCounts) {
  Surface ten = frankeSurface(10, 1), nine = frankeSurface(9, 3), s = frankeSurface(12, 2),
          other = frankeSurface(13, 4);
  Vec out;
  EXPECT_EQ(ten.calculate(2, {0.5}, {0.5}, out), 2);
  EXPECT_EQ(ten.interpolate(3, {0.5}, {0.5}, out), 2);
  EXPECT_EQ(ten.grid(2, {0.5}, {0.5}, out), 2);
  for (int mode : {1, 2, 3}) {
    EXPECT_EQ(nine.interpolate(mode, {}, {}, out), 1);
    EXPECT_EQ(nine.calculate(mode, {}, {}, out), 1);
    EXPECT_EQ(nine.grid(mode, {}, {}, out), 1);
  }
  // No output points: status 3 (sdsf3p_: 3 for x, then 4 for y), but a full
  // mode has remembered the count, so re-use with it passes the count check.
  EXPECT_EQ(s.interpolate(1, {}, {}, out), 3);
  EXPECT_EQ(s.calculate(1, {}, {}, out), 3);
  EXPECT_EQ(s.grid(1, {}, {}, out), 3);
  EXPECT_EQ(s.grid(1, {0.5}, {}, out), 4);
  EXPECT_EQ(other.interpolate(2, {}, {}, out), 2);
  EXPECT_EQ(other.calculate(3, {}, {}, out), 2);
  EXPECT_EQ(other.grid(2, {}, {}, out), 2);
  EXPECT_EQ(s.interpolate(2, {}, {}, out), 3);
  EXPECT_EQ(s.calculate(2, {}, {}, out), 3);
  EXPECT_EQ(s.grid(3, {0.5}, {}, out), 4);
  // Refused calls write nothing.
  EXPECT_EQ(std::count(s.work.begin(), s.work.end(), -9.0), static_cast<long>(s.work.size()));
  EXPECT_EQ(std::count(s.iwork.begin(), s.iwork.end(), -9), static_cast<long>(s.iwork.size()));
  EXPECT_EQ(s.borderCount + s.triCount, -2);
  EXPECT_EQ(out, Vec(1, -5.0));

  // Triangulation failures: points 1-3 collinear (the others not), a repeated
  // point, NaN and infinite coordinates.
  for (int c = 0; c < 4; ++c) {
    Surface b = frankeSurface(15, 5);
    if (c == 0) b.y[0] = b.y[1] = b.y[2] = 0.5;
    if (c == 1) b.x[8] = b.x[3], b.y[8] = b.y[3];
    if (c == 2) b.x[6] = kNaN;
    if (c == 3) b.y[11] = -kInf;
    out.assign(1, -5.0);
    EXPECT_EQ(b.interpolate(1, {0.5}, {0.5}, out), 9) << c;
    EXPECT_EQ(b.grid(4, {0.5}, {0.5}, out), 9) << c;
    EXPECT_EQ(out[0], -5.0);
  }
}

TEST(SurfaceDrivers, ReusedPreparationGivesTheSameBits) {
  Surface s = frankeSurface(50, 8);
  Vec px, py, out;
  randomPoints(130, 9, -0.3, 1.3, px, py);
  const Vec full = s.at(1, px, py);
  expectSameBits(s.at(3, px, py), full);
  for (int mode : {1, 3}) {
    ASSERT_EQ(s.calculate(mode, px, py, out), 0);
    expectSameBits(out, full);
  }
  // Modes other than 2 and 3 prepare fully.
  for (int mode : {0, 4, -1}) {
    Surface t = s;
    std::fill(t.iwork.begin(), t.iwork.end(), 0);
    expectSameBits(t.at(mode, px, py), full);
  }
  // mode 2: same points, new values: the bits of a full preparation.
  Surface fresh = s;
  for (int i = 0; i < s.n(); ++i) s.z[i] = fresh.z[i] = std::cos(s.x[i]) * s.y[i];
  expectSameBits(s.at(2, px, py), fresh.at(1, px, py));
  expectSameBits(s.work, fresh.work);
}

TEST(SurfaceDrivers, BlocksOf51) {
  Surface s = frankeSurface(35, 10);
  Vec px, py;
  randomPoints(103, 11, -0.3, 1.3, px, py);
  // Data points around the block ends, where the triangle found depends on
  // the previous point of the same block.
  for (int k = 45; k < 60; ++k) px[k] = s.x[k % 35], py[k] = s.y[k % 35];
  s.at(1, {0.5}, {0.5});
  for (int total : {51, 52, 103}) {
    Vec pieces;
    for (int b = 0; b < total; b += 51) {
      const int e = std::min(total, b + 51);
      Vec part = s.at(3, Vec(px.begin() + b, px.begin() + e), Vec(py.begin() + b, py.begin() + e));
      pieces.insert(pieces.end(), part.begin(), part.end());
    }
    expectSameBits(s.at(3, Vec(px.begin(), px.begin() + total), Vec(py.begin(), py.begin() + total)), pieces);
  }
}

TEST(SurfaceDrivers, ReproducesDataPlaneAndCubic) {
  Surface f = frankeSurface(80, 12);
  const Vec atData = f.at(1, f.x, f.y);
  for (int i = 0; i < f.n(); ++i) EXPECT_NEAR(atData[i], f.z[i], 1e-13);
  // A plane, in triangles, strips and convex wedges. (Reflex wedges
  // extrapolate two segment quintics in units of the segment lengths: far from
  // a short segment rounding grows with the fifth power of the distance.)
  Surface p = randomSurface(60, 15, 0.0, 10.0, [](double x, double y) { return poly(kPlane, x, y)[0]; });
  Vec px, py;
  randomPoints(400, 16, -5.0, 15.0, px, py);
  Vec z = p.at(1, px, py);
  IVec codes = p.codes(px, py);
  for (int c = 1; c <= 3; ++c) EXPECT_GT(std::count(codes.begin(), codes.end(), c), 5) << c;
  for (size_t k = 0; k < px.size(); ++k) {
    if (codes[k] != 4) {
      EXPECT_NEAR(z[k], poly(kPlane, px[k], py[k])[0], 1e-9) << k;  // values up to 45
    }
  }
  // A cubic inside the data area.
  Surface c = randomSurface(100, 17, -1.0, 1.0, [](double x, double y) { return poly(kCubic, x, y)[0]; });
  randomPoints(500, 18, -1.0, 1.0, px, py);
  z = c.at(1, px, py);
  codes = c.codes(px, py);
  EXPECT_GT(std::count(codes.begin(), codes.end(), 1), 400);
  for (size_t k = 0; k < px.size(); ++k) {
    if (codes[k] == 1) {
      EXPECT_NEAR(z[k], poly(kCubic, px[k], py[k])[0], 1e-9) << k;
    }
  }
}

TEST(SurfaceDrivers, RefinesEveryPointWithALowDegreeFit) {
  Surface g = gridSurface(19, 6);
  g.at(1, {2.5}, {2.5});
  int n = g.n(), adjFree = 0, status = 0;
  // Columns 26, 32, 38 hold the adjacency lists as triangulated.
  IVec adjNode(6 * n), adjNext(6 * n), adjLast(n);
  lum::scattered::sdTriangulate(&n, g.x.data(), g.y.data(), adjNode.data(), adjNext.data(), adjLast.data(),
                                &adjFree, &status);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(std::equal(adjNode.begin(), adjNode.begin() + adjFree - 1, g.iwork.begin() + 25 * n));
  EXPECT_TRUE(std::equal(adjNext.begin(), adjNext.begin() + adjFree - 1, g.iwork.begin() + 31 * n));
  EXPECT_TRUE(std::equal(adjLast.begin(), adjLast.end(), g.iwork.begin() + 37 * n));
  // Partials: the weighted-mean estimates, replaced by the refined cubic's
  // where the fit degree is below 3 and the refinement succeeds.
  Vec partials(5 * n), cubicCoef(9 * n), planeCoef(2 * n), distSq(n);
  IVec distOrder(n), nearest(9 * n), fitCount(n), fitDegree(n);
  sdpd3p_(&n, g.x.data(), g.y.data(), g.z.data(), partials.data(), cubicCoef.data(), planeCoef.data(),
          distSq.data(), distOrder.data(), nearest.data(), fitCount.data(), fitDegree.data());
  int refined = 0;
  for (int i = 1; i <= n; ++i) {
    double* r = &partials[5 * (i - 1)];
    if (fitDegree[i - 1] < 3) {
      int st = 0;
      double d[5];
      lum::scattered::sdCubicNodalDerivatives(&i, &n, g.x.data(), g.y.data(), g.z.data(), adjNode.data(),
                                              adjNext.data(), adjLast.data(), d, d + 1, d + 2, d + 3, d + 4, &st);
      if (st >= 0) std::copy(d, d + 5, r), ++refined;
    }
    expectSameBits(Vec(g.work.begin() + 5 * (i - 1), g.work.begin() + 5 * i), Vec(r, r + 5));
  }
  EXPECT_GT(refined, 0);
}

TEST(SurfaceDrivers, NonFiniteOutputPointsAndFlatHullTriangles) {
  Surface s = frankeSurface(30, 20);
  Vec px, py;
  randomPoints(60, 21, -0.2, 1.2, px, py);
  px[3] = kNaN, py[10] = kInf, px[50] = -kInf;
  const Vec z = s.at(1, px, py);
  for (int k = 0; k < 60; ++k) {
    if (k == 3 || k == 10 || k == 50) {
      EXPECT_TRUE(std::isnan(z[k]));
    } else {  // random points lie in one region each: the same bits as alone
      EXPECT_EQ(bits(z[k]), bits(s.at(3, {px[k]}, {py[k]})[0])) << k;
    }
  }
  const Vec g = s.onGrid(1, {0.1, kNaN, 0.7}, {0.2, kInf});
  for (int k = 0; k < 6; ++k) EXPECT_EQ(std::isnan(g[k]), k == 1 || k >= 3) << k;

  // These insertion orders of a 12 x 5 grid leave flat triangles on the hull
  // (a point inserted exactly on a hull edge whose apex is already a border
  // vertex): data points and grid nodes on them come from proper triangles.
  for (unsigned seed : {2u, 53u}) {
    Surface m = gridSurface(seed, 12);
    const Vec atData = m.at(1, m.x, m.y);
    int flat = 0;
    for (int t = 0; t < m.triCount; ++t) {
      const int a = m.iwork[3 * t] - 1, b = m.iwork[3 * t + 1] - 1, c = m.iwork[3 * t + 2] - 1;
      flat += (m.x[b] - m.x[a]) * (m.y[c] - m.y[a]) - (m.x[c] - m.x[a]) * (m.y[b] - m.y[a]) == 0.0;
    }
    EXPECT_GT(flat, 0);
    for (int i = 0; i < m.n(); ++i) EXPECT_NEAR(atData[i], m.z[i], 1e-12) << seed << " " << i;
    Vec gx, gy;
    for (int i = -4; i <= 48; ++i) gx.push_back(i * 0.25);
    for (int j = -4; j <= 20; ++j) gy.push_back(j * 0.25);
    for (double v : m.onGrid(1, gx, gy)) ASSERT_TRUE(std::isfinite(v)) << seed;
  }
}

TEST(GridSurface, AgreesWithPointwiseInterpolationAndKeepsItsMesh) {
  Surface s = randomSurface(45, 23, 0.0, 2.0, [](double x, double y) { return franke(x / 2, y / 2); });
  Surface p = s;
  expectSameBits(s.onGrid(1, {0.77}, {1.31}), p.at(1, {0.77}, {1.31}));
  // 51 columns: each row is one block, as are the blocks of the flattened
  // grid (x fastest). 60 columns: blocks of 51 and 9 per row.
  for (int nx : {51, 60}) {
    Vec gx, gy{-0.5, 0.3, 1.0, 2.4}, fx, fy;
    for (int i = 0; i < nx; ++i) gx.push_back(-0.3 + i * 2.7 / nx);
    for (double y : gy) fx.insert(fx.end(), gx.begin(), gx.end()), fy.insert(fy.end(), gx.size(), y);
    const Vec zGrid = s.onGrid(3, gx, gy);
    if (nx == 51) expectSameBits(zGrid, p.at(3, fx, fy));
    for (size_t j = 0; j < gy.size() && nx == 60; ++j)
      expectSameBits(Vec(zGrid.begin() + j * nx, zGrid.begin() + (j + 1) * nx), p.at(3, gx, Vec(nx, gy[j])));
  }
  // A full sdbi3p_ preparation of other data with the same count does not
  // change the mesh counts that sdsf3p_ re-uses.
  const Vec gx{-0.5, 0.25, 0.6, 1.7}, gy{0.33, 1.4, -0.1};
  Surface fresh = s;
  randomSurface(45, 24, 0.0, 7.0, franke).at(1, {1.0}, {1.0});
  expectSameBits(s.onGrid(3, gx, gy), fresh.onGrid(1, gx, gy));
  for (int i = 0; i < s.n(); ++i) s.z[i] = fresh.z[i] = s.x[i] * s.x[i] - s.y[i];
  expectSameBits(s.onGrid(2, gx, gy), fresh.onGrid(1, gx, gy));
}

TEST(SurfaceDrivers, InterleavedDriversOnDifferentData) {
  Surface a = frankeSurface(30, 26);
  Surface b = randomSurface(45, 27, 0.0, 4.0, [](double x, double y) { return std::sin(x) * y; });
  Vec pa, qa, pb, qb, out;
  randomPoints(80, 28, -0.2, 1.2, pa, qa);
  randomPoints(70, 29, -1.0, 5.0, pb, qb);
  const Vec gx{-0.5, 1.0, 2.2, 4.5}, gy{0.0, 3.3}, gx2{0.7, 3.9}, gy2{-1.0, 1.0, 2.0};
  // References from fresh copies.
  const Vec refA = Surface(a).at(1, pa, qa), refB = Surface(b).at(1, pb, qb);
  const Vec refGrid = Surface(b).onGrid(1, gx, gy), refGrid2 = Surface(b).onGrid(1, gx2, gy2);

  Surface b2 = b;
  expectSameBits(a.at(1, pa, qa), refA);
  expectSameBits(b.onGrid(1, gx, gy), refGrid);
  ASSERT_EQ(a.calculate(1, pa, qa, out), 0);  // Calculate_ remembers 30
  expectSameBits(out, refA);
  expectSameBits(b2.at(1, pb, qb), refB);  // sdbi3p_ remembers 45
  expectSameBits(b.onGrid(3, gx2, gy2), refGrid2);
  ASSERT_EQ(a.calculate(2, pa, qa, out), 0);
  expectSameBits(out, refA);
  EXPECT_EQ(a.interpolate(3, pa, qa, out), 2);
  EXPECT_EQ(b2.calculate(3, pb, qb, out), 2);
  expectSameBits(b2.at(3, pb, qb), refB);
  expectSameBits(b.onGrid(2, gx, gy), refGrid);
}

}  // namespace
