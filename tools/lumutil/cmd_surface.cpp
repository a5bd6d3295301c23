// Subcommands on scattered (x, y, z) data: grid, eval, derivatives.
#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "commands.h"
#include "errors.h"
#include "output.h"
#include "picture.h"
#include "progress.h"
#include "scattered.h"

namespace lumutil {

namespace {

constexpr int kDefaultLongSide = 200;       // grid nodes along the longer side when no size is given
constexpr double kMaximumNodes = 1e8;       // keeps the grid's memory within a few gigabytes
constexpr int kEvalChunk = 51 * 2000;       // output points per library call; a multiple of its block of 51

struct Axes {
  std::vector<double> xs, ys;
  double dx = 0, dy = 0;
};

std::vector<double> evenAxis(double lo, double step, int count) {
  std::vector<double> axis(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) axis[static_cast<std::size_t>(i)] = lo + i * step;
  return axis;
}

std::vector<double> spannedAxis(double lo, double hi, int count) {
  std::vector<double> axis(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) axis[static_cast<std::size_t>(i)] = lo + (hi - lo) * i / (count - 1);
  axis.back() = hi;
  return axis;
}

int nodesFor(double span, double step) {
  const double count = std::floor(span / step + 1e-9) + 1;
  if (count > kMaximumNodes) throw InputError("the grid would have more than 10^8 nodes");
  if (count < 2) throw InputError("the cell size is larger than the grid's extent");
  return static_cast<int>(count);
}

Axes makeAxes(const GridOptions& o, double xmin, double xmax, double ymin, double ymax) {
  const double spanX = xmax - xmin, spanY = ymax - ymin;
  if (!(spanX > 0) || !(spanY > 0)) throw InputError("the grid bounds enclose no area");
  Axes a;
  double cell = o.cell;
  if (cell > 0 && (o.nx > 0 || o.ny > 0)) throw InputError("give either --cell or --nx/--ny, not both");
  if (cell <= 0 && o.nx == 0 && o.ny == 0) cell = std::max(spanX, spanY) / (kDefaultLongSide - 1);
  if (cell > 0) {
    a.xs = evenAxis(xmin, cell, nodesFor(spanX, cell));
    a.ys = evenAxis(ymin, cell, nodesFor(spanY, cell));
    a.dx = a.dy = cell;
  } else if (o.nx > 0 && o.ny > 0) {
    a.xs = spannedAxis(xmin, xmax, o.nx);
    a.ys = spannedAxis(ymin, ymax, o.ny);
    a.dx = spanX / (o.nx - 1);
    a.dy = spanY / (o.ny - 1);
  } else if (o.nx > 0) {
    a.dx = a.dy = spanX / (o.nx - 1);
    a.xs = spannedAxis(xmin, xmax, o.nx);
    a.ys = evenAxis(ymin, a.dy, nodesFor(spanY, a.dy));
  } else {
    a.dx = a.dy = spanY / (o.ny - 1);
    a.xs = evenAxis(xmin, a.dx, nodesFor(spanX, a.dx));
    a.ys = spannedAxis(ymin, ymax, o.ny);
  }
  if (static_cast<double>(a.xs.size()) * static_cast<double>(a.ys.size()) > kMaximumNodes)
    throw InputError("the grid would have more than 10^8 nodes");
  return a;
}

std::string gridCsv(const Axes& a, const std::vector<double>& z) {
  CsvWriter out;
  out.str().reserve(z.size() * 30);
  out.header({"x", "y", "z"});
  for (std::size_t j = 0; j < a.ys.size(); ++j)
    for (std::size_t i = 0; i < a.xs.size(); ++i) {
      out.number(a.xs[i]).number(a.ys[j]).number(z[j * a.xs.size() + i]);
      out.endRow();
    }
  return std::move(out.str());
}

// ESRI ASCII grid: node values as cell centres, the northern row first.
std::string gridAsc(const Axes& a, const std::vector<double>& z, double nodata) {
  const std::size_t nx = a.xs.size(), ny = a.ys.size();
  std::string out = "ncols " + std::to_string(nx) + "\nnrows " + std::to_string(ny) + "\nxllcenter " +
                    formatNumber(a.xs[0]) + "\nyllcenter " + formatNumber(a.ys[0]) + "\n";
  if (std::fabs(a.dx - a.dy) <= 1e-9 * std::max(a.dx, a.dy)) {
    out += "cellsize " + formatNumber(a.dx) + "\n";
  } else {
    out += "dx " + formatNumber(a.dx) + "\ndy " + formatNumber(a.dy) + "\n";
    message("the grid cells are not square, so the .asc header gives dx and dy; tools that need one cellsize "
            "read grids made with --cell");
  }
  out += "NODATA_value " + formatNumber(nodata) + "\n";
  bool clash = false;
  out.reserve(out.size() + z.size() * 20);
  for (std::size_t r = 0; r < ny; ++r) {
    const std::size_t j = ny - 1 - r;
    for (std::size_t i = 0; i < nx; ++i) {
      const double value = z[j * nx + i];
      clash = clash || value == nodata;
      if (i) out += ' ';
      out += formatNumber(std::isnan(value) ? nodata : value);
    }
    out += '\n';
  }
  if (clash)
    message("warning: some grid values equal the no-data value " + formatNumber(nodata) + "; choose another with --nodata");
  return out;
}

struct Evaluator {
  const ScatteredSet& data;
  bool linear;
  bool maskOutside;
  Surface surface;
  TriangleLocator locator;
  OvershootCounter overshoot;

