// Coordinate geometry, grid interpolation and encoder calibration over numpy
// arrays, vectorised over rows of 3-vectors and broadcast like numpy.
#include <VORN_LumUtility.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common.h"

namespace lumpy {

namespace {

// Checks that an array ends in an axis of 3 and returns the shape before it.
std::vector<py::ssize_t> rowShape(const Doubles& v, const char* name) {
  if (v.ndim() < 1 || v.shape(v.ndim() - 1) != 3)
    throw py::value_error(std::string(name) + " must have a last axis of length 3, got shape " +
                          py::str(v.attr("shape")).cast<std::string>());
  std::vector<py::ssize_t> shape = shapeOf(v);
  shape.pop_back();
  return shape;
}

// Adds a trailing axis of length 1 so that a per-row value broadcasts
// against arrays of 3-vectors.
py::object perRow(const py::object& value, const char* name) {
  Doubles a = toDoubles(value, name);
  return a[py::make_tuple(py::ellipsis(), py::none())];
}

py::array_t<double> toSphericalOf(const py::object& xyzObj, const py::object& refH, const py::object& refV) {
  if (refH.is_none() && !refV.is_none()) throw py::value_error("ref_v needs ref_h");
  Doubles xyz = toDoubles(xyzObj, "xyz");
  rowShape(xyz, "xyz");
  std::vector<py::object> args{xyz};
  std::vector<const char*> names{"xyz"};
  if (!refH.is_none()) {
    args.push_back(perRow(refH, "ref_h"));
    names.push_back("ref_h");
  }
  if (!refV.is_none()) {
    args.push_back(perRow(refV, "ref_v"));
    names.push_back("ref_v");
  }
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b = broadcastDoubles(args, names, shape);
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  const double* src = b[0].data();
  const py::ssize_t count = b[0].size();
  for (py::ssize_t i = 0; i < count; i += 3) {
    double v[3] = {src[i], src[i + 1], src[i + 2]};
    if (refV.is_none() && refH.is_none()) {
      ConvertCartesianToSphericalCoordinates(v);
    } else if (refV.is_none()) {
      ConvertCartesianToSphericalCoordinates(v, static_cast<float>(b[1].data()[i]), true);
    } else {
      ConvertCartesianToSphericalCoordinates(v, static_cast<float>(b[1].data()[i]),
                                             static_cast<float>(b[2].data()[i]));
    }
    dst[i] = v[0];
    dst[i + 1] = v[1];
    dst[i + 2] = v[2];
  }
  return out;
}

py::array_t<double> crossOf(const py::object& aObj, const py::object& bObj) {
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b = broadcastDoubles({aObj, bObj}, {"a", "b"}, shape);
  rowShape(b[0], "a");
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < b[0].size(); i += 3) {
    double u[3] = {b[0].data()[i], b[0].data()[i + 1], b[0].data()[i + 2]};
    double v[3] = {b[1].data()[i], b[1].data()[i + 1], b[1].data()[i + 2]};
    CrossMultiply(u, v, dst + i);
  }
  return out;
}

py::array_t<double> rotationOf(const py::object& angleObj, int (*build)(double*, double)) {
  Doubles angle = toDoubles(angleObj, "angle");
  std::vector<py::ssize_t> shape = shapeOf(angle);
  shape.push_back(3);
  shape.push_back(3);
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < angle.size(); ++i) build(dst + 9 * i, angle.data()[i]);
  return out;
}

py::array_t<double> rotateOf(const py::object& vObj, const py::object& axisObj, const py::object& angleObj) {
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b =
      broadcastDoubles({vObj, axisObj, perRow(angleObj, "angle")}, {"v", "axis", "angle"}, shape);
  rowShape(b[0], "v");
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < b[0].size(); i += 3) {
    double axis[3] = {b[1].data()[i], b[1].data()[i + 1], b[1].data()[i + 2]};
    if (axis[0] == 0.0 && axis[1] == 0.0 && axis[2] == 0.0)
      throw py::value_error("the rotation axis is the zero vector (row " + std::to_string(i / 3) + ")");
    double in[3] = {b[0].data()[i], b[0].data()[i + 1], b[0].data()[i + 2]};
    mlaRotateAroundAxis(axis, b[2].data()[i], in, dst + i);
  }
  return out;
}

