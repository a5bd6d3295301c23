#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadPerDegLib = 0.01745329251994;

struct Angles {
  double h, v, r;
};

Angles plain(double x, double y, double z) {
  double v[3] = {x, y, z};
  ConvertCartesianToSphericalCoordinates(v);
  return {v[0], v[1], v[2]};
}

Angles nearest(double x, double y, double z, float refH, float refV) {
  double v[3] = {x, y, z};
  ConvertCartesianToSphericalCoordinates(v, refH, refV);
  return {v[0], v[1], v[2]};
}

Angles toward(double x, double y, double z, float refH, bool flag = false) {
  double v[3] = {x, y, z};
  ConvertCartesianToSphericalCoordinates(v, refH, flag);
  return {v[0], v[1], v[2]};
}

bool isSingle(double d) { return static_cast<double>(static_cast<float>(d)) == d; }

double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void multiply3(const double* m, const double* v, double* out) {
  for (int r = 0; r < 3; ++r) out[r] = m[3 * r] * v[0] + m[3 * r + 1] * v[1] + m[3 * r + 2] * v[2];
}

// Point on the unit circle of the x-y plane whose heading H is `h` degrees.
void headingPoint(double h, double* p) {
  const double az = (h + 90.0) * kPi / 180.0;
  p[0] = std::cos(az);
  p[1] = std::sin(az);
  p[2] = 0.0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Spherical conversion
// ---------------------------------------------------------------------------

TEST(SphericalConversion, StatedValuesShowSinglePrecisionRounding) {
  Angles a = plain(1, 0, 0);
  EXPECT_EQ(a.h, -90.0);
  EXPECT_EQ(a.v, -2.5044744234037353e-06);  // e is pi/2 rounded to float
  EXPECT_EQ(a.r, 1.0);

  EXPECT_EQ(plain(0, 1, 0).h, 2.5044744234037353e-06);
  EXPECT_EQ(plain(-1, 0, 0).h, 90.00000762939453);

  a = plain(0, 0, 1);
  EXPECT_EQ(a.h, -90.0);
  EXPECT_EQ(a.v, 90.0);
  EXPECT_EQ(a.r, 1.0);

  a = plain(0, 0, -2);
  EXPECT_EQ(a.v, -90.00000762939453);
  EXPECT_EQ(a.r, 2.0);

  a = plain(3, 4, 0);
  EXPECT_EQ(a.h, -36.86989974975586);
  EXPECT_EQ(a.r, 5.0);

  // -y axis: az = -pi/2 is above the wrap threshold.
  EXPECT_EQ(plain(0, -1, 0).h, -180.0);

  // Third quadrant wraps: az = -135 degrees becomes 225.
  a = plain(-1, -1, 0);
  EXPECT_EQ(a.h, 135.0);
  EXPECT_EQ(a.r, 1.4142135381698608);
}

TEST(SphericalConversion, WrapThresholdLiesJustBelowMinusHalfPi) {
  // az = -pi/2 - 1e-14 is still above -1.570796326795: not wrapped.
  EXPECT_EQ(plain(-1e-14, -1, 0).h, -180.0);
  // az = -pi/2 - 1e-12 is below it: one turn is added, H comes out near +180.
  const double h = plain(-1e-12, -1, 0).h;
  EXPECT_GT(h, 179.9999);
  EXPECT_LT(h, 180.0001);
}

TEST(SphericalConversion, NullPointerWritesNothing) {
  ConvertCartesianToSphericalCoordinates(nullptr);
  ConvertCartesianToSphericalCoordinates(nullptr, 1.0f, 2.0f);
  ConvertCartesianToSphericalCoordinates(nullptr, 1.0f, true);
}

TEST(SphericalConversion, AgreesWithIndependentFormulaInEveryOctant) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> mag(1e-3, 1e3);
  double worstAngle = 0.0;
  for (int n = 0; n < 4000; ++n) {
    const int octant = n % 8;
    const double x = (octant & 1 ? -1 : 1) * mag(rng);
    const double y = (octant & 2 ? -1 : 1) * mag(rng);
    const double z = (octant & 4 ? -1 : 1) * mag(rng);
    const Angles a = plain(x, y, z);
    ASSERT_TRUE(isSingle(a.h) && isSingle(a.v) && isSingle(a.r)) << x << " " << y << " " << z;

    const double r = std::sqrt(x * x + y * y + z * z);
    const double v = std::asin(z / r) * 180.0 / kPi;
    const double h = std::atan2(-x, y) * 180.0 / kPi;  // from +y, positive toward -x
    EXPECT_GE(a.h, -180.0001);
    EXPECT_LE(a.h, 180.0001);
    double dh = std::fabs(a.h - h);
    if (dh > 180.0) dh = 360.0 - dh;
    worstAngle = std::fmax(worstAngle, std::fmax(dh, std::fabs(a.v - v)));
    EXPECT_NEAR(a.r, r, r * 3e-7);
  }
  // float(az), float(e) and the float results each cost at most ~2e-5 degrees.
  EXPECT_LT(worstAngle, 1e-4);
}

