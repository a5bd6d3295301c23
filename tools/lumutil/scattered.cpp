#include "scattered.h"

#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "errors.h"
#include "output.h"

namespace lumutil {

namespace {

// Columns of the library's work arrays that the tool reads (1-based, each
// column holds pointCount entries): triangles and border segments in iwork,
// partial derivatives in work, fit degrees in iwork.
constexpr int kWorkColumns = 17;
constexpr int kIworkColumns = 39;
constexpr int kTriangleColumn = 1;
constexpr int kBorderColumn = 7;
constexpr int kPartialsColumn = 1;
constexpr int kFitDegreeColumn = 39;
constexpr int kMinimumPoints = 10;

std::string pointText(double x, double y) { return "(" + formatNumber(x) + ", " + formatNumber(y) + ")"; }

std::string lineWord(const std::vector<long>& lines) {
  std::string text = lines.size() == 1 ? "line " : "lines ";
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? ", " : "") + std::to_string(lines[i]);
  return text;
}

// Left of or on the directed line a -> b, with the triangulation's operation order.
bool leftOrOn(double xa, double ya, double xb, double yb, double xp, double yp) {
  return (xb - xa) * (yp - ya) >= (xp - xa) * (yb - ya);
}

}  // namespace

bool collinearTriple(double x1, double y1, double x2, double y2, double x3, double y3) {
  return leftOrOn(x1, y1, x2, y2, x3, y3) && leftOrOn(x2, y2, x1, y1, x3, y3);
}

ScatteredSet loadScattered(const ScatteredOptions& o) {
  const CsvTable table = readCsv(o.common.input, o.common.csv);
  const std::size_t cx = table.resolveRole(o.x, "x", 0);
  const std::size_t cy = table.resolveRole(o.y, "y", 1);
  const std::size_t cz = table.resolveRole(o.z, "z", 2);
  const std::size_t rows = table.rowCount();
  std::vector<double> x(rows), y(rows), z(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    x[r] = table.number(r, cx);
    y[r] = table.number(r, cy);
    z[r] = table.number(r, cz);
  }
  if (rows > static_cast<std::size_t>(std::numeric_limits<int>::max() / kIworkColumns))
    throw InputError(table.source() + ": too many points");

  // Exact duplicates of (x, y), found by sorting; the library compares exactly too.
  std::vector<std::size_t> order(rows);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return x[a] < x[b] || (x[a] == x[b] && y[a] < y[b]);
  });
  std::vector<std::size_t> owner(rows);  // row that keeps each row's point
  std::iota(owner.begin(), owner.end(), std::size_t{0});
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < rows;) {
    std::size_t j = i + 1;
    while (j < rows && x[order[j]] == x[order[i]] && y[order[j]] == y[order[i]]) ++j;
    if (j - i > 1) {
      std::vector<std::size_t> group(order.begin() + static_cast<long>(i), order.begin() + static_cast<long>(j));
      std::sort(group.begin(), group.end());
      groups.push_back(group);
    }
    i = j;
  }
  std::sort(groups.begin(), groups.end());
  if (!groups.empty()) {
    const std::size_t shown = std::min<std::size_t>(groups.size(), 10);
    std::string list;
    for (std::size_t g = 0; g < shown; ++g) {
      std::vector<long> lines;
      for (std::size_t r : groups[g]) lines.push_back(table.line(r));
      list += (g ? "; " : "") + pointText(x[groups[g][0]], y[groups[g][0]]) + " on " + lineWord(lines);
    }
    if (groups.size() > shown) list += "; and " + std::to_string(groups.size() - shown) + " more";
    if (o.dedupe.empty())
      throw InputError(table.source() + ": " + std::to_string(groups.size()) + " point(s) repeated with the same x and y: " +
                       list + " (merge them with --dedupe mean or --dedupe first)");
    message(table.source() + ": merged " + std::to_string(groups.size()) + " repeated point(s) (--dedupe " + o.dedupe +
            "): " + list);
    for (const auto& group : groups) {
      std::vector<double> values;
      for (std::size_t r : group) {
        owner[r] = group[0];
        values.push_back(z[r]);
      }
      if (o.dedupe == "mean") z[group[0]] = mean(values);
    }
  }

  ScatteredSet set;
  set.source = table.source();
  for (std::size_t r = 0; r < rows; ++r) {
    if (owner[r] != r) continue;
    set.rank.push_back(set.x.size());
    set.x.push_back(x[r]);
    set.y.push_back(y[r]);
    set.z.push_back(z[r]);
    set.line.push_back(table.line(r));
  }
  const std::size_t n = set.x.size();
  if (n < static_cast<std::size_t>(kMinimumPoints))
    throw InputError(table.source() + ": the surface needs at least " + std::to_string(kMinimumPoints) +
                     " distinct points, the input has " + std::to_string(n));

  if (collinearTriple(set.x[0], set.y[0], set.x[1], set.y[1], set.x[2], set.y[2])) {
    std::size_t k = 3;
    while (k < n && collinearTriple(set.x[0], set.y[0], set.x[1], set.y[1], set.x[k], set.y[k])) ++k;
    if (k == n) throw InputError(table.source() + ": all points lie on one straight line; no surface can be fitted");
    const auto move = [k](auto& v) { std::rotate(v.begin() + 2, v.begin() + static_cast<long>(k), v.begin() + static_cast<long>(k) + 1); };
    message(table.source() + ": the first three points (lines " + std::to_string(set.line[0]) + ", " +
            std::to_string(set.line[1]) + ", " + std::to_string(set.line[2]) +
            ") are collinear, which the triangulation cannot start from; moved the point of line " +
            std::to_string(set.line[k]) + " into third place");
    move(set.x);
    move(set.y);
    move(set.z);
    move(set.line);
    move(set.rank);
  }
  return set;
}

