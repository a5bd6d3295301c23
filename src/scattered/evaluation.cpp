// Per-region polynomials of the scattered-data surface and their evaluation.
//
// Results are reproducible to the bit: every formula below is evaluated in
// the order written, a power inside a product is formed first and the factors
// are then multiplied left to right, and sums are added left to right.
#include "scattered/evaluation.h"

#include <algorithm>
#include <limits>

namespace lum::scattered {

namespace {

// Value and partial derivatives of the surface at data point i (1-based).
struct NodeData {
  double x, y, z, zx, zy, zxx, zxy, zyy;
};

NodeData nodeData(const double* x, const double* y, const double* z, const double* partials, int i) {
  const double* pd = partials + 5 * (i - 1);
  return {x[i - 1], y[i - 1], z[i - 1], pd[0], pd[1], pd[2], pd[3], pd[4]};
}

// Derivatives of the surface at a node in local coordinates (u, v).
struct LocalDerivatives {
  double zu, zv, zuu, zuv, zvv;
};

}  // namespace

// The C1 quintic on one triangle P1 P2 P3 (counterclockwise) in the triangle
// coordinates (u, v), with P1, P2, P3 at (0, 0), (1, 0), (0, 1).
class TriangleQuintic {
 public:
  void build(const double* x, const double* y, const double* z, const double* partials,
             const int* triVertex, int t) {
    const NodeData n1 = nodeData(x, y, z, partials, triVertex[3 * t - 3]);
    const NodeData n2 = nodeData(x, y, z, partials, triVertex[3 * t - 2]);
    const NodeData n3 = nodeData(x, y, z, partials, triVertex[3 * t - 1]);
    x1_ = n1.x;
    y1_ = n1.y;
    a_ = n2.x - n1.x;
    b_ = n3.x - n1.x;
    c_ = n2.y - n1.y;
    d_ = n3.y - n1.y;
    det_ = a_ * d_ - b_ * c_;
    const double a = a_, b = b_, c = c_, d = d_;

    const LocalDerivatives l1 = toLocal(n1);
    const LocalDerivatives l2 = toLocal(n2);
    const LocalDerivatives l3 = toLocal(n3);

    // Value and derivatives at P1.
    p00_ = n1.z;
    p10_ = l1.zu;
    p01_ = l1.zv;
    p20_ = l1.zuu / 2.0;
    p11_ = l1.zuv;
    p02_ = l1.zvv / 2.0;

    // Quintic along the u edge P1 -> P2.
    const double h1 = n2.z - p00_ - p10_ - p20_;
    const double h2 = l2.zu - p10_ - l1.zuu;
    const double h3 = l2.zuu - l1.zuu;
    p30_ = 10.0 * h1 - 4.0 * h2 + h3 / 2.0;
    p40_ = -15.0 * h1 + 7.0 * h2 - h3;
    p50_ = 6.0 * h1 - 3.0 * h2 + h3 / 2.0;

    // Quintic along the v edge P1 -> P3.
    const double g1 = n3.z - p00_ - p01_ - p02_;
    const double g2 = l3.zv - p01_ - l1.zvv;
    const double g3 = l3.zvv - l1.zvv;
    p03_ = 10.0 * g1 - 4.0 * g2 + g3 / 2.0;
    p04_ = -15.0 * g1 + 7.0 * g2 - g3;
    p05_ = 6.0 * g1 - 3.0 * g2 + g3 / 2.0;

    // The derivative across the edges P1P2 and P1P3 is cubic along them: this
    // fixes p41 and p14 from the angle between the edges (as dot products and
    // squared lengths, no trigonometry).
    const double lenSq12 = a * a + c * c;
    const double lenSq13 = b * b + d * d;
    const double s = a * b + c * d;
    p41_ = 5.0 * s / lenSq12 * p50_;
    p14_ = 5.0 * s / lenSq13 * p05_;

    const double e1 = l2.zv - p01_ - p11_ - p41_;
    const double e2 = l2.zuv - p11_ - 4.0 * p41_;
    p21_ = 3.0 * e1 - e2;
    p31_ = e2 - 2.0 * e1;
    const double f1 = l3.zu - p10_ - p11_ - p14_;
    const double f2 = l3.zuv - p11_ - 4.0 * p14_;
    p12_ = 3.0 * f1 - f2;
    p13_ = f2 - 2.0 * f1;

    // The same condition on the edge P2P3: the foot of the perpendicular from
    // P1 onto the line P2P3 is P3 + g*(P2 - P3).
    const double g = (lenSq13 - s) / (lenSq12 + lenSq13 - 2.0 * s);
    const double h = 5.0 * ((p05_ - p14_) * (1.0 - g) + (p50_ - p41_) * g) + p14_ + p41_;
    const double e = l2.zvv / 2.0 - p02_ - p12_;
    const double f = l3.zuu / 2.0 - p20_ - p21_;
    p22_ = (5.0 * g - 2.0) * e + h + (3.0 - 5.0 * g) * f;
    p32_ = e - p22_;
    p23_ = f - p22_;
  }

