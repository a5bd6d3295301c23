// Point location for the scattered-data surface: assigns every output point of
// a block to a triangle of the mesh or to an outside region beside the border.
//
// Region codes (locCode) and what locIndex names:
//
//   1  inside or on triangle locIndex
//   2  in the strip beside border segment locIndex (outside the data area)
//   3  in the wedge beyond the convex (or straight) border vertex that starts
//      segment locIndex
//   4  in the wedge beyond the reflex border vertex that starts segment
//      locIndex; the other segment at that vertex is locIndex - 1 (or
//      borderCount for locIndex = 1)
//   0  no region: the output point has a non-finite coordinate (its value
//      is NaN)
//
//            B                         strip (code 2) beside segment V->B
//           /                                 |
//   data   /   <- border chain runs           v
//   area  V       counterclockwise, data  ..........
//          \      area on its left       wedge (code 3/4) beyond vertex V
//           A
//
// Boundary cases, in the order the tests are applied:
// - a point on a triangle edge or at a vertex is inside (code 1); among
//   several triangles holding it, the previous point's triangle wins, else the
//   lowest-numbered one;
// - a triangle of zero area contains no point;
// - a point on the line between a vertex wedge and a segment strip belongs to
//   the wedge;
// - a point that no test assigns (possible only near a reflex border vertex)
//   gets code 3 at the border vertex nearest to it (ties: the lowest segment
//   number);
// - a point with a NaN or infinite coordinate gets code 0 and index 0.
#ifndef LUM_SCATTERED_POINT_LOCATION_H
#define LUM_SCATTERED_POINT_LOCATION_H

namespace lum::scattered {

// Largest number of output points handled by one call of sdLocatePoints or
// sdEvaluatePoints.
inline constexpr int kBlockSize = 51;

// Locates the `count` output points (xOut[0..count-1], yOut[0..count-1]) of one
// block.
// Reads: xData, yData (pointCount data points), triCount and triVertex (3
//   counterclockwise vertex numbers per triangle, 1-based), borderCount and
//   borderSeg (start and end point of each border segment, chained
//   counterclockwise).
// Writes: locCode[0..count-1] and locIndex[0..count-1] (codes above).
// The previous-triangle shortcut works only inside the block. A count below 1
// does nothing.
void sdLocatePoints(int* pointCount, double* xData, double* yData, int* triCount, int* triVertex,
                    int* borderCount, int* borderSeg, int* count, double* xOut, double* yOut,
                    int* locCode, int* locIndex);

// Inside test of triangle t (1-based) for the point (px, py): true when the
// point lies inside or on the border of the triangle, whose vertices are
// counterclockwise, and the triangle's area is not exactly zero.
bool sdInsideTriangle(const double* xData, const double* yData, const int* triVertex, int t,
                      double px, double py);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_POINT_LOCATION_H
