// Partial derivatives of the scattered-data surface at the data points: local
// polynomial fits of degree up to three and a weighted mean of the estimates
// that neighbouring fits give at each point.
#include "scattered/partial_derivatives.h"

#include "scattered/cubic_refinement.h"
#include "scattered/nearest_points.h"

#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace lum::scattered {
namespace {

// Number of nearest neighbours kept per point.
constexpr int kNeighbours = kNearestCount;

// Fewer data points cannot fill the nine neighbours of every point.
constexpr int kMinPoints = 10;

// A pivot below this magnitude makes a local system singular: 1e-8 in single
// precision, widened (9.99999993922529e-09, slightly below the double 1e-8).
// The threshold is absolute; the systems are not scaled.
constexpr double kPivotTolerance = static_cast<double>(1e-8f);

// Largest accepted condition numbers, 3.5e7 per equation: beyond them the
// fitted coefficients are dominated by rounding and the next lower degree is
// tried.
constexpr double kCubicConditionLimit = 350000000.0;      // 10 equations
constexpr double kQuadraticConditionLimit = 210000000.0;  // 6 equations
constexpr double kLinearConditionLimit = 105000000.0;     // 3 equations

// Volatilities up to this value count as zero: 1e-38 in single precision
// (a subnormal float), widened to 9.999999350456404e-39.
constexpr double kZeroVolatility = static_cast<double>(1e-38f);

// The second phase of the set selection stops at this many sets.
constexpr int kMinCandidateSets = 3;
constexpr int kMaxSecondPhaseSets = 6;

// Maximum with NaN propagation: a NaN row sum makes the norm NaN, so that a
// condition number built from non-finite data fails every limit.
inline double maxPropagatingNaN(double current, double value) {
  if (std::isnan(current)) return current;
  if (std::isnan(value) || value > current) return value;
  return current;
}

// Terms of the local polynomials, in the column order of their systems.
// Powers are formed first, then multiplied left to right: X^2 Y = (X X) Y,
// X Y^2 = X (Y Y).
void cubicTerms(double X, double Y, double* row) {
  const double xx = X * X;
  const double yy = Y * Y;
  row[0] = 1.0;
  row[1] = X;
  row[2] = xx;
  row[3] = xx * X;
  row[4] = Y;
  row[5] = X * Y;
  row[6] = xx * Y;
  row[7] = yy;
  row[8] = X * yy;
  row[9] = yy * Y;
}

void quadraticTerms(double X, double Y, double* row) {
  row[0] = 1.0;
  row[1] = X;
  row[2] = X * X;
  row[3] = Y;
  row[4] = X * Y;
  row[5] = Y * Y;
}

void linearTerms(double X, double Y, double* row) {
  row[0] = 1.0;
  row[1] = X;
  row[2] = Y;
}

// Set of point q: q and the fitCount(q) neighbours its fit used, ascending,
// in members[0 .. fitCount(q)].
void sortCandidateSet(int q, const int* nearest, const int* fitCount, int* members) {
  const int used = fitCount[q - 1];
  members[0] = q;
  for (int k = 1; k <= used; ++k) members[k] = nearest[kNeighbours * (q - 1) + k - 1];
  for (int i = 1; i <= used; ++i) {  // insertion sort of at most 10 distinct numbers
    for (int j = i; j > 0 && members[j - 1] > members[j]; --j) std::swap(members[j - 1], members[j]);
  }
}

// Accepted candidate sets of one point: their sorted members (in the table
// of all sets) and sizes.
struct CandidateSets {
  const int* members[kMaxCandidateSets];
  int size[kMaxCandidateSets];
  int count = 0;