  double value(double px, double py) const {
    const double dx = px - x1_;
    const double dy = py - y1_;
    const double u = (d_ * dx - b_ * dy) / det_;
    const double v = (a_ * dy - c_ * dx) / det_;
    // Horner's rule in v for each power of u, then in u.
    const double c0 = p00_ + v * (p01_ + v * (p02_ + v * (p03_ + v * (p04_ + v * p05_))));
    const double c1 = p10_ + v * (p11_ + v * (p12_ + v * (p13_ + v * p14_)));
    const double c2 = p20_ + v * (p21_ + v * (p22_ + v * p23_));
    const double c3 = p30_ + v * (p31_ + v * p32_);
    const double c4 = p40_ + v * p41_;
    const double c5 = p50_;
    return ((((c5 * u + c4) * u + c3) * u + c2) * u + c1) * u + c0;
  }

 private:
  // Chain rule for (x, y) = P1 + u*(a, c) + v*(b, d).
  LocalDerivatives toLocal(const NodeData& n) const {
    const double a = a_, b = b_, c = c_, d = d_;
    LocalDerivatives l;
    l.zu = a * n.zx + c * n.zy;
    l.zv = b * n.zx + d * n.zy;
    l.zuu = a * a * n.zxx + 2.0 * a * c * n.zxy + c * c * n.zyy;
    l.zuv = a * b * n.zxx + (a * d + b * c) * n.zxy + c * d * n.zyy;
    l.zvv = b * b * n.zxx + 2.0 * b * d * n.zxy + d * d * n.zyy;
    return l;
  }

  double x1_ = 0.0, y1_ = 0.0, a_ = 0.0, b_ = 0.0, c_ = 0.0, d_ = 0.0, det_ = 0.0;
  double p00_ = 0.0, p10_ = 0.0, p01_ = 0.0, p20_ = 0.0, p11_ = 0.0, p02_ = 0.0;
  double p30_ = 0.0, p21_ = 0.0, p12_ = 0.0, p03_ = 0.0;
  double p40_ = 0.0, p31_ = 0.0, p22_ = 0.0, p13_ = 0.0, p04_ = 0.0;
  double p50_ = 0.0, p41_ = 0.0, p32_ = 0.0, p23_ = 0.0, p14_ = 0.0, p05_ = 0.0;
};

namespace {

// Extension beside border segment P1 -> P2 in the segment coordinates u
// (0 at P1, 1 at P2) and v (across the segment, positive outside, in units of
// the segment's length): quintic along the segment, cubic cross slope, linear
// cross curvature. At v = 0 it is the quintic of the triangle along that edge.
class SegmentPolynomial {
 public:
  void build(const double* x, const double* y, const double* z, const double* partials,
             const int* borderSeg, int l) {
    const NodeData n1 = nodeData(x, y, z, partials, borderSeg[2 * l - 2]);
    const NodeData n2 = nodeData(x, y, z, partials, borderSeg[2 * l - 1]);
    x1_ = n1.x;
    y1_ = n1.y;
    dx_ = n2.x - n1.x;
    dy_ = n2.y - n1.y;
    lenSq_ = dx_ * dx_ + dy_ * dy_;
    const LocalDerivatives l1 = toLocal(n1);
    const LocalDerivatives l2 = toLocal(n2);

    q00_ = n1.z;
    q10_ = l1.zu;
    q20_ = l1.zuu / 2.0;
    const double h1 = n2.z - q00_ - q10_ - q20_;
    const double h2 = l2.zu - l1.zu - l1.zuu;
    const double h3 = l2.zuu - l1.zuu;
    q30_ = 10.0 * h1 - 4.0 * h2 + h3 / 2.0;
    q40_ = -15.0 * h1 + 7.0 * h2 - h3;
    q50_ = 6.0 * h1 - 3.0 * h2 + h3 / 2.0;

    q01_ = l1.zv;
    q11_ = l1.zuv;
    const double e1 = l2.zv - l1.zv - l1.zuv;
    const double e2 = l2.zuv - l1.zuv;
    q21_ = 3.0 * e1 - e2;
    q31_ = e2 - 2.0 * e1;

    q02_ = l1.zvv / 2.0;
    q12_ = (l2.zvv - l1.zvv) / 2.0;
  }

