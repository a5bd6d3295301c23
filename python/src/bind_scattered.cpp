// ScatteredSurface: the library's scattered-data surface as a Python object.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common.h"
#include "parallel.h"
#include "scattered_surface.h"

namespace lumpy {

namespace {

Method parseMethod(const std::string& method) {
  if (method == "smooth") return Method::Smooth;
  if (method == "linear") return Method::Linear;
  throw py::value_error("method must be 'smooth' or 'linear', got '" + method + "'");
}

Fill parseFill(const py::object& fill, Method method) {
  if (fill.is_none()) return method == Method::Smooth ? Fill::Extend : Fill::NaN;
  const std::string name = fill.cast<std::string>();
  if (name == "nan") return Fill::NaN;
  if (name == "nearest") return Fill::Nearest;
  if (name == "extend") {
    if (method == Method::Linear) throw py::value_error("fill='extend' needs method='smooth'");
    return Fill::Extend;
  }
  throw py::value_error("fill must be 'extend', 'nan' or 'nearest', got '" + name + "'");
}

Dedupe parseDedupe(const py::object& dedupe) {
  if (dedupe.is_none()) return Dedupe::Refuse;
  const std::string name = dedupe.cast<std::string>();
  if (name == "mean") return Dedupe::Mean;
  if (name == "first") return Dedupe::First;
  throw py::value_error("dedupe must be None, 'mean' or 'first', got '" + name + "'");
}

const char* methodName(Method m) { return m == Method::Smooth ? "smooth" : "linear"; }

const char* fillName(Fill f) {
  switch (f) {
    case Fill::Extend: return "extend";
    case Fill::NaN: return "nan";
    default: return "nearest";
  }
}

std::unique_ptr<ScatteredSurface> makeSurface(const py::object& xObj, const py::object& yObj, const py::object& zObj,
                                              const std::string& methodText, const py::object& fillObj,
                                              const py::object& dedupeObj, bool reorder) {
  const Method method = parseMethod(methodText);
  const Fill fill = parseFill(fillObj, method);
  const Dedupe dedupe = parseDedupe(dedupeObj);
  Doubles x = toSeries(xObj, "x");
  Doubles y = toSeries(yObj, "y");
  Doubles z = toSeries(zObj, "z");
  requireSameLength(x.size(), "x", y.size(), "y");
  requireSameLength(x.size(), "x", z.size(), "z");
  py::gil_scoped_release release;
  PointSet points = makePointSet(x.data(), y.data(), z.data(), static_cast<std::size_t>(x.size()), dedupe, reorder);
  return ScatteredSurface::prepare(std::move(points), method, fill);
}

py::object evaluateAt(const ScatteredSurface& s, const py::object& xObj, const py::object& yObj, int workers) {
  const int threads = resolveWorkers(workers);
  std::vector<py::ssize_t> shape;
  std::vector<Doubles> b = broadcastDoubles({xObj, yObj}, {"x", "y"}, shape);
  py::array_t<double> out(shape);
  double* dst = out.mutable_data();
  const std::size_t count = static_cast<std::size_t>(b[0].size());
  {
    py::gil_scoped_release release;
    s.evaluate(b[0].data(), b[1].data(), count, dst, threads);
  }
  return scalarIfZeroDim(out);
}

py::array_t<double> gridOf(const ScatteredSurface& s, const py::object& xgObj, const py::object& ygObj, int workers) {
  const int threads = resolveWorkers(workers);
  Doubles xg = toSeries(xgObj, "xg");
  Doubles yg = toSeries(ygObj, "yg");
  py::array_t<double> out({yg.size(), xg.size()});
  double* dst = out.mutable_data();
  {
    py::gil_scoped_release release;
    s.grid(xg.data(), static_cast<std::size_t>(xg.size()), yg.data(), static_cast<std::size_t>(yg.size()), dst,
           threads);
  }
  return out;
}

std::unique_ptr<ScatteredSurface> withValuesOf(const ScatteredSurface& s, const py::object& zObj) {
  Doubles z = toSeries(zObj, "z");
  py::gil_scoped_release release;
  return s.withValues(z.data(), static_cast<std::size_t>(z.size()));
}

template <typename T>
py::array_t<T> table(const T* data, std::size_t rows, std::size_t columns) {
  py::array_t<T> out({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(columns)});
  T* dst = out.mutable_data();
  for (std::size_t i = 0; i < rows * columns; ++i) dst[i] = data[i];
  return out;
}

py::array_t<py::ssize_t> indexTable(const std::vector<int>& values, std::size_t columns) {
  std::vector<py::ssize_t> wide(values.begin(), values.end());
  return table(wide.data(), values.size() / columns, columns);
}

// How far evaluated values leave the range of the data values.
struct Overshoot {
  double dataMin = 0.0, dataMax = 0.0;
  double below = 0.0, above = 0.0;  // largest distance below the minimum / above the maximum
  py::ssize_t count = 0;            // values outside the band
  double fraction = 0.0;            // count over the finite values
  double margin = 0.0;
};

Overshoot overshootOf(const ScatteredSurface& s, const py::object& valuesObj, double margin) {
  if (!(margin >= 0.0) || !std::isfinite(margin))
    throw py::value_error("margin must be a finite number of 0 or more, got " + formatNumber(margin));
  Doubles values = toDoubles(valuesObj, "values");
  Overshoot o;
  o.dataMin = s.minValue();
  o.dataMax = s.maxValue();
  o.margin = margin;
  const double spread = o.dataMax - o.dataMin;
  const double low = o.dataMin - margin * spread, high = o.dataMax + margin * spread;
  py::ssize_t finite = 0;
  for (py::ssize_t i = 0; i < values.size(); ++i) {
    const double v = values.data()[i];
    if (std::isnan(v)) continue;
    ++finite;
    if (v < low || v > high) ++o.count;
    if (o.dataMin - v > o.below) o.below = o.dataMin - v;
    if (v - o.dataMax > o.above) o.above = v - o.dataMax;
  }
  o.fraction = finite ? static_cast<double>(o.count) / static_cast<double>(finite) : 0.0;
  return o;
}

const char* kSurfaceDoc = R"(Surface through scattered points (x, y, z), prepared once.

ScatteredSurface(x, y, z, method="smooth", *, fill=None, dedupe=None, reorder=False)

method="smooth" is the library's C1 surface: a Delaunay triangulation, partial
derivatives estimated from local cubic fits, and a quintic per triangle; it
passes through every data value, and beyond the border it extends the
surface (fill="extend", the default), which can grow without bound far from
the data. method="linear" interpolates linearly on the same triangles: exact
at the data points and never outside their range; outside the mesh fill="nan"
(the default) or fill="nearest" (the value at the nearest border point).
For smooth, fill="nan" masks points outside the mesh and fill="nearest" takes
the smooth value at the nearest border point.

Prefer "smooth" for smooth, well-spread data (it reproduces cubics and gives
continuous slopes). Prefer "linear" for noisy or clustered samples: the local
fits then chase the noise and the smooth surface overshoots far beyond the data
range (check with overshoot()).

Points are used as given. Repeated (x, y) points raise ValueError naming their
indices unless dedupe="mean" or dedupe="first" merges them; collinear first
three points raise ValueError unless reorder=True moves the first point off
their line into third place. x, y, z must be finite and hold at least 10
distinct points.

Calling the surface evaluates it at arrays of any shape (broadcast like numpy);
evaluation releases the GIL and splits large inputs over `workers` threads
(-1: all cores) with results identical to a single-threaded call.)";

}  // namespace

