// Compact adjacency store for the Delaunay insertion; see compact_mesh.h.
#include "scattered/compact_mesh.h"

#include <algorithm>
#include <cstdlib>

#include "scattered/insertion_core.h"
#include "scattered/spatial_order.h"

namespace lum::scattered {
CompactMesh::CompactMesh(int n, const double* x, const double* y)
    : n_(n), toInternal_(n), toExternal_(sdHilbertOrder(n, x, y)), rec_(n) {
  for (int r = 1; r <= n; ++r) {
    const int k = toExternal_[r - 1];
    toInternal_[k - 1] = r;
    rec_[r - 1].x = x[k - 1];
    rec_[r - 1].y = y[k - 1];
  }
}

int CompactMesh::indexOf(int r, int c) const {
  const int* cell = cells(r);
  const int d = degree(r);
  const int hinted = hint_[c & (kHints - 1)];
  if (hinted < d && cell[hinted] == c) return hinted;  // cells are unique: r's cell c
  for (int i = 0; i < d; ++i) {
    if (cell[i] == c) {
      remember(c, i);
      return i;
    }
  }
  return 0;  // not reached: handles always name a cell of r's list
}

int CompactMesh::nextOf(int r, int c) const {
  const int d = degree(r);
  const int i = indexOf(r, c);
  const int j = i + 1 == d ? 0 : i + 1;
  const int next = cells(r)[j];
  remember(next, j);
  return next;
}

int CompactMesh::findCell(int r, int target, int /*limit*/) const {
  // As the walk from the first cell: the first cell before the last holding
  // target, else the last cell. (A list here has fewer cells than any limit.)
  const int* e = neighbours(r);
  const int d = degree(r);
  int i = 0;
  while (i < d - 1 && e[i] != target) ++i;
  const int cell = cells(r)[i];
  remember(cell, i);
  return cell;
}

void CompactMesh::reserve(int r, int count) {
  const int cap = capacity(r);
  if (count <= cap) return;
  const int newCap = std::max({16, 2 * cap, count});
  const size_t off = pool_.size();
  pool_.resize(off + 1 + 2 * static_cast<size_t>(newCap));  // may move the pool
  pool_[off] = newCap;
  Record& R = rec_[r - 1];
  int* to = pool_.data() + off + 1;
  if (R.spill == 0) {
    std::copy(R.node, R.node + R.deg, to);
    std::copy(R.cell, R.cell + R.deg, to + newCap);
  } else {
    const int* from = pool_.data() + R.spill;
    std::copy(from, from + R.deg, to);
    std::copy(from + cap, from + cap + R.deg, to + newCap);
  }
  R.spill = static_cast<int>(off + 1);
}

void CompactMesh::insertAfter(int r, int lp, int value, int cell) {
  // In the circular list, a cell linked after the last one becomes the first.
  const int d = degree(r);
  const int i = indexOf(r, lp);
  const int pos = i == d - 1 ? 0 : i + 1;
  if (d + 1 > capacity(r)) reserve(r, d + 1);
  int* e = mutableNeighbours(r);
  int* c = mutableCells(r);
  for (int j = d; j > pos; --j) {
    e[j] = e[j - 1];
    c[j] = c[j - 1];
  }
  e[pos] = value;
  c[pos] = cell;
  rec_[r - 1].deg = d + 1;
  remember(cell, pos);
}

int CompactMesh::unlinkAfter(int r, int lp) {
  const int d = degree(r);
  if (d < 2) return core::kLostTrack;  // the cell would stay in this list too
  const int i = indexOf(r, lp);
  const int j = i + 1 == d ? 0 : i + 1;
  int* e = mutableNeighbours(r);
  int* c = mutableCells(r);
  const int cell = c[j];
  for (int k = j; k < d - 1; ++k) {
    e[k] = e[k + 1];
    c[k] = c[k + 1];
  }
  rec_[r - 1].deg = d - 1;
  return cell;
}

void CompactMesh::setLast(int r, int c) {
  const int i = indexOf(r, c);
  const int d = degree(r);
  int* e = mutableNeighbours(r);
  int* cell = mutableCells(r);
  std::rotate(e, e + i + 1, e + d);
  std::rotate(cell, cell + i + 1, cell + d);
}

void CompactMesh::makeList(int r, const int* values, int count, int firstCell) {
  reserve(r, count);
  int* e = mutableNeighbours(r);
  int* c = mutableCells(r);
  for (int j = 0; j < count; ++j) {
    e[j] = values[j];
    c[j] = firstCell + j;
  }
  rec_[r - 1].deg = count;
}

bool CompactMesh::load(int count, const int* adjNode, const int* adjNext, const int* adjLast) {
  const long long limit = 6LL * count;
  std::vector<int> values;
  std::vector<char> taken(static_cast<size_t>(limit) + 1, 0);
  for (int v = 1; v <= count; ++v) {
    const int lastC = adjLast[v - 1];
    if (lastC < 1 || lastC > limit) return false;
    values.clear();
    const int start = adjNext[lastC - 1];
    int c = start;
    for (;;) {
      if (c < 1 || c > limit || taken[c] || static_cast<long long>(values.size()) > limit) {
        return false;
      }
      taken[c] = 1;
      const int u = adjNode[c - 1];
      const int au = std::abs(u);
      if (au < 1 || au > n_) return false;
      values.push_back(u < 0 ? -internal(au) : internal(au));
      if (c == lastC) break;
      c = adjNext[c - 1];
    }
    const int r = internal(v);
    const int d = static_cast<int>(values.size());
    reserve(r, d);
    int* e = mutableNeighbours(r);
    int* cell = mutableCells(r);
    c = start;
    for (int j = 0; j < d; ++j) {
      e[j] = values[j];
      cell[j] = c;
      c = adjNext[c - 1];
    }
    rec_[r - 1].deg = d;
  }
  return true;
}

void CompactMesh::materialize(int* adjNode, int* adjNext, int* adjLast) const {
  for (int r = 1; r <= n_; ++r) {
    const int d = degree(r);
    if (d == 0) continue;
    const int* e = neighbours(r);
    const int* cell = cells(r);
    for (int j = 0; j < d; ++j) {
      const int ext = external(std::abs(e[j]));
      adjNode[cell[j] - 1] = e[j] < 0 ? -ext : ext;
      adjNext[cell[j] - 1] = cell[j + 1 == d ? 0 : j + 1];
    }
    adjLast[external(r) - 1] = cell[d - 1];
  }
}

// The same predicate as the check on the caller's lists, pass by pass. Each
// list here is a cycle of its own cells by construction, so the checks of
// cell ranges and of cells shared between lists hold. Nodes are visited in
// internal order; the outcome does not depend on the order: the per-node
// conditions are independent, the hull cycle test gives the same answer from
// every hull node, and the triangle pass checks the same corners (ordered by
// degree, ties by external number, as there) with the same total work, which
// is what its budget limits.
bool CompactMesh::formsTriangulation(int cells) const {
  const int n = n_;
  if (n < 3 || cells < 6 || cells > 6 * n) return false;
  std::vector<int> seenBy(static_cast<size_t>(n) + 1, 0);
  long long cellSum = 0, corners = 0;
  int hullNodes = 0, someHull = 0;
  for (int r = 1; r <= n; ++r) {
    const int* e = neighbours(r);
    const int d = degree(r);
    if (d == 0) return false;
    for (int j = 0; j < d; ++j) {
      const int u = e[j];
      const int au = std::abs(u);
      if (au < 1 || au > n || au == r || (u < 0 && j != d - 1) || seenBy[au] == r) return false;
      seenBy[au] = r;
    }
    const bool hull = e[d - 1] < 0;
    if (d < (hull ? 2 : 3)) return false;
    cellSum += d;
    corners += hull ? d - 1 : d;
    if (hull) {
      ++hullNodes;
      someHull = r;
    }
  }
  if (cellSum != cells || hullNodes < 3) return false;
  const long long h = hullNodes;
  if (cellSum != 2 * (3LL * n - 3 - h) || corners != 3 * (2LL * n - 2 - h)) return false;

  auto hullNode = [&](int r) { return neighbours(r)[degree(r) - 1] < 0; };
  auto firstOf = [&](int r) { return std::abs(neighbours(r)[0]); };
  auto lastOf = [&](int r) { return std::abs(neighbours(r)[degree(r) - 1]); };
  int u = someHull;
  for (int i = 1; i <= hullNodes; ++i) {
    const int f = firstOf(u);
    if (!hullNode(f) || lastOf(f) != u) return false;
    u = f;
    if (u == someHull && i < hullNodes) return false;
  }
  if (u != someHull) return false;

  long long budget = 256LL * cells + 1024;
  // (degree, external number) of a below that of b; the list walk there costs
  // the smaller degree.
  auto below = [&](int a, int b) {
    const int da = degree(a), db = degree(b);
    budget -= std::min(da, db);
    return da != db ? da < db : external(a) < external(b);
  };
  // In a's list, b (not as a's hull-last) is followed by c; the walk there
  // costs the position of b, or the whole list.
  auto corner = [&](int a, int b, int c) {
    const int* e = neighbours(a);
    const int d = degree(a);
    for (int j = 0; j < d; ++j) {
      --budget;
      if (std::abs(e[j]) == b) {
        if (e[j] < 0) return false;
        return std::abs(e[j + 1 == d ? 0 : j + 1]) == c;
      }
    }
    return false;
  };
  long long triangles = 0;
  for (int r = 1; r <= n; ++r) {
    const int* e = neighbours(r);
    const int d = degree(r);
    const bool hull = e[d - 1] < 0;
    for (int j = 0; j < d; ++j) {
      if (j == d - 1 && hull) break;
      const int a = std::abs(e[j]);
      const int b = std::abs(e[j + 1 == d ? 0 : j + 1]);
      if (below(a, r) && below(b, r)) {
        if (!corner(a, b, r) || !corner(b, r, a)) return false;
        ++triangles;
      }
      if (budget < 0) return false;
    }
  }
  return 3 * triangles == corners;
}

}  // namespace lum::scattered