  double value(double px, double py) const {
    const double rx = px - x1_;
    const double ry = py - y1_;
    const double u = (dx_ * rx + dy_ * ry) / lenSq_;
    const double v = (dy_ * rx - dx_ * ry) / lenSq_;
    const double g0 = q00_ + u * (q10_ + u * (q20_ + u * (q30_ + u * (q40_ + u * q50_))));
    const double g1 = q01_ + u * (q11_ + u * (q21_ + u * q31_));
    const double g2 = q02_ + u * q12_;
    return g0 + v * g1 + (v * v) * g2;
  }

 private:
  // Chain rule for (x, y) = P1 + u*(dx, dy) + v*(dy, -dx).
  LocalDerivatives toLocal(const NodeData& n) const {
    const double dx = dx_, dy = dy_;
    LocalDerivatives l;
    l.zu = dx * n.zx + dy * n.zy;
    l.zv = dy * n.zx - dx * n.zy;
    l.zuu = dx * dx * n.zxx + 2.0 * dx * dy * n.zxy + dy * dy * n.zyy;
    l.zuv = dx * dy * n.zxx + (dy * dy - dx * dx) * n.zxy - dx * dy * n.zyy;
    l.zvv = dy * dy * n.zxx - 2.0 * dx * dy * n.zxy + dx * dx * n.zyy;
    return l;
  }

