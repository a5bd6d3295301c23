// Subcommands on columns of samples: stats, outliers, fit, filter, spline, sphere.
#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "commands.h"
#include "errors.h"
#include "output.h"

namespace lumutil {

void message(const std::string& text) { std::fprintf(stderr, "lumutil: %s\n", text.c_str()); }

namespace {

CsvTable readInput(const CommonOptions& common) {
  OutputSet::checkWritable(common.output);
  CsvTable table = readCsv(common.input, common.csv);
  if (table.rowCount() == 0) throw InputError(table.source() + ": no data rows");
  return table;
}

int toInt(std::size_t count, const CsvTable& table) {
  if (count > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2))
    throw InputError(table.source() + ": too many rows");
  return static_cast<int>(count);
}

void writeSingle(const CommonOptions& common, std::string content) {
  OutputSet outputs;
  outputs.add(common.output, std::move(content));
  outputs.commit();
}

// Up to `limit` line numbers as "12, 30, 44 and 3 more".
std::string lineList(const std::vector<long>& lines, std::size_t limit = 12) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < limit; ++i) text += (i ? ", " : "") + std::to_string(lines[i]);
  if (lines.size() > limit) text += " and " + std::to_string(lines.size() - limit) + " more";
  return text;
}

}  // namespace

int runStats(const StatsOptions& o) {
  const CsvTable table = readInput(o.common);
  std::vector<std::size_t> columns;
  if (o.columns.empty())
    for (std::size_t c = 0; c < table.columnCount(); ++c) columns.push_back(c);
  for (const auto& selector : o.columns) columns.push_back(table.resolve(selector));

  CsvWriter out;
  out.header({"column", "count", "mean", "stdev", "clipped_mean", "median"});
  for (std::size_t c : columns) {
    const std::vector<double> values = table.numbers(c);
    const int n = toInt(values.size(), table);
    out.text(table.hasHeader() ? table.names()[c] : std::to_string(c + 1))
        .integer(n)
        .number(mean(values))
        .number(calStdev(n, values))
        .number(calAvgSigma(n, values, o.sigma))
        .number(median(values, 0, n - 1));
    out.endRow();
  }
  writeSingle(o.common, std::move(out.str()));
  return kExitOk;
}

int runOutliers(const OutliersOptions& o) {
  const CsvTable table = readInput(o.common);
  const std::size_t col = o.column.empty() ? 0 : table.resolve(o.column);
  const std::vector<double> data = table.numbers(col);
  const int n = toInt(data.size(), table);

  std::vector<double> cleaned;
  std::vector<int> kept;
  if (o.method == "median") {
    removeOutlierFuncMedian(data, cleaned, kept, o.window, o.k);
  } else {
    if (n < 3) {
      // The tau test needs three samples; with fewer it tests nothing.
      for (int i = 0; i < n; ++i) kept.push_back(i);
      if (!o.common.quiet) message("fewer than 3 rows: the tau test removes nothing");
    } else {
      bool flag = true;
      removeOutlierFuncTau(data, cleaned, kept, o.fraction, flag);
      if (!flag)
        message("warning: the spread of the deviations was capped at 1.0 (in the column's units) in every "
                "test, so the rejection threshold may be too tight");
    }
  }

  std::vector<bool> keep(data.size(), false);
  for (int k : kept) keep[static_cast<std::size_t>(k)] = true;
  std::vector<long> rejectedLines;
  for (std::size_t r = 0; r < data.size(); ++r)
    if (!keep[r]) rejectedLines.push_back(table.line(r));

  CsvWriter out(o.common.csv.delimiter);
  if (table.hasHeader()) {
    std::vector<std::string> names = table.names();
    if (o.mark) names.push_back("outlier");
    out.header(names);
  }
  for (std::size_t r = 0; r < table.rowCount(); ++r) {
    if (!o.mark && !keep[r]) continue;
    for (std::size_t c = 0; c < table.columnCount(); ++c) out.text(table.field(r, c));
    if (o.mark) out.integer(keep[r] ? 0 : 1);
    out.endRow();
  }
  if (!o.common.quiet) {
    std::string note = "rejected " + std::to_string(rejectedLines.size()) + " of " + std::to_string(n) + " rows";
    if (!rejectedLines.empty()) note += " (lines " + lineList(rejectedLines) + ")";
    message(note);
  }
  writeSingle(o.common, std::move(out.str()));
  return kExitOk;
}

