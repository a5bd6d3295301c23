// Cartesian (x, y, z) to spherical angles in degrees and a distance.
//
// H is the azimuth measured from the +y axis, positive toward -x (0 on +y,
// -90 on +x, +90 on -x, -180 on -y); V is the elevation above the x-y plane;
// R the distance. All three leave as single-precision values stored in
// doubles: the angle from the +z axis, the distance and both results are
// rounded to float on the way, exactly where the conversion does it below.
#include <VORN_LumUtility.h>

#include <cmath>

namespace {

// Degrees per radian, to 11 decimals (not the full double value of 180/pi);
// results are reproduced with this truncated factor.
constexpr double kDegreesPerRadian = 57.29577951308;
// Azimuths below this value (just below -pi/2 = -1.5707963267948966) are moved
// up by one turn, so that -pi/2 itself (the -y axis) stays at H = -180.
constexpr double kWrapThreshold = -1.570796326795;
constexpr double kFullTurn = 6.283185307179586;

// (double)(float)x: the value rounded to single precision and widened again.
inline double toSingle(double x) { return static_cast<double>(static_cast<float>(x)); }

struct Spherical {
  double h;
  double v;
  double r;
};

Spherical convert(const double* p) {
  const double x = p[0];
  const double y = p[1];
  const double z = p[2];
  double az = std::atan2(y, x);
  // Horizontal distance, formed with the azimuth before it is wrapped.
  const double rho = std::sin(az) * y + std::cos(az) * x;
  if (az < kWrapThreshold) az += kFullTurn;
  // Angle from the +z axis, in single precision.
  const double e = toSingle(std::atan2(rho, z));
  Spherical s;
  s.r = toSingle(std::sin(e) * rho + std::cos(e) * z);
  s.h = toSingle(toSingle(az) * kDegreesPerRadian - 90.0);
  s.v = toSingle(90.0 - e * kDegreesPerRadian);
  return s;
}

}  // namespace

void ConvertCartesianToSphericalCoordinates(double* v) {
  if (v == nullptr) return;
  const Spherical s = convert(v);
  v[0] = s.h;
  v[1] = s.v;
  v[2] = s.r;
}

// Every direction has two angle pairs: (H, V) and (H +- 180, 180 - V) through
// the zenith; H is also only fixed up to whole turns. This variant picks the
// representation closest to the reference angles, in double precision on the
// single-precision H and V.
void ConvertCartesianToSphericalCoordinates(double* v, float refH, float refV) {
  if (v == nullptr) return;
  const Spherical s = convert(v);
  const double rh = refH;
  const double rv = refV;
  double h = s.h;
  double el = s.v;
  if (std::fabs(rv - el) >= std::fabs(rv - (180.0 - el))) {
    // Through the zenith; H turns by half a turn, toward refH.
    el = 180.0 - el;
    if (std::fabs(rh - (h - 180.0)) > std::fabs(rh - (h + 180.0))) {
      h = h + 180.0;
    } else {
      h = h - 180.0;
    }
  } else {
    const double d0 = std::fabs(rh - h);
    const double dPlus = std::fabs(rh - (h + 360.0));
    const double dMinus = std::fabs(rh - (h - 360.0));
    if (dPlus > d0) {
      if (d0 > dMinus) h = h - 360.0;
    } else {
      if (dMinus > dPlus) {
        h = h + 360.0;
      } else {
        h = h - 360.0;
      }
    }
  }
  v[0] = h;
  v[1] = el;
  v[2] = s.r;
}

// Moves H by a half or a whole turn toward refH when it differs by more than
// one degree; V is left as converted. The flag takes no part.
void ConvertCartesianToSphericalCoordinates(double* v, float refH, bool /*flag*/) {
  if (v == nullptr) return;
  const Spherical s = convert(v);
  double h = s.h;
  const double d = h - static_cast<double>(refH);
  const double ad = std::fabs(d);
  if (ad > 1.0) {
    const double sign = d < 0.0 ? -1.0 : 1.0;
    if (std::fabs(ad - 360.0) < std::fabs(ad - 180.0)) {
      h = h - sign * 360.0;
    } else {
      h = h - sign * 180.0;
    }
  }
  v[0] = h;
  v[1] = s.v;
  v[2] = s.r;
}
