// Incremental Delaunay triangulation in circular adjacency lists, conversion to
// a triangle list with a border chain, and thin border-triangle removal.
//
// Robustness: for points that are collinear only up to rounding, orientation
// tests can contradict each other. Every loop below is therefore bounded by a
// count that a consistent mesh never reaches, every list walk also stops when
// it comes back to where it started, and the finished lists are checked in
// linear time; a failure becomes a negative status instead of an endless loop
// or an access outside the arrays.
#include "scattered/triangulation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "scattered/compact_mesh.h"
#include "scattered/insertion_core.h"
#include "scattered/insertion_locator.h"
#include "scattered/list_snapshot.h"
#include "scattered/spatial_order.h"

namespace lum::scattered {
namespace {

static_assert(sdUnitRoundoff() == 0x1p-53, "IEEE double expected");
static_assert(kSwapTolerance == 2.220446049250313e-15, "swap tolerance");
static_assert(kThinRatio == 0.10000000149011612, "thin ratio is 0.1f widened");

constexpr int kNoLimit = INT_MAX;

// 1-based view of the adjacency lists and the coordinates.
template <typename Int>
struct Lists {
  Int* node;
  Int* next;
  Int* last;

  Int& nodeAt(int c) const { return node[c - 1]; }
  Int& nextOf(int c) const { return next[c - 1]; }
  Int& lastCell(int k) const { return last[k - 1]; }
  int firstCell(int k) const { return next[last[k - 1] - 1]; }
  // Node of k's first cell and of its last cell (absolute values); on the
  // hull these are the next and the previous hull node counterclockwise.
  int first(int k) const { return std::abs(node[firstCell(k) - 1]); }
  int lastNode(int k) const { return std::abs(node[last[k - 1] - 1]); }
  bool onHull(int k) const { return node[last[k - 1] - 1] < 0; }

  // Cell of k's list holding `target`, searching from the first cell; the last
  // cell when no earlier cell holds it. 0 when the walk does not reach the
  // last cell (it returns to its start, or exceeds `limit` steps), which only
  // happens in damaged lists.
  int findCell(int k, int target, int limit) const {
    const int lastC = last[k - 1];
    const int start = next[lastC - 1];
    int c = start;
    for (int steps = 0; steps < limit; ++steps) {
      if (c == lastC) return lastC;
      if (node[c - 1] == target) return c;
      c = next[c - 1];
      if (c == start) return 0;
    }
    return 0;
  }
};

// 1-based view of the coordinates.
struct Coords {
  const double* x;
  const double* y;
  double X(int k) const { return x[k - 1]; }
  double Y(int k) const { return y[k - 1]; }
};

using ConstLists = Lists<const int>;

// The caller's lists as a store for the insertion steps of insertion_core.h
// (external node numbers, cells addressed directly). Int is const int for
// read-only use.
template <typename Int>
struct ListMesh {
  Int* node;
  Int* next;
  Int* last;
  const double* x;
  const double* y;

