// Order of points along a Hilbert curve, so that data kept per point in this
// order puts points that are close in the plane close in memory.
#ifndef LUM_SCATTERED_SPATIAL_ORDER_H
#define LUM_SCATTERED_SPATIAL_ORDER_H

#include <vector>

namespace lum::scattered {

// Point numbers 1..n (of the finite coordinates x, y, 0-based arrays) in the
// order of their positions on a Hilbert curve through a 2^16 x 2^16 grid over
// the points' bounding box; ties keep ascending point number.
std::vector<int> sdHilbertOrder(int n, const double* x, const double* y);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_SPATIAL_ORDER_H
