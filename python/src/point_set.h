// Scattered (x, y, z) input made acceptable to the library's triangulation:
// finite coordinates, no two points at the same (x, y), at least 10 points,
// and a first three points that are not collinear.
#ifndef LUMUTIL_PYTHON_POINT_SET_H
#define LUMUTIL_PYTHON_POINT_SET_H

#include <cstddef>
#include <string>
#include <vector>

namespace lumpy {

// What to do with points that share exact (x, y) coordinates.
enum class Dedupe {
  Refuse,  // an error naming the repeated points
  Mean,    // one point, z the mean of the group in input order
  First    // one point, z of the group's first occurrence
};

// Fewest distinct points the surface is built from.
inline constexpr std::size_t kMinSurfacePoints = 10;

struct PointSet {
  // The points in the order handed to the library.
  std::vector<double> x, y, z;
  // Input position of each stored point (its first occurrence).
  std::vector<std::size_t> source;
  // For each input position, the stored point that represents it.
  std::vector<std::size_t> owner;
  Dedupe dedupe = Dedupe::Refuse;
};

// Builds the point set from `count` input points. Repeated (x, y) points are
// merged by `dedupe` (exact comparison, as the triangulation compares); when
// the first three points are collinear and `reorder` is true, the first
// point off their line is moved into third place (the points between shift
// back by one). Throws std::invalid_argument with a message naming the input
// positions for non-finite values, repeats (Dedupe::Refuse), fewer than 10
// distinct points, collinear first three points (reorder false) and data on
// one straight line.
PointSet makePointSet(const double* x, const double* y, const double* z, std::size_t count, Dedupe dedupe,
                      bool reorder);

// The z values of the stored points for new input values `z` (input order,
// `count` of them), merged by the set's dedupe rule. Throws
// std::invalid_argument for a wrong count or a non-finite value.
std::vector<double> storedValues(const PointSet& set, const double* z, std::size_t count);

// True when point 3 lies on the line through points 1 and 2 by the
// triangulation's orientation test: left of or on both 1->2 and 2->1.
bool collinearTriple(double x1, double y1, double x2, double y2, double x3, double y3);

}  // namespace lumpy

#endif  // LUMUTIL_PYTHON_POINT_SET_H