TEST(SphericalConversion, NearestVariantTakesPairThroughZenith) {
  // V about 60 with refV = 100: 180 - V is nearer, H turns by 180 toward refH.
  const double s60 = std::sin(60.0 * kPi / 180.0);
  const double c60 = std::cos(60.0 * kPi / 180.0);
  const Angles base = plain(0, c60, s60);
  Angles a = nearest(0, c60, s60, 170.0f, 100.0f);
  EXPECT_EQ(a.v, 180.0 - base.v);
  EXPECT_EQ(a.h, base.h + 180.0);
  EXPECT_EQ(a.r, base.r);
  a = nearest(0, c60, s60, -170.0f, 100.0f);
  EXPECT_EQ(a.v, 180.0 - base.v);
  EXPECT_EQ(a.h, base.h - 180.0);

  // V = 90 exactly: both distances equal, always through the zenith; with
  // H = -90 = refH the two turns tie and H - 180 is taken.
  a = nearest(0, 0, 1, -90.0f, 90.0f);
  EXPECT_EQ(a.v, 90.0);
  EXPECT_EQ(a.h, -270.0);
}

TEST(SphericalConversion, NearestVariantMovesHeadingByWholeTurns) {
  const Angles base = plain(1, 0, 0);  // H = -90, V just below 0
  Angles a = nearest(1, 0, 0, 250.0f, 0.0f);
  EXPECT_EQ(a.h, 270.0);
  EXPECT_EQ(a.v, base.v);
  EXPECT_EQ(nearest(1, 0, 0, -400.0f, 0.0f).h, -450.0);
  EXPECT_EQ(nearest(1, 0, 0, 0.0f, 0.0f).h, -90.0);
  EXPECT_EQ(nearest(1, 0, 0, 89.0f, 0.0f).h, -90.0);
  EXPECT_EQ(nearest(1, 0, 0, 90.0f, 0.0f).h, 270.0);  // 180 either way: the turn up wins
  EXPECT_EQ(nearest(1, 0, 0, -270.0f, 0.0f).h, -90.0);  // 180 either way: stays
}

TEST(SphericalConversion, HeadingVariantMovesTowardReference) {
  double p[3];
  headingPoint(-170.0, p);
  Angles base = plain(p[0], p[1], p[2]);
  Angles a = toward(p[0], p[1], p[2], 170.0f);  // d = -340: a whole turn
  EXPECT_EQ(a.h, base.h + 360.0);
  EXPECT_EQ(a.v, base.v);
  EXPECT_EQ(a.r, base.r);

  headingPoint(10.0, p);
  base = plain(p[0], p[1], p[2]);
  a = toward(p[0], p[1], p[2], 185.0f);  // d = -175: half a turn
  EXPECT_EQ(a.h, base.h + 180.0);
  EXPECT_EQ(a.v, base.v);
  EXPECT_EQ(toward(p[0], p[1], p[2], -185.0f).h, base.h - 180.0);  // d = 195
  EXPECT_EQ(toward(p[0], p[1], p[2], -340.0f).h, base.h - 360.0);  // d = 350

  // Within one degree (bound included) nothing moves; the flag takes no part.
  const float refH = static_cast<float>(base.h - 1.0);
  ASSERT_EQ(static_cast<double>(refH), base.h - 1.0);
  EXPECT_EQ(toward(p[0], p[1], p[2], refH).h, base.h);
  EXPECT_EQ(toward(p[0], p[1], p[2], refH, true).h, base.h);
  EXPECT_EQ(toward(p[0], p[1], p[2], 185.0f, true).h, base.h + 180.0);
}

// ---------------------------------------------------------------------------
// Cross product and rotations
// ---------------------------------------------------------------------------

TEST(CrossMultiply, ValuesAndAlgebraicProperties) {
  double a[3] = {1, 2, 3}, b[3] = {4, 5, 6}, out[3];
  CrossMultiply(a, b, out);
  EXPECT_EQ(out[0], -3.0);
  EXPECT_EQ(out[1], 6.0);
  EXPECT_EQ(out[2], -3.0);

  double ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0};
  CrossMultiply(ex, ey, out);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[2], 1.0);

  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-10, 10);
  for (int n = 0; n < 500; ++n) {
    double p[3] = {u(rng), u(rng), u(rng)}, q[3] = {u(rng), u(rng), u(rng)}, pq[3], qp[3];
    CrossMultiply(p, q, pq);
    CrossMultiply(q, p, qp);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pq[i], -qp[i]);  // exact anti-commutativity
    EXPECT_NEAR(dot(pq, p), 0.0, 1e-12);
    EXPECT_NEAR(dot(pq, q), 0.0, 1e-12);
  }
}

