// Point location: triangle search, vertex wedges and segment strips.
//
// Every test is an exact sign test on coordinate differences, without any
// tolerance, so that points on shared edges, on the border and on the seams
// between outside regions are assigned by the order of the tests alone. The
// searches over all triangles and all border segments are sped up by grids
// that list, for each cell, every triangle or region whose test can succeed
// there (the rounding of the tests included), so they find what the plain
// scans in number order find.
#include "scattered/point_location.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>

namespace lum::scattered {

namespace {

// cross(a, b) = ax*by - ay*bx; positive when b lies counterclockwise of a.
inline double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

inline double dot(double ax, double ay, double bx, double by) { return ax * bx + ay * by; }

// The inside test on the vertex coordinates (V1, V2, V3 counterclockwise).
inline bool insideTriangle(double x1, double y1, double x2, double y2, double x3, double y3, double px,
                           double py) {
  const double ax = x1 - px, ay = y1 - py;
  const double bx = x2 - px, by = y2 - py;
  const double cx = x3 - px, cy = y3 - py;
  if (!(cross(ax, ay, bx, by) >= 0.0 && cross(bx, by, cx, cy) >= 0.0 && cross(cx, cy, ax, ay) >= 0.0)) {
    return false;
  }
  // A flat triangle (left on the hull when a point was inserted exactly on a
  // hull edge) holds no point: its quintic would divide by the zero
  // determinant. The determinant is formed exactly as the evaluation forms it.
  const double a = x2 - x1;
  const double b = x3 - x1;
  const double c = y2 - y1;
  const double d = y3 - y1;
  return a * d - b * c != 0.0;
}

bool inBox(double px, double py, double x0, double x1, double y0, double y1) {
  return px >= x0 && px <= x1 && py >= y0 && py <= y1;
}

// Cell of coordinate v in a grid of `count` cells starting at `origin`,
// `scale` cells per unit: floor((v - origin) * scale) clamped to the grid.
// The function is monotone in v (each rounded operation is), so a point
// between two values lies in a cell between their cells, whatever the
// rounding: registering an interval by the cells of its ends covers every
// point in it, on cell boundaries included.
int cellOf(double v, double origin, double scale, int count) {
  if (count == 1) return 0;
  const double f = (v - origin) * scale;
  if (!(f > 0.0)) return 0;
  if (f >= count) return count - 1;
  const int i = static_cast<int>(f);
  return i < count - 1 ? i : count - 1;
}

// ---------------------------------------------------------------------------
// Rounding bounds shared by both indexes.
//
// A computed cross or dot product of two rounded coordinate differences,
// fl(fl(p) -+ fl(q)) with p, q products of differences, has the sign of
// fl(p) -+ fl(q); it is >= 0 only if the exact value is at least
// -(3u (|p| + |q|) + 2^-1074) (u = 2^-53: one rounding per difference and
// per product, and the absolute error of underflow). With every coordinate
// difference bounded by M in magnitude this is at least -6u M^2 - 2^-1074.
// The constants below bound it with ample slack, so that the rounding of the
// bounds' own arithmetic is covered too.
// ---------------------------------------------------------------------------

constexpr double kUnitRoundoff = 0x1p-53;
// Rounding bound of a computed cross product or determinant relative to the
// sum of its two product magnitudes (or to M^2).
constexpr double kErrorFactor = 16.0 * kUnitRoundoff;
// What underflowing products can add, with slack.
constexpr double kUnderflowSlack = 0x1p-1060;
// Relative slack for the rounding of the bounds' own arithmetic.
constexpr double kSlack = 1.0 + 0x1p-20;
// Outward pad of a computed box or interval edge, relative to the magnitudes
// it was computed from: many units of the last place.
constexpr double kOutwardPad = 0x1p-40;
// Beyond this magnitude products of coordinates could overflow: no index.
constexpr double kMaxCoordinate = 0x1p400;

// Moves a computed lower (upper) bound v, formed from terms of magnitude up
// to `size`, outward by more than its rounding error.
double padDown(double v, double size) { return v - (kOutwardPad * size + kUnderflowSlack); }
double padUp(double v, double size) { return v + (kOutwardPad * size + kUnderflowSlack); }

// v rounded to a float not above (not below) v: moved outward by 2^-22 of
// its magnitude, at least two float units in the last place, before the
// rounding to nearest; beyond the float range the largest finite float of
// the right sign, which still bounds v from the right side.
float floatDown(double v) {
  const float f = static_cast<float>(v - (std::fabs(v) * 0x1p-22 + 0x1p-140));
  return f > std::numeric_limits<float>::max() ? std::numeric_limits<float>::max() : f;
}
float floatUp(double v) {
  const float f = static_cast<float>(v + (std::fabs(v) * 0x1p-22 + 0x1p-140));
  return f < std::numeric_limits<float>::lowest() ? std::numeric_limits<float>::lowest() : f;
}

// ---------------------------------------------------------------------------
// TriangleLocator
//
// Why the index finds the scan's triangle. With the exact vectors A = V1 - P,
// B = V2 - P, C = V3 - P, the computed test passes only if each exact cross
// is at least -delta (delta as above). The three exact crosses sum to the
// exact determinant D, so dividing by D > 0 gives barycentric coordinates of
// P that are all at least -delta/D; hence P lies within the triangle's
// bounding box widened on each side by 2 (delta / D) times the box's width
// (height). Each triangle is registered in every cell that its widened box
// meets, with delta bounded for all points of a zone around the data and D
// replaced by a lower bound on the exact determinant, so a cell lists every
// triangle whose test can pass in it; testing the list in ascending number
// gives the scan's answer. Triangles whose computed determinant is exactly 0
// never pass; those whose sign of D is uncertain are tested at every point.
// Points outside the zone use the same bound with their own M: a triangle
// can only pass where its widened box reaches the point, which needs
// D / width below a threshold growing with the distance, so only the
// flattest triangles (sorted by that ratio) are candidates, and where the
// bound reaches every triangle the scan itself runs.
// ---------------------------------------------------------------------------

// The grids answer for points within this many data extents of the data's
// bounding box; this keeps the widening of ordinary triangles far below a
// cell even at millions of triangles.
constexpr double kZoneFactor = 16.0;
// A triangle is registered in the finest grid where its widened box meets at
// most 3 x 3 cells, so registrations stay below 9 per triangle.
constexpr int kMaxCellsPerTriangle = 9;
// Finest grid: about this many cells per triangle.
constexpr double kCellsPerTriangle = 0.25;
// A call expecting at least this many searches builds the index at once;
// otherwise the index is built once the scans have tested as many triangles
// as the mesh has. Smaller meshes are always scanned.
constexpr long long kMinQueriesForIndex = 16;
constexpr int kMinIndexedTriangles = 32;
// The far search falls back to the scan above this share of candidates.
constexpr int kFarScanDivisor = 4;

// Lower bound on the exact determinant of a triangle whose computed
// determinant is det = ad - bc (the products as computed).
double determinantLowerBound(double det, double ad, double bc) {
  return det - (kErrorFactor * (std::fabs(ad) + std::fabs(bc)) + kUnderflowSlack);
}

}  // namespace

bool sdInsideTriangle(const double* x, const double* y, const int* triVertex, int t, double px, double py) {
  const int* v = triVertex + 3 * static_cast<std::ptrdiff_t>(t - 1);
  return insideTriangle(x[v[0] - 1], y[v[0] - 1], x[v[1] - 1], y[v[1] - 1], x[v[2] - 1], y[v[2] - 1], px, py);
}

int TriangleLocator::Level::cellX(double v, double x0) const { return cellOf(v, x0, scaleX, nx); }
int TriangleLocator::Level::cellY(double v, double y0) const { return cellOf(v, y0, scaleY, ny); }

TriangleLocator::TriangleLocator(int pointCount, const double* xData, const double* yData,
                                 const int* triVertex, int triCount, long long expectedQueries)
    : pointCount_(pointCount), x_(xData), y_(yData), triVertex_(triVertex), triCount_(triCount),
      scanBudget_(expectedQueries >= kMinQueriesForIndex ? 0 : triCount),
      withBoxes_(expectedQueries >= triCount) {}

bool TriangleLocator::inside(int t, double px, double py) const {
  const int* v = triVertex_ + 3 * static_cast<std::ptrdiff_t>(t - 1);
  return insideTriangle(x_[v[0] - 1], y_[v[0] - 1], x_[v[1] - 1], y_[v[1] - 1], x_[v[2] - 1], y_[v[2] - 1], px,
                        py);
}

int TriangleLocator::scanFrom(int first, double px, double py) const {
  for (int t = first; t <= triCount_; ++t) {
    if (inside(t, px, py)) return t;
  }
  return 0;
}

int TriangleLocator::firstContaining(double px, double py) {
  if (!built_) {
    if (triCount_ < kMinIndexedTriangles || scanBudget_ > 0) {
      const int t = scanFrom(1, px, py);
      scanBudget_ -= t > 0 ? t : triCount_;
      return t;
    }
    build();
  }
  if (!usable_) return scanFrom(1, px, py);
  if (inBox(px, py, zoneX0_, zoneX1_, zoneY0_, zoneY1_)) return searchZone(px, py);
  return searchFar(px, py);
}

void TriangleLocator::buildIndexNow() {
  if (!built_) build();
}

TriangleLocator::FineGrid TriangleLocator::fineGrid() const {
  if (levels_.empty()) return {x0_, x1_, y0_, y1_, 1, 1};
  return {x0_, x1_, y0_, y1_, levels_.front().nx, levels_.front().ny};
}

void TriangleLocator::build() {
  built_ = true;
  usable_ = false;
  if (triCount_ < 1 || pointCount_ < 1) return;

  // Bounding box of the data points (a superset of the mesh's vertices).
  x0_ = x1_ = x_[0];
  y0_ = y1_ = y_[0];
  for (int i = 0; i < pointCount_; ++i) {
    if (!(std::fabs(x_[i]) <= kMaxCoordinate) || !(std::fabs(y_[i]) <= kMaxCoordinate)) return;  // scan always
    x0_ = std::min(x0_, x_[i]);
    x1_ = std::max(x1_, x_[i]);
    y0_ = std::min(y0_, y_[i]);
    y1_ = std::max(y1_, y_[i]);
  }
  usable_ = true;
  const double spanX = x1_ - x0_;
  const double spanY = y1_ - y0_;
  const double extent = std::max(spanX, spanY);
  const double margin = kZoneFactor * extent;
  zoneX0_ = x0_ - margin;
  zoneX1_ = x1_ + margin;
  zoneY0_ = y0_ - margin;
  zoneY1_ = y1_ + margin;
  const double m = (extent + margin) * kSlack;  // bounds |coordinate of Vi - P| in the zone
  zoneDelta_ = kErrorFactor * m * m + kUnderflowSlack;

  // The grids: the finest with about kCellsPerTriangle cells per triangle and
  // cells of the data's aspect, then halved per axis down to a single cell.
  const double cells = std::max(1.0, kCellsPerTriangle * triCount_);
  double nx = 1.0, ny = 1.0;
  if (spanX > 0.0 && spanY > 0.0) {
    nx = std::min(cells, std::max(1.0, std::round(std::sqrt(cells * (spanX / spanY)))));
    ny = std::min(cells, std::max(1.0, std::ceil(cells / nx)));
  } else if (spanX > 0.0) {
    nx = cells;
  } else if (spanY > 0.0) {
    ny = cells;
  }
  for (int lx = static_cast<int>(nx), ly = static_cast<int>(ny);; lx = (lx + 1) / 2, ly = (ly + 1) / 2) {
    Level level;
    level.nx = lx;
    level.ny = ly;
    level.scaleX = lx > 1 ? lx / spanX : 0.0;
    level.scaleY = ly > 1 ? ly / spanY : 0.0;
    level.start.assign(static_cast<size_t>(lx) * ly + 1, 0);
    levels_.push_back(std::move(level));
    if (lx == 1 && ly == 1) break;
  }

  // Pass 1: place each triangle (never, everywhere, or a level and a cell
  // range) and count the registrations per cell.
  struct Slot {
    int cx0, cy0;                 // first cell
    signed char level;            // -1 never, -2 everywhere
    unsigned char spanX, spanY;   // further cells in x and y (at most 8 in all)
  };
  // Left uninitialised: every slot is written below before it is read.
  std::unique_ptr<Slot[]> slots(new Slot[triCount_]);
  std::vector<Box> boxes(withBoxes_ ? triCount_ : 0);
  unionX0_ = unionY0_ = std::numeric_limits<double>::infinity();
  unionX1_ = unionY1_ = -std::numeric_limits<double>::infinity();
  for (int t = 1; t <= triCount_; ++t) {
    const int* v = triVertex_ + 3 * static_cast<std::ptrdiff_t>(t - 1);
    const double x1 = x_[v[0] - 1], y1 = y_[v[0] - 1];
    const double x2 = x_[v[1] - 1], y2 = y_[v[1] - 1];
    const double x3 = x_[v[2] - 1], y3 = y_[v[2] - 1];
    Slot& slot = slots[t - 1];
    // The determinant exactly as the inside test forms it.
    const double ad = (x2 - x1) * (y3 - y1), bc = (x3 - x1) * (y2 - y1);
    const double det = ad - bc;
    if (det == 0.0) {
      slot.level = -1;
      continue;
    }
    const double detLow = determinantLowerBound(det, ad, bc);
    const double eta = zoneDelta_ / detLow;
    const double xmin = std::min({x1, x2, x3}), xmax = std::max({x1, x2, x3});
    const double ymin = std::min({y1, y2, y3}), ymax = std::max({y1, y2, y3});
    const double mx = 2.0 * eta * (xmax - xmin) * kSlack;
    const double my = 2.0 * eta * (ymax - ymin) * kSlack;
    if (!(detLow > 0.0) || !std::isfinite(mx) || !std::isfinite(my)) {
      // Clockwise beyond any rounding: the exact crosses sum to less than
      // -3 delta, so one of them is below -delta and its computed sign is
      // negative at every point of the zone.
      const double detHigh = det + (kErrorFactor * (std::fabs(ad) + std::fabs(bc)) + kUnderflowSlack);
      if (detHigh < -3.0 * zoneDelta_) {
        slot.level = -1;
      } else {
        slot.level = -2;
        everywhere_.push_back(t);
      }
      continue;
    }
    const double xlo = padDown(xmin - mx, std::fabs(xmin) + mx), xhi = padUp(xmax + mx, std::fabs(xmax) + mx);
    const double ylo = padDown(ymin - my, std::fabs(ymin) + my), yhi = padUp(ymax + my, std::fabs(ymax) + my);
    if (withBoxes_) boxes[t - 1] = {floatDown(xlo), floatUp(xhi), floatDown(ylo), floatUp(yhi)};
    unionX0_ = std::min(unionX0_, xlo);
    unionX1_ = std::max(unionX1_, xhi);
    unionY0_ = std::min(unionY0_, ylo);
    unionY1_ = std::max(unionY1_, yhi);
    for (int l = 0;; ++l) {
      Level& level = levels_[l];
      const int cx0 = level.cellX(xlo, x0_), cx1 = level.cellX(xhi, x0_);
      const int cy0 = level.cellY(ylo, y0_), cy1 = level.cellY(yhi, y0_);
      const long long span = static_cast<long long>(cx1 - cx0 + 1) * (cy1 - cy0 + 1);
      if (span > kMaxCellsPerTriangle) continue;  // the top level has one cell, so this ends
      slot = {cx0, cy0, static_cast<signed char>(l), static_cast<unsigned char>(cx1 - cx0),
              static_cast<unsigned char>(cy1 - cy0)};
      for (int j = cy0; j <= cy1; ++j)
        for (int i = cx0; i <= cx1; ++i) ++level.start[static_cast<size_t>(j) * level.nx + i + 1];
      break;
    }
  }

  // Pass 2: the cell lists. Triangles are visited in ascending number, so
  // every list is ascending.
  std::vector<std::vector<int>> next(levels_.size());
  for (size_t l = 0; l < levels_.size(); ++l) {
    Level& level = levels_[l];
    for (size_t c = 1; c < level.start.size(); ++c) level.start[c] += level.start[c - 1];
    level.tri.resize(level.start.back());
    if (withBoxes_) level.box.resize(level.start.back());
    next[l].assign(level.start.begin(), level.start.end() - 1);
    if (!level.tri.empty()) activeLevels_.push_back(static_cast<int>(l));
  }
  for (int t = 1; t <= triCount_; ++t) {
    const Slot& slot = slots[t - 1];
    if (slot.level < 0) continue;
    Level& level = levels_[slot.level];
    std::vector<int>& at = next[slot.level];
    for (int j = slot.cy0; j <= slot.cy0 + slot.spanY; ++j)
      for (int i = slot.cx0; i <= slot.cx0 + slot.spanX; ++i) {
        const int k = at[static_cast<size_t>(j) * level.nx + i]++;
        level.tri[k] = t;
        if (withBoxes_) level.box[k] = boxes[t - 1];
      }
  }
}

int TriangleLocator::searchZone(double px, double py) const {
  int best = INT_MAX;
  if (inBox(px, py, unionX0_, unionX1_, unionY0_, unionY1_)) {
    for (const int l : activeLevels_) {
      const Level& level = levels_[l];
      const size_t c = static_cast<size_t>(level.cellY(py, y0_)) * level.nx + level.cellX(px, x0_);
      for (int k = level.start[c], end = level.start[c + 1]; k < end; ++k) {
        const int t = level.tri[k];
        if (t >= best) break;
        if (withBoxes_) {
          const Box& b = level.box[k];
          if (px < b.xlo || px > b.xhi || py < b.ylo || py > b.yhi) continue;
        }
        if (inside(t, px, py)) {
          best = t;
          break;
        }
      }
    }
  }
  for (const int t : everywhere_) {
    if (t >= best) break;
    if (inside(t, px, py)) {
      best = t;
      break;
    }
  }
  return best == INT_MAX ? 0 : best;
}

int TriangleLocator::searchFar(double px, double py) {
  if (!farBuilt_) {
    // Key of a triangle: it can pass at a point whose largest coordinate
    // distance from the bounding box is g only if key <= 2 delta / g, with
    // delta bounded by the point's own coordinate range. -infinity when the
    // sign of the determinant is uncertain; exactly flat triangles never
    // pass and are left out.
    farBuilt_ = true;
    for (int t = 1; t <= triCount_; ++t) {
      const int* v = triVertex_ + 3 * static_cast<std::ptrdiff_t>(t - 1);
      const double c[6] = {x_[v[0] - 1], y_[v[0] - 1], x_[v[1] - 1], y_[v[1] - 1], x_[v[2] - 1], y_[v[2] - 1]};
      const double ad = (c[2] - c[0]) * (c[5] - c[1]), bc = (c[4] - c[0]) * (c[3] - c[1]);
      const double det = ad - bc;
      if (det == 0.0) continue;
      const double detLow = determinantLowerBound(det, ad, bc);
      double key = -std::numeric_limits<double>::infinity();
      if (detLow > 0.0) {
        const double width = std::max(std::max({c[0], c[2], c[4]}) - std::min({c[0], c[2], c[4]}),
                                      std::max({c[1], c[3], c[5]}) - std::min({c[1], c[3], c[5]}));
        key = detLow / width;
      }
      farOrder_.emplace_back(key, t);
    }
    std::sort(farOrder_.begin(), farOrder_.end());
  }
  const double gx = px < x0_ ? x0_ - px : (px > x1_ ? px - x1_ : 0.0);
  const double gy = py < y0_ ? y0_ - py : (py > y1_ ? py - y1_ : 0.0);
  const double g = std::max(gx, gy);
  const double m = std::max(std::max(std::fabs(px - x0_), std::fabs(px - x1_)),
                            std::max(std::fabs(py - y0_), std::fabs(py - y1_))) *
                   kSlack;
  const double delta = kErrorFactor * m * m + kUnderflowSlack;
  const double threshold = 2.0 * delta / g * kSlack;
  if (!(g > 0.0) || !(threshold < std::numeric_limits<double>::infinity())) return scanFrom(1, px, py);
  const auto end = std::upper_bound(farOrder_.begin(), farOrder_.end(), threshold,
                                    [](double value, const std::pair<double, int>& e) { return value < e.first; });
  // Many candidates: the scan, which stops at the first success, is cheaper.
  if (end - farOrder_.begin() > triCount_ / kFarScanDivisor) return scanFrom(1, px, py);
  int best = INT_MAX;
  for (auto it = farOrder_.begin(); it != end; ++it) {
    const int t = it->second;
    if (t < best && inside(t, px, py)) best = t;
  }
  return best == INT_MAX ? 0 : best;
}

// ---------------------------------------------------------------------------
// BorderLocator
//
// Each region test is a conjunction of up to three sign tests, each of which
// is, in exact arithmetic, a half-plane in P:
//   chord or segment A -> B    cross(A - P, B - P) <= 0
//   convex vertex V (c < 0)    dot(P - V, A - V) <= 0 and dot(P - V, B - V) <= 0
//   reflex vertex V (c > 0)    dot(P - V, A - V) >= 0 and dot(P - V, B - V) >= 0
//   strip of segment A -> B    dot(B - A, P - A) >= 0 and dot(A - B, P - B) >= 0
// (c, the vertex's computed turn, does not depend on P; with c = 0 the chord
// alone is kept.) By the rounding bound above, a computed test can pass only
// inside its half-plane widened by kBorderWidening W^2 in the test's own
// units, W bounding every coordinate difference in the grid's area. For each
// grid row, the x interval where every widened half-plane of a region meets
// the row (rounded outward) bounds the region's points in that row, and the
// region is listed in the cells of that interval. Testing a cell's wedges,
// then its strips, in ascending segment number gives the scan's answer.
// ---------------------------------------------------------------------------

namespace {

// The grid covers the border's bounding box widened by this many extents on
// every side; farther points scan.
constexpr double kBorderZone = 1.0;
// Cells: about a quarter of the square of the segment count (cells about
// twice as wide as a segment is long), within these limits.
constexpr double kBorderCellsPerSquaredSegment = 0.25;
constexpr double kMinBorderCells = 64.0;
constexpr double kMaxBorderCells = 262144.0;
// Widening of each half-plane, times W^2: 6u would do (3u per product pair),
// the rest covers the rounding of its coefficients and of the row bounds.
constexpr double kBorderWidening = 64.0 * kUnitRoundoff;
// Widening of a row's y band beyond its cells' nominal edges, in rows: far
// above the rounding of the cell function (2u times at most 2^18 rows) and of
// the band edges (a few u times |y0| + span, below 0.01 span / 2^18 while the
// data's offset from the origin is at most kMaxOffsetRatio extents).
constexpr double kBandWidening = 0.01;
constexpr double kMaxOffsetRatio = 0x1p26;
// Above this many registrations per cell in either kind's lists the border
// keeps its scans (the regions of reflex vertices on a concave border
// overlap, a few dozen per cell on thin arcs).
constexpr long long kMaxBorderRegistrationsPerCell = 64;

double borderCells(int borderCount) {
  const double b = borderCount;
  return std::clamp(kBorderCellsPerSquaredSegment * b * b, kMinBorderCells, kMaxBorderCells);
}

// The half-plane alpha (x - ux) + beta (y - uy) <= c.
struct HalfPlane {
  double alpha, beta, ux, uy, c;
};

// Narrows [lo, hi] to the values of one coordinate (a, with coefficient ca
// and anchor ua) for which h holds at some value of the other coordinate (b,
// coefficient cb, anchor ub) in [bLo, bHi]. Bounds are rounded outward.
void clipInterval(double ca, double ua, double cb, double ub, double c, double bLo, double bHi, double& lo,
                  double& hi) {
  const double bBest = cb >= 0.0 ? bLo : bHi;
  const double r = c - cb * (bBest - ub);
  if (ca == 0.0) {
    if (r < 0.0) lo = std::numeric_limits<double>::infinity();  // empty
    return;
  }
  const double q = r / ca;
  const double size = std::fabs(ua) + std::fabs(q);
  if (ca > 0.0) {
    hi = std::min(hi, padUp(ua + q, size));
  } else {
    lo = std::max(lo, padDown(ua + q, size));
  }
}

// The x where h holds for some y in [ylo, yhi], and the y where it holds for
// some x in [xlo, xhi].
void clipRow(const HalfPlane& h, double ylo, double yhi, double& xlo, double& xhi) {
  clipInterval(h.alpha, h.ux, h.beta, h.uy, h.c, ylo, yhi, xlo, xhi);
}
void clipColumn(const HalfPlane& h, double xlo, double xhi, double& ylo, double& yhi) {
  clipInterval(h.beta, h.uy, h.alpha, h.ux, h.c, xlo, xhi, ylo, yhi);
}

}  // namespace

BorderLocator::BorderLocator(const double* xData, const double* yData, const int* borderSeg, int borderCount)
    : x_(xData), y_(yData), borderSeg_(borderSeg), borderCount_(borderCount) {
  // The scans may cost about what the index costs to build: its cells plus
  // four passes of the regions over the rows.
  const double cells = borderCells(borderCount);
  scanBudget_ = static_cast<long long>(cells + 4.0 * borderCount * std::ceil(std::sqrt(cells)));
}

int BorderLocator::cellX(double v) const { return cellOf(v, x0_, scaleX_, nx_); }
int BorderLocator::cellY(double v) const { return cellOf(v, y0_, scaleY_, ny_); }

// The wedge beyond the vertex V that ends segment l and starts segment m:
// code 3 (convex or straight vertex) or 4 (reflex vertex).
bool BorderLocator::wedgeAt(int l, double px, double py, int* code) const {
  const int m = (l % borderCount_) + 1;
  const int ia = borderSeg_[2 * l - 2] - 1;
  const int iv = borderSeg_[2 * m - 2] - 1;
  const int ib = borderSeg_[2 * m - 1] - 1;
  // Only points right of (or on) the chord from A to B qualify.
  if (!(cross(x_[ia] - px, y_[ia] - py, x_[ib] - px, y_[ib] - py) <= 0.0)) return false;
  const double avx = x_[ia] - x_[iv];
  const double avy = y_[ia] - y_[iv];
  const double bvx = x_[ib] - x_[iv];
  const double bvy = y_[ib] - y_[iv];
  const double pvx = px - x_[iv];
  const double pvy = py - y_[iv];
  const double c = cross(avx, avy, bvx, bvy);
  const double d1 = dot(pvx, pvy, avx, avy);
  const double d2 = dot(pvx, pvy, bvx, bvy);
  if (c <= 0.0 && d1 <= 0.0 && d2 <= 0.0) {
    *code = 3;
    return true;
  }
  if (c >= 0.0 && d1 >= 0.0 && d2 >= 0.0) {
    *code = 4;
    return true;
  }
  return false;
}

// The strip beside segment l: P right of (or on) the segment and between the
// perpendiculars through its ends.
bool BorderLocator::stripAt(int l, double px, double py) const {
  const int ia = borderSeg_[2 * l - 2] - 1;
  const int ib = borderSeg_[2 * l - 1] - 1;
  return cross(x_[ia] - px, y_[ia] - py, x_[ib] - px, y_[ib] - py) <= 0.0 &&
         dot(x_[ib] - x_[ia], y_[ib] - y_[ia], px - x_[ia], py - y_[ia]) >= 0.0 &&
         dot(x_[ia] - x_[ib], y_[ia] - y_[ib], px - x_[ib], py - y_[ib]) >= 0.0;
}

// Fallback for an outside point that no wedge or strip holds (rounding near a
// reflex vertex): the segment starting at the nearest border vertex, the
// lowest segment number on ties; 0 without a border.
int BorderLocator::nearestVertex(double px, double py) const {
  int best = 0;
  double bestDistSq = 0.0;
  for (int l = 1; l <= borderCount_; ++l) {
    const int iv = borderSeg_[2 * l - 2] - 1;
    const double dx = px - x_[iv];
    const double dy = py - y_[iv];
    const double distSq = dx * dx + dy * dy;
    if (best == 0 || distSq < bestDistSq) {
      best = l;
      bestDistSq = distSq;
    }
  }
  return best;
}

void BorderLocator::locate(double px, double py, int* code, int* index) {
  if (!built_ && scanBudget_ <= 0 && borderCount_ > 0) build();
  if (usable_ && inBox(px, py, x0_, x1_, y0_, y1_)) {
    const size_t c = static_cast<size_t>(cellY(py)) * nx_ + cellX(px);
    for (int k = wedges_.start[c]; k < wedges_.start[c + 1]; ++k) {
      if (wedgeAt(wedges_.item[k], px, py, code)) {
        *index = (wedges_.item[k] % borderCount_) + 1;
        return;
      }
    }
    for (int k = strips_.start[c]; k < strips_.start[c + 1]; ++k) {
      if (stripAt(strips_.item[k], px, py)) {
        *code = 2;
        *index = strips_.item[k];
        return;
      }
    }
  } else {
    if (!built_) scanBudget_ -= 2LL * borderCount_;
    for (int l = 1; l <= borderCount_; ++l) {
      if (wedgeAt(l, px, py, code)) {
        *index = (l % borderCount_) + 1;
        return;
      }
    }
    for (int l = 1; l <= borderCount_; ++l) {
      if (stripAt(l, px, py)) {
        *code = 2;
        *index = l;
        return;
      }
    }
  }
  const int v = nearestVertex(px, py);
  *code = v > 0 ? 3 : 0;
  *index = v;
}

void BorderLocator::buildIndexNow() {
  if (!built_ && borderCount_ > 0) build();
}

void BorderLocator::build() {
  built_ = true;
  // The grid's area: the border's bounding box widened by kBorderZone extents.
  double bx0 = x_[borderSeg_[0] - 1], bx1 = bx0, by0 = y_[borderSeg_[0] - 1], by1 = by0;
  for (int k = 0; k < 2 * borderCount_; ++k) {
    const double vx = x_[borderSeg_[k] - 1], vy = y_[borderSeg_[k] - 1];
    if (!(std::fabs(vx) <= kMaxCoordinate) || !(std::fabs(vy) <= kMaxCoordinate)) return;  // scan always
    bx0 = std::min(bx0, vx);
    bx1 = std::max(bx1, vx);
    by0 = std::min(by0, vy);
    by1 = std::max(by1, vy);
  }
  const double extent = std::max(bx1 - bx0, by1 - by0);
  if (!(extent > 0.0)) return;
  // The rows' y bands below are formed from y0_ and the row number; far from
  // the origin relative to the extent their rounding could exceed the bands'
  // widening, so such data scan.
  if (std::max(std::fabs(by0), std::fabs(by1)) > kMaxOffsetRatio * extent) return;
  x0_ = bx0 - kBorderZone * extent;
  x1_ = bx1 + kBorderZone * extent;
  y0_ = by0 - kBorderZone * extent;
  y1_ = by1 + kBorderZone * extent;
  const double spanX = x1_ - x0_, spanY = y1_ - y0_;
  const double cells = borderCells(borderCount_);
  nx_ = static_cast<int>(std::clamp(std::round(std::sqrt(cells * (spanX / spanY))), 1.0, cells));
  ny_ = static_cast<int>(std::clamp(std::ceil(cells / nx_), 1.0, cells));
  scaleX_ = nx_ / spanX;
  scaleY_ = ny_ / spanY;
  usable_ = true;

  // Every coordinate difference in the area is at most W in magnitude.
  const double w = std::max(spanX, spanY) * kSlack;
  const double widening = kBorderWidening * w * w + kUnderflowSlack;
  auto coord = [&](int i) { return std::make_pair(x_[i - 1], y_[i - 1]); };
  // cross(A - P, B - P) <= 0, anchored at A.
  auto rightOf = [&](int a, int b) {
    const auto [ax, ay] = coord(a);
    const auto [bx, by] = coord(b);
    return HalfPlane{ay - by, bx - ax, ax, ay, widening};
  };
  // dot(P - V, D - V) <= 0 (sign = 1) or >= 0 (sign = -1), anchored at V.
  auto behind = [&](int v, int d, double sign) {
    const auto [vx, vy] = coord(v);
    const auto [dx, dy] = coord(d);
    return HalfPlane{sign * (dx - vx), sign * (dy - vy), vx, vy, widening};
  };
  // The convex pieces (up to two, of three half-planes each) bounding wedge
  // l (kind 0) or strip l (kind 1). A vertex whose computed turn c is 0
  // (straight, or a spike) may pass as code 3 or as code 4: both pieces.
  struct Region {
    HalfPlane h[2][3];
    int pieces = 1;
  };
  auto regionOf = [&](int kind, int l) {
    Region r;
    const int a = borderSeg_[2 * l - 2], e = borderSeg_[2 * l - 1];
    if (kind == 1) {
      r.h[0][0] = rightOf(a, e);
      r.h[0][1] = behind(a, e, -1.0);
      r.h[0][2] = behind(e, a, -1.0);
      return r;
    }
    const int m = (l % borderCount_) + 1;
    const int v = borderSeg_[2 * m - 2], b = borderSeg_[2 * m - 1];
    const auto [vx, vy] = coord(v);
    const auto [ax, ay] = coord(a);
    const auto [bx, by] = coord(b);
    const double c = cross(ax - vx, ay - vy, bx - vx, by - vy);
    r.pieces = c == 0.0 ? 2 : 1;
    for (int q = 0; q < r.pieces; ++q) {
      const double sign = (c < 0.0 || (c == 0.0 && q == 0)) ? 1.0 : -1.0;  // 1: code 3, -1: code 4
      r.h[q][0] = rightOf(a, b);
      r.h[q][1] = behind(v, a, sign);
      r.h[q][2] = behind(v, b, sign);
    }
    return r;
  };
  // Visits the cells of region (kind, l) row by row, over the rows of the
  // pieces' y ranges in the area; a cell met by both pieces is visited once.
  auto forCells = [&](int kind, int l, auto&& visit) {
    const Region r = regionOf(kind, l);
    int jFirst = ny_, jLast = -1;
    for (int q = 0; q < r.pieces; ++q) {
      double ya = y0_, yb = y1_;
      for (int p = 0; p < 3 && ya <= yb; ++p) clipColumn(r.h[q][p], x0_, x1_, ya, yb);
      if (!(ya <= yb)) continue;
      jFirst = std::min(jFirst, cellY(ya));
      jLast = std::max(jLast, cellY(yb));
    }
    for (int j = jFirst; j <= jLast; ++j) {
      const double ylo = j == 0 ? y0_ : y0_ + (j - kBandWidening) / scaleY_;
      const double yhi = j == ny_ - 1 ? y1_ : y0_ + (j + 1 + kBandWidening) / scaleY_;
      int from[2], to[2], ranges = 0;
      for (int q = 0; q < r.pieces; ++q) {
        double xlo = x0_, xhi = x1_;
        for (int p = 0; p < 3 && xlo <= xhi; ++p) clipRow(r.h[q][p], ylo, yhi, xlo, xhi);
        if (!(xlo <= xhi)) continue;
        from[ranges] = cellX(xlo);
        to[ranges] = cellX(xhi);
        ++ranges;
      }
      if (ranges == 2 && from[1] <= to[0] + 1 && from[0] <= to[1] + 1) {  // overlapping or adjacent: merge
        from[0] = std::min(from[0], from[1]);
        to[0] = std::max(to[0], to[1]);
        ranges = 1;
      }
      for (int g = 0; g < ranges; ++g)
        for (int i = from[g]; i <= to[g]; ++i) visit(static_cast<size_t>(j) * nx_ + i);
    }
  };
  const size_t cellCount = static_cast<size_t>(nx_) * ny_;
  for (int kind = 0; kind < 2; ++kind) {
    Lists& lists = kind == 0 ? wedges_ : strips_;
    std::vector<long long> counts(cellCount + 1, 0);
    for (int l = 1; l <= borderCount_; ++l) forCells(kind, l, [&](size_t c) { ++counts[c + 1]; });
    for (size_t c = 1; c <= cellCount; ++c) counts[c] += counts[c - 1];
    // Regions far wider than their share of the area (only rounding-level
    // turns at many vertices could do that): keep the scans.
    if (counts.back() > kMaxBorderRegistrationsPerCell * static_cast<long long>(cellCount) + borderCount_) {
      usable_ = false;
      wedges_ = Lists();
      strips_ = Lists();
      return;
    }
    lists.start.assign(counts.begin(), counts.end());
    lists.item.resize(lists.start.back());
    std::vector<int> at(lists.start.begin(), lists.start.end() - 1);
    for (int l = 1; l <= borderCount_; ++l) forCells(kind, l, [&](size_t c) { lists.item[at[c]++] = l; });
  }
}

void sdLocatePoints(int* pointCount, double* xData, double* yData, int* triCount, int* triVertex,
                    int* borderCount, int* borderSeg, int* count, double* xOut, double* yOut,
                    int* locCode, int* locIndex, PointLocator& locator) {
  // The arrays and counts are those the locator was made for.
  (void)pointCount;
  (void)xData;
  (void)yData;
  (void)triCount;
  (void)triVertex;
  (void)borderCount;
  (void)borderSeg;
  const int n = *count;
  for (int k = 0; k < n; ++k) {
    const double px = xOut[k];
    const double py = yOut[k];
    if (!std::isfinite(px) || !std::isfinite(py)) {
      locCode[k] = 0;
      locIndex[k] = 0;
      continue;
    }
    // 1. The previous point's triangle, inside the block only.
    if (k > 0 && locCode[k - 1] == 1 && locator.triangles.inside(locIndex[k - 1], px, py)) {
      locCode[k] = 1;
      locIndex[k] = locIndex[k - 1];
      continue;
    }
    // 2. The first triangle in number order whose test succeeds.
    const int t = locator.triangles.firstContaining(px, py);
    if (t > 0) {
      locCode[k] = 1;
      locIndex[k] = t;
      continue;
    }
    // 3. Vertex wedges before 4. segment strips; else the nearest vertex.
    locator.border.locate(px, py, &locCode[k], &locIndex[k]);
  }
}

void sdLocatePoints(int* pointCount, double* xData, double* yData, int* triCount, int* triVertex,
                    int* borderCount, int* borderSeg, int* count, double* xOut, double* yOut,
                    int* locCode, int* locIndex) {
  PointLocator locator(*pointCount, xData, yData, triVertex, *triCount, borderSeg, *borderCount, *count);
  sdLocatePoints(pointCount, xData, yData, triCount, triVertex, borderCount, borderSeg, count, xOut, yOut,
                 locCode, locIndex, locator);
}

}  // namespace lum::scattered
