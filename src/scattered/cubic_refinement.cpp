// Weighted least-squares cubic through the nearest neighbours of a data point,
// solved by Givens rotations, giving refined first and second derivatives.
#include "scattered/cubic_refinement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

namespace lum::scattered {
namespace {

// Fewer data points cannot give the nine equations of the cubic.
constexpr int kMinPoints = 10;
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
double formEquation(int k, int np, double D, double RC, const Scales& scales, const double* xData,
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

// Rotation that zeroes b against a: c, s and r = +-sqrt(a^2 + b^2), the
// arithmetic of sdGivens. Halving through u = 2a (or 2b) keeps v^2 + 0.25
// free of overflow. For b = 0 with |b| >= |a| (a = 0 too): c = 1, s = 0,
// r = a.
inline void rotation(double a, double b, double& c, double& s, double& r) {
  if (std::fabs(b) >= std::fabs(a)) {
    if (b == 0.0) {
      c = 1.0;
      s = 0.0;
      r = a;
      return;
    }
    const double u = 2.0 * b;
    const double v = a / u;
    r = std::sqrt(v * v + 0.25) * u;
    s = b / r;
    c = 2.0 * v * s;
  } else {
    const double u = 2.0 * a;
    const double v = b / u;
    r = std::sqrt(v * v + 0.25) * u;
    c = a / r;
    s = 2.0 * v * c;
  }
}

// Rotates equation e against row j of the factor: zeroes value j of e
// against the diagonal of row j and updates the later positions (right-hand
// side included). Value j of e is not used again, so the by-product that
// sdGivens would leave there is not formed.
inline void rotateAgainstRow(Factor& R, double* e, int j) {
  double c = 0.0;
  double s = 0.0;
  double r = 0.0;
  rotation(R.at(j, j), e[j - 1], c, s, r);
  R.at(j, j) = r;
  for (int p = j + 1; p <= kColumns; ++p) {
    const double t = c * R.at(j, p) + s * e[p - 1];
    e[p - 1] = c * e[p - 1] - s * R.at(j, p);
    R.at(j, p) = t;
  }
}

// Rotates equation e against rows first to last of the factor, in order.
void rotateIn(Factor& R, double* e, int first, int last) {
  for (int j = first; j <= last; ++j) rotateAgainstRow(R, e, j);
}

// Rotates the first `equations` node equations in: equation i (0-based) of
// the first nine becomes row i+1 after its rotations against rows 1 to i
// (it is formed in place, in row i+1), and each later one (in extra[i-9]) is
// rotated against rows 1 to 9 and dropped. This is what rotateIn does
// equation by equation, rearranged in time: equation i meets row j at step
// i + j - 1. Each row is still changed by the equations in their order, and
// each equation still meets the rows in order (the equation that becomes a
// row is complete two steps before the next equation meets that row), so
// every value sees the same operations in the same order. Within a step the rotations are
// independent, and the chains of square roots and divisions overlap.
void rotateAllIn(Factor& R, double (*extra)[kColumns], int equations) {
  for (int step = 1; step <= equations + kUnknowns - 2; ++step) {
    // Equation i meets row j = step - i + 1 when 1 <= j <= min(i, 9), that
    // is for 2i >= step + 1, i <= step and i >= step - 8.
    const int firstEquation = std::max((step + 2) / 2, step - (kUnknowns - 1));
    const int lastEquation = std::min(step, equations - 1);
    for (int i = firstEquation; i <= lastEquation; ++i) {
      double* e = i < kUnknowns ? R.r[i] : extra[i - kUnknowns];
      rotateAgainstRow(R, e, step - i + 1);
    }
  }
}

// Smallest |R(j, j)| for j = first to 9.
double smallestDiagonal(Factor& R, int first) {
  double dmin = std::fabs(R.at(first, first));
  for (int j = first + 1; j <= kUnknowns; ++j) {
    const double d = std::fabs(R.at(j, j));
    if (d < dmin) dmin = d;
  }
  return dmin;
}

// ---------------------------------------------------------------------------
// Neighbour collection
//
// sdNextNearestNode walks, for every new entry, the lists of all collected
// nodes in collection order, each from the cell after its last one, and keeps
// the first unlisted neighbour of smallest distance. The collectors below walk
// every list once, when its node is first needed, and put every neighbour
// into a frontier when it is first met, with its distance. The frontier thus
// holds the unlisted nodes that the full walk would see, in the order of
// their first appearance in it; a node met again later has the same distance
// and could not win over its first appearance. Taking the first strictly
// smallest distance in frontier order therefore picks the node that the full
// walk picks, ties included, and an empty frontier is the walk's failure.

// Takes the first node of smallest distance out of a frontier of `size`
// entries, keeping the order of the rest.
void takeNearest(int* node, double* dist, int& size, int* nodeOut, double* distOut) {
  int best = 0;
  for (int i = 1; i < size; ++i) {
    if (dist[i] < dist[best]) best = i;
  }
  *nodeOut = node[best];
  *distOut = dist[best];
  for (int i = best + 1; i < size; ++i) {
    node[i - 1] = node[i];
    dist[i - 1] = dist[i];
  }
  --size;
}

// Most nodes that one refinement may mark: the collected nodes and every
// neighbour met on their lists. Ordinary triangulations stay far below (about
// 60 for 30 collected nodes); beyond it the collection goes on with
// sdNextNearestNode.
constexpr int kMaxMetNodes = 512;

// Collector for one point on the caller's lists. Met nodes are marked by
// negating their adjLast entries (sdNextNearestNode marks the collected ones
// the same way), so "not yet met" is the walk's own test adjLast > 0. Every
// mark is removed by restore(), which runs before the lists are handed to
// sdNextNearestNode and on destruction.
class MarkingCollector {
 public:
  MarkingCollector(int centre, int n, const double* xData, const double* yData, int* adjNode, int* adjNext,
                   int* adjLast)
      : n_(n), xData_(xData), yData_(yData), adjNode_(adjNode), adjNext_(adjNext), adjLast_(adjLast),
        xc_(xData[centre - 1]), yc_(yData[centre - 1]) {
    mark(centre);
  }
  MarkingCollector(const MarkingCollector&) = delete;
  MarkingCollector& operator=(const MarkingCollector&) = delete;
  ~MarkingCollector() { restore(); }

  // False after too many nodes were met: the marks are gone and the caller
  // goes on with sdNextNearestNode.
  bool active() const { return active_; }

  // Fills node-list entry L; false when there is no unlisted neighbour or
  // when the collector gave up (see active()).
  bool next(int L, const int* nodeList, int* node, double* dist) {
    for (; walked_ < L - 1; ++walked_) {
      if (!walk(nodeList[walked_])) {
        restore();
        active_ = false;
        return false;
      }
    }
    if (frontierSize_ == 0) return false;
    takeNearest(frontierNode_, frontierDist_, frontierSize_, node, dist);
    return true;
  }

 private:
  void restore() {
    for (int i = 0; i < markedCount_; ++i) adjLast_[marked_[i] - 1] = -adjLast_[marked_[i] - 1];
    markedCount_ = 0;
  }

  // An entry that is not positive already counts as marked for the walk
  // and is left alone.
  bool mark(int node) {
    if (adjLast_[node - 1] <= 0) return true;
    if (markedCount_ == kMaxMetNodes) return false;
    adjLast_[node - 1] = -adjLast_[node - 1];
    marked_[markedCount_++] = node;
    return true;
  }

  // Meets the neighbours of a collected node in list order (the walk of
  // sdNextNearestNode, with its bound of n cells).
  bool walk(int node) {
    const int lastCell = std::abs(adjLast_[node - 1]);
    int cell = adjNext_[lastCell - 1];
    for (int step = 0; step < n_; ++step) {
      const int nj = std::abs(adjNode_[cell - 1]);
      if (nj >= 1 && nj <= n_ && adjLast_[nj - 1] > 0) {
        if (!mark(nj)) return false;
        const double dx = xData_[nj - 1] - xc_;
        const double dy = yData_[nj - 1] - yc_;
        frontierNode_[frontierSize_] = nj;
        frontierDist_[frontierSize_] = std::sqrt(dx * dx + dy * dy);
        ++frontierSize_;
      }
      if (cell == lastCell) break;
      cell = adjNext_[cell - 1];
    }
    return true;
  }

  int n_;
  const double* xData_;
  const double* yData_;
  int* adjNode_;
  int* adjNext_;
  int* adjLast_;
  double xc_, yc_;
  bool active_ = true;
  int walked_ = 0;  // node-list entries whose lists have been walked
  int marked_[kMaxMetNodes];
  int markedCount_ = 0;
  int frontierNode_[kMaxMetNodes];
  double frontierDist_[kMaxMetNodes];
  int frontierSize_ = 0;
};

// The neighbour lists of all nodes, packed and renumbered: node v is local
// node localOf[v-1] (1-based), and the list of local node i holds, in the
// order of the walk of sdNextNearestNode, the local numbers of the neighbours
// that the walk meets and may accept (numbers 1 to n), at
// list[start[i-1] .. start[i]-1]. Walking them reads consecutive memory
// instead of chasing cells.
struct PackedLists {
  std::vector<int> start;
  std::vector<int> list;

  // False when the lists are not as a triangulation leaves them (a cell
  // outside 1 to 6n or an adjLast entry below 1); nothing is packed then.
  // order[i-1] is the node that becomes local node i.
  bool pack(int n, const int* adjNode, const int* adjNext, const int* adjLast, const std::vector<int>& order,
            const std::vector<int>& localOf) {
    const long long cells = 6LL * n;
    start.assign(static_cast<std::size_t>(n) + 1, 0);
    list.clear();
    list.reserve(static_cast<std::size_t>(cells));
    for (int i = 1; i <= n; ++i) {
      const int lastCell = adjLast[order[i - 1] - 1];
      if (lastCell < 1 || lastCell > cells) return false;
      int cell = adjNext[lastCell - 1];
      for (int step = 0; step < n; ++step) {
        if (cell < 1 || cell > cells) return false;
        const int nj = std::abs(adjNode[cell - 1]);
        if (nj >= 1 && nj <= n) list.push_back(localOf[nj - 1]);
        if (cell == lastCell) break;
        cell = adjNext[cell - 1];
      }
      start[i] = static_cast<int>(list.size());
    }
    return true;
  }
};

// Collector on packed lists. A node counts as met when its stamp equals the
// current point's; a new point takes a new stamp, so nothing is unmarked.
// The frontier has room for all n nodes.
class PackedCollector {
 public:
  PackedCollector(int n, const PackedLists& lists, const double* xData, const double* yData)
      : lists_(lists), xData_(xData), yData_(yData), stamp_(static_cast<std::size_t>(n), 0),
        frontierNode_(static_cast<std::size_t>(n)), frontierDist_(static_cast<std::size_t>(n)) {}

  void startPoint(int centre) {
    ++currentStamp_;
    walked_ = 0;
    frontierSize_ = 0;
    xc_ = xData_[centre - 1];
    yc_ = yData_[centre - 1];
    stamp_[centre - 1] = currentStamp_;
  }

  bool next(int L, const int* nodeList, int* node, double* dist) {
    for (; walked_ < L - 1; ++walked_) {
      const int v = nodeList[walked_];
      for (int i = lists_.start[v - 1]; i < lists_.start[v]; ++i) {
        const int nj = lists_.list[i];
        if (stamp_[nj - 1] == currentStamp_) continue;
        stamp_[nj - 1] = currentStamp_;
        const double dx = xData_[nj - 1] - xc_;
        const double dy = yData_[nj - 1] - yc_;
        frontierNode_[frontierSize_] = nj;
        frontierDist_[frontierSize_] = std::sqrt(dx * dx + dy * dy);
        ++frontierSize_;
      }
    }
    if (frontierSize_ == 0) return false;
    takeNearest(frontierNode_.data(), frontierDist_.data(), frontierSize_, node, dist);
    return true;
  }

 private:
  const PackedLists& lists_;
  const double* xData_;
  const double* yData_;
  std::vector<int> stamp_;
  int currentStamp_ = 0;
  int walked_ = 0;
  double xc_ = 0.0, yc_ = 0.0;
  std::vector<int> frontierNode_;
  std::vector<double> frontierDist_;
  int frontierSize_ = 0;
};

// The points in an order that keeps consecutive points close: by cells of a
// grid with about two points per cell over their bounding box, row by row in
// alternating direction. Only the speed depends on it.
std::vector<int> spatialOrder(const std::vector<int>& points, const double* xData, const double* yData) {
  const int count = static_cast<int>(points.size());
  std::vector<int> ordered(points);
  if (count < 2) return ordered;
  double xmin = xData[points[0] - 1], xmax = xmin, ymin = yData[points[0] - 1], ymax = ymin;
  for (int p : points) {
    xmin = std::min(xmin, xData[p - 1]);
    xmax = std::max(xmax, xData[p - 1]);
    ymin = std::min(ymin, yData[p - 1]);
    ymax = std::max(ymax, yData[p - 1]);
  }
  const int side = std::max(1, static_cast<int>(std::sqrt(count / 2.0)));
  // A cell index in 0 .. side-1; NaN and out-of-range fractions go to the ends.
  auto cellOf = [side](double value, double low, double high) {
    const double f = high > low ? (value - low) / (high - low) * side : 0.0;
    if (!(f >= 0.0)) return 0;
    return f >= side ? side - 1 : static_cast<int>(f);
  };
  std::vector<int> cell(static_cast<std::size_t>(count));
  std::vector<int> cellStart(static_cast<std::size_t>(side) * side + 1, 0);
  for (int i = 0; i < count; ++i) {
    const int row = cellOf(yData[points[i] - 1], ymin, ymax);
    int col = cellOf(xData[points[i] - 1], xmin, xmax);
    if (row % 2 == 1) col = side - 1 - col;
    cell[i] = row * side + col;
    ++cellStart[cell[i] + 1];
  }
  for (std::size_t c = 1; c < cellStart.size(); ++c) cellStart[c] += cellStart[c - 1];
  for (int i = 0; i < count; ++i) ordered[cellStart[cell[i]]++] = points[i];
  return ordered;
}

// The fit of sdCubicNodalDerivatives for a valid point `centre` of `nodes`
// (at least 10) points. nextNode(L, nodeList, distList) fills node-list
// entry L from the entries before it, as sdNextNearestNode does, and returns
// false where it would fail. On success writes zx, zy, zxx, zxy, zyy to
// result and the number of nodes used to status; otherwise status -1 or -2
// and result untouched.
template <typename NextNode>
void fitNodalCubic(int centre, int nodes, const double* xData, const double* yData, const double* zData,
                   NextNode&& nextNode, double* result, int* status) {
  // Node list and distances, entry l at [l-1]; entry 1 is the point itself.
  int npts[kMaxNodes];
  double ds[kMaxNodes];
  npts[0] = centre;
  ds[0] = 0.0;
  const int nc = nodes < kFirstCollection ? nodes : kFirstCollection;
  const int lmax = nodes < kMaxNodes ? nodes : kMaxNodes;
  double sum = 0.0;
  auto collect = [&](int entry) { return nextNode(entry, npts, ds); };

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
  double extra[kMaxNodes - 1 - kUnknowns][kColumns];
  double weight = 0.0;  // weight of the latest node equation
  const int equations = L - 2;
  for (int i = 0; i < equations; ++i) {
    double* e = i < kUnknowns ? R.r[i] : extra[i - kUnknowns];
    weight = formEquation(centre, npts[i + 1], ds[i + 1], rc, scales, xData, yData, zData, e);
  }
  rotateAllIn(R, extra, equations);
  double e[kColumns];

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
  const double a5 =
      (R.at(5, 10) - R.at(5, 6) * a6 - R.at(5, 7) * a7 - R.at(5, 8) * a8 - R.at(5, 9) * a9) / R.at(5, 5);
  result[0] = scales.sf * a8;
  result[1] = scales.sf * a9;
  result[2] = 2.0 * scales.sfs * a5;
  result[3] = scales.sfs * a6;
  result[4] = 2.0 * scales.sfs * a7;
  *status = L - 1;
}


}  // namespace

void sdCopyInts(int* n, int* source, int* target) {
  for (int i = 0; i < *n; ++i) target[i] = source[i];
}

void sdGivens(double* a, double* b, double* c, double* s) {
  const bool bLarger = std::fabs(*b) >= std::fabs(*a);
  if (bLarger && *b == 0.0) {
    *c = 1.0;
    *s = 0.0;
    return;
  }
  double r = 0.0;
  rotation(*a, *b, *c, *s, r);
  *a = r;
  *b = bLarger ? (*c != 0.0 ? 1.0 / *c : 1.0) : *s;
}

void sdNextNearestNode(int* L, int* n, double* xData, double* yData, int* adjNode, int* adjNext, int* adjLast,
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

void sdCubicNodalDerivatives(int* k, int* n, double* xData, double* yData, double* zData, int* adjNode,
                             int* adjNext, int* adjLast, double* zx, double* zy, double* zxx, double* zxy,
                             double* zyy, int* status) {
  const int centre = *k;
  const int nodes = *n;
  if (centre < 1 || centre > nodes || nodes < kMinPoints) {
    *status = -1;
    return;
  }
  MarkingCollector collector(centre, nodes, xData, yData, adjNode, adjNext, adjLast);
  auto nextNode = [&](int L, int* nodeList, double* distList) {
    if (collector.active() && collector.next(L, nodeList, &nodeList[L - 1], &distList[L - 1])) return true;
    if (collector.active()) return false;  // no unlisted neighbour
    int nodeStatus = 0;
    sdNextNearestNode(&L, n, xData, yData, adjNode, adjNext, adjLast, nodeList, distList, &nodeStatus);
    return nodeStatus == 0;
  };
  double result[5];
  fitNodalCubic(centre, nodes, xData, yData, zData, nextNode, result, status);
  if (*status < 0) return;
  *zx = result[0];
  *zy = result[1];
  *zxx = result[2];
  *zxy = result[3];
  *zyy = result[4];
}

void sdRefineDerivatives(int* pointCount, double* xData, double* yData, double* zData, int* adjNode,
                         int* adjNext, int* adjLast, int* fitDegree, double* partials, int* refined) {
  const int n = *pointCount;
  if (refined != nullptr) std::fill(refined, refined + std::max(n, 0), 0);
  auto store = [partials, refined](int point, const double* result) {
    double* pd = partials + 5 * static_cast<std::ptrdiff_t>(point - 1);
    for (int k = 0; k < 5; ++k) pd[k] = result[k];
    if (refined != nullptr) refined[point - 1] = 1;
  };
  auto weak = [fitDegree](int point) { return fitDegree[point - 1] < 3; };
  // The fit never looks at node numbers (ties go by the order of the walk,
  // the equations by coordinates), so the nodes may be renumbered: in an
  // order that keeps neighbouring nodes together, the data of a neighbourhood
  // lies close in memory, and the points are refined in that order.
  std::vector<int> order(static_cast<std::size_t>(std::max(n, 0)));
  for (int v = 1; v <= n; ++v) order[v - 1] = v;
  order = spatialOrder(order, xData, yData);
  std::vector<int> localOf(order.size());
  for (int i = 1; i <= n; ++i) localOf[order[i - 1] - 1] = i;
  PackedLists lists;
  if (n < kMinPoints || !lists.pack(n, adjNode, adjNext, adjLast, order, localOf)) {
    // Too few points or lists of another shape: point by point.
    for (int v = 1; v <= n; ++v) {
      if (!weak(v)) continue;
      double result[5];
      int status = 0;
      sdCubicNodalDerivatives(&v, pointCount, xData, yData, zData, adjNode, adjNext, adjLast, &result[0],
                              &result[1], &result[2], &result[3], &result[4], &status);
      if (status >= 0) store(v, result);
    }
    return;
  }
  std::vector<double> x(order.size()), y(order.size()), z(order.size());
  for (int i = 0; i < n; ++i) {
    x[i] = xData[order[i] - 1];
    y[i] = yData[order[i] - 1];
    z[i] = zData[order[i] - 1];
  }
  PackedCollector collector(n, lists, x.data(), y.data());
  auto nextNode = [&collector](int L, int* nodeList, double* distList) {
    return collector.next(L, nodeList, &nodeList[L - 1], &distList[L - 1]);
  };
  for (int i = 1; i <= n; ++i) {
    if (!weak(order[i - 1])) continue;
    collector.startPoint(i);
    double result[5];
    int status = 0;
    fitNodalCubic(i, n, x.data(), y.data(), z.data(), nextNode, result, &status);
    if (status >= 0) store(order[i - 1], result);
  }
}

}  // namespace lum::scattered
