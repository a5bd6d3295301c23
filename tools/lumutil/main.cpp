// lumutil: the VORN_LumUtility library's jobs on CSV files.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "errors.h"

namespace {

using namespace lumutil;

const char* const kVersion = "lumutil 5.17.9";

const char* const kExitStatus =
    "Exit status:\n"
    "  0  success\n"
    "  1  the library refused the data or gave no finite result\n"
    "  2  usage error, invalid input or unwritable output (no output file is written)\n"
    "  3  with --strict: the smooth surface left the data range (outputs are written)\n";

// Input options shared by every subcommand, converted after parsing.
struct InputArgs {
  CLI::App* owner;
  CommonOptions* target;
  std::string delimiter = ",";
  bool header = false, noHeader = false;
};
std::deque<InputArgs> inputArgs;  // stable addresses: the parser writes into them

void addInput(CLI::App* sub, CommonOptions& common, bool withOutput = true) {
  sub->add_option("input", common.input, "CSV file to read; - reads standard input")->required();
  if (withOutput) sub->add_option("-o,--output", common.output, "write the result to FILE (default: standard output)");
  inputArgs.push_back({sub, &common});
  InputArgs& args = inputArgs.back();
  sub->add_option("--delimiter", args.delimiter, "field separator: one character, or 'tab' (default ',')");
  sub->add_flag("--header", args.header, "the first row names the columns");
  sub->add_flag("--no-header", args.noHeader, "the first row is data (default: a header when any field is not a number)");
  sub->add_flag("-q,--quiet", common.quiet, "no progress bar and no informational notes");
}

void applyInputArgs() {
  for (const InputArgs& args : inputArgs) {
    if (!*args.owner) continue;  // options of a subcommand that was not chosen
    if (args.delimiter == "tab" || args.delimiter == "\\t")
      args.target->csv.delimiter = '\t';
    else if (args.delimiter.size() == 1 && args.delimiter[0] != '"' && args.delimiter[0] != '\n' &&
             args.delimiter[0] != '\r')
      args.target->csv.delimiter = args.delimiter[0];
    else
      throw InputError("--delimiter takes a single character or 'tab'");
    if (args.header && args.noHeader) throw InputError("--header and --no-header exclude each other");
    args.target->csv.header = args.header ? HeaderMode::Present : args.noHeader ? HeaderMode::Absent : HeaderMode::Auto;
  }
}

void addScattered(CLI::App* sub, ScatteredOptions& data, bool withOutput = true) {
  addInput(sub, data.common, withOutput);
  sub->add_option("--x", data.x, "column of x (name or position from 1; default: a column named x, else 1)");
  sub->add_option("--y", data.y, "column of y (default: a column named y, else 2)");
  sub->add_option("--z", data.z, "column of z (default: a column named z, else 3)");
  sub->add_option("--dedupe", data.dedupe, "merge points with equal x and y: mean (of their z) or first")
      ->check(CLI::IsMember({"mean", "first"}));
}

int run(const std::function<int()>& job) {
  try {
    applyInputArgs();
    return job();
  } catch (const InputError& e) {
    std::fprintf(stderr, "lumutil: error: %s\n", e.what());
    return kExitBadInput;
  } catch (const ComputeError& e) {
    std::fprintf(stderr, "lumutil: error: %s\n", e.what());
    return kExitComputeFailed;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "lumutil: error: out of memory\n");
    return kExitComputeFailed;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumutil: error: %s\n", e.what());
    return kExitComputeFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"lumutil: statistics, outlier rejection, fits, filters, splines, spherical coordinates and "
               "scattered-data surfaces on CSV files, computed by the VORN_LumUtility library."};
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  app.footer(kExitStatus);

  StatsOptions stats;
  auto* statsCmd = app.add_subcommand("stats", "count, mean, sample standard deviation, k-sigma clipped mean and median per column");
  addInput(statsCmd, stats.common);
  statsCmd->add_option("-c,--columns", stats.columns, "columns to summarise, by name or position (default: all)")
      ->delimiter(',');
  statsCmd->add_option("--sigma", stats.sigma, "half-width of the clipping band in standard deviations (default 2)")
      ->check(CLI::NonNegativeNumber);

  OutliersOptions outliers;
  auto* outliersCmd = app.add_subcommand("outliers", "reject outlying samples of one column; print the kept rows");
  addInput(outliersCmd, outliers.common);
  outliersCmd->add_option("-c,--column", outliers.column, "column to test (default: 1)");
  outliersCmd->add_option("--method", outliers.method, "median (sliding-window median and MAD) or tau (modified Thompson tau test)")
      ->check(CLI::IsMember({"median", "tau"}));
  outliersCmd->add_option("--window", outliers.window, "median: half-width of the window in samples (default 5)")
      ->check(CLI::NonNegativeNumber);
  outliersCmd->add_option("--k", outliers.k, "median: threshold in scaled MADs (default 3)")->check(CLI::NonNegativeNumber);
  outliersCmd->add_option("--fraction", outliers.fraction, "tau: largest share of samples removed, in (0, 1] (default 0.2)")
      ->check(CLI::Range(1e-12, 1.0));
  outliersCmd->add_flag("--mark", outliers.mark, "print every row with an added 0/1 column 'outlier'");

