// Point location, per-region evaluation and the surface drivers sdbi3p_,
// Calculate_ and sdsf3p_.
#include <gtest/gtest.h>

#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
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

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A function with its first and second partial derivatives.
struct TestFunction {
  std::function<double(double, double)> f, fx, fy, fxx, fxy, fyy;
};

TestFunction plane(double a, double b, double c) {
  return {[=](double x, double y) { return a * x + b * y + c; },
          [=](double, double) { return a; },
          [=](double, double) { return b; },
          [](double, double) { return 0.0; },
          [](double, double) { return 0.0; },
          [](double, double) { return 0.0; }};
}

// 1 + x - 2y + 0.5x^2 + 0.75xy - y^2
TestFunction quadratic() {
  return {[](double x, double y) { return 1 + x - 2 * y + 0.5 * x * x + 0.75 * x * y - y * y; },
          [](double x, double y) { return 1 + x + 0.75 * y; },
          [](double x, double y) { return -2 + 0.75 * x - 2 * y; },
          [](double, double) { return 1.0; },
          [](double, double) { return 0.75; },
          [](double, double) { return -2.0; }};
}

// 0.5 + x - y + 0.3x^2 - 0.2xy + 0.4y^2 + 0.1x^3 - 0.25x^2y + 0.15xy^2 - 0.05y^3
TestFunction cubic() {
  return {[](double x, double y) {
            return 0.5 + x - y + 0.3 * x * x - 0.2 * x * y + 0.4 * y * y + 0.1 * x * x * x -
                   0.25 * x * x * y + 0.15 * x * y * y - 0.05 * y * y * y;
          },
          [](double x, double y) { return 1 + 0.6 * x - 0.2 * y + 0.3 * x * x - 0.5 * x * y + 0.15 * y * y; },
          [](double x, double y) { return -1 - 0.2 * x + 0.8 * y - 0.25 * x * x + 0.3 * x * y - 0.15 * y * y; },
          [](double x, double y) { return 0.6 + 0.6 * x - 0.5 * y; },
          [](double x, double y) { return -0.2 - 0.5 * x + 0.3 * y; },
          [](double x, double y) { return 0.8 + 0.3 * x - 0.3 * y; }};
}

// A hand-made mesh with its data values and partial derivatives.
struct Mesh {
  std::vector<double> x, y, z, partials;
  std::vector<int> triVertex, borderSeg;

  int triCount() const { return static_cast<int>(triVertex.size() / 3); }
  int borderCount() const { return static_cast<int>(borderSeg.size() / 2); }

  void setData(const TestFunction& fn) {
    z.clear();
    partials.clear();
    for (size_t i = 0; i < x.size(); ++i) {
      z.push_back(fn.f(x[i], y[i]));
      for (const auto* d : {&fn.fx, &fn.fy, &fn.fxx, &fn.fxy, &fn.fyy}) partials.push_back((*d)(x[i], y[i]));
    }
  }

  // Locates one block; returns (code, index) pairs.
  void locate(std::vector<double> px, std::vector<double> py, std::vector<int>& code,
              std::vector<int>& index) {
    int n = static_cast<int>(x.size());
    int nt = triCount(), nb = borderCount(), count = static_cast<int>(px.size());
    code.assign(px.size(), -7);
    index.assign(px.size(), -7);
    sdLocatePoints(&n, x.data(), y.data(), &nt, triVertex.data(), &nb, borderSeg.data(), &count, px.data(),
                   py.data(), code.data(), index.data());
  }

  std::vector<double> evaluate(std::vector<double> px, std::vector<double> py, std::vector<int> code,
                               std::vector<int> index) {
    int n = static_cast<int>(x.size());
    int nt = triCount(), nb = borderCount(), count = static_cast<int>(px.size());
    std::vector<double> out(px.size(), -12345.0);
    sdEvaluatePoints(&n, x.data(), y.data(), z.data(), &nt, triVertex.data(), &nb, borderSeg.data(),
                     partials.data(), &count, px.data(), py.data(), code.data(), index.data(), out.data());
    return out;
  }

  // Locates and evaluates one block.
  std::vector<double> at(const std::vector<double>& px, const std::vector<double>& py) {
    std::vector<int> code, index;
    locate(px, py, code, index);
    return evaluate(px, py, code, index);
  }
  double at(double px, double py) { return at(std::vector<double>{px}, std::vector<double>{py})[0]; }
  // Evaluates one point with a given region.
  double in(int code, int index, double px, double py) {
    return evaluate({px}, {py}, {code}, {index})[0];
  }
};

// Unit square split at its centre:
//   4-----3      triangles 1 (1,2,5), 2 (2,3,5), 3 (3,4,5), 4 (4,1,5)
//   | \ / |      border segments 1 (1,2), 2 (2,3), 3 (3,4), 4 (4,1)
//   |  5  |
//   | / \ |
//   1-----2
Mesh squareMesh() {
  Mesh m;
  m.x = {0, 1, 1, 0, 0.5};
  m.y = {0, 0, 1, 1, 0.5};
  m.triVertex = {1, 2, 5, 2, 3, 5, 3, 4, 5, 4, 1, 5};
  m.borderSeg = {1, 2, 2, 3, 3, 4, 4, 1};
  m.setData(quadratic());
  return m;
}

// A notch with a reflex border vertex 4:
//   5       3     triangles 1 (1,2,4), 2 (2,3,4), 3 (1,4,5)
//   |  -4-  |     border 1 (1,2), 2 (2,3), 3 (3,4), 4 (4,5), 5 (5,1)
//   | /   \ |     vertex 4 = (1, 1.5)
//   1-------2
Mesh notchMesh() {
  Mesh m;
  m.x = {0, 2, 2, 1, 0};
  m.y = {0, 0, 2, 1.5, 2};
  m.triVertex = {1, 2, 4, 2, 3, 4, 1, 4, 5};
  m.borderSeg = {1, 2, 2, 3, 3, 4, 4, 5, 5, 1};
  m.setData(quadratic());
  return m;
}

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// ---------------------------------------------------------------------------
// Point location
// ---------------------------------------------------------------------------