Surface::Surface(const ScatteredSet& data)
    : pointCount_(static_cast<int>(data.x.size())),
      x_(data.x),
      y_(data.y),
      z_(data.z),
      work_(static_cast<std::size_t>(kWorkColumns) * data.x.size()),
      iwork_(static_cast<std::size_t>(kIworkColumns) * data.x.size()) {
  // A full preparation needs at least one output point; the first data point serves.
  int mode = 1, outCount = 1, status = -1;
  double xo = x_[0], yo = y_[0], zo = 0.0;
  sdbi3p_(&mode, &pointCount_, x_.data(), y_.data(), z_.data(), &outCount, &xo, &yo, &zo, &status, work_.data(),
          iwork_.data(), &borderCount_, &triCount_);
  if (status != 0)
    throw ComputeError(data.source + ": the library could not prepare the surface (status " + std::to_string(status) +
                       (status == 9 ? ": the triangulation failed" : "") + ")");
  const std::size_t n = data.x.size();
  const int* triangles = iwork_.data() + (kTriangleColumn - 1) * n;
  const int* border = iwork_.data() + (kBorderColumn - 1) * n;
  for (int i = 0; i < 3 * triCount_; ++i) mesh_.triangles.push_back(triangles[i] - 1);
  for (int i = 0; i < 2 * borderCount_; ++i) mesh_.border.push_back(border[i] - 1);
  static_assert(kPartialsColumn == 1, "partials() reads work from its start");
}

void Surface::evaluate(const double* x, const double* y, int count, double* z) {
  if (count < 1) return;
  std::vector<double> xs(x, x + count), ys(y, y + count);
  int mode = 1, status = -1;
  Calculate_(&mode, &pointCount_, x_.data(), y_.data(), z_.data(), &count, xs.data(), ys.data(), z, &status,
             work_.data(), iwork_.data(), borderCount_, triCount_);
  if (status != 0) throw ComputeError("the library could not evaluate the surface (status " + std::to_string(status) + ")");
}

