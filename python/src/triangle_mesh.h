// The library's triangle mesh seen from the module: which triangle holds a
// point, the piecewise linear interpolant on the triangles, and the nearest
// point of the border chain.
//
// Triangles come from the prepared work arrays (three counterclockwise vertex
// numbers each) and the border chain from its segments (start, end), chained
// counterclockwise with the data area on the left. Here both are 0-based.
#ifndef LUMUTIL_PYTHON_TRIANGLE_MESH_H
#define LUMUTIL_PYTHON_TRIANGLE_MESH_H

#include <cstddef>
#include <vector>

namespace lumpy {

class TriangleMesh {
 public:
  // triVertex and borderSeg are the library's 1-based arrays.
  TriangleMesh(const double* x, const double* y, const int* triVertex, int triCount, const int* borderSeg,
               int borderCount);

  // The lowest-numbered triangle that holds (px, py), edges and vertices
  // included, by the same inside test as the library's point location
  // (triangles of zero area hold nothing); -1 when none does.
  int locate(double px, double py) const;

  // Linear interpolation of z on triangle t: exact at the vertices and kept
  // within the vertex values.
  double linear(int t, double px, double py, const double* z) const;

  // The border point nearest to (px, py): segment s and the fraction u in
  // [0, 1] along it (ties: the lowest segment number).
  void nearestOnBorder(double px, double py, int& s, double& u) const;
  // Coordinates and linear value of that border point.
  void borderPoint(int s, double u, double& bx, double& by) const;
  double borderValue(int s, double u, const double* z) const;

  const std::vector<int>& triangles() const { return triangles_; }  // 3 per triangle
  const std::vector<int>& border() const { return border_; }        // 2 per segment

 private:
  bool holds(int t, double px, double py) const;
  bool binOf(double px, double py, std::size_t& bin) const;

  const double* x_;
  const double* y_;
  std::vector<int> triangles_;
  std::vector<int> border_;
  // Uniform bins over the data's bounding box; bin b lists, ascending, the
  // triangles whose (slightly widened) bounding box meets it:
  // entries_[start_[b] .. start_[b + 1]).
  double x0_ = 0.0, y0_ = 0.0, binWidth_ = 1.0, binHeight_ = 1.0;
  double xMax_ = 0.0, yMax_ = 0.0;
  std::size_t columns_ = 1, rows_ = 1;
  std::vector<std::size_t> start_;
  std::vector<int> entries_;
};

}  // namespace lumpy

#endif  // LUMUTIL_PYTHON_TRIANGLE_MESH_H
