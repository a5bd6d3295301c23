// The steps of the Delaunay insertion (point search, linking a node inside a
// triangle or outside the hull, swap test, diagonal swap, and the swaps that
// restore the Delaunay property around a new node), written once for any
// store of the adjacency lists.
//
// A store ("Mesh") holds each node's circular neighbour list as cells that
// are named by their cell numbers; a cell is always addressed together with
// the node whose list holds it. Members, with nodes and values in the store's
// own node numbering:
//   double X(k), Y(k)            coordinates of node k
//   int lastCell(k), firstCell(k)
//   int nodeAt(k, c)             signed neighbour held by cell c of k's list
//   int nextOf(k, c)             the cell after c in k's list
//   int findCell(k, target, limit)
//       the cell holding target, searching from the first cell; the last cell
//       when no earlier cell holds it; 0 when the list does not lead to its
//       last cell within `limit` steps (damaged lists only)
//   void setNode(k, c, value)
//   void insertAfter(k, lp, value, cell)   links the unused cell `cell` after lp
//   int unlinkAfter(k, lp)
//       unlinks the cell after lp and returns it; if it was k's last cell, lp
//       becomes the last; returns kLostTrack if the store cannot follow
//   void relinkAfter(k, lp, cell, value)   links an unlinked cell after lp
//   void setLast(k, c)
//   void makeList(k, values, count, firstCell)
//       k's list becomes the cells firstCell .. firstCell + count - 1 holding
//       values[0 .. count - 1] in this order, the last one being k's last
//
// Every routine reproduces the plain procedure on the caller's lists step for
// step, so a store that follows each edit exactly ends with the same lists.
#ifndef LUM_SCATTERED_INSERTION_CORE_H
#define LUM_SCATTERED_INSERTION_CORE_H

#include <cstdlib>
#include <vector>

#include "scattered/triangulation.h"

