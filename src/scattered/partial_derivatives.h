// Estimation of the first and second partial derivatives of the scattered-data
// surface at every data point (the derivative stage behind sdpd3p_).
//
// At every data point p a local polynomial of degree up to three is fitted
// through p and its nearest neighbours, in the data's own coordinates:
//
//   P(X, Y) = c0 + c1 X + c2 X^2 + c3 X^3 + c4 Y + c5 XY + c6 X^2 Y
//                + c7 Y^2 + c8 X Y^2 + c9 Y^3
//
// (c0 is solved for but not kept). The derivatives at a point p0 are a
// probability- and volatility-weighted mean of the derivatives that the
// polynomials of several points give at p0.
//
// Per-point arrays, 1-based point numbers, value k of point p at offset
// g*(p-1) + k - 1 of an array with g values per point:
//
//   partials   5 per point  zx, zy, zxx, zxy, zyy
//   cubicCoef  9 per point  c1 .. c9 (slots of a lower-degree fit stay 0)
//   planeCoef  2 per point  gradient (a, b) of the point's least-squares plane
//   nearest    9 per point  the nine nearest other points, nearest first
//   fitCount   1 per point  neighbours used by the fit: 9, 5, 3 or 1
//   fitDegree  1 per point  degree of the fit: 3, 2, 1 or 0 (two-point slope)
//
//   fitDegree  rows of the system                 terms                    limit
//   3          p, nearest 1..9                    1 X X2 X3 Y XY X2Y Y2 XY2 Y3  3.5e8
//   2          p, nearest 1..5                    1 X X2 Y XY Y2           2.1e8
//   1          nearest 1..3 (p itself left out)   1 X Y                    1.05e8
//   0          slope from p to nearest 1          (closed formula)
//
// A system whose pivot falls below 1e-8 or whose condition number exceeds its
// limit falls back to the next lower degree.
//
// sdpd3p_ runs the routines below in this order: sdNearestPoints, then per
// point the local fit, its plane and its sorted candidate set, then the lists
// of namers (sdListNamers), then per point the set selection and the weighted
// mean. It keeps no state between calls. For speed it allocates O(n) scratch
// for one call and releases it before it returns: the k-d tree of the
// neighbour search, and copies of the data in the tree's leaf order, in which
// neighbouring points lie close in memory; the results are the same bits as
// the routines give on the caller's arrays.
//
// Every routine takes its arguments by pointer; stored point numbers count from
// 1.
#ifndef LUM_SCATTERED_PARTIAL_DERIVATIVES_H
#define LUM_SCATTERED_PARTIAL_DERIVATIVES_H