void bindScattered(py::module_& m) {
  py::class_<Overshoot>(m, "Overshoot", "How far evaluated values leave the data's range (see ScatteredSurface.overshoot).")
      .def_readonly("data_min", &Overshoot::dataMin, "Smallest data value.")
      .def_readonly("data_max", &Overshoot::dataMax, "Largest data value.")
      .def_readonly("below", &Overshoot::below, "Largest distance of a value below data_min (0 when none).")
      .def_readonly("above", &Overshoot::above, "Largest distance of a value above data_max (0 when none).")
      .def_readonly("count", &Overshoot::count,
                    "Values outside [data_min - margin*r, data_max + margin*r], r = data_max - data_min.")
      .def_readonly("fraction", &Overshoot::fraction, "count over the number of non-NaN values.")
      .def_readonly("margin", &Overshoot::margin, "The margin, as a share of the data range.")
      .def("__repr__", [](const Overshoot& o) {
        return "Overshoot(count=" + std::to_string(o.count) + ", fraction=" + formatNumber(o.fraction) +
               ", below=" + formatNumber(o.below) + ", above=" + formatNumber(o.above) + ")";
      });

  m.def("_live_surfaces", &ScatteredSurface::liveCount, "Number of ScatteredSurface objects alive (leak checks).");
  py::class_<ScatteredSurface>(m, "ScatteredSurface", kSurfaceDoc)
      .def(py::init(&makeSurface), py::arg("x"), py::arg("y"), py::arg("z"), py::arg("method") = "smooth",
           py::kw_only(), py::arg("fill") = py::none(), py::arg("dedupe") = py::none(), py::arg("reorder") = false)
      .def("__call__", &evaluateAt, py::arg("x"), py::arg("y"), py::kw_only(), py::arg("workers") = -1,
           R"(Surface values at (x, y), broadcast together; non-finite points give NaN.)")
      .def("grid", &gridOf, py::arg("xg"), py::arg("yg"), py::kw_only(), py::arg("workers") = -1,
           R"(Values on the grid xg x yg as a (len(yg), len(xg)) array: rows follow y,
columns follow x (numpy/matplotlib convention). Equal to the library's grid
driver for the same data and grid.)")
      .def("with_values", &withValuesOf, py::arg("z"),
           R"(A new surface on the same points with new values z (one per input point, in
input order, merged like the original when dedupe was used), re-using the
triangulation.)")
      .def("overshoot", &overshootOf, py::arg("values"), py::kw_only(), py::arg("margin") = 0.0,
           R"(How far values (e.g. a grid from this surface) leave the data range: an
Overshoot with the largest excursions below and above and the count and
fraction of values outside the range widened by margin * (max z - min z).)")
      .def_property_readonly(
          "derivatives",
          [](const ScatteredSurface& s) { return table(s.partials(), s.size(), 5); },
          "(n, 5) array of the estimated zx, zy, zxx, zxy, zyy at each point.")
      .def_property_readonly(
          "triangles", [](const ScatteredSurface& s) { return indexTable(s.mesh().triangles(), 3); },
          "(m, 3) point indices (0-based, into x/y/z) of the triangles, counterclockwise.")
      .def_property_readonly(
          "border", [](const ScatteredSurface& s) { return indexTable(s.mesh().border(), 2); },
          "(k, 2) border segments (start, end), one closed counterclockwise chain.")
      .def_property_readonly(
          "x", [](const ScatteredSurface& s) { return vectorToArray(s.points().x); },
          "x of the surface's points (after any dedupe/reorder).")
      .def_property_readonly(
          "y", [](const ScatteredSurface& s) { return vectorToArray(s.points().y); },
          "y of the surface's points.")
      .def_property_readonly(
          "z", [](const ScatteredSurface& s) { return vectorToArray(s.values()); }, "z of the surface's points.")
      .def_property_readonly(
          "point_index",
          [](const ScatteredSurface& s) {
            const std::vector<std::size_t>& src = s.points().source;
            py::array_t<py::ssize_t> out(static_cast<py::ssize_t>(src.size()));
            for (std::size_t i = 0; i < src.size(); ++i) out.mutable_data()[i] = static_cast<py::ssize_t>(src[i]);
            return out;
          },
          "Input index of each of the surface's points.")
      .def_property_readonly(
          "method", [](const ScatteredSurface& s) { return methodName(s.method()); }, "'smooth' or 'linear'.")
      .def_property_readonly(
          "fill", [](const ScatteredSurface& s) { return fillName(s.fill()); }, "'extend', 'nan' or 'nearest'.")
      .def_property_readonly(
          "n", [](const ScatteredSurface& s) { return s.size(); }, "Number of points.")
      .def("__len__", [](const ScatteredSurface& s) { return s.size(); })
      .def("__repr__", [](const ScatteredSurface& s) {
        return "<ScatteredSurface of " + std::to_string(s.size()) + " points, " +
               std::to_string(s.mesh().triangles().size() / 3) + " triangles, method='" + methodName(s.method()) +
               "', fill='" + fillName(s.fill()) + "'>";
      });
}

}  // namespace lumpy
