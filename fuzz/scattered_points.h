// Point sets for the scattered-data fuzz targets, decoded from fuzz input.
//
// Each set is drawn from one of several shapes that stress the
// triangulation and the derivative fits: uniform random points in a box of
// any scale (coordinates from 1e-300 to 1e300), jittered and rotated grids
// (many equal distances, cocircular quadruples), points on a line rotated by
// an irrational angle with a few off it, clusters of nearly coincident
// points, points on a circle, and copies of earlier points (duplicates).
// Hostile values (NaN, infinities) are sprinkled in on request.
#ifndef LUM_FUZZ_SCATTERED_POINTS_H
#define LUM_FUZZ_SCATTERED_POINTS_H

#include "fuzz_input.h"

#include <cmath>
#include <vector>

namespace lumfuzz {

struct PointSet {
    std::vector<double> x, y, z;
    bool moderate = true;  // coordinates and values of modest size, all finite
    bool spread = false;   // moderate, and no two points closer than about 1e-3 of the extent
    bool duplicates = false;  // two points with exactly the same coordinates
    int size() const { return static_cast<int>(x.size()); }
};

inline PointSet decodePoints(Input& in, int n)
{
    PointSet p;
    p.x.resize(n);
    p.y.resize(n);
    p.z.resize(n);
    const int shape = in.range(0, 6);
    // Scale and offset: modest most of the time, anywhere in the double
    // range otherwise.
    double scale = 1.0, offset = 0.0;
    if (in.byte() < 40) {
        scale = std::ldexp(1.0, in.range(-990, 990));
        offset = in.flag() ? in.number() : 0.0;
        p.moderate = false;
    } else {
        scale = std::ldexp(1.0, in.range(-6, 6));
        offset = in.range(-64, 64);
    }
    const double angle = 0.33199835764623936 * in.range(0, 9);
    const double c = std::cos(angle), s = std::sin(angle);
    const int side = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(n))));
    const double jitter = in.flag() ? 1e-15 : 0.0;
    for (int i = 0; i < n; ++i) {
        double u = 0, v = 0;
        switch (shape) {
        case 0:  // uniform
            u = in.u32() / 4294967296.0;
            v = in.u32() / 4294967296.0;
            break;
        case 1:  // grid, maybe jittered, in random or row order
            u = (i % side) * (1.0 + jitter * static_cast<std::int8_t>(in.byte()));
            v = (i / side) * (1.0 + jitter * static_cast<std::int8_t>(in.byte()));
            break;
        case 2:  // a line with some points off it
            u = static_cast<std::int8_t>(in.byte()) / 8.0;
            v = in.byte() < 30 ? static_cast<std::int8_t>(in.byte()) / 16.0 : 0.0;
            break;
        case 3:  // clusters of nearly coincident points
            u = (in.byte() % 4) + std::ldexp(static_cast<std::int8_t>(in.byte()), -in.range(10, 50));
            v = (in.byte() % 4) + std::ldexp(static_cast<std::int8_t>(in.byte()), -in.range(10, 50));
            break;
        case 4: {  // on a circle, maybe with the centre
            const double t = in.range(0, 63) * (6.283185307179586 / 64);
            u = std::cos(t);
            v = std::sin(t);
            if (in.byte() < 10) u = v = 0.0;
            break;
        }
        case 5:  // small integers: many ties and duplicates
            u = in.range(0, 7);
            v = in.range(0, 7);
            break;
        default:  // anything
            u = in.number();
            v = in.number();
            p.moderate = false;
            break;
        }
        // Duplicate an earlier point now and then.
        if (i > 0 && in.byte() < 6) {
            const int j = in.range(0, i - 1);
            p.x[i] = p.x[j];
            p.y[i] = p.y[j];
            continue;
        }
        p.x[i] = (c * u - s * v) * scale + offset;
        p.y[i] = (s * u + c * v) * scale + offset;
    }
    // Values: a smooth function, random, or constant.
    const int values = in.range(0, 2);
    for (int i = 0; i < n; ++i) {
        const double xs = p.moderate ? p.x[i] : 0.0, ys = p.moderate ? p.y[i] : 0.0;
        if (values == 0)
            p.z[i] = 0.75 * std::exp(-0.25 * ((xs - 2) * (xs - 2) + (ys - 3) * (ys - 3))) + 0.1 * xs - 0.2 * ys;
        else if (values == 1)
            p.z[i] = in.moderate();
        else
            p.z[i] = 2.5;
    }
    // Hostile values in the data.
    if (in.byte() < 12) {
        const int k = in.range(0, std::max(0, n - 1));
        if (n > 0) {
            double* target = in.flag() ? &p.x[k] : (in.flag() ? &p.y[k] : &p.z[k]);
            *target = Input::special(in.byte());
            p.moderate = false;
        }
    }
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(p.x[i]) || !std::isfinite(p.y[i]) || !std::isfinite(p.z[i])) p.moderate = false;
    bool copied = false;
    for (int i = 0; i < n && !copied; ++i)
        for (int j = 0; j < i && !copied; ++j) copied = p.x[i] == p.x[j] && p.y[i] == p.y[j];
    p.duplicates = copied;
    p.spread = p.moderate && !copied && (shape == 1 || shape == 4) && jitter == 0.0;
    return p;
}

}  // namespace lumfuzz

#endif  // LUM_FUZZ_SCATTERED_POINTS_H
