#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "gridinterp/trilinear_table.h"

namespace {

constexpr double kUnset = -777.0;

struct Bracket {
  double lower = kUnset;
  double upper = kUnset;
};

Bracket neighbours(double value, std::vector<double> grid) {
  Bracket b;
  getNeighbours(value, static_cast<int>(grid.size()), grid.data(), b.lower, b.upper);
  return b;
}

float asSingle(double d) { return static_cast<float>(d); }

}  // namespace

// ---------------------------------------------------------------------------
// getNeighbours
// ---------------------------------------------------------------------------

TEST(GetNeighbours, StatedBoundaryCases) {
  const std::vector<double> g = {0, 10, 20};
  struct Case {
    double value, lower, upper;
  } cases[] = {
      {5, 0, 10},    // between nodes
      {10, 0, 10},   // on an interior node: the cell below it
      {0, 0, 10},    // on the first node
      {-3, 0, 10},   // below the grid: the first cell
      {20, 10, 20},  // on the last node
      {25, kUnset, kUnset},
      {std::numeric_limits<double>::quiet_NaN(), 0, 10},  // NaN stops at node 0
  };
  for (const Case& c : cases) {
    const Bracket b = neighbours(c.value, g);
    EXPECT_EQ(b.lower, c.lower) << "value " << c.value;
    EXPECT_EQ(b.upper, c.upper) << "value " << c.value;
  }
}