TEST(LocatePoints, TrianglesVerticesAndBorderSegments) {
  Mesh m = squareMesh();
  std::vector<int> code, index;
  // Interior points, a shared edge, the centre vertex, border points.
  m.locate({0.5, 0.9, 0.25, 0.5, 0.5, 0.5, 0.0, 1.0},
           {0.1, 0.5, 0.25, 0.5, 0.0, 1.0, 0.0, 1.0}, code, index);
  EXPECT_EQ(code, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1}));
  // (0.25, 0.25) on the edge shared by triangles 1 and 4 is not in the
  // previous point's triangle 2, so the lowest number wins; the centre and
  // (0.5, 0) on border segment 1 keep the previous triangle 1; the corners
  // (0, 0) and (1, 1) go to the lowest triangles that have them.
  EXPECT_EQ(index, (std::vector<int>{1, 2, 1, 1, 1, 3, 1, 2}));

  // A data point first in its block gets the lowest-numbered triangle.
  m.locate({0.5}, {0.5}, code, index);
  EXPECT_EQ(index[0], 1);
  m.locate({0.5, 0.5}, {0.9, 0.5}, code, index);
  EXPECT_EQ(index, (std::vector<int>{3, 3}));
}

TEST(LocatePoints, OutsideRegionsOfConvexBorder) {
  Mesh m = squareMesh();
  std::vector<int> code, index;
  m.locate({0.5, 1.5, 0.5, -0.5, -1.0, 2.0, 2.0, -1.0, 1.0, 1.0},
           {-1.0, 0.5, 1.5, 0.5, -1.0, -1.0, 2.0, 2.0, -1.0, -1e-300}, code, index);
  // Strips beside segments 1 to 4, the four corner wedges (each named by the
  // segment that starts at the corner), then points on the seam x = 1 below
  // segment 1, which belong to the wedge of vertex 2.
  EXPECT_EQ(code, (std::vector<int>{2, 2, 2, 2, 3, 3, 3, 3, 3, 3}));
  EXPECT_EQ(index, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4, 2, 2}));
}

TEST(LocatePoints, ReflexVertexWedgeAndNotch) {
  Mesh m = notchMesh();
  std::vector<int> code, index;
  // Beyond the reflex vertex 4 above the chord 3-5; inside the notch below the
  // chord (strip of segment 3 first, then of segment 4); beyond the convex
  // vertex 3.
  m.locate({1.0, 1.0, 1.2, 0.5, 3.0}, {2.5, 1.9, 1.8, 1.9, 3.0}, code, index);
  EXPECT_EQ(code, (std::vector<int>{4, 2, 2, 2, 3}));
  EXPECT_EQ(index, (std::vector<int>{4, 3, 3, 4, 3}));
}

TEST(LocatePoints, ShortcutStaysInsideTheBlock) {
  Mesh m = squareMesh();
  // 60 points alternating between the centre and a point of triangle 3: each
  // centre point follows a triangle-3 point and keeps triangle 3.
  std::vector<double> px, py;
  for (int i = 0; i < 30; ++i) {
    px.insert(px.end(), {0.5, 0.5});
    py.insert(py.end(), {0.9, 0.5});
  }
  std::vector<int> code, index;
  m.locate(px, py, code, index);
  for (int k = 0; k < 60; ++k) EXPECT_EQ(index[k], 3) << k;
  // A block that starts at the centre gets triangle 1.
  m.locate({0.5, 0.5}, {0.5, 0.9}, code, index);
  EXPECT_EQ(index, (std::vector<int>{1, 3}));
}

TEST(LocatePoints, ZeroAreaTriangleHoldsNoPoint) {
  // Point 3 was inserted exactly on the hull edge 1-2 of triangle (1, 2, 4):
  // triangle 1 (1, 2, 3) is flat; triangles 2 (1, 3, 4) and 3 (2, 4, 3).
  Mesh m;
  m.x = {0, 2, 1, 1};
  m.y = {0, 0, 0, 1};
  m.triVertex = {1, 2, 3, 1, 3, 4, 2, 4, 3};
  m.borderSeg = {1, 2, 2, 4, 4, 1};
  m.setData(plane(2.0, -3.0, 1.0));
  const std::vector<double> px{0.5, 1.0, 1.5, 1.0, 0.0};
  const std::vector<double> py{0.0, 0.0, 0.0, -1.0, 0.0};
  std::vector<int> code, index;
  m.locate(px, py, code, index);
  EXPECT_EQ(code, (std::vector<int>{1, 1, 1, 2, 1}));
  EXPECT_EQ(index, (std::vector<int>{2, 2, 3, 1, 2}));
  const std::vector<double> z = m.evaluate(px, py, code, index);
  const std::vector<double> expected{2.0, 3.0, 4.0, 6.0, 1.0};
  for (size_t k = 0; k < z.size(); ++k) EXPECT_NEAR(z[k], expected[k], 1e-14) << k;
}

TEST(LocatePoints, NonFiniteOutputPointIsInNoRegion) {
  Mesh m = squareMesh();
  std::vector<int> code, index;
  const double inf = std::numeric_limits<double>::infinity();
  m.locate({0.5, kNaN, 0.5, 0.5, inf, 0.5}, {0.9, 0.5, 0.5, 0.9, 0.5, 0.5}, code, index);
  EXPECT_EQ(code, (std::vector<int>{1, 0, 1, 1, 0, 1}));
  // After the non-finite point the centre is searched in number order again.
  EXPECT_EQ(index, (std::vector<int>{3, 0, 1, 3, 0, 1}));
  std::vector<double> z = m.evaluate({0.5, kNaN, 0.5, 0.5, inf, 0.5}, {0.9, 0.5, 0.5, 0.9, 0.5, 0.5}, code,
                                     index);
  EXPECT_TRUE(std::isnan(z[1]));
  EXPECT_TRUE(std::isnan(z[4]));
  EXPECT_FALSE(std::isnan(z[0]) || std::isnan(z[2]) || std::isnan(z[3]) || std::isnan(z[5]));
  // A count below 1 writes nothing.
  int n = 5, nt = 4, nb = 4, zero = 0;
  int c = -7, i = -7;
  double px = 0.5, py = 0.5;
  sdLocatePoints(&n, m.x.data(), m.y.data(), &nt, m.triVertex.data(), &nb, m.borderSeg.data(), &zero, &px,
                 &py, &c, &i);
  EXPECT_EQ(c, -7);
}