  Evaluator(const ScatteredSet& d, const std::string& method, bool mask)
      : data(d),
        linear(method == "linear"),
        maskOutside(mask),
        surface(d),
        locator(d.x, d.y, surface.mesh()),
        overshoot(*std::min_element(d.z.begin(), d.z.end()), *std::max_element(d.z.begin(), d.z.end())) {}

  // Values at `count` points; one library call covers them all.
  void run(const double* x, const double* y, int count, double* z) {
    if (!linear) surface.evaluate(x, y, count, z);
    finish(x, y, count, z);
  }

  // Values at the nodes of `rows` grid rows of nx nodes (x fastest).
  void runRows(const double* xs, int nx, const double* ys, int rows, double* z) {
    if (!linear) surface.evaluateRows(xs, nx, ys, rows, z);
    std::vector<double> rowX, rowY;
    for (int r = 0; r < rows; ++r) {
      rowX.assign(xs, xs + nx);
      rowY.assign(static_cast<std::size_t>(nx), ys[r]);
      finish(rowX.data(), rowY.data(), nx, z + static_cast<std::size_t>(r) * nx);
    }
  }

  // Linear values, masking and the overshoot count for points whose smooth
  // values (if any) are already in z.
  void finish(const double* x, const double* y, int count, double* z) {
    for (int k = 0; k < count; ++k) {
      const int t = locator.locate(x[k], y[k]);
      if (linear)
        z[k] = t >= 0 ? locator.linear(t, x[k], y[k], data.z) : std::numeric_limits<double>::quiet_NaN();
      else if (t < 0 && maskOutside)
        z[k] = std::numeric_limits<double>::quiet_NaN();
      if (!linear) overshoot.add(z[k], t >= 0, x[k], y[k]);
    }
  }