void Surface::evaluateRows(const double* xs, int nx, const double* ys, int rows, double* z) {
  constexpr int kBlock = 51;  // the library locates and evaluates points in blocks of 51
  const int padded = (nx + kBlock - 1) / kBlock * kBlock;
  const std::size_t total = static_cast<std::size_t>(padded) * static_cast<std::size_t>(rows);
  std::vector<double> px(total), py(total), pz(total);
  for (int r = 0; r < rows; ++r) {
    double* rx = px.data() + static_cast<std::size_t>(r) * padded;
    std::copy(xs, xs + nx, rx);
    std::fill(rx + nx, rx + padded, xs[nx - 1]);  // padding after the row's own nodes changes none of them
    std::fill(py.data() + static_cast<std::size_t>(r) * padded, py.data() + static_cast<std::size_t>(r + 1) * padded,
              ys[r]);
  }
  evaluate(px.data(), py.data(), static_cast<int>(total), pz.data());
  for (int r = 0; r < rows; ++r)
    std::copy_n(pz.data() + static_cast<std::size_t>(r) * padded, nx, z + static_cast<std::size_t>(r) * nx);
}

int Surface::fitDegree(std::size_t p) const {
  return iwork_[static_cast<std::size_t>(kFitDegreeColumn - 1) * x_.size() + p];
}

TriangleLocator::TriangleLocator(const std::vector<double>& x, const std::vector<double>& y, const Mesh& mesh)
    : x_(x), y_(y), mesh_(mesh) {
  const std::size_t triCount = mesh.triangles.size() / 3;
  if (triCount == 0) return;
  x0_ = x1_ = x[static_cast<std::size_t>(mesh.triangles[0])];
  y0_ = y1_ = y[static_cast<std::size_t>(mesh.triangles[0])];
  for (int p : mesh.triangles) {
    x0_ = std::min(x0_, x[static_cast<std::size_t>(p)]);
    x1_ = std::max(x1_, x[static_cast<std::size_t>(p)]);
    y0_ = std::min(y0_, y[static_cast<std::size_t>(p)]);
    y1_ = std::max(y1_, y[static_cast<std::size_t>(p)]);
  }
  const int side = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(triCount))));
  nbx_ = nby_ = side;
  sx_ = x1_ > x0_ ? nbx_ / (x1_ - x0_) : 0.0;
  sy_ = y1_ > y0_ ? nby_ / (y1_ - y0_) : 0.0;
  // Bin numbers grow monotonically with the coordinate, so a point inside a
  // triangle's bounding box always falls into one of the box's bins.
  std::vector<int> counts(static_cast<std::size_t>(nbx_ * nby_) + 1, 0);
  const auto forBins = [&](std::size_t t, auto&& visit) {
    const int* v = &mesh.triangles[3 * t];
    double bx0 = x[static_cast<std::size_t>(v[0])], bx1 = bx0, by0 = y[static_cast<std::size_t>(v[0])], by1 = by0;
    for (int k = 1; k < 3; ++k) {
      bx0 = std::min(bx0, x[static_cast<std::size_t>(v[k])]);
      bx1 = std::max(bx1, x[static_cast<std::size_t>(v[k])]);
      by0 = std::min(by0, y[static_cast<std::size_t>(v[k])]);
      by1 = std::max(by1, y[static_cast<std::size_t>(v[k])]);
    }
    for (int j = binY(by0); j <= binY(by1); ++j)
      for (int i = binX(bx0); i <= binX(bx1); ++i) visit(j * nbx_ + i);
  };
  for (std::size_t t = 0; t < triCount; ++t) forBins(t, [&](int b) { ++counts[static_cast<std::size_t>(b) + 1]; });
  std::partial_sum(counts.begin(), counts.end(), counts.begin());
  start_ = counts;
  entries_.resize(static_cast<std::size_t>(start_.back()));
  for (std::size_t t = 0; t < triCount; ++t)
    forBins(t, [&](int b) { entries_[static_cast<std::size_t>(counts[static_cast<std::size_t>(b)]++)] = static_cast<int>(t); });
}

int TriangleLocator::binX(double px) const {
  const int b = static_cast<int>((px - x0_) * sx_);
  return std::clamp(b, 0, nbx_ - 1);
}

int TriangleLocator::binY(double py) const {
  const int b = static_cast<int>((py - y0_) * sy_);
  return std::clamp(b, 0, nby_ - 1);
}