TEST(LocatePoints, UnassignedPointGoesToNearestBorderVertex) {
  // No triangle and a border of two unconnected segments (3 -> 4 and 1 -> 2
  // of the unit square) leave points between them in no wedge and no strip:
  // they get code 3 at the nearest segment start; on a tie the lower segment
  // number wins (segment 1, vertex 3, not vertex 1).
  Mesh m = squareMesh();
  m.triVertex.clear();
  m.borderSeg = {3, 4, 1, 2};
  std::vector<int> code, index;
  m.locate({0.5, 0.4, 0.6}, {0.5, 0.5, 0.5}, code, index);
  EXPECT_EQ(code, (std::vector<int>{3, 3, 3}));
  EXPECT_EQ(index, (std::vector<int>{1, 2, 1}));
  // Without any border the point is in no region and evaluates to NaN.
  m.borderSeg.clear();
  m.locate({0.5}, {0.5}, code, index);
  EXPECT_EQ(code[0], 0);
  EXPECT_TRUE(std::isnan(m.evaluate({0.5}, {0.5}, code, index)[0]));
}

// ---------------------------------------------------------------------------
// Evaluation
// ---------------------------------------------------------------------------

// An irregular convex quadrilateral split at an interior point 5.
Mesh irregularMesh() {
  Mesh m;
  m.x = {0.0, 3.0, 2.2, -0.4, 1.3};
  m.y = {0.0, 0.5, 2.7, 2.1, 1.1};
  m.triVertex = {1, 2, 5, 2, 3, 5, 3, 4, 5, 4, 1, 5};
  m.borderSeg = {1, 2, 2, 3, 3, 4, 4, 1};
  return m;
}

// Random point inside triangle t of the mesh.
void pointInTriangle(const Mesh& m, int t, std::mt19937& rng, double& px, double& py) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double s = unit(rng), r = unit(rng);
  if (s + r > 1.0) {
    s = 1.0 - s;
    r = 1.0 - r;
  }
  const int i1 = m.triVertex[3 * t - 3] - 1, i2 = m.triVertex[3 * t - 2] - 1, i3 = m.triVertex[3 * t - 1] - 1;
  px = m.x[i1] + s * (m.x[i2] - m.x[i1]) + r * (m.x[i3] - m.x[i1]);
  py = m.y[i1] + s * (m.y[i2] - m.y[i1]) + r * (m.y[i3] - m.y[i1]);
}

TEST(EvaluatePoints, QuinticReproducesCubicInsideEveryTriangle) {
  for (const TestFunction& fn : {plane(0.7, -1.3, 2.0), quadratic(), cubic()}) {
    Mesh m = irregularMesh();
    m.setData(fn);
    std::mt19937 rng(7);
    double worst = 0.0;
    for (int t = 1; t <= m.triCount(); ++t) {
      for (int i = 0; i < 50; ++i) {
        double px, py;
        pointInTriangle(m, t, rng, px, py);
        worst = std::max(worst, std::fabs(m.in(1, t, px, py) - fn.f(px, py)));
      }
    }
    EXPECT_LT(worst, 1e-13);
  }
}

TEST(EvaluatePoints, ExtensionsReproduceQuadraticOutside) {
  // Strips (code 2), convex wedges (code 3) and the reflex wedge (code 4) of
  // the notch are exact for a quadratic with exact derivatives; located
  // through sdLocatePoints, so each region is reached by its own test.
  Mesh m = notchMesh();
  TestFunction fn = quadratic();
  m.setData(fn);
  const std::vector<double> px{1.0, 0.5, 1.0, 3.0, -1.0, -1.0, 3.5, 1.0, 0.6};
  const std::vector<double> py{-1.0, 1.9, 3.0, 3.0, 3.0, -2.0, 1.0, 2.2, 2.9};
  std::vector<int> code, index;
  m.locate(px, py, code, index);
  EXPECT_EQ(code, (std::vector<int>{2, 2, 4, 3, 3, 3, 2, 4, 4}));
  const std::vector<double> z = m.evaluate(px, py, code, index);
  for (size_t k = 0; k < px.size(); ++k) {
    EXPECT_NEAR(z[k], fn.f(px[k], py[k]), 1e-12 * (1.0 + std::fabs(z[k]))) << k;
  }
}

// Arbitrary data: random values and derivatives at the nodes.
void setRandomData(Mesh& m, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(-2.0, 2.0);
  m.z.clear();
  m.partials.clear();
  for (size_t i = 0; i < m.x.size(); ++i) {
    m.z.push_back(d(rng));
    for (int k = 0; k < 5; ++k) m.partials.push_back(d(rng));
  }
}

