// A scattered-data surface that owns the library's prepared work arrays and
// mesh counts, so that any number of surfaces can live and be evaluated in
// any order.
//
// Evaluation goes through Calculate_ in blocks laid out exactly as one
// library call over the same points would lay them (pieces start at
// multiples of the library's block of 51 points), so the values do not
// depend on how the points are split over threads. Grids are fed to
// Calculate_ with every row starting a new block, which is how the library's
// grid driver feeds its rows; the grid driver itself is not used because it
// keeps the mesh counts of its last preparation in process-wide state.
#ifndef LUMUTIL_PYTHON_SCATTERED_SURFACE_H
#define LUMUTIL_PYTHON_SCATTERED_SURFACE_H

#include <cstddef>
#include <memory>
#include <vector>

#include "point_set.h"
#include "triangle_mesh.h"

namespace lumpy {

enum class Method {
  Smooth,  // the library's C1 quintic surface
  Linear   // piecewise linear on the library's triangles
};

// Values at points outside the mesh.
enum class Fill {
  Extend,  // the library's extension beyond the border (smooth only)
  NaN,     // NaN
  Nearest  // the value at the nearest point of the border
};

// The library's block of output points.
inline constexpr std::size_t kLibraryBlock = 51;

// Triangulation and everything that depends only on (x, y): shared by a
// surface and the surfaces made from it with new values.
struct PreparedMesh {
  PointSet points;
  std::vector<int> iwork;  // 39 columns of pointCount ints, as the preparation left them
  int triCount = 0;
  int borderCount = 0;
  std::unique_ptr<TriangleMesh> mesh;
};

class ScatteredSurface {
 public:
  // Full preparation (triangulation, derivative estimation) of the points.
  // Throws std::invalid_argument when the library refuses the data.
  static std::unique_ptr<ScatteredSurface> prepare(PointSet points, Method method, Fill fill);

  // A surface on the same points with new values (input order, one per input
  // point), re-using the triangulation.
  std::unique_ptr<ScatteredSurface> withValues(const double* z, std::size_t count) const;

  // Values at count points (x[i], y[i]) into out; non-finite points give NaN.
  void evaluate(const double* x, const double* y, std::size_t count, double* out, int workers) const;
  // Values on the grid: out[j * nx + i] at (xg[i], yg[j]).
  void grid(const double* xg, std::size_t nx, const double* yg, std::size_t ny, double* out, int workers) const;

  std::size_t size() const { return z_.size(); }
  const PointSet& points() const { return shared_->points; }
  const std::vector<double>& values() const { return z_; }
  // zx, zy, zxx, zxy, zyy of each point (5 per point).
  const double* partials() const { return work_.data(); }
  const TriangleMesh& mesh() const { return *shared_->mesh; }
  Method method() const { return method_; }
  Fill fill() const { return fill_; }
  double minValue() const { return zMin_; }
  double maxValue() const { return zMax_; }

  ~ScatteredSurface();
  ScatteredSurface(const ScatteredSurface&) = delete;
  ScatteredSurface& operator=(const ScatteredSurface&) = delete;
  // Number of surfaces alive in the process (for leak checks).
  static long liveCount();

 private:
  ScatteredSurface(std::shared_ptr<const PreparedMesh> shared, std::vector<double> z, std::vector<double> work,
                   Method method, Fill fill);

  // The library's smooth values at count points, one Calculate_ call per
  // run of at most a million points.
  void smoothValues(const double* x, const double* y, std::size_t count, double* out) const;
  // Values of points outside the mesh replaced according to fill_ (smooth).
  void applyFill(const double* x, const double* y, std::size_t count, double* out) const;
  void linearValues(const double* x, const double* y, std::size_t count, double* out) const;
  // Values of count points, whichever the method.
  void values(const double* x, const double* y, std::size_t count, double* out) const;

  std::shared_ptr<const PreparedMesh> shared_;
  std::vector<double> z_;
  std::vector<double> work_;  // 17 columns of pointCount doubles
  Method method_;
  Fill fill_;
  double zMin_ = 0.0, zMax_ = 0.0;
};

}  // namespace lumpy

#endif  // LUMUTIL_PYTHON_SCATTERED_SURFACE_H
