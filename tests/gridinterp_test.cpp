#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kUnset = -777.0;

struct Bracket {
  double lower = kUnset, upper = kUnset;
};

Bracket neighbours(double value, std::vector<double> grid) {
  Bracket b;
  getNeighbours(value, static_cast<int>(grid.size()), grid.data(), b.lower, b.upper);
  return b;
}

float single(double d) { return static_cast<float>(d); }

}  // namespace

// Empty and single-node grids, NaN and repeated nodes: bad_input_test.cpp.
TEST(GetNeighbours, BoundaryCases) {
  const double cases[][3] = {{5, 0, 10},  {10, 0, 10}, {0, 0, 10}, {-3, 0, 10}, {20, 10, 20},
                             {25, kUnset, kUnset}};
  for (const auto& c : cases) {
    const Bracket b = neighbours(c[0], {0, 10, 20});
    EXPECT_EQ(b.lower, c[1]) << c[0];
    EXPECT_EQ(b.upper, c[2]) << c[0];
  }
}

TEST(GetNeighbours, AgreesWithBinarySearchOnRandomGrids) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-100, 100);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<double> g(2 + trial % 9);
    for (double& x : g) x = u(rng);
    std::sort(g.begin(), g.end());
    std::vector<double> probes = g;  // exact node hits
    for (int k = 0; k < 20; ++k) probes.push_back(u(rng) * 1.2);
    for (double value : probes) {
      const Bracket b = neighbours(value, g);
      const size_t i = std::lower_bound(g.begin(), g.end(), value) - g.begin();
      const size_t hi = std::max<size_t>(i, 1);
      EXPECT_EQ(b.lower, i == g.size() ? kUnset : g[hi - 1]);
      EXPECT_EQ(b.upper, i == g.size() ? kUnset : g[hi]);
    }
  }
}

TEST(LinearInterpolation, ValuesAndOperationOrder) {
  EXPECT_EQ(linearInterpolation(5, 0, 0, 10, 100), 50.0);
  EXPECT_EQ(linearInterpolation(15, 0, 0, 10, 100), 150.0);  // extrapolates
  // The product comes before the division: (1 * 10) / 3, not (1 / 3) * 10.
  EXPECT_EQ(linearInterpolation(1, 0, 0, 3, 10), 3.3333333333333335);
  EXPECT_EQ(linearInterpolation(1, 0, 0.1, 3, 7.1), 2.4333333333333336);
}

