// Grid of inserted nodes and visibility walk for the Delaunay insertion; see
// insertion_locator.h for why its answers equal those of the insertion walk.
#include "scattered/insertion_locator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lum::scattered {
namespace {

// The grid is rebuilt whenever the number of nodes doubles, with about one
// cell per two nodes: a cell then keeps the latest of about two to four nodes,
// and the walk from it to P crosses a few triangles.
constexpr int kNodesPerCell = 2;
constexpr int kFirstRebuild = 16;

// Rings of cells searched around an empty cell before the start node m0 is
// used instead (clustered data leaves many cells empty).
constexpr int kMaxRings = 4;

}  // namespace

int sdKnownSide(double ax, double ay, double bx, double by, double px, double py) {
  const int certain = sdCertainSide(ax, ay, bx, by, px, py);
  if (certain != 0) return certain;
  // Difference a - b without rounding: Knuth's two-sum error term is zero.
  auto exactDiff = [](double a, double b) {
    const double s = a - b;
    const double bb = s - a;
    return (a - (s - bb)) + (-b - bb) == 0.0;
  };
  // Product without rounding: the fused multiply-add residual is zero, and
  // the product is far from the subnormal range (where the residual itself
  // could round to zero) unless it is zero with a zero factor.
  auto exactProduct = [](double u, double v) {
    const double p = u * v;
    if (p == 0.0) return u == 0.0 || v == 0.0;
    return std::fabs(p) >= 0x1p-900 && std::fma(u, v, -p) == 0.0;
  };
  if (!(exactDiff(bx, ax) && exactDiff(py, ay) && exactDiff(px, ax) && exactDiff(by, ay))) {
    return kSideUnknown;
  }
  const double dx = bx - ax, dy = py - ay, ex = px - ax, ey = by - ay;
  if (!exactProduct(dx, dy) || !exactProduct(ex, ey)) return kSideUnknown;
  const double l = dx * dy, r = ex * ey;  // exact: the comparison is the exact one
  return l > r ? 1 : (l < r ? -1 : 0);
}

InsertionLocator::InsertionLocator(const CompactMesh& mesh, int first, int second, int third)
    : mesh_(mesh) {
  const int n = mesh.size();
  double x1 = mesh.X(1), y1 = mesh.Y(1);
  x0_ = x1;
  y0_ = y1;
  for (int r = 2; r <= n; ++r) {
    x0_ = std::min(x0_, mesh.X(r));
    x1 = std::max(x1, mesh.X(r));
    y0_ = std::min(y0_, mesh.Y(r));
    y1 = std::max(y1, mesh.Y(r));
  }
  // The extents may overflow to infinity; cellOf copes with that.
  width_ = x1 - x0_;
  height_ = y1 - y0_;
  inMesh_.reserve(n);
  inMesh_.push_back(first);
  inMesh_.push_back(second);
  inMesh_.push_back(third);
  rebuild(3);
}

int InsertionLocator::cellOf(double px, double py) const {
  // Clamped, and NaN-safe: (0 * inf) and overflowing scales land in a border cell.
  const double tx = (px - x0_) * scaleX_;
  const double ty = (py - y0_) * scaleY_;
  const int ix = tx >= 0.0 ? (tx < nx_ ? static_cast<int>(tx) : nx_ - 1) : 0;
  const int iy = ty >= 0.0 ? (ty < ny_ ? static_cast<int>(ty) : ny_ - 1) : 0;
  return iy * nx_ + ix;
}

void InsertionLocator::rebuild(int nodes) {
  const int cells = std::max(1, nodes / kNodesPerCell);
  // Cells roughly square in the bounding box; long thin data gets one row.
  double aspect = width_ / height_;
  if (!(aspect > 0.0)) aspect = 1.0;  // zero or NaN extents
  const double fx = std::sqrt(cells * aspect);
  nx_ = fx >= cells ? cells : std::max(1, static_cast<int>(fx));
  ny_ = std::max(1, cells / nx_);
  scaleX_ = width_ > 0.0 ? nx_ / width_ : 0.0;
  scaleY_ = height_ > 0.0 ? ny_ / height_ : 0.0;
  latest_.assign(static_cast<size_t>(nx_) * ny_, 0);
  for (const int r : inMesh_) latest_[cellOf(mesh_.X(r), mesh_.Y(r))] = r;
  nextRebuild_ = std::max(kFirstRebuild, 2 * nodes);
}

