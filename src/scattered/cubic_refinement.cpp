// Weighted least-squares cubic through the nearest neighbours of a data point,
// solved by Givens rotations, giving refined first and second derivatives.
#include "scattered/cubic_refinement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "scattered/refinement_lanes.h"

namespace lum::scattered {
namespace {

using lanes::Lanes2;
using lanes::Lanes4;

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

// ---------------------------------------------------------------------------
// Lanes
//
// The factorisation is written once for T = double (one fit), T = Lanes2 and
// T = Lanes4 (two or four fits side by side, one per lane; see
// refinement_lanes.h for why each lane gets the bits of the fit computed
// alone).

// Lanes of each value type.
template <typename T>
constexpr int kLanes = 1;
template <>
constexpr int kLanes<Lanes2> = 2;
template <>
constexpr int kLanes<Lanes4> = 4;

// The value whose lane l is f(l).
template <typename T, typename F>
T fromLanes(F&& f) {
  if constexpr (kLanes<T> == 1) {
    return f(0);
  } else if constexpr (kLanes<T> == 2) {
    return T(f(0), f(1));
  } else {
    return T(f(0), f(1), f(2), f(3));
  }
}

inline double laneOf(double value, int) { return value; }
inline double laneOf(Lanes2 value, int lane) { return lane == 0 ? value.lane0() : value.lane1(); }
inline double laneOf(Lanes4 value, int lane) { return lane < 2 ? laneOf(value.lo, lane) : laneOf(value.hi, lane - 2); }

// ---------------------------------------------------------------------------
// Factor

// The 9 x 9 upper triangular factor R with the right-hand side in column 10;
// entry (j, p) is r[j-1][p-1]. Entries below the diagonal are not used.
template <typename T>
struct Factor {
  T r[kUnknowns][kColumns];
  T& at(int j, int p) { return r[j - 1][p - 1]; }
};

// Lane `lane` of a factor of several fits: the factor of that fit alone.
template <typename T>
Factor<double> laneFactor(const Factor<T>& R, int lane) {
  Factor<double> single;
  for (int j = 0; j < kUnknowns; ++j) {
    for (int p = j; p < kColumns; ++p) single.r[j][p] = laneOf(R.r[j][p], lane);
  }
  return single;
}

// Scale factors fixed once the first neighbours are known: SFS is the
// reciprocal of their mean squared distance, SF its square root, SFC = SF*SFS.
struct Scales {
  double sfs;
  double sf;
  double sfc;
};

// Equation of a node at offset (dx, dy) and distance D from the point, with
// value difference dz, weighted by W = 1/D - 1/RC: the scaled cubic terms of
// the offset and, on the right-hand side, W*dz. Returns W.
template <typename T>
T formEquation(T dx, T dy, T dz, T D, T RC, T sf, T sfs, T sfc, T* e) {
  const T W = T(1.0) / D - T(1.0) / RC;
  const T W1 = sf * W;
  const T W2 = sfs * W;
  const T W3 = sfc * W;
  e[0] = W3 * (dx * dx * dx);
  e[1] = W3 * (dx * dx) * dy;
  e[2] = W3 * dx * (dy * dy);
  e[3] = W3 * (dy * dy * dy);
  e[4] = W2 * (dx * dx);
  e[5] = W2 * dx * dy;
  e[6] = W2 * (dy * dy);
  e[7] = W1 * dx;
  e[8] = W1 * dy;
  e[9] = W * dz;
  return W;
}

// A plane rotation of equation e against row j of the factor: startRotation
// zeroes value j of e against the diagonal of row j, and applyColumns then
// updates the later positions (right-hand side included). Value j of e is
// not used again, so the by-product that sdGivens would leave there is not
// formed.
template <typename T>
struct PlaneRotation {
  T c, s;
  T* row;
  T* e;
  int j;  // 1-based
};

template <typename T>
inline PlaneRotation<T> startRotation(Factor<T>& R, T* e, int j) {
  PlaneRotation<T> q;
  q.row = R.r[j - 1];
  q.e = e;
  q.j = j;
  T r;
  lanes::rotation(q.row[j - 1], e[j - 1], q.c, q.s, r);
  q.row[j - 1] = r;
  return q;
}

// Columns first to last (1-based) of the rotation: the row takes
// c*row + s*e, the equation c*e - s*row.
template <typename T>
inline void applyColumns(const PlaneRotation<T>& q, int first, int last) {
  for (int p = first - 1; p < last; ++p) {
    const T rowValue = q.row[p];
    const T eValue = q.e[p];
    q.row[p] = q.c * rowValue + q.s * eValue;
    q.e[p] = q.c * eValue - q.s * rowValue;
  }
}

// Rotates equation e against rows first to last of the factor, in order.
void rotateIn(Factor<double>& R, double* e, int first, int last) {
  for (int j = first; j <= last; ++j) applyColumns(startRotation(R, e, j), j + 1, kColumns);
}

// Rotates the first `equations` node equations in: equation i (0-based) of
// the first nine becomes row i+1 after its rotations against rows 1 to i
// (it is formed in place, in row i+1), and each later one (in extra[i-9]) is
// rotated against rows 1 to 9 and dropped. This is what rotateIn does
// equation by equation, rearranged in time.
//
// Equation i meets row j at step i + j - 1. Within a step the rotations are
// independent. A rotation at step s+1 of equation i against row j+1 reads
// the diagonal of row j+1 (set by the rotation at step s against that row)
// and value j+1 of equation i (column j+1 of its rotation at step s against
// row j). So each step first forms its rotations (divisions and square
// roots, the long chains), then finishes the columns of the previous step's
// rotations beyond their first, then applies the first column of its own;
// the next step's rotations need nothing else, and the processor can start
// them while this step's columns are still being finished. Each row is
// still changed by the equations in their order, each equation meets the
// rows in order, and every position of a row or equation is updated by the
// rotations in the same order as equation by equation (column p of step s
// comes before column p of step s+1), so every value sees the same
// operations in the same order.
template <typename T>
void rotateAllIn(Factor<T>& R, T (*extra)[kColumns], int equations) {
  PlaneRotation<T> buffers[2][kUnknowns];
  PlaneRotation<T>* previous = buffers[0];
  PlaneRotation<T>* current = buffers[1];
  int previousCount = 0;
  const int steps = equations + kUnknowns - 2;
  for (int step = 1; step <= steps + 1; ++step) {
    int count = 0;
    if (step <= steps) {
      // Equation i meets row j = step - i + 1 when 1 <= j <= min(i, 9),
      // that is for 2i >= step + 1, i <= step and i >= step - 8.
      const int firstEquation = std::max((step + 2) / 2, step - (kUnknowns - 1));
      const int lastEquation = std::min(step, equations - 1);
      for (int i = firstEquation; i <= lastEquation; ++i) {
        T* e = i < kUnknowns ? R.r[i] : extra[i - kUnknowns];
        current[count++] = startRotation(R, e, step - i + 1);
      }
    }
    for (int k = 0; k < previousCount; ++k) applyColumns(previous[k], previous[k].j + 2, kColumns);
    for (int k = 0; k < count; ++k) applyColumns(current[k], current[k].j + 1, current[k].j + 1);
    std::swap(previous, current);
    previousCount = count;
  }
}

// Smallest |R(j, j)| for j = first to 9 (a NaN never replaces the one kept).
template <typename T>
T smallestDiagonal(Factor<T>& R, int first) {
  T dmin = lanes::absOf(R.at(first, first));
  for (int j = first + 1; j <= kUnknowns; ++j) {
    const T d = lanes::absOf(R.at(j, j));
    dmin = lanes::select(d < dmin, d, dmin);
  }
  return dmin;
}

// Back substitution for the quadratic and linear coefficients A5 to A9 only
// (the cubic ones are not needed), scaled back to zx, zy, zxx, zxy, zyy.
template <typename T>
void solveQuadraticPart(Factor<T>& R, T sf, T sfs, T* result) {
  const T a9 = R.at(9, 10) / R.at(9, 9);
  const T a8 = (R.at(8, 10) - R.at(8, 9) * a9) / R.at(8, 8);
  const T a7 = (R.at(7, 10) - R.at(7, 8) * a8 - R.at(7, 9) * a9) / R.at(7, 7);
  const T a6 = (R.at(6, 10) - R.at(6, 7) * a7 - R.at(6, 8) * a8 - R.at(6, 9) * a9) / R.at(6, 6);
  const T a5 = (R.at(5, 10) - R.at(5, 6) * a6 - R.at(5, 7) * a7 - R.at(5, 8) * a8 - R.at(5, 9) * a9) / R.at(5, 5);
  result[0] = sf * a8;
  result[1] = sf * a9;
  result[2] = T(2.0) * sfs * a5;
  result[3] = sfs * a6;
  result[4] = T(2.0) * sfs * a7;
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
// list[first[i-1] .. end[i-1]-1]. Walking them reads consecutive memory
// instead of chasing cells.
struct PackedLists {
  std::vector<int> first, end;
  std::vector<int> list;

  // False when the lists are not as a triangulation leaves them (a cell
  // outside 1 to 6n or an adjLast entry below 1). order[i-1] is the node
  // that becomes local node i.
  //
  // Each step along a list is a dependent load from the caller's arrays,
  // usually a cache miss once the mesh is large. kLanes lists are followed
  // at the same time, a step of each in turn, so that their misses overlap;
  // a list is gathered in its lane and appended when it is complete.
  bool pack(int n, const int* adjNode, const int* adjNext, const int* adjLast, const std::vector<int>& order,
            const std::vector<int>& localOf) {
    constexpr int kLanes = 16;
    const long long cells = 6LL * n;
    auto valid = [cells](long long cell) { return cell >= 1 && cell <= cells; };
    first.assign(static_cast<std::size_t>(n), 0);
    end.assign(static_cast<std::size_t>(n), 0);
    list.clear();
    list.reserve(static_cast<std::size_t>(cells));
    struct Lane {
      int node = 0;  // local number, 0 when idle
      int cell = 0, last = 0, steps = 0;
      std::vector<int> gathered;
    };
    Lane lanes[kLanes];
    int nextNode = 1;
    // Starts the next list in the lane (or leaves it idle); false when the
    // list has no valid last cell.
    auto begin = [&](Lane& lane) {
      lane.node = 0;
      if (nextNode > n) return true;
      lane.node = nextNode++;
      lane.last = adjLast[order[lane.node - 1] - 1];
      if (!valid(lane.last)) return false;
      lane.cell = adjNext[lane.last - 1];
      lane.steps = 0;
      lane.gathered.clear();
      return true;
    };
    for (Lane& lane : lanes) {
      if (!begin(lane)) return false;
    }
    for (bool busy = true; busy;) {
      busy = false;
      for (Lane& lane : lanes) {
        if (lane.node == 0) continue;
        busy = true;
        const int cell = lane.cell;
        if (!valid(cell)) return false;
        const int nj = std::abs(adjNode[cell - 1]);
        if (nj >= 1 && nj <= n) lane.gathered.push_back(localOf[nj - 1]);
        // The walk of sdNextNearestNode stops at the last cell or after n.
        if (cell != lane.last && ++lane.steps < n) {
          lane.cell = adjNext[cell - 1];
          continue;
        }
        first[lane.node - 1] = static_cast<int>(list.size());
        list.insert(list.end(), lane.gathered.begin(), lane.gathered.end());
        end[lane.node - 1] = static_cast<int>(list.size());
        if (!begin(lane)) return false;
      }
    }
    return true;
  }
};

// Collector on packed lists, for coordinates without NaN or infinity. A node
// counts as met when its stamp equals the current point's; a new point takes
// a new stamp, so nothing is unmarked.
//
// The walk picks the node of smallest distance, the first met among equal
// ones. The frontier is kept sorted by squared distance d2 = dx*dx + dy*dy,
// and among equal ones by the order met, in entries head_ to size_ - 1. With
// finite coordinates no d2 is NaN (a difference may overflow to infinity,
// its square and the sum stay +inf), so this is a total order. The distance
// is sqrt(d2), and sqrt is monotonic: the entries of smallest distance are
// the first ones (usually only the first), and next() takes the first met
// among them by their order numbers. Sorting by d2 keeps the square root out
// of the chain of steps from one node to the next.
class PackedCollector {
 public:
  PackedCollector(int n, const PackedLists& lists, const double* xData, const double* yData)
      : lists_(lists), xData_(xData), yData_(yData), stamp_(static_cast<std::size_t>(n), 0),
        entry_(4 * kWindow, Entry{kTaken, 0, 0}), newNode_(16) {}

  void startPoint(int centre) {
    ++currentStamp_;
    walked_ = 0;
    met_ = 0;
    head_ = kWindow;
    size_ = kWindow;
    xc_ = xData_[centre - 1];
    yc_ = yData_[centre - 1];
    stamp_[centre - 1] = currentStamp_;
  }

  bool next(int L, const int* nodeList, int* node, double* dist) {
    for (; walked_ < L - 1; ++walked_) walk(nodeList[walked_]);
    if (head_ == size_) return false;
    Entry* e = entry_.data();
    const double nearest = std::sqrt(e[head_].d2);
    int best = head_;
    for (int k = head_ + 1; k < size_ && std::sqrt(e[k].d2) == nearest; ++k) {
      if (e[k].order < e[best].order) best = k;
    }
    *node = e[best].node;
    *dist = nearest;
    for (int k = best; k > head_; --k) e[k] = e[k - 1];
    e[head_].d2 = kTaken;
    ++head_;
    return true;
  }

 private:
  // A frontier entry, 16 bytes: one SSE2 register moves it.
  struct Entry {
    double d2;
    int node;
    int order;  // 0 for the first node met for the current point, and so on
  };
  // Entries searched for a new entry's place without a branch per entry.
  static constexpr int kWindow = 8;
  // New nodes from one list beyond which they are inserted together.
  static constexpr int kManyNew = 16;
  // d2 of taken entries (and of the kWindow entries before the first): below
  // every d2, so that they never count as larger than a new one.
  static constexpr double kTaken = -1.0;

  // Meets the neighbours of local node v in list order and puts the new ones
  // into the frontier.
  void walk(int v) {
    const int begin = lists_.first[v - 1];
    const int end = lists_.end[v - 1];
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (length > newNode_.size()) newNode_.resize(2 * length);
    // An insertion may move entries up to kWindow places past the end.
    const std::size_t room = static_cast<std::size_t>(size_) + length + kWindow + 1;
    if (room > entry_.size()) entry_.resize(2 * room, Entry{kTaken, 0, 0});
    // Without branches: each neighbour is written after the last new one,
    // which moves past it only when it was not met before. A repeated entry
    // sees the stamp that its first occurrence wrote.
    const int* list = lists_.list.data();
    int* stamp = stamp_.data();
    int* fresh = newNode_.data();
    const int current = currentStamp_;
    int count = 0;
    for (int i = begin; i < end; ++i) {
      const int nj = list[i];
      const int isNew = stamp[nj - 1] != current;
      stamp[nj - 1] = current;
      fresh[count] = nj;
      count += isNew;
    }
    if (count > kManyNew) {
      insertMany(fresh, count);
      return;
    }
    for (int k = 0; k < count; ++k) insert(fresh[k], squaredDistance(fresh[k]));
  }

  double squaredDistance(int node) const {
    const double dx = xData_[node - 1] - xc_;
    const double dy = yData_[node - 1] - yc_;
    return dx * dx + dy * dy;
  }

  // Puts the node met last into the sorted frontier: after every entry of
  // smaller or equal d2, which is its place in the order. The entries
  // larger than d2 are the last ones; everything before head_ holds kTaken,
  // so counting the larger ones among the last kWindow entries needs no
  // bound, and when fewer than kWindow are larger, moving the kWindow
  // entries from its place up by one moves all of them (and some unused
  // room).
  void insert(int nk, double d2) {
    Entry* e = entry_.data();
    const int top = size_;
    const int larger = largerInWindow(e + top - kWindow, d2);
    int place = top - larger;
    if (larger < kWindow) {
      moveWindowUp(e + place);
    } else {
      while (e[place - 1].d2 > d2) --place;
      for (int k = top; k > place; --k) e[k] = e[k - 1];
    }
    e[place] = Entry{d2, nk, met_++};
    ++size_;
  }

  // Puts many nodes met in this order into the sorted frontier at once (a
  // node with a long list, such as the centre of a fan): they are sorted by
  // d2 and order met, and merged from the top with the entries there, a new
  // one after every older one of equal d2. Inserting them one by one could
  // move the whole frontier for each.
  void insertMany(const int* nodes, int count) {
    many_.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) many_[k] = Entry{squaredDistance(nodes[k]), nodes[k], met_++};
    std::sort(many_.begin(), many_.end(),
              [](const Entry& a, const Entry& b) { return a.d2 < b.d2 || (a.d2 == b.d2 && a.order < b.order); });
    Entry* e = entry_.data();
    int old = size_ - 1;
    int out = size_ + count - 1;
    for (int k = count - 1; k >= 0; --k) {
      while (old >= head_ && e[old].d2 > many_[k].d2) e[out--] = e[old--];
      e[out--] = many_[k];
    }
    size_ += count;
  }

  // Number of the entries w[0] to w[kWindow-1] with a d2 larger than d2.
  static int largerInWindow(const Entry* w, double d2) {
#if defined(__SSE2__)
    const __m128d key = _mm_set1_pd(d2);
    __m128i count = _mm_setzero_si128();
    for (int t = 0; t < kWindow; t += 2) {
      const __m128d pair = _mm_loadh_pd(_mm_load_sd(&w[t].d2), &w[t + 1].d2);
      count = _mm_sub_epi64(count, _mm_castpd_si128(_mm_cmpgt_pd(pair, key)));  // a true lane is -1
    }
    // Each lane holds at most kWindow / 2: its low 32 bits are the count.
    return _mm_cvtsi128_si32(count) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(count, count));
#else
    int larger = 0;
    for (int t = 0; t < kWindow; ++t) larger += w[t].d2 > d2;
    return larger;
#endif
  }