  // Prints the overshoot line; true when --strict should fail the run.
  bool report(const std::string& what) const {
    const std::string line = overshoot.report(what);
    if (!line.empty()) message(line);
    return overshoot.any();
  }
};

void checkMethod(const std::string& method, const std::string& dedupe) {
  if (method != "smooth" && method != "linear") throw InputError("--method must be smooth or linear");
  if (!dedupe.empty() && dedupe != "mean" && dedupe != "first") throw InputError("--dedupe must be mean or first");
}

}  // namespace

int runGrid(const GridOptions& o) {
  checkMethod(o.method, o.data.dedupe);
  if (o.scale != "data" && o.scale != "grid") throw InputError("--scale must be data or grid");
  std::vector<std::string> outputs = o.outputs;
  if (outputs.empty()) outputs.push_back("-");
  for (const auto& path : outputs) {
    const std::string ext = extensionOf(path);
    if (path != "-" && ext != "csv" && ext != "asc" && ext != "png")
      throw InputError("cannot tell the format of output " + path + ": use a .csv, .asc or .png name");
    OutputSet::checkWritable(path);
  }
  if (!o.bounds.empty() && o.bounds.size() != 4) throw InputError("--bounds takes xmin,xmax,ymin,ymax");

  const ScatteredSet data = loadScattered(o.data);
  double xmin, xmax, ymin, ymax;
  if (o.bounds.size() == 4) {
    xmin = o.bounds[0], xmax = o.bounds[1], ymin = o.bounds[2], ymax = o.bounds[3];
    for (double b : o.bounds)
      if (!std::isfinite(b)) throw InputError("--bounds must be finite numbers");
    if (!(xmin < xmax) || !(ymin < ymax)) throw InputError("--bounds needs xmin < xmax and ymin < ymax");
  } else {
    xmin = *std::min_element(data.x.begin(), data.x.end());
    xmax = *std::max_element(data.x.begin(), data.x.end());
    ymin = *std::min_element(data.y.begin(), data.y.end());
    ymax = *std::max_element(data.y.begin(), data.y.end());
  }
  const Axes axes = makeAxes(o, xmin, xmax, ymin, ymax);
  const int nx = static_cast<int>(axes.xs.size()), ny = static_cast<int>(axes.ys.size());

  Evaluator evaluator(data, o.method, o.maskOutside);
  std::vector<double> z(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
  {
    Progress progress("grid", z.size(), o.data.common.quiet);
    // Groups of whole rows, about 2^16 nodes per library call: few calls, and
    // progress that moves.
    const int rowsPerCall = std::max(1, 65536 / nx);
    for (int j = 0; j < ny; j += rowsPerCall) {
      const int rows = std::min(rowsPerCall, ny - j);
      evaluator.runRows(axes.xs.data(), nx, axes.ys.data() + j, rows, z.data() + static_cast<std::size_t>(j) * nx);
      progress.update(static_cast<std::size_t>(j + rows) * static_cast<std::size_t>(nx));
    }
  }
  const bool overshoot = evaluator.report("grid nodes");

  OutputSet files;
  for (const auto& path : outputs) {
    const std::string ext = path == "-" ? "csv" : extensionOf(path);
    if (ext == "csv") {
      files.add(path, gridCsv(axes, z));
    } else if (ext == "asc") {
      files.add(path, gridAsc(axes, z, o.nodata));
    } else {
      PictureInput picture;
      picture.nx = nx, picture.ny = ny;
      picture.xs = axes.xs.data(), picture.ys = axes.ys.data(), picture.z = z.data();
      picture.lo = *std::min_element(data.z.begin(), data.z.end());
      picture.hi = *std::max_element(data.z.begin(), data.z.end());
      if (o.scale == "grid") {
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (double v : z)
          if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        if (lo <= hi) picture.lo = lo, picture.hi = hi;
      }
      picture.pixel = o.pixel;
      picture.contours = o.contours;
      if (o.drawPoints) picture.pointX = data.x, picture.pointY = data.y;
      if (o.drawHull) {
        const auto& border = evaluator.surface.mesh().border;
        for (std::size_t s = 0; s + 1 < border.size(); s += 2) {
          const auto a = static_cast<std::size_t>(border[s]), b = static_cast<std::size_t>(border[s + 1]);
          picture.hullSegments.push_back({data.x[a], data.y[a], data.x[b], data.y[b]});
        }
      }
      files.add(path, renderPng(picture));
    }
  }
  files.commit();
  return o.strict && overshoot ? kExitOvershoot : kExitOk;
}

int runEval(const EvalOptions& o) {
  checkMethod(o.method, o.data.dedupe);
  OutputSet::checkWritable(o.data.common.output);
  if (o.points == "-" && o.data.common.input == "-") throw InputError("only one input can be standard input");
  const ScatteredSet data = loadScattered(o.data);
  const CsvTable points = readCsv(o.points, o.data.common.csv);
  if (points.rowCount() == 0) throw InputError(points.source() + ": no data rows");
  const std::size_t cx = points.resolveRole(o.px, "x", 0), cy = points.resolveRole(o.py, "y", 1);
  const std::vector<double> x = points.numbers(cx), y = points.numbers(cy);
  if (x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw InputError(points.source() + ": too many points");

  Evaluator evaluator(data, o.method, o.maskOutside);
  std::vector<double> z(x.size());
  {
    Progress progress("eval", z.size(), o.data.common.quiet);
    for (std::size_t start = 0; start < x.size(); start += kEvalChunk) {
      const int count = static_cast<int>(std::min<std::size_t>(kEvalChunk, x.size() - start));
      evaluator.run(x.data() + start, y.data() + start, count, z.data() + start);
      progress.update(start + static_cast<std::size_t>(count));
    }
  }
  const bool overshoot = evaluator.report("points");

  CsvWriter out;
  out.header({"x", "y", "z"});
  for (std::size_t k = 0; k < z.size(); ++k) {
    out.number(x[k]).number(y[k]).number(z[k]);
    out.endRow();
  }
  OutputSet files;
  files.add(o.data.common.output, std::move(out.str()));
  files.commit();
  return o.strict && overshoot ? kExitOvershoot : kExitOk;
}

int runDerivatives(const DerivativesOptions& o) {
  checkMethod("smooth", o.data.dedupe);
  OutputSet::checkWritable(o.data.common.output);
  const ScatteredSet data = loadScattered(o.data);
  const std::size_t n = data.x.size();
  std::vector<double> partials(5 * n);
  std::vector<int> degree(n);
  if (o.unrefined) {
    // The local polynomial estimates alone, without the cubic refinement of
    // weakly fitted points that the surface applies.
    std::vector<double> x = data.x, y = data.y, z = data.z, cubic(9 * n), plane(2 * n), distSq(n);
    std::vector<int> distOrder(n), nearest(9 * n), fitCount(n);
    int count = static_cast<int>(n);
    sdpd3p_(&count, x.data(), y.data(), z.data(), partials.data(), cubic.data(), plane.data(), distSq.data(),
            distOrder.data(), nearest.data(), fitCount.data(), degree.data());
  } else {
    const Surface surface(data);
    std::copy(surface.partials(), surface.partials() + 5 * n, partials.begin());
    for (std::size_t p = 0; p < n; ++p) degree[p] = surface.fitDegree(p);
  }
  std::vector<std::size_t> order(n);
  for (std::size_t p = 0; p < n; ++p) order[data.rank[p]] = p;

  CsvWriter out;
  out.header({"x", "y", "z", "zx", "zy", "zxx", "zxy", "zyy", "fit_degree"});
  for (std::size_t p : order) {
    out.number(data.x[p]).number(data.y[p]).number(data.z[p]);
    for (int k = 0; k < 5; ++k) out.number(partials[5 * p + static_cast<std::size_t>(k)]);
    out.integer(degree[p]);
    out.endRow();
  }
  OutputSet files;
  files.add(o.data.common.output, std::move(out.str()));
  files.commit();
  return kExitOk;
}

}  // namespace lumutil
