// Least-squares cubic refinement of the derivatives at one data point.
//
// Around point k a cubic without constant term, passing through z(k), is fitted
// by weighted least squares to 9 to 29 of k's nearest neighbours. The
// neighbours are collected in order of distance by walking the adjacency lists
// of the Delaunay triangulation; each equation is rotated into a 9 x 9 upper
// triangular factor (with its right-hand side as a tenth column) by Givens
// rotations as it arrives, so the normal equations are never formed.
//
// Adjacency lists (copies of the triangulation's, 1-based cells and nodes):
//
//   adjLast[k-1]   cell of node k's last neighbour
//   adjNext[c-1]   next cell of the same node's circular list
//   adjNode[c-1]   neighbour held by cell c; negative for the last neighbour
//                  of a hull node (only the absolute value is used here)
//
//   node k:  adjLast(k) -> [ -n3 ] -> [ n1 ] -> [ n2 ] -> back to [ -n3 ]
//                           last       first
//
// sdNextNearestNode marks the nodes already collected by negating their
// adjLast entries and restores them before it returns: the lists are unchanged
// between calls. sdCubicNodalDerivatives collects the same nodes in the same
// order without repeating the walks: each list is walked once, and the nodes
// met are kept, marked the same way, until they are collected (restored
// before it returns). sdRefineDerivatives does the same on a packed copy of
// the lists.
//
// Every routine takes its arguments by pointer. sdCubicNodalDerivatives uses
// fixed-size scratch on the stack; sdRefineDerivatives allocates O(n) scratch
// for one call and releases it before it returns.
#ifndef LUM_SCATTERED_CUBIC_REFINEMENT_H
#define LUM_SCATTERED_CUBIC_REFINEMENT_H

namespace lum::scattered {

// Derivatives at data point k from a weighted least-squares cubic through its
// nearest neighbours.
// Reads: k (1 to n), n (point count, at least 10), xData, yData, zData, and
//   the adjacency lists adjNode, adjNext, adjLast (marked temporarily,
//   restored before return).
// Writes on success: zx, zy, zxx, zxy, zyy, and status = the number of nodes
//   used (point k included, 10 to 30).
// Failure: status -1 for k outside 1 to n, n below 10 or lists that do not
//   reach enough neighbours; -2 when the quadratic part stays ill-conditioned
//   after the third-order coefficients are damped. The five outputs are then
//   not written.
void sdCubicNodalDerivatives(int* k, int* n, double* xData, double* yData, double* zData, int* adjNode,
                             int* adjNext, int* adjLast, double* zx, double* zy, double* zxx, double* zxy,
                             double* zyy, int* status);

// Refines every point whose local fit stayed below degree three: for each
// point i (1 to pointCount) with fitDegree(i) < 3, the result of
// sdCubicNodalDerivatives for i replaces the five partials of i when its
// status is 0 or more; other points keep theirs.
// Reads: pointCount, xData, yData, zData, the adjacency lists (as
//   sdTriangulate leaves them, in at most 6 * pointCount cells; left
//   unchanged), fitDegree.
// Writes: partials (5 per point: zx, zy, zxx, zxy, zyy) of the refined points;
//   when refined is not null, refined[i-1] = 1 for each point i whose partials
//   were replaced and 0 for every other point.
// The lists are packed once, the nodes renumbered and the points refined in
// an order that keeps neighbouring points together (numbering changes
// nothing: ties go by the order of the walks, equations by coordinates);
// each point's result is the one that sdCubicNodalDerivatives gives. Lists
// of another shape, too few points, or coordinates that are not all finite:
// point by point with sdCubicNodalDerivatives.
void sdRefineDerivatives(int* pointCount, double* xData, double* yData, double* zData, int* adjNode,
                         int* adjNext, int* adjLast, int* fitDegree, double* partials, int* refined);

// Collects the next nearest node to the centre nodeList[0].
// Reads: L (the entry to fill, 2 to n), n, xData, yData, the adjacency lists,
//   nodeList[0..L-2] (the nodes collected so far, the centre first).
// Writes on success: nodeList[L-1] = the unlisted node nearest to the centre
//   among the neighbours of the listed nodes (the first of equal distances in
//   list-walk order), distList[L-1] = its Euclidean distance, status 0.
// Failure: status -1 when L-1 < 1, L-1 >= n or n < 3 (and when no listed node
//   has an unlisted neighbour); status i when nodeList entry i (1-based) is not
//   a node number from 1 to n. Nothing is written to the lists then.
// The adjLast entries of the listed nodes are negated during the walk and
// restored before return.
void sdNextNearestNode(int* L, int* n, double* xData, double* yData, int* adjNode, int* adjNext, int* adjLast,
                       int* nodeList, double* distList, int* status);

// Givens rotation that zeroes b against a: writes c and s, replaces a by
// r = +-sqrt(a^2 + b^2) (the sign of the larger of a and b in magnitude) and
// b by a value from which c and s can be rebuilt. For a = b = 0: c = 1, s = 0,
// a and b unchanged.
void sdGivens(double* a, double* b, double* c, double* s);

// Copies n ints from source to target (nothing for n below 1).
void sdCopyInts(int* n, int* source, int* target);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_CUBIC_REFINEMENT_H