  FitOptions fit;
  auto* fitCmd = app.add_subcommand("fit", "least-squares polynomial of y on x: coefficients and residual RMS");
  addInput(fitCmd, fit.common);
  fitCmd->add_option("--x", fit.x, "column of x (default: a column named x, else 1)");
  fitCmd->add_option("--y", fit.y, "column of y (default: a column named y, else 2)");
  fitCmd->add_option("-d,--degree", fit.degree, "polynomial degree (default 1)")->check(CLI::Range(0, 20));
  fitCmd->add_flag("--runs", fit.runs, "the rows come in runs of repeated readings at one x: fit the run means with "
                                       "outlier rejection in runs, across runs and on the residuals (degree >= 1)");

  FilterOptions filter;
  auto* filterCmd = app.add_subcommand("filter", "filter one column: gaussian, moving, kalman or rate");
  filterCmd->require_subcommand(1);
  struct FilterKind {
    const char* name;
    const char* help;
  };
  for (const FilterKind& kind : {FilterKind{"gaussian", "Gaussian smoothing, normalised by the weight of the taps inside the signal"},
                                 FilterKind{"moving", "moving average over a window; n - w values"},
                                 FilterKind{"kalman", "scalar random-walk Kalman filter"},
                                 FilterKind{"rate", "reject samples by rate of change, then by k-sigma clipping"}}) {
    auto* sub = filterCmd->add_subcommand(kind.name, kind.help);
    addInput(sub, filter.common);
    sub->add_option("-c,--column", filter.column, "column to filter (default: 1)");
    const std::string name = kind.name;
    if (name == "gaussian") {
      sub->add_option("--sigma", filter.sigma, "standard deviation in samples (default 1)")->check(CLI::PositiveNumber);
      sub->add_option("--kernel", filter.kernel, "odd number of taps (default 2*ceil(3*sigma)+1)")->check(CLI::PositiveNumber);
      sub->add_flag("--raw", filter.raw, "the plain correlation: not divided by the weight of the taps that met "
                                         "samples (the ends then sink toward zero)");
    } else if (name == "moving") {
      sub->add_option("--window", filter.window, "window length (default 5; at least 2, at most half the samples)")
          ->check(CLI::PositiveNumber);
    } else if (name == "kalman") {
      sub->add_option("--variance", filter.variance, "initial error variance (default 1)")->check(CLI::PositiveNumber);
    } else {
      sub->add_option("--k", filter.k, "band half-width in standard deviations (default 3)")->check(CLI::NonNegativeNumber);
      sub->add_option("--passes", filter.passes, "k-sigma passes over the values (default 2)")->check(CLI::NonNegativeNumber);
    }
  }

  SplineOptions spline;
  auto* splineCmd = app.add_subcommand("spline", "natural cubic spline through (x, y), in single precision");
  addInput(splineCmd, spline.common);
  splineCmd->add_option("--x", spline.x, "column of the knots' x, strictly increasing (default: x, else 1)");
  splineCmd->add_option("--y", spline.y, "column of the knots' y (default: y, else 2)");
  splineCmd->add_option("--at", spline.at, "x values to evaluate, comma separated")->delimiter(',');
  splineCmd->add_option("--step", spline.step, "evaluate from the first knot to the last in steps of H")
      ->check(CLI::PositiveNumber);

  SphereOptions sphere;
  double refH = 0, refV = 0;
  auto* sphereCmd = app.add_subcommand("sphere", "Cartesian (x, y, z) rows to horizontal angle, vertical angle (degrees) and range");
  addInput(sphereCmd, sphere.common);
  sphereCmd->add_option("--x", sphere.x, "column of x (default: x, else 1)");
  sphereCmd->add_option("--y", sphere.y, "column of y (default: y, else 2)");
  sphereCmd->add_option("--z", sphere.z, "column of z (default: z, else 3)");
  auto* refHOpt = sphereCmd->add_option("--ref-h", refH, "reference horizontal angle (degrees): H is moved toward it");
  auto* refVOpt = sphereCmd->add_option("--ref-v", refV, "reference vertical angle (degrees), with --ref-h: the pair "
                                                         "nearest to both, possibly through the zenith");

