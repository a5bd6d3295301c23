// Coordinate geometry on hostile vectors and angles.
//
// Properties: the spherical conversions return single-precision values,
// angles in their ranges and a distance equal to the vector's length (to
// single precision) for moderate input; the two reference variants return
// the same direction as the plain one (H moved by multiples of 180, V kept
// or mirrored through the zenith); the cross product is antisymmetric to
// the bit; rotations preserve length and leave a unit axis;
// solveVectorsRelAng reports success only with a finite unit vector at the
// requested angles and leaves `out` untouched when it fails.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <cstdint>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;
using lumfuzz::sameValue;

bool isSingle(double v)
{
    return std::isnan(v) || static_cast<double>(static_cast<float>(v)) == v;
}

double norm3(const double* v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void checkSpherical(Input& in)
{
    const bool hostile = in.flag();
    double v[3];
    for (double& c : v) c = hostile ? in.number() : in.moderate();
    const double length = norm3(v);
    double a[3] = {v[0], v[1], v[2]}, b[3] = {v[0], v[1], v[2]}, c[3] = {v[0], v[1], v[2]};
    const float refH = hostile ? in.single() : static_cast<float>(in.range(-400, 400));
    const float refV = hostile ? in.single() : static_cast<float>(in.range(-200, 200));
    ConvertCartesianToSphericalCoordinates(a);
    ConvertCartesianToSphericalCoordinates(b, refH, refV);
    ConvertCartesianToSphericalCoordinates(c, refH, in.flag());
    ConvertCartesianToSphericalCoordinates(nullptr);
    ConvertCartesianToSphericalCoordinates(nullptr, refH, refV);
    ConvertCartesianToSphericalCoordinates(nullptr, refH, true);

    for (double x : a) LUM_FUZZ_CHECK(isSingle(x));
    LUM_FUZZ_CHECK(sameValue(a[2], b[2]) && sameValue(a[2], c[2]));
    LUM_FUZZ_CHECK(sameValue(a[1], c[1]));
    if (hostile || length == 0.0 || !(length > 1e-30)) return;

    LUM_FUZZ_CHECK(a[0] >= -180.0001 && a[0] <= 180.0001);
    LUM_FUZZ_CHECK(a[1] >= -90.0001 && a[1] <= 90.0001);
    LUM_FUZZ_CHECK(std::fabs(a[2] - length) <= 1e-6 * length);
    // Same direction: V kept or mirrored, H moved by whole half turns.
    LUM_FUZZ_CHECK(b[1] == a[1] || b[1] == 180.0 - a[1]);
    const double turnsB = (b[0] - a[0]) / 180.0, turnsC = (c[0] - a[0]) / 180.0;
    LUM_FUZZ_CHECK(turnsB == std::round(turnsB) && std::fabs(turnsB) <= 2.0);
    LUM_FUZZ_CHECK(turnsC == std::round(turnsC) && std::fabs(turnsC) <= 2.0);
    // Through the zenith exactly when H moves by an odd number of half turns.
    LUM_FUZZ_CHECK((b[1] != a[1]) == (std::fmod(std::fabs(turnsB), 2.0) == 1.0) || b[1] == 90.0);
}

void checkVectors(Input& in)
{
    const bool hostile = in.flag();
    double p[3], q[3], r1[3], r2[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = hostile ? in.number() : in.moderate();
        q[i] = hostile ? in.number() : in.moderate();
    }
    CrossMultiply(p, q, r1);
    CrossMultiply(q, p, r2);
    // Q - P is -(P - Q) exactly, but a zero difference is +0.0 both ways.
    for (int i = 0; i < 3; ++i) LUM_FUZZ_CHECK(r1[i] == -r2[i] || (std::isnan(r1[i]) && std::isnan(r2[i])));

    double axis[3], out[3];
    for (double& x : axis) x = hostile ? in.number() : in.moderate();
    const double angle = hostile ? in.number() : in.range(-720, 720) / 2.0;
    const double axisLength = norm3(axis);
    mlaRotateAroundAxis(axis, angle, p, out);
    if (hostile || !(axisLength > 1e-100)) return;
    LUM_FUZZ_CHECK(std::fabs(norm3(axis) - 1.0) < 1e-12);
    const double len = norm3(p);
    LUM_FUZZ_CHECK(std::fabs(norm3(out) - len) <= 1e-12 * len + 1e-300);

    double m[9];
    const double radians = in.number();
    LUM_FUZZ_CHECK(rotation_x(m, radians) == 0 && rotation_y(m, radians) == 0 && rotation_z(m, radians) == 0);
}

void unitVector(Input& in, double* v)
{
    for (int i = 0; i < 3; ++i) v[i] = in.moderate();
    const double n = norm3(v);
    if (!(n > 1e-6)) {
        v[0] = 1.0;
        v[1] = v[2] = 0.0;
        return;
    }
    for (int i = 0; i < 3; ++i) v[i] /= n;
}

void checkRelativeAngles(Input& in)
{
    const bool hostile = in.flag();
    double ref[3], b[3], c[3];
    if (hostile) {
        for (int i = 0; i < 3; ++i) {
            ref[i] = in.number();
            b[i] = in.number();
            c[i] = in.number();
        }
    } else {
        unitVector(in, ref);
        unitVector(in, b);
        unitVector(in, c);
    }
    const double angleB = hostile ? in.number() : in.range(0, 360) / 2.0;
    const double angleC = hostile ? in.number() : in.range(0, 360) / 2.0;
    const double guard = 7.0;
    double out[3] = {guard, guard, guard};
    const int r = solveVectorsRelAng(ref, b, c, angleB, angleC, out);
    LUM_FUZZ_CHECK(r == 0 || r == -1);
    if (r == -1) {
        for (double x : out) LUM_FUZZ_CHECK(sameBits(x, guard));
        return;
    }
    for (double x : out) LUM_FUZZ_CHECK(std::isfinite(x));
    if (hostile) return;
    // Well-conditioned cases only: the x-y projections of b and c clearly
    // apart, so that the solution is not amplified rounding.
    const double d = b[0] * c[1] - c[0] * b[1];
    if (std::fabs(d) < 0.1) return;
    const double kB = std::cos(angleB * 0.01745329251994), kC = std::cos(angleC * 0.01745329251994);
    LUM_FUZZ_CHECK(std::fabs(norm3(out) - 1.0) < 1e-6);
    LUM_FUZZ_CHECK(std::fabs(b[0] * out[0] + b[1] * out[1] + b[2] * out[2] - kB) < 1e-6);
    LUM_FUZZ_CHECK(std::fabs(c[0] * out[0] + c[1] * out[1] + c[2] * out[2] - kC) < 1e-6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    switch (in.byte() % 3) {
    case 0: checkSpherical(in); break;
    case 1: checkVectors(in); break;
    default: checkRelativeAngles(in); break;
    }
    return 0;
}