TEST(RotationMatrices, OrthonormalWithUnitDeterminant) {
  int (*const rotations[3])(double*, double) = {rotation_x, rotation_y, rotation_z};
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> angle(-10, 10);
  for (int axis = 0; axis < 3; ++axis) {
    for (int n = 0; n < 200; ++n) {
      double m[9];
      for (double& e : m) e = std::numeric_limits<double>::quiet_NaN();
      ASSERT_EQ(rotations[axis](m, angle(rng)), 0);
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          const double rowDot = m[3 * i] * m[3 * j] + m[3 * i + 1] * m[3 * j + 1] + m[3 * i + 2] * m[3 * j + 2];
          EXPECT_NEAR(rowDot, i == j ? 1.0 : 0.0, 4e-16);
        }
      }
      const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                         m[2] * (m[3] * m[7] - m[4] * m[6]);
      EXPECT_NEAR(det, 1.0, 1e-15);
      // The axis itself is fixed.
      EXPECT_EQ(m[4 * axis], 1.0);
    }
  }
}

TEST(RotationMatrices, RightHandedQuarterTurns) {
  double m[9], out[3];
  const double ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0}, ez[3] = {0, 0, 1};
  rotation_x(m, kPi / 2);
  multiply3(m, ey, out);  // y -> z
  EXPECT_NEAR(out[2], 1.0, 1e-15);
  rotation_y(m, kPi / 2);
  multiply3(m, ez, out);  // z -> x
  EXPECT_NEAR(out[0], 1.0, 1e-15);
  rotation_z(m, kPi / 2);
  multiply3(m, ex, out);  // x -> y
  EXPECT_NEAR(out[1], 1.0, 1e-15);
  rotation_z(m, 0.0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(m[i], i % 4 == 0 ? 1.0 : 0.0);
}

TEST(RotateAroundAxis, QuarterTurnAboutZNormalisesAxis) {
  double axis[3] = {0, 0, 2}, in[3] = {1, 0, 0}, out[3];
  mlaRotateAroundAxis(axis, 90.0, in, out);
  EXPECT_EQ(axis[0], 0.0);
  EXPECT_EQ(axis[1], 0.0);
  EXPECT_EQ(axis[2], 1.0);
  // The truncated radians-per-degree constant leaves cos(theta) near 3e-13.
  EXPECT_EQ(out[0], std::cos(90.0 * kRadPerDegLib));
  EXPECT_GT(out[0], 1e-13);
  EXPECT_EQ(out[1], std::sin(90.0 * kRadPerDegLib));
  EXPECT_EQ(out[2], 0.0);
}

TEST(RotateAroundAxis, PreservesLengthAndMatchesRodriguesFormula) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> u(-5, 5);
  std::uniform_real_distribution<double> deg(-720, 720);
  for (int n = 0; n < 1000; ++n) {
    double axis[3] = {u(rng), u(rng), u(rng)};
    double in[3] = {u(rng), u(rng), u(rng)}, out[3];
    const double angle = deg(rng);
    const double len = std::sqrt(dot(axis, axis));
    const double k[3] = {axis[0] / len, axis[1] / len, axis[2] / len};
    mlaRotateAroundAxis(axis, angle, in, out);
    EXPECT_NEAR(std::sqrt(dot(axis, axis)), 1.0, 1e-15);
    EXPECT_NEAR(std::sqrt(dot(out, out)), std::sqrt(dot(in, in)), 1e-13);
    // v cos + (k x v) sin + k (k . v)(1 - cos)
    const double th = angle * kRadPerDegLib;
    double kxv[3];
    CrossMultiply(const_cast<double*>(k), in, kxv);
    const double kv = dot(k, in);
    for (int i = 0; i < 3; ++i) {
      const double expected = in[i] * std::cos(th) + kxv[i] * std::sin(th) + k[i] * kv * (1 - std::cos(th));
      EXPECT_NEAR(out[i], expected, 1e-13);
    }
  }
}

TEST(RotateAroundAxis, AgreesWithElementaryRotations) {
  int (*const rotations[3])(double*, double) = {rotation_x, rotation_y, rotation_z};
  for (int a = 0; a < 3; ++a) {
    for (double angle : {-200.0, -45.0, 30.0, 123.456}) {
      double axis[3] = {0, 0, 0};
      axis[a] = 3.0;
      double in[3] = {0.3, -1.7, 2.9}, out[3], m[9], ref[3];
      mlaRotateAroundAxis(axis, angle, in, out);
      rotations[a](m, angle * kRadPerDegLib);
      multiply3(m, in, ref);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], ref[i], 1e-15) << "axis " << a << " angle " << angle;
    }
  }
}

