// The nine nearest neighbours of every data point, found through a uniform
// grid of cells (near-uniform data) or a k-d tree (clustered data), with the
// order and ties of the full selection.
#include "scattered/nearest_points.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace lum::scattered {
namespace {

// The selection for p0 works on the list of all points in number order with
// p0 and point 1 exchanged (p0 in position 1). Step j = 2 to 10 picks the
// first entry of smallest squared distance among positions j to n and swaps
// it with the entry in position j. The picked distances are the nine smallest
// with multiplicity, so no entry farther than the ninth-nearest distance T is
// ever picked or even compared as a winner; such an entry moves only when it
// stands in one of the positions 2 to 10 and a winner takes its place. The
// steps therefore run identically on the entries of positions 2 to 10 plus
// the entries within T, kept in position order: the entries left out are never
// picked and never move. A grid of cells or a k-d tree finds T and the
// entries within it.

// Squared distance of point q from (x0, y0), formed as the selection forms it.
inline double squaredDistance(const double* xData, const double* yData, int q, double x0, double y0) {
  const double dx = xData[q - 1] - x0;
  const double dy = yData[q - 1] - y0;
  return dx * dx + dy * dy;
}

// The selection for p0 over all n squared distances: leaves the working list
// in distSq and distOrder and the nine nearest in nearest(., p0).
void selectByFullScan(int n, const double* xData, const double* yData, int p0, int* nearest, double* distSq,
                      int* distOrder) {
  const int lastSorted = n - 1 < 10 ? n - 1 : 10;
  const double x0 = xData[p0 - 1];
  const double y0 = yData[p0 - 1];
  for (int q = 1; q <= n; ++q) {
    distOrder[q - 1] = q;
    distSq[q - 1] = squaredDistance(xData, yData, q, x0, y0);
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
  int* near = nearest + kNearestCount * (p0 - 1);
  for (int k = 1; k <= kNearestCount; ++k) near[k - 1] = distOrder[k];
}

// A data point with its coordinates, so that searches read contiguous memory.
struct IndexedPoint {
  double x, y;
  int id;  // point number
};

// Squared distance from (x0, y0) to the box [xmin, xmax] x [ymin, ymax]
// (0 inside it). It is an exact lower bound of the squared distances that the
// selection computes for the points in the box: rounding is monotone, so for
// x(q) >= xmin > x0 the computed x(q) - x0 is at least the computed xmin - x0,
// and squares and sums of non-negative numbers keep that order. A box whose
// distance exceeds T can thus hold no point within T, ties included.
inline double distanceToBox(double xmin, double xmax, double ymin, double ymax, double x0, double y0) {
  const double gx = x0 < xmin ? xmin - x0 : (x0 > xmax ? x0 - xmax : 0.0);
  const double gy = y0 < ymin ? ymin - y0 : (y0 > ymax ? y0 - ymax : 0.0);
  return gx * gx + gy * gy;
}

// Points per leaf of the k-d tree.
constexpr int kLeafSize = 16;

// Bucket k-d tree over the data points. Every node covers a contiguous range
// of the points in leaf order and keeps the exact bounding box of their
// coordinates (taken from the points, not from split values), so that its
// box distance bounds the distances of its points. Unlike a grid, it keeps
// its speed on clustered data.
struct PointTree {
  struct Node {
    double xmin, xmax, ymin, ymax;
    int begin, end;  // range in leaf order
    int firstChild;  // index of the left child (the right one follows); -1 for a leaf
    int parent;      // -1 for the root
  };
  using Point = IndexedPoint;
  std::vector<Node> nodes;    // nodes[0] is the root
  std::vector<Point> points;  // in leaf order

  PointTree(int n, const double* xData, const double* yData) : points(static_cast<std::size_t>(n)) {
    for (int i = 0; i < n; ++i) points[i] = Point{xData[i], yData[i], i + 1};
    nodes.reserve(4 * static_cast<std::size_t>(n / kLeafSize + 1));
    nodes.push_back(Node{0, 0, 0, 0, 0, 0, -1, -1});
    build(0, 0, n);
  }

  static double boxDistance(const Node& node, double x0, double y0) {
    return distanceToBox(node.xmin, node.xmax, node.ymin, node.ymax, x0, y0);
  }

 private:
  // Fills node `index` for the range [begin, end) of the points and splits it
  // at the median of its wider side until the ranges fit in a leaf. The
  // depth stays below log2(n) + 1.
  void build(int index, int begin, int end) {
    double xmin = points[begin].x, xmax = xmin;
    double ymin = points[begin].y, ymax = ymin;
    for (int i = begin + 1; i < end; ++i) {
      xmin = std::min(xmin, points[i].x);
      xmax = std::max(xmax, points[i].x);
      ymin = std::min(ymin, points[i].y);
      ymax = std::max(ymax, points[i].y);
    }
    nodes[index] = Node{xmin, xmax, ymin, ymax, begin, end, -1, nodes[index].parent};
    if (end - begin <= kLeafSize) return;
    const int mid = begin + (end - begin) / 2;
    if (xmax - xmin >= ymax - ymin) {
      std::nth_element(points.begin() + begin, points.begin() + mid, points.begin() + end,
                       [](const Point& a, const Point& b) { return a.x < b.x; });
    } else {
      std::nth_element(points.begin() + begin, points.begin() + mid, points.begin() + end,
                       [](const Point& a, const Point& b) { return a.y < b.y; });
    }
    const int child = static_cast<int>(nodes.size());
    nodes.push_back(Node{0, 0, 0, 0, 0, 0, -1, index});
    nodes.push_back(Node{0, 0, 0, 0, 0, 0, -1, index});
    nodes[index].firstChild = child;
    build(child, begin, mid);
    build(child + 1, mid, end);
  }
};

// Uniform grid of about two points per cell over the points' bounding box,
// the points stored cell by cell, row by row. A point's column is
// floor((x - xmin) * scale) clamped to the grid; rounding is monotone, so a
// larger x never gets a smaller column (likewise rows). Each column and row
// keeps the exact range of its points' coordinates, which bounds distances
// like a box (see distanceToBox) without a box per cell.
struct PointGrid {
  int columns = 1, rows = 1;
  std::vector<IndexedPoint> points;  // cell by cell
  std::vector<int> cellStart;        // points of cell c: [cellStart[c], cellStart[c+1])
  std::vector<int> cellOfPoint;      // by position in `points`
  std::vector<double> columnLow, columnHigh, rowLow, rowHigh;  // coordinate ranges (low > high: empty)
  // Lowest x in the columns from c on, highest x in the columns up to c;
  // the same for rows and y.
  std::vector<double> lowFromColumn, highUpToColumn, lowFromRow, highUpToRow;

  // False when the points crowd into few cells (clustered data), where a
  // tree serves better; the grid is then left incomplete.
  bool build(int n, const double* xData, const double* yData) {
    double xmin = xData[0], xmax = xmin, ymin = yData[0], ymax = ymin;
    for (int i = 1; i < n; ++i) {
      xmin = std::min(xmin, xData[i]);
      xmax = std::max(xmax, xData[i]);
      ymin = std::min(ymin, yData[i]);
      ymax = std::max(ymax, yData[i]);
    }
    // Side counts in proportion to the extents, about n/2 cells in all.
    const double cells = std::max(1.0, n / 2.0);
    const double width = xmax - xmin, height = ymax - ymin;
    double side = std::sqrt(cells);
    double across = side, down = side;
    if (width > 0.0 && height > 0.0 && std::isfinite(width) && std::isfinite(height)) {
      across = std::sqrt(cells * (width / height));
      down = cells / std::max(1.0, across);
    } else if (width > 0.0) {
      across = cells, down = 1.0;
    } else {
      across = 1.0, down = height > 0.0 ? cells : 1.0;
    }
    columns = static_cast<int>(std::clamp(across, 1.0, static_cast<double>(n)));
    rows = static_cast<int>(std::clamp(down, 1.0, static_cast<double>(n)));
    if (static_cast<double>(columns) * rows > 2.0 * n) rows = std::max(1, 2 * n / columns);
    const double xScale = width > 0.0 && std::isfinite(width) ? columns / width : 0.0;
    const double yScale = height > 0.0 && std::isfinite(height) ? rows / height : 0.0;
    auto index = [](double offset, double scale, int count) {
      const double f = offset * scale;  // offset >= 0
      if (!(f > 0.0)) return 0;
      return f >= count ? count - 1 : static_cast<int>(f);
    };

    const std::size_t cellCount = static_cast<std::size_t>(columns) * rows;
    std::vector<int> cellOf(static_cast<std::size_t>(n));
    cellStart.assign(cellCount + 1, 0);
    for (int i = 0; i < n; ++i) {
      const int c = index(xData[i] - xmin, xScale, columns) + columns * index(yData[i] - ymin, yScale, rows);
      cellOf[i] = c;
      ++cellStart[c + 1];
    }
    // Crowding: the sum of squared cell counts is the work of scanning every
    // point's own cell; about 3n for uniform data.
    double crowding = 0.0;
    for (std::size_t c = 1; c <= cellCount; ++c) crowding += static_cast<double>(cellStart[c]) * cellStart[c];
    if (crowding > 12.0 * n) return false;
    for (std::size_t c = 1; c <= cellCount; ++c) cellStart[c] += cellStart[c - 1];

    points.resize(static_cast<std::size_t>(n));
    cellOfPoint.resize(static_cast<std::size_t>(n));
    std::vector<int> fill(cellStart.begin(), cellStart.end() - 1);
    for (int i = 0; i < n; ++i) {
      const int at = fill[cellOf[i]]++;
      points[at] = IndexedPoint{xData[i], yData[i], i + 1};
      cellOfPoint[at] = cellOf[i];
    }

    const double inf = std::numeric_limits<double>::infinity();
    columnLow.assign(columns, inf);
    columnHigh.assign(columns, -inf);
    rowLow.assign(rows, inf);
    rowHigh.assign(rows, -inf);
    for (int i = 0; i < n; ++i) {
      const int column = cellOfPoint[i] % columns, row = cellOfPoint[i] / columns;
      columnLow[column] = std::min(columnLow[column], points[i].x);
      columnHigh[column] = std::max(columnHigh[column], points[i].x);
      rowLow[row] = std::min(rowLow[row], points[i].y);
      rowHigh[row] = std::max(rowHigh[row], points[i].y);
    }
    auto lowFrom = [](const std::vector<double>& low) {
      std::vector<double> result(low);
      for (std::size_t k = result.size() - 1; k-- > 0;) result[k] = std::min(result[k], result[k + 1]);
      return result;
    };
    auto highUpTo = [](const std::vector<double>& high) {
      std::vector<double> result(high);
      for (std::size_t k = 1; k < result.size(); ++k) result[k] = std::max(result[k], result[k - 1]);
      return result;
    };
    lowFromColumn = lowFrom(columnLow);
    highUpToColumn = highUpTo(columnHigh);
    lowFromRow = lowFrom(rowLow);
    highUpToRow = highUpTo(rowHigh);
    return true;
  }

  // A lower bound of the squared distance from (x0, y0) in cell (column,
  // row) to every point r or more columns or rows away.
  double ringDistance(int column, int row, int r, double x0, double y0) const {
    double gap = std::numeric_limits<double>::infinity();
    // Points in such columns lie beyond the column ranges' hull, on one
    // side or the other; each side's gap is a distance bound as for a box.
    if (column + r < columns) gap = std::min(gap, lowFromColumn[column + r] - x0);
    if (column - r >= 0) gap = std::min(gap, x0 - highUpToColumn[column - r]);
    if (row + r < rows) gap = std::min(gap, lowFromRow[row + r] - y0);
    if (row - r >= 0) gap = std::min(gap, y0 - highUpToRow[row - r]);
    gap = std::max(gap, 0.0);
    return gap * gap;
  }

  double cellDistance(int column, int row, double x0, double y0) const {
    return distanceToBox(columnLow[column], columnHigh[column], rowLow[row], rowHigh[row], x0, y0);
  }
};

// Neighbour search for one point p0: T and every other point within it.
struct NeighbourSearch {
  struct Entry {
    int position;  // in the selection's working list
    int point;
    int local;  // local number (cell or leaf order, 1-based)
    double dist;
  };
  double smallest[kNearestCount];  // the smallest distances met so far, ascending
  int found = 0;
  double limit = 0.0;          // the ninth smallest so far (infinite before nine are met)
  std::vector<Entry> met;      // every point met within the limit of its time
  std::vector<Entry> entries;  // the entries that take part in the selection

  // The limit only shrinks, so every point within the final T is kept.
  void offer(double dist, int point, int position, int local) {
    met.push_back(Entry{position, point, local, dist});
    int i = 0;
    if (found < kNearestCount) {
      i = found++;
    } else if (dist < smallest[kNearestCount - 1]) {
      i = kNearestCount - 1;
    } else {
      return;
    }
    for (; i > 0 && smallest[i - 1] > dist; --i) smallest[i] = smallest[i - 1];
    smallest[i] = dist;
    if (found == kNearestCount) limit = smallest[kNearestCount - 1];
  }

  // Offers points[begin .. end-1]; local numbers are positions + 1.
  void scan(const std::vector<IndexedPoint>& points, int begin, int end, int p0, double x0, double y0) {
    for (int i = begin; i < end; ++i) {
      const double dx = points[i].x - x0;
      const double dy = points[i].y - y0;
      const double dist = dx * dx + dy * dy;
      const int q = points[i].id;
      // Position in the working list: p0 and point 1 have changed places.
      if (dist <= limit && q != p0) offer(dist, q, q == 1 ? p0 : q, i + 1);
    }
  }

  void scanLeaf(const PointTree& tree, const PointTree::Node& node, int p0, double x0, double y0) {
    scan(tree.points, node.begin, node.end, p0, x0, y0);
  }

  // Depth-first search below `root`, nearer child first, skipping boxes
  // beyond the limit. Each stacked node carries its box distance, checked
  // again when it is taken because the limit may have shrunk meanwhile.
  void searchBelow(const PointTree& tree, int root, double rootBound, int p0, double x0, double y0) {
    struct Pending {
      int node;
      double bound;
    };
    Pending stack[64];  // one entry per level plus one: the depth stays below 32
    int top = 0;
    stack[top++] = Pending{root, rootBound};
    while (top > 0) {
      const Pending pending = stack[--top];
      if (pending.bound > limit) continue;
      const PointTree::Node& node = tree.nodes[pending.node];
      if (node.firstChild < 0) {
        scanLeaf(tree, node, p0, x0, y0);
        continue;
      }
      const int left = node.firstChild;
      const double leftBound = PointTree::boxDistance(tree.nodes[left], x0, y0);
      const double rightBound = PointTree::boxDistance(tree.nodes[left + 1], x0, y0);
      const bool leftFirst = leftBound <= rightBound;
      const Pending near{leftFirst ? left : left + 1, leftFirst ? leftBound : rightBound};
      const Pending far{leftFirst ? left + 1 : left, leftFirst ? rightBound : leftBound};
      if (far.bound <= limit) stack[top++] = far;
      if (near.bound <= limit) stack[top++] = near;
    }
  }

  // Every point within T of p0, p0 lying in leaf `ownLeaf`: that leaf first,
  // then, from it up to the root, the other child of each ancestor unless
  // its box lies beyond the limit. Together these cover all points.
  void run(const PointTree& tree, int ownLeaf, int p0, double x0, double y0) {
    found = 0;
    limit = std::numeric_limits<double>::infinity();
    met.clear();
    scanLeaf(tree, tree.nodes[ownLeaf], p0, x0, y0);
    for (int node = ownLeaf; tree.nodes[node].parent >= 0; node = tree.nodes[node].parent) {
      const int first = tree.nodes[tree.nodes[node].parent].firstChild;
      const int sibling = node == first ? first + 1 : first;
      const double bound = PointTree::boxDistance(tree.nodes[sibling], x0, y0);
      if (bound <= limit) searchBelow(tree, sibling, bound, p0, x0, y0);
    }
  }

  // Every point within T of p0, p0 lying in cell (column, row): that cell,
  // then ring after ring of cells around it until no cell of the next ring
  // or beyond can hold a point within the limit. Cells beyond the limit are
  // skipped.
  void run(const PointGrid& grid, int column, int row, int p0, double x0, double y0) {
    found = 0;
    limit = std::numeric_limits<double>::infinity();
    met.clear();
    auto visit = [&](int c, int r) {
      if (grid.cellDistance(c, r, x0, y0) > limit) return;
      const int cell = c + grid.columns * r;
      scan(grid.points, grid.cellStart[cell], grid.cellStart[cell + 1], p0, x0, y0);
    };
    visit(column, row);
    const int rings = std::max(grid.columns, grid.rows);
    for (int r = 1; r < rings; ++r) {
      if (grid.ringDistance(column, row, r, x0, y0) > limit) break;
      const int c0 = std::max(column - r, 0), c1 = std::min(column + r, grid.columns - 1);
      if (row - r >= 0) {
        for (int c = c0; c <= c1; ++c) visit(c, row - r);
      }
      if (row + r < grid.rows) {
        for (int c = c0; c <= c1; ++c) visit(c, row + r);
      }
      for (int rr = std::max(row - r + 1, 0); rr <= std::min(row + r - 1, grid.rows - 1); ++rr) {
        if (column - r >= 0) visit(column - r, rr);
        if (column + r < grid.columns) visit(column + r, rr);
      }
    }
  }

  // Writes the nine nearest of p0 from the entries within T (T = the final
  // limit), in the order the selection gives them, as point numbers to near
  // and as local numbers to nearLocal.
  void select(int p0, const double* xData, const double* yData, const std::vector<int>& localOf, int* near,
              int* nearLocal) {
    entries.clear();
    bool displaceable = false;
    for (const Entry& m : met) {
      if (m.dist <= limit) {
        entries.push_back(m);
        displaceable = displaceable || m.position <= 10;
      }
    }
    if (displaceable) {
      replaySelection(p0, xData, yData, localOf);
    } else {
      sortByDistanceThenPosition();
    }
    for (int k = 0; k < kNearestCount; ++k) {
      near[k] = entries[k].point;
      nearLocal[k] = entries[k].local;
    }
  }

  // Nothing within T stands in positions 2 to 10, so nothing within T is
  // ever displaced: the winners come out by distance, then by position.
  // Usually a handful of entries lie within T, but with many points at one
  // distance (coincident points, distances that overflow) all of them may:
  // then a partial sort. Positions are distinct, so the order is total.
  void sortByDistanceThenPosition() {
    const auto before = [](const Entry& a, const Entry& b) {
      return a.dist < b.dist || (a.dist == b.dist && a.position < b.position);
    };
    const int count = static_cast<int>(entries.size());
    if (count > 32) {
      std::partial_sort(entries.begin(), entries.begin() + kNearestCount, entries.end(), before);
      return;
    }
    for (int i = 1; i < count; ++i) {
      const Entry entry = entries[i];
      int j = i;
      for (; j > 0 && before(entry, entries[j - 1]); --j) entries[j] = entries[j - 1];
      entries[j] = entry;
    }
  }

  // Replays the selection's steps 2 to 10 on the entries of positions 2 to
  // 10 and the entries within T, in position order.
  void replaySelection(int p0, const double* xData, const double* yData, const std::vector<int>& localOf) {
    const double x0 = xData[p0 - 1];
    const double y0 = yData[p0 - 1];
    std::vector<Entry>& within = met;  // reused: the entries within T move to the front of met
    within.assign(entries.begin(), entries.end());
    entries.clear();
    for (int position = 2; position <= 10; ++position) {
      const int point = position == p0 ? 1 : position;
      entries.push_back(Entry{position, point, localOf[point - 1], squaredDistance(xData, yData, point, x0, y0)});
    }
    for (const Entry& m : within) {
      if (m.position > 10) entries.push_back(m);
    }
    std::sort(entries.begin() + 9, entries.end(),
              [](const Entry& a, const Entry& b) { return a.position < b.position; });
    const int count = static_cast<int>(entries.size());
    for (int j = 0; j < kNearestCount; ++j) {
      int best = j;
      double bestDist = entries[j].dist;
      for (int i = j + 1; i < count; ++i) {
        if (entries[i].dist < bestDist) {
          best = i;
          bestDist = entries[i].dist;
        }
      }
      std::swap(entries[j].point, entries[best].point);
      std::swap(entries[j].local, entries[best].local);
      std::swap(entries[j].dist, entries[best].dist);
    }
  }
};

// The searches of all points but the last through a k-d tree; the numbering
// follows the leaf order.
void searchTree(int n, const double* xData, const double* yData, int* nearest, Numbering& numbering,
                int* nearLocal, NeighbourSearch& search) {
  const PointTree tree(n, xData, yData);
  numbering.originalOf.resize(static_cast<std::size_t>(n));
  numbering.localOf.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    numbering.originalOf[i] = tree.points[i].id;
    numbering.localOf[tree.points[i].id - 1] = i + 1;
  }
  // Leaf by leaf, so that consecutive searches share their nodes.
  int scratch[kNearestCount];
  for (int leaf = 0; leaf < static_cast<int>(tree.nodes.size()); ++leaf) {
    const PointTree::Node& node = tree.nodes[leaf];
    if (node.firstChild >= 0) continue;
    for (int i = node.begin; i < node.end; ++i) {
      const int p0 = tree.points[i].id;
      if (p0 == n) continue;
      search.run(tree, leaf, p0, tree.points[i].x, tree.points[i].y);
      search.select(p0, xData, yData, numbering.localOf, nearest + kNearestCount * (p0 - 1),
                    nearLocal != nullptr ? nearLocal + kNearestCount * i : scratch);
    }
  }
}

}  // namespace