  bool contains(const int* set, int setSize) const {
    for (int s = 0; s < count; ++s) {
      if (size[s] != setSize) continue;
      int j = 0;
      while (j < setSize && members[s][j] == set[j]) ++j;
      if (j == setSize) return true;
    }
    return false;
  }
};

// Appends the set of q unless an equal set is already accepted.
void acceptSet(int q, const int* sortedSets, const int* fitCount, CandidateSets& sets, int* generators) {
  const int* set = sortedSets + kMaxSystemOrder * (q - 1);
  const int setSize = fitCount[q - 1] + 1;
  if (sets.contains(set, setSize)) return;
  sets.members[sets.count] = set;
  sets.size[sets.count] = setSize;
  generators[sets.count] = q;
  ++sets.count;
}

// ---------------------------------------------------------------------------
// Local systems
//
// The inversion of A by elimination with column pivoting transforms A and an
// identity E side by side: at step j, row j of both is divided by the pivot
// and the multiples f(i, j) = A(i, j) of row j are subtracted from the rows
// below. E's operations depend on E itself, the pivots and the multipliers
// only, so A is eliminated first (pivots recorded, multipliers left in A's
// lower triangle, which the elimination never reads again) and E follows;
// every entry still sees the same operations in the same order. A failing
// pivot thus costs no work on E. Row-major storage changes no arithmetic and
// keeps row operations on contiguous memory.

// Largest row sum of |m| (row-major, order N), each sum from +0.0 in column
// order.
double rowSumNorm(int N, const double* m) {
  double norm = 0.0;
  for (int i = 0; i < N; ++i) {
    double rowSum = 0.0;
    for (int j = 0; j < N; ++j) rowSum += std::fabs(m[i * N + j]);
    norm = maxPropagatingNaN(norm, rowSum);
  }
  return norm;
}

// Sum of |e| over row i (row-major, order N), from +0.0 in column order.
double rowAbsSum(int N, const double* e, int i) {
  double sum = 0.0;
  for (int k = 0; k < N; ++k) sum += std::fabs(e[i * N + k]);
  return sum;
}

// Elimination of A (row-major, order N) with column pivoting along each row,
// the first of equal magnitudes winning. perm records the column exchanges
// (1-based), pivot the pivots before their division. Returns false as soon
// as a pivot is below 1e-8 in magnitude.
bool eliminate(int N, double* a, int* perm, double* pivot) {
  for (int i = 0; i < N; ++i) perm[i] = i + 1;
  for (int j = 0; j < N; ++j) {
    double* aj = a + j * N;
    int pivotCol = j;
    double pivotMag = std::fabs(aj[j]);
    for (int t = j + 1; t < N; ++t) {
      if (std::fabs(aj[t]) > pivotMag) {
        pivotCol = t;
        pivotMag = std::fabs(aj[t]);
      }
    }
    if (pivotCol != j) {
      for (int i = 0; i < N; ++i) std::swap(a[i * N + j], a[i * N + pivotCol]);
      std::swap(perm[j], perm[pivotCol]);
    }
    if (std::fabs(aj[j]) < kPivotTolerance) return false;
    pivot[j] = aj[j];
    for (int k = j; k < N; ++k) aj[k] /= pivot[j];
    for (int i = j + 1; i < N; ++i) {
      double* ai = a + i * N;
      const double f = ai[j];
      for (int k = j + 1; k < N; ++k) ai[k] -= f * aj[k];
    }
  }
  return true;
}

// E's part of the elimination, on every entry: E starts as the identity.
void forwardIdentity(int N, const double* a, const double* pivot, double* e) {
  for (int i = 0; i < N; ++i) {
    for (int k = 0; k < N; ++k) e[i * N + k] = i == k ? 1.0 : 0.0;
  }
  for (int j = 0; j < N; ++j) {
    double* ej = e + j * N;
    for (int k = 0; k < N; ++k) ej[k] /= pivot[j];
    for (int i = j + 1; i < N; ++i) {
      double* ei = e + i * N;
      const double f = a[i * N + j];
      for (int k = 0; k < N; ++k) ei[k] -= f * ej[k];
    }
  }
}

// The same on E's lower triangle only. Before step j, the rows from j on are
// still unit rows beyond column j-1, and with finite multipliers and pivots
// that are numbers the operations on those entries only ever give zeros
// (0 / pivot, 0 - f * 0) or keep the diagonal 1 (1 - f * 0); the lower
// triangle never reads them. Skipping them leaves +0.0 where the full form
// may hold -0.0. From then on the two forms can differ only in the signs of
// zeros: adding or subtracting a zero leaves a non-zero value as it is, a
// product with a zero is a zero (or NaN in both forms when the other factor
// is not finite), and a result that comes out zero does so in both. Row sums
// take magnitudes and the solution sums start from +0.0, where adding a zero
// of either sign gives +0.0, so every result agrees to the bit. Returns
// false, with E not formed, when a multiplier is not finite or a pivot is
// NaN.
bool forwardIdentityLower(int N, const double* a, const double* pivot, double* e) {
  for (int j = 0; j < N; ++j) {
    if (std::isnan(pivot[j])) return false;
    for (int i = j + 1; i < N; ++i) {
      if (!std::isfinite(a[i * N + j])) return false;
    }
  }
  for (int i = 0; i < N; ++i) {
    for (int k = 0; k < N; ++k) e[i * N + k] = i == k ? 1.0 : 0.0;
  }
  for (int j = 0; j < N; ++j) {
    double* ej = e + j * N;
    for (int k = 0; k <= j; ++k) ej[k] /= pivot[j];
    for (int i = j + 1; i < N; ++i) {
      double* ei = e + i * N;
      const double f = a[i * N + j];
      for (int k = 0; k <= j; ++k) ei[k] -= f * ej[k];
    }
  }
  return true;
}

// Back substitution of row j of e with the unit upper triangle left in a;
// rows j+1 to N-1 must be done already. Row j is then row perm(j) of the
// inverse.
void backSubstituteRow(int N, const double* a, double* e, int j) {
  double* ej = e + j * N;
  for (int i = j + 1; i < N; ++i) {
    const double f = a[j * N + i];
    const double* ei = e + i * N;
    for (int k = 0; k < N; ++k) ej[k] -= f * ei[k];
  }
}

// solution(perm(i)) = sum over k of e(i, k) b(k), from +0.0 in k order.
void applyInverse(int N, const double* e, const int* perm, const double* rhs, double* solution) {
  for (int i = 0; i < N; ++i) {
    double s = 0.0;
    for (int k = 0; k < N; ++k) s += e[i * N + k] * rhs[k];
    solution[perm[i] - 1] = s;
  }
}

// Builds the system whose row r (1-based) holds the terms of point rowPoint[r-1]
// and its z value and solves it; true when it is regular and its condition
// number |A| * |A^-1| is within `limit`, with the solution in `solution`.
//
// The condition number is never formed. Each row of the inverse is final as
// soon as the back substitution has passed it (the last one right after the
// elimination), and |A^-1| is the largest row sum. Rounding is monotone, so
// |A| * |A^-1| equals |A| * (the largest row sum) taken row by row; the test
// fails exactly when one row gives |A| * sum above the limit or NaN, and the
// rest of the inversion is then skipped.
bool solveLocalSystem(int N, const int* rowPoint, void (*terms)(double, double, double*), double limit,
                      const double* xData, const double* yData, const double* zData, double* solution) {
  double a[kMaxSystemOrder * kMaxSystemOrder];
  double e[kMaxSystemOrder * kMaxSystemOrder];
  double rhs[kMaxSystemOrder];
  double pivot[kMaxSystemOrder];
  int perm[kMaxSystemOrder];
  for (int r = 0; r < N; ++r) {
    const int q = rowPoint[r];
    terms(xData[q - 1], yData[q - 1], a + r * N);
    rhs[r] = zData[q - 1];
  }
  const double aNorm = rowSumNorm(N, a);
  if (!eliminate(N, a, perm, pivot)) return false;
  if (!forwardIdentityLower(N, a, pivot, e)) forwardIdentity(N, a, pivot, e);
  for (int j = N - 1; j >= 0; --j) {
    backSubstituteRow(N, a, e, j);
    if (!(aNorm * rowAbsSum(N, e, j) <= limit)) return false;
  }
  applyInverse(N, e, perm, rhs, solution);
  return true;
}

// The fit of sdFitLocalPolynomials for point p.
void fitLocalPolynomial(int p, const double* xData, const double* yData, const double* zData, const int* nearest,
                        double* cubicCoef, int* fitCount, int* fitDegree) {
  double* c = cubicCoef + 9 * (p - 1);  // c[0] is c1
  const int* near = nearest + kNeighbours * (p - 1);
  for (int k = 0; k < 9; ++k) c[k] = 0.0;

  // Rows: the point itself, then its neighbours nearest first.
  int rowPoint[kMaxSystemOrder];
  rowPoint[0] = p;
  for (int r = 1; r < kMaxSystemOrder; ++r) rowPoint[r] = near[r - 1];
  double sol[kMaxSystemOrder];

  if (solveLocalSystem(10, rowPoint, cubicTerms, kCubicConditionLimit, xData, yData, zData, sol)) {
    for (int k = 0; k < 9; ++k) c[k] = sol[k + 1];
    fitCount[p - 1] = 9;
    fitDegree[p - 1] = 3;
    return;
  }
  if (solveLocalSystem(6, rowPoint, quadraticTerms, kQuadraticConditionLimit, xData, yData, zData, sol)) {
    c[0] = sol[1];  // X
    c[1] = sol[2];  // X^2
    c[3] = sol[3];  // Y
    c[4] = sol[4];  // XY
    c[6] = sol[5];  // Y^2
    fitCount[p - 1] = 5;
    fitDegree[p - 1] = 2;
    return;
  }
  // The plane goes through the three nearest neighbours only.
  if (solveLocalSystem(3, near, linearTerms, kLinearConditionLimit, xData, yData, zData, sol)) {
    c[0] = sol[1];
    c[3] = sol[2];
    fitCount[p - 1] = 3;
    fitDegree[p - 1] = 1;
    return;
  }
  // Slope from the point towards its nearest neighbour.
  const int q = near[0];
  const double dx = xData[q - 1] - xData[p - 1];
  const double dy = yData[q - 1] - yData[p - 1];
  const double dz = zData[q - 1] - zData[p - 1];
  const double lengthSq = dx * dx + dy * dy;
  c[0] = dz * dx / lengthSq;
  c[3] = dz * dy / lengthSq;
  fitCount[p - 1] = 1;
  fitDegree[p - 1] = 0;
}

// The plane of sdFitLocalPlanes for point p.
void fitLocalPlane(int p, const double* xData, const double* yData, const double* zData, const int* nearest,
                   const int* fitCount, double* planeCoef) {
  const int* near = nearest + kNeighbours * (p - 1);
  double* plane = planeCoef + 2 * (p - 1);
  const int K = fitCount[p - 1] + 1;
  if (K == 2) {
    const int q = near[0];
    const double dx = xData[q - 1] - xData[p - 1];
    const double dy = yData[q - 1] - yData[p - 1];
    const double dz = zData[q - 1] - zData[p - 1];
    const double lengthSq = dx * dx + dy * dy;
    plane[0] = dz * dx / lengthSq;
    plane[1] = dz * dy / lengthSq;
    return;
  }
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0, syy = 0.0, sz = 0.0, sxz = 0.0, syz = 0.0;
  for (int r = 0; r < K; ++r) {
    const int q = r == 0 ? p : near[r - 1];
    const double X = xData[q - 1];
    const double Y = yData[q - 1];
    const double Z = zData[q - 1];
    sx += X;
    sy += Y;
    sxx += X * X;
    sxy += X * Y;
    syy += Y * Y;
    sz += Z;
    sxz += X * Z;
    syz += Y * Z;
  }
  const double N = K;
  const double a11 = N * sxx - sx * sx;
  const double a12 = N * sxy - sx * sy;
  const double a22 = N * syy - sy * sy;
  const double b1 = N * sxz - sx * sz;
  const double b2 = N * syz - sy * sz;
  const double D = a11 * a22 - a12 * a12;
  plane[0] = (b1 * a22 - b2 * a12) / D;
  plane[1] = (b2 * a11 - b1 * a12) / D;
}

// The lists of sdListNamers over any numbering of the points: the lists hold
// numbers of that numbering, and with originalOf (not null) each list is put
// in ascending order of the original point numbers.
void listNamers(int n, const int* nearest, const int* fitCount, const int* originalOf, int* namerStart,
                int* namers) {
  // Calls visit(t, q) for every point t that q's fit used, once per t.
  auto forEachNamed = [&](int q, auto visit) {
    const int* near = nearest + kNeighbours * (q - 1);
    const int used = fitCount[q - 1];
    for (int k = 0; k < used; ++k) {
      const int t = near[k];
      if (t < 1 || t > n || std::find(near, near + k, t) != near + k) continue;
      visit(t, q);
    }
  };
  // Count per point, then turn the counts into list ends: namerStart[t] is
  // the end of the list of t and namerStart[t-1] its start.
  std::fill(namerStart, namerStart + n + 1, 0);
  for (int q = 1; q <= n; ++q) forEachNamed(q, [&](int t, int) { ++namerStart[t]; });
  for (int t = 1; t <= n; ++t) namerStart[t] += namerStart[t - 1];
  // Fill in ascending q, advancing namerStart[t-1] as the cursor of list t:
  // each cursor ends on the end of its list, one place early, and moves back.
  for (int q = 1; q <= n; ++q) forEachNamed(q, [&](int t, int namer) { namers[namerStart[t - 1]++] = namer; });
  for (int t = n; t >= 1; --t) namerStart[t] = namerStart[t - 1];
  namerStart[0] = 0;
  if (originalOf == nullptr) return;
  for (int t = 1; t <= n; ++t) {  // insertion sort of a handful of namers
    for (int i = namerStart[t - 1] + 1; i < namerStart[t]; ++i) {
      for (int j = i; j > namerStart[t - 1] && originalOf[namers[j - 1] - 1] > originalOf[namers[j] - 1]; --j) {
        std::swap(namers[j - 1], namers[j]);
      }
    }
  }
}

// sdSelectCandidateSets over any numbering: with originalOf (not null), the
// points are merged in ascending order of their original numbers.
void selectCandidateSets(int centre, const int* nearest, const int* fitCount, const int* sortedSets,
                         const int* namerStart, const int* namers, const int* originalOf, int* setCount,
                         int* generators) {
  auto original = [originalOf](int q) { return originalOf != nullptr ? originalOf[q - 1] : q; };
  CandidateSets sets;
  // p0 and the points that name p0, merged in ascending order: the points
  // that a scan over all points would find to qualify, in its order.
  const int* namer = namers + namerStart[centre - 1];
  const int* const namerEnd = namers + namerStart[centre];
  bool centreTaken = false;
  while (sets.count < kMaxCandidateSets) {
    int q = 0;
    if (!centreTaken && (namer == namerEnd || original(*namer) >= original(centre))) {
      q = centre;
      centreTaken = true;
    } else if (namer != namerEnd) {
      q = *namer++;
    } else {
      break;
    }
    acceptSet(q, sortedSets, fitCount, sets, generators);
  }
  // A point that few fits use borrows the sets of its own nine neighbours.
  if (sets.count < kMinCandidateSets) {
    const int* near = nearest + kNeighbours * (centre - 1);
    for (int k = 0; k < kNeighbours && sets.count < kMaxSecondPhaseSets; ++k) {
      acceptSet(near[k], sortedSets, fitCount, sets, generators);
    }
  }
  *setCount = sets.count;
}

// sdWeightEstimates for a point at (X0, Y0), writing its five partials to out.
void weighEstimates(double X0, double Y0, const double* cubicCoef, const double* planeCoef, int m,
                    const int* generators, double* out) {
  // Primary estimates: the derivatives of each generating point's polynomial
  // at p0 (terms added left to right, powers formed first).
  double e[kMaxCandidateSets][5];
  for (int i = 0; i < m; ++i) {
    const double* c = cubicCoef + 9 * (generators[i] - 1);
    const double c1 = c[0], c2 = c[1], c3 = c[2], c4 = c[3], c5 = c[4], c6 = c[5], c7 = c[6], c8 = c[7],
                 c9 = c[8];
    e[i][0] = c1 + 2.0 * c2 * X0 + 3.0 * c3 * (X0 * X0) + c5 * Y0 + 2.0 * c6 * X0 * Y0 + c8 * (Y0 * Y0);
    e[i][1] = c4 + c5 * X0 + c6 * (X0 * X0) + 2.0 * c7 * Y0 + 2.0 * c8 * X0 * Y0 + 3.0 * c9 * (Y0 * Y0);
    e[i][2] = 2.0 * c2 + 6.0 * c3 * X0 + 2.0 * c6 * Y0;
    e[i][3] = c5 + 2.0 * c6 * X0 + 2.0 * c8 * Y0;
    e[i][4] = 2.0 * c7 + 2.0 * c8 * X0 + 6.0 * c9 * Y0;
  }
  if (m == 1) {
    for (int k = 0; k < 5; ++k) out[k] = e[0][k];
    return;
  }

  double mean[5];
  double var[5];
  for (int k = 0; k < 5; ++k) {
    double sum = 0.0;
    for (int i = 0; i < m; ++i) sum += e[i][k];
    mean[k] = sum / m;
    double sumSq = 0.0;
    for (int i = 0; i < m; ++i) {
      const double d = e[i][k] - mean[k];
      sumSq += d * d;
    }
    var[k] = sumSq / (m - 1);
  }

  double sumA[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
  double sumB[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
  double totalA = 0.0;
  double totalB = 0.0;
  for (int i = 0; i < m; ++i) {
    // Probability weight from the normalised deviations of the components
    // that vary at all.
    double chiSq = 0.0;
    for (int k = 0; k < 5; ++k) {
      if (var[k] != 0.0) {
        const double d = e[i][k] - mean[k];
        chiSq += d * d / var[k];
      }
    }
    const double w = std::exp(-0.5 * chiSq);
    // Volatility: curvature times the squared distance between the estimated
    // gradient and the generating point's plane gradient.
    const double* plane = planeCoef + 2 * (generators[i] - 1);
    const double ga = e[i][0] - plane[0];
    const double gb = e[i][1] - plane[1];
    const double v = (e[i][2] * e[i][2] + 2.0 * (e[i][3] * e[i][3]) + e[i][4] * e[i][4]) * (ga * ga + gb * gb);
    if (v > kZeroVolatility) {
      const double wv = w / v;
      for (int k = 0; k < 5; ++k) sumA[k] += wv * e[i][k];
      totalA += wv;
    } else {
      for (int k = 0; k < 5; ++k) sumB[k] += w * e[i][k];
      totalB += w;
    }
  }
  if (totalB > 0.0) {
    for (int k = 0; k < 5; ++k) out[k] = sumB[k] / totalB;
  } else if (totalA == 0.0 && totalB == 0.0) {
    // Every weight vanished (infinite volatilities): dividing would give
    // 0/0, so the estimates count equally.
    for (int k = 0; k < 5; ++k) out[k] = mean[k];
  } else {
    for (int k = 0; k < 5; ++k) out[k] = sumA[k] / totalA;
  }
}

}  // namespace

void sdNearestPoints(int* pointCount, double* xData, double* yData, int* nearest, double* distSq,
                     int* distOrder) {
  if (*pointCount < kMinPoints) return;
  Numbering numbering;
  nearestPointsInOrder(*pointCount, xData, yData, nearest, distSq, distOrder, numbering, nullptr);
}

void sdSolveByInverse(int* order, double* matrix, double* rhs, double* solution, double* flag,
                      double* cond, int* perm, double* work1, double* work2) {
  const int N = *order;
  double* a = work1;
  double* e = work2;
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) a[i * N + j] = matrix[j * N + i];
  }
  const double aNorm = rowSumNorm(N, a);
  double pivot[kMaxSystemOrder];
  if (!eliminate(N, a, perm, pivot)) {
    for (int i = 0; i < N; ++i) solution[i] = 0.0;
    *flag = 0.0;
    return;
  }
  *flag = 1.0;
  forwardIdentity(N, a, pivot, e);
  double inverseNorm = 0.0;
  for (int j = N - 1; j >= 0; --j) {
    backSubstituteRow(N, a, e, j);
    inverseNorm = maxPropagatingNaN(inverseNorm, rowAbsSum(N, e, j));
  }
  *cond = aNorm * inverseNorm;
  applyInverse(N, e, perm, rhs, solution);
}

