// Delaunay triangulation of the scattered data points, its conversion into a
// triangle list with a counterclockwise border chain, and the removal of thin
// border triangles.
//
// Conventions of the scattered-data family: every argument is passed by
// pointer, counts included; node (data point), cell, triangle and segment
// numbers are 1-based, so "cell c" is adjNode[c - 1].
//
// Adjacency lists (the mesh while it is being built)
// --------------------------------------------------
// Each node k owns a circular singly linked list of cells, one per neighbour,
// in counterclockwise order around k:
//
//   adjNode[c]  neighbour held by cell c; negative in the last cell of a node
//               on the convex hull
//   adjNext[c]  next cell of the same node's list
//   adjLast[k]  cell of k's last neighbour; k's first neighbour is in cell
//               adjNext[adjLast[k]]
//   adjFree     first unused cell; cells are taken in increasing order and
//               never released (a diagonal swap reuses the two cells it
//               unlinks)
//
//        n3                 node k interior: n1 n2 n3 n4 n5, full cycle
//       /  \                node h on the hull, neighbours counterclockwise:
//     n4----k----n2           first = next hull node counterclockwise,
//       \  / \  /             last  = previous hull node, stored negated;
//        n5---n1              the angle from last to first lies outside.
//
// The lists need room for 6 * pointCount cells (at most 6 * pointCount - 12
// are used) and adjLast for pointCount entries.
//
// Triangle table (6 ints per triangle, while converting)
// -------------------------------------------------------
//   row 1      smallest vertex number of the three
//   rows 2, 3  the other two vertices, rows 1-2-3 counterclockwise
//   row 4      triangle across edge v2-v3 (opposite v1), 0 on the hull
//   row 5      triangle across edge v3-v1 (opposite v2), 0 on the hull
//   row 6      triangle across edge v1-v2 (opposite v3), 0 on the hull
//
//                 v3
//                /  \        row 5 across v3-v1, row 4 across v2-v3,
//        row 5  /    \ row 4 row 6 across v1-v2
//              /      \.
//            v1--------v2
//               row 6
//
// Triangles are numbered by their first vertex, ascending; triangles that
// share a first vertex p1 follow p1's neighbour list from its first neighbour.
//
// Results for location and evaluation
// -----------------------------------
//   triVertex  3 ints per triangle: rows 1-3 of the table (counterclockwise)
//   borderSeg  2 ints per border segment (start, end), data area on the left;
//              one closed chain: the end of segment l is the start of l + 1,
//              the end of the last is the start of the first
//   borderTri  1 int per border segment: the triangle owning it (scratch)
//
// In the caller's iwork (see work_layout.h) triVertex and borderSeg overwrite
// the first cells of adjNode and adjNext, so a caller that still needs the
// lists copies them before sdExtractBorder.
//
// Orientation test used by every routine here: P lies left of (or on) the
// directed line A -> B when (xB - xA)*(yP - yA) >= (xP - xA)*(yB - yA).
//
// Speed. The routines give exactly the results of the plain procedures
// described with each of them, but work on scratch copies allocated per call
// (O(n) memory, released before return) so that they take O(n log n) on
// points in random order: the insertion runs on a packed copy of the lists
// (compact_mesh.h) and locates most points with a grid and a short walk
// (insertion_locator.h) instead of the walk from the previous point; the
// conversion reads the lists once into a packed snapshot (list_snapshot.h);
// the border chain follows a start-vertex map; thin-triangle removal keeps
// triangle numbers in a Fenwick tree instead of shifting the lists. Where a
// scratch copy cannot be allocated, sdTriangulate and the triangle table fall
// back to the plain procedures; the border chain and thin-triangle removal let
// std::bad_alloc reach the caller.
#ifndef LUM_SCATTERED_TRIANGULATION_H
#define LUM_SCATTERED_TRIANGULATION_H

