// Fast location of the points that the Delaunay insertion adds to the mesh.
//
// The insertion locates each new point P by a walk from the previously
// inserted node m0 (sdFindTriangle). On points in random order that walk
// crosses O(sqrt n) triangles per point. Its result is the triangle holding P
// together with the order of the triangle's vertices, and that order fixes the
// cell and triangle numbering of everything downstream.
//
// The order depends only on three orientation tests. The walk keeps m0 fixed
// and moves through triangles (m1, m2, m3) with P left of (or on) the ray
// m0->m1 and right of the ray m0->m2; it returns the first triangle that holds
// P, as i1 = m1, i2 = m2, i3 = m3. Writing "v is left" for "P is left of (or
// on) the ray from m0 to v", with m0 itself counting as left:
//   - exactly one vertex not left: it is i2, its counterclockwise predecessor
//     in the triangle is i1 and its successor i3;
//   - exactly two vertices not left: the left one is i1, followed
//     counterclockwise by i2 and i3.
// (With P strictly inside the triangle, one or two vertices are left and the
// others are not: the three ray orientations, weighted by the barycentric
// coordinates of P, sum to zero.)
//
// InsertionLocator finds the triangle another way: a grid of the inserted
// nodes gives a node near P, and a short visibility walk from there reaches a
// triangle T holding P. It then answers for the insertion walk only when every
// fact the argument above needs is known for sure, each orientation test by
// sdKnownSide below (the certified filter, or exact evaluation where the
// computation involves no rounding):
//   - P lies strictly inside T: each edge test is known positive, taken from
//     both ends of the edge (the walk may test a shared edge from the
//     neighbouring triangle, with the other end as base point);
//   - or P lies on one edge u -> v of T, the two tests of that edge being
//     exact ties (integer-like data) and the others known positive, and m0
//     lies known strictly on one side of the line u-v: the walk comes from
//     that side and stops in the first of the two triangles holding P, the
//     one on m0's side (its other two edges must then be known positive too);
//   - m0 is an interior node, or P lies known strictly inside m0's hull angle
//     (the walk's hull-edge tests at m0), so the walk neither restarts nor
//     steps outside the hull;
//   - the ray test of each vertex of the answer is known and not a tie (or
//     the vertex is m0).
// Under these conditions the exact walk ends in that triangle with the
// vertices in the order above, and the floating-point walk evaluates these
// tests with the same results.
//
// The walk's other tests (ray and inside tests of the triangles it crosses on
// the way) can mislead it only where rounding decides them: near triangles
// whose orientation rounding decides (three nodes collinear up to rounding;
// P can pass such a sliver's inside test without lying in it), or where a
// node on the path lies within rounding of the line from m0 to P. Nearly
// collinear input (points on a rotated line, clusters a few ulps wide) does
// this; random data practically never. So the locator also checks the ray
// tests of m0's neighbours (the walk's cone search) and of the three nodes
// across the answer's edges (its last steps), and it is switched off for the
// rest of the call as soon as such input shows: when one of its own tests is
// decided by rounding, or when a triangle the insertion creates (each lies in
// the new node's fan after the swaps) has an orientation that rounding
// decides from one of its vertices. Exact ties do not switch it off.
// Everything else (points outside the hull, points at a node, ties, tests
// not known, a walk that does not settle) is left to sdFindTriangle.
//
// The tests compare the two on uniform, clustered, long thin, shuffled-grid
// and cocircular data, and on nearly degenerate sets where the walk itself
// strays or fails (rotated lines, rotated and jittered grids, clusters 1e-13
// wide, small integer lattices).
#ifndef LUM_SCATTERED_INSERTION_LOCATOR_H
#define LUM_SCATTERED_INSERTION_LOCATOR_H

#include <cmath>
#include <vector>

#include "scattered/compact_mesh.h"

