// The built-in table of getTrilinearInterpolation.
//
// A 3 x 3 x 2 grid over the box x in [-15, 15], y in [-10, 10], z in [-5, 5]:
//
//   x nodes: -15, 0, 15        (two cells: [-15, 0) and [0, 15])
//   y nodes: -10, 0, 10        (two cells: [-10, 0) and [0, 10])
//   z nodes:  -5, 5            (one cell:  [-5, 5])
//
// Node n (0 to 17) sits at x = kNodeX[n % 3], y = kNodeY[(n / 3) % 3],
// z = kNodeZ[n / 9]; x runs fastest, so the 18 x coordinates read -15, 0, 15
// six times over:
//
//        z = -5                    z = +5
//   y=10   6   7   8          y=10  15  16  17
//   y= 0   3   4   5          y= 0  12  13  14
//   y=-10  0   1   2          y=-10  9  10  11
//        x=-15 0  15               x=-15 0  15
//
// Each node carries two tabulated components, kFirst[n] and kSecond[n]; the
// value of node n is their sum kFirst[n] + kSecond[n] (one double addition),
// and the function interpolates those node values trilinearly.
#ifndef LUM_GRIDINTERP_TRILINEAR_TABLE_H
#define LUM_GRIDINTERP_TRILINEAR_TABLE_H

namespace lum {
namespace trilinear_table {

constexpr int kNodeCount = 18;
constexpr double kNodeX[3] = {-15.0, 0.0, 15.0};
constexpr double kNodeY[3] = {-10.0, 0.0, 10.0};
constexpr double kNodeZ[2] = {-5.0, 5.0};

constexpr double kFirst[kNodeCount] = {0.055, 0.665, 0.84,  0.315, 0.156, 0.977, 0.242, 0.2,   0.91,
                                       0.728, 0.401, 0.051, 0.926, 0.224, 0.922, 0.668, 0.231, 0.889};
constexpr double kSecond[kNodeCount] = {0.543, 0.717, 0.02,  0.941, 0.261, 0.963, 0.037, 0.315, 0.912,
                                        0.275, 0.087, 0.748, 0.049, 0.919, 0.225, 0.957, 0.124, 0.468};

// Value of node n.
constexpr double nodeValue(int n) { return kFirst[n] + kSecond[n]; }

}  // namespace trilinear_table
}  // namespace lum

#endif  // LUM_GRIDINTERP_TRILINEAR_TABLE_H
