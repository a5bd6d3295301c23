// Bracketing nodes on an ascending grid axis, straight-line interpolation,
// trilinear blending of a cell's eight corner values, and the built-in
// trilinear table.
#include <VORN_LumUtility.h>

#include "gridinterp/trilinear_table.h"

// The scan stops at the first node not below the value (a NaN value stops at
// node 0). Values at or below the first node take the first cell; a value on an
// interior node takes the cell below it; a value above the last node, an empty
// grid, and a single-node grid (which has no cell) leave lower and upper as
// they were.
void getNeighbours(double value, int count, double* grid, double& lower, double& upper) {
  if (count < 1) return;
  int i = 0;
  while (i < count && value > grid[i]) ++i;
  if (i == count) return;
  if (i >= 1) {
    upper = grid[i];
    lower = grid[i - 1];
  } else {
    if (count < 2) return;
    upper = grid[1];
    lower = grid[0];
  }
}

// x1 == x0 gives a non-finite value.
double linearInterpolation(double x, double x0, double y0, double x1, double y1) {
  return ((x - x0) * (y1 - y0)) / (x1 - x0) + y0;
}

// Corner p has offsets (p & 1, (p >> 1) & 1, (p >> 2) & 1) along the three
// axes; its value is values[corners[p]]. Fractions outside [0, 1] extrapolate.
double getTrilinearInterpolationNew(double* values, int* corners, double tx, double ty, double tz) {
  const double v0 = values[corners[0]];
  const double v1 = values[corners[1]];
  const double v2 = values[corners[2]];
  const double v3 = values[corners[3]];
  const double v4 = values[corners[4]];
  const double v5 = values[corners[5]];
  const double v6 = values[corners[6]];
  const double v7 = values[corners[7]];
  const double sx = 1.0 - tx;
  const double sy = 1.0 - ty;
  const double sz = 1.0 - tz;
  return ((sx * v4 + tx * v5) * sy + (sx * v6 + tx * v7) * ty) * tz +
         ((sx * v2 + tx * v3) * ty + (tx * v1 + sx * v0) * sy) * sz;
}

// Interpolates the node values of the built-in 3 x 3 x 2 table (see
// trilinear_table.h) in the cell holding (x, y, z); 0.0 outside the box, whose
// faces count as inside. The cell's lower x node is -15 for x < 0 and 0
// otherwise, its lower y node -10 for y < 0 and 0 otherwise; z has one cell.
double getTrilinearInterpolation(double x, double y, double z) {
  if (x < -15.0 || x > 15.0 || y < -10.0 || y > 10.0 || z < -5.0 || z > 5.0) return 0.0;
  namespace table = lum::trilinear_table;

  static constexpr double kValues[table::kNodeCount] = {
      table::nodeValue(0),  table::nodeValue(1),  table::nodeValue(2),  table::nodeValue(3),
      table::nodeValue(4),  table::nodeValue(5),  table::nodeValue(6),  table::nodeValue(7),
      table::nodeValue(8),  table::nodeValue(9),  table::nodeValue(10), table::nodeValue(11),
      table::nodeValue(12), table::nodeValue(13), table::nodeValue(14), table::nodeValue(15),
      table::nodeValue(16), table::nodeValue(17)};

  const int ix = x < 0.0 ? 0 : 1;
  const int iy = y < 0.0 ? 0 : 1;
  const double tx = (x - table::kNodeX[ix]) / (table::kNodeX[ix + 1] - table::kNodeX[ix]);
  const double ty = (y - table::kNodeY[iy]) / (table::kNodeY[iy + 1] - table::kNodeY[iy]);
  const double tz = (z - table::kNodeZ[0]) / (table::kNodeZ[1] - table::kNodeZ[0]);

  int corners[8];
  for (int p = 0; p < 8; ++p) {
    corners[p] = (ix + (p & 1)) + 3 * (iy + ((p >> 1) & 1)) + 9 * ((p >> 2) & 1);
  }
  // values is read only; the blend takes a non-const pointer by its signature.
  return getTrilinearInterpolationNew(const_cast<double*>(kValues), corners, tx, ty, tz);
}
