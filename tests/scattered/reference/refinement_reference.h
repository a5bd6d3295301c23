// Straightforward least-squares cubic refinement, kept beside the tests as
// the yardstick for the library's fast version: every new neighbour is found
// by walking the adjacency lists of all nodes collected so far. The library
// must reproduce its results to the bit.
#ifndef LUM_TESTS_SCATTERED_REFERENCE_REFINEMENT_REFERENCE_H
#define LUM_TESTS_SCATTERED_REFERENCE_REFINEMENT_REFERENCE_H

#include <cmath>
#include <cstdlib>

namespace lum::scattered::reference {

inline void sdGivens(double* a, double* b, double* c, double* s);

namespace refinement_detail {

// Fewer data points cannot give the nine equations of the cubic.
constexpr int kMinRefinementPoints = 10;
// Nodes (point included) collected before the tie test, and at most.
constexpr int kFirstCollection = 14;
constexpr int kMaxNodes = 30;
// Unknowns of the cubic without constant term; the right-hand side is
// column 10 of the factor.
constexpr int kUnknowns = 9;
constexpr int kColumns = 10;

// Relative tolerance on squared distances: neighbours this close to the 12th
// nearest join the fit, so that points at (nearly) equal distances are taken
// or left out together. 1e-5 in single precision, widened.
constexpr double kTieTolerance = static_cast<double>(1e-5f);
// Smallest accepted diagonal of the factor relative to the weight of the
// latest equation. 0.01 in single precision, widened.
constexpr double kConditionTolerance = static_cast<double>(0.01f);
// Radius of influence beyond the farthest node used: sqrt(1.1) times its
// distance (1.1 in single precision, widened, applied to squared distances).
constexpr double kRadiusFactor = static_cast<double>(1.1f);

// The 9 x 9 upper triangular factor R with the right-hand side in column 10;
// entry (j, p) is r[j-1][p-1]. Entries below the diagonal are not used.
struct Factor {
  double r[kUnknowns][kColumns];
  double& at(int j, int p) { return r[j - 1][p - 1]; }
};

// Scale factors fixed once the first neighbours are known: SFS is the
// reciprocal of their mean squared distance, SF its square root, SFC = SF*SFS.
struct Scales {
  double sfs;
  double sf;
  double sfc;
};

// Equation of node np at distance D from point k, weighted by
// W = 1/D - 1/RC: the scaled cubic terms of its offset from k and, on the
// right-hand side, its value relative to z(k). Returns W.
inline double formEquation(int k, int np, double D, double RC, const Scales& scales, const double* xData,
                           const double* yData, const double* zData, double* e) {
  const double dx = xData[np - 1] - xData[k - 1];
  const double dy = yData[np - 1] - yData[k - 1];
  const double W = 1.0 / D - 1.0 / RC;
  const double W1 = scales.sf * W;
  const double W2 = scales.sfs * W;
  const double W3 = scales.sfc * W;
  e[0] = W3 * (dx * dx * dx);
  e[1] = W3 * (dx * dx) * dy;
  e[2] = W3 * dx * (dy * dy);
  e[3] = W3 * (dy * dy * dy);
  e[4] = W2 * (dx * dx);
  e[5] = W2 * dx * dy;
  e[6] = W2 * (dy * dy);
  e[7] = W1 * dx;
  e[8] = W1 * dy;
  e[9] = W * (zData[np - 1] - zData[k - 1]);
  return W;
}

// Rotates equation e against rows first to last of the factor: each rotation
// zeroes value j of e against the diagonal of row j and updates the later
// positions (right-hand side included).
inline void rotateIn(Factor& R, double* e, int first, int last) {
  for (int j = first; j <= last; ++j) {
    double c = 0.0;
    double s = 0.0;
    sdGivens(&R.at(j, j), &e[j - 1], &c, &s);
    for (int p = j + 1; p <= kColumns; ++p) {
      const double t = c * R.at(j, p) + s * e[p - 1];
      e[p - 1] = c * e[p - 1] - s * R.at(j, p);
      R.at(j, p) = t;
    }
  }
}

// Smallest |R(j, j)| for j = first to 9.
inline double smallestDiagonal(Factor& R, int first) {
  double dmin = std::fabs(R.at(first, first));
  for (int j = first + 1; j <= kUnknowns; ++j) {
    const double d = std::fabs(R.at(j, j));
    if (d < dmin) dmin = d;
  }
  return dmin;
}

}  // namespace refinement_detail

using namespace refinement_detail;

inline void sdCopyInts(int* n, int* source, int* target) {
  for (int i = 0; i < *n; ++i) target[i] = source[i];
}

inline void sdGivens(double* a, double* b, double* c, double* s) {
  const double aa = *a;
  const double bb = *b;
  // Halving through u = 2a (or 2b) keeps v^2 + 0.25 free of overflow.
  if (std::fabs(bb) >= std::fabs(aa)) {
    if (bb == 0.0) {
      *c = 1.0;
      *s = 0.0;
      return;
    }
    const double u = 2.0 * bb;
    const double v = aa / u;
    const double r = std::sqrt(v * v + 0.25) * u;
    *s = bb / r;
    *c = 2.0 * v * *s;
    *a = r;
    *b = *c != 0.0 ? 1.0 / *c : 1.0;
  } else {
    const double u = 2.0 * aa;
    const double v = bb / u;
    const double r = std::sqrt(v * v + 0.25) * u;
    *c = aa / r;
    *s = 2.0 * v * *c;
    *a = r;
    *b = *s;
  }
}

inline void sdNextNearestNode(int* L, int* n, double* xData, double* yData, int* adjNode, int* adjNext, int* adjLast,
                              int* nodeList, double* distList, int* status) {
  const int listed = *L - 1;
  const int nodes = *n;
  *status = -1;
  if (listed < 1 || listed >= nodes || nodes < 3) return;
  for (int i = 1; i <= listed; ++i) {
    const int node = nodeList[i - 1];
    if (node < 1 || node > nodes) {
      *status = i;
      return;
    }
  }
  // Mark the listed nodes (a node listed twice is marked once).
  for (int i = 0; i < listed; ++i) {
    int& last = adjLast[nodeList[i] - 1];
    if (last > 0) last = -last;
  }

  const double xc = xData[nodeList[0] - 1];
  const double yc = yData[nodeList[0] - 1];
  int best = 0;
  double bestDist = 0.0;
  for (int i = 0; i < listed; ++i) {
    const int lastCell = std::abs(adjLast[nodeList[i] - 1]);
    int cell = adjNext[lastCell - 1];
    // A list holds at most n - 1 neighbours; the bound only guards against
    // lists that are not cycles.
    for (int step = 0; step < nodes; ++step) {
      const int nj = std::abs(adjNode[cell - 1]);
      if (nj >= 1 && nj <= nodes && adjLast[nj - 1] > 0) {
        const double dx = xData[nj - 1] - xc;
        const double dy = yData[nj - 1] - yc;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (best == 0 || d < bestDist) {
          best = nj;
          bestDist = d;
        }
      }
      if (cell == lastCell) break;
      cell = adjNext[cell - 1];
    }
  }

  for (int i = 0; i < listed; ++i) {
    int& last = adjLast[nodeList[i] - 1];
    last = std::abs(last);
  }
  if (best == 0) return;  // no unlisted neighbour: the lists are not a triangulation
  nodeList[*L - 1] = best;
  distList[*L - 1] = bestDist;
  *status = 0;
}

inline void sdCubicNodalDerivatives(int* k, int* n, double* xData, double* yData, double* zData, int* adjNode,
                                    int* adjNext, int* adjLast, double* zx, double* zy, double* zxx, double* zxy,
                                    double* zyy, int* status) {
  const int centre = *k;
  const int nodes = *n;
  if (centre < 1 || centre > nodes || nodes < kMinRefinementPoints) {
    *status = -1;
    return;
  }
  // Node list and distances, entry l at [l-1]; entry 1 is the point itself.
  int npts[kMaxNodes];
  double ds[kMaxNodes];
  npts[0] = centre;
  ds[0] = 0.0;
  const int nc = nodes < kFirstCollection ? nodes : kFirstCollection;
  const int lmax = nodes < kMaxNodes ? nodes : kMaxNodes;
  double sum = 0.0;
  int nodeStatus = 0;

  auto collect = [&](int entry) {
    sdNextNearestNode(&entry, n, xData, yData, adjNode, adjNext, adjLast, npts, ds, &nodeStatus);
    return nodeStatus == 0;
  };

  // The nc - 2 nearest neighbours.
  for (int L = 2; L <= nc - 1; ++L) {
    if (!collect(L)) {
      *status = -1;
      return;
    }
    sum += ds[L - 1] * ds[L - 1];
  }
  const double rsRef = ds[nc - 2] * ds[nc - 2];

  // Further neighbours join while they tie with the last one (and always up
  // to node 10, so that there are at least nine equations). L ends as the
  // first node left out.
  int L = nc;
  double rcSq = 0.0;
  for (; L <= lmax; ++L) {
    if (!collect(L)) {
      *status = -1;
      return;
    }
    const double rs = ds[L - 1] * ds[L - 1];
    if (!((rs - rsRef) / rsRef <= kTieTolerance || L <= 10)) {
      rcSq = rs;
      break;
    }
    sum += rs;
  }
  if (L > lmax) rcSq = kRadiusFactor * (ds[lmax - 1] * ds[lmax - 1]);

  const int used = L - 2;
  Scales scales;
  scales.sfs = used / sum;
  scales.sf = std::sqrt(scales.sfs);
  scales.sfc = scales.sf * scales.sfs;
  double rc = std::sqrt(rcSq);

  // Entries 2 to 10 build the factor row by row; entries 11 to L-1 are
  // rotated into it and their residuals dropped.
  Factor R;
  double e[kColumns];
  double weight = 0.0;  // weight of the latest node equation
  for (int row = 1; row <= kUnknowns; ++row) {
    weight = formEquation(centre, npts[row], ds[row], rc, scales, xData, yData, zData, e);
    rotateIn(R, e, 1, row - 1);
    for (int p = 1; p <= kColumns; ++p) R.at(row, p) = e[p - 1];
  }
  for (int l = 11; l <= L - 1; ++l) {
    weight = formEquation(centre, npts[l - 1], ds[l - 1], rc, scales, xData, yData, zData, e);
    rotateIn(R, e, 1, kUnknowns);
  }

  // While the factor is ill-conditioned, add the next node with a wider
  // radius; after the last one, damp the third-order coefficients.
  bool conditioned = false;
  for (;;) {
    if (smallestDiagonal(R, 1) / weight >= kConditionTolerance) {
      conditioned = true;
      break;
    }
    if (L > lmax) break;
    ++L;
    double rs = 0.0;
    if (L <= lmax) {
      if (!collect(L)) {
        *status = -1;
        return;
      }
      rs = ds[L - 1] * ds[L - 1];
    } else {
      rs = ds[L - 2] * ds[L - 2];
    }
    rc = std::sqrt(kRadiusFactor * rs);
    weight = formEquation(centre, npts[L - 2], ds[L - 2], rc, scales, xData, yData, zData, e);
    rotateIn(R, e, 1, kUnknowns);
  }
  if (!conditioned) {
    for (int i = 1; i <= 4; ++i) {
      for (int p = 0; p < kColumns; ++p) e[p] = 0.0;
      e[i - 1] = weight;
      rotateIn(R, e, i, kUnknowns);
    }
    if (smallestDiagonal(R, 5) / weight < kConditionTolerance) {
      *status = -2;
      return;
    }
  }

  // Only the quadratic and linear coefficients A5 to A9 are needed.
  const double a9 = R.at(9, 10) / R.at(9, 9);
  const double a8 = (R.at(8, 10) - R.at(8, 9) * a9) / R.at(8, 8);
  const double a7 = (R.at(7, 10) - R.at(7, 8) * a8 - R.at(7, 9) * a9) / R.at(7, 7);
  const double a6 = (R.at(6, 10) - R.at(6, 7) * a7 - R.at(6, 8) * a8 - R.at(6, 9) * a9) / R.at(6, 6);
  const double a5 = (R.at(5, 10) - R.at(5, 6) * a6 - R.at(5, 7) * a7 - R.at(5, 8) * a8 - R.at(5, 9) * a9) / R.at(5, 5);
  *zx = scales.sf * a8;
  *zy = scales.sf * a9;
  *zxx = 2.0 * scales.sfs * a5;
  *zxy = scales.sfs * a6;
  *zyy = 2.0 * scales.sfs * a7;
  *status = L - 1;
}

}  // namespace lum::scattered::reference

#endif  // LUM_TESTS_SCATTERED_REFERENCE_REFINEMENT_REFERENCE_H