TEST(EvaluatePoints, ContinuousAcrossEdgesAndBorder) {
  Mesh m = irregularMesh();
  setRandomData(m, 11);
  // Shared edges (triangle pairs and their common vertices) and the border
  // segment each triangle has.
  struct Edge {
    int t1, t2, a, b;
  };
  const Edge shared[] = {{1, 2, 2, 5}, {2, 3, 3, 5}, {3, 4, 4, 5}, {4, 1, 1, 5}};
  double worst = 0.0;
  for (const Edge& e : shared) {
    for (int i = 0; i <= 20; ++i) {
      const double s = i / 20.0;
      const double px = m.x[e.a - 1] + s * (m.x[e.b - 1] - m.x[e.a - 1]);
      const double py = m.y[e.a - 1] + s * (m.y[e.b - 1] - m.y[e.a - 1]);
      worst = std::max(worst, std::fabs(m.in(1, e.t1, px, py) - m.in(1, e.t2, px, py)));
    }
  }
  // Triangle t owns border segment t; its strip polynomial at v = 0 is the
  // triangle's quintic along the segment.
  for (int t = 1; t <= 4; ++t) {
    const int a = m.borderSeg[2 * t - 2] - 1, b = m.borderSeg[2 * t - 1] - 1;
    for (int i = 0; i <= 20; ++i) {
      const double s = i / 20.0;
      const double px = m.x[a] + s * (m.x[b] - m.x[a]);
      const double py = m.y[a] + s * (m.y[b] - m.y[a]);
      worst = std::max(worst, std::fabs(m.in(1, t, px, py) - m.in(2, t, px, py)));
    }
  }
  EXPECT_LT(worst, 1e-12);

  // The strip joins the Taylor wedge of its start vertex on the perpendicular
  // through that vertex: segment 1 runs from (0, 0) to (3, 0.5).
  for (double t : {0.5, 1.0, 4.0}) {
    const double px = 0.5 * t, py = -3.0 * t;
    EXPECT_NEAR(m.in(2, 1, px, py), m.in(3, 1, px, py), 1e-12 * (1 + t * t));
  }

  // Every node value is reproduced by every triangle that has the node.
  for (int t = 1; t <= 4; ++t) {
    for (int j = 0; j < 3; ++j) {
      const int i = m.triVertex[3 * t - 3 + j] - 1;
      EXPECT_NEAR(m.in(1, t, m.x[i], m.y[i]), m.z[i], 1e-13) << t << " " << j;
    }
  }
}

TEST(EvaluatePoints, ReflexWedgeBlendsTheTwoSegmentExtensions) {
  Mesh m = notchMesh();
  setRandomData(m, 5);
  // Reflex vertex V = (1, 1.5) starts segment 4 (to Q2 = (0, 2)); segment 3
  // comes from Q1 = (2, 2). On the perpendicular to segment 4 through V the
  // blend is segment 4's extension alone, on the perpendicular to segment 3
  // it is segment 3's.
  std::vector<int> code, index;
  const std::vector<double> px{1.5, 0.5, 1.3};
  const std::vector<double> py{2.5, 2.5, 2.6};
  m.locate(px, py, code, index);
  EXPECT_EQ(code, (std::vector<int>{4, 4, 4}));
  EXPECT_EQ(index, (std::vector<int>{4, 4, 4}));
  const std::vector<double> z = m.evaluate(px, py, code, index);
  EXPECT_NEAR(z[0], m.in(2, 4, px[0], py[0]), 1e-13);
  EXPECT_NEAR(z[1], m.in(2, 3, px[1], py[1]), 1e-13);
  // Elsewhere it is (B*w1 + A*w2)/(w1 + w2) with w1, w2 the squared
  // projections of P - V on Q1 - V and Q2 - V.
  const double a = m.in(2, 3, px[2], py[2]), b = m.in(2, 4, px[2], py[2]);
  const double w1 = std::pow((2 - 1) * (px[2] - 1) + (2 - 1.5) * (py[2] - 1.5), 2);
  const double w2 = std::pow((0 - 1) * (px[2] - 1) + (2 - 1.5) * (py[2] - 1.5), 2);
  EXPECT_EQ(z[2], (b * w1 + a * w2) / (w1 + w2));
}

TEST(EvaluatePoints, CoefficientReuseGivesTheBitsOfAFreshBuild) {
  // Runs of points in one region reuse the coefficients; a changed code or
  // index must rebuild them. Compare every point of a mixed block with the
  // same point evaluated alone.
  Mesh m = notchMesh();
  setRandomData(m, 3);
  std::vector<double> px, py;
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> d(-1.5, 3.5);
  for (int k = 0; k < 51; ++k) {
    const double x = d(rng), y = d(rng);
    // Pairs and triples of nearby points make runs in one region.
    for (int r = 0; r < 1 + k % 3; ++r) {
      px.push_back(x + 1e-3 * r);
      py.push_back(y);
    }
  }
  px.resize(51);
  py.resize(51);
  std::vector<int> code, index;
  m.locate(px, py, code, index);
  const std::vector<double> z = m.evaluate(px, py, code, index);
  std::vector<int> seen(5, 0);
  for (size_t k = 0; k < px.size(); ++k) {
    ++seen[code[k]];
    EXPECT_EQ(bits(z[k]), bits(m.in(code[k], index[k], px[k], py[k]))) << k;
  }
  for (int c = 1; c <= 4; ++c) EXPECT_GT(seen[c], 0) << c;
  // Unknown codes (and code 0) give NaN.
  EXPECT_TRUE(std::isnan(m.in(0, 0, 0.5, 0.5)));
}

// ---------------------------------------------------------------------------
// Drivers
// ---------------------------------------------------------------------------

double franke(double x, double y) {
  return 0.75 * std::exp(-((9 * x - 2) * (9 * x - 2) + (9 * y - 2) * (9 * y - 2)) / 4) +
         0.75 * std::exp(-((9 * x + 1) * (9 * x + 1)) / 49 - (9 * y + 1) / 10) +
         0.5 * std::exp(-((9 * x - 7) * (9 * x - 7) + (9 * y - 3) * (9 * y - 3)) / 4) -
         0.2 * std::exp(-((9 * x - 4) * (9 * x - 4)) - (9 * y - 7) * (9 * y - 7));
}

// Data points, their work arrays and the mesh counts of a prepared surface.
struct Surface {
  std::vector<double> x, y, z, work;
  std::vector<int> iwork;
  int borderCount = -1, triCount = -1;

  Surface(std::vector<double> xs, std::vector<double> ys, std::vector<double> zs)
      : x(std::move(xs)), y(std::move(ys)), z(std::move(zs)), work(17 * x.size(), -999.0),
        iwork(39 * x.size(), -999) {}
  int n() const { return static_cast<int>(x.size()); }