namespace lum::scattered {

// Certified sign of the orientation test "P left of (or on) the directed line
// A -> B", which the triangulation evaluates as
//     l = (xB - xA)*(yP - yA),  r = (xP - xA)*(yB - yA),  left when l >= r.
// Returns +1 when L > R holds for the exact products L, R of the exact
// differences (then the computed test says left), -1 when L < R (the computed
// test says right), and 0 when rounding could decide either way.
//
// Bound: with u = 2^-53, each of l and r comes from two subtractions and a
// product, so |l - L| <= ((1+u)^3 - 1)|L| + eta, where eta = 2^-1075 covers a
// product that falls into the subnormal range (sums and differences of
// doubles are exact there). Hence |(l - r) - (L - R)| <= 3.02u(|l| + |r|) +
// 4 eta. The filter accepts when the computed d = fl(l - r), whose sign is
// that of l - r, exceeds b = fl(fl(4u fl(|l| + |r|)) + F) with F = 2^-1022;
// then l - r >= d/(1+u) > b/(1+u) >= 3.99u(|l| + |r|) + 0.99F, which exceeds
// the error bound above. If a difference or product overflows, b is infinite
// (or d is NaN) and the filter reports 0. Inputs must be finite.
inline int sdCertainSide(double ax, double ay, double bx, double by, double px, double py) {
  constexpr double kRelBound = 0x1p-51;   // 4u
  constexpr double kAbsBound = 0x1p-1022;  // F
  const double l = (bx - ax) * (py - ay);
  const double r = (px - ax) * (by - ay);
  const double d = l - r;
  const double b = kRelBound * (std::fabs(l) + std::fabs(r)) + kAbsBound;
  if (d > b) return 1;
  if (-d > b) return -1;
  return 0;
}

// The orientation test "P left of (or on) A -> B" where its outcome is known
// for sure: +1 or -1 as sdCertainSide, or, where the filter cannot decide but
// the computation is exact (no difference or product rounded; integer-like
// coordinates), the exact sign, 0 for an exact tie. kSideUnknown when
// rounding could decide the computed test.
inline constexpr int kSideUnknown = 2;
int sdKnownSide(double ax, double ay, double bx, double by, double px, double py);

// Grid of inserted nodes plus visibility walk, for one triangulation call on
// a CompactMesh (node numbers are the mesh's internal ones). Memory: about n/2
// ints, released with the object.
class InsertionLocator {
 public:
  // Nodes are those of `mesh`; the three nodes of the initial triangle are
  // recorded.
  InsertionLocator(const CompactMesh& mesh, int first, int second, int third);

  // Node r is now in the mesh; `nodes` is the number of nodes in the mesh.
  void recordNode(int r, int nodes);

  // Tries to give, for the point (px, py) and the walk's start node m0, the
  // triangle (i1, i2, i3) that the insertion walk would return, in its order.
  // kFound: answered. kDeclined: the conditions above do not all hold; the
  // caller runs the walk. kNearlyCollinear: declined, and one of the tests was
  // decided by rounding (not an exact zero): the nodes near P are collinear
  // up to rounding, where the walk's path can stray (see above); the caller
  // stops using the locator. nodeCount is the number of nodes in the mesh.
  enum class Answer { kFound, kDeclined, kNearlyCollinear };
  Answer locate(int m0, double px, double py, int nodeCount, int* i1, int* i2, int* i3) const;

  // Memory hints for points about to be located: the grid cell of a point two
  // insertions ahead, and the start node of the point one insertion ahead.
  void prefetchCell(double px, double py) const { __builtin_prefetch(&latest_[cellOf(px, py)]); }
  void prefetchStart(double px, double py) const {
    const int node = latest_[cellOf(px, py)];
    if (node != 0) mesh_.prefetch(node);
  }

 private:
  int cellOf(double px, double py) const;
  int nearbyNode(double px, double py) const;
  void rebuild(int nodes);

  const CompactMesh& mesh_;
  double x0_ = 0.0, y0_ = 0.0;      // lower left corner of the points' bounding box
  double width_ = 0.0, height_ = 0.0;
  int nx_ = 1, ny_ = 1;             // grid cells along x and y
  double scaleX_ = 0.0, scaleY_ = 0.0;
  std::vector<int> latest_;         // per cell: the last inserted node in it, 0 if none
  std::vector<int> inMesh_;         // the nodes in the mesh, in insertion order
  int nextRebuild_ = 0;             // node count at which the grid is refined
};

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_INSERTION_LOCATOR_H
