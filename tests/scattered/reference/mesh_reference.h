// Straightforward triangulation, kept beside the tests as the yardstick for
// the library's fast mesh stages: every point is located by the walk from the
// previously inserted node, the triangle table finds neighbours by bisection
// over the stored triangles, the border chain by a search over the remaining
// segments, and thin-triangle removal scans the triangle list for each
// segment and shifts the lists on every removal. The library must reproduce
// its outputs and scratch arrays to the bit.
#ifndef LUM_TESTS_SCATTERED_REFERENCE_MESH_REFERENCE_H
#define LUM_TESTS_SCATTERED_REFERENCE_MESH_REFERENCE_H

#include <cmath>
#include <cstdlib>

#include "scattered/triangulation.h"

namespace lum::scattered::reference {
namespace mesh_detail {

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

struct Coords {
  const double* x;
  const double* y;
  double X(int k) const { return x[k - 1]; }
  double Y(int k) const { return y[k - 1]; }

  // P left of (or on) the directed line from node a to node b.
  bool left(int a, int b, double px, double py) const {
    return (X(b) - X(a)) * (py - Y(a)) >= (px - X(a)) * (Y(b) - Y(a));
  }
  // dot(P - b, a - b) for a point P and nodes a, b.
  double dotFrom(int b, double px, double py, int a) const {
    return (px - X(b)) * (X(a) - X(b)) + (py - Y(b)) * (Y(a) - Y(b));
  }
};

using MutLists = Lists<int>;
using ConstLists = Lists<const int>;

// Takes cell adjFree for `value` and links it after cell lp.
inline void insertAfter(const MutLists& m, int* adjFree, int lp, int value) {
  const int c = (*adjFree)++;
  m.nodeAt(c) = value;
  m.nextOf(c) = m.nextOf(lp);
  m.nextOf(lp) = c;
}

// ---------------------------------------------------------------------------
// Point search

enum class Search { kFound, kOutside, kCollinear, kGaveUp };

inline Search findTriangle(const ConstLists& m, const Coords& p, int startNode, double px,
                           double py, int nodeCount, int* i1, int* i2, int* i3) {
  // A consistent search restarts its cone search only at degenerate
  // positions (P at a node, P on the line of a hull edge), crosses each
  // triangle at most once (fewer than 2 * nodeCount of them), and walks along
  // less than the whole hull.
  const int listLimit = 6 * (nodeCount + 1);
  const int walkLimit = 2 * nodeCount;
  const int hullLimit = nodeCount;
  auto right = [&](int a, int b) { return !p.left(a, b, px, py); };

  int m0 = startNode > 1 ? startNode : 1;
  int m1 = 0, m2 = 0, m3 = 0;
  int a = 0, b = 0, c = 0;  // hull edge a -> b and b's successor c
  int a0 = 0, s = 0;        // start of the clockwise hull walk and its successor

  for (int restarts = 0;; ++restarts) {
    if (restarts > nodeCount + 2) return Search::kGaveUp;
    // Cone search around m0.
    const int mf = m.first(m0);
    const int ml = m.lastNode(m0);
    const int lastC = m.lastCell(m0);
    int cell = m.nextOf(lastC);  // holds m1
    m1 = mf;
    bool toWalk = false;
    if (m.onHull(m0)) {
      if (right(m0, mf)) {
        a = m0;
        b = mf;
        goto visibleRange;
      }
      if (right(ml, m0)) {
        a = ml;
        b = m0;
        c = mf;
        a0 = ml;
        s = m0;
        goto flatTurn;
      }
    } else if (right(m0, mf)) {
      for (int steps = 0;; ++steps) {
        if (steps > listLimit) return Search::kGaveUp;
        cell = m.nextOf(cell);
        m1 = std::abs(m.nodeAt(cell));
        if (cell == lastC) {
          m1 = ml;
          m2 = mf;
          toWalk = true;
          break;
        }
        if (p.left(m0, m1, px, py)) break;
      }
    }
    if (!toWalk) {
      for (int steps = 0; cell != lastC; ++steps) {
        if (steps > listLimit) return Search::kGaveUp;
        cell = m.nextOf(cell);
        m2 = std::abs(m.nodeAt(cell));
        if (right(m0, m2)) {
          toWalk = true;
          break;
        }
        m1 = m2;
      }
    }
    if (!toWalk) {
      // P is left of the rays from m0 to all its neighbours from m1 to ml.
      if (right(m0, mf)) {
        m1 = ml;
        m2 = mf;
        toWalk = true;
      } else if (px == p.X(m0) && py == p.Y(m0)) {
        m0 = ml;
        continue;
      } else if (p.left(ml, m0, px, py)) {
        int w = 0;
        int cw = m.nextOf(lastC);
        for (int steps = 0;; ++steps) {
          if (steps > listLimit) return Search::kGaveUp;
          if (cw == lastC) {
            *i1 = *i2 = *i3 = 0;
            return Search::kCollinear;
          }
          w = std::abs(m.nodeAt(cw));
          if (right(w, m0)) break;
          cw = m.nextOf(cw);
        }
        m0 = w;
        continue;
      } else {
        m0 = ml;
        continue;
      }
    }

    // Walk from the cone (m1, m2) at m0 across edges towards P.
    m3 = m0;
    for (int steps = 0;; ++steps) {
      if (steps > walkLimit) return Search::kGaveUp;
      if (p.left(m1, m2, px, py) && p.left(m2, m3, px, py) && p.left(m3, m1, px, py)) {
        *i1 = m1;
        *i2 = m2;
        *i3 = m3;
        return Search::kFound;
      }
      const int lp = m.findCell(m2, m1, listLimit);
      if (lp == 0) return Search::kGaveUp;
      if (m.nodeAt(lp) < 0) {
        a = m1;
        b = m2;
        goto visibleRange;
      }
      const int m4 = std::abs(m.nodeAt(m.nextOf(lp)));
      if (right(m0, m4)) {
        m3 = m2;
        m2 = m4;
      } else {
        m3 = m1;
        m1 = m4;
      }
    }
  }

visibleRange:
  // P is outside: hull edge a -> b faces it. Counterclockwise end first.
  a0 = a;
  s = b;
  if (!m.onHull(b)) return Search::kGaveUp;
  c = m.first(b);
  {
    int steps = 0;
    while (right(b, c)) {
      a = b;
      b = c;
      if (!m.onHull(b) || ++steps > hullLimit) return Search::kGaveUp;
      c = m.first(b);
    }
  }

flatTurn:
  // Go on over hull vertices where the hull turns by (almost) nothing and P
  // lies ahead along the edge.
  {
    int steps = 0;
    while (p.dotFrom(b, px, py, a) < 0.0 &&
           (p.X(c) - p.X(b)) * (p.X(a) - p.X(b)) + (p.Y(c) - p.Y(b)) * (p.Y(a) - p.Y(b)) < 0.0) {
      a = b;
      b = c;
      if (!m.onHull(b) || ++steps > hullLimit) return Search::kGaveUp;
      c = m.first(b);
      while (right(b, c)) {
        a = b;
        b = c;
        if (!m.onHull(b) || ++steps > hullLimit) return Search::kGaveUp;
        c = m.first(b);
      }
    }
  }
  *i1 = b;

  // Clockwise end of the visible range.
  if (!m.onHull(a0)) return Search::kGaveUp;
  for (int steps = 0;; ++steps) {
    if (steps > hullLimit) return Search::kGaveUp;
    const int pr = m.lastNode(a0);
    const double dp = p.dotFrom(a0, px, py, s);
    const double dq =
        (p.X(pr) - p.X(a0)) * (p.X(s) - p.X(a0)) + (p.Y(pr) - p.Y(a0)) * (p.Y(s) - p.Y(a0));
    if (p.left(pr, a0, px, py) && (dp >= 0.0 || dq >= 0.0)) break;
    s = a0;
    a0 = pr;
    if (!m.onHull(a0)) return Search::kGaveUp;
  }
  *i2 = a0;
  *i3 = 0;
  return Search::kOutside;
}

// ---------------------------------------------------------------------------
// Linking a new node

inline bool addInteriorNode(const MutLists& m, int k, int i1, int i2, int i3, int* adjFree,
                            int limit) {
  const int l1 = m.findCell(i1, i2, limit);
  if (l1 == 0) return false;
  insertAfter(m, adjFree, l1, k);
  const int l2 = m.findCell(i2, i3, limit);
  if (l2 == 0) return false;
  insertAfter(m, adjFree, l2, k);
  const int l3 = m.findCell(i3, i1, limit);
  if (l3 == 0) return false;
  insertAfter(m, adjFree, l3, k);
  const int c = *adjFree;
  m.nodeAt(c) = i1;
  m.nodeAt(c + 1) = i2;
  m.nodeAt(c + 2) = i3;
  m.nextOf(c) = c + 1;
  m.nextOf(c + 1) = c + 2;
  m.nextOf(c + 2) = c;
  m.lastCell(k) = c + 2;
  *adjFree = c + 3;
  return true;
}

// Number of hull nodes from i1's previous hull node clockwise to i2 inclusive;
// 0 when that walk leaves the hull, passes i1 or exceeds `limit` nodes.
inline int countVisibleNodes(const ConstLists& m, int i1, int i2, int limit) {
  if (!m.onHull(i1)) return 0;
  int nd = m.lastNode(i1);
  for (int count = 1; count <= limit; ++count) {
    if (nd == i1 || !m.onHull(nd)) return 0;
    if (nd == i2) return count;
    nd = m.lastNode(nd);
  }
  return 0;
}

// Links k outside the hull; `visible` is countVisibleNodes(i1, i2). The cells
// are taken in this order: the new last cell of i1, one cell in each walked
// node's list, then k's own list (i1, the walked nodes before i2, -i2).
inline void addBoundaryNode(const MutLists& m, int k, int i1, int i2, int visible, int* adjFree) {
  const int base = *adjFree;
  const int own = base + visible + 1;  // first cell of k's list
  const int lp = m.lastCell(i1);
  const int firstWalked = std::abs(m.nodeAt(lp));
  m.nodeAt(base) = -k;
  m.nextOf(base) = m.nextOf(lp);
  m.nextOf(lp) = base;
  m.lastCell(i1) = base;
  m.nodeAt(lp) = firstWalked;

  m.nodeAt(own) = i1;
  int nd = firstWalked;
  for (int j = 1; j <= visible; ++j) {
    const int lc = m.lastCell(nd);
    const int prev = std::abs(m.nodeAt(lc));
    const int c = base + j;
    m.nodeAt(c) = k;
    m.nextOf(c) = m.nextOf(lc);
    m.nextOf(lc) = c;
    if (nd == i2) break;
    m.nodeAt(lc) = prev;  // nd leaves the hull
    m.nodeAt(own + j) = nd;
    nd = prev;
  }
  m.nodeAt(own + visible) = -i2;
  for (int j = 0; j < visible; ++j) m.nextOf(own + j) = own + j + 1;
  m.nextOf(own + visible) = own;
  m.lastCell(k) = own + visible;
  *adjFree = own + visible + 1;
}

inline bool swapTest(const Coords& p, int o1, int o2, int d1, int d2) {
  const double ex = p.X(d1) - p.X(o1), ey = p.Y(d1) - p.Y(o1);
  const double fx = p.X(d2) - p.X(o1), fy = p.Y(d2) - p.Y(o1);
  const double gx = p.X(d1) - p.X(o2), gy = p.Y(d1) - p.Y(o2);
  const double hx = p.X(d2) - p.X(o2), hy = p.Y(d2) - p.Y(o2);
  const double c1 = ex * fx + ey * fy;
  const double c2 = gx * hx + gy * hy;
  if (c1 >= 0.0 && c2 >= 0.0) return false;
  if (c1 < 0.0 && c2 < 0.0) return true;
  const double s1 = ex * fy - ey * fx;
  const double s2 = hx * gy - hy * gx;
  const double s = s1 * c2 + c1 * s2;
  return s < -kSwapTolerance;
}

inline int swapDiagonal(const MutLists& m, int o1, int o2, int d1, int d2, int limit) {
  // Unlink d2 (the cell after o2) from d1's list.
  int lp = m.findCell(d1, o2, limit);
  if (lp == 0) return 0;
  const int freed1 = m.nextOf(lp);
  m.nextOf(lp) = m.nextOf(freed1);
  if (m.lastCell(d1) == freed1) m.lastCell(d1) = lp;
  // Reuse it for o2 after d1 in o1's list.
  lp = m.findCell(o1, d1, limit);
  if (lp == 0) return 0;
  m.nextOf(freed1) = m.nextOf(lp);
  m.nextOf(lp) = freed1;
  m.nodeAt(freed1) = o2;
  // Unlink d1 (the cell after o1) from d2's list.
  lp = m.findCell(d2, o1, limit);
  if (lp == 0) return 0;
  const int freed2 = m.nextOf(lp);
  m.nextOf(lp) = m.nextOf(freed2);
  if (m.lastCell(d2) == freed2) m.lastCell(d2) = lp;
  // Reuse it for o1 after d2 in o2's list.
  lp = m.findCell(o2, d2, limit);
  if (lp == 0) return 0;
  m.nextOf(freed2) = m.nextOf(lp);
  m.nextOf(lp) = freed2;
  m.nodeAt(freed2) = o1;
  return freed2;
}

inline int insertNode(int k, double xk, double yk, int startNode, int nodeCount, const Coords& p,
                      const MutLists& m, int* adjFree) {
  if (k < 1 || startNode < 1 || startNode > nodeCount || nodeCount < 3 || k > nodeCount + 1) {
    return kTriTooFewPoints;
  }
  if (!std::isfinite(xk) || !std::isfinite(yk)) return kTriNonFinite;
  // The lists have room for 6 * (nodeCount + 1) cells; a triangulation of
  // nodeCount + 1 nodes never needs more than 6 * (nodeCount + 1) - 12.
  const int capacity = 6 * (nodeCount + 1);
  const int limit = capacity;
  const ConstLists cm{m.node, m.next, m.last};

  int i1 = 0, i2 = 0, i3 = 0;
  const Search found = findTriangle(cm, p, startNode, xk, yk, nodeCount, &i1, &i2, &i3);
  if (found == Search::kGaveUp) return kTriSearchFailed;
  if (found == Search::kCollinear) return kTriCollinear;
  if (i3 != 0) {
    if (xk == p.X(i1) && yk == p.Y(i1)) return i1;
    if (xk == p.X(i2) && yk == p.Y(i2)) return i2;
    if (xk == p.X(i3) && yk == p.Y(i3)) return i3;
    if (*adjFree - 1 + 6 > capacity) return kTriBrokenLists;
    if (!addInteriorNode(m, k, i1, i2, i3, adjFree, limit)) return kTriBrokenLists;
  } else {
    const int visible = countVisibleNodes(cm, i1, i2, nodeCount);
    if (visible == 0) return kTriSearchFailed;
    // A point equal to a node of the visible range (nearly collinear data can
    // put a copy of a hull node outside the hull) is a repeat of that node.
    for (int j = 0, nd = i1; j <= visible; ++j, nd = cm.lastNode(nd)) {
      if (xk == p.X(nd) && yk == p.Y(nd)) return nd;
    }
    if (*adjFree - 1 + 2 * (visible + 1) > capacity) return kTriBrokenLists;
    addBoundaryNode(m, k, i1, i2, visible, adjFree);
  }

  // Swap diagonals opposite k until every triangle around k is Delaunay. Each
  // round either swaps (k gains a neighbour) or moves on to k's next
  // neighbour, so a sound mesh needs fewer than 2 * (nodeCount + 1) rounds.
  const int f = m.firstCell(k);
  int d2 = std::abs(m.nodeAt(f));
  int c = m.nextOf(f);
  int d1 = std::abs(m.nodeAt(c));
  for (int rounds = 0;; ++rounds) {
    if (rounds > limit) return kTriBrokenLists;
    const int lp = m.findCell(d1, d2, limit);
    if (lp == 0) return kTriBrokenLists;
    if (m.nodeAt(lp) >= 0) {
      const int o1 = std::abs(m.nodeAt(m.nextOf(lp)));
      if (swapTest(p, o1, k, d1, d2)) {
        c = swapDiagonal(m, o1, k, d1, d2, limit);
        if (c == 0) return kTriBrokenLists;
        d1 = o1;
        continue;
      }
    }
    if (c == f || m.nodeAt(c) < 0) return 0;
    d2 = d1;
    c = m.nextOf(c);
    d1 = std::abs(m.nodeAt(c));
  }
}

// ---------------------------------------------------------------------------
// Triangulation check

// Restores every sign borrowed as a mark.
inline void clearMarks(int n, int cells, int* adjNext, int* adjLast) {
  for (int k = 0; k < n; ++k) adjLast[k] = std::abs(adjLast[k]);
  for (int c = 0; c < cells; ++c) adjNext[c] = std::abs(adjNext[c]);
}

inline bool checkTriangulation(int n, int* adjNode, int* adjNext, int* adjLast, int adjFree) {
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
inline int findStored(const Table& tab, int upTo, int v1, int v2, int v3) {
  int lo = 0, hi = upTo;  // invariant: first vertex of 1..lo <= v1 < that of hi+1..upTo
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (tab.at(mid, 1) <= v1)
      lo = mid;
    else
      hi = mid - 1;
  }
  for (int r = lo; r >= 1 && tab.at(r, 1) == v1; --r) {
    if (tab.at(r, 2) == v2 && tab.at(r, 3) == v3) return r;
  }
  return 0;
}

inline int buildTriangleTable(int n, const ConstLists& m, int* triCount, int* triTable) {
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
            v1 = a;
            v2 = b;
            v3 = cc;
            q = 3;
          } else if (b < a && b < cc) {
            v1 = b;
            v2 = cc;
            v3 = a;
            q = 2;
          } else {
            v1 = cc;
            v2 = a;
            v3 = b;
            q = 1;
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

inline int extractBorder(int n, int* triCount, int* triVertex, int* borderCount, int* borderSeg,
                         const ConstLists& m, int* triTable) {
  *borderCount = 0;
  const int st = buildTriangleTable(n, m, triCount, triTable);
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
  // Chain: bring the segment that starts where segment l ends to l + 1.
  for (int l = 1; l < segs; ++l) {
    const int end = borderSeg[2 * l - 1];
    int mm = l + 1;
    while (mm <= segs && borderSeg[2 * mm - 2] != end) ++mm;
    if (mm > segs) {
      *triCount = 0;
      return 2;
    }
    if (mm != l + 1) {
      const int s0 = borderSeg[2 * mm - 2], s1 = borderSeg[2 * mm - 1];
      borderSeg[2 * mm - 2] = borderSeg[2 * l];
      borderSeg[2 * mm - 1] = borderSeg[2 * l + 1];
      borderSeg[2 * l] = s0;
      borderSeg[2 * l + 1] = s1;
    }
  }
  *borderCount = segs;
  return 0;
}

// First triangle (in triangle order) among 1..count having both i and j as
// vertices; 0 if none. Any two vertices of a triangle are joined by one of its
// edges 1-2, 2-3, 3-1.
inline int firstTriangleWith(const int* triVertex, int count, int i, int j) {
  for (int t = 1; t <= count; ++t) {
    const int* v = triVertex + 3 * (t - 1);
    const bool hasI = v[0] == i || v[1] == i || v[2] == i;
    const bool hasJ = v[0] == j || v[1] == j || v[2] == j;
    if (hasI && hasJ) return t;
  }
  return 0;
}

inline void removeThinTriangles(int n, const Coords& p, int* triCount, int* triVertex,
                                int* borderCount, int* borderSeg, int* borderTri) {
  int tris = *triCount;
  int segs = *borderCount;
  if (segs < 1 || tris < 1) return;
  for (int l = 1; l <= segs; ++l) {
    borderTri[l - 1] =
        firstTriangleWith(triVertex, tris, borderSeg[2 * l - 2], borderSeg[2 * l - 1]);
  }
  // Scale factors: mean absolute extents of the border segments.
  double ax = 0.0, ay = 0.0;
  for (int l = 1; l <= segs; ++l) {
    ax += std::fabs(p.X(borderSeg[2 * l - 1]) - p.X(borderSeg[2 * l - 2]));
    ay += std::fabs(p.Y(borderSeg[2 * l - 1]) - p.Y(borderSeg[2 * l - 2]));
  }
  ax = ax / segs;
  ay = ay / segs;

  auto isBorderVertex = [&](int v) {
    for (int l = 1; l <= segs; ++l) {
      if (borderSeg[2 * l - 2] == v) return true;
    }
    return false;
  };

  for (int pass = 1; pass <= kThinPasses; ++pass) {
    int removed = 0;
    const int segsAtStart = segs;
    int l = 1;
    for (int visited = 0; visited < segsAtStart; ++visited) {
      const int i1 = borderSeg[2 * l - 2];
      const int i2 = borderSeg[2 * l - 1];
      const int t = borderTri[l - 1];
      if (t < 1 || t > tris || segs >= n) {
        ++l;
        continue;
      }
      const int* v = triVertex + 3 * (t - 1);
      const int i3 = (v[0] != i1 && v[0] != i2) ? v[0] : ((v[1] != i1 && v[1] != i2) ? v[1] : v[2]);
      const double dxa = (p.X(i2) - p.X(i1)) / ax;
      const double dya = (p.Y(i2) - p.Y(i1)) / ay;
      const double dxb = (p.X(i3) - p.X(i1)) / ax;
      const double dyb = (p.Y(i3) - p.Y(i1)) / ay;
      const double ratio = (dxa * dyb - dxb * dya) / (dxa * dxa + dya * dya);
      if (!(ratio < kThinRatio) || isBorderVertex(i3)) {
        ++l;
        continue;
      }
      // Remove triangle t.
      for (int r = 3 * t; r < 3 * tris; ++r) triVertex[r - 3] = triVertex[r];
      --tris;
      for (int j = 1; j <= segs; ++j) {
        if (borderTri[j - 1] > t) --borderTri[j - 1];
      }
      // Segment l becomes (i1, i3); (i3, i2) is inserted after it.
      for (int j = segs; j > l; --j) {
        borderSeg[2 * j] = borderSeg[2 * j - 2];
        borderSeg[2 * j + 1] = borderSeg[2 * j - 1];
        borderTri[j] = borderTri[j - 1];
      }
      ++segs;
      borderSeg[2 * l - 1] = i3;
      borderSeg[2 * l] = i3;
      borderSeg[2 * l + 1] = i2;
      borderTri[l - 1] = firstTriangleWith(triVertex, tris, i1, i3);
      borderTri[l] = firstTriangleWith(triVertex, tris, i3, i2);
      ++removed;
      l += 2;  // the inserted segment waits for the next pass
    }
    if (removed == 0) break;
  }
  *triCount = tris;
  *borderCount = segs;
}

}  // namespace mesh_detail

// ---------------------------------------------------------------------------
// Routines of the family

inline void sdTriangulate(const int* n, const double* x, const double* y, int* adjNode,
                          int* adjNext, int* adjLast, int* adjFree, int* status) {
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
  const mesh_detail::Coords p{x, y};
  static constexpr int kRightTurn[6] = {3, -2, 1, -3, 2, -1};  // triangle (1, 3, 2)
  static constexpr int kLeftTurn[6] = {2, -3, 3, -1, 1, -2};   // triangle (1, 2, 3)
  const int* initial = nullptr;
  if (!p.left(1, 2, p.X(3), p.Y(3))) {
    initial = kRightTurn;
  } else if (!p.left(2, 1, p.X(3), p.Y(3))) {
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
  const mesh_detail::MutLists m{adjNode, adjNext, adjLast};
  for (int k = 4; k <= count; ++k) {
    const int st = mesh_detail::insertNode(k, x[k - 1], y[k - 1], k - 1, k - 1, p, m, adjFree);
    if (st != 0) {
      *status = st;
      return;
    }
  }
  *status = mesh_detail::checkTriangulation(count, adjNode, adjNext, adjLast, *adjFree)
                ? 0
                : kTriBrokenLists;
}

inline void sdFindTriangle(const int* startNode, const double* px, const double* py,
                           const double* x, const double* y, const int* adjNode, const int* adjNext,
                           const int* adjLast, int* i1, int* i2, int* i3, const int* nodeCount) {
  const mesh_detail::Search r = mesh_detail::findTriangle(
      mesh_detail::ConstLists{adjNode, adjNext, adjLast}, mesh_detail::Coords{x, y}, *startNode,
      *px, *py, *nodeCount, i1, i2, i3);
  if (r == mesh_detail::Search::kGaveUp) *i1 = *i2 = *i3 = -1;
}

inline void sdBuildTriangleTable(const int* n, const int* adjNode, const int* adjNext,
                                 const int* adjLast, int* triCount, int* triTable, int* status) {
  *status = mesh_detail::buildTriangleTable(*n, mesh_detail::ConstLists{adjNode, adjNext, adjLast},
                                            triCount, triTable);
  if (*status != 0) *triCount = 0;
}

inline void sdExtractBorder(const int* n, int* triCount, int* triVertex, int* borderCount,
                            int* borderSeg, int* status, const int* adjNode, const int* adjNext,
                            const int* adjLast, int* triTable) {
  *status =
      mesh_detail::extractBorder(*n, triCount, triVertex, borderCount, borderSeg,
                                 mesh_detail::ConstLists{adjNode, adjNext, adjLast}, triTable);
  if (*status != 0) *triCount = 0;
}

inline void sdRemoveThinTriangles(const int* n, const double* x, const double* y, int* triCount,
                                  int* triVertex, int* borderCount, int* borderSeg,
                                  int* borderTri) {
  mesh_detail::removeThinTriangles(*n, mesh_detail::Coords{x, y}, triCount, triVertex, borderCount,
                                   borderSeg, borderTri);
}

inline void sdTriangulateAndList(const int* n, const double* x, const double* y, int* triCount,
                                 int* triVertex, int* borderCount, int* borderSeg, int* status,
                                 const int* adjNode, const int* adjNext, const int* adjLast,
                                 int* triTable, int* borderTri) {
  int st = 0;
  sdExtractBorder(n, triCount, triVertex, borderCount, borderSeg, &st, adjNode, adjNext, adjLast,
                  triTable);
  if (st == 0) {
    sdRemoveThinTriangles(n, x, y, triCount, triVertex, borderCount, borderSeg, borderTri);
    *status = 0;
  } else {
    *status = st == 1 ? 4 : 5;
  }
}

inline bool sdCheckTriangulation(const int* n, int* adjNode, int* adjNext, int* adjLast,
                                 const int* adjFree) {
  return mesh_detail::checkTriangulation(*n, adjNode, adjNext, adjLast, *adjFree);
}

}  // namespace lum::scattered::reference

#endif  // LUM_TESTS_SCATTERED_REFERENCE_MESH_REFERENCE_H
