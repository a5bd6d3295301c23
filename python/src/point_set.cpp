#include "point_set.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <stdexcept>

namespace lumpy {

namespace {

// At most this many repeated groups are listed in an error message.
constexpr std::size_t kListedGroups = 10;

std::string number(double value) {
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string indexList(const std::vector<std::size_t>& positions) {
  std::string text = positions.size() == 1 ? "index " : "indices ";
  for (std::size_t i = 0; i < positions.size(); ++i) text += (i ? ", " : "") + std::to_string(positions[i]);
  return text;
}

// Left of or on the directed line a -> b, with the triangulation's operation order.
bool leftOrOn(double xa, double ya, double xb, double yb, double xp, double yp) {
  return (xb - xa) * (yp - ya) >= (xp - xa) * (yb - ya);
}

void requireFiniteInput(const double* v, std::size_t count, const char* name) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i]))
      throw std::invalid_argument(std::string(name) + "[" + std::to_string(i) + "] is " +
                                  (std::isnan(v[i]) ? "nan" : (v[i] > 0 ? "inf" : "-inf")) +
                                  "; the surface needs finite coordinates and values");
}

// Groups of input positions sharing exact (x, y), each ascending, ordered by
// their first position.
std::vector<std::vector<std::size_t>> repeatedGroups(const double* x, const double* y, std::size_t count) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return x[a] < x[b] || (x[a] == x[b] && y[a] < y[b]);
  });
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < count;) {
    std::size_t j = i + 1;
    while (j < count && x[order[j]] == x[order[i]] && y[order[j]] == y[order[i]]) ++j;
    if (j - i > 1) {
      groups.emplace_back(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(j));
      std::sort(groups.back().begin(), groups.back().end());
    }
    i = j;
  }
  std::sort(groups.begin(), groups.end());
  return groups;
}

std::string describeGroups(const std::vector<std::vector<std::size_t>>& groups, const double* x, const double* y) {
  std::string list;
  const std::size_t shown = std::min(groups.size(), kListedGroups);
  for (std::size_t g = 0; g < shown; ++g)
    list += (g ? "; " : "") + std::string("(") + number(x[groups[g][0]]) + ", " + number(y[groups[g][0]]) + ") at " +
            indexList(groups[g]);
  if (groups.size() > shown) list += "; and " + std::to_string(groups.size() - shown) + " more";
  return list;
}

// Moves element k of v into position 2, shifting positions 2 .. k-1 back by one.
template <typename T>
void moveIntoThird(std::vector<T>& v, std::size_t k) {
  std::rotate(v.begin() + 2, v.begin() + static_cast<std::ptrdiff_t>(k), v.begin() + static_cast<std::ptrdiff_t>(k) + 1);
}

}  // namespace

bool collinearTriple(double x1, double y1, double x2, double y2, double x3, double y3) {
  return leftOrOn(x1, y1, x2, y2, x3, y3) && leftOrOn(x2, y2, x1, y1, x3, y3);
}

PointSet makePointSet(const double* x, const double* y, const double* z, std::size_t count, Dedupe dedupe,
                      bool reorder) {
  requireFiniteInput(x, count, "x");
  requireFiniteInput(y, count, "y");
  requireFiniteInput(z, count, "z");

  PointSet set;
  set.dedupe = dedupe;
  set.owner.resize(count);
  std::iota(set.owner.begin(), set.owner.end(), std::size_t{0});
  const std::vector<std::vector<std::size_t>> groups = repeatedGroups(x, y, count);
  if (!groups.empty() && dedupe == Dedupe::Refuse)
    throw std::invalid_argument(std::to_string(groups.size()) + " point(s) repeated with the same x and y: " +
                                describeGroups(groups, x, y) + " (merge them with dedupe='mean' or dedupe='first')");
  for (const auto& group : groups)
    for (std::size_t r : group) set.owner[r] = group[0];

  // Stored points in input order of their first occurrence; owner then maps
  // each input position to its stored point.
  std::vector<std::size_t> storedOf(count);
  for (std::size_t r = 0; r < count; ++r) {
    if (set.owner[r] != r) continue;
    storedOf[r] = set.x.size();
    set.source.push_back(r);
    set.x.push_back(x[r]);
    set.y.push_back(y[r]);
  }
  for (std::size_t r = 0; r < count; ++r) set.owner[r] = storedOf[set.owner[r]];

  const std::size_t n = set.x.size();
  if (n < kMinSurfacePoints)
    throw std::invalid_argument("the surface needs at least " + std::to_string(kMinSurfacePoints) +
                                " distinct points, got " + std::to_string(n));

  if (collinearTriple(set.x[0], set.y[0], set.x[1], set.y[1], set.x[2], set.y[2])) {
    std::size_t k = 3;
    while (k < n && collinearTriple(set.x[0], set.y[0], set.x[1], set.y[1], set.x[k], set.y[k])) ++k;
    if (k == n) throw std::invalid_argument("all points lie on one straight line; no surface can be fitted");
    if (!reorder)
      throw std::invalid_argument("the first three points (indices " + std::to_string(set.source[0]) + ", " +
                                  std::to_string(set.source[1]) + ", " + std::to_string(set.source[2]) +
                                  ") are collinear, which the triangulation cannot start from; reorder=True "
                                  "moves the first point off their line (index " +
                                  std::to_string(set.source[k]) + ") into third place");
    moveIntoThird(set.x, k);
    moveIntoThird(set.y, k);
    moveIntoThird(set.source, k);
    // Stored points 2 .. k moved: renumber the owners.
    for (std::size_t& p : set.owner) {
      if (p == k)
        p = 2;
      else if (p >= 2 && p < k)
        ++p;
    }
  }
  set.z = storedValues(set, z, count);
  return set;
}

std::vector<double> storedValues(const PointSet& set, const double* z, std::size_t count) {
  if (count != set.owner.size())
    throw std::invalid_argument("expected " + std::to_string(set.owner.size()) + " values (one per input point), got " +
                                std::to_string(count));
  requireFiniteInput(z, count, "z");
  const std::size_t n = set.source.size();
  std::vector<double> values(n);
  if (set.dedupe != Dedupe::Mean) {
    for (std::size_t p = 0; p < n; ++p) values[p] = z[set.source[p]];
    return values;
  }
  // Mean of each group, summed from 0.0 in input order and divided by the
  // group's size.
  std::vector<double> sum(n, 0.0);
  std::vector<std::size_t> members(n, 0);
  for (std::size_t r = 0; r < count; ++r) {
    sum[set.owner[r]] += z[r];
    ++members[set.owner[r]];
  }
  for (std::size_t p = 0; p < n; ++p) values[p] = sum[p] / static_cast<double>(members[p]);
  return values;
}

}  // namespace lumpy