std::vector<double> threeVector(const py::object& value, const char* name) {
  Doubles v = toDoubles(value, name);
  if (v.ndim() != 1 || v.size() != 3) throw py::value_error(std::string(name) + " must be a 3-vector");
  return std::vector<double>(v.data(), v.data() + 3);
}

py::array_t<double> vectorAtAnglesOf(const py::object& refObj, const py::object& bObj, const py::object& cObj,
                                     double angleB, double angleC) {
  std::vector<double> ref = threeVector(refObj, "ref");
  std::vector<double> b = threeVector(bObj, "b");
  std::vector<double> c = threeVector(cObj, "c");
  std::vector<double> out(3, 0.0);
  if (solveVectorsRelAng(ref.data(), b.data(), c.data(), angleB, angleC, out.data()) != 0)
    throw py::value_error("no unit vector lies at these angles from b and c (or b and c have parallel "
                          "projections on the x-y plane)");
  return vectorToArray(out);
}

py::object trilinearOf(const py::object& x, const py::object& y, const py::object& z) {
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b = broadcastDoubles({x, y, z}, {"x", "y", "z"}, shape);
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < b[0].size(); ++i)
    dst[i] = getTrilinearInterpolation(b[0].data()[i], b[1].data()[i], b[2].data()[i]);
  return scalarIfZeroDim(out);
}

py::object trilinearBlendOf(const py::object& valuesObj, const py::object& tx, const py::object& ty,
                            const py::object& tz) {
  Doubles values = toDoubles(valuesObj, "values");
  if (values.size() != 8 || values.ndim() != 1)
    throw py::value_error("values must hold the 8 corner values of a cell");
  std::vector<double> corners(values.data(), values.data() + 8);
  int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b = broadcastDoubles({tx, ty, tz}, {"tx", "ty", "tz"}, shape);
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < b[0].size(); ++i)
    dst[i] = getTrilinearInterpolationNew(corners.data(), order, b[0].data()[i], b[1].data()[i], b[2].data()[i]);
  return scalarIfZeroDim(out);
}

py::object linearInterpolationOf(const py::object& x, const py::object& x0, const py::object& y0,
                                 const py::object& x1, const py::object& y1) {
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b = broadcastDoubles({x, x0, y0, x1, y1}, {"x", "x0", "y0", "x1", "y1"}, shape);
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < b[0].size(); ++i)
    dst[i] = linearInterpolation(b[0].data()[i], b[1].data()[i], b[2].data()[i], b[3].data()[i], b[4].data()[i]);
  return scalarIfZeroDim(out);
}

py::tuple bracketOf(const py::object& valuesObj, const py::object& gridObj) {
  Doubles values = toDoubles(valuesObj, "values");
  Doubles grid = toSeries(gridObj, "grid");
  const int count = toCount(grid.size(), "grid");
  if (count < 2) throw py::value_error("grid must hold at least 2 nodes");
  std::vector<double> nodes(grid.data(), grid.data() + grid.size());
  py::array_t<double> lower(shapeOf(values));
  py::array_t<double> upper(shapeOf(values));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (py::ssize_t i = 0; i < values.size(); ++i) {
    double lo = nan, hi = nan;
    getNeighbours(values.data()[i], count, nodes.data(), lo, hi);
    lower.mutable_data()[i] = lo;
    upper.mutable_data()[i] = hi;
  }
  return py::make_tuple(scalarIfZeroDim(lower), scalarIfZeroDim(upper));
}

py::object encoderCalibrationOf(const py::object& readingObj, const py::object& tableObj) {
  Doubles reading = toDoubles(readingObj, "reading");
  Doubles table = toDoubles(tableObj, "table");
  if (table.ndim() != 2 || table.shape(1) != 2)
    throw py::value_error("table must be an (m, 2) array of (position, error) pairs");
  std::vector<float> pairs(static_cast<std::size_t>(table.size()));
  for (py::ssize_t i = 0; i < table.size(); ++i) pairs[static_cast<std::size_t>(i)] = static_cast<float>(table.data()[i]);
  const unsigned int count = static_cast<unsigned int>(toCount(table.shape(0), "table"));
  py::array_t<float> out(shapeOf(reading));
  float* dst = out.mutable_data();
  for (py::ssize_t i = 0; i < reading.size(); ++i)
    dst[i] = encoderCalibration(reading.data()[i], count, count ? pairs.data() : nullptr);
  return scalarIfZeroDim(out);
}

}  // namespace