  double X(int k) const { return x[k - 1]; }
  double Y(int k) const { return y[k - 1]; }
  int lastCell(int k) const { return last[k - 1]; }
  int firstCell(int k) const { return next[last[k - 1] - 1]; }
  int nodeAt(int, int c) const { return node[c - 1]; }
  int nextOf(int, int c) const { return next[c - 1]; }
  int findCell(int k, int target, int limit) const {
    return Lists<Int>{node, next, last}.findCell(k, target, limit);
  }
  void setNode(int, int c, int value) const { node[c - 1] = value; }
  void insertAfter(int, int lp, int value, int cell) const {
    node[cell - 1] = value;
    next[cell - 1] = next[lp - 1];
    next[lp - 1] = cell;
  }
  int unlinkAfter(int k, int lp) const {
    const int freed = next[lp - 1];
    next[lp - 1] = next[freed - 1];
    if (last[k - 1] == freed) last[k - 1] = lp;
    return freed;
  }
  void relinkAfter(int, int lp, int cell, int value) const {
    next[cell - 1] = next[lp - 1];
    next[lp - 1] = cell;
    node[cell - 1] = value;
  }
  void setLast(int k, int c) const { last[k - 1] = c; }
  void makeList(int k, const int* values, int count, int firstCell) const {
    for (int j = 0; j < count; ++j) {
      node[firstCell + j - 1] = values[j];
      next[firstCell + j - 1] = j + 1 < count ? firstCell + j + 1 : firstCell;
    }
    last[k - 1] = firstCell + count - 1;
  }
};

int insertNode(int k, double xk, double yk, int startNode, int nodeCount, ListMesh<int>& m,
               int* adjFree, std::vector<int>& scratch) {
  if (k < 1 || startNode < 1 || startNode > nodeCount || nodeCount < 3 || k > nodeCount + 1) {
    return kTriTooFewPoints;
  }
  if (!std::isfinite(xk) || !std::isfinite(yk)) return kTriNonFinite;
  int i1 = 0, i2 = 0, i3 = 0;
  const core::Search found = core::findTriangle(m, startNode, xk, yk, nodeCount, &i1, &i2, &i3);
  return core::linkNode(m, k, xk, yk, found, i1, i2, i3, nodeCount, adjFree, scratch);
}

// ---------------------------------------------------------------------------
// Triangulation check

// Restores every sign borrowed as a mark.
void clearMarks(int n, int cells, int* adjNext, int* adjLast) {
  for (int k = 0; k < n; ++k) adjLast[k] = std::abs(adjLast[k]);
  for (int c = 0; c < cells; ++c) adjNext[c] = std::abs(adjNext[c]);
}

bool checkTriangulation(int n, int* adjNode, int* adjNext, int* adjLast, int adjFree) {
  const int cells = adjFree - 1;
  if (n < 3 || cells < 6 || cells > 6 * n) return false;
  for (int k = 1; k <= n; ++k) {
    if (adjLast[k - 1] < 1 || adjLast[k - 1] > cells) return false;
  }
  for (int c = 1; c <= cells; ++c) {
    if (adjNext[c - 1] < 1 || adjNext[c - 1] > cells) return false;
  }

  // Pass 1: each list is a cycle through its last cell, of distinct
  // neighbours other than itself, negative only in the last cell, and no cell
  // belongs to two lists. Cells are marked by negating adjNext, neighbours of
  // the current node by negating adjLast.
  long long cellSum = 0, corners = 0;
  int hullNodes = 0, firstHull = 0;
  bool ok = true;
  for (int v = 1; v <= n && ok; ++v) {
    const int lastC = std::abs(adjLast[v - 1]);
    int c = lastC;
    int deg = 0;
    do {
      c = std::abs(adjNext[c - 1]);
      if (adjNext[c - 1] < 0) {  // already visited
        ok = false;
        break;
      }
      adjNext[c - 1] = -adjNext[c - 1];
      const int u = adjNode[c - 1];
      const int au = std::abs(u);
      if (au < 1 || au > n || au == v || (u < 0 && c != lastC) || adjLast[au - 1] < 0) {
        ok = false;
        break;
      }
      adjLast[au - 1] = -adjLast[au - 1];
      ++deg;
    } while (c != lastC);
    if (!ok) break;  // clearMarks below restores every sign
    // Unmark the neighbours.
    c = lastC;
    do {
      c = std::abs(adjNext[c - 1]);
      const int au = std::abs(adjNode[c - 1]);
      adjLast[au - 1] = std::abs(adjLast[au - 1]);
    } while (c != lastC);
    const bool hull = adjNode[lastC - 1] < 0;
    if (deg < (hull ? 2 : 3)) ok = false;
    cellSum += deg;
    corners += hull ? deg - 1 : deg;
    if (hull) {
      ++hullNodes;
      if (firstHull == 0) firstHull = v;
    }
  }
  clearMarks(n, cells, adjNext, adjLast);
  if (!ok || cellSum != cells || hullNodes < 3) return false;
  const long long h = hullNodes;
  if (cellSum != 2 * (3LL * n - 3 - h) || corners != 3 * (2LL * n - 2 - h)) return false;

  const ConstLists m{adjNode, adjNext, adjLast};
  // Pass 2: the hull is one cycle whose neighbouring nodes name each other.
  int u = firstHull;
  for (int i = 1; i <= hullNodes; ++i) {
    const int f = m.first(u);
    if (!m.onHull(f) || m.lastNode(f) != u) return false;
    u = f;
    if (u == firstHull && i < hullNodes) return false;
  }
  if (u != firstHull) return false;

  // Pass 3: every corner (consecutive neighbours u, w of v, not across the
  // hull gap) is a triangle present at all three vertices. Each triangle is
  // checked once, from its vertex of largest (degree, number), so the walks
  // cost O(sum over edges of the smaller degree): linear for planar meshes.
  long long budget = 256LL * cells + 1024;
  // True when (degree, number) of a is below that of b; walks both lists in
  // step, so it costs the smaller degree.
  auto below = [&](int a, int b) {
    const int la = m.lastCell(a), lb = m.lastCell(b);
    int ca = m.firstCell(a), cb = m.firstCell(b);
    for (;;) {
      --budget;
      const bool endA = ca == la, endB = cb == lb;
      if (endA && endB) return a < b;
      if (endA) return true;
      if (endB) return false;
      ca = m.nextOf(ca);
      cb = m.nextOf(cb);
    }
  };
  // In a's list, |node| b is followed by |node| c, and b is not a's hull-last.
  auto corner = [&](int a, int b, int c) {
    const int la = m.lastCell(a);
    int ca = la;
    do {
      --budget;
      ca = m.nextOf(ca);
      if (std::abs(m.nodeAt(ca)) == b) {
        if (m.nodeAt(ca) < 0) return false;
        return std::abs(m.nodeAt(m.nextOf(ca))) == c;
      }
    } while (ca != la);
    return false;
  };
  long long triangles = 0;
  for (int v = 1; v <= n; ++v) {
    const int lastC = m.lastCell(v);
    const bool hull = m.onHull(v);
    int c = lastC;
    do {
      c = m.nextOf(c);
      if (c == lastC && hull) break;
      const int a = std::abs(m.nodeAt(c));
      const int b = std::abs(m.nodeAt(m.nextOf(c)));
      if (below(a, v) && below(b, v)) {
        if (!corner(a, b, v) || !corner(b, v, a)) return false;
        ++triangles;
      }
      if (budget < 0) return false;
    } while (c != lastC);
  }
  return 3 * triangles == corners;
}

// ---------------------------------------------------------------------------
// Triangle table and border

struct Table {
  int* t;
  int& at(int tri, int row) const { return t[6 * (tri - 1) + row - 1]; }
};

// Highest-numbered triangle among 1..upTo with exactly the vertices (v1, v2,
// v3), or 0. Triangles are ordered by their first vertex, so only the run of
// triangles whose first vertex is v1 can match; it is found by bisection and
// scanned downwards, which gives the same triangle as a scan from upTo down.
int findStored(const Table& tab, int upTo, int v1, int v2, int v3) {
  int lo = 0, hi = upTo;  // invariant: first vertex of 1..lo <= v1 < that of hi+1..upTo
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (tab.at(mid, 1) <= v1) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  for (int r = lo; r >= 1 && tab.at(r, 1) == v1; --r) {
    if (tab.at(r, 2) == v2 && tab.at(r, 3) == v3) return r;
  }
  return 0;
}

// The triangle table straight from the lists, with the neighbour search
// through the stored triangles. Used for lists that are not a triangulation
// (only damaged lists), whose partial tables and failures it reproduces.
int buildTriangleTableBySearch(int n, const ConstLists& m, int* triCount, int* triTable) {
  *triCount = 0;
  if (n < 3) return 1;
  const Table tab{triTable};
  const int maxTriangles = 2 * n - 5;
  const int limit = 6 * n;
  int count = 0;
  for (int p1 = 1; p1 <= n - 2; ++p1) {
    const int lastC = m.lastCell(p1);
    int c = m.nextOf(lastC);
    for (int steps = 0;; ++steps) {
      if (steps > limit) return 2;
      const int p2 = m.nodeAt(c);
      const int nc = m.nextOf(c);
      const int p3 = std::abs(m.nodeAt(nc));
      if (p2 > p1 && p3 > p1) {
        if (count >= maxTriangles) return 2;
        const int t = ++count;
        tab.at(t, 1) = p1;
        tab.at(t, 2) = p2;
        tab.at(t, 3) = p3;
        tab.at(t, 4) = tab.at(t, 5) = tab.at(t, 6) = 0;
        for (int i = 1; i <= 3; ++i) {
          const int a = i == 1 ? p3 : (i == 2 ? p1 : p2);
          const int b = i == 1 ? p2 : (i == 2 ? p3 : p1);
          const int lp = m.findCell(a, b, limit);
          if (lp == 0) return 2;
          const bool isLast = lp == m.lastCell(a);
          if (isLast && std::abs(m.nodeAt(lp)) != b) return 2;
          if (isLast && m.nodeAt(lp) < 0) continue;  // hull edge: row stays 0
          const int cc = std::abs(m.nodeAt(m.nextOf(lp)));
          // Neighbour (a, b, cc) rotated to start at its smallest vertex; q is
          // the position of cc, so its row 3 + q points back across a-b.
          int v1, v2, v3, q;
          if (a < b && a < cc) {
            v1 = a; v2 = b; v3 = cc; q = 3;
          } else if (b < a && b < cc) {
            v1 = b; v2 = cc; v3 = a; q = 2;
          } else {
            v1 = cc; v2 = a; v3 = b; q = 1;
          }
          if (v1 > p1) continue;  // stored later; it links itself
          const int r = findStored(tab, t - 1, v1, v2, v3);
          if (r != 0) {
            tab.at(t, 3 + i) = r;
            tab.at(r, 3 + q) = t;
          }
        }
      }
      if (c == lastC) break;
      c = nc;
    }
  }
  *triCount = count;
  return 0;
}

// The triangle table. Lists that form a triangulation (every list a cycle of
// distinct neighbours, every corner present at its three vertices; always
// so after a successful sdTriangulate) are read once into a packed snapshot,
// nodes in `order` (empty: 1..n), and the table comes from the corners;
// other lists take the search above.
int buildTriangleTable(int n, const ConstLists& m, int* triCount, int* triTable,
                       std::vector<int> order) {
  *triCount = 0;
  if (n < 3) return 1;
  try {
    const ListSnapshot snapshot(n, m.node, m.next, m.last, std::move(order));
    if (snapshot.sound()) {
      const int count = snapshot.buildTriangleTable(triTable);
      if (count >= 0) {
        *triCount = count;
        return 0;
      }
    }
  } catch (const std::bad_alloc&) {
    // The search needs no memory of its own.
  }
  return buildTriangleTableBySearch(n, m, triCount, triTable);
}

// Orders the border segments into a chain: for l = 1 to segs - 1, the first
// segment m >= l + 1 that starts where segment l ends is exchanged with
// segment l + 1. False (the arrays as the exchanges left them) when no such
// segment exists.
//
// On a hull every node starts exactly one segment, and the exchanges then
// simply lay the chain out from segment 1: a start-vertex map follows it in
// linear time. Any other input (repeated starts, a chain that closes early)
// replays the exchanges with an ordered set of (start, position) pairs, which
// finds the same first m in logarithmic time.
bool chainBorder(int n, int segs, int* borderSeg) {
  auto start = [&](int l) { return borderSeg[2 * l - 2]; };
  auto end = [&](int l) { return borderSeg[2 * l - 1]; };
  if (segs < 2) return true;
  std::vector<int> segOfStart(static_cast<size_t>(n) + 1, 0);
  bool distinct = true;
  for (int l = 1; l <= segs && distinct; ++l) {
    const int s = start(l);
    if (s < 1 || s > n || segOfStart[s] != 0) {
      distinct = false;
    } else {
      segOfStart[s] = l;
    }
  }
  if (distinct) {
    std::vector<int> order(static_cast<size_t>(segs) + 1);
    std::vector<char> placed(static_cast<size_t>(segs) + 1, 0);
    order[1] = 1;
    placed[1] = 1;
    bool closed = true;
    for (int l = 1; l < segs && closed; ++l) {
      const int e = end(order[l]);
      const int next = e >= 1 && e <= n ? segOfStart[e] : 0;
      if (next == 0 || placed[next]) {
        closed = false;
      } else {
        order[l + 1] = next;
        placed[next] = 1;
      }
    }
    if (closed) {
      std::vector<int> chained(2 * static_cast<size_t>(segs));
      for (int l = 1; l <= segs; ++l) {
        chained[2 * l - 2] = start(order[l]);
        chained[2 * l - 1] = end(order[l]);
      }
      std::copy(chained.begin(), chained.end(), borderSeg);
      return true;
    }
  }
  std::set<std::pair<int, int>> pending;  // (start, position) of segments 2..segs
  for (int l = 2; l <= segs; ++l) pending.emplace(start(l), l);
  for (int l = 1; l < segs; ++l) {
    const int e = end(l);
    const auto it = pending.lower_bound({e, l + 1});
    if (it == pending.end() || it->first != e) return false;
    const int mm = it->second;
    pending.erase(it);
    if (mm != l + 1) {
      pending.erase({start(l + 1), l + 1});
      pending.emplace(start(l + 1), mm);
      std::swap(borderSeg[2 * mm - 2], borderSeg[2 * l]);
      std::swap(borderSeg[2 * mm - 1], borderSeg[2 * l + 1]);
    }
  }
  return true;
}

int extractBorder(int n, int* triCount, int* triVertex, int* borderCount, int* borderSeg,
                  const ConstLists& m, int* triTable, std::vector<int> order) {
  *borderCount = 0;
  const int st = buildTriangleTable(n, m, triCount, triTable, std::move(order));
  if (st != 0) return st;
  const Table tab{triTable};
  const int count = *triCount;
  for (int t = 1; t <= count; ++t) {
    triVertex[3 * t - 3] = tab.at(t, 1);
    triVertex[3 * t - 2] = tab.at(t, 2);
    triVertex[3 * t - 1] = tab.at(t, 3);
  }
  int segs = 0;
  for (int t = 1; t <= count; ++t) {
    for (int j = 1; j <= 3; ++j) {
      if (tab.at(t, 3 + j) >= 1) continue;
      if (segs >= n) {
        *triCount = 0;
        return 2;
      }
      ++segs;
      borderSeg[2 * segs - 2] = tab.at(t, j % 3 + 1);
      borderSeg[2 * segs - 1] = tab.at(t, (j + 1) % 3 + 1);
    }
  }
  if (!chainBorder(n, segs, borderSeg)) {
    *triCount = 0;
    return 2;
  }
  *borderCount = segs;
  return 0;
}

// The triangles of the list as it stood when thin-triangle removal began
// ("originals", numbered 1..count), which of them are still in the list, and
// the number each has in the current list: 1 + the originals before it that
// are still there. Counts are kept in a Fenwick tree, so removing a triangle
// and converting between numbers cost O(log count) instead of shifting the
// list.
class TriangleList {
 public:
  explicit TriangleList(int count) : count_(count), tree_(count + 1), alive_(count + 1, 1) {
    for (int i = 1; i <= count; ++i) tree_[i] = i & -i;  // prefix sums of all ones
    top_ = 1;
    while (2 * top_ <= count) top_ *= 2;
    last_ = count;
  }
  bool alive(int o) const { return alive_[o] != 0; }
  // Current number of original o, or of the triangle that took its place.
  int numberOf(int o) const {
    int sum = 0;
    for (int i = o - 1; i > 0; i -= i & -i) sum += tree_[i];
    return 1 + sum;
  }
  // Original of the triangle with current number t (1 <= t <= alive count).
  int original(int t) const {
    int pos = 0;
    for (int step = top_; step > 0; step /= 2) {
      if (pos + step <= count_ && tree_[pos + step] < t) {
        pos += step;
        t -= tree_[pos];
      }
    }
    return pos + 1;
  }
  // The last triangle still in the list (0 if none).
  int last() const { return last_; }
  void remove(int o) {
    alive_[o] = 0;
    for (int i = o; i <= count_; i += i & -i) --tree_[i];
    while (last_ > 0 && !alive_[last_]) --last_;
  }