  // Moves w[0] to w[kWindow-1] to w[1] to w[kWindow].
  static void moveWindowUp(Entry* w) {
#if defined(__SSE2__)
    // From the top down, so that each entry is read before it is overwritten.
    __m128i* p = reinterpret_cast<__m128i*>(w);
    for (int t = kWindow - 1; t >= 0; --t) _mm_storeu_si128(p + t + 1, _mm_loadu_si128(p + t));
#else
    for (int t = kWindow; t > 0; --t) w[t] = w[t - 1];
#endif
  }

  const PackedLists& lists_;
  const double* xData_;
  const double* yData_;
  std::vector<int> stamp_;
  int currentStamp_ = 0;
  int walked_ = 0;
  int met_ = 0;  // nodes put into the frontier for this point
  double xc_ = 0.0, yc_ = 0.0;
  // Frontier: entries head_ to size_ - 1, taken ones before head_.
  std::vector<Entry> entry_;
  int head_ = kWindow;
  int size_ = kWindow;
  // Nodes met for the first time on the list being walked.
  std::vector<int> newNode_;
  std::vector<Entry> many_;  // scratch of insertMany
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

// ---------------------------------------------------------------------------
// The fit of one point, in three stages: the neighbours (collectNeighbours),
// the factor of the node equations (factorise, for one fit or several side
// by side), and the rest (finishFit: more nodes while the factor is
// ill-conditioned, damping, back substitution). nextNode(L, nodeList,
// distList) fills node-list entry L from the entries before it, as
// sdNextNearestNode does, and returns false where it would fail.

// Coordinates and values of the points, point v (1-based) at [v-1].
struct PointData {
  const double* x;
  const double* y;
  const double* z;
};

// A fit in progress: the node list and distances (entry l at [l-1], entry 1
// the point itself), L = the first node left out of the equations, and the
// scales and radius of the weights.
struct Fit {
  int centre = 0;
  int lmax = 0;
  int L = 0;
  int npts[kMaxNodes];
  double ds[kMaxNodes];
  Scales scales;
  double rc = 0.0;
  int equations() const { return L - 2; }
};

// Collects the neighbours of fit.centre (a valid point of `nodes`, at least
// 10) and fixes L, the scales and the radius. False where a node cannot be
// collected (status -1).
template <typename NextNode>
bool collectNeighbours(Fit& fit, int nodes, NextNode&& nextNode) {
  int* npts = fit.npts;
  double* ds = fit.ds;
  npts[0] = fit.centre;
  ds[0] = 0.0;
  const int nc = nodes < kFirstCollection ? nodes : kFirstCollection;
  const int lmax = nodes < kMaxNodes ? nodes : kMaxNodes;
  fit.lmax = lmax;
  double sum = 0.0;

  // The nc - 2 nearest neighbours.
  for (int L = 2; L <= nc - 1; ++L) {
    if (!nextNode(L, npts, ds)) return false;
    sum += ds[L - 1] * ds[L - 1];
  }
  const double rsRef = ds[nc - 2] * ds[nc - 2];

  // Further neighbours join while they tie with the last one (and always up
  // to node 10, so that there are at least nine equations). L ends as the
  // first node left out.
  int L = nc;
  double rcSq = 0.0;
  for (; L <= lmax; ++L) {
    if (!nextNode(L, npts, ds)) return false;
    const double rs = ds[L - 1] * ds[L - 1];
    if (!((rs - rsRef) / rsRef <= kTieTolerance || L <= 10)) {
      rcSq = rs;
      break;
    }
    sum += rs;
  }
  if (L > lmax) rcSq = kRadiusFactor * (ds[lmax - 1] * ds[lmax - 1]);
  fit.L = L;

  const int used = L - 2;
  fit.scales.sfs = used / sum;
  fit.scales.sf = std::sqrt(fit.scales.sfs);
  fit.scales.sfc = fit.scales.sf * fit.scales.sfs;
  fit.rc = std::sqrt(rcSq);
  return true;
}

// Forms the node equations of entries 2 to L-1 of the fits in the lanes of T
// (fits[l] in lane l, all with the same number of equations): entries 2 to
// 10 build the factor row by row, later ones are rotated into it and their
// residuals dropped. Returns the weight of the latest equation.
template <typename T>
T factorise(const PointData& data, const Fit* const* fits, Factor<T>& R) {
  const auto lanesOf = [](auto&& f) { return fromLanes<T>(f); };
  const T xc = lanesOf([&](int l) { return data.x[fits[l]->centre - 1]; });
  const T yc = lanesOf([&](int l) { return data.y[fits[l]->centre - 1]; });
  const T zc = lanesOf([&](int l) { return data.z[fits[l]->centre - 1]; });
  const T sf = lanesOf([&](int l) { return fits[l]->scales.sf; });
  const T sfs = lanesOf([&](int l) { return fits[l]->scales.sfs; });
  const T sfc = lanesOf([&](int l) { return fits[l]->scales.sfc; });
  const T rc = lanesOf([&](int l) { return fits[l]->rc; });
  T extra[kMaxNodes - 1 - kUnknowns][kColumns];
  T weight(0.0);
  const int equations = fits[0]->equations();
  for (int i = 0; i < equations; ++i) {
    T* e = i < kUnknowns ? R.r[i] : extra[i - kUnknowns];
    const T dx = lanesOf([&](int l) { return data.x[fits[l]->npts[i + 1] - 1]; }) - xc;
    const T dy = lanesOf([&](int l) { return data.y[fits[l]->npts[i + 1] - 1]; }) - yc;
    const T dz = lanesOf([&](int l) { return data.z[fits[l]->npts[i + 1] - 1]; }) - zc;
    const T D = lanesOf([&](int l) { return fits[l]->ds[i + 1]; });
    weight = formEquation(dx, dy, dz, D, rc, sf, sfs, sfc, e);
  }
  rotateAllIn(R, extra, equations);
  return weight;
}

// Equation of node-list entry `entry` of the fit with radius rc.
double nodeEquation(const PointData& data, const Fit& fit, int entry, double rc, double* e) {
  const int np = fit.npts[entry - 1];
  const int k = fit.centre;
  return formEquation(data.x[np - 1] - data.x[k - 1], data.y[np - 1] - data.y[k - 1], data.z[np - 1] - data.z[k - 1],
                      fit.ds[entry - 1], rc, fit.scales.sf, fit.scales.sfs, fit.scales.sfc, e);
}

// Completes the fit from its factor R and the weight of its latest equation.
// On success writes zx, zy, zxx, zxy, zyy to result and the number of nodes
// used to status; otherwise status -1 or -2 and result untouched.
template <typename NextNode>
void finishFit(const PointData& data, Fit& fit, Factor<double>& R, double weight, NextNode&& nextNode,
               double* result, int* status) {
  const int lmax = fit.lmax;
  int L = fit.L;
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
      if (!nextNode(L, fit.npts, fit.ds)) {
        *status = -1;
        return;
      }
      rs = fit.ds[L - 1] * fit.ds[L - 1];
    } else {
      rs = fit.ds[L - 2] * fit.ds[L - 2];
    }
    const double rc = std::sqrt(kRadiusFactor * rs);
    weight = nodeEquation(data, fit, L - 1, rc, e);
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