namespace lum::scattered {

// Failure statuses of sdTriangulate (a positive status k instead means that
// the point being inserted has exactly the coordinates of point k). The
// drivers report every non-zero status as their code 9.
inline constexpr int kTriTooFewPoints = -1;  // n < 3 (or bad insertion arguments)
inline constexpr int kTriCollinear = -2;     // points 1-3 collinear, or all nodes so far
inline constexpr int kTriSearchFailed = -3;  // point search met contradictory orientation tests
inline constexpr int kTriBrokenLists = -4;   // the lists no longer form a triangulation
inline constexpr int kTriNonFinite = -5;     // a coordinate is NaN or infinite

// Unit roundoff of double arithmetic: starting from 1, halved until 1 plus the
// value is no longer greater than 1 (2^-53 on IEEE doubles).
constexpr double sdUnitRoundoff() {
  double u = 1.0;
  while (1.0 + u > 1.0) u = u / 2.0;
  return u;
}

// Circumcircle tolerance of the swap test: a quadrilateral keeps its diagonal
// unless the opposite angles exceed 180 degrees by more than this, so four
// cocircular points keep the diagonal the insertion order gave them.
inline constexpr double kSwapTolerance = 20.0 * sdUnitRoundoff();

// 0.1f widened: thin border triangles are measured against the
// single-precision ratio 0.10000000149011612, not the double 0.1.
inline constexpr double kThinRatio = static_cast<double>(0.1f);

// Thin-triangle removal stops after this many passes over the border.
inline constexpr int kThinPasses = 5;

// Builds the Delaunay triangulation of points 1..n (coordinates x, y) by
// inserting them in order, each search starting at the previous point.
// Writes adjNode, adjNext (6n cells), adjLast (n) and adjFree.
// status: 0 success; -1 n < 3; -5 a coordinate of any point is NaN or
// infinite (checked before any mesh work); -2 points 1, 2, 3 are collinear
// (whatever the other points are); k > 0 a point duplicates point k exactly
// (insertion stops there); -3 a point search met contradictory orientation
// tests (nearly collinear input); -4 the lists stopped forming a
// triangulation (checked after the last insertion).
void sdTriangulate(const int* n, const double* x, const double* y, int* adjNode, int* adjNext,
                   int* adjLast, int* adjFree, int* status);

// Inserts node k at (xk, yk) into the mesh of nodes 1..nodeCount, searching
// from startNode, and restores the Delaunay property by diagonal swaps around
// k. The lists must have room for 6 * (nodeCount + 1) cells.
// status: 0 inserted; -1 bad arguments (k < 1, startNode outside
// 1..nodeCount, nodeCount < 3, k > nodeCount + 1); -2 all nodes collinear;
// -3 the search gave up; -4 the lists are damaged or out of room; -5 xk or
// yk not finite; j > 0 (xk, yk) equals node j, nothing inserted.
void sdInsertNode(const int* k, const double* xk, const double* yk, const int* startNode,
                  const int* nodeCount, const double* x, const double* y, int* adjNode,
                  int* adjNext, int* adjLast, int* adjFree, int* status);

// Locates P = (px, py) in the mesh, starting at startNode. Results:
//   i1, i2, i3 > 0      P lies in or on triangle (i1, i2, i3), counterclockwise
//   i1, i2 > 0, i3 = 0  P lies outside the hull; it sees the hull nodes from
//                       i2 counterclockwise to i1
//   0, 0, 0             all nodes are collinear
//   -1, -1, -1          the search gave up: its orientation tests contradict
//                       each other (a consistent search never gets here)
// nodeCount (the number of nodes in the mesh) bounds every loop of the search.
void sdFindTriangle(const int* startNode, const double* px, const double* py, const double* x,
                    const double* y, const int* adjNode, const int* adjNext, const int* adjLast,
                    int* i1, int* i2, int* i3, const int* nodeCount);

// Links node k inside triangle (i1, i2, i3) (counterclockwise): k joins the
// three lists and gets its own three-cell list i1, i2, i3. Uses six cells from
// adjFree on.
void sdAddInteriorNode(const int* k, const int* i1, const int* i2, const int* i3, int* adjNode,
                       int* adjNext, int* adjLast, int* adjFree);

// Links node k outside the hull, where it sees the hull nodes from i2
// counterclockwise to i1: k becomes a hull node between i2 and i1 and every
// node strictly between them leaves the hull.
void sdAddBoundaryNode(const int* k, const int* i1, const int* i2, int* adjNode, int* adjNext,
                       int* adjLast, int* adjFree);

// Delaunay swap test for the quadrilateral with diagonal d1-d2 and opposite
// vertices o1, o2: true when the angles at o1 and o2 add up to more than 180
// degrees by more than kSwapTolerance, i.e. when o1-o2 is the better diagonal.
bool sdSwapTest(const int* o1, const int* o2, const int* d1, const int* d2, const double* x,
                const double* y);

// Replaces the diagonal d1-d2 by o1-o2, reusing the two cells it unlinks.
// Returns the cell that now holds o1 in o2's list (0 if a list turned out not
// to lead back to its last cell, which only damaged lists do).
int sdSwapDiagonal(const int* o1, const int* o2, const int* d1, const int* d2, int* adjNode,
                   int* adjNext, int* adjLast);

// Converts the adjacency lists of nodes 1..n into the triangle table (6 ints
// per triangle, room for 2n - 5 triangles). status: 0 success; 1 n < 3;
// 2 inconsistent lists (a list lacks an expected node, or more triangles than
// a triangulation of n nodes can have). triCount is 0 on failure.
void sdBuildTriangleTable(const int* n, const int* adjNode, const int* adjNext, const int* adjLast,
                          int* triCount, int* triTable, int* status);

// Builds the triangle table, copies the vertices into triVertex and chains the
// hull edges counterclockwise into borderSeg (room for n segments). The chain
// starts with the first border segment of the lowest-numbered triangle that
// has one. status: that of sdBuildTriangleTable, or 2 when the border edges do
// not form one chain. On failure triCount and borderCount are 0.
// triVertex and borderSeg may overlay adjNode and adjNext: the lists are read
// only before the first result is written.
void sdExtractBorder(const int* n, int* triCount, int* triVertex, int* borderCount,
                     int* borderSeg, int* status, const int* adjNode, const int* adjNext,
                     const int* adjLast, int* triTable);

// Removes very flat triangles along the border (height over the border
// segment below kThinRatio of its length, in coordinates scaled by the mean
// absolute border-segment extents), in up to kThinPasses passes. Each removal
// replaces segment (i1, i2) by (i1, i3), (i3, i2) through the apex i3. A thin
// triangle whose apex already lies on the border stays: removing it would make
// the chain visit the apex twice and could cut a point off the mesh. The
// chain therefore stays simple and borderCount <= n. borderTri (n ints) is
// scratch.
void sdRemoveThinTriangles(const int* n, const double* x, const double* y, int* triCount,
                           int* triVertex, int* borderCount, int* borderSeg, int* borderTri);

// sdExtractBorder followed, on success, by sdRemoveThinTriangles.
// status: 0 success; 4 n < 3; 5 inconsistent lists.
void sdTriangulateAndList(const int* n, const double* x, const double* y, int* triCount,
                          int* triVertex, int* borderCount, int* borderSeg, int* status,
                          const int* adjNode, const int* adjNext, const int* adjLast,
                          int* triTable, int* borderTri);

// Checks in linear time that the lists of nodes 1..n, with cells 1 to
// adjFree - 1, form a triangulation: every list is a cycle of distinct
// neighbours, negative only in its last cell, every cell belongs to exactly
// one list, every triangle is present in the lists of its three vertices, the
// hull is one cycle, and the counts are 3n - 3 - h edges and 2n - 2 - h
// triangles for h hull nodes. Signs are borrowed as marks and restored.
bool sdCheckTriangulation(const int* n, int* adjNode, int* adjNext, int* adjLast,
                          const int* adjFree);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_TRIANGULATION_H