 private:
  int count_;
  std::vector<int> tree_;
  std::vector<char> alive_;
  int top_;
  int last_;
};

// For each node, the original triangles having it as a vertex, ascending.
class VertexTriangles {
 public:
  VertexTriangles(int n, const int* triVertex, int count) : n_(n), start_(n + 2, 0) {
    auto valid = [&](int v) { return v >= 1 && v <= n; };
    for (int r = 0; r < 3 * count; ++r) {
      if (valid(triVertex[r])) ++start_[triVertex[r] + 1];
    }
    for (int v = 1; v <= n + 1; ++v) start_[v] += start_[v - 1];
    tri_.resize(start_[n + 1]);
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    for (int r = 0; r < 3 * count; ++r) {
      if (valid(triVertex[r])) tri_[fill[triVertex[r]]++] = r / 3 + 1;
    }
  }
  // First original still in the list whose vertices include both i and j
  // (in the list's order, which is the originals' order); 0 if none. Any two
  // vertices of a triangle are joined by one of its edges, so this is also
  // the first triangle having an edge from i to j.
  int firstWith(int i, int j, const TriangleList& list, const int* triVertex) const {
    if (i < 1 || i > n_ || j < 1 || j > n_) return 0;
    if (start_[j + 1] - start_[j] < start_[i + 1] - start_[i]) std::swap(i, j);
    for (int k = start_[i]; k < start_[i + 1]; ++k) {
      const int o = tri_[k];
      const int* v = triVertex + 3 * (o - 1);
      if (list.alive(o) && (v[0] == j || v[1] == j || v[2] == j)) return o;
    }
    return 0;
  }