bool TriangleLocator::contains(int t, double px, double py) const {
  const int* v = &mesh_.triangles[3 * static_cast<std::size_t>(t)];
  const double x1 = x_[static_cast<std::size_t>(v[0])], y1 = y_[static_cast<std::size_t>(v[0])];
  const double x2 = x_[static_cast<std::size_t>(v[1])], y2 = y_[static_cast<std::size_t>(v[1])];
  const double x3 = x_[static_cast<std::size_t>(v[2])], y3 = y_[static_cast<std::size_t>(v[2])];
  if ((x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1) == 0.0) return false;  // zero area
  const double ax = x1 - px, ay = y1 - py, bx = x2 - px, by = y2 - py, cx = x3 - px, cy = y3 - py;
  return ax * by - ay * bx >= 0.0 && bx * cy - by * cx >= 0.0 && cx * ay - cy * ax >= 0.0;
}

int TriangleLocator::locate(double px, double py) const {
  if (entries_.empty() || !(px >= x0_ && px <= x1_ && py >= y0_ && py <= y1_)) return -1;
  const int b = binY(py) * nbx_ + binX(px);
  for (int e = start_[static_cast<std::size_t>(b)]; e < start_[static_cast<std::size_t>(b) + 1]; ++e)
    if (contains(entries_[static_cast<std::size_t>(e)], px, py)) return entries_[static_cast<std::size_t>(e)];
  return -1;
}

double TriangleLocator::linear(int t, double px, double py, const std::vector<double>& z) const {
  const int* v = &mesh_.triangles[3 * static_cast<std::size_t>(t)];
  const std::size_t p1 = static_cast<std::size_t>(v[0]), p2 = static_cast<std::size_t>(v[1]),
                    p3 = static_cast<std::size_t>(v[2]);
  const double a = x_[p2] - x_[p1], b = x_[p3] - x_[p1], c = y_[p2] - y_[p1], d = y_[p3] - y_[p1];
  const double det = a * d - b * c;
  const double u = (d * (px - x_[p1]) - b * (py - y_[p1])) / det;  // weight of vertex 2
  const double w = (a * (py - y_[p1]) - c * (px - x_[p1])) / det;  // weight of vertex 3
  // At a vertex the weights are exactly (1, 0, 0) in some order, so the data value comes back unchanged.
  const double value = (1.0 - u - w) * z[p1] + u * z[p2] + w * z[p3];
  const double lo = std::min({z[p1], z[p2], z[p3]}), hi = std::max({z[p1], z[p2], z[p3]});
  return std::clamp(value, lo, hi);
}

OvershootCounter::OvershootCounter(double zMin, double zMax)
    : zMin_(zMin), zMax_(zMax), low_(zMin - (zMax - zMin) / 4), high_(zMax + (zMax - zMin) / 4) {}

void OvershootCounter::add(double value, bool inside, double x, double y) {
  if (std::isnan(value)) return;
  (inside ? totalInside_ : totalOutside_)++;
  if (value >= low_ && value <= high_) return;
  (inside ? countInside_ : countOutside_)++;
  const double excursion = value > zMax_ ? value - zMax_ : zMin_ - value;
  if (excursion > worstExcursion_) {
    worstExcursion_ = excursion;
    worstValue_ = value;
    worstX_ = x;
    worstY_ = y;
  }
}

std::string OvershootCounter::report(const std::string& what) const {
  if (!any()) return "";
  const auto share = [](long long count, long long total) {
    return std::to_string(count) + " of " + std::to_string(total);
  };
  return "warning: overshoot: the smooth surface leaves the data range [" + formatNumber(zMin_) + ", " +
         formatNumber(zMax_) + "] by more than a quarter of its span at " + share(countInside_, totalInside_) + " " +
         what + " inside the data hull and " + share(countOutside_, totalOutside_) +
         " outside; largest excursion " + formatNumber(worstExcursion_) + " (value " + formatNumber(worstValue_) +
         " at " + pointText(worstX_, worstY_) + "); consider --method linear or --mask-outside";
}

}  // namespace lumutil