namespace lum::scattered::core {

// Returned by a store's unlinkAfter (and passed up as a status) when an edit
// leaves a shape the store cannot represent; the caller then redoes the
// triangulation on the caller's lists.
inline constexpr int kLostTrack = -1000;

enum class Search { kFound, kOutside, kCollinear, kGaveUp };

// P = (px, py) left of (or on) the directed line from node a to node b.
template <typename Mesh>
inline bool left(const Mesh& m, int a, int b, double px, double py) {
  return (m.X(b) - m.X(a)) * (py - m.Y(a)) >= (px - m.X(a)) * (m.Y(b) - m.Y(a));
}

// dot(P - b, a - b) for a point P and nodes a, b.
template <typename Mesh>
inline double dotFrom(const Mesh& m, int b, double px, double py, int a) {
  return (px - m.X(b)) * (m.X(a) - m.X(b)) + (py - m.Y(b)) * (m.Y(a) - m.Y(b));
}

template <typename Mesh>
inline bool onHull(const Mesh& m, int k) {
  return m.nodeAt(k, m.lastCell(k)) < 0;
}
// k's first and last neighbour; on the hull, the next and the previous hull
// node counterclockwise.
template <typename Mesh>
inline int first(const Mesh& m, int k) {
  return std::abs(m.nodeAt(k, m.firstCell(k)));
}
template <typename Mesh>
inline int lastNode(const Mesh& m, int k) {
  return std::abs(m.nodeAt(k, m.lastCell(k)));
}

// Locates P = (px, py) from startNode: i1, i2, i3 the triangle holding P
// (counterclockwise), or the visible hull range i2 .. i1 with i3 = 0.
template <typename Mesh>
Search findTriangle(const Mesh& m, int startNode, double px, double py, int nodeCount, int* i1,
                    int* i2, int* i3) {
  // A consistent search restarts its cone search only at degenerate
  // positions (P at a node, P on the line of a hull edge), crosses each
  // triangle at most once (fewer than 2 * nodeCount of them), and walks along
  // less than the whole hull.
  const int listLimit = 6 * (nodeCount + 1);
  const int walkLimit = 2 * nodeCount;
  const int hullLimit = nodeCount;
  auto isLeft = [&](int a, int b) { return left(m, a, b, px, py); };
  auto right = [&](int a, int b) { return !left(m, a, b, px, py); };

  int m0 = startNode > 1 ? startNode : 1;
  int m1 = 0, m2 = 0, m3 = 0;
  int a = 0, b = 0, c = 0;  // hull edge a -> b and b's successor c
  int a0 = 0, s = 0;        // start of the clockwise hull walk and its successor

  for (int restarts = 0;; ++restarts) {
    if (restarts > nodeCount + 2) return Search::kGaveUp;
    // Cone search around m0.
    const int mf = first(m, m0);
    const int ml = lastNode(m, m0);
    const int lastC = m.lastCell(m0);
    int cell = m.nextOf(m0, lastC);  // holds m1
    m1 = mf;
    bool toWalk = false;
    if (onHull(m, m0)) {
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
        cell = m.nextOf(m0, cell);
        m1 = std::abs(m.nodeAt(m0, cell));
        if (cell == lastC) {
          m1 = ml;
          m2 = mf;
          toWalk = true;
          break;
        }
        if (isLeft(m0, m1)) break;
      }
    }
    if (!toWalk) {
      for (int steps = 0; cell != lastC; ++steps) {
        if (steps > listLimit) return Search::kGaveUp;
        cell = m.nextOf(m0, cell);
        m2 = std::abs(m.nodeAt(m0, cell));
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
      } else if (px == m.X(m0) && py == m.Y(m0)) {
        m0 = ml;
        continue;
      } else if (isLeft(ml, m0)) {
        int w = 0;
        int cw = m.nextOf(m0, lastC);
        for (int steps = 0;; ++steps) {
          if (steps > listLimit) return Search::kGaveUp;
          if (cw == lastC) {
            *i1 = *i2 = *i3 = 0;
            return Search::kCollinear;
          }
          w = std::abs(m.nodeAt(m0, cw));
          if (right(w, m0)) break;
          cw = m.nextOf(m0, cw);
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
      if (isLeft(m1, m2) && isLeft(m2, m3) && isLeft(m3, m1)) {
        *i1 = m1;
        *i2 = m2;
        *i3 = m3;
        return Search::kFound;
      }
      const int lp = m.findCell(m2, m1, listLimit);
      if (lp == 0) return Search::kGaveUp;
      if (m.nodeAt(m2, lp) < 0) {
        a = m1;
        b = m2;
        goto visibleRange;
      }
      const int m4 = std::abs(m.nodeAt(m2, m.nextOf(m2, lp)));
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
  if (!onHull(m, b)) return Search::kGaveUp;
  c = first(m, b);
  {
    int steps = 0;
    while (right(b, c)) {
      a = b;
      b = c;
      if (!onHull(m, b) || ++steps > hullLimit) return Search::kGaveUp;
      c = first(m, b);
    }
  }

flatTurn:
  // Go on over hull vertices where the hull turns by (almost) nothing and P
  // lies ahead along the edge.
  {
    int steps = 0;
    while (dotFrom(m, b, px, py, a) < 0.0 &&
           (m.X(c) - m.X(b)) * (m.X(a) - m.X(b)) + (m.Y(c) - m.Y(b)) * (m.Y(a) - m.Y(b)) < 0.0) {
      a = b;
      b = c;
      if (!onHull(m, b) || ++steps > hullLimit) return Search::kGaveUp;
      c = first(m, b);
      while (right(b, c)) {
        a = b;
        b = c;
        if (!onHull(m, b) || ++steps > hullLimit) return Search::kGaveUp;
        c = first(m, b);
      }
    }
  }
  *i1 = b;

  // Clockwise end of the visible range.
  if (!onHull(m, a0)) return Search::kGaveUp;
  for (int steps = 0;; ++steps) {
    if (steps > hullLimit) return Search::kGaveUp;
    const int pr = lastNode(m, a0);
    const double dp = dotFrom(m, a0, px, py, s);
    const double dq =
        (m.X(pr) - m.X(a0)) * (m.X(s) - m.X(a0)) + (m.Y(pr) - m.Y(a0)) * (m.Y(s) - m.Y(a0));
    if (isLeft(pr, a0) && (dp >= 0.0 || dq >= 0.0)) break;
    s = a0;
    a0 = pr;
    if (!onHull(m, a0)) return Search::kGaveUp;
  }
  *i2 = a0;
  *i3 = 0;
  return Search::kOutside;
}

// Links node k inside triangle (i1, i2, i3): k joins the three lists after i2,
// i3 and i1 respectively, then gets its own list i1, i2, i3. Six cells from
// adjFree on. False when a list turns out damaged.
template <typename Mesh>
bool addInteriorNode(Mesh& m, int k, int i1, int i2, int i3, int* adjFree, int limit) {
  const int l1 = m.findCell(i1, i2, limit);
  if (l1 == 0) return false;
  m.insertAfter(i1, l1, k, (*adjFree)++);
  const int l2 = m.findCell(i2, i3, limit);
  if (l2 == 0) return false;
  m.insertAfter(i2, l2, k, (*adjFree)++);
  const int l3 = m.findCell(i3, i1, limit);
  if (l3 == 0) return false;
  m.insertAfter(i3, l3, k, (*adjFree)++);
  const int values[3] = {i1, i2, i3};
  m.makeList(k, values, 3, *adjFree);
  *adjFree += 3;
  return true;
}

// Number of hull nodes from i1's previous hull node clockwise to i2 inclusive;
// 0 when that walk leaves the hull, passes i1 or exceeds `limit` nodes.
template <typename Mesh>
int countVisibleNodes(const Mesh& m, int i1, int i2, int limit) {
  if (!onHull(m, i1)) return 0;
  int nd = lastNode(m, i1);
  for (int count = 1; count <= limit; ++count) {
    if (nd == i1 || !onHull(m, nd)) return 0;
    if (nd == i2) return count;
    nd = lastNode(m, nd);
  }
  return 0;
}

// The first node of the visible hull range (i1, then clockwise to i2) that
// lies exactly at (xk, yk); 0 if none does. With consistent orientation tests
// a point equal to a hull node is never outside the hull, but on nearly
// collinear data the tests can contradict each other and place it there.
template <typename Mesh>
int coincidentVisibleNode(const Mesh& m, int i1, int visible, double xk, double yk) {
  int nd = i1;
  for (int j = 0; j <= visible; ++j) {
    if (xk == m.X(nd) && yk == m.Y(nd)) return nd;
    nd = lastNode(m, nd);
  }
  return 0;
}

// Links k outside the hull; `visible` is countVisibleNodes(i1, i2). The cells
// are taken in this order: the new last cell of i1, one cell in each walked
// node's list (k becomes its first neighbour), then k's own list (i1, the
// walked nodes before i2, -i2). `values` is scratch.
template <typename Mesh>
void addBoundaryNode(Mesh& m, int k, int i1, int i2, int visible, int* adjFree,
                     std::vector<int>& values) {
  const int base = *adjFree;
  const int lp = m.lastCell(i1);
  const int firstWalked = std::abs(m.nodeAt(i1, lp));
  m.insertAfter(i1, lp, -k, base);
  m.setLast(i1, base);
  m.setNode(i1, lp, firstWalked);

  values.assign(static_cast<size_t>(visible) + 1, 0);
  values[0] = i1;
  int nd = firstWalked;
  for (int j = 1; j <= visible; ++j) {
    const int lc = m.lastCell(nd);
    const int prev = std::abs(m.nodeAt(nd, lc));
    m.insertAfter(nd, lc, k, base + j);
    if (nd == i2) break;
    m.setNode(nd, lc, prev);  // nd leaves the hull
    values[j] = nd;
    nd = prev;
  }
  values[visible] = -i2;
  const int own = base + visible + 1;
  m.makeList(k, values.data(), visible + 1, own);
  *adjFree = own + visible + 1;
}

// Delaunay swap test for the quadrilateral with diagonal d1-d2 and opposite
// vertices o1, o2.
template <typename Mesh>
bool swapTest(const Mesh& m, int o1, int o2, int d1, int d2) {
  const double ex = m.X(d1) - m.X(o1), ey = m.Y(d1) - m.Y(o1);
  const double fx = m.X(d2) - m.X(o1), fy = m.Y(d2) - m.Y(o1);
  const double gx = m.X(d1) - m.X(o2), gy = m.Y(d1) - m.Y(o2);
  const double hx = m.X(d2) - m.X(o2), hy = m.Y(d2) - m.Y(o2);
  const double c1 = ex * fx + ey * fy;
  const double c2 = gx * hx + gy * hy;
  if (c1 >= 0.0 && c2 >= 0.0) return false;
  if (c1 < 0.0 && c2 < 0.0) return true;
  const double s1 = ex * fy - ey * fx;
  const double s2 = hx * gy - hy * gx;
  const double s = s1 * c2 + c1 * s2;
  return s < -kSwapTolerance;
}

// Replaces the diagonal d1-d2 by o1-o2, reusing the two cells it unlinks.
// Returns the cell now holding o1 in o2's list; 0 for damaged lists,
// kLostTrack when the store cannot follow.
template <typename Mesh>
int swapDiagonal(Mesh& m, int o1, int o2, int d1, int d2, int limit) {
  // Unlink d2 (the cell after o2) from d1's list; reuse it for o2 after d1 in
  // o1's list.
  int lp = m.findCell(d1, o2, limit);
  if (lp == 0) return 0;
  const int freed1 = m.unlinkAfter(d1, lp);
  if (freed1 == kLostTrack) return kLostTrack;
  lp = m.findCell(o1, d1, limit);
  if (lp == 0) return 0;
  m.relinkAfter(o1, lp, freed1, o2);
  // Unlink d1 (the cell after o1) from d2's list; reuse it for o1 after d2 in
  // o2's list.
  lp = m.findCell(d2, o1, limit);
  if (lp == 0) return 0;
  const int freed2 = m.unlinkAfter(d2, lp);
  if (freed2 == kLostTrack) return kLostTrack;
  lp = m.findCell(o2, d2, limit);
  if (lp == 0) return 0;
  m.relinkAfter(o2, lp, freed2, o1);
  return freed2;
}

// Links node k (at xk, yk) where the point search put it, given the search's
// outcome and i1, i2, i3, and restores the Delaunay property by swaps. Returns
// 0, a failure status, the node that k duplicates, or kLostTrack.
template <typename Mesh>
int linkNode(Mesh& m, int k, double xk, double yk, Search found, int i1, int i2, int i3,
             int nodeCount, int* adjFree, std::vector<int>& scratch) {
  // The lists have room for 6 * (nodeCount + 1) cells; a triangulation of
  // nodeCount + 1 nodes never needs more than 6 * (nodeCount + 1) - 12.
  const int capacity = 6 * (nodeCount + 1);
  const int limit = capacity;
  if (found == Search::kGaveUp) return kTriSearchFailed;
  if (found == Search::kCollinear) return kTriCollinear;
  if (i3 != 0) {
    if (xk == m.X(i1) && yk == m.Y(i1)) return i1;
    if (xk == m.X(i2) && yk == m.Y(i2)) return i2;
    if (xk == m.X(i3) && yk == m.Y(i3)) return i3;
    if (*adjFree - 1 + 6 > capacity) return kTriBrokenLists;
    if (!addInteriorNode(m, k, i1, i2, i3, adjFree, limit)) return kTriBrokenLists;
  } else {
    const int visible = countVisibleNodes(m, i1, i2, nodeCount);
    if (visible == 0) return kTriSearchFailed;
    if (const int same = coincidentVisibleNode(m, i1, visible, xk, yk)) return same;
    if (*adjFree - 1 + 2 * (visible + 1) > capacity) return kTriBrokenLists;
    addBoundaryNode(m, k, i1, i2, visible, adjFree, scratch);
  }

  // Swap diagonals opposite k until every triangle around k is Delaunay. Each
  // round either swaps (k gains a neighbour) or moves on to k's next
  // neighbour, so a sound mesh needs fewer than 2 * (nodeCount + 1) rounds.
  const int f = m.firstCell(k);
  int d2 = std::abs(m.nodeAt(k, f));
  int c = m.nextOf(k, f);
  int d1 = std::abs(m.nodeAt(k, c));
  for (int rounds = 0;; ++rounds) {
    if (rounds > limit) return kTriBrokenLists;
    const int lp = m.findCell(d1, d2, limit);
    if (lp == 0) return kTriBrokenLists;
    if (m.nodeAt(d1, lp) >= 0) {
      const int o1 = std::abs(m.nodeAt(d1, m.nextOf(d1, lp)));
      if (swapTest(m, o1, k, d1, d2)) {
        c = swapDiagonal(m, o1, k, d1, d2, limit);
        if (c == kLostTrack) return kLostTrack;
        if (c == 0) return kTriBrokenLists;
        d1 = o1;
        continue;
      }
    }
    if (c == f || m.nodeAt(k, c) < 0) return 0;
    d2 = d1;
    c = m.nextOf(k, c);
    d1 = std::abs(m.nodeAt(k, c));
  }
}

}  // namespace lum::scattered::core

#endif  // LUM_SCATTERED_INSERTION_CORE_H
