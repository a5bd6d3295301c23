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
#include <vector>

#include "scattered/evaluation.h"
#include "scattered/point_location.h"

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

}  // namespace
