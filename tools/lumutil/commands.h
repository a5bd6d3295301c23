// The subcommands of lumutil and their options. Each run function returns the
// process exit status or throws InputError / ComputeError.
#ifndef LUMUTIL_COMMANDS_H
#define LUMUTIL_COMMANDS_H

#include <optional>
#include <string>
#include <vector>

#include "csv.h"

namespace lumutil {

struct CommonOptions {
  std::string input = "-";
  std::string output = "-";
  CsvOptions csv;
  bool quiet = false;
};

struct StatsOptions {
  CommonOptions common;
  std::vector<std::string> columns;  // empty: every column
  double sigma = 2.0;
};

struct OutliersOptions {
  CommonOptions common;
  std::string column;
  std::string method = "median";
  int window = 5;
  double k = 3.0;
  double fraction = 0.2;
  bool mark = false;
};

struct FitOptions {
  CommonOptions common;
  std::string x, y;
  int degree = 1;
  bool runs = false;
};

struct FilterOptions {
  CommonOptions common;
  std::string kind;  // gaussian, moving, kalman, rate
  std::string column;
  double sigma = 1.0;
  int kernel = 0;  // 0: 2 * ceil(3 sigma) + 1
  bool raw = false;  // gaussian: the plain correlation, not divided by the taps' weight
  int window = 5;
  double variance = 1.0;
  int k = 3;
  int passes = 2;
};

struct SplineOptions {
  CommonOptions common;
  std::string x, y;
  std::vector<double> at;
  double step = 0.0;
};

struct SphereOptions {
  CommonOptions common;
  std::string x, y, z;
  std::optional<double> refH, refV;
};

// Shared by the scattered-surface commands.
struct ScatteredOptions {
  CommonOptions common;
  std::string x, y, z;
  std::string dedupe;  // "", "mean" or "first"
};

struct GridOptions {
  ScatteredOptions data;
  std::vector<std::string> outputs;  // by extension: .csv, .asc, .png; "-" is CSV on stdout
  int nx = 0, ny = 0;
  double cell = 0.0;
  std::vector<double> bounds;  // xmin, xmax, ymin, ymax
  std::string method = "smooth";
  bool maskOutside = false;
  bool strict = false;
  double nodata = -9999.0;
  std::string scale = "data";
  int contours = 0;
  int pixel = 0;  // 0: chosen from the grid size
  bool drawPoints = true;
  bool drawHull = true;
};

struct EvalOptions {
  ScatteredOptions data;
  std::string points;
  std::string px, py;
  std::string method = "smooth";
  bool maskOutside = false;
  bool strict = false;
};

struct DerivativesOptions {
  ScatteredOptions data;
  bool unrefined = false;
};

int runStats(const StatsOptions& options);
int runOutliers(const OutliersOptions& options);
int runFit(const FitOptions& options);
int runFilter(const FilterOptions& options);
int runSpline(const SplineOptions& options);
int runSphere(const SphereOptions& options);
int runGrid(const GridOptions& options);
int runEval(const EvalOptions& options);
int runDerivatives(const DerivativesOptions& options);

// One line on standard error, prefixed with the program name.
void message(const std::string& text);

}  // namespace lumutil

#endif  // LUMUTIL_COMMANDS_H