namespace lum::scattered {

// Largest number of candidate sets whose estimates enter one weighted mean.
inline constexpr int kMaxCandidateSets = 25;

// Order of the largest local system (the cubic: ten unknowns).
inline constexpr int kMaxSystemOrder = 10;

// Nearest points. For every point p0 of the pointCount points (at least 10),
// selects its nine nearest other points by squared Euclidean distance.
// Reads: pointCount, xData, yData.
// Writes: nearest (9 per point, ascending distance).
// Work: distSq, distOrder (pointCount entries each); they are left as the
//   selection for the last point leaves them (see below).
// Ties: the selection works on a list of all points in number order in which
//   p0 and point 1 have changed places. Positions 2, 3, ... are filled in turn
//   with the nearest entry of the rest of the list, the first of equal
//   distances in list order winning, and each time the entry that stood there
//   takes the winner's old place. Equal distances therefore come out in the
//   order that this working list gives them, not by point number.
// Every point but the last is served by a k-d tree search that reproduces this
// order exactly; the last point runs the selection over all n distances,
// which leaves distSq and distOrder holding that point's working list (squared
// distances and point numbers) after the selection. Non-finite coordinates
// send every point through the full selection.
// Fewer than 10 points: nothing is written.
void sdNearestPoints(int* pointCount, double* xData, double* yData, int* nearest, double* distSq,
                     int* distOrder);

// Local polynomial fits. For every point: the cubic, quadratic, linear or
// two-point fit of the table above, the first that succeeds.
// Reads: pointCount, xData, yData, zData, nearest.
// Writes: cubicCoef (9 per point), fitCount, fitDegree.
void sdFitLocalPolynomials(int* pointCount, double* xData, double* yData, double* zData, int* nearest,
                           double* cubicCoef, int* fitCount, int* fitDegree);

// Solves A x = b for a matrix of order N (1 to 10) by inverting it: Gaussian
// elimination with column pivoting, applied to an identity at the same time,
// then back substitution.
// Reads: order (N), matrix (N x N, column by column: element (i, j) at offset
//   (j-1)*N + i - 1), rhs (N values).
// Writes: solution (N values); flag = 1.0 on success, 0.0 when a pivot is
//   below 1e-8 in absolute value (single-precision 1e-8 widened, no scaling
//   first); cond = infinity-norm condition number |A| * |A^-1| on success
//   only (not written on failure, where the solution is all zeros).
// Work: perm (N ints), work1 and work2 (N x N doubles each). The elimination
//   runs on row-major copies in work1 and work2; matrix keeps its input.
void sdSolveByInverse(int* order, double* matrix, double* rhs, double* solution, double* flag,
                      double* cond, int* perm, double* work1, double* work2);

// Plane gradients. For every point p with K = fitCount(p) + 1: K = 2 gives
// the two-point slope towards nearest 1; otherwise the least-squares plane
// through p and its K-1 nearest points.
// Reads: pointCount, xData, yData, zData, nearest, fitCount.
// Writes: planeCoef (2 per point).
void sdFitLocalPlanes(int* pointCount, double* xData, double* yData, double* zData, int* nearest,
                      int* fitCount, double* planeCoef);

// Points that name each point among the neighbours their fits used: for every
// point t, the points q (ascending) for which t is among nearest(1 to
// fitCount(q), q), at namers[namerStart[t-1] .. namerStart[t] - 1] (0-based
// offsets into namers). A neighbour named twice by the same q is listed once;
// entries outside 1 to pointCount are ignored.
// Reads: pointCount, nearest, fitCount (each 0 to 9).
// Writes: namerStart (pointCount + 1 entries), namers (up to the sum of
//   fitCount entries).
void sdListNamers(int* pointCount, int* nearest, int* fitCount, int* namerStart, int* namers);

// Candidate set of every point: q together with the fitCount(q) neighbours
// that its fit used, sorted ascending, in sortedSets[10*(q-1) ..
// 10*(q-1) + fitCount(q)] (the rest of the 10 slots is not written).
// Reads: pointCount, nearest, fitCount (each 0 to 9).
// Writes: sortedSets (10 per point).
void sdSortCandidateSets(int* pointCount, int* nearest, int* fitCount, int* sortedSets);

// Candidate sets of point p0. Two sets are equal when they have the same
// size and the same sorted members (sdSortCandidateSets). Goes through p0 and
// the points that name p0 (sdListNamers) in ascending order and accepts the
// set of each unless an equal set is already accepted, stopping at 25 sets.
// When fewer than 3 sets come out, the sets of p0's nine nearest points
// follow (again skipping repeats) until 6 sets are accepted.
// Reads: p0, nearest, fitCount, sortedSets, namerStart, namers.
// Writes: setCount (1 to 25) and generators[0..setCount-1], the point that
//   generated each accepted set, in order of acceptance (capacity 25).
void sdSelectCandidateSets(int* p0, int* nearest, int* fitCount, int* sortedSets, int* namerStart, int* namers,
                           int* setCount, int* generators);

// Weighted mean at point p0 of the derivative estimates that the polynomials
// of the generating points give there. One estimate is copied as it is.
// Otherwise each estimate gets a probability weight exp(-chi^2/2) from its
// deviation from the mean, and a volatility (squared second derivatives times
// the squared distance of its gradient from the generating point's plane
// gradient). Estimates of volatility up to 1e-38 (group B) outrank the others
// (group A, weighted by probability over volatility); if every weight vanished
// the plain mean is taken.
// Reads: p0, xData, yData, cubicCoef, planeCoef, setCount, generators.
// Writes: the five entries of partials for point p0.
void sdWeightEstimates(int* p0, double* xData, double* yData, double* cubicCoef, double* planeCoef,
                       int* setCount, int* generators, double* partials);

// The derivative stage of a full surface preparation: sdpd3p_ followed by
// sdRefineDerivatives (with the adjacency lists of the triangulation), with
// the same results in every array. The weighted mean is formed only for the
// points that keep it (fit of degree 3, or a refinement that failed): the
// others would have it overwritten. Fewer than 10 points: nothing is written.
void sdEstimateAndRefine(int* pointCount, double* xData, double* yData, double* zData, double* partials,
                         double* cubicCoef, double* planeCoef, double* distSq, int* distOrder, int* nearest,
                         int* fitCount, int* fitDegree, int* adjNode, int* adjNext, int* adjLast);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_PARTIAL_DERIVATIVES_H
