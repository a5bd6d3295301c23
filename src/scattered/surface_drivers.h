// Stages shared by the surface drivers sdbi3p_, Calculate_ and sdsf3p_.
//
// A full preparation runs, in this order:
//   1. sdTriangulateData: Delaunay triangulation into the adjacency lists
//      (iwork columns 1, 7, 13) and their copies (columns 26, 32, 38), which
//      the derivative refinement walks after the lists themselves have been
//      overwritten by the triangles and the border chain;
//   2. the mesh conversion into triVertex (iwork column 1) and borderSeg
//      (column 7), which each driver calls itself;
//   3. sdEstimateDerivatives: partials (work column 1) at every data point,
//      refined for every point whose local fit stayed below degree three.
// The surface is then evaluated block by block (sdInterpolateBlocks, or the
// grid rows of sdsf3p_). Everything the later calls need lives in the
// caller's work arrays and the two mesh counts.
#ifndef LUM_SCATTERED_SURFACE_DRIVERS_H
#define LUM_SCATTERED_SURFACE_DRIVERS_H

namespace lum::scattered {

// Triangulates the pointCount data points and copies the adjacency lists
// aside.
// Reads: pointCount, xData, yData.
// Writes: iwork columns 1, 7, 13 (adjacency lists) and 26, 32, 38 (their
//   copies); ok = 1 on success, 0 when a coordinate is NaN or infinite or
//   the triangulation fails (collinear first three points, a repeated point,
//   inconsistent rounding); the copies are made only on success.
void sdTriangulateData(int* pointCount, double* xData, double* yData, int* iwork, int* ok);

// Estimates the partial derivatives of the surface at every data point.
// Reads: pointCount, xData, yData, zData; iwork columns 26, 32, 38 (the
//   adjacency-list copies).
// Writes: work columns 1 to 17 (partials in columns 1-5 are the result) and
//   iwork columns 9 to 19 and 39. Points whose local fit has degree below 3
//   get the derivatives of a weighted least-squares cubic through their
//   nearest neighbours when that fit succeeds.
void sdEstimateDerivatives(int* pointCount, double* xData, double* yData, double* zData, double* work,
                           int* iwork);

// Locates and evaluates outCount output points in blocks of 51 on the
// surface prepared in work and iwork with triCount triangles and borderCount
// border segments.
// Reads: pointCount, xData, yData, zData, work column 1, iwork columns 1
//   (triVertex) and 7 (borderSeg), triCount, borderCount, outCount, xOut,
//   yOut.
// Writes: zOut[0..outCount-1].
void sdInterpolateBlocks(int* pointCount, double* xData, double* yData, double* zData, double* work,
                         int* iwork, int* triCount, int* borderCount, int* outCount, double* xOut,
                         double* yOut, double* zOut);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_SURFACE_DRIVERS_H