void bindGeometry(py::module_& m) {
  m.def("to_spherical", &toSphericalOf, py::arg("xyz"), py::arg("ref_h") = py::none(), py::arg("ref_v") = py::none(),
        R"(Cartesian (x, y, z) rows (last axis 3) to (H, V, R): H the horizontal angle in
degrees from +y, positive toward -x; V the elevation in degrees; R the range.
Results carry single-precision rounding.

ref_h alone: H is moved by 180 or 360 toward ref_h when it differs by more than
1 degree. ref_h and ref_v: the pair (H, V), or the one through the zenith, is
chosen nearest to the reference angles. References are scalars or per-row
arrays, rounded to float32.)");
  m.def("cross", &crossOf, py::arg("a"), py::arg("b"), R"(Cross product a x b of 3-vectors (last axis 3), broadcast.)");
  m.def(
      "rotation_x", [](const py::object& a) { return rotationOf(a, &rotation_x); }, py::arg("angle"),
      R"(Rotation matrix about the x axis by angle (radians); shape angle.shape + (3, 3).)");
  m.def(
      "rotation_y", [](const py::object& a) { return rotationOf(a, &rotation_y); }, py::arg("angle"),
      R"(Rotation matrix about the y axis by angle (radians); shape angle.shape + (3, 3).)");
  m.def(
      "rotation_z", [](const py::object& a) { return rotationOf(a, &rotation_z); }, py::arg("angle"),
      R"(Rotation matrix about the z axis by angle (radians); shape angle.shape + (3, 3).)");
  m.def("rotate", &rotateOf, py::arg("v"), py::arg("axis"), py::arg("angle"),
        R"(Rotates 3-vectors v about axis by angle in DEGREES (right-hand rule), broadcast
over rows; the axis need not be unit length but must not be zero.)");
  m.def("vector_at_angles", &vectorAtAnglesOf, py::arg("ref"), py::arg("b"), py::arg("c"), py::arg("angle_b"),
        py::arg("angle_c"),
        R"(Unit vector at angle_b degrees from b and angle_c degrees from c (b, c unit
vectors), the one of the two solutions nearer to ref. ValueError when none exists.)");
  m.def("trilinear", &trilinearOf, py::arg("x"), py::arg("y"), py::arg("z"),
        R"(Trilinear interpolation in the library's built-in 3 x 3 x 2 table (box
[-15, 15] x [-10, 10] x [-5, 5], faces inside); 0.0 outside. Broadcast.)");
  m.def("trilinear_blend", &trilinearBlendOf, py::arg("values"), py::arg("tx"), py::arg("ty"), py::arg("tz"),
        R"(Trilinear blend of 8 corner values, ordered (i, j, k) = (0,0,0), (1,0,0), (0,1,0),
(1,1,0), (0,0,1), (1,0,1), (0,1,1), (1,1,1), at the fractions tx, ty, tz (broadcast).)");
  m.def("linear_interpolation", &linearInterpolationOf, py::arg("x"), py::arg("x0"), py::arg("y0"), py::arg("x1"),
        py::arg("y1"), R"(Ordinate at x of the line through (x0, y0) and (x1, y1), broadcast.)");
  m.def("bracket", &bracketOf, py::arg("values"), py::arg("grid"),
        R"(Bracketing nodes (lower, upper) of each value in an ascending grid: the cell whose
upper node is the first node not below the value; values at or below the first
node get the first cell; values above the last node get NaN.)");
  m.def("encoder_calibration", &encoderCalibrationOf, py::arg("reading"), py::arg("table"),
        R"(Corrected encoder angles (float32): reading minus the error interpolated in the
(m, 2) table of (position, error in arc-seconds) pairs, positions ascending;
no correction outside the table.)");
}

}  // namespace lumpy
