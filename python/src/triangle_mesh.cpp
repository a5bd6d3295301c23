#include "triangle_mesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumpy {

namespace {

// cross(a, b) = ax*by - ay*bx, the sign convention of the library's inside
// test: positive when b lies counterclockwise of a.
inline double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Bounding boxes are widened by this share of the data's extent before they
// are binned: a point that the inside test accepts through rounding may lie
// a hair outside its triangle's box.
constexpr double kBoxMargin = 1.0e-6;
// Target number of triangles per bin, and the most bins along one axis.
constexpr double kTrianglesPerBin = 2.0;
constexpr std::size_t kMaxBinsPerAxis = 4096;

}  // namespace

TriangleMesh::TriangleMesh(const double* x, const double* y, const int* triVertex, int triCount,
                           const int* borderSeg, int borderCount)
    : x_(x), y_(y) {
  triangles_.resize(3 * static_cast<std::size_t>(triCount));
  for (std::size_t i = 0; i < triangles_.size(); ++i) triangles_[i] = triVertex[i] - 1;
  border_.resize(2 * static_cast<std::size_t>(borderCount));
  for (std::size_t i = 0; i < border_.size(); ++i) border_[i] = borderSeg[i] - 1;

  double xmin = std::numeric_limits<double>::infinity(), xmax = -xmin, ymin = xmin, ymax = -xmin;
  for (int v : triangles_) {
    xmin = std::min(xmin, x_[v]);
    xmax = std::max(xmax, x_[v]);
    ymin = std::min(ymin, y_[v]);
    ymax = std::max(ymax, y_[v]);
  }
  if (triangles_.empty()) {
    start_.assign(2, 0);
    return;
  }
  const double marginX = kBoxMargin * (xmax - xmin) + kBoxMargin * std::fabs(xmin);
  const double marginY = kBoxMargin * (ymax - ymin) + kBoxMargin * std::fabs(ymin);
  x0_ = xmin - marginX;
  y0_ = ymin - marginY;
  xMax_ = xmax + marginX;
  yMax_ = ymax + marginY;
  const double width = xMax_ - x0_, height = yMax_ - y0_;
  const double bins = std::max(1.0, triCount / kTrianglesPerBin);
  const double aspect = width > 0.0 && height > 0.0 ? width / height : 1.0;
  columns_ = static_cast<std::size_t>(std::clamp(std::ceil(std::sqrt(bins * aspect)), 1.0, double(kMaxBinsPerAxis)));
  rows_ = static_cast<std::size_t>(std::clamp(std::ceil(bins / double(columns_)), 1.0, double(kMaxBinsPerAxis)));
  binWidth_ = width > 0.0 ? width / double(columns_) : 1.0;
  binHeight_ = height > 0.0 ? height / double(rows_) : 1.0;

  // Bin ranges of each triangle's widened box, counted then filled in
  // triangle order so that every bin's list ascends.
  auto cell = [](double v, double origin, double size, std::size_t count) {
    const double c = std::floor((v - origin) / size);
    return static_cast<std::size_t>(std::clamp(c, 0.0, double(count - 1)));
  };
  std::vector<std::size_t> range(4 * static_cast<std::size_t>(triCount));
  std::vector<std::size_t> counts(columns_ * rows_ + 1, 0);
  for (int t = 0; t < triCount; ++t) {
    const int* v = &triangles_[3 * static_cast<std::size_t>(t)];
    const double tx0 = std::min({x_[v[0]], x_[v[1]], x_[v[2]]}) - marginX;
    const double tx1 = std::max({x_[v[0]], x_[v[1]], x_[v[2]]}) + marginX;
    const double ty0 = std::min({y_[v[0]], y_[v[1]], y_[v[2]]}) - marginY;
    const double ty1 = std::max({y_[v[0]], y_[v[1]], y_[v[2]]}) + marginY;
    std::size_t* r = &range[4 * static_cast<std::size_t>(t)];
    r[0] = cell(tx0, x0_, binWidth_, columns_);
    r[1] = cell(tx1, x0_, binWidth_, columns_);
    r[2] = cell(ty0, y0_, binHeight_, rows_);
    r[3] = cell(ty1, y0_, binHeight_, rows_);
    for (std::size_t row = r[2]; row <= r[3]; ++row)
      for (std::size_t col = r[0]; col <= r[1]; ++col) ++counts[row * columns_ + col + 1];
  }
  start_.assign(counts.size(), 0);
  for (std::size_t b = 1; b < counts.size(); ++b) start_[b] = start_[b - 1] + counts[b];
  entries_.resize(start_.back());
  std::vector<std::size_t> fill(start_.begin(), start_.end() - 1);
  for (int t = 0; t < triCount; ++t) {
    const std::size_t* r = &range[4 * static_cast<std::size_t>(t)];
    for (std::size_t row = r[2]; row <= r[3]; ++row)
      for (std::size_t col = r[0]; col <= r[1]; ++col) entries_[fill[row * columns_ + col]++] = t;
  }
}