  int interpolate(int mode, std::vector<double> px, std::vector<double> py, std::vector<double>& out) {
    int nn = n(), count = static_cast<int>(px.size()), status = -1;
    out.resize(px.size());
    sdbi3p_(&mode, &nn, x.data(), y.data(), z.data(), &count, px.data(), py.data(), out.data(), &status,
            work.data(), iwork.data(), &borderCount, &triCount);
    return status;
  }
  std::vector<double> interpolate(int mode, const std::vector<double>& px, const std::vector<double>& py) {
    std::vector<double> out;
    EXPECT_EQ(interpolate(mode, px, py, out), 0);
    return out;
  }
  int calculate(int mode, std::vector<double> px, std::vector<double> py, std::vector<double>& out) {
    int nn = n(), count = static_cast<int>(px.size()), status = -1;
    out.resize(px.size());
    Calculate_(&mode, &nn, x.data(), y.data(), z.data(), &count, px.data(), py.data(), out.data(), &status,
               work.data(), iwork.data(), borderCount, triCount);
    return status;
  }
  int grid(int mode, std::vector<double> gx, std::vector<double> gy, std::vector<double>& out) {
    int nn = n(), nx = static_cast<int>(gx.size()), ny = static_cast<int>(gy.size()), status = -1;
    out.resize(std::max<size_t>(1, gx.size() * gy.size()), -5.0);
    sdsf3p_(&mode, &nn, x.data(), y.data(), z.data(), &nx, gx.data(), &ny, gy.data(), out.data(), &status,
            work.data(), iwork.data());
    return status;
  }
  std::vector<double> grid(int mode, const std::vector<double>& gx, const std::vector<double>& gy) {
    std::vector<double> out;
    EXPECT_EQ(grid(mode, gx, gy, out), 0);
    return out;
  }
  // Region codes of points on the prepared mesh.
  std::vector<int> codes(std::vector<double> px, std::vector<double> py) {
    int nn = n(), count = 1;
    std::vector<int> result;
    for (size_t k = 0; k < px.size(); ++k) {
      int code = 0, index = 0;
      sdLocatePoints(&nn, x.data(), y.data(), &triCount, iwork.data(), &borderCount, iwork.data() + 6 * nn,
                     &count, &px[k], &py[k], &code, &index);
      result.push_back(code);
    }
    return result;
  }
};

Surface randomSurface(int n, unsigned seed, double scale, const std::function<double(double, double)>& f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(0.0, scale);
  std::vector<double> x, y, z;
  for (int i = 0; i < n; ++i) {
    x.push_back(d(rng));
    y.push_back(d(rng));
    z.push_back(f(x.back(), y.back()));
  }
  return Surface(x, y, z);
}

// An nx x 5 grid of points in shuffled order (grid-like: equal distances,
// cocircular quadruples, points on hull edges).
Surface gridSurface(unsigned seed, int nx = 6) {
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < 5; ++j) pts.emplace_back(i, j);
  std::mt19937 rng(seed);
  for (int i = static_cast<int>(pts.size()) - 1; i > 0; --i) std::swap(pts[i], pts[rng() % (i + 1)]);
  std::vector<double> x, y, z;
  for (auto& p : pts) {
    x.push_back(p.first);
    y.push_back(p.second);
    z.push_back(std::sin(p.first) + 0.3 * p.second * p.second);
  }
  return Surface(x, y, z);
}

void randomPoints(int count, unsigned seed, double lo, double hi, std::vector<double>& px,
                  std::vector<double>& py) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(lo, hi);
  px.clear();
  py.clear();
  for (int i = 0; i < count; ++i) {
    px.push_back(d(rng));
    py.push_back(d(rng));
  }
}

void expectSameBits(const std::vector<double>& a, const std::vector<double>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t k = 0; k < a.size(); ++k) EXPECT_EQ(bits(a[k]), bits(b[k])) << k << ": " << a[k] << " " << b[k];
}

// Must run before any other test calls a driver with 10 points: the
// remembered counts start at 0.
TEST(SurfaceDrivers, ReuseModesNeedAnEarlierPreparation) {
  Surface s = randomSurface(10, 1, 1.0, franke);
  std::vector<double> out;
  EXPECT_EQ(s.calculate(2, {0.5}, {0.5}, out), 2);
  EXPECT_EQ(s.calculate(3, {0.5}, {0.5}, out), 2);
  EXPECT_EQ(s.interpolate(3, {0.5}, {0.5}, out), 2);
  EXPECT_EQ(s.grid(2, {0.5}, {0.5}, out), 2);
}

TEST(SurfaceDrivers, ArgumentChecksInOrderLeaveEverythingUntouched) {
  Surface s = randomSurface(12, 2, 1.0, franke);
  Surface nine = randomSurface(9, 3, 1.0, franke);
  std::vector<double> out;
  for (int mode : {1, 2, 3}) {
    EXPECT_EQ(nine.interpolate(mode, {0.5}, {0.5}, out), 1);
    EXPECT_EQ(nine.calculate(mode, {0.5}, {0.5}, out), 1);
    EXPECT_EQ(nine.grid(mode, {0.5}, {0.5}, out), 1);
    EXPECT_EQ(nine.grid(mode, {}, {}, out), 1);
  }
  // mode 1 with no output points: status 3, but the count is remembered, so
  // a following mode 2 call with the same count passes the count check.
  EXPECT_EQ(s.interpolate(1, {}, {}, out), 3);
  EXPECT_EQ(s.calculate(1, {}, {}, out), 3);
  EXPECT_EQ(s.grid(1, {}, {0.5}, out), 3);
  EXPECT_EQ(s.grid(1, {0.5}, {}, out), 4);
  EXPECT_EQ(s.grid(1, {}, {}, out), 3);
  // Nothing was written by any refused call.
  for (double w : s.work) ASSERT_EQ(w, -999.0);
  for (int w : s.iwork) ASSERT_EQ(w, -999);
  EXPECT_EQ(s.borderCount, -1);
  EXPECT_EQ(s.triCount, -1);
  // The count check comes before the output-count check, and each driver
  // remembers its own count.
  Surface other = randomSurface(13, 4, 1.0, franke);
  EXPECT_EQ(other.interpolate(2, {}, {}, out), 2);
  EXPECT_EQ(other.calculate(3, {}, {}, out), 2);
  EXPECT_EQ(other.grid(2, {}, {}, out), 2);
  EXPECT_EQ(s.interpolate(2, {}, {}, out), 3);
  EXPECT_EQ(s.calculate(2, {}, {}, out), 3);
  EXPECT_EQ(s.grid(3, {0.5}, {}, out), 4);
  // A full preparation and then re-use with the remembered count.
  EXPECT_EQ(s.interpolate(1, {0.5}, {0.5}, out), 0);
  std::vector<double> sentinel(1, -5.0), out2 = sentinel;
  EXPECT_EQ(other.interpolate(3, {0.5}, {0.5}, out2), 2);
  EXPECT_EQ(out2, sentinel);
  EXPECT_EQ(s.interpolate(2, {0.5}, {0.5}, out2), 0);
  EXPECT_EQ(bits(out2[0]), bits(out[0]));
}