TEST(GetNeighbours, EmptyAndSingleNodeGridsWriteNothing) {
  Bracket b = neighbours(1.0, {});
  EXPECT_EQ(b.lower, kUnset);
  getNeighbours(1.0, -4, nullptr, b.lower, b.upper);
  EXPECT_EQ(b.lower, kUnset);
  // A single node has no cell: nothing is written, and no second node is read
  // (the heap block holds exactly one double, so a sanitizer build would trap).
  for (double value : {-1.0, 5.0, 9.0}) {
    std::unique_ptr<double[]> one(new double[1]{5.0});
    double lower = kUnset, upper = kUnset;
    getNeighbours(value, 1, one.get(), lower, upper);
    EXPECT_EQ(lower, kUnset) << value;
    EXPECT_EQ(upper, kUnset) << value;
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
      if (i == g.size()) {
        EXPECT_EQ(b.lower, kUnset);
        EXPECT_EQ(b.upper, kUnset);
      } else if (i == 0) {
        EXPECT_EQ(b.lower, g[0]);
        EXPECT_EQ(b.upper, g[1]);
      } else {
        EXPECT_EQ(b.lower, g[i - 1]);
        EXPECT_EQ(b.upper, g[i]);
        EXPECT_TRUE(b.lower < value && value <= b.upper);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// linearInterpolation
// ---------------------------------------------------------------------------

TEST(LinearInterpolation, ValuesAndOperationOrder) {
  EXPECT_EQ(linearInterpolation(5, 0, 0, 10, 100), 50.0);
  EXPECT_EQ(linearInterpolation(15, 0, 0, 10, 100), 150.0);  // extrapolates
  EXPECT_EQ(linearInterpolation(0, 0, 7, 10, 100), 7.0);
  // The product is formed before the division: (1 * 10) / 3, not (1 / 3) * 10.
  EXPECT_EQ(linearInterpolation(1, 0, 0, 3, 10), 3.3333333333333335);
  EXPECT_EQ(linearInterpolation(1, 0, 0.1, 3, 7.1), 2.4333333333333336);
  EXPECT_FALSE(std::isfinite(linearInterpolation(1, 2, 0, 2, 5)));
}

// ---------------------------------------------------------------------------
// getTrilinearInterpolationNew
// ---------------------------------------------------------------------------

namespace {

// Slow path: sum over the corners of value * product of the 1-D weights.
double blendSlow(const double* values, const int* corners, double tx, double ty, double tz) {
  double sum = 0;
  for (int p = 0; p < 8; ++p) {
    const double wx = (p & 1) ? tx : 1 - tx;
    const double wy = (p & 2) ? ty : 1 - ty;
    const double wz = (p & 4) ? tz : 1 - tz;
    sum += values[corners[p]] * wx * wy * wz;
  }
  return sum;
}

}  // namespace

TEST(TrilinearBlend, CornersComeOutExactlyInCornerOrder) {
  // The corners reach the values through a permutation.
  double values[10] = {-1, 11, 17, 2.5, 23, 0.125, 3e5, 9, -4, 42};
  int corners[8] = {3, 9, 1, 6, 0, 8, 5, 2};
  for (int p = 0; p < 8; ++p) {
    const double t[3] = {double(p & 1), double((p >> 1) & 1), double((p >> 2) & 1)};
    EXPECT_EQ(getTrilinearInterpolationNew(values, corners, t[0], t[1], t[2]), values[corners[p]])
        << "corner " << p;
  }
}

TEST(TrilinearBlend, ConstantAndAgreesWithWeightedSum) {
  double constant[8];
  std::fill(constant, constant + 8, 0.75);
  int identity[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> f(-0.5, 1.5);  // includes extrapolation
  std::uniform_real_distribution<double> v(-10, 10);
  for (int n = 0; n < 1000; ++n) {
    const double tx = f(rng), ty = f(rng), tz = f(rng);
    EXPECT_NEAR(getTrilinearInterpolationNew(constant, identity, tx, ty, tz), 0.75, 1e-14);
    double values[8];
    for (double& x : values) x = v(rng);
    EXPECT_NEAR(getTrilinearInterpolationNew(values, identity, tx, ty, tz),
                blendSlow(values, identity, tx, ty, tz), 1e-12);
  }
}

TEST(TrilinearBlend, EvaluationOrderPinned) {
  // x is blended first, then y, then z; blending y before x gives 2.060854
  // for these inputs, one unit in the last place above.
  double values[8] = {0.1, 0.7, 0.3, 1e-3, 5.5, 0.3, 2.2, 1.9};
  int identity[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(getTrilinearInterpolationNew(values, identity, 0.3, 0.6, 0.7), 0x1.07ca1059ea571p+1);
}

// ---------------------------------------------------------------------------
// getTrilinearInterpolation (built-in table)
// ---------------------------------------------------------------------------

namespace {

// The two tabulated lists, in node order (x fastest, then y, then z).
const double kListA[18] = {0.055, 0.665, 0.84,  0.315, 0.156, 0.977, 0.242, 0.2,   0.91,
                           0.728, 0.401, 0.051, 0.926, 0.224, 0.922, 0.668, 0.231, 0.889};
const double kListB[18] = {0.543, 0.717, 0.02,  0.941, 0.261, 0.963, 0.037, 0.315, 0.912,
                           0.275, 0.087, 0.748, 0.049, 0.919, 0.225, 0.957, 0.124, 0.468};
const double kXs[3] = {-15, 0, 15}, kYs[3] = {-10, 0, 10}, kZs[2] = {-5, 5};

double nodeValue(int ix, int iy, int iz) {
  const int n = ix + 3 * iy + 9 * iz;
  return kListA[n] + kListB[n];
}

}  // namespace

TEST(BuiltInTrilinearTable, ReproducesEveryNodeValue) {
  for (int iz = 0; iz < 2; ++iz)
    for (int iy = 0; iy < 3; ++iy)
      for (int ix = 0; ix < 3; ++ix) {
        EXPECT_EQ(getTrilinearInterpolation(kXs[ix], kYs[iy], kZs[iz]), nodeValue(ix, iy, iz))
            << "node (" << kXs[ix] << ", " << kYs[iy] << ", " << kZs[iz] << ")";
      }
  // The internal table carries the same lists and node coordinates.
  for (int n = 0; n < 18; ++n) {
    EXPECT_EQ(lum::trilinear_table::kFirst[n], kListA[n]);
    EXPECT_EQ(lum::trilinear_table::kSecond[n], kListB[n]);
    EXPECT_EQ(lum::trilinear_table::kNodeX[n % 3], kXs[n % 3]);
  }
}

TEST(BuiltInTrilinearTable, ZeroOutsideTheBoxBoundsIncluded) {
  EXPECT_EQ(getTrilinearInterpolation(15.0001, 0, 0), 0.0);
  EXPECT_EQ(getTrilinearInterpolation(-15.0001, 0, 0), 0.0);
  EXPECT_EQ(getTrilinearInterpolation(0, -10.5, 0), 0.0);
  EXPECT_EQ(getTrilinearInterpolation(0, 10.5, 0), 0.0);
  EXPECT_EQ(getTrilinearInterpolation(0, 0, 6), 0.0);
  EXPECT_EQ(getTrilinearInterpolation(0, 0, -5.0000001), 0.0);
  // Faces and corners of the box are inside (node values are all positive).
  for (double x : {-15.0, 15.0})
    for (double y : {-10.0, 10.0})
      for (double z : {-5.0, 5.0}) EXPECT_GT(getTrilinearInterpolation(x, y, z), 0.0);
  EXPECT_GT(getTrilinearInterpolation(15, 3, -1), 0.0);
  EXPECT_GT(getTrilinearInterpolation(2, -10, 4), 0.0);
}

TEST(BuiltInTrilinearTable, BlendsLinearlyBetweenNodes) {
  // Along a cell edge in x (y and z on nodes) the value is the straight line.
  for (double t : {0.25, 0.5, 0.8}) {
    const double x = -15 + 15 * t;
    EXPECT_NEAR(getTrilinearInterpolation(x, 0, -5), (1 - t) * nodeValue(0, 1, 0) + t * nodeValue(1, 1, 0), 1e-15);
    const double z = -5 + 10 * t;
    EXPECT_NEAR(getTrilinearInterpolation(15, 10, z), (1 - t) * nodeValue(2, 2, 0) + t * nodeValue(2, 2, 1), 1e-15);
  }
  // Anywhere in the box: the weighted sum over the holding cell's corners.
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> ux(-15, 15), uy(-10, 10), uz(-5, 5);
  for (int n = 0; n < 2000; ++n) {
    const double x = ux(rng), y = uy(rng), z = uz(rng);
    const int ix = x < 0 ? 0 : 1, iy = y < 0 ? 0 : 1;
    const double tx = (x - kXs[ix]) / 15, ty = (y - kYs[iy]) / 10, tz = (z + 5) / 10;
    double expected = 0;
    for (int p = 0; p < 8; ++p) {
      const int dx = p & 1, dy = (p >> 1) & 1, dz = (p >> 2) & 1;
      expected += nodeValue(ix + dx, iy + dy, dz) * (dx ? tx : 1 - tx) * (dy ? ty : 1 - ty) * (dz ? tz : 1 - tz);
    }
    EXPECT_NEAR(getTrilinearInterpolation(x, y, z), expected, 1e-14);
  }
  // Continuous across the interior cell faces x = 0 and y = 0.
  EXPECT_NEAR(getTrilinearInterpolation(-1e-12, 3, 1), getTrilinearInterpolation(0, 3, 1), 1e-12);
  EXPECT_NEAR(getTrilinearInterpolation(4, -1e-12, -2), getTrilinearInterpolation(4, 0, -2), 1e-12);
}

// ---------------------------------------------------------------------------
// encoderCalibration
// ---------------------------------------------------------------------------

TEST(EncoderCalibration, StatedTwoPairTable) {
  float table[4] = {0, 0, 10, 36};
  EXPECT_EQ(encoderCalibration(5, 2, table), 4.994999885559082f);
  EXPECT_EQ(encoderCalibration(10, 2, table), 9.989999771118164f);
  EXPECT_EQ(encoderCalibration(7.5, 2, table), 7.492499828338623f);
  EXPECT_EQ(encoderCalibration(0, 2, table), 0.0f);
  // Outside the table: no correction.
  EXPECT_EQ(encoderCalibration(-0.1, 2, table), asSingle(-0.1));
  EXPECT_EQ(encoderCalibration(10.1, 2, table), asSingle(10.1));
  EXPECT_TRUE(std::isnan(encoderCalibration(std::nan(""), 2, table)));
}

TEST(EncoderCalibration, PositionMatchWithinOneMillionth) {
  float table[4] = {0, 0, 10, 36};
  // 5e-7 below the position: its error exactly, not the interpolated 35.9999982.
  EXPECT_EQ(encoderCalibration(10 - 5e-7, 2, table), asSingle(10 - 5e-7 - 36.0 / 3600));
  // 2e-6 below: interpolated.
  const double a = 10 - 2e-6;
  EXPECT_EQ(encoderCalibration(a, 2, table), asSingle(a - (36.0 * a / 10) / 3600));
}

TEST(EncoderCalibration, EmptyNullAndSinglePairTables) {
  float table[2] = {3, 7200};
  EXPECT_EQ(encoderCalibration(1.25, 0, table), 1.25f);
  EXPECT_EQ(encoderCalibration(1.1, 5, nullptr), asSingle(1.1));
  EXPECT_EQ(encoderCalibration(3, 1, table), 1.0f);  // 3 - 7200 / 3600
  EXPECT_EQ(encoderCalibration(3.5, 1, table), 3.5f);
  EXPECT_EQ(encoderCalibration(2.5, 1, table), 2.5f);
}

TEST(EncoderCalibration, TableHitsAndInterpolationOnRandomTables) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<float> step(0.5f, 20.0f), err(-30.0f, 30.0f);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int trial = 0; trial < 50; ++trial) {
    const unsigned count = 2 + trial % 12;
    std::vector<float> t(2 * count);
    float p = -90.0f;
    for (unsigned k = 0; k < count; ++k) {
      t[2 * k] = p;
      t[2 * k + 1] = err(rng);
      p += step(rng);
    }
    for (unsigned k = 0; k < count; ++k) {
      const double pk = t[2 * k];
      EXPECT_EQ(encoderCalibration(pk, count, t.data()), asSingle(pk - double(t[2 * k + 1]) / 3600));
    }
    for (unsigned k = 1; k < count; ++k) {
      const double p0 = t[2 * k - 2], p1 = t[2 * k], e0 = t[2 * k - 1], e1 = t[2 * k + 1];
      const double a = p0 + (p1 - p0) * (0.01 + 0.98 * unit(rng));
      const double e = e0 + (e1 - e0) * (a - p0) / (p1 - p0);
      EXPECT_NEAR(encoderCalibration(a, count, t.data()), a - e / 3600, 1e-5);
    }
  }
}
