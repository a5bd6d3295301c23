#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadPerDegLib = 0.01745329251994;  // the library's truncated factor

struct Angles {
  double h, v, r;
};

// variant 0: plain; 1: nearest to (refH, refV); 2: toward refH.
Angles convert(double x, double y, double z, int variant = 0, float refH = 0, float refV = 0) {
  double v[3] = {x, y, z};
  if (variant == 0) ConvertCartesianToSphericalCoordinates(v);
  if (variant == 1) ConvertCartesianToSphericalCoordinates(v, refH, refV);
  if (variant == 2) ConvertCartesianToSphericalCoordinates(v, refH, false);
  return {v[0], v[1], v[2]};
}

bool isSingle(double d) { return static_cast<double>(static_cast<float>(d)) == d; }
double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

// Null arrays, the zero vector and NaN components: bad_input_test.cpp.
TEST(SphericalConversion, StatedValuesShowSinglePrecisionRounding) {
  const double e = 2.5044744234037353e-06, skip = 1e9;  // e: pi/2 rounded to float
  const double cases[][6] = {
      {1, 0, 0, -90.0, -e, 1.0}, {0, 1, 0, e, skip, 1.0}, {-1, 0, 0, 90.00000762939453, skip, 1.0},
      {0, 0, 1, -90.0, 90.0, 1.0}, {0, 0, -2, skip, -90.00000762939453, 2.0},
      {3, 4, 0, -36.86989974975586, skip, 5.0},
      {-1, -1, 0, 135.0, skip, 1.4142135381698608},  // third quadrant: az = -135 wraps to 225
      // The wrap threshold -1.570796326795 lies just below -pi/2: -pi/2 itself
      // and -pi/2 - 1e-14 stay.
      {0, -1, 0, -180.0, skip, 1.0}, {-1e-14, -1, 0, -180.0, skip, 1.0}};
  for (const auto& c : cases) {
    const Angles a = convert(c[0], c[1], c[2]);
    const double got[3] = {a.h, a.v, a.r};
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(c[3 + k] == skip || got[k] == c[3 + k]) << c[0] << c[1] << c[2] << " " << got[k];
  }
  EXPECT_NEAR(convert(-1e-12, -1, 0).h, 180.0, 1e-4);  // -pi/2 - 1e-12 gains a turn
}

TEST(SphericalConversion, AgreesWithIndependentFormulaInEveryOctant) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> mag(1e-3, 1e3);
  for (int n = 0; n < 4000; ++n) {
    const double x = (n & 1 ? -1 : 1) * mag(rng), y = (n & 2 ? -1 : 1) * mag(rng), z = (n & 4 ? -1 : 1) * mag(rng);
    const Angles a = convert(x, y, z);
    ASSERT_TRUE(isSingle(a.h) && isSingle(a.v) && isSingle(a.r));
    const double r = std::sqrt(x * x + y * y + z * z);
    const double h = std::atan2(-x, y) * 180 / kPi;  // from +y, positive toward -x
    // Rounding az, e and the results to float costs at most ~2e-5 degrees.
    EXPECT_NEAR(std::remainder(a.h - h, 360.0), 0.0, 1e-4);
    EXPECT_NEAR(a.v, std::asin(z / r) * 180 / kPi, 1e-4);
    EXPECT_NEAR(a.r, r, r * 3e-7);
  }
}

TEST(SphericalConversion, NearestVariantChoosesAmongEquivalentPairs) {
  // V about 60 with refV = 100: through the zenith, H turns 180 toward refH.
  const double c60 = std::cos(kPi / 3), s60 = std::sin(kPi / 3);
  const Angles base = convert(0, c60, s60);
  Angles a = convert(0, c60, s60, 1, 170.0f, 100.0f);
  EXPECT_EQ(a.v, 180.0 - base.v);
  EXPECT_EQ(a.h, base.h + 180.0);
  EXPECT_EQ(convert(0, c60, s60, 1, -170.0f, 100.0f).h, base.h - 180.0);
  // V = 90: always through the zenith; the tie between turns takes H - 180.
  a = convert(0, 0, 1, 1, -90.0f, 90.0f);
  EXPECT_EQ(a.v, 90.0);
  EXPECT_EQ(a.h, -270.0);
  // Not through the zenith: H = -90 moves by whole turns toward refH, V kept.
  // At 90 and -270 the two turns tie: the turn up, and staying.
  const float refs[][2] = {{250, 270}, {-400, -450}, {89, -90}, {90, 270}, {-270, -90}};
  for (const auto& r : refs) {
    a = convert(1, 0, 0, 1, r[0], 0.0f);
    EXPECT_EQ(a.h, r[1]) << r[0];
    EXPECT_EQ(a.v, convert(1, 0, 0).v);
  }
}

TEST(SphericalConversion, HeadingVariantMovesTowardReference) {
  auto at = [](double h, double* p) {  // point in the x-y plane with heading h
    p[0] = std::cos((h + 90) * kPi / 180);
    p[1] = std::sin((h + 90) * kPi / 180);
    p[2] = 0;
  };
  double p[3];
  at(-170, p);
  Angles base = convert(p[0], p[1], p[2]);
  Angles a = convert(p[0], p[1], p[2], 2, 170.0f);  // d = -340: a whole turn
  EXPECT_EQ(a.h, base.h + 360.0);
  EXPECT_EQ(a.v, base.v);
  EXPECT_EQ(a.r, base.r);
  at(10, p);
  base = convert(p[0], p[1], p[2]);
  // d = -175, 195, 350; |d| = 1 exactly leaves H unchanged.
  const float refH = static_cast<float>(base.h - 1.0);
  ASSERT_EQ(static_cast<double>(refH), base.h - 1.0);
  const double refs[][2] = {{185, 180}, {-185, -180}, {-340, -360}, {refH, 0}};
  for (const auto& r : refs) EXPECT_EQ(convert(p[0], p[1], p[2], 2, static_cast<float>(r[0])).h, base.h + r[1]) << r[0];
  double v[3] = {p[0], p[1], p[2]};  // the bool argument takes no part
  ConvertCartesianToSphericalCoordinates(v, 185.0f, true);
  EXPECT_EQ(v[0], base.h + 180.0);
}

