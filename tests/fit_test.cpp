// Least-squares polynomial fits, their evaluation, and the fit with outlier
// rejection over runs of repeated readings.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using Values = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kSentinel = -12345.0;

Values interleave(const Values& x, const Values& y) {
  Values points;
  for (std::size_t i = 0; i < x.size(); ++i) points.insert(points.end(), {x[i], y[i]});
  return points;
}

TEST(PolynomialFit, ExactDataRecoversTheCoefficients) {
  double line[] = {0, 1, 1, 3, 2, 5}, c[2];
  EXPECT_EQ(JPolyfit(3, line, 1, c), 1);
  EXPECT_EQ(Values(c, c + 2), (Values{1, 2}));
  EXPECT_EQ(linearFit({0, 1, 2, 3}, {1, 3, 5, 7}, 1, c), 1);  // x as a function of y
  EXPECT_EQ(Values(c, c + 2), (Values{-0.5, 0.5}));

  for (const Values& truth : {Values{1, -2, 0.5}, Values{1, -2, 0.5, 0.25},
                              Values{-0.75, 0, 1.5, 0, -0.125}}) {
    const int degree = static_cast<int>(truth.size()) - 1;
    Values x, y;
    for (int i = 0; i < 12; ++i) {
      x.push_back(-2.75 + 0.5 * i);
      y.push_back(0.0);
      for (int j = degree; j >= 0; --j) y.back() += truth[j] * std::pow(x.back(), j);
    }
    Values points = interleave(x, y), fitted(truth.size());
    ASSERT_EQ(JPolyfit(12, points.data(), degree, fitted.data()), 1);
    for (int j = 0; j <= degree; ++j) EXPECT_NEAR(fitted[j], truth[j], 1e-10) << degree;
  }
}

TEST(PolynomialFit, DegreeZeroIsTheMeanAndBothFormsAgreeBitwise) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> uniform(-50.0, 50.0);
  for (int n = 1; n <= 30; ++n) {
    const int degree = n % 5;
    Values x, y;
    for (int i = 0; i < n; ++i) x.push_back(uniform(rng)), y.push_back(uniform(rng));
    Values points = interleave(x, y);
    double constant;
    ASSERT_EQ(JPolyfit(n, points.data(), 0, &constant), 1);
    EXPECT_EQ(constant, mean(y));

    Values fromArray(degree + 1, kSentinel), fromVectors(degree + 1, kSentinel);
    const int result = JPolyfit(n, points.data(), degree, fromArray.data());
    x.push_back(1e300);  // abscissae beyond the observations are ignored
    EXPECT_EQ(linearFit(y, x, degree, fromVectors.data()), result);
    EXPECT_EQ(fromArray, fromVectors) << "n=" << n << " degree " << degree;
  }
}

// Singular and non-finite fits are pinned in bad_input_test.cpp; these pass
// no coefficient array at all, so any write would fault.
TEST(PolynomialFit, HornerAndMeaninglessCountsWriteNothing) {
  double c[] = {1, 2, 3}, line[] = {0, 1, 1, 3, 2, 5};
  EXPECT_EQ(PolyCalc(2.0, c, 2), 17.0);
  EXPECT_EQ(PolyCalc(-1.5, c, 2), 4.75);
  EXPECT_EQ(PolyCalc(kNaN, c, 0), 1.0);  // degree 0 never looks at x
  EXPECT_EQ(JPolyfit(0, nullptr, 1, nullptr), 0);  // regression: a null array was offset
  EXPECT_EQ(JPolyfit(3, line, -1, nullptr), 0);
  EXPECT_EQ(JPolyfit(3, line, std::numeric_limits<int>::max(), nullptr), 0);
  EXPECT_EQ(linearFit({1, 3, 5}, {0, 1, 2}, -2, nullptr), 0);
}

// Runs the outlier-rejecting fit; `flag` starts true.
struct OutlierFit {
  int result;
  Values c;
  bool flag;
};
OutlierFit fitWithRejection(Values points, int degree) {
  OutlierFit out{0, Values(degree >= 0 ? degree + 1 : 0, kSentinel), true};
  out.result = JPolyfitRemoverOutlier(static_cast<int>(points.size() / 2), points.data(), degree,
                                      out.c.data(), out.flag);
  return out;
}
Values expectedFit(const Values& y, const Values& x, int degree) {
  Values c(degree + 1);
  EXPECT_EQ(linearFit(y, x, degree, c.data()), 1);
  return c;
}