TEST(RotateAroundAxis, ZeroAxisGivesNonFiniteValues) {
  double axis[3] = {0, 0, 0}, in[3] = {1, 2, 3}, out[3];
  mlaRotateAroundAxis(axis, 30.0, in, out);
  EXPECT_TRUE(std::isnan(axis[0]));
  EXPECT_FALSE(std::isfinite(out[0]));
}

// ---------------------------------------------------------------------------
// Unit vector at given angles to two vectors
// ---------------------------------------------------------------------------

TEST(SolveVectorsRelAng, PicksTheSolutionNearerToReference) {
  double b[3] = {1, 0, 0}, c[3] = {0, 1, 0}, up[3] = {0, 0, 1}, down[3] = {0, 0, -1}, out[3];
  ASSERT_EQ(solveVectorsRelAng(up, b, c, 90, 90, out), 0);
  EXPECT_NEAR(out[0], 0.0, 1e-12);
  EXPECT_NEAR(out[1], 0.0, 1e-12);
  EXPECT_EQ(out[2], 1.0);
  ASSERT_EQ(solveVectorsRelAng(down, b, c, 90, 90, out), 0);
  EXPECT_NEAR(out[0], 0.0, 1e-12);
  EXPECT_NEAR(out[1], 0.0, 1e-12);
  EXPECT_EQ(out[2], -1.0);
}

TEST(SolveVectorsRelAng, RandomSolutionsLieAtRequestedAngles) {
  std::mt19937_64 rng(5);
  std::normal_distribution<double> g;
  auto unit = [&](double* v) {
    for (int i = 0; i < 3; ++i) v[i] = g(rng);
    const double n = std::sqrt(dot(v, v));
    for (int i = 0; i < 3; ++i) v[i] /= n;
  };
  int checked = 0;
  for (int n = 0; n < 2000; ++n) {
    double b[3], c[3], target[3], ref[3], out[3];
    unit(b);
    unit(c);
    unit(target);
    // A reference near the target but not on it: acos of a dot product that
    // rounds past 1 is NaN, and then the second root is taken whatever it is.
    unit(ref);
    for (int i = 0; i < 3; ++i) ref[i] = target[i] + 0.05 * ref[i];
    const double refLen = std::sqrt(dot(ref, ref));
    for (int i = 0; i < 3; ++i) ref[i] /= refLen;
    if (std::fabs(b[0] * c[1] - c[0] * b[1]) < 0.1) continue;  // poorly conditioned
    double bc[3];
    CrossMultiply(b, c, bc);
    // The two solutions are mirror images across the plane of b and c; skip
    // targets too near that plane to tell them apart.
    if (std::fabs(dot(bc, target)) < 0.1 * std::sqrt(dot(bc, bc))) continue;
    const double angleB = std::acos(dot(b, target)) / kRadPerDegLib;
    const double angleC = std::acos(dot(c, target)) / kRadPerDegLib;
    ASSERT_EQ(solveVectorsRelAng(ref, b, c, angleB, angleC, out), 0);
    EXPECT_NEAR(dot(out, out), 1.0, 1e-10);
    EXPECT_NEAR(dot(b, out), std::cos(angleB * kRadPerDegLib), 1e-10);
    EXPECT_NEAR(dot(c, out), std::cos(angleC * kRadPerDegLib), 1e-10);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], target[i], 1e-8);
    ++checked;
  }
  EXPECT_GT(checked, 500);
}

TEST(SolveVectorsRelAng, NoSolutionReturnsMinusOneAndLeavesOutUntouched) {
  const double sentinel = 1234.5;
  double out[3] = {sentinel, sentinel, sentinel};
  double ref[3] = {0, 0, 1};

  // Zero angle to two perpendicular vectors: negative discriminant.
  double b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
  EXPECT_EQ(solveVectorsRelAng(ref, b, c, 0, 0, out), -1);

  // Parallel x-y projections (D = 0), although a solution exists.
  double bz[3] = {0, 0, 1}, cy[3] = {0, 1, 0};
  double refX[3] = {1, 0, 0};
  EXPECT_EQ(solveVectorsRelAng(refX, bz, cy, 90, 90, out), -1);
  double b2[3] = {0.6, 0.8, 0}, c2[3] = {-0.6, -0.8, 0};
  EXPECT_EQ(solveVectorsRelAng(ref, b2, c2, 90, 90, out), -1);

  // D = 1e-300: the quadratic's leading coefficient overflows and both
  // candidates come out NaN.
  double b3[3] = {1, 0, 0}, c3[3] = {1, 1e-300, 1};
  EXPECT_EQ(solveVectorsRelAng(ref, b3, c3, 60, 60, out), -1);

  for (double o : out) EXPECT_EQ(o, sentinel);
}