void Numbering::identity(int n) {
  originalOf.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) originalOf[i] = i + 1;
  localOf = originalOf;
}

// With a coordinate that is not finite every point goes through the full
// selection and the numbering is the identity. Otherwise the numbering
// follows the grid's cells or the tree's leaves, the order in which the
// points are served.
void nearestPointsInOrder(int n, const double* xData, const double* yData, int* nearest, double* distSq,
                          int* distOrder, Numbering& numbering, int* nearLocal) {
  // A NaN distance breaks the ordering that the tree search relies on.
  bool finite = true;
  for (int i = 0; i < n && finite; ++i) finite = std::isfinite(xData[i]) && std::isfinite(yData[i]);
  if (!finite) {
    numbering.identity(n);
    for (int p0 = 1; p0 <= n; ++p0) selectByFullScan(n, xData, yData, p0, nearest, distSq, distOrder);
    if (nearLocal != nullptr) std::copy(nearest, nearest + kNearestCount * static_cast<std::ptrdiff_t>(n), nearLocal);
    return;
  }
  NeighbourSearch search;
  int scratch[kNearestCount];
  PointGrid grid;
  if (grid.build(n, xData, yData)) {
    numbering.originalOf.resize(static_cast<std::size_t>(n));
    numbering.localOf.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      numbering.originalOf[i] = grid.points[i].id;
      numbering.localOf[grid.points[i].id - 1] = i + 1;
    }
    // Cell by cell, so that consecutive searches share their cells.
    for (int i = 0; i < n; ++i) {
      const int p0 = grid.points[i].id;
      if (p0 == n) continue;
      const int cell = grid.cellOfPoint[i];
      search.run(grid, cell % grid.columns, cell / grid.columns, p0, grid.points[i].x, grid.points[i].y);
      search.select(p0, xData, yData, numbering.localOf, nearest + kNearestCount * (p0 - 1),
                    nearLocal != nullptr ? nearLocal + kNearestCount * i : scratch);
    }
  } else {
    searchTree(n, xData, yData, nearest, numbering, nearLocal, search);
  }
  // The last point leaves its working list in distSq and distOrder.
  selectByFullScan(n, xData, yData, n, nearest, distSq, distOrder);
  if (nearLocal != nullptr) {
    const int* near = nearest + kNearestCount * (n - 1);
    int* local = nearLocal + kNearestCount * (numbering.localOf[n - 1] - 1);
    for (int k = 0; k < kNearestCount; ++k) local[k] = numbering.localOf[near[k] - 1];
  }
}

}  // namespace lum::scattered
