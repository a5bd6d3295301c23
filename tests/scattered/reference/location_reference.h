// The straightforward point location of the scattered-data surface, kept
// here as the yardstick for the library's fast version: a scan over all
// triangles in number order for every point that the previous-triangle
// shortcut misses; evaluation without the quintic cache. The fast versions
// must give the same bits.
#ifndef LUM_TESTS_SCATTERED_REFERENCE_LOCATION_REFERENCE_H
#define LUM_TESTS_SCATTERED_REFERENCE_LOCATION_REFERENCE_H

#include "scattered/evaluation.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace lum::scattered::reference {

inline constexpr int kBlockSize = 51;

// ---- Point location ----

namespace location_detail {

inline bool sdInsideTriangle(const double* x, const double* y, const int* triVertex, int t, double px,
                             double py);


// cross(a, b) = ax*by - ay*bx; positive when b lies counterclockwise of a.
inline double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

inline double dot(double ax, double ay, double bx, double by) { return ax * bx + ay * by; }

// First triangle, in number order, whose inside test succeeds; 0 if none.
inline int firstContainingTriangle(const double* x, const double* y, const int* triVertex, int triCount,
                            double px, double py) {
  for (int t = 1; t <= triCount; ++t) {
    if (sdInsideTriangle(x, y, triVertex, t, px, py)) return t;
  }
  return 0;
}

// Vertex wedges: the wedge beyond the vertex V that ends segment l and starts
// segment m. Sets code 3 (convex or straight vertex) or 4 (reflex vertex) and
// the index m; returns false if P lies in no wedge.
inline bool findVertexWedge(const double* x, const double* y, const int* borderSeg, int borderCount, double px,
                     double py, int* code, int* index) {
  for (int l = 1; l <= borderCount; ++l) {
    const int m = (l % borderCount) + 1;
    const int ia = borderSeg[2 * l - 2] - 1;
    const int iv = borderSeg[2 * m - 2] - 1;
    const int ib = borderSeg[2 * m - 1] - 1;
    // Only points right of (or on) the chord from A to B qualify.
    if (!(cross(x[ia] - px, y[ia] - py, x[ib] - px, y[ib] - py) <= 0.0)) continue;
    const double avx = x[ia] - x[iv];
    const double avy = y[ia] - y[iv];
    const double bvx = x[ib] - x[iv];
    const double bvy = y[ib] - y[iv];
    const double pvx = px - x[iv];
    const double pvy = py - y[iv];
    const double c = cross(avx, avy, bvx, bvy);
    const double d1 = dot(pvx, pvy, avx, avy);
    const double d2 = dot(pvx, pvy, bvx, bvy);
    if (c <= 0.0 && d1 <= 0.0 && d2 <= 0.0) {
      *code = 3;
      *index = m;
      return true;
    }
    if (c >= 0.0 && d1 >= 0.0 && d2 >= 0.0) {
      *code = 4;
      *index = m;
      return true;
    }
  }
  return false;
}

// Segment strips: P right of (or on) segment l and between the perpendiculars
// through its ends. Returns the segment number, 0 if none.
inline int findSegmentStrip(const double* x, const double* y, const int* borderSeg, int borderCount, double px,
                     double py) {
  for (int l = 1; l <= borderCount; ++l) {
    const int ia = borderSeg[2 * l - 2] - 1;
    const int ib = borderSeg[2 * l - 1] - 1;
    if (cross(x[ia] - px, y[ia] - py, x[ib] - px, y[ib] - py) <= 0.0 &&
        dot(x[ib] - x[ia], y[ib] - y[ia], px - x[ia], py - y[ia]) >= 0.0 &&
        dot(x[ia] - x[ib], y[ia] - y[ib], px - x[ib], py - y[ib]) >= 0.0) {
      return l;
    }
  }
  return 0;
}

// Fallback for an outside point that no wedge or strip holds (rounding near a
// reflex vertex): the segment starting at the nearest border vertex, the
// lowest segment number on ties; 0 without a border.
inline int nearestBorderVertex(const double* x, const double* y, const int* borderSeg, int borderCount, double px,
                        double py) {
  int best = 0;
  double bestDistSq = 0.0;
  for (int l = 1; l <= borderCount; ++l) {
    const int iv = borderSeg[2 * l - 2] - 1;
    const double dx = px - x[iv];
    const double dy = py - y[iv];
    const double distSq = dx * dx + dy * dy;
    if (best == 0 || distSq < bestDistSq) {
      best = l;
      bestDistSq = distSq;
    }
  }
  return best;
}


inline bool sdInsideTriangle(const double* x, const double* y, const int* triVertex, int t, double px, double py) {
  const int i1 = triVertex[3 * t - 3] - 1;
  const int i2 = triVertex[3 * t - 2] - 1;
  const int i3 = triVertex[3 * t - 1] - 1;
  const double ax = x[i1] - px, ay = y[i1] - py;
  const double bx = x[i2] - px, by = y[i2] - py;
  const double cx = x[i3] - px, cy = y[i3] - py;
  if (!(cross(ax, ay, bx, by) >= 0.0 && cross(bx, by, cx, cy) >= 0.0 && cross(cx, cy, ax, ay) >= 0.0)) {
    return false;
  }
  // A flat triangle (left on the hull when a point was inserted exactly on a
  // hull edge) holds no point: its quintic would divide by the zero
  // determinant. The determinant is formed exactly as the evaluation forms it.
  const double a = x[i2] - x[i1];
  const double b = x[i3] - x[i1];
  const double c = y[i2] - y[i1];
  const double d = y[i3] - y[i1];
  return a * d - b * c != 0.0;
}

inline void sdLocatePoints(int* pointCount, double* xData, double* yData, int* triCount, int* triVertex,
                    int* borderCount, int* borderSeg, int* count, double* xOut, double* yOut,
                    int* locCode, int* locIndex) {
  (void)pointCount;
  const int n = *count;
  const int nTri = *triCount;
  const int nSeg = *borderCount;
  for (int k = 0; k < n; ++k) {
    const double px = xOut[k];
    const double py = yOut[k];
    if (!std::isfinite(px) || !std::isfinite(py)) {
      locCode[k] = 0;
      locIndex[k] = 0;
      continue;
    }
    // 1. The previous point's triangle, inside the block only.
    if (k > 0 && locCode[k - 1] == 1 &&
        sdInsideTriangle(xData, yData, triVertex, locIndex[k - 1], px, py)) {
      locCode[k] = 1;
      locIndex[k] = locIndex[k - 1];
      continue;
    }
    // 2. All triangles in number order.
    const int t = firstContainingTriangle(xData, yData, triVertex, nTri, px, py);
    if (t > 0) {
      locCode[k] = 1;
      locIndex[k] = t;
      continue;
    }
    // 3. Vertex wedges before 4. segment strips.
    int code = 0;
    int index = 0;
    if (findVertexWedge(xData, yData, borderSeg, nSeg, px, py, &code, &index)) {
      locCode[k] = code;
      locIndex[k] = index;
      continue;
    }
    const int l = findSegmentStrip(xData, yData, borderSeg, nSeg, px, py);
    if (l > 0) {
      locCode[k] = 2;
      locIndex[k] = l;
      continue;
    }
    const int v = nearestBorderVertex(xData, yData, borderSeg, nSeg, px, py);
    locCode[k] = v > 0 ? 3 : 0;
    locIndex[k] = v;
  }
}

}  // namespace location_detail
using location_detail::sdInsideTriangle;
using location_detail::sdLocatePoints;