  GridOptions grid;
  auto* gridCmd = app.add_subcommand("grid", "scattered (x, y, z) onto a regular grid: CSV, ESRI ASCII grid, PNG picture");
  addScattered(gridCmd, grid.data, false);
  gridCmd->add_option("-o,--output", grid.outputs, "output by extension: .csv, .asc or .png; may be repeated; - is CSV on "
                                                   "standard output (the default)");
  gridCmd->add_option("--nx", grid.nx, "nodes along x (with --ny: spanning the bounds; alone: square cells)")
      ->check(CLI::Range(2, 100000000));
  gridCmd->add_option("--ny", grid.ny, "nodes along y")->check(CLI::Range(2, 100000000));
  gridCmd->add_option("--cell", grid.cell, "square cell size (default: 200 nodes along the longer side)")
      ->check(CLI::PositiveNumber);
  gridCmd->add_option("--bounds", grid.bounds, "xmin,xmax,ymin,ymax (default: the data's bounding box)")
      ->delimiter(',')
      ->expected(4);
  gridCmd->add_option("--method", grid.method, "smooth (the library's C1 surface, default) or linear (on its triangles)")
      ->check(CLI::IsMember({"smooth", "linear"}));
  gridCmd->add_flag("--mask-outside", grid.maskOutside, "nodes outside the data hull get no data instead of the extension");
  gridCmd->add_flag("--strict", grid.strict, "exit with status 3 when the smooth surface overshoots the data range");
  gridCmd->add_option("--nodata", grid.nodata, "no-data value of .asc output (default -9999)");
  gridCmd->add_option("--scale", grid.scale, "colour scale of .png output: data (the data's z range, default) or grid")
      ->check(CLI::IsMember({"data", "grid"}));
  gridCmd->add_option("--contours", grid.contours, "draw N contour lines in the picture")->check(CLI::Range(0, 1000));
  gridCmd->add_option("--pixel", grid.pixel, "pixels per grid node in the picture (default: map up to 600 pixels)")
      ->check(CLI::Range(1, 64));
  bool noPoints = false, noHull = false;
  gridCmd->add_flag("--no-points", noPoints, "do not draw the data points");
  gridCmd->add_flag("--no-hull", noHull, "do not draw the outline of the data hull");

  EvalOptions eval;
  auto* evalCmd = app.add_subcommand("eval", "the scattered-data surface at the points of a second CSV");
  addScattered(evalCmd, eval.data);
  evalCmd->add_option("points", eval.points, "CSV file of the points to evaluate; - reads standard input")->required();
  evalCmd->add_option("--px", eval.px, "column of the points' x (default: x, else 1)");
  evalCmd->add_option("--py", eval.py, "column of the points' y (default: y, else 2)");
  evalCmd->add_option("--method", eval.method, "smooth (default) or linear")->check(CLI::IsMember({"smooth", "linear"}));
  evalCmd->add_flag("--mask-outside", eval.maskOutside, "points outside the data hull give nan");
  evalCmd->add_flag("--strict", eval.strict, "exit with status 3 when the smooth surface overshoots the data range");

  DerivativesOptions derivatives;
  auto* derivativesCmd = app.add_subcommand("derivatives", "zx, zy, zxx, zxy, zyy of the surface at every data point");
  addScattered(derivativesCmd, derivatives.data);
  derivativesCmd->add_flag("--unrefined", derivatives.unrefined, "the local polynomial estimates, without the cubic "
                                                                 "refinement of weakly fitted points");

  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    for (const auto* sub : app.get_subcommands({})) known = known || sub->get_name() == argv[1];
    if (!known) {
      std::fprintf(stderr, "lumutil: error: unknown subcommand '%s' (see lumutil --help)\n", argv[1]);
      return kExitBadInput;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitBadInput;
  }

  if (*statsCmd) return run([&] { return runStats(stats); });
  if (*outliersCmd) return run([&] { return runOutliers(outliers); });
  if (*fitCmd) return run([&] { return runFit(fit); });
  if (*filterCmd) {
    for (auto* sub : filterCmd->get_subcommands())
      if (*sub) filter.kind = sub->get_name();
    return run([&] { return runFilter(filter); });
  }
  if (*splineCmd) return run([&] { return runSpline(spline); });
  if (*sphereCmd) {
    if (refHOpt->count()) sphere.refH = refH;
    if (refVOpt->count()) sphere.refV = refV;
    return run([&] { return runSphere(sphere); });
  }
  if (*gridCmd) {
    grid.drawPoints = !noPoints;
    grid.drawHull = !noHull;
    return run([&] { return runGrid(grid); });
  }
  if (*evalCmd) return run([&] { return runEval(eval); });
  if (*derivativesCmd) return run([&] { return runDerivatives(derivatives); });
  return kExitBadInput;
}