void InsertionLocator::recordNode(int r, int nodes) {
  inMesh_.push_back(r);
  if (nodes >= nextRebuild_) {
    rebuild(nodes);
  } else {
    latest_[cellOf(mesh_.X(r), mesh_.Y(r))] = r;
  }
}

int InsertionLocator::nearbyNode(double px, double py) const {
  const int c = cellOf(px, py);
  if (latest_[c] != 0) return latest_[c];
  const int cx = c % nx_, cy = c / nx_;
  for (int ring = 1; ring <= kMaxRings; ++ring) {
    for (int j = std::max(0, cy - ring); j <= std::min(ny_ - 1, cy + ring); ++j) {
      for (int i = std::max(0, cx - ring); i <= std::min(nx_ - 1, cx + ring); ++i) {
        if (std::max(std::abs(i - cx), std::abs(j - cy)) != ring) continue;  // inner rings done
        const int node = latest_[j * nx_ + i];
        if (node != 0) return node;
      }
    }
  }
  return 0;
}

InsertionLocator::Answer InsertionLocator::locate(int m0, double px, double py, int nodeCount,
                                                  int* i1, int* i2, int* i3) const {
  const CompactMesh& m = mesh_;
  bool roundingSeen = false;  // a test that rounding could decide
  auto side = [&](int a, int b) {
    const int s = sdKnownSide(m.X(a), m.Y(a), m.X(b), m.Y(b), px, py);
    if (s == kSideUnknown) roundingSeen = true;
    return s;
  };
  auto declined = [&] { return roundingSeen ? Answer::kNearlyCollinear : Answer::kDeclined; };
  // P right of a -> b in the triangulation's own arithmetic.
  auto right = [&](int a, int b) {
    return !((m.X(b) - m.X(a)) * (py - m.Y(a)) >= (px - m.X(a)) * (m.Y(b) - m.Y(a)));
  };

  // Visibility walk over triangles (a, b, c), counterclockwise, from a node
  // near P. a -> b is the edge it came through (not tested again). A walk
  // in a Delaunay triangulation with consistent tests never revisits a
  // triangle. From a grid node it takes a few steps; the limit, of the order
  // of the insertion walk's own length, keeps a bad start (or a cycle from
  // rounding) from costing more than that walk, which then runs instead.
  const int stepLimit = 64 + 4 * static_cast<int>(std::sqrt(static_cast<double>(nodeCount)));
  int start = nearbyNode(px, py);
  if (start == 0) start = m0;
  const int* e = m.neighbours(start);
  int a = start;
  int b = std::abs(e[0]);
  int c = std::abs(e[1]);
  bool entered = false;
  for (int steps = 0;; ++steps) {
    if (steps > stepLimit) return Answer::kDeclined;
    int u, v;  // the edge u -> v to cross
    if (!entered && right(a, b)) {
      u = a, v = b;
    } else if (right(b, c)) {
      u = b, v = c;
    } else if (right(c, a)) {
      u = c, v = a;
    } else {
      break;
    }
    // The triangle across u -> v is (v, u, d), d following u in v's list;
    // u as v's (negative) last neighbour means u -> v is a hull edge.
    const int* ev = m.neighbours(v);
    const int dv = m.degree(v);
    int j = 0;
    while (j < dv && std::abs(ev[j]) != u) ++j;
    if (j == dv || ev[j] < 0) return Answer::kDeclined;  // damaged, or P outside the hull
    a = v;
    b = u;
    c = std::abs(ev[j + 1 == dv ? 0 : j + 1]);
    entered = true;
  }

  // P strictly inside T = (a, b, c), or exactly on one of its edges. Each
  // edge is also tested from its other end: the walk tests a shared edge
  // from the neighbouring triangle, with the other end as base point and
  // another rounding error. An edge holding P must give an exact tie from
  // both ends (integer-like data).
  auto across = [&](int u, int v) {  // node across u -> v (after u in v's list), 0 on the hull
    const int* ev = m.neighbours(v);
    const int dv = m.degree(v);
    int i = 0;
    while (i < dv && ev[i] != u) ++i;
    return i == dv ? 0 : std::abs(ev[i + 1 == dv ? 0 : i + 1]);
  };
  enum Edge { kInside, kOn, kOther };
  auto edge = [&](int u, int v) {
    const int forward = side(u, v), backward = side(v, u);
    if (forward == 1 && backward == -1) return kInside;
    if (forward == 0 && backward == 0) return kOn;
    return kOther;
  };
  int t[3] = {a, b, c};
  {
    const Edge e[3] = {edge(a, b), edge(b, c), edge(c, a)};
    int on = -1;
    for (int j = 0; j < 3; ++j) {
      if (e[j] == kOther || (e[j] == kOn && on >= 0)) return declined();  // outside, or at a vertex
      if (e[j] == kOn) on = j;
    }
    if (on >= 0) {
      // The walk comes from m0's side of the edge u -> v and stops in the
      // first of the two triangles holding P that it reaches.
      const int u = t[on], v = t[(on + 1) % 3];
      const int m0Side = sdKnownSide(m.X(u), m.Y(u), m.X(v), m.Y(v), m.X(m0), m.Y(m0));
      if (m0Side == kSideUnknown) return Answer::kNearlyCollinear;
      if (m0Side == 0) return Answer::kDeclined;
      if (m0Side < 0) {
        const int d = across(u, v);
        if (d == 0 || edge(u, d) != kInside || edge(d, v) != kInside) return declined();
        t[0] = v, t[1] = u, t[2] = d;
      }
    }
  }
  // The walk from m0 stays inside the hull.
  const int* e0 = m.neighbours(m0);
  const int d0 = m.degree(m0);
  if (e0[d0 - 1] < 0) {
    const int mf = std::abs(e0[0]);
    const int ml = -e0[d0 - 1];
    const int sf = side(m0, mf), sl = side(ml, m0);
    if (sf != 1 || sl != 1) return declined();
  }
  // Ray tests from m0 to the vertices of T.
  int ray[3];
  for (int j = 0; j < 3; ++j) ray[j] = t[j] == m0 ? 1 : side(m0, t[j]);  // m0 itself: 0 >= 0
  bool left[3];
  int notLeft = 0;
  for (int j = 0; j < 3; ++j) {
    if (ray[j] != 1 && ray[j] != -1) return declined();  // a tie, or not known
    left[j] = ray[j] > 0;
    notLeft += left[j] ? 0 : 1;
  }
  // The rest of the walk's decisions near its two ends: the ray tests of
  // m0's neighbours (its cone search) and of the nodes across T's edges (its
  // last steps). Where rounding decides one of them, the nodes near P lie
  // within rounding of the line from m0 (tiny clusters, nearly collinear
  // data): stop using the locator. Exact ties are the walk's own business.
  for (int j = 0; j < d0; ++j) {
    const int w = std::abs(e0[j]);
    if (side(m0, w) == kSideUnknown) return Answer::kNearlyCollinear;
  }
  for (int j = 0; j < 3; ++j) {
    const int w = across(t[j], t[(j + 1) % 3]);
    if (w != 0 && w != m0 && side(m0, w) == kSideUnknown) return Answer::kNearlyCollinear;
  }
  // One vertex not left: it is i2. Two not left: the left one is i1.
  int first = 0;
  if (notLeft == 1) {
    while (left[first]) ++first;
    first = (first + 2) % 3;
  } else if (notLeft == 2) {
    while (!left[first]) ++first;
  } else {
    return Answer::kDeclined;  // impossible with known tests; kept as a guard
  }
  *i1 = t[first];
  *i2 = t[(first + 1) % 3];
  *i3 = t[(first + 2) % 3];
  return Answer::kFound;
}

}  // namespace lum::scattered