  solveQuadraticPart(R, fit.scales.sf, fit.scales.sfs, result);
  *status = L - 1;
}

// The whole fit of one point, as sdCubicNodalDerivatives computes it.
template <typename NextNode>
void fitNodalCubic(const PointData& data, int centre, int nodes, NextNode&& nextNode, double* result,
                   int* status) {
  Fit fit;
  fit.centre = centre;
  if (!collectNeighbours(fit, nodes, nextNode)) {
    *status = -1;
    return;
  }
  Factor<double> R;
  const Fit* fits[1] = {&fit};
  const double weight = factorise(data, fits, R);
  finishFit(data, fit, R, weight, nextNode, result, status);
}

// Refines the points 1 to n of the packed lists for which weak(i) holds and
// calls store(i, result) for each success. The neighbours are collected
// point by point; consecutive fits with the same number of equations wait
// in a group and have their factors formed side by side in the lanes (four,
// two or one at a time), and a fit with another count closes the group.
// Each waiting fit keeps its own collector, as it may need further nodes
// when its factor is ill-conditioned. A fit's result depends on nothing but
// its own point, nodes and operations, so the grouping changes only the
// speed.
template <typename Weak, typename Store>
void refinePacked(int n, const PackedLists& lists, const PointData& data, Weak&& weak, Store&& store) {
  constexpr int kSlots = 4;
  std::vector<PackedCollector> collector;
  collector.reserve(kSlots);
  for (int slot = 0; slot < kSlots; ++slot) collector.emplace_back(n, lists, data.x, data.y);
  Fit fit[kSlots];
  auto nextNodeOf = [&collector](int slot) {
    return [c = &collector[slot]](int L, int* nodeList, double* distList) {
      return c->next(L, nodeList, &nodeList[L - 1], &distList[L - 1]);
    };
  };
  // Factorises the fits of `slots` in the lanes of T and finishes each.
  auto finishGroup = [&](auto lanesTag, const int* slots) {
    using T = decltype(lanesTag);
    Factor<T> R;
    const Fit* fits[kLanes<T>];
    for (int lane = 0; lane < kLanes<T>; ++lane) fits[lane] = &fit[slots[lane]];
    const T weight = factorise(data, fits, R);
    // Usually every factor is well conditioned at once: then the first test
    // of finishFit passes in every lane and the back substitution follows,
    // done here in the lanes.
    if (lanes::allOf(smallestDiagonal(R, 1) / weight >= T(kConditionTolerance))) {
      T solved[5];
      solveQuadraticPart(R, fromLanes<T>([&](int l) { return fits[l]->scales.sf; }),
                         fromLanes<T>([&](int l) { return fits[l]->scales.sfs; }), solved);
      for (int lane = 0; lane < kLanes<T>; ++lane) {
        double result[5];
        for (int k = 0; k < 5; ++k) result[k] = laneOf(solved[k], lane);
        store(fits[lane]->centre, result);
      }
      return;
    }
    for (int lane = 0; lane < kLanes<T>; ++lane) {
      Factor<double> alone = laneFactor(R, lane);
      Fit& one = fit[slots[lane]];
      double result[5];
      int status = 0;
      finishFit(data, one, alone, laneOf(weight, lane), nextNodeOf(slots[lane]), result, &status);
      if (status >= 0) store(one.centre, result);
    }
  };
  int group[kSlots];  // slots of collected fits with equal equation counts
  int groupSize = 0;
  auto flush = [&] {
    int k = 0;
    if (groupSize == 4) {
      finishGroup(Lanes4(0.0), group);
      k = 4;
    }
    for (; k + 1 < groupSize; k += 2) finishGroup(Lanes2(0.0), group + k);
    if (k < groupSize) finishGroup(0.0, group + k);
    groupSize = 0;
  };

  for (int i = 1; i <= n; ++i) {
    if (!weak(i)) continue;
    int slot = 0;  // a collector not held by the group
    while (std::find(group, group + groupSize, slot) != group + groupSize) ++slot;
    collector[slot].startPoint(i);
    fit[slot].centre = i;
    if (!collectNeighbours(fit[slot], n, nextNodeOf(slot))) continue;  // status -1: nothing stored
    if (groupSize > 0 && fit[group[0]].equations() != fit[slot].equations()) flush();
    group[groupSize++] = slot;
    if (groupSize == kSlots) flush();
  }
  flush();
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
  lanes::rotation(*a, *b, *c, *s, r);
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
  fitNodalCubic(PointData{xData, yData, zData}, centre, nodes, nextNode, result, status);
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
  auto pointByPoint = [&] {
    for (int v = 1; v <= n; ++v) {
      if (!weak(v)) continue;
      double result[5];
      int status = 0;
      sdCubicNodalDerivatives(&v, pointCount, xData, yData, zData, adjNode, adjNext, adjLast, &result[0],
                              &result[1], &result[2], &result[3], &result[4], &status);
      if (status >= 0) store(v, result);
    }
  };
  // The packed collector orders its frontier by distance, which needs
  // distances that are never NaN: finite coordinates.
  bool finite = true;
  for (int v = 0; v < n; ++v) finite = finite && std::isfinite(xData[v]) && std::isfinite(yData[v]);
  if (n < kMinPoints || !finite) {
    pointByPoint();
    return;
  }
  // The fit never looks at node numbers (ties go by the order of the walk,
  // the equations by coordinates), so the nodes may be renumbered: in an
  // order that keeps neighbouring nodes together, the data of a neighbourhood
  // lies close in memory, and the points are refined in that order.
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int v = 1; v <= n; ++v) order[v - 1] = v;
  order = spatialOrder(order, xData, yData);
  std::vector<int> localOf(order.size());
  for (int i = 1; i <= n; ++i) localOf[order[i - 1] - 1] = i;
  PackedLists lists;
  if (!lists.pack(n, adjNode, adjNext, adjLast, order, localOf)) {
    pointByPoint();  // lists of another shape
    return;
  }
  std::vector<double> x(order.size()), y(order.size()), z(order.size());
  for (int i = 0; i < n; ++i) {
    x[i] = xData[order[i] - 1];
    y[i] = yData[order[i] - 1];
    z[i] = zData[order[i] - 1];
  }
  refinePacked(
      n, lists, PointData{x.data(), y.data(), z.data()}, [&](int i) { return weak(order[i - 1]); },
      [&](int i, const double* result) { store(order[i - 1], result); });
}

}  // namespace lum::scattered