void sdFitLocalPolynomials(int* pointCount, double* xData, double* yData, double* zData, int* nearest,
                           double* cubicCoef, int* fitCount, int* fitDegree) {
  for (int p = 1; p <= *pointCount; ++p) {
    fitLocalPolynomial(p, xData, yData, zData, nearest, cubicCoef, fitCount, fitDegree);
  }
}

void sdFitLocalPlanes(int* pointCount, double* xData, double* yData, double* zData, int* nearest,
                      int* fitCount, double* planeCoef) {
  for (int p = 1; p <= *pointCount; ++p) fitLocalPlane(p, xData, yData, zData, nearest, fitCount, planeCoef);
}

void sdListNamers(int* pointCount, int* nearest, int* fitCount, int* namerStart, int* namers) {
  listNamers(*pointCount, nearest, fitCount, nullptr, namerStart, namers);
}

void sdSortCandidateSets(int* pointCount, int* nearest, int* fitCount, int* sortedSets) {
  for (int q = 1; q <= *pointCount; ++q) sortCandidateSet(q, nearest, fitCount, sortedSets + kMaxSystemOrder * (q - 1));
}

void sdSelectCandidateSets(int* p0, int* nearest, int* fitCount, int* sortedSets, int* namerStart, int* namers,
                           int* setCount, int* generators) {
  selectCandidateSets(*p0, nearest, fitCount, sortedSets, namerStart, namers, nullptr, setCount, generators);
}