TEST(SurfaceDrivers, FailedTriangulationGivesStatus9) {
  const double inf = std::numeric_limits<double>::infinity();
  auto base = [] { return randomSurface(15, 5, 1.0, franke); };
  std::vector<Surface> bad;
  {
    Surface s = base();  // points 1, 2, 3 on one line, the rest not
    s.y[0] = s.y[1] = s.y[2] = 0.5;
    bad.push_back(s);
  }
  {
    Surface s = base();  // point 9 repeats point 4
    s.x[8] = s.x[3];
    s.y[8] = s.y[3];
    bad.push_back(s);
  }
  {
    Surface s = base();
    s.x[6] = kNaN;
    bad.push_back(s);
  }
  {
    Surface s = base();
    s.y[11] = -inf;
    bad.push_back(s);
  }
  for (Surface& s : bad) {
    std::vector<double> out{-5.0};
    EXPECT_EQ(s.interpolate(1, {0.5}, {0.5}, out), 9);
    EXPECT_EQ(out[0], -5.0);
    EXPECT_EQ(s.grid(4, {0.5}, {0.5}, out), 9);
    EXPECT_EQ(out[0], -5.0);
  }
}

TEST(SurfaceDrivers, ModesThatAreNeitherTwoNorThreePrepareFully) {
  Surface s = randomSurface(40, 6, 1.0, franke);
  std::vector<double> px, py;
  randomPoints(70, 7, -0.2, 1.2, px, py);
  const std::vector<double> reference = s.interpolate(1, px, py);
  for (int mode : {0, 4, -1}) {
    Surface t = s;
    std::fill(t.iwork.begin(), t.iwork.end(), 0);
    std::fill(t.work.begin(), t.work.end(), 0.0);
    expectSameBits(t.interpolate(mode, px, py), reference);
    EXPECT_EQ(t.triCount, s.triCount);
    EXPECT_EQ(t.borderCount, s.borderCount);
  }
}

TEST(SurfaceDrivers, ReusedPreparationGivesTheSameBits) {
  Surface s = randomSurface(50, 8, 3.0, franke);
  std::vector<double> px, py;
  randomPoints(130, 9, -1.0, 4.0, px, py);
  const std::vector<double> full = s.interpolate(1, px, py);
  expectSameBits(s.interpolate(3, px, py), full);
  std::vector<double> viaCalculate;
  EXPECT_EQ(s.calculate(1, px, py, viaCalculate), 0);
  expectSameBits(viaCalculate, full);
  EXPECT_EQ(s.calculate(3, px, py, viaCalculate), 0);
  expectSameBits(viaCalculate, full);

  // mode 2: same points, new values; the same bits as a full preparation.
  Surface fresh = s;
  for (size_t i = 0; i < s.z.size(); ++i) s.z[i] = fresh.z[i] = std::cos(s.x[i]) * s.y[i];
  const std::vector<double> reused = s.interpolate(2, px, py);
  expectSameBits(reused, fresh.interpolate(1, px, py));
  expectSameBits(s.work, fresh.work);
  expectSameBits(s.interpolate(3, px, py), reused);
}

TEST(SurfaceDrivers, BlocksOf51) {
  Surface s = randomSurface(35, 10, 1.0, franke);
  std::vector<double> px, py;
  randomPoints(103, 11, -0.3, 1.3, px, py);
  // Data points and points on shared edges make the triangle choice depend on
  // the previous point, inside a block only.
  for (int k = 45; k < 60; ++k) {
    px[k] = s.x[k % 35];
    py[k] = s.y[k % 35];
  }
  s.interpolate(1, {0.5}, {0.5});
  for (int total : {51, 52, 103}) {
    std::vector<double> x(px.begin(), px.begin() + total), y(py.begin(), py.begin() + total);
    std::vector<double> whole = s.interpolate(3, x, y);
    std::vector<double> pieces;
    for (int b = 0; b < total; b += 51) {
      const int e = std::min(total, b + 51);
      std::vector<double> part =
          s.interpolate(3, std::vector<double>(x.begin() + b, x.begin() + e), std::vector<double>(y.begin() + b, y.begin() + e));
      pieces.insert(pieces.end(), part.begin(), part.end());
    }
    expectSameBits(whole, pieces);
  }
}

TEST(SurfaceDrivers, SurfacePassesThroughTheData) {
  for (unsigned seed : {12u, 13u}) {
    Surface s = randomSurface(80, seed, 5.0, [](double x, double y) { return franke(x / 5, y / 5); });
    const std::vector<double> z = s.interpolate(1, s.x, s.y);
    for (int i = 0; i < s.n(); ++i) EXPECT_NEAR(z[i], s.z[i], 1e-13) << i;
  }
  Surface g = gridSurface(14);
  const std::vector<double> z = g.interpolate(1, g.x, g.y);
  for (int i = 0; i < g.n(); ++i) EXPECT_NEAR(z[i], g.z[i], 1e-13) << i;
}