int runFit(const FitOptions& o) {
  const CsvTable table = readInput(o.common);
  const std::size_t cx = table.resolveRole(o.x, "x", 0);
  const std::size_t cy = table.resolveRole(o.y, "y", 1);
  const std::vector<double> x = table.numbers(cx), y = table.numbers(cy);
  const int n = toInt(x.size(), table);
  std::vector<double> points(2 * x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    points[2 * i] = x[i];
    points[2 * i + 1] = y[i];
  }
  // The run-wise fit reads the linear coefficient whatever the degree.
  std::vector<double> coefficients(static_cast<std::size_t>(std::max(o.degree + 1, 2)), 0.0);

  if (!o.runs) {
    std::vector<double> distinct = x;
    std::sort(distinct.begin(), distinct.end());
    const auto count = std::unique(distinct.begin(), distinct.end()) - distinct.begin();
    if (count < o.degree + 1)
      throw InputError(table.source() + ": a polynomial of degree " + std::to_string(o.degree) + " needs at least " +
                       std::to_string(o.degree + 1) + " distinct x values; the input has " + std::to_string(count));
    if (JPolyfit(n, points.data(), o.degree, coefficients.data()) != 1)
      throw ComputeError("the least-squares fit failed");
  } else {
    // Runs as the fit forms them: consecutive x closer than 0.0005; the point
    // that ends a run and the last point take part in no run.
    int runs = 0;
    std::size_t size = 1;
    long start = table.line(0);
    std::vector<long> shortRuns;
    for (std::size_t i = 1; i < x.size(); ++i) {
      if (std::fabs(x[i] - x[i - 1]) < 0.0005 && i + 1 < x.size()) {
        if (size++ == 0) start = table.line(i);
        continue;
      }
      ++runs;
      if (size < 3) shortRuns.push_back(start);
      size = 0;
    }
    if (runs == 0) throw InputError(table.source() + ": --runs needs at least two rows");
    if (!shortRuns.empty())
      throw InputError(table.source() + ": --runs needs at least 3 readings in every run (runs are consecutive rows "
                       "whose x differ by less than 0.0005; the row that ends a run is not used); the runs starting "
                       "on lines " + lineList(shortRuns) + " are shorter");
    bool flag = true;
    const int result = JPolyfitRemoverOutlier(n, points.data(), o.degree, coefficients.data(), flag);
    if (result == -1) throw ComputeError("the fit through the run means failed");
    if (result != 1) throw ComputeError("the final fit after residual rejection failed");
    if (!flag)
      message("warning: the outlier tests capped the spread at 1.0 (in y units) in every test; some rejections may "
              "be too strict");
  }
  for (int j = 0; j <= o.degree; ++j)
    if (!std::isfinite(coefficients[static_cast<std::size_t>(j)]))
      throw ComputeError("the fit gave non-finite coefficients (the x values do not determine a polynomial of "
                         "degree " + std::to_string(o.degree) + ")");

  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double r = y[i] - PolyCalc(x[i], coefficients.data(), o.degree);
    sum += r * r;
  }
  CsvWriter out;
  out.header({"term", "value"});
  for (int j = 0; j <= o.degree; ++j) {
    out.text("c" + std::to_string(j)).number(coefficients[static_cast<std::size_t>(j)]);
    out.endRow();
  }
  out.text("rms").number(std::sqrt(sum / static_cast<double>(n)));
  out.endRow();
  out.text("points").integer(n);
  out.endRow();
  writeSingle(o.common, std::move(out.str()));
  return kExitOk;
}

int runFilter(const FilterOptions& o) {
  const CsvTable table = readInput(o.common);
  const std::size_t col = o.column.empty() ? 0 : table.resolve(o.column);
  const std::vector<double> values = table.numbers(col);
  const int n = toInt(values.size(), table);
  CsvWriter out;

  if (o.kind == "moving") {
    if (n < 2) throw InputError(table.source() + ": the moving average needs at least 2 samples");
    std::vector<double> data = values;
    movingAverage(o.window, data);
    const std::size_t w = values.size() - data.size();
    if (w != static_cast<std::size_t>(o.window) && !o.common.quiet)
      message("the moving window is " + std::to_string(w) + " samples (at least 2, at most half the " +
              std::to_string(n) + " samples)");
    out.header({"start", "end", "filtered"});
    for (std::size_t s = 0; s < data.size(); ++s) {
      out.integer(static_cast<long long>(s)).integer(static_cast<long long>(s + w - 1)).number(data[s]);
      out.endRow();
    }
    writeSingle(o.common, std::move(out.str()));
    return kExitOk;
  }

  std::vector<double> filtered(values.size());
  std::unique_ptr<bool[]> valid;
  if (o.kind == "gaussian") {
    const int taps = o.kernel > 0 ? o.kernel : 2 * static_cast<int>(std::ceil(3.0 * o.sigma)) + 1;
    if (taps % 2 == 0 || taps > 100001) throw InputError("--kernel must be odd (and at most 100001)");
    std::vector<double> kernel(static_cast<std::size_t>(taps));
    if (!gaussianFilter(taps, o.sigma, kernel.data())) throw InputError("--kernel must be odd");
    if (!convFilter(n, taps, kernel.data(), values.data(), filtered.data()))
      throw ComputeError("the convolution refused the signal");
    if (!o.raw) {
      // Divide by the weight of the taps that met samples: the same
      // correlation applied to a signal of ones. Near the ends, where taps
      // fall off the signal, this keeps the output on the signal's level.
      const std::vector<double> ones(values.size(), 1.0);
      std::vector<double> weight(values.size());
      convFilter(n, taps, kernel.data(), ones.data(), weight.data());
      for (std::size_t i = 0; i < values.size(); ++i) filtered[i] /= weight[i];
    }
  } else if (o.kind == "kalman") {
    double estimate = values[0], errorVariance = o.variance;
    for (std::size_t i = 0; i < values.size(); ++i) {
      KalmanFilter(values[i], estimate, errorVariance);
      filtered[i] = estimate;
    }
  } else {  // rate
    filtered = values;
    valid.reset(new bool[values.size()]);
    std::fill(valid.get(), valid.get() + values.size(), true);
    if (!rateFilter(n, o.k, o.passes, filtered.data(), valid.get()))
      throw ComputeError("the rate filter failed a band test");
  }
  if (valid)
    out.header({"sample", "value", "filtered", "valid"});
  else
    out.header({"sample", "value", "filtered"});
  for (std::size_t i = 0; i < values.size(); ++i) {
    out.integer(static_cast<long long>(i)).number(values[i]).number(filtered[i]);
    if (valid) out.integer(valid[i] ? 1 : 0);
    out.endRow();
  }
  writeSingle(o.common, std::move(out.str()));
  return kExitOk;
}

