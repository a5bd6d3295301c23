// Packed copy of the adjacency lists and the triangle table built from its
// corners; see list_snapshot.h.
#include "scattered/list_snapshot.h"

#include <cstdlib>
#include <numeric>
#include <utility>

namespace lum::scattered {
namespace {

// Lists followed at the same time while reading: enough independent cache
// misses to keep the memory system busy.
constexpr int kLanes = 16;

}  // namespace

ListSnapshot::ListSnapshot(int n, const int* adjNode, const int* adjNext, const int* adjLast,
                           std::vector<int> order)
    : n_(n), toExternal_(std::move(order)), toInternal_(n), start_(n, 0), degree_(n, 0) {
  if (toExternal_.empty()) {
    toExternal_.resize(n);
    std::iota(toExternal_.begin(), toExternal_.end(), 1);
  }
  for (int r = 1; r <= n; ++r) toInternal_[toExternal_[r - 1] - 1] = r;
  const long long limit = 6LL * n;  // the lists' capacity, and the plain walk's step limit
  auto validCell = [&](long long c) { return c >= 1 && c <= limit; };
  value_.reserve(static_cast<size_t>(limit));

  struct Lane {
    int node = 0;  // internal number, 0 when idle
    int cell = 0, last = 0;
    long long steps = 0;
    std::vector<int> values;
  };
  Lane lanes[kLanes];
  int nextNode = 1;
  auto begin = [&](Lane& lane) {
    lane.node = 0;
    if (nextNode > n) return;
    lane.node = nextNode++;
    lane.last = adjLast[toExternal_[lane.node - 1] - 1];
    lane.cell = validCell(lane.last) ? adjNext[lane.last - 1] : 0;
    lane.steps = 0;
    lane.values.clear();
    if (!validCell(lane.cell)) sound_ = false;
  };
  for (Lane& lane : lanes) begin(lane);
  for (bool busy = true; busy && sound_;) {
    busy = false;
    for (Lane& lane : lanes) {
      if (lane.node == 0 || !sound_) continue;
      busy = true;
      const int c = lane.cell;
      lane.values.push_back(adjNode[c - 1]);
      if (c == lane.last) {
        start_[lane.node - 1] = static_cast<int>(value_.size());
        degree_[lane.node - 1] = static_cast<int>(lane.values.size());
        value_.insert(value_.end(), lane.values.begin(), lane.values.end());
        begin(lane);
        continue;
      }
      lane.cell = adjNext[c - 1];
      if (++lane.steps >= limit || !validCell(lane.cell)) sound_ = false;
    }
  }
  if (!sound_) return;
  for (int& v : value_) {
    const int a = std::abs(v);
    if (a < 1 || a > n) {
      sound_ = false;
      return;
    }
    v = v < 0 ? -toInternal_[a - 1] : toInternal_[a - 1];
  }
}

int ListSnapshot::buildTriangleTable(int* triTable) const {
  const int n = n_;
  auto ext = [&](int r) { return toExternal_[r - 1]; };
  auto list = [&](int r) { return value_.data() + start_[r - 1]; };
  auto deg = [&](int r) { return degree_[r - 1]; };
  auto wrap = [](int j, int d) { return j + 1 == d ? 0 : j + 1; };
  // Position of corner (x; y, z) in x's list: y at i followed by z, i not
  // the gap after a hull node's last neighbour; -1 if x has no such corner.
  auto cornerAt = [&](int x, int y, int z) {
    const int* e = list(x);
    const int d = deg(x);
    for (int i = 0; i < d; ++i) {
      if (std::abs(e[i]) != y) continue;
      if (std::abs(e[wrap(i, d)]) != z || (i == d - 1 && e[i] < 0)) return -1;
      return i;
    }
    return -1;
  };

  // Distinct neighbours, not the owner, negative only last; and how many
  // triangles each node numbers (corners whose two other nodes are larger).
  std::vector<int> seenBy(static_cast<size_t>(n) + 1, 0);
  std::vector<int> firstNumber(static_cast<size_t>(n) + 1, 0);  // by external number
  for (int r = 1; r <= n; ++r) {
    const int* e = list(r);
    const int d = deg(r);
    for (int j = 0; j < d; ++j) {
      const int a = std::abs(e[j]);
      if (a == r || (e[j] < 0 && j != d - 1) || seenBy[a] == r) return -1;
      seenBy[a] = r;
    }
    int own = 0;
    for (int j = 0; j < d; ++j) {
      if (e[j] > 0 && ext(e[j]) > ext(r) && ext(std::abs(e[wrap(j, d)])) > ext(r)) ++own;
    }
    firstNumber[ext(r)] = own;
  }
  // Triangles are numbered by their smallest vertex, then in its list order.
  long long count = 0;
  for (int p = 1; p <= n; ++p) {
    const int own = firstNumber[p];
    firstNumber[p] = static_cast<int>(count + 1);
    count += own;
  }
  if (count > 2LL * n - 5) return -1;

  // Triangle of every corner: numbered at the smallest vertex's corner.
  std::vector<int> cornerTri(value_.size(), 0);
  for (int r = 1; r <= n; ++r) {
    const int* e = list(r);
    const int d = deg(r);
    int t = firstNumber[ext(r)];
    for (int j = 0; j < d; ++j) {
      if (e[j] > 0 && ext(e[j]) > ext(r) && ext(std::abs(e[wrap(j, d)])) > ext(r)) {
        cornerTri[start_[r - 1] + j] = t++;
      }
    }
  }
  for (int r = 1; r <= n; ++r) {
    const int* e = list(r);
    const int d = deg(r);
    for (int j = 0; j < d; ++j) {
      if (j == d - 1 && e[j] < 0) break;  // the gap of a hull node
      const int u = std::abs(e[j]), w = std::abs(e[wrap(j, d)]);
      const int atU = cornerAt(u, w, r), atW = cornerAt(w, r, u);
      if (atU < 0 || atW < 0) return -1;
      int& t = cornerTri[start_[r - 1] + j];
      if (t != 0) continue;  // r is the smallest vertex
      t = ext(u) < ext(w) ? cornerTri[start_[u - 1] + atU] : cornerTri[start_[w - 1] + atW];
    }
  }

  // Rows: vertices, then the triangle across each side, 0 on the hull.
  auto across = [&](int a, int b) {
    const int* e = list(a);
    const int d = deg(a);
    int i = 0;
    while (std::abs(e[i]) != b) ++i;  // present: checked with the corners
    return (i == d - 1 && e[i] < 0) ? 0 : cornerTri[start_[a - 1] + i];
  };
  for (int r = 1; r <= n; ++r) {
    const int* e = list(r);
    const int d = deg(r);
    for (int j = 0; j < d; ++j) {
      if (!(e[j] > 0 && ext(e[j]) > ext(r) && ext(std::abs(e[wrap(j, d)])) > ext(r))) continue;
      const int u = e[j], w = std::abs(e[wrap(j, d)]);
      int* row = triTable + 6 * static_cast<size_t>(cornerTri[start_[r - 1] + j] - 1);
      row[0] = ext(r);
      row[1] = ext(u);
      row[2] = ext(w);
      row[3] = across(w, u);
      row[4] = across(r, w);
      row[5] = across(u, r);
    }
  }
  return static_cast<int>(count);
}

}  // namespace lum::scattered