TEST(SurfaceDrivers, ReproducesAPlaneInsideAndOutside) {
  auto f = [](double x, double y) { return 2.0 * x - 3.0 * y + 0.5; };
  Surface s = randomSurface(60, 15, 10.0, f);
  std::vector<double> px, py;
  randomPoints(400, 16, -5.0, 15.0, px, py);
  const std::vector<double> z = s.interpolate(1, px, py);
  // Triangles, strips and convex wedges. (Reflex wedges extrapolate the
  // quintics of two border segments, in units of their lengths: far from a
  // short segment, rounding grows with the fifth power of the distance.)
  const std::vector<int> codes = s.codes(px, py);
  double worst = 0.0;
  for (size_t k = 0; k < px.size(); ++k) {
    if (codes[k] != 4) worst = std::max(worst, std::fabs(z[k] - f(px[k], py[k])));
  }
  EXPECT_LT(worst, 1e-9);  // values up to 45
  for (int c = 1; c <= 3; ++c) EXPECT_GT(std::count(codes.begin(), codes.end(), c), 5) << c;
}

TEST(SurfaceDrivers, ReproducesACubicInside) {
  TestFunction fn = cubic();
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<double> x, y, z;
  for (int i = 0; i < 100; ++i) {
    x.push_back(d(rng));
    y.push_back(d(rng));
    z.push_back(fn.f(x.back(), y.back()));
  }
  Surface s(x, y, z);
  std::vector<double> px, py;
  randomPoints(500, 18, -1.0, 1.0, px, py);
  const std::vector<double> out = s.interpolate(1, px, py);
  const std::vector<int> codes = s.codes(px, py);
  double worst = 0.0;
  int inside = 0;
  for (size_t k = 0; k < px.size(); ++k) {
    if (codes[k] != 1) continue;
    ++inside;
    worst = std::max(worst, std::fabs(out[k] - fn.f(px[k], py[k])));
  }
  EXPECT_GT(inside, 400);
  EXPECT_LT(worst, 1e-9);
}

TEST(SurfaceDrivers, RefinesEveryPointWithALowDegreeFit) {
  Surface g = gridSurface(19);
  g.interpolate(1, {2.5}, {2.5});
  const int n = g.n();
  // The adjacency lists were copied before the mesh conversion.
  std::vector<int> adjNode(6 * n), adjNext(6 * n), adjLast(n);
  int adjFree = 0, status = 0;
  lum::scattered::sdTriangulate(&n, g.x.data(), g.y.data(), adjNode.data(), adjNext.data(), adjLast.data(),
                                &adjFree, &status);
  ASSERT_EQ(status, 0);
  for (int c = 0; c < adjFree - 1; ++c) {
    ASSERT_EQ(g.iwork[25 * n + c], adjNode[c]) << c;
    ASSERT_EQ(g.iwork[31 * n + c], adjNext[c]) << c;
  }
  for (int i = 0; i < n; ++i) ASSERT_EQ(g.iwork[37 * n + i], adjLast[i]);

  // The weighted-mean estimates, computed on separate arrays.
  std::vector<double> partials(5 * n), cubicCoef(9 * n), planeCoef(2 * n), distSq(n);
  std::vector<int> distOrder(n), nearest(9 * n), fitCount(n), fitDegree(n);
  int nn = n;
  sdpd3p_(&nn, g.x.data(), g.y.data(), g.z.data(), partials.data(), cubicCoef.data(), planeCoef.data(),
          distSq.data(), distOrder.data(), nearest.data(), fitCount.data(), fitDegree.data());
  int refined = 0;
  for (int i = 1; i <= n; ++i) {
    ASSERT_EQ(g.iwork[38 * n + i - 1], fitDegree[i - 1]);
    std::vector<double> expected(partials.begin() + 5 * (i - 1), partials.begin() + 5 * i);
    if (fitDegree[i - 1] < 3) {
      double r[5];
      int st = 0;
      lum::scattered::sdCubicNodalDerivatives(&i, &nn, g.x.data(), g.y.data(), g.z.data(), adjNode.data(),
                                              adjNext.data(), adjLast.data(), &r[0], &r[1], &r[2], &r[3],
                                              &r[4], &st);
      if (st >= 0) {
        expected.assign(r, r + 5);
        ++refined;
      }
    }
    expectSameBits(std::vector<double>(g.work.begin() + 5 * (i - 1), g.work.begin() + 5 * i), expected);
  }
  EXPECT_GT(refined, 0);
}

TEST(SurfaceDrivers, NonFiniteOutputPointGivesNaNThere) {
  Surface s = randomSurface(30, 20, 1.0, franke);
  std::vector<double> px, py;
  randomPoints(60, 21, -0.2, 1.2, px, py);
  const double inf = std::numeric_limits<double>::infinity();
  px[3] = kNaN;
  py[10] = inf;
  px[50] = -inf;
  const std::vector<double> z = s.interpolate(1, px, py);
  for (size_t k = 0; k < px.size(); ++k) {
    if (k == 3 || k == 10 || k == 50) {
      EXPECT_TRUE(std::isnan(z[k])) << k;
      continue;
    }
    // Random points lie in one region only: the same bits as alone.
    EXPECT_EQ(bits(z[k]), bits(s.interpolate(3, {px[k]}, {py[k]})[0])) << k;
  }
  std::vector<double> grid = s.grid(1, {0.1, kNaN, 0.7}, {0.2, inf});
  EXPECT_FALSE(std::isnan(grid[0]) || std::isnan(grid[2]));
  EXPECT_TRUE(std::isnan(grid[1]) && std::isnan(grid[3]) && std::isnan(grid[4]) && std::isnan(grid[5]));
}