 private:
  int n_;
  std::vector<int> start_;
  std::vector<int> tri_;
};

// Thin-triangle removal with the results of the plain procedure, which scans
// the triangle list for each segment's triangle, shifts the list down and
// decrements every later triangle number on each removal, and shifts the
// segments up to make room. Here the passes visit the same segments in the
// same order and take the same decisions, but:
//   - a segment's triangle is held as an original triangle number, which
//     stays valid while triangles are removed; its current number is
//     numberOf(), which changes exactly as the decrements would change it
//     (also for a number naming a removed triangle, which then names the one
//     that moved into its place);
//   - the triangle holding two given vertices comes from the per-node
//     triangle lists instead of a scan of all triangles;
//   - "is the apex a border vertex" is a count of segments starting there;
//   - a pass writes the new chain while reading a copy of the old one, which
//     is what the shifts amount to;
//   - triVertex is compacted once at the end. A removal in the plain
//     procedure leaves the last slot of the shortened list unchanged, holding
//     the triangle that was last before it; these slots are recorded and
//     written too, so the whole array ends as the plain procedure leaves it.
void removeThinTriangles(int n, const Coords& p, int* triCount, int* triVertex, int* borderCount,
                         int* borderSeg, int* borderTri) {
  const int originals = *triCount;
  int tris = originals;
  int segs = *borderCount;
  if (segs < 1 || tris < 1) return;
  TriangleList list(originals);
  const VertexTriangles byVertex(n, triVertex, originals);
  auto inRange = [&](int v) { return v >= 1 && v <= n; };

  // Original triangle of each segment (the chain never outgrows max(segs, n)).
  std::vector<int> segTri(static_cast<size_t>(std::max(segs, n)) + 1);
  for (int l = 1; l <= segs; ++l) {
    segTri[l] = byVertex.firstWith(borderSeg[2 * l - 2], borderSeg[2 * l - 1], list, triVertex);
  }
  // Scale factors: mean absolute extents of the border segments.
  double ax = 0.0, ay = 0.0;
  for (int l = 1; l <= segs; ++l) {
    ax += std::fabs(p.X(borderSeg[2 * l - 1]) - p.X(borderSeg[2 * l - 2]));
    ay += std::fabs(p.Y(borderSeg[2 * l - 1]) - p.Y(borderSeg[2 * l - 2]));
  }
  ax = ax / segs;
  ay = ay / segs;

  std::vector<int> startsAt(static_cast<size_t>(n) + 1, 0);  // segments starting at each node
  for (int l = 1; l <= segs; ++l) {
    if (inRange(borderSeg[2 * l - 2])) ++startsAt[borderSeg[2 * l - 2]];
  }
  std::vector<int> staleSlot(static_cast<size_t>(originals) + 1, 0);
  // Copies of the chain at the start of a pass (room reserved now, so that
  // nothing is allocated once the arrays start changing).
  std::vector<int> oldSeg, oldTri;
  oldSeg.reserve(2 * segTri.size());
  oldTri.reserve(segTri.size());

  for (int pass = 1; pass <= kThinPasses; ++pass) {
    int removed = 0;
    const int segsAtStart = segs;
    oldSeg.assign(borderSeg, borderSeg + 2 * segsAtStart);
    oldTri.assign(segTri.begin(), segTri.begin() + segsAtStart + 1);
    int out = 0;  // segments of the new chain written so far
    auto emit = [&](int s, int e, int o) {
      ++out;
      borderSeg[2 * out - 2] = s;
      borderSeg[2 * out - 1] = e;
      segTri[out] = o;
    };
    for (int j = 1; j <= segsAtStart; ++j) {
      const int i1 = oldSeg[2 * j - 2];
      const int i2 = oldSeg[2 * j - 1];
      const int o = oldTri[j];
      const int t = o == 0 ? 0 : list.numberOf(o);
      if (t < 1 || t > tris || segs >= n) {
        emit(i1, i2, o);
        continue;
      }
      const int* v = triVertex + 3 * (list.original(t) - 1);
      const int i3 = (v[0] != i1 && v[0] != i2) ? v[0] : ((v[1] != i1 && v[1] != i2) ? v[1] : v[2]);
      if (!inRange(i3)) {
        emit(i1, i2, o);
        continue;
      }
      const double dxa = (p.X(i2) - p.X(i1)) / ax;
      const double dya = (p.Y(i2) - p.Y(i1)) / ay;
      const double dxb = (p.X(i3) - p.X(i1)) / ax;
      const double dyb = (p.Y(i3) - p.Y(i1)) / ay;
      const double ratio = (dxa * dyb - dxb * dya) / (dxa * dxa + dya * dya);
      if (!(ratio < kThinRatio) || startsAt[i3] > 0) {
        emit(i1, i2, o);
        continue;
      }
      // Remove triangle t; slot `tris` keeps the triangle that was last.
      staleSlot[tris] = list.last();
      list.remove(list.original(t));
      --tris;
      // Segment (i1, i2) becomes (i1, i3), (i3, i2).
      ++segs;
      ++startsAt[i3];
      emit(i1, i3, byVertex.firstWith(i1, i3, list, triVertex));
      emit(i3, i2, byVertex.firstWith(i3, i2, list, triVertex));
      ++removed;
    }
    if (removed == 0) break;
  }

  for (int l = 1; l <= segs; ++l) borderTri[l - 1] = segTri[l] == 0 ? 0 : list.numberOf(segTri[l]);
  // Compaction: the t-th remaining triangle has original number >= t, and
  // a stale slot s holds an original >= s, so reading ahead of the writes
  // always finds the original data.
  int t = 0;
  for (int o = 1; o <= originals; ++o) {
    if (!list.alive(o)) continue;
    ++t;
    if (o != t) std::copy(triVertex + 3 * (o - 1), triVertex + 3 * o, triVertex + 3 * (t - 1));
  }
  for (int slot = tris + 1; slot <= originals; ++slot) {
    const int o = staleSlot[slot];
    if (o != slot) std::copy(triVertex + 3 * (o - 1), triVertex + 3 * o, triVertex + 3 * (slot - 1));
  }
  *triCount = tris;
  *borderCount = segs;
}

// On nearly collinear data, or beside a point far from the others, the
// orientation tests can contradict each other and let a repeated point past
// the insertion's own comparison, which only looks at the nodes the search
// ends on. One pass with a hash table of coordinates finds any repeat.
// Returns the earlier point that the first repeated point duplicates, or 0.
int firstRepeatedPoint(int count, const double* x, const double* y) {
  size_t size = 16;
  while (size < 2 * static_cast<size_t>(count)) size *= 2;
  std::vector<int> slot(size, 0);  // point numbers from 1; 0 = empty
  auto bits = [](double v) {
    std::uint64_t b;
    v = v == 0.0 ? 0.0 : v;  // -0.0 and 0.0 compare equal
    std::memcpy(&b, &v, sizeof b);
    return b;
  };
  for (int k = 1; k <= count; ++k) {
    std::uint64_t h = bits(x[k - 1]) * 0x9E3779B97F4A7C15ull ^ bits(y[k - 1]);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    for (size_t i = h & (size - 1);; i = (i + 1) & (size - 1)) {
      const int j = slot[i];
      if (j == 0) {
        slot[i] = k;
        break;
      }
      if (x[j - 1] == x[k - 1] && y[j - 1] == y[k - 1]) return j;
    }
  }
  return 0;
}

// Points 4..count inserted into the caller's lists by the plain procedure:
// each located by the walk from the previous node. Returns the status.
int triangulatePlain(int count, const double* x, const double* y, int* adjNode, int* adjNext,
                     int* adjLast, int* adjFree) {
  ListMesh<int> m{adjNode, adjNext, adjLast, x, y};
  std::vector<int> scratch;
  for (int k = 4; k <= count; ++k) {
    const int st = insertNode(k, x[k - 1], y[k - 1], k - 1, k - 1, m, adjFree, scratch);
    if (st != 0) return st;
  }
  return checkTriangulation(count, adjNode, adjNext, adjLast, *adjFree) ? 0 : kTriBrokenLists;
}

// The same insertion on a CompactMesh, each point located by the
// InsertionLocator where it can vouch for the walk's result and by the walk
// otherwise; the lists are written to the caller's arrays once at the end (or
// at a failure, as the plain procedure leaves them then). Returns the status,
// or core::kLostTrack (nothing written) when the store cannot follow an edit.
int triangulateCompact(int count, const double* x, const double* y, int* adjNode, int* adjNext,
                       int* adjLast, int* adjFree) {
  CompactMesh m(count, x, y);
  if (!m.load(3, adjNode, adjNext, adjLast)) return core::kLostTrack;
  InsertionLocator locator(m, m.internal(1), m.internal(2), m.internal(3));
  // Triangle (r, u, w) of the mesh whose orientation rounding decides: the
  // walk may then leave the certified path, so the locator stops answering
  // (see insertion_locator.h).
  auto roundingDecides = [&](int r, int u, int w) {
    auto decides = [&](int a, int b, int c) {
      return sdKnownSide(m.X(a), m.Y(a), m.X(b), m.Y(b), m.X(c), m.Y(c)) == kSideUnknown;
    };
    // The bound depends on the vertex the test is taken from: try all three.
    return decides(r, u, w) || decides(u, w, r) || decides(w, r, u);
  };
  auto fanHasSliver = [&](int r) {
    const int* e = m.neighbours(r);
    const int d = m.degree(r);
    for (int j = 0; j < d; ++j) {
      if (j == d - 1 && e[j] < 0) break;  // the gap of a hull node
      if (roundingDecides(r, std::abs(e[j]), std::abs(e[j + 1 == d ? 0 : j + 1]))) {
        return true;
      }
    }
    return false;
  };
  bool useLocator = !roundingDecides(m.internal(1), m.internal(2), m.internal(3));
  std::vector<int> scratch;
  int st = 0;
  for (int k = 4; k <= count && st == 0; ++k) {
    const int r = m.internal(k);
    const int m0 = m.internal(k - 1);
    const int nodeCount = k - 1;
    const double xk = x[k - 1], yk = y[k - 1];
    // Each insertion touches a dozen records that are not in cache (the
    // points come in random order); start fetching the next ones.
    if (k + 2 <= count) locator.prefetchCell(x[k + 1], y[k + 1]);
    if (k + 1 <= count) {
      locator.prefetchStart(x[k], y[k]);
      m.prefetch(m.internal(k + 1));
    }
    int i1 = 0, i2 = 0, i3 = 0;
    core::Search found = core::Search::kFound;
    InsertionLocator::Answer answer = InsertionLocator::Answer::kDeclined;
    if (useLocator) {
      answer = locator.locate(m0, xk, yk, nodeCount, &i1, &i2, &i3);
      if (answer == InsertionLocator::Answer::kNearlyCollinear) useLocator = false;
    }
    if (answer == InsertionLocator::Answer::kFound) {
      // The swaps that follow test the nodes across the triangle's edges.
      m.prefetchAcross(i1, i2);
      m.prefetchAcross(i2, i3);
      m.prefetchAcross(i3, i1);
    } else {
      found = core::findTriangle(m, m0, xk, yk, nodeCount, &i1, &i2, &i3);
    }
    st = core::linkNode(m, r, xk, yk, found, i1, i2, i3, nodeCount, adjFree, scratch);
    if (st == core::kLostTrack) return st;
    if (st > 0) st = m.external(st);  // the earlier point that k duplicates
    if (st == 0) {
      locator.recordNode(r, k);
      if (useLocator && fanHasSliver(r)) useLocator = false;
    }
  }
  // The check comes first: it is the last step that allocates, so an
  // allocation failure leaves the caller's lists untouched for the plain path.
  if (st == 0 && !m.formsTriangulation(*adjFree - 1)) st = kTriBrokenLists;
  m.materialize(adjNode, adjNext, adjLast);
  return st;
}

}  // namespace

// ---------------------------------------------------------------------------
// Routines of the family

void sdTriangulate(const int* n, const double* x, const double* y, int* adjNode, int* adjNext,
                   int* adjLast, int* adjFree, int* status) {
  const int count = *n;
  *adjFree = 1;
  if (count < 3) {
    *status = kTriTooFewPoints;
    return;
  }
  // Non-finite coordinates make every orientation test false; refuse them
  // before any search can run on them.
  for (int k = 0; k < count; ++k) {
    if (!std::isfinite(x[k]) || !std::isfinite(y[k])) {
      *status = kTriNonFinite;
      return;
    }
  }
  const ListMesh<const int> points{nullptr, nullptr, nullptr, x, y};
  static constexpr int kRightTurn[6] = {3, -2, 1, -3, 2, -1};  // triangle (1, 3, 2)
  static constexpr int kLeftTurn[6] = {2, -3, 3, -1, 1, -2};   // triangle (1, 2, 3)
  const int* initial = nullptr;
  if (!core::left(points, 1, 2, x[2], y[2])) {
    initial = kRightTurn;
  } else if (!core::left(points, 2, 1, x[2], y[2])) {
    initial = kLeftTurn;
  } else {
    *status = kTriCollinear;
    return;
  }
  static constexpr int kNext[6] = {2, 1, 4, 3, 6, 5};
  for (int c = 0; c < 6; ++c) {
    adjNode[c] = initial[c];
    adjNext[c] = kNext[c];
  }
  adjLast[0] = 2;
  adjLast[1] = 4;
  adjLast[2] = 6;
  *adjFree = 7;
  if (count == 3) {
    *status = 0;
    return;
  }
  int st = core::kLostTrack;
  try {
    st = triangulateCompact(count, x, y, adjNode, adjNext, adjLast, adjFree);
  } catch (const std::bad_alloc&) {
    st = core::kLostTrack;  // no memory for the fast path: the plain one needs very little
  }
  if (st == core::kLostTrack) {
    *adjFree = 7;  // the caller's lists still hold only the initial triangle
    st = triangulatePlain(count, x, y, adjNode, adjNext, adjLast, adjFree);
  }
  if (st == 0) st = firstRepeatedPoint(count, x, y);
  *status = st;
}

void sdInsertNode(const int* k, const double* xk, const double* yk, const int* startNode,
                  const int* nodeCount, const double* x, const double* y, int* adjNode,
                  int* adjNext, int* adjLast, int* adjFree, int* status) {
  ListMesh<int> m{adjNode, adjNext, adjLast, x, y};
  std::vector<int> scratch;
  *status = insertNode(*k, *xk, *yk, *startNode, *nodeCount, m, adjFree, scratch);
}

void sdFindTriangle(const int* startNode, const double* px, const double* py, const double* x,
                    const double* y, const int* adjNode, const int* adjNext, const int* adjLast,
                    int* i1, int* i2, int* i3, const int* nodeCount) {
  const ListMesh<const int> m{adjNode, adjNext, adjLast, x, y};
  const core::Search r = core::findTriangle(m, *startNode, *px, *py, *nodeCount, i1, i2, i3);
  if (r == core::Search::kGaveUp) *i1 = *i2 = *i3 = -1;
}

void sdAddInteriorNode(const int* k, const int* i1, const int* i2, const int* i3, int* adjNode,
                       int* adjNext, int* adjLast, int* adjFree) {
  ListMesh<int> m{adjNode, adjNext, adjLast, nullptr, nullptr};
  core::addInteriorNode(m, *k, *i1, *i2, *i3, adjFree, kNoLimit);
}

void sdAddBoundaryNode(const int* k, const int* i1, const int* i2, int* adjNode, int* adjNext,
                       int* adjLast, int* adjFree) {
  ListMesh<int> m{adjNode, adjNext, adjLast, nullptr, nullptr};
  // Nodes are fewer than the cells in use, which bounds the hull walk.
  const int visible = core::countVisibleNodes(m, *i1, *i2, *adjFree);
  std::vector<int> scratch;
  if (visible > 0) core::addBoundaryNode(m, *k, *i1, *i2, visible, adjFree, scratch);
}

bool sdSwapTest(const int* o1, const int* o2, const int* d1, const int* d2, const double* x,
                const double* y) {
  const ListMesh<const int> m{nullptr, nullptr, nullptr, x, y};
  return core::swapTest(m, *o1, *o2, *d1, *d2);
}

int sdSwapDiagonal(const int* o1, const int* o2, const int* d1, const int* d2, int* adjNode,
                   int* adjNext, int* adjLast) {
  ListMesh<int> m{adjNode, adjNext, adjLast, nullptr, nullptr};
  return core::swapDiagonal(m, *o1, *o2, *d1, *d2, kNoLimit);
}

void sdBuildTriangleTable(const int* n, const int* adjNode, const int* adjNext, const int* adjLast,
                          int* triCount, int* triTable, int* status) {
  *status = buildTriangleTable(*n, ConstLists{adjNode, adjNext, adjLast}, triCount, triTable, {});
  if (*status != 0) *triCount = 0;
}

void sdExtractBorder(const int* n, int* triCount, int* triVertex, int* borderCount,
                     int* borderSeg, int* status, const int* adjNode, const int* adjNext,
                     const int* adjLast, int* triTable) {
  *status = extractBorder(*n, triCount, triVertex, borderCount, borderSeg,
                          ConstLists{adjNode, adjNext, adjLast}, triTable, {});
  if (*status != 0) *triCount = 0;
}

void sdRemoveThinTriangles(const int* n, const double* x, const double* y, int* triCount,
                           int* triVertex, int* borderCount, int* borderSeg, int* borderTri) {
  removeThinTriangles(*n, Coords{x, y}, triCount, triVertex, borderCount, borderSeg, borderTri);
}

void sdTriangulateAndList(const int* n, const double* x, const double* y, int* triCount,
                          int* triVertex, int* borderCount, int* borderSeg, int* status,
                          const int* adjNode, const int* adjNext, const int* adjLast,
                          int* triTable, int* borderTri) {
  // With coordinates at hand, the lists are read in Hilbert order of the
  // nodes, so that each triangle's lists lie close together.
  std::vector<int> order;
  if (*n >= 3) {
    try {
      order = sdHilbertOrder(*n, x, y);
    } catch (const std::bad_alloc&) {
      order.clear();
    }
  }
  int st = extractBorder(*n, triCount, triVertex, borderCount, borderSeg,
                         ConstLists{adjNode, adjNext, adjLast}, triTable, std::move(order));
  if (st != 0) *triCount = 0;
  if (st == 0) {
    sdRemoveThinTriangles(n, x, y, triCount, triVertex, borderCount, borderSeg, borderTri);
    *status = 0;
  } else {
    *status = st == 1 ? 4 : 5;
  }
}

bool sdCheckTriangulation(const int* n, int* adjNode, int* adjNext, int* adjLast,
                          const int* adjFree) {
  return checkTriangulation(*n, adjNode, adjNext, adjLast, *adjFree);
}

}  // namespace lum::scattered
