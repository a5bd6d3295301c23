// Scattered (x, y, z) data for the surface commands: input hygiene, the
// library's prepared surface, its triangles, and piecewise linear evaluation
// on them.
#ifndef LUMUTIL_SCATTERED_H
#define LUMUTIL_SCATTERED_H

#include <cstddef>
#include <string>
#include <vector>

#include "commands.h"

namespace lumutil {

// Points in the order handed to the library.
struct ScatteredSet {
  std::string source;
  std::vector<double> x, y, z;
  std::vector<long> line;          // source line of each point (its first occurrence)
  std::vector<std::size_t> rank;   // position of each point in input order, after merging
};

// Reads the x, y, z columns and makes the set acceptable to the library:
// exact duplicate (x, y) points are an error unless --dedupe merges them, at
// least 10 distinct points are required, and when the first three points are
// collinear (which the triangulation refuses) the first point that is not on
// their line is moved into third place. Each step that changes the data says
// so on standard error.
ScatteredSet loadScattered(const ScatteredOptions& options);

// True when point 3 lies on the line through points 1 and 2 by the
// triangulation's own orientation test (left of or on both 1->2 and 2->1).
bool collinearTriple(double x1, double y1, double x2, double y2, double x3, double y3);

// The library's triangle mesh, with point numbers from 0.
struct Mesh {
  std::vector<int> triangles;  // 3 per triangle, counterclockwise
  std::vector<int> border;     // 2 per segment (start, end), one closed counterclockwise chain
};

// The library's C1 surface, prepared once by sdbi3p_ and evaluated by
// Calculate_ on the caller-held work arrays.
class Surface {
 public:
  explicit Surface(const ScatteredSet& data);
  // Values at `count` points; blocks start afresh at every call, exactly as a
  // single library call over the same points would place them when `count`
  // is the row length or a multiple of 51.
  void evaluate(const double* x, const double* y, int count, double* z);
  // Values at the grid nodes (xs[i], ys[j]) of `rows` rows of nx nodes, x
  // fastest, in one library call. Each row is padded to a whole number of
  // 51-point blocks, so every row starts a block exactly as the library's own
  // grid driver starts it, and the values equal that driver's bit for bit.
  void evaluateRows(const double* xs, int nx, const double* ys, int rows, double* z);
  const Mesh& mesh() const { return mesh_; }
  // zx, zy, zxx, zxy, zyy of point p at 5 * p.
  const double* partials() const { return work_.data(); }
  // Degree (0 to 3) of point p's local polynomial fit.
  int fitDegree(std::size_t p) const;

 private:
  int pointCount_;
  std::vector<double> x_, y_, z_;
  std::vector<double> work_;
  std::vector<int> iwork_;
  int borderCount_ = 0, triCount_ = 0;
  Mesh mesh_;
};

// Finds the triangle of the mesh that contains a point through a uniform grid
// of bins over the triangles' bounding boxes.
class TriangleLocator {
 public:
  TriangleLocator(const std::vector<double>& x, const std::vector<double>& y, const Mesh& mesh);
  // The lowest-numbered triangle that contains (px, py), edges and vertices
  // included, triangles of zero area never; -1 when none does.
  int locate(double px, double py) const;
  // Linear interpolation of z on triangle t: the barycentric blend, exact at
  // the vertices and kept within the vertex values.
  double linear(int t, double px, double py, const std::vector<double>& z) const;

 private:
  bool contains(int t, double px, double py) const;
  int binX(double px) const;
  int binY(double py) const;
  const std::vector<double>& x_;
  const std::vector<double>& y_;
  const Mesh& mesh_;
  double x0_ = 0, x1_ = 0, y0_ = 0, y1_ = 0, sx_ = 0, sy_ = 0;
  int nbx_ = 1, nby_ = 1;
  std::vector<int> start_;  // bin b's triangles are entries_[start_[b] .. start_[b + 1])
  std::vector<int> entries_;
};

// Counts values of a smooth surface that leave the band
// [min z - r/4, max z + r/4] (r = max z - min z), inside and outside the mesh.
class OvershootCounter {
 public:
  OvershootCounter(double zMin, double zMax);
  void add(double value, bool inside, double x, double y);
  bool any() const { return countInside_ + countOutside_ > 0; }
  // One line for standard error, or "" when nothing overshot.
  std::string report(const std::string& what) const;

 private:
  double zMin_, zMax_, low_, high_;
  long long countInside_ = 0, countOutside_ = 0, totalInside_ = 0, totalOutside_ = 0;
  double worstExcursion_ = 0, worstValue_ = 0, worstX_ = 0, worstY_ = 0;
};

}  // namespace lumutil

#endif  // LUMUTIL_SCATTERED_H
