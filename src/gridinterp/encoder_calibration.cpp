// Correction of an angular encoder reading by a table of measured errors.
#include <VORN_LumUtility.h>

#include <cmath>

namespace {

// A reading this close to a tabulated position (in the angle's unit) takes that
// position's error as it stands, without interpolation.
constexpr double kPositionMatch = 1e-6;
// The errors are tabulated in 1/3600 of the angle's unit (arc-seconds for
// angles in degrees).
constexpr double kErrorUnitsPerAngleUnit = 3600.0;

}  // namespace

// table holds `count` pairs (position, error) of floats, positions ascending.
// Readings outside [first position, last position], NaN readings, an empty or
// null table: no correction. Otherwise the error is interpolated linearly
// between the two pairs around the reading. The result is rounded to float.
float encoderCalibration(double angle, unsigned int count, float* table) {
  if (table == nullptr || count == 0) return static_cast<float>(angle);
  const auto position = [table](unsigned int k) { return static_cast<double>(table[2 * k]); };
  const auto error = [table](unsigned int k) { return static_cast<double>(table[2 * k + 1]); };

  double err = 0.0;
  if (!(angle < position(0) || angle > position(count - 1))) {
    for (unsigned int k = 0; k < count; ++k) {
      if (angle <= position(k)) {
        if (std::fabs(angle - position(k)) < kPositionMatch) {
          err = error(k);
        } else if (k >= 1) {
          // k = 0 cannot get here: a reading not below p(0) that is not above
          // it equals it and matched above.
          err = ((error(k) - error(k - 1)) * (angle - position(k - 1))) / (position(k) - position(k - 1)) +
                error(k - 1);
        }
        break;
      }
    }
  }
  return static_cast<float>(angle - err / kErrorUnitsPerAngleUnit);
}
