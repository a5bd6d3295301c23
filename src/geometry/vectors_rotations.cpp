// Cross product, elementary rotation matrices, rotation about an arbitrary
// axis, and the unit vector at given angles to two vectors. Vectors are three
// doubles; matrices are nine doubles in row-major order.
#include <VORN_LumUtility.h>

#include <cmath>

namespace {

// Radians per degree, to 14 decimals (not the full double value of pi/180);
// results are reproduced with this truncated factor.
constexpr double kRadiansPerDegree = 0.01745329251994;

inline double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline bool finite3(const double* a) {
  return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

}  // namespace

// Each component is stored as soon as it is formed, so out must not share
// storage with a or b.
void CrossMultiply(double* const a, double* const b, double* const out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

int rotation_x(double* m, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  m[0] = 1.0; m[1] = 0.0; m[2] = 0.0;
  m[3] = 0.0; m[4] = c;   m[5] = -s;
  m[6] = 0.0; m[7] = s;   m[8] = c;
  return 0;
}

int rotation_y(double* m, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  m[0] = c;   m[1] = 0.0; m[2] = s;
  m[3] = 0.0; m[4] = 1.0; m[5] = 0.0;
  m[6] = -s;  m[7] = 0.0; m[8] = c;
  return 0;
}

int rotation_z(double* m, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  m[0] = c;   m[1] = -s;  m[2] = 0.0;
  m[3] = s;   m[4] = c;   m[5] = 0.0;
  m[6] = 0.0; m[7] = 0.0; m[8] = 1.0;
  return 0;
}

// Rodrigues' rotation matrix for the unit axis (x, y, z), applied with the
// library's matrix product: a right-handed (counterclockwise seen from the
// axis tip) turn by `angle` degrees. The caller's axis is left normalised; a
// zero axis gives non-finite values.
void mlaRotateAroundAxis(double* const axis, double angle, double* const in, double* const out) {
  const double theta = angle * kRadiansPerDegree;
  const double n = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  axis[0] = axis[0] / n;
  axis[1] = axis[1] / n;
  axis[2] = axis[2] / n;
  const double x = axis[0];
  const double y = axis[1];
  const double z = axis[2];
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const double t = 1.0 - c;
  const double rot[9] = {
      x * x * t + c,     x * y * t - z * s, x * z * t + y * s,
      x * y * t + z * s, y * y * t + c,     y * z * t - x * s,
      x * z * t - y * s, y * z * t + x * s, z * z * t + c,
  };
  MatrixMultiply(rot, in, 3, 3, 1, out);
}

// Solves b.u = cos(angleB), c.u = cos(angleC), |u| = 1 for u. The first two
// equations give u0 and u1 as linear functions of u2 (Cramer's rule on the x-y
// parts of b and c, determinant D); the unit length then leaves a quadratic in
// u2. Of its two roots the one at the smaller angle to ref is written (the
// second on a tie or when an angle is not defined).
//
// No solution (-1, out untouched): a negative discriminant, D = 0 (the x-y
// projections of b and c are parallel, so u0 and u1 cannot be solved for), or
// a candidate that is not finite (D so small that the divisions overflow).
int solveVectorsRelAng(double* const ref, double* const b, double* const c, double angleB, double angleC,
                       double* const out) {
  const double kB = std::cos(angleB * kRadiansPerDegree);
  const double kC = std::cos(angleC * kRadiansPerDegree);
  const double D = b[0] * c[1] - c[0] * b[1];
  if (D == 0.0) return -1;

  const double q0 = -(b[2] * c[1] - c[2] * b[1]) / D;
  const double p0 = (kB * c[1] - kC * b[1]) / D;
  const double q1 = (b[2] * c[0] - c[2] * b[0]) / D;
  const double p1 = -(kB * c[0] - kC * b[0]) / D;

  const double A = q0 * q0 + 1.0 + q1 * q1;
  const double B = 2.0 * q1 * p1 + 2.0 * q0 * p0;
  const double C = p1 * p1 + p0 * p0 - 1.0;
  const double disc = B * B - 4.0 * A * C;
  if (disc < 0.0) return -1;

  const double root = std::sqrt(disc);
  const double u2First = (root - B) * 0.5 / A;
  const double u2Second = (-B - root) * 0.5 / A;
  const double s1[3] = {p0 + q0 * u2First, p1 + q1 * u2First, u2First};
  const double s2[3] = {p0 + q0 * u2Second, p1 + q1 * u2Second, u2Second};
  if (!finite3(s1) || !finite3(s2)) return -1;

  const double alpha1 = std::acos(dot3(ref, s1));
  const double alpha2 = std::acos(dot3(ref, s2));
  const double* chosen = alpha2 > alpha1 ? s1 : s2;
  out[0] = chosen[0];
  out[1] = chosen[1];
  out[2] = chosen[2];
  return 0;
}