TEST(TrilinearBlend, CornerOrderThroughPositionsAndBlendOrder) {
  double values[10] = {-1, 11, 17, 2.5, 23, 0.125, 3e5, 9, -4, 42};
  int corners[8] = {3, 9, 1, 6, 0, 8, 5, 2};
  for (int p = 0; p < 8; ++p)
    EXPECT_EQ(getTrilinearInterpolationNew(values, corners, p & 1, (p >> 1) & 1, (p >> 2) & 1), values[corners[p]])
        << "corner " << p;
  // x is blended first, then y, then z; blending y before x gives 2.060854
  // here, one unit in the last place above.
  double v[8] = {0.1, 0.7, 0.3, 1e-3, 5.5, 0.3, 2.2, 1.9};
  int identity[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(getTrilinearInterpolationNew(v, identity, 0.3, 0.6, 0.7), 0x1.07ca1059ea571p+1);
  // Equal corners give that value for any fractions, extrapolating ones too.
  std::fill(v, v + 8, 0.75);
  for (double t : {-0.5, 0.0, 0.3, 1.0, 1.7}) EXPECT_NEAR(getTrilinearInterpolationNew(v, identity, t, 1 - t, t), 0.75, 1e-15);
}

namespace {

// The built-in table: nodes x in {-15, 0, 15} (fastest), y in {-10, 0, 10},
// z in {-5, 5}; node value = first list + second list.
const double kListA[18] = {0.055, 0.665, 0.84,  0.315, 0.156, 0.977, 0.242, 0.2,   0.91,
                           0.728, 0.401, 0.051, 0.926, 0.224, 0.922, 0.668, 0.231, 0.889};
const double kListB[18] = {0.543, 0.717, 0.02,  0.941, 0.261, 0.963, 0.037, 0.315, 0.912,
                           0.275, 0.087, 0.748, 0.049, 0.919, 0.225, 0.957, 0.124, 0.468};
double node(int ix, int iy, int iz) { return kListA[ix + 3 * iy + 9 * iz] + kListB[ix + 3 * iy + 9 * iz]; }

}  // namespace

TEST(BuiltInTrilinearTable, NodeValuesAndZeroOutsideTheBox) {
  for (int n = 0; n < 18; ++n)
    EXPECT_EQ(getTrilinearInterpolation(-15 + 15 * (n % 3), -10 + 10 * (n / 3 % 3), -5 + 10 * (n / 9)),
              node(n % 3, n / 3 % 3, n / 9))
        << "node " << n;
  const double outside[][3] = {{15.0001, 0, 0}, {-15.0001, 0, 0}, {0, -10.5, 0}, {0, 0, 6}, {0, 0, -5.0000001}};
  for (const auto& p : outside)
    EXPECT_EQ(getTrilinearInterpolation(p[0], p[1], p[2]), 0.0) << p[0] << " " << p[1] << " " << p[2];
  EXPECT_GT(getTrilinearInterpolation(15, 3, -1), 0.0);  // faces are inside
  EXPECT_GT(getTrilinearInterpolation(2, -10, 4), 0.0);
}

TEST(BuiltInTrilinearTable, BlendsLinearlyBetweenNodes) {
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> ux(-15, 15), uy(-10, 10), uz(-5, 5);
  for (int n = 0; n < 2000; ++n) {
    const double x = ux(rng), y = uy(rng), z = uz(rng);
    const int ix = x < 0 ? 0 : 1, iy = y < 0 ? 0 : 1;
    const double t[3] = {(x + 15 - 15 * ix) / 15, (y + 10 - 10 * iy) / 10, (z + 5) / 10};
    double expected = 0;
    for (int p = 0; p < 8; ++p) {
      double w = 1;
      for (int a = 0; a < 3; ++a) w *= (p >> a) & 1 ? t[a] : 1 - t[a];
      expected += node(ix + (p & 1), iy + ((p >> 1) & 1), (p >> 2) & 1) * w;
    }
    EXPECT_NEAR(getTrilinearInterpolation(x, y, z), expected, 1e-14);
  }
}

// Null and empty tables, NaN and repeated positions: bad_input_test.cpp.
TEST(EncoderCalibration, StatedTableAndBoundaryCases) {
  float table[4] = {0, 0, 10, 36}, one[2] = {3, 7200};
  EXPECT_EQ(encoderCalibration(5, 2, table), 4.994999885559082f);
  EXPECT_EQ(encoderCalibration(10, 2, table), 9.989999771118164f);
  EXPECT_EQ(encoderCalibration(7.5, 2, table), 7.492499828338623f);
  EXPECT_EQ(encoderCalibration(10.1, 2, table), single(10.1));  // outside: unchanged
  // Within 1e-6 of a position: its error exactly; 2e-6 away: interpolated.
  EXPECT_EQ(encoderCalibration(10 - 5e-7, 2, table), single(10 - 5e-7 - 36.0 / 3600));
  EXPECT_EQ(encoderCalibration(10 - 2e-6, 2, table), single(10 - 2e-6 - (36.0 * (10 - 2e-6) / 10) / 3600));
  // A single pair corrects only its own position.
  EXPECT_EQ(encoderCalibration(3, 1, one), 1.0f);
  EXPECT_EQ(encoderCalibration(3.5, 1, one), 3.5f);
  EXPECT_EQ(encoderCalibration(2.5, 1, one), 2.5f);
}
