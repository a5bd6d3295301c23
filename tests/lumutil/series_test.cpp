// End-to-end: the column subcommands against direct calls of the library.
#include <VORN_LumUtility.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "output.h"
#include "tool_harness.h"

namespace {

using namespace lumutil_test;

class SeriesTool : public ::testing::Test {
 protected:
  // Readings with two clear outliers, as "t,value" rows.
  void SetUp() override {
    Lcg random(11);
    for (int i = 0; i < 40; ++i) {
      t_.push_back(0.5 * i);
      values_.push_back(20.0 + 0.3 * t_.back() + 0.05 * (random.next() - 0.5));
    }
    values_[7] += 4.0;
    values_[29] -= 3.0;
    std::string csv = "# test readings\nt,value\n";
    for (std::size_t i = 0; i < t_.size(); ++i)
      csv += lumutil::formatNumber(t_[i]) + "," + lumutil::formatNumber(values_[i]) + "\n";
    file_ = dir_.write("readings.csv", csv);
  }
  ToolResult run(const std::vector<std::string>& args) { return runTool(args, dir_.path("")); }
  // A run that must succeed.
  ToolResult ok(const std::vector<std::string>& args) {
    ToolResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
  }

  ScratchDir dir_;
  std::vector<double> t_, values_;
  std::string file_;
};

TEST_F(SeriesTool, StatsEqualsTheLibrary) {
  const ToolResult r = ok({"stats", file_, "--sigma", "1.5", "-c", "value,1"});
  const auto out = parseOutput(r.out);
  ASSERT_EQ(out.rowCount(), 2u);
  EXPECT_EQ(out.field(1, 0), "t");  // columns in the order asked for
  const int n = static_cast<int>(values_.size());
  EXPECT_EQ(column(out, "count")[0], n);
  EXPECT_EQ(column(out, "mean")[0], mean(values_));
  EXPECT_EQ(column(out, "stdev")[0], calStdev(n, values_));
  EXPECT_EQ(column(out, "clipped_mean")[0], calAvgSigma(n, values_, 1.5));
  EXPECT_EQ(column(out, "median"), (std::vector<double>{median(values_, 0, n - 1), median(t_, 0, n - 1)}));
}

TEST_F(SeriesTool, OutliersKeepTheRowsTheLibraryKeeps) {
  std::vector<double> cleaned;
  std::vector<int> kept;
  removeOutlierFuncMedian(values_, cleaned, kept, 4, 3.0);
  ASSERT_EQ(kept.size(), values_.size() - 2);  // both planted outliers go
  ToolResult r = ok({"outliers", file_, "-c", "value", "--window", "4", "--k", "3"});
  EXPECT_NE(r.err.find("rejected 2 of 40 rows (lines 10, 32)"), std::string::npos) << r.err;
  EXPECT_EQ(column(parseOutput(r.out), "value"), cleaned);

  kept.clear();
  bool flag = true;
  std::vector<double> tauCleaned;
  removeOutlierFuncTau(values_, tauCleaned, kept, 0.1, flag);
  r = ok({"outliers", file_, "-c", "2", "--method", "tau", "--fraction", "0.1", "--mark"});
  const auto marked = parseOutput(r.out);
  ASSERT_EQ(marked.rowCount(), values_.size());
  std::vector<double> expected(values_.size(), 1.0);
  for (int k : kept) expected[static_cast<std::size_t>(k)] = 0.0;
  EXPECT_EQ(column(marked, "outlier"), expected);
  EXPECT_EQ(column(marked, "value"), values_);
}

TEST_F(SeriesTool, FitsEqualTheLibrary) {
  std::vector<double> points;
  for (std::size_t i = 0; i < t_.size(); ++i) points.push_back(t_[i]), points.push_back(values_[i]);
  double c[3];
  ASSERT_EQ(JPolyfit(static_cast<int>(t_.size()), points.data(), 2, c), 1);
  ToolResult r = ok({"fit", file_, "--x", "t", "--y", "value", "--degree", "2"});
  double sum = 0;
  for (std::size_t i = 0; i < t_.size(); ++i) sum += std::pow(values_[i] - PolyCalc(t_[i], c, 2), 2);
  // c0, c1, c2, rms, points
  EXPECT_EQ(column(parseOutput(r.out), "value"), (std::vector<double>{c[0], c[1], c[2], std::sqrt(sum / t_.size()), 40}));

  // Runs of five repeated readings at x = 0, 1, ..., 7.
  std::string csv = "x,y\n";
  std::vector<double> runPoints;
  Lcg random(5);
  for (int x = 0; x < 8; ++x)
    for (int k = 0; k < 5; ++k) {
      const double y = 1.0 + 0.5 * x + 0.01 * random.next();
      runPoints.push_back(x), runPoints.push_back(y);
      csv += std::to_string(x) + "," + lumutil::formatNumber(y) + "\n";
    }
  bool flag = true;
  double rc[2];
  ASSERT_EQ(JPolyfitRemoverOutlier(40, runPoints.data(), 1, rc, flag), 1);
  r = ok({"fit", dir_.write("runs.csv", csv), "--runs"});
  const auto v = column(parseOutput(r.out), "value");
  EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + 2), std::vector<double>(rc, rc + 2));

  // Runs too short for a mean, and too few distinct x for the degree: input errors.
  r = run({"fit", dir_.write("short.csv", "x,y\n0,1\n0,1\n1,2\n1,2\n2,3\n2,3\n"), "--runs"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("at least 3 readings"), std::string::npos) << r.err;
  r = run({"fit", dir_.write("few.csv", "x,y\n0,1\n0,2\n1,3\n"), "--degree", "2"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("needs at least 3 distinct x values"), std::string::npos) << r.err;
}

TEST_F(SeriesTool, FiltersEqualTheLibrary) {
  const int n = static_cast<int>(values_.size());
  // Gaussian: the library's correlation, divided by the same correlation of ones.
  double kernel[7];
  ASSERT_TRUE(gaussianFilter(7, 1.2, kernel));
  std::vector<double> raw(values_.size()), weight(values_.size()), ones(values_.size(), 1.0);
  convFilter(n, 7, kernel, values_.data(), raw.data());
  convFilter(n, 7, kernel, ones.data(), weight.data());
  ToolResult r = ok({"filter", "gaussian", file_, "-c", "value", "--sigma", "1.2", "--kernel", "7"});
  std::vector<double> normalised(values_.size());
  for (std::size_t i = 0; i < values_.size(); ++i) normalised[i] = raw[i] / weight[i];
  EXPECT_EQ(column(parseOutput(r.out), "filtered"), normalised);
  r = run({"filter", "gaussian", file_, "-c", "value", "--sigma", "1.2", "--kernel", "7", "--raw"});
  EXPECT_EQ(column(parseOutput(r.out), "filtered"), raw);
  r = run({"filter", "gaussian", file_, "--kernel", "6"});
  EXPECT_EQ(r.status, 2);

  std::vector<double> moving = values_;
  movingAverage(6, moving);
  r = ok({"filter", "moving", file_, "-c", "value", "--window", "6"});
  const auto movingOut = parseOutput(r.out);
  EXPECT_EQ(column(movingOut, "filtered"), moving);
  EXPECT_EQ(column(movingOut, "end")[0], 5.0);

  double estimate = values_[0], variance = 0.5;
  std::vector<double> kalman;
  for (double z : values_) KalmanFilter(z, estimate, variance), kalman.push_back(estimate);
  r = run({"filter", "kalman", file_, "-c", "value", "--variance", "0.5"});
  EXPECT_EQ(column(parseOutput(r.out), "filtered"), kalman);

  std::vector<double> signal = values_;
  std::unique_ptr<bool[]> mask(new bool[values_.size()]);
  std::fill(mask.get(), mask.get() + values_.size(), true);
  ASSERT_TRUE(rateFilter(n, 2, 1, signal.data(), mask.get()));
  r = ok({"filter", "rate", file_, "-c", "value", "--k", "2", "--passes", "1"});
  const auto rateOut = parseOutput(r.out);
  EXPECT_EQ(column(rateOut, "filtered"), signal);
  const auto valid = column(rateOut, "valid");
  for (std::size_t i = 0; i < valid.size(); ++i) EXPECT_EQ(valid[i], mask[i] ? 1.0 : 0.0) << i;
}

TEST_F(SeriesTool, SplineEqualsTheLibraryAndRefusesToExtrapolate) {
  // Three knots (0, 0), (1, 1), (2, 0): 1.5 u - 0.5 u^3 on the first segment.
  ToolResult r = ok({"spline", dir_.write("three.csv", "x,y\n0,0\n1,1\n2,0\n"), "--at", "0.5"});
  EXPECT_EQ(column(parseOutput(r.out), "y"), std::vector<double>{0.6875});

  float x[] = {0, 1, 2, 3.5f}, y[] = {0, 1, 0, 2};
  double coefficients[12];
  CubicSplines(x, y, 3, coefficients);
  float table[] = {0, 1, 2, 3.5f, -1e30f, 1e30f, 1.0f};
  bool flag;
  r = ok({"spline", dir_.write("knots.csv", "x,y\n0,0\n1,1\n2,0\n3.5,2\n"), "--at", "0.3,2,2.75,3.5,-1,3.6"});
  const auto v = column(parseOutput(r.out), "y");
  ASSERT_EQ(v.size(), 6u);
  const float inside[4] = {0.3f, 2.0f, 2.75f, 3.5f};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(v[k], CalcSpline(true, table, coefficients, 3, inside[k], &flag)) << k;
  EXPECT_NEAR(v[3], 2.0, 1e-6);  // the last knot gives its own value
  EXPECT_TRUE(std::isnan(v[4]) && std::isnan(v[5]));
  EXPECT_NE(r.err.find("2 x value(s) lie outside the knots"), std::string::npos) << r.err;

  const ToolResult stepped = run({"spline", dir_.path("knots.csv"), "--step", "0.5"});
  EXPECT_EQ(column(parseOutput(stepped.out), "x"), (std::vector<double>{0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5}));
  const ToolResult unordered = run({"spline", dir_.write("bad.csv", "x,y\n0,0\n2,1\n1,0\n"), "--at", "1"});
  EXPECT_EQ(unordered.status, 2);
  EXPECT_NE(unordered.err.find("bad.csv:4:"), std::string::npos) << unordered.err;
}

TEST_F(SeriesTool, SphereEqualsTheLibraryInAllThreeVariants) {
  const std::string csv = "name,x,y,z\nA,1,0,0\nB,-1,-1,0.5\nC,0.2,-3,-1\n";
  const double points[3][3] = {{1, 0, 0}, {-1, -1, 0.5}, {0.2, -3, -1}};
  const std::string file = dir_.write("targets.csv", csv);
  for (int variant = 0; variant < 3; ++variant) {
    std::vector<std::string> args = {"sphere", file};
    if (variant >= 1) args.insert(args.end(), {"--ref-h", "170"});
    if (variant == 2) args.insert(args.end(), {"--ref-v", "100"});
    const ToolResult r = ok(args);
    const auto out = parseOutput(r.out);
    const std::vector<double> columns[3] = {column(out, "h_deg"), column(out, "v_deg"), column(out, "range")};
    for (int p = 0; p < 3; ++p) {
      double expected[3] = {points[p][0], points[p][1], points[p][2]};
      if (variant == 0) ConvertCartesianToSphericalCoordinates(expected);
      if (variant == 1) ConvertCartesianToSphericalCoordinates(expected, 170.0f, false);
      if (variant == 2) ConvertCartesianToSphericalCoordinates(expected, 170.0f, 100.0f);
      for (int k = 0; k < 3; ++k) EXPECT_EQ(columns[k][p], expected[k]) << variant << " " << p << " " << k;
    }
  }
  EXPECT_EQ(run({"sphere", file, "--ref-v", "3"}).status, 2);
}

TEST_F(SeriesTool, UsageAndInputErrorsExitWithStatus2AndWriteNothing) {
  const std::string out = dir_.path("result.csv");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"stats", dir_.write("text.csv", "a,b\n1,2\n3,x\n"), "-o", out}, "text.csv:3: column 2 ('b'): 'x' is not a number"},
      {{"stats", dir_.write("ragged.csv", "a,b\n1,2\n3\n"), "-o", out}, "ragged.csv:3: found 1 fields"},
      {{"stats", dir_.write("empty.csv", "# nothing\n"), "-o", out}, "no data rows"},
      {{"stats", dir_.path("missing.csv"), "-o", out}, "cannot open"},
      {{"stats", file_, "-c", "depth", "-o", out}, "no column 'depth'"},
      {{"stats", file_, "-o", dir_.path("no/such/dir/x.csv")}, "does not exist"},
      {{"stats", file_, "--sigma", "-1", "-o", out}, "--sigma"},
      {{"outliers", file_, "--method", "magic", "-o", out}, "--method"},
      {{"stats", file_, "--delimiter", "ab", "-o", out}, "--delimiter"},
      {{"frobnicate"}, "unknown subcommand 'frobnicate'"},
      {{}, "subcommand"},
  };
  for (const auto& c : cases) {
    const ToolResult r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fileExists(out)) << c.message;
  }
  // Help and version succeed.
  EXPECT_EQ(run({"--help"}).status, 0);
  EXPECT_NE(run({"grid", "--help"}).out.find("--mask-outside"), std::string::npos);
  EXPECT_EQ(run({"--version"}).out, "lumutil 5.17.9\n");
  // Standard input, a semicolon delimiter and no header.
  const ToolResult piped = runTool({"stats", "-", "--delimiter", ";", "--no-header"}, dir_.path(""), "1;2\n3;4\n5;9\n");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(column(parseOutput(piped.out), "mean"), (std::vector<double>{3, 5}));
}

}  // namespace
