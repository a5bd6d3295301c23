// Evaluation of the scattered-data surface at located output points.
//
// Inside the mesh the surface is a quintic in the triangle coordinates (u, v)
// of each triangle, fixed by the values and the first and second partial
// derivatives at its three vertices, with the cross-edge derivative kept cubic
// along every edge so that neighbouring triangles join with continuous
// gradients. Outside the mesh it is extended beside each border segment by a
// polynomial built from the segment's two ends (quintic along the segment,
// quadratic across it), beyond a convex border vertex by the vertex's
// second-order Taylor polynomial, and beyond a reflex border vertex by a
// weighted mean of the two segment extensions that meet there.
#ifndef LUM_SCATTERED_EVALUATION_H
#define LUM_SCATTERED_EVALUATION_H

#include <memory>
#include <vector>

namespace lum::scattered {

class TriangleQuintic;  // the 21 coefficients and the affine map of one triangle

// Quintics of recently used triangles, kept across the blocks of one driver
// call: the rows of a grid meet again the triangles of the rows before them.
// Direct-mapped on the triangle number. An entry is built from the same data
// by the same operations as a fresh build, so using it changes no bit.
class QuinticCache {
 public:
  // Room for about `entries` triangles (rounded to a power of two).
  explicit QuinticCache(int entries);
  ~QuinticCache();
  QuinticCache(const QuinticCache&) = delete;
  QuinticCache& operator=(const QuinticCache&) = delete;

  // The quintic of triangle t, built on a miss.
  const TriangleQuintic& get(const double* x, const double* y, const double* z, const double* partials,
                             const int* triVertex, int t);

 private:
  int mask_;
  std::vector<int> key_;
  std::unique_ptr<TriangleQuintic[]> entry_;
};

// Evaluates the surface at the `count` output points (xOut, yOut) of one block
// (at most 51 points) located by sdLocatePoints.
// Reads: xData, yData, zData (pointCount data points); triCount, triVertex;
//   borderCount, borderSeg; partials (zx, zy, zxx, zxy, zyy per data point,
//   5 per point); locCode and locIndex of each output point.
// Writes: zOut[0..count-1]. A point with locCode 0 (non-finite coordinate)
//   gets NaN. A count below 1 does nothing.
// Runs of points in the same triangle, strip or convex wedge build the
// region's coefficients once; reflex wedges (code 4) are rebuilt per point.
void sdEvaluatePoints(int* pointCount, double* xData, double* yData, double* zData, int* triCount,
                      int* triVertex, int* borderCount, int* borderSeg, double* partials, int* count,
                      double* xOut, double* yOut, int* locCode, int* locIndex, double* zOut);

// A cache for a call that evaluates `points` output points on a mesh of
// triCount triangles; none (nullptr) for calls too small to profit.
std::unique_ptr<QuinticCache> makeQuinticCache(int triCount, long long points);

// The same, taking the triangles' quintics from `cache` (made for the same
// data) instead of building them for each run of points.
void sdEvaluatePoints(int* pointCount, double* xData, double* yData, double* zData, int* triCount,
                      int* triVertex, int* borderCount, int* borderSeg, double* partials, int* count,
                      double* xOut, double* yOut, int* locCode, int* locIndex, double* zOut,
                      QuinticCache* cache);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_EVALUATION_H