TEST(OutlierRejectingFit, RunsStartAtTheJumpingPointAndTheLastPointIsUsed) {
  // Five readings at each of x = 0, 1, 2; the first reading of the second run
  // and the very last reading stand out and must be averaged in (means 1, 3.1,
  // 5.1). The means pass their own test; the first line leaves the middle
  // residual twice the outer ones and the three-value test drops it.
  Values x, y{1, 1, 1, 1, 1, 3.5, 3, 3, 3, 3, 5, 5, 5, 5, 5.5};
  for (int i = 0; i < 15; ++i) x.push_back(i / 5);
  const OutlierFit fit = fitWithRejection(interleave(x, y), 1);
  EXPECT_EQ(fit.result, 1);
  EXPECT_EQ(fit.c, expectedFit({1, mean({5, 5, 5, 5, 5.5})}, {0, 2}, 1));
  EXPECT_TRUE(fit.flag);
}

TEST(OutlierRejectingFit, RunToleranceAndShortRuns) {
  // 2.0 and 2.0004 are one run of two readings, averaged whole.
  OutlierFit fit = fitWithRejection({2.0, 0.0, 2.0004, 0.0, 3.0, 0.9}, 0);
  EXPECT_EQ(fit.c, Values{mean({0.0, 0.9})});
  // 2.0 and 2.001 are two runs; the degree-0 residual test sees the values
  // (0, 0, 0.9) themselves and drops the 0.9.
  fit = fitWithRejection({2.0, 0.0, 2.001, 0.0, 3.0, 0.9}, 0);
  EXPECT_EQ(fit.c, Values{0.0});
  EXPECT_TRUE(fit.flag);

  // A two-reading run and two single ones: means 0.2, 0.4, 0.6.
  fit = fitWithRejection({0, 0.1, 0, 0.3, 1, 0.4, 2, 0.6}, 1);
  EXPECT_EQ(fit.result, 1);
  EXPECT_NEAR(fit.c[0], 0.2, 1e-12);
  EXPECT_NEAR(fit.c[1], 0.2, 1e-12);
  // Two points go to both fits whole, however far apart their values; one
  // point carries a constant.
  EXPECT_EQ(fitWithRejection({0, 1, 5, 4}, 1).c, expectedFit({1, 4}, {0, 5}, 1));
  EXPECT_EQ(fitWithRejection({7, 4.25}, 0).c, Values{4.25});
}

TEST(OutlierRejectingFit, RejectionInsideARunAndOfAWholeRun) {
  // The 50 among nine tens goes (the spread limit was in force for the run's
  // only test, so the flag is cleared); the other runs are constant.
  Values x, y(9, 10.0);
  y.push_back(50.0);
  y.insert(y.end(), 10, 10.5);
  y.insert(y.end(), 10, 11.0);
  for (int i = 0; i < 30; ++i) x.push_back(i / 10);
  OutlierFit fit = fitWithRejection(interleave(x, y), 1);
  EXPECT_EQ(fit.c, (Values{10, 0.5}));
  EXPECT_FALSE(fit.flag);

  // Run means (10, 0, 0.1): the first run is rejected, flag cleared. The two
  // points left both go to the second fit, indexed afresh.
  fit = fitWithRejection({0, 10, 1, 0, 2, 0.1}, 1);
  EXPECT_EQ(fit.result, 1);
  EXPECT_EQ(fit.c, expectedFit({0, 0.1}, {1, 2}, 1));
  EXPECT_FALSE(fit.flag);
}

TEST(OutlierRejectingFit, WithoutASlopeTheValuesThemselvesAreTested) {
  // Symmetric data give a slope of exactly 0.0: the test sees y (nothing to
  // remove), not |y - 0.45| (which would drop the 0.25).
  const Values x{-2, -1, 0, 1, 2}, y{0, 1, 0.25, 1, 0};
  OutlierFit fit = fitWithRejection(interleave(x, y), 1);
  EXPECT_EQ(fit.c, expectedFit(y, x, 1));
  EXPECT_EQ(fit.c[1], 0.0);
  // Degree 0 reads no slope (the one-element array would overrun) and tests
  // the values: the 0.9 goes.
  fit = fitWithRejection({0, 0.1, 1, 0.2, 2, 0.1, 3, 0.2, 4, 0.9}, 0);
  EXPECT_EQ(fit.c, Values{mean({0.1, 0.2, 0.1, 0.2})});
  EXPECT_TRUE(fit.flag);
}

TEST(OutlierRejectingFit, FailedFirstFitReturnsMinusOneAndClearsTheFlag) {
  for (const Values& points : {Values{}, Values{7, 4.25}, Values{0, 1, kNaN, 2, 2, 3, 3, 4}}) {
    const OutlierFit fit = fitWithRejection(points, 1);
    EXPECT_TRUE(fit.result == -1 && !fit.flag) << points.size();
    EXPECT_EQ(fit.c, Values(2, kSentinel));
  }
  const OutlierFit negative = fitWithRejection({0, 0, 1, 1, 2, 2}, -1);
  EXPECT_TRUE(negative.result == -1 && !negative.flag);
}

}  // namespace
