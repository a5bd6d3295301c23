// Straightforward partial-derivative estimation, kept beside the tests as
// the yardstick for the library's fast version: every point's nine nearest
// neighbours by a selection over all n squared distances, the candidate sets
// by a scan over all points, and the local systems by a full inversion. The
// library must reproduce its outputs and scratch columns to the bit.
#ifndef LUM_TESTS_SCATTERED_REFERENCE_PARTIALS_REFERENCE_H
#define LUM_TESTS_SCATTERED_REFERENCE_PARTIALS_REFERENCE_H

#include <cmath>

namespace lum::scattered::reference {

// Largest number of candidate sets whose estimates enter one weighted mean.
inline constexpr int kMaxCandidateSets = 25;

// Order of the largest local system (the cubic: ten unknowns).
inline constexpr int kMaxSystemOrder = 10;

inline void sdSolveByInverse(int* order, double* matrix, double* rhs, double* solution, double* flag, double* cond,
                             int* perm, double* work1, double* work2);

namespace partials_detail {

// Number of nearest neighbours kept per point.
constexpr int kNeighbours = 9;

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
inline void cubicTerms(double X, double Y, double* row) {
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

inline void quadraticTerms(double X, double Y, double* row) {
  row[0] = 1.0;
  row[1] = X;
  row[2] = X * X;
  row[3] = Y;
  row[4] = X * Y;
  row[5] = Y * Y;
}

inline void linearTerms(double X, double Y, double* row) {
  row[0] = 1.0;
  row[1] = X;
  row[2] = Y;
}

// Builds the system whose row r (1-based) holds the terms of point rowPoint[r-1]
// and its z value, solves it and reports whether it is regular and its
// condition number within `limit`. The solution goes to `solution`.
inline bool solveLocalSystem(int order, const int* rowPoint, void (*terms)(double, double, double*), double limit,
                             const double* xData, const double* yData, const double* zData, double* solution) {
  double matrix[kMaxSystemOrder * kMaxSystemOrder];
  double rhs[kMaxSystemOrder];
  double work1[kMaxSystemOrder * kMaxSystemOrder];
  double work2[kMaxSystemOrder * kMaxSystemOrder];
  int perm[kMaxSystemOrder];
  for (int r = 1; r <= order; ++r) {
    const int q = rowPoint[r - 1];
    double row[kMaxSystemOrder];
    terms(xData[q - 1], yData[q - 1], row);
    for (int j = 1; j <= order; ++j) matrix[(j - 1) * order + r - 1] = row[j - 1];
    rhs[r - 1] = zData[q - 1];
  }
  double flag = 0.0;
  double cond = 0.0;
  sdSolveByInverse(&order, matrix, rhs, solution, &flag, &cond, perm, work1, work2);
  // A NaN condition number fails the comparison and so the test.
  return flag != 0.0 && cond <= limit;
}

// Set of point q: q and the fitCount(q) neighbours its fit used, ascending.
// Returns its size.
inline int candidateSet(int q, const int* nearest, const int* fitCount, int* members) {
  const int used = fitCount[q - 1];
  members[0] = q;
  for (int k = 1; k <= used; ++k) members[k] = nearest[kNeighbours * (q - 1) + k - 1];
  const int size = used + 1;
  for (int i = 1; i < size; ++i) {  // insertion sort of at most 10 distinct numbers
    const int value = members[i];
    int j = i;
    for (; j > 0 && members[j - 1] > value; --j) members[j] = members[j - 1];
    members[j] = value;
  }
  return size;
}

// Accepted candidate sets of one point: members, sizes and generating points.
struct CandidateSets {
  int members[kMaxCandidateSets][kMaxSystemOrder];
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
inline void acceptSet(int q, const int* nearest, const int* fitCount, CandidateSets& sets, int* generators) {
  int set[kMaxSystemOrder];
  const int setSize = candidateSet(q, nearest, fitCount, set);
  if (sets.contains(set, setSize)) return;
  for (int j = 0; j < setSize; ++j) sets.members[sets.count][j] = set[j];
  sets.size[sets.count] = setSize;
  generators[sets.count] = q;
  ++sets.count;
}

// True when q's fit used p0 among its neighbours.
inline bool fitUses(int q, int p0, const int* nearest, const int* fitCount) {
  const int* near = nearest + kNeighbours * (q - 1);
  const int used = fitCount[q - 1];
  for (int k = 0; k < used; ++k) {
    if (near[k] == p0) return true;
  }
  return false;
}

}  // namespace partials_detail

using namespace partials_detail;

inline void sdNearestPoints(int* pointCount, double* xData, double* yData, int* nearest, double* distSq,
                            int* distOrder) {
  const int n = *pointCount;
  if (n < kMinPoints) return;
  const int lastSorted = n - 1 < 10 ? n - 1 : 10;
  for (int p0 = 1; p0 <= n; ++p0) {
    const double x0 = xData[p0 - 1];
    const double y0 = yData[p0 - 1];
    for (int q = 1; q <= n; ++q) {
      const double dx = xData[q - 1] - x0;
      const double dy = yData[q - 1] - y0;
      distOrder[q - 1] = q;
      distSq[q - 1] = dx * dx + dy * dy;
    }
    // p0 goes to the front; point 1 takes its place in the working order.
    distOrder[p0 - 1] = 1;
    distSq[p0 - 1] = distSq[0];
    distOrder[0] = p0;
    distSq[0] = 0.0;
    // Selection of positions 2 to 10; only a strictly nearer entry displaces
    // the current candidate, so the first of equal distances wins.
    for (int j = 2; j <= lastSorted; ++j) {
      int best = j;
      double bestDist = distSq[j - 1];
      for (int i = j + 1; i <= n; ++i) {
        if (distSq[i - 1] < bestDist) {
          best = i;
          bestDist = distSq[i - 1];
        }
      }
      if (best != j) {
        const int order = distOrder[j - 1];
        distOrder[j - 1] = distOrder[best - 1];
        distOrder[best - 1] = order;
        distSq[best - 1] = distSq[j - 1];
        distSq[j - 1] = bestDist;
      }
    }
    int* near = nearest + kNeighbours * (p0 - 1);
    for (int k = 1; k <= kNeighbours; ++k) near[k - 1] = distOrder[k];
  }
}

inline void sdSolveByInverse(int* order, double* matrix, double* rhs, double* solution, double* flag, double* cond,
                             int* perm, double* work1, double* work2) {
  const int N = *order;
  // Column-major N x N matrices, 1-based (i, j).
  auto at = [N](double* m, int i, int j) -> double& { return m[(j - 1) * N + i - 1]; };
  double* A = matrix;
  double* E = work1;        // the identity, transformed alongside A
  double* inverse = work2;  // E with the column exchanges undone

  double aNorm = 0.0;
  for (int i = 1; i <= N; ++i) {
    perm[i - 1] = i;
    double rowSum = 0.0;
    for (int j = 1; j <= N; ++j) {
      rowSum += std::fabs(at(A, i, j));
      at(E, i, j) = i == j ? 1.0 : 0.0;
    }
    aNorm = maxPropagatingNaN(aNorm, rowSum);
  }

  for (int j = 1; j <= N; ++j) {
    // Column pivoting along row j; the first of equal magnitudes wins.
    int pivotCol = j;
    double pivotMag = std::fabs(at(A, j, j));
    for (int t = j + 1; t <= N; ++t) {
      if (std::fabs(at(A, j, t)) > pivotMag) {
        pivotCol = t;
        pivotMag = std::fabs(at(A, j, t));
      }
    }
    if (pivotCol != j) {
      for (int i = 1; i <= N; ++i) {
        const double v = at(A, i, j);
        at(A, i, j) = at(A, i, pivotCol);
        at(A, i, pivotCol) = v;
      }
      const int p = perm[j - 1];
      perm[j - 1] = perm[pivotCol - 1];
      perm[pivotCol - 1] = p;
    }
    if (std::fabs(at(A, j, j)) < kPivotTolerance) {
      for (int i = 0; i < N; ++i) solution[i] = 0.0;
      *flag = 0.0;
      return;
    }
    const double pivot = at(A, j, j);
    for (int k = j; k <= N; ++k) at(A, j, k) /= pivot;
    for (int k = 1; k <= N; ++k) at(E, j, k) /= pivot;
    for (int i = j + 1; i <= N; ++i) {
      const double f = at(A, i, j);
      for (int k = j + 1; k <= N; ++k) at(A, i, k) -= f * at(A, j, k);
      for (int k = 1; k <= N; ++k) at(E, i, k) -= f * at(E, j, k);
    }
  }
  *flag = 1.0;

  // Back substitution with the unit upper triangle left in A.
  for (int j = N; j >= 1; --j) {
    for (int i = j + 1; i <= N; ++i) {
      const double a = at(A, j, i);
      for (int k = 1; k <= N; ++k) at(E, j, k) -= a * at(E, i, k);
    }
  }
  // Row i of E belongs to the unknown that sat in column perm(i).
  for (int i = 1; i <= N; ++i) {
    for (int k = 1; k <= N; ++k) at(inverse, perm[i - 1], k) = at(E, i, k);
  }

  double inverseNorm = 0.0;
  for (int i = 1; i <= N; ++i) {
    double rowSum = 0.0;
    for (int k = 1; k <= N; ++k) rowSum += std::fabs(at(inverse, i, k));
    inverseNorm = maxPropagatingNaN(inverseNorm, rowSum);
  }
  *cond = aNorm * inverseNorm;

  for (int i = 1; i <= N; ++i) {
    double s = 0.0;
    for (int k = 1; k <= N; ++k) s += at(inverse, i, k) * rhs[k - 1];
    solution[i - 1] = s;
  }
}

inline void sdFitLocalPolynomials(int* pointCount, double* xData, double* yData, double* zData, int* nearest,
                                  double* cubicCoef, int* fitCount, int* fitDegree) {
  const int n = *pointCount;
  for (int p = 1; p <= n; ++p) {
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
      continue;
    }
    if (solveLocalSystem(6, rowPoint, quadraticTerms, kQuadraticConditionLimit, xData, yData, zData, sol)) {
      c[0] = sol[1];  // X
      c[1] = sol[2];  // X^2
      c[3] = sol[3];  // Y
      c[4] = sol[4];  // XY
      c[6] = sol[5];  // Y^2
      fitCount[p - 1] = 5;
      fitDegree[p - 1] = 2;
      continue;
    }
    // The plane goes through the three nearest neighbours only.
    if (solveLocalSystem(3, near, linearTerms, kLinearConditionLimit, xData, yData, zData, sol)) {
      c[0] = sol[1];
      c[3] = sol[2];
      fitCount[p - 1] = 3;
      fitDegree[p - 1] = 1;
      continue;
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
}

inline void sdFitLocalPlanes(int* pointCount, double* xData, double* yData, double* zData, int* nearest, int* fitCount,
                             double* planeCoef) {
  const int n = *pointCount;
  for (int p = 1; p <= n; ++p) {
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
      continue;
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
}

inline void sdSelectCandidateSets(int* p0, int* pointCount, int* nearest, int* fitCount, int* setCount,
                                  int* generators) {
  const int n = *pointCount;
  const int centre = *p0;
  CandidateSets sets;
  for (int q = 1; q <= n && sets.count < kMaxCandidateSets; ++q) {
    if (q == centre || fitUses(q, centre, nearest, fitCount)) acceptSet(q, nearest, fitCount, sets, generators);
  }
  // A point that few fits use borrows the sets of its own nine neighbours.
  if (sets.count < kMinCandidateSets) {
    const int* near = nearest + kNeighbours * (centre - 1);
    for (int k = 0; k < kNeighbours && sets.count < kMaxSecondPhaseSets; ++k) {
      acceptSet(near[k], nearest, fitCount, sets, generators);
    }
  }
  *setCount = sets.count;
}

inline void sdWeightEstimates(int* p0, double* xData, double* yData, double* cubicCoef, double* planeCoef,
                              int* setCount, int* generators, double* partials) {
  const int m = *setCount;
  const double X0 = xData[*p0 - 1];
  const double Y0 = yData[*p0 - 1];
  double* out = partials + 5 * (*p0 - 1);

  // Primary estimates: the derivatives of each generating point's polynomial
  // at p0 (terms added left to right, powers formed first).
  double e[kMaxCandidateSets][5];
  for (int i = 0; i < m; ++i) {
    const double* c = cubicCoef + 9 * (generators[i] - 1);
    const double c1 = c[0], c2 = c[1], c3 = c[2], c4 = c[3], c5 = c[4], c6 = c[5], c7 = c[6], c8 = c[7], c9 = c[8];
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

// The whole of sdpd3p_, stage by stage.
inline int sdpd3p(int* pointCount, double* xData, double* yData, double* zData, double* partials, double* cubicCoef,
                  double* planeCoef, double* distSq, int* distOrder, int* nearest, int* fitCount, int* fitDegree) {
  // The neighbour search reads ten positions: fewer points get nothing.
  if (*pointCount < kMinPoints) return 0;
  sdNearestPoints(pointCount, xData, yData, nearest, distSq, distOrder);
  sdFitLocalPolynomials(pointCount, xData, yData, zData, nearest, cubicCoef, fitCount, fitDegree);
  sdFitLocalPlanes(pointCount, xData, yData, zData, nearest, fitCount, planeCoef);
  for (int p0 = 1; p0 <= *pointCount; ++p0) {
    int setCount = 0;
    int generators[kMaxCandidateSets];
    sdSelectCandidateSets(&p0, pointCount, nearest, fitCount, &setCount, generators);
    sdWeightEstimates(&p0, xData, yData, cubicCoef, planeCoef, &setCount, generators, partials);
  }
  return 0;
}

}  // namespace lum::scattered::reference

#endif  // LUM_TESTS_SCATTERED_REFERENCE_PARTIALS_REFERENCE_H
