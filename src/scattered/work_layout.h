// Layout of the caller's work arrays for the scattered-data surface.
//
// `work` holds 17 columns of pointCount doubles, `iwork` 39 columns of
// pointCount ints. Column c starts at offset (c - 1) * pointCount. Arrays with
// g values per point are stored point by point from the start of their first
// column: value k (1-based) of point p (1-based) sits at offset g*(p-1) + k - 1.
//
//   work                                   iwork
//   col  1- 5  partials (zx zy zxx zxy zyy)  col  1- 6  adjNode, then triVertex (3 per triangle)
//   col  6-14  cubicCoef (9 per point)       col  7-12  adjNext, then borderSeg (2 per segment)
//   col 15-16  planeCoef (2 per point)       col  9     borderTri, then distOrder
//   col 17     distSq                        col 10-18  nearest (9 per point)
//                                            col 13     adjLast
//                                            col 14-25  triTable (6 per triangle)
//                                            col 19     fitCount
//                                            col 26-31  copy of adjNode
//                                            col 32-37  copy of adjNext
//                                            col 38     copy of adjLast
//                                            col 39     fitDegree
//
// Overlaps are safe because of the order of the stages: the adjacency lists are
// copied to columns 26-38 before triVertex and borderSeg overwrite them, and
// triTable and borderTri are dead before nearest, fitCount and distOrder are
// written.
#ifndef LUM_SCATTERED_WORK_LAYOUT_H
#define LUM_SCATTERED_WORK_LAYOUT_H

#include <cstddef>

namespace lum::scattered {

inline constexpr int kWorkColumns = 17;
inline constexpr int kIworkColumns = 39;

// First column (1-based) of each array.
inline constexpr int kPartialsCol = 1;
inline constexpr int kCubicCoefCol = 6;
inline constexpr int kPlaneCoefCol = 15;
inline constexpr int kDistSqCol = 17;

inline constexpr int kAdjNodeCol = 1;
inline constexpr int kTriVertexCol = 1;
inline constexpr int kAdjNextCol = 7;
inline constexpr int kBorderSegCol = 7;
inline constexpr int kBorderTriCol = 9;
inline constexpr int kDistOrderCol = 9;
inline constexpr int kNearestCol = 10;
inline constexpr int kAdjLastCol = 13;
inline constexpr int kTriTableCol = 14;
inline constexpr int kFitCountCol = 19;
inline constexpr int kAdjNodeCopyCol = 26;
inline constexpr int kAdjNextCopyCol = 32;
inline constexpr int kAdjLastCopyCol = 38;
inline constexpr int kFitDegreeCol = 39;

// Pointer to the first entry of 1-based column `col` of an array of columns
// of `pointCount` entries.
template <typename T>
inline T* column(T* array, int col, int pointCount) {
  return array + static_cast<std::ptrdiff_t>(col - 1) * pointCount;
}

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_WORK_LAYOUT_H