void sdWeightEstimates(int* p0, double* xData, double* yData, double* cubicCoef, double* planeCoef,
                       int* setCount, int* generators, double* partials) {
  weighEstimates(xData[*p0 - 1], yData[*p0 - 1], cubicCoef, planeCoef, *setCount, generators,
                 partials + 5 * static_cast<std::ptrdiff_t>(*p0 - 1));
}

}  // namespace lum::scattered

namespace lum::scattered {
namespace {

// The stages of sdpd3p_ for n >= 10 points. With adjacency lists (adjNode
// not null) the points whose fit stayed below degree three are then refined
// by sdRefineDerivatives, and the weighted mean is formed only for the points
// that keep it. The weighted mean of a point reads the fits and planes of
// other points, never partials, so leaving out the means that the
// refinement would overwrite changes no result.
void estimatePartials(int n, double* xData, double* yData, double* zData, double* partials, double* cubicCoef,
                      double* planeCoef, double* distSq, int* distOrder, int* nearest, int* fitCount,
                      int* fitDegree, int* adjNode, int* adjNext, int* adjLast) {
  const std::size_t count = static_cast<std::size_t>(n);
  // The stages after the neighbour search work on copies of the data in the
  // search's leaf order (local numbers), where the points a point reads are
  // its neighbours and lie close in memory; their results are copied to the
  // caller's arrays. Nothing in these stages depends on the numbering but the
  // order in which the candidate sets are accepted, which follows the
  // original numbers.
  Numbering numbering;
  std::vector<int> nearLocal(kNeighbours * count);
  nearestPointsInOrder(n, xData, yData, nearest, distSq, distOrder, numbering, nearLocal.data());
  const std::vector<int>& originalOf = numbering.originalOf;
  std::vector<double> x(count), y(count), z(count);
  for (std::size_t i = 0; i < count; ++i) {
    x[i] = xData[originalOf[i] - 1];
    y[i] = yData[originalOf[i] - 1];
    z[i] = zData[originalOf[i] - 1];
  }
  std::vector<double> cubic(9 * count), plane(2 * count);
  std::vector<int> used(count), degree(count), sortedSets(kMaxSystemOrder * count);
  for (int i = 1; i <= n; ++i) {
    fitLocalPolynomial(i, x.data(), y.data(), z.data(), nearLocal.data(), cubic.data(), used.data(), degree.data());
    fitLocalPlane(i, x.data(), y.data(), z.data(), nearLocal.data(), used.data(), plane.data());
    sortCandidateSet(i, nearLocal.data(), used.data(), sortedSets.data() + kMaxSystemOrder * (i - 1));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::ptrdiff_t p = originalOf[i] - 1;
    std::copy(&cubic[9 * i], &cubic[9 * i] + 9, cubicCoef + 9 * p);
    planeCoef[2 * p] = plane[2 * i];
    planeCoef[2 * p + 1] = plane[2 * i + 1];
    fitCount[p] = used[i];
    fitDegree[p] = degree[i];
  }
  std::vector<int> refined;
  if (adjNode != nullptr) {
    refined.resize(count);
    sdRefineDerivatives(&n, xData, yData, zData, adjNode, adjNext, adjLast, fitDegree, partials, refined.data());
  }
  // Who names whom, once for all points, instead of a scan over all points
  // for every point.
  std::size_t mentions = 0;
  for (int u : used) mentions += static_cast<std::size_t>(u);
  std::vector<int> namerStart(count + 1);
  std::vector<int> namers(mentions);
  listNamers(n, nearLocal.data(), used.data(), originalOf.data(), namerStart.data(), namers.data());
  for (int i = 1; i <= n; ++i) {
    if (!refined.empty() && refined[originalOf[i - 1] - 1] != 0) continue;
    int setCount = 0;
    int generators[kMaxCandidateSets];
    selectCandidateSets(i, nearLocal.data(), used.data(), sortedSets.data(), namerStart.data(), namers.data(),
                        originalOf.data(), &setCount, generators);
    weighEstimates(x[i - 1], y[i - 1], cubic.data(), plane.data(), setCount, generators,
                   partials + 5 * static_cast<std::ptrdiff_t>(originalOf[i - 1] - 1));
  }
}

}  // namespace

void sdEstimateAndRefine(int* pointCount, double* xData, double* yData, double* zData, double* partials,
                         double* cubicCoef, double* planeCoef, double* distSq, int* distOrder, int* nearest,
                         int* fitCount, int* fitDegree, int* adjNode, int* adjNext, int* adjLast) {
  if (*pointCount < kMinPoints) return;
  estimatePartials(*pointCount, xData, yData, zData, partials, cubicCoef, planeCoef, distSq, distOrder, nearest,
                   fitCount, fitDegree, adjNode, adjNext, adjLast);
}

}  // namespace lum::scattered

int sdpd3p_(int* pointCount, double* xData, double* yData, double* zData, double* partials, double* cubicCoef,
            double* planeCoef, double* distSq, int* distOrder, int* nearest, int* fitCount, int* fitDegree) {
  using namespace lum::scattered;
  // The neighbour search reads ten positions: fewer points get nothing.
  if (*pointCount < kMinPoints) return 0;
  estimatePartials(*pointCount, xData, yData, zData, partials, cubicCoef, planeCoef, distSq, distOrder, nearest,
                   fitCount, fitDegree, nullptr, nullptr, nullptr);
  return 0;
}