// ---- Evaluation ----

// The library's evaluation without its quintic cache is the straightforward
// one: each run of points in one region builds that region's coefficients.
// Comparing against it checks that the cache hands back the same quintics.
using lum::scattered::sdEvaluatePoints;

// Blocks of 51 output points, located and evaluated as the drivers
// sdbi3p_ and Calculate_ do, on the surface prepared in work and iwork.
inline void interpolateBlocks(int pointCount, double* xData, double* yData, double* zData, double* work,
                              int* iwork, int triCount, int borderCount, int outCount, double* xOut,
                              double* yOut, double* zOut) {
  int* triVertex = iwork;
  int* borderSeg = iwork + static_cast<std::ptrdiff_t>(6) * pointCount;
  int locCode[kBlockSize];
  int locIndex[kBlockSize];
  for (int b = 0; b < outCount; b += kBlockSize) {
    int count = outCount - b < kBlockSize ? outCount - b : kBlockSize;
    sdLocatePoints(&pointCount, xData, yData, &triCount, triVertex, &borderCount, borderSeg, &count, xOut + b,
                   yOut + b, locCode, locIndex);
    sdEvaluatePoints(&pointCount, xData, yData, zData, &triCount, triVertex, &borderCount, borderSeg, work,
                     &count, xOut + b, yOut + b, locCode, locIndex, zOut + b);
  }
}

// The grid of sdsf3p_: row by row (x fastest), blocks of 51 along each row.
inline void gridRows(int pointCount, double* xData, double* yData, double* zData, double* work, int* iwork,
                     int triCount, int borderCount, int xCount, double* xGrid, int yCount, double* yGrid,
                     double* zGrid) {
  int* triVertex = iwork;
  int* borderSeg = iwork + static_cast<std::ptrdiff_t>(6) * pointCount;
  double rowY[kBlockSize];
  int locCode[kBlockSize];
  int locIndex[kBlockSize];
  for (int j = 0; j < yCount; ++j) {
    for (double& y : rowY) y = yGrid[j];
    double* zRow = zGrid + static_cast<std::ptrdiff_t>(j) * xCount;
    for (int b = 0; b < xCount; b += kBlockSize) {
      int count = xCount - b < kBlockSize ? xCount - b : kBlockSize;
      sdLocatePoints(&pointCount, xData, yData, &triCount, triVertex, &borderCount, borderSeg, &count, xGrid + b,
                     rowY, locCode, locIndex);
      sdEvaluatePoints(&pointCount, xData, yData, zData, &triCount, triVertex, &borderCount, borderSeg, work,
                       &count, xGrid + b, rowY, locCode, locIndex, zRow + b);
    }
  }
}

}  // namespace lum::scattered::reference

#endif  // LUM_TESTS_SCATTERED_REFERENCE_LOCATION_REFERENCE_H