bool TriangleMesh::binOf(double px, double py, std::size_t& bin) const {
  if (!(px >= x0_ && px <= xMax_ && py >= y0_ && py <= yMax_)) return false;
  const std::size_t col = std::min(static_cast<std::size_t>((px - x0_) / binWidth_), columns_ - 1);
  const std::size_t row = std::min(static_cast<std::size_t>((py - y0_) / binHeight_), rows_ - 1);
  bin = row * columns_ + col;
  return true;
}

bool TriangleMesh::holds(int t, double px, double py) const {
  const int* v = &triangles_[3 * static_cast<std::size_t>(t)];
  const double ax = x_[v[0]] - px, ay = y_[v[0]] - py;
  const double bx = x_[v[1]] - px, by = y_[v[1]] - py;
  const double cx = x_[v[2]] - px, cy = y_[v[2]] - py;
  if (!(cross(ax, ay, bx, by) >= 0.0 && cross(bx, by, cx, cy) >= 0.0 && cross(cx, cy, ax, ay) >= 0.0)) return false;
  const double a = x_[v[1]] - x_[v[0]];
  const double b = x_[v[2]] - x_[v[0]];
  const double c = y_[v[1]] - y_[v[0]];
  const double d = y_[v[2]] - y_[v[0]];
  return a * d - b * c != 0.0;
}

int TriangleMesh::locate(double px, double py) const {
  std::size_t bin = 0;
  if (!binOf(px, py, bin)) return -1;
  for (std::size_t i = start_[bin]; i < start_[bin + 1]; ++i)
    if (holds(entries_[i], px, py)) return entries_[i];
  return -1;
}

double TriangleMesh::linear(int t, double px, double py, const double* z) const {
  const int* v = &triangles_[3 * static_cast<std::size_t>(t)];
  const double ax = x_[v[0]] - px, ay = y_[v[0]] - py;
  const double bx = x_[v[1]] - px, by = y_[v[1]] - py;
  const double cx = x_[v[2]] - px, cy = y_[v[2]] - py;
  // Each vertex is weighted by the area of the sub-triangle opposite it. At a
  // vertex the other two weights are exactly 0 and its own exactly 1.
  const double c1 = std::max(cross(bx, by, cx, cy), 0.0);
  const double c2 = std::max(cross(cx, cy, ax, ay), 0.0);
  const double c3 = std::max(cross(ax, ay, bx, by), 0.0);
  const double z1 = z[v[0]], z2 = z[v[1]], z3 = z[v[2]];
  const double sum = c1 + c2 + c3;
  if (!(sum > 0.0)) return z1;
  const double value = (c1 / sum) * z1 + (c2 / sum) * z2 + (c3 / sum) * z3;
  return std::clamp(value, std::min({z1, z2, z3}), std::max({z1, z2, z3}));
}

void TriangleMesh::nearestOnBorder(double px, double py, int& s, double& u) const {
  double best = std::numeric_limits<double>::infinity();
  s = 0;
  u = 0.0;
  const int segments = static_cast<int>(border_.size() / 2);
  for (int k = 0; k < segments; ++k) {
    const int a = border_[2 * static_cast<std::size_t>(k)], b = border_[2 * static_cast<std::size_t>(k) + 1];
    const double dx = x_[b] - x_[a], dy = y_[b] - y_[a];
    const double length = dx * dx + dy * dy;
    double f = length > 0.0 ? ((px - x_[a]) * dx + (py - y_[a]) * dy) / length : 0.0;
    f = std::clamp(f, 0.0, 1.0);
    double qx = 0.0, qy = 0.0;
    borderPoint(k, f, qx, qy);
    const double d = (px - qx) * (px - qx) + (py - qy) * (py - qy);
    if (d < best) {
      best = d;
      s = k;
      u = f;
    }
  }
}

void TriangleMesh::borderPoint(int s, double u, double& bx, double& by) const {
  const int a = border_[2 * static_cast<std::size_t>(s)], b = border_[2 * static_cast<std::size_t>(s) + 1];
  if (u >= 1.0) {
    bx = x_[b];
    by = y_[b];
    return;
  }
  bx = x_[a] + u * (x_[b] - x_[a]);
  by = y_[a] + u * (y_[b] - y_[a]);
}

double TriangleMesh::borderValue(int s, double u, const double* z) const {
  const double za = z[border_[2 * static_cast<std::size_t>(s)]];
  const double zb = z[border_[2 * static_cast<std::size_t>(s) + 1]];
  const double value = (1.0 - u) * za + u * zb;
  return std::clamp(value, std::min(za, zb), std::max(za, zb));
}

}  // namespace lumpy