TEST(CrossMultiply, Values) {
  double a[3] = {1, 2, 3}, b[3] = {4, 5, 6}, out[3];
  CrossMultiply(a, b, out);
  EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{-3, 6, -3}));
}

TEST(RotationMatrices, RightHandedOrthonormalWithUnitDeterminant) {
  int (*const rotations[3])(double*, double) = {rotation_x, rotation_y, rotation_z};
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> angle(-10, 10);
  for (int axis = 0; axis < 3; ++axis) {
    double m[9];
    for (int n = 0; n < 200; ++n) {
      ASSERT_EQ(rotations[axis](m, angle(rng)), 0);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(dot(m + 3 * i, m + 3 * j), i == j ? 1.0 : 0.0, 4e-16);
      const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                         m[2] * (m[3] * m[7] - m[4] * m[6]);
      EXPECT_NEAR(det, 1.0, 1e-15);
      EXPECT_EQ(m[4 * axis], 1.0);  // the axis stays fixed
    }
    // A quarter turn takes the next axis to the one after it (x->y->z->x):
    // entry (next-next, next) of the matrix is +1.
    rotations[axis](m, kPi / 2);
    EXPECT_NEAR(m[3 * ((axis + 2) % 3) + (axis + 1) % 3], 1.0, 1e-15) << "axis " << axis;
  }
}

TEST(RotateAroundAxis, QuarterTurnAboutZNormalisesAxis) {
  double axis[3] = {0, 0, 2}, in[3] = {1, 0, 0}, out[3];
  mlaRotateAroundAxis(axis, 90.0, in, out);
  EXPECT_EQ(std::vector<double>(axis, axis + 3), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(std::vector<double>(out, out + 3),
            (std::vector<double>{std::cos(90.0 * kRadPerDegLib), std::sin(90.0 * kRadPerDegLib), 0}));
  EXPECT_GT(out[0], 1e-13);  // about 3e-13, not 0
}

TEST(RotateAroundAxis, PreservesLengthAndMatchesRodriguesFormula) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> u(-5, 5), deg(-720, 720);
  for (int n = 0; n < 1000; ++n) {
    double axis[3] = {u(rng), u(rng), u(rng)}, in[3] = {u(rng), u(rng), u(rng)}, out[3], kxv[3];
    const double angle = deg(rng), len = std::sqrt(dot(axis, axis));
    double k[3] = {axis[0] / len, axis[1] / len, axis[2] / len};
    mlaRotateAroundAxis(axis, angle, in, out);
    EXPECT_NEAR(std::sqrt(dot(axis, axis)), 1.0, 1e-15);
    EXPECT_NEAR(std::sqrt(dot(out, out)), std::sqrt(dot(in, in)), 1e-13);
    // v cos + (k x v) sin + k (k . v)(1 - cos)
    const double th = angle * kRadPerDegLib, kv = dot(k, in);
    CrossMultiply(k, in, kxv);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(out[i], in[i] * std::cos(th) + kxv[i] * std::sin(th) + k[i] * kv * (1 - std::cos(th)), 1e-13);
  }
}

// Parallel projections and non-finite candidates: bad_input_test.cpp.
TEST(SolveVectorsRelAng, StatedCasesPickTheSolutionNearerToReference) {
  double b[3] = {1, 0, 0}, c[3] = {0, 1, 0}, up[3] = {0, 0, 1}, out[3];
  for (double z : {1.0, -1.0}) {
    double ref[3] = {0, 0, z};
    ASSERT_EQ(solveVectorsRelAng(ref, b, c, 90, 90, out), 0);
    EXPECT_NEAR(std::hypot(out[0], out[1]), 0.0, 1e-12);
    EXPECT_EQ(out[2], z);
  }
  EXPECT_EQ(solveVectorsRelAng(up, b, c, 0, 0, out), -1);  // negative discriminant
  EXPECT_EQ(out[2], -1.0);
}

TEST(SolveVectorsRelAng, RandomSolutionsLieAtRequestedAngles) {
  std::mt19937_64 rng(5);
  std::normal_distribution<double> g;
  auto unit = [&](double* v, const double* near = nullptr) {
    for (int i = 0; i < 3; ++i) v[i] = near ? near[i] + 0.05 * g(rng) : g(rng);
    const double n = std::sqrt(dot(v, v));
    for (int i = 0; i < 3; ++i) v[i] /= n;
  };
  int checked = 0;
  for (int n = 0; n < 2000; ++n) {
    double b[3], c[3], target[3], ref[3], out[3], bc[3];
    unit(b), unit(c), unit(target);
    // A unit reference near the target but not on it: acos of a dot product
    // that rounds past 1 is NaN, and then the second root is taken.
    unit(ref, target);
    CrossMultiply(b, c, bc);
    // Skip ill-conditioned pairs and targets too near the plane of b and c
    // (the two solutions are mirror images across it).
    if (std::fabs(b[0] * c[1] - c[0] * b[1]) < 0.1 || std::fabs(dot(bc, target)) < 0.1 * std::sqrt(dot(bc, bc)))
      continue;
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