  double x1_ = 0.0, y1_ = 0.0, dx_ = 0.0, dy_ = 0.0, lenSq_ = 0.0;
  double q00_ = 0.0, q10_ = 0.0, q20_ = 0.0, q30_ = 0.0, q40_ = 0.0, q50_ = 0.0;
  double q01_ = 0.0, q11_ = 0.0, q21_ = 0.0, q31_ = 0.0;
  double q02_ = 0.0, q12_ = 0.0;
};

// Second-order Taylor polynomial at a convex border vertex.
double taylorValue(const NodeData& n, double px, double py) {
  const double dx = px - n.x;
  const double dy = py - n.y;
  return n.z + n.zx * dx + n.zy * dy + n.zxx * (dx * dx) / 2.0 + n.zxy * dx * dy + n.zyy * (dy * dy) / 2.0;
}

// Reflex border vertex V, the start of segment m (segment l = m - 1 ends
// there): the two segment extensions, each weighted by the squared projection
// of P - V on the other segment, so that on the perpendicular to one segment
// through V that segment's extension holds alone.
double reflexWedgeValue(const double* x, const double* y, const double* z, const double* partials,
                        const int* borderSeg, int borderCount, int m, double px, double py) {
  const int l = (m == 1) ? borderCount : m - 1;
  SegmentPolynomial segL;
  SegmentPolynomial segM;
  segL.build(x, y, z, partials, borderSeg, l);
  segM.build(x, y, z, partials, borderSeg, m);
  const double valueA = segL.value(px, py);
  const double valueB = segM.value(px, py);
  const int iq1 = borderSeg[2 * l - 2] - 1;
  const int iv = borderSeg[2 * m - 2] - 1;
  const int iq2 = borderSeg[2 * m - 1] - 1;
  const double pvx = px - x[iv];
  const double pvy = py - y[iv];
  const double proj1 = (x[iq1] - x[iv]) * pvx + (y[iq1] - y[iv]) * pvy;
  const double proj2 = (x[iq2] - x[iv]) * pvx + (y[iq2] - y[iv]) * pvy;
  const double w1 = proj1 * proj1;
  const double w2 = proj2 * proj2;
  const double wSum = w1 + w2;
  // Both weights vanish only when P is (within underflow) at V, where the
  // two extensions agree with the vertex value.
  if (wSum == 0.0) return (valueA + valueB) / 2.0;
  return (valueB * w1 + valueA * w2) / wSum;
}

}  // namespace

QuinticCache::QuinticCache(int entries) {
  int size = 1;
  while (size < entries && size < (1 << 20)) size *= 2;
  mask_ = size - 1;
  key_.assign(size, 0);  // triangle numbers start at 1: 0 marks an empty entry
  entry_ = std::make_unique<TriangleQuintic[]>(size);
}

QuinticCache::~QuinticCache() = default;

const TriangleQuintic& QuinticCache::get(const double* x, const double* y, const double* z,
                                         const double* partials, const int* triVertex, int t) {
  const int slot = t & mask_;
  if (key_[slot] != t) {
    entry_[slot].build(x, y, z, partials, triVertex, t);
    key_[slot] = t;
  }
  return entry_[slot];
}

std::unique_ptr<QuinticCache> makeQuinticCache(int triCount, long long points) {
  // 4096 entries (about 1 MB) hold the triangles of the last rows of a grid
  // over 10^5 to 10^6 triangles; smaller calls gain nothing.
  constexpr int kEntries = 4096;
  constexpr long long kMinPoints = 2048;
  if (points < kMinPoints) return nullptr;
  return std::make_unique<QuinticCache>(std::min(triCount, kEntries));
}

void sdEvaluatePoints(int* pointCount, double* xData, double* yData, double* zData, int* triCount,
                      int* triVertex, int* borderCount, int* borderSeg, double* partials, int* count,
                      double* xOut, double* yOut, int* locCode, int* locIndex, double* zOut) {
  sdEvaluatePoints(pointCount, xData, yData, zData, triCount, triVertex, borderCount, borderSeg, partials, count,
                   xOut, yOut, locCode, locIndex, zOut, nullptr);
}

void sdEvaluatePoints(int* pointCount, double* xData, double* yData, double* zData, int* triCount,
                      int* triVertex, int* borderCount, int* borderSeg, double* partials, int* count,
                      double* xOut, double* yOut, int* locCode, int* locIndex, double* zOut,
                      QuinticCache* cache) {
  (void)pointCount;
  (void)triCount;
  const int n = *count;
  TriangleQuintic quintic;
  const TriangleQuintic* current = &quintic;
  SegmentPolynomial segment;
  NodeData vertex{};
  for (int k = 0; k < n; ++k) {
    const int code = locCode[k];
    const int index = locIndex[k];
    const double px = xOut[k];
    const double py = yOut[k];
    const bool rebuild = k == 0 || code != locCode[k - 1] || index != locIndex[k - 1];
    switch (code) {
      case 1:
        if (rebuild) {
          if (cache != nullptr) {
            current = &cache->get(xData, yData, zData, partials, triVertex, index);
          } else {
            quintic.build(xData, yData, zData, partials, triVertex, index);
            current = &quintic;
          }
        }
        zOut[k] = current->value(px, py);
        break;
      case 2:
        if (rebuild) segment.build(xData, yData, zData, partials, borderSeg, index);
        zOut[k] = segment.value(px, py);
        break;
      case 3:
        if (rebuild) vertex = nodeData(xData, yData, zData, partials, borderSeg[2 * index - 2]);
        zOut[k] = taylorValue(vertex, px, py);
        break;
      case 4:
        zOut[k] = reflexWedgeValue(xData, yData, zData, partials, borderSeg, *borderCount, index, px, py);
        break;
      default:
        zOut[k] = std::numeric_limits<double>::quiet_NaN();
        break;
    }
  }
}

}  // namespace lum::scattered