int runSpline(const SplineOptions& o) {
  const CsvTable table = readInput(o.common);
  const std::size_t cx = table.resolveRole(o.x, "x", 0);
  const std::size_t cy = table.resolveRole(o.y, "y", 1);
  const std::size_t count = table.rowCount();
  if (count < 2) throw InputError(table.source() + ": a spline needs at least 2 knots");
  // The spline works in single precision: knots are rounded to float first.
  std::vector<float> knots(count), values(count);
  for (std::size_t r = 0; r < count; ++r) {
    knots[r] = static_cast<float>(table.number(r, cx));
    values[r] = static_cast<float>(table.number(r, cy));
    if (!std::isfinite(knots[r]) || !std::isfinite(values[r]))
      throw InputError(table.source() + ":" + std::to_string(table.line(r)) + ": value out of single-precision range");
    if (r > 0 && !(knots[r] > knots[r - 1]))
      throw InputError(table.source() + ":" + std::to_string(table.line(r)) + ": " + table.columnLabel(cx) +
                       ": knots must increase strictly (compared in single precision)");
  }
  const int segments = static_cast<int>(count - 1);
  std::vector<double> coefficients(4 * (count - 1));
  CubicSplines(knots.data(), values.data(), segments, coefficients.data());
  // No limits on the spline's value; outside the knots the divisor NaN makes
  // the result NaN instead of a scaled input.
  knots.push_back(-std::numeric_limits<float>::infinity());
  knots.push_back(std::numeric_limits<float>::infinity());
  knots.push_back(std::numeric_limits<float>::quiet_NaN());

  std::vector<double> at = o.at;
  if (o.step > 0.0) {
    const double first = knots[0], last = knots[count - 1];
    const double steps = std::floor((last - first) / o.step + 1e-9);
    if (steps > 1e7) throw InputError("--step gives more than 10^7 points");
    for (long i = 0; i <= static_cast<long>(steps); ++i)
      at.push_back(std::min(first + static_cast<double>(i) * o.step, last));
  }
  if (at.empty()) throw InputError("give the x values to evaluate with --at or --step");

  CsvWriter out;
  out.header({"x", "y"});
  std::size_t outside = 0;
  for (double t : at) {
    bool flag = false;
    const float value = CalcSpline(true, knots.data(), coefficients.data(), segments, static_cast<float>(t), &flag);
    if (flag) ++outside;
    out.number(t).number(value);
    out.endRow();
  }
  if (outside > 0)
    message(std::to_string(outside) + " x value(s) lie outside the knots [" + formatNumber(knots[0]) + ", " +
            formatNumber(knots[count - 1]) + "] and give nan (the spline is not extrapolated)");
  writeSingle(o.common, std::move(out.str()));
  return kExitOk;
}

int runSphere(const SphereOptions& o) {
  const CsvTable table = readInput(o.common);
  const std::size_t cx = table.resolveRole(o.x, "x", 0);
  const std::size_t cy = table.resolveRole(o.y, "y", 1);
  const std::size_t cz = table.resolveRole(o.z, "z", 2);
  if (o.refV && !o.refH) throw InputError("--ref-v needs --ref-h as well");
  CsvWriter out;
  out.header({"h_deg", "v_deg", "range"});
  for (std::size_t r = 0; r < table.rowCount(); ++r) {
    double v[3] = {table.number(r, cx), table.number(r, cy), table.number(r, cz)};
    if (o.refH && o.refV)
      ConvertCartesianToSphericalCoordinates(v, static_cast<float>(*o.refH), static_cast<float>(*o.refV));
    else if (o.refH)
      ConvertCartesianToSphericalCoordinates(v, static_cast<float>(*o.refH), false);
    else
      ConvertCartesianToSphericalCoordinates(v);
    out.number(v[0]).number(v[1]).number(v[2]);
    out.endRow();
  }
  writeSingle(o.common, std::move(out.str()));
  return kExitOk;
}

}  // namespace lumutil