TEST(SurfaceDrivers, FlatHullTrianglesHoldNoPoint) {
  // These insertion orders of a 12 x 5 grid leave flat triangles on the hull
  // (a point inserted exactly on a hull edge whose apex is already a border
  // vertex). Data points on them and grid nodes on the hull edges must come
  // from the neighbouring proper triangles.
  for (unsigned seed : {2u, 53u}) {
    Surface g = gridSurface(seed, 12);
    std::vector<double> out;
    ASSERT_EQ(g.interpolate(1, g.x, g.y, out), 0);
    int flat = 0;
    for (int t = 0; t < g.triCount; ++t) {
      const int a = g.iwork[3 * t] - 1, b = g.iwork[3 * t + 1] - 1, c = g.iwork[3 * t + 2] - 1;
      flat += (g.x[b] - g.x[a]) * (g.y[c] - g.y[a]) - (g.x[c] - g.x[a]) * (g.y[b] - g.y[a]) == 0.0;
    }
    EXPECT_GT(flat, 0) << seed;
    for (int i = 0; i < g.n(); ++i) EXPECT_NEAR(out[i], g.z[i], 1e-12) << seed << " " << i;
    std::vector<double> gx, gy;
    for (int i = -4; i <= 48; ++i) gx.push_back(i * 0.25);
    for (int j = -4; j <= 20; ++j) gy.push_back(j * 0.25);
    for (double v : g.grid(1, gx, gy)) ASSERT_TRUE(std::isfinite(v)) << seed;
  }
}

TEST(GridSurface, AgreesWithPointwiseInterpolation) {
  Surface s = randomSurface(45, 23, 2.0, [](double x, double y) { return franke(x / 2, y / 2); });
  Surface p = s;
  // 1 x 1 grid.
  expectSameBits(s.grid(1, {0.77}, {1.31}), p.interpolate(1, {0.77}, {1.31}));
  // 51 columns: every row is one block, as are the 51-point blocks of the
  // flattened grid (x fastest).
  std::vector<double> gx, gy{-0.5, 0.3, 1.0, 2.4}, fx, fy;
  for (int i = 0; i < 51; ++i) gx.push_back(-0.3 + i * 0.052);
  for (double y : gy)
    for (double x : gx) {
      fx.push_back(x);
      fy.push_back(y);
    }
  expectSameBits(s.grid(3, gx, gy), p.interpolate(3, fx, fy));
  // 60 columns: blocks of 51 and 9 in each row, as in a row-by-row call.
  gx.clear();
  for (int i = 0; i < 60; ++i) gx.push_back(-0.3 + i * 0.045);
  const std::vector<double> zGrid = s.grid(3, gx, gy);
  for (size_t j = 0; j < gy.size(); ++j) {
    std::vector<double> row = p.interpolate(3, gx, std::vector<double>(gx.size(), gy[j]));
    expectSameBits(std::vector<double>(zGrid.begin() + j * gx.size(), zGrid.begin() + (j + 1) * gx.size()), row);
  }
}

TEST(GridSurface, ReuseModesKeepTheirOwnMeshCounts) {
  Surface s = randomSurface(30, 24, 1.0, franke);
  const std::vector<double> g1x{0.1, 0.5, 0.9}, g1y{0.2, 0.8};
  const std::vector<double> g2x{-0.5, 0.25, 0.6, 1.7}, g2y{0.33, 1.4, -0.1};
  Surface fresh = s;
  const std::vector<double> expected2 = fresh.grid(1, g2x, g2y);
  s.grid(1, g1x, g1y);
  // Full preparations by sdbi3p_ on other data with the same count do not
  // touch the mesh counts that sdsf3p_ keeps.
  Surface other = randomSurface(30, 25, 7.0, franke);
  other.interpolate(1, {1.0}, {1.0});
  expectSameBits(s.grid(3, g2x, g2y), expected2);
  // mode 2: same points, new values.
  for (size_t i = 0; i < s.z.size(); ++i) s.z[i] = fresh.z[i] = s.x[i] * s.x[i] - s.y[i];
  expectSameBits(s.grid(2, g2x, g2y), fresh.grid(1, g2x, g2y));
}

TEST(SurfaceDrivers, InterleavedDriversOnDifferentData) {
  Surface a = randomSurface(30, 26, 1.0, franke);
  Surface b = randomSurface(45, 27, 4.0, [](double x, double y) { return std::sin(x) * y; });
  std::vector<double> pa, qa, pb, qb;
  randomPoints(80, 28, -0.2, 1.2, pa, qa);
  randomPoints(70, 29, -1.0, 5.0, pb, qb);
  const std::vector<double> gx{-0.5, 1.0, 2.2, 4.5}, gy{0.0, 3.3};
  const std::vector<double> gx2{0.7, 3.9}, gy2{-1.0, 1.0, 2.0};
  // References, each from a fresh copy.
  Surface ra = a, rb = b, rb2 = b, rb3 = b;
  const std::vector<double> refA = ra.interpolate(1, pa, qa);
  const std::vector<double> refB = rb.interpolate(1, pb, qb);
  const std::vector<double> refGrid = rb2.grid(1, gx, gy);
  const std::vector<double> refGrid2 = rb3.grid(1, gx2, gy2);

  Surface a1 = a, b1 = b, b2 = b;
  expectSameBits(a1.interpolate(1, pa, qa), refA);
  expectSameBits(b1.grid(1, gx, gy), refGrid);
  std::vector<double> out;
  ASSERT_EQ(a1.calculate(1, pa, qa, out), 0);
  expectSameBits(out, refA);
  expectSameBits(b2.interpolate(1, pb, qb), refB);  // sdbi3p_ now remembers 45
  expectSameBits(b1.grid(3, gx2, gy2), refGrid2);
  ASSERT_EQ(a1.calculate(2, pa, qa, out), 0);  // Calculate_ remembers 30
  expectSameBits(out, refA);
  EXPECT_EQ(a1.interpolate(3, pa, qa, out), 2);  // sdbi3p_ remembers 45
  ASSERT_EQ(b2.calculate(3, pb, qb, out), 2);    // Calculate_ remembers 30
  expectSameBits(b2.interpolate(3, pb, qb), refB);
  expectSameBits(b1.grid(2, gx, gy), refGrid);
}

}  // namespace
