// Point location for the scattered-data surface: assigns every output point of
// a block to a triangle of the mesh or to an outside region beside the border.
//
// Region codes (locCode) and what locIndex names:
//
//   1  inside or on triangle locIndex
//   2  in the strip beside border segment locIndex (outside the data area)
//   3  in the wedge beyond the convex (or straight) border vertex that starts
//      segment locIndex
//   4  in the wedge beyond the reflex border vertex that starts segment
//      locIndex; the other segment at that vertex is locIndex - 1 (or
//      borderCount for locIndex = 1)
//   0  no region: the output point has a non-finite coordinate (its value
//      is NaN)
//
//            B                         strip (code 2) beside segment V->B
//           /                                 |
//   data   /   <- border chain runs           v
//   area  V       counterclockwise, data  ..........
//          \      area on its left       wedge (code 3/4) beyond vertex V
//           A
//
// Boundary cases, in the order the tests are applied:
// - a point on a triangle edge or at a vertex is inside (code 1); among
//   several triangles holding it, the previous point's triangle wins, else the
//   lowest-numbered one;
// - a triangle of zero area contains no point;
// - a point on the line between a vertex wedge and a segment strip belongs to
//   the wedge;
// - a point that no test assigns (possible only near a reflex border vertex)
//   gets code 3 at the border vertex nearest to it (ties: the lowest segment
//   number);
// - a point with a NaN or infinite coordinate gets code 0 and index 0.
#ifndef LUM_SCATTERED_POINT_LOCATION_H
#define LUM_SCATTERED_POINT_LOCATION_H

#include <utility>
#include <vector>

namespace lum::scattered {

// Largest number of output points handled by one call of sdLocatePoints or
// sdEvaluatePoints.
inline constexpr int kBlockSize = 51;

// Inside test of triangle t (1-based) for the point (px, py): true when the
// point lies inside or on the border of the triangle, whose vertices are
// counterclockwise, and the triangle's area is not exactly zero. Each of the
// three edge tests is the sign of cross(Vi - P, Vj - P) in double arithmetic,
// without tolerance.
bool sdInsideTriangle(const double* xData, const double* yData, const int* triVertex, int t, double px,
                      double py);

// The search over all triangles for one driver call: firstContaining(px, py)
// is the lowest-numbered triangle t whose sdInsideTriangle test succeeds, 0
// if none does, exactly as a scan over t = 1, 2, ..., triCount finds it.
//
// A spatial index of the triangles (memory and time proportional to
// triCount, released with the object) is built at the first search when the
// call expects enough searches, else once the scans have cost about a pass
// over all triangles; searches then test only the triangles that the index
// names for the point. The index never leaves out a triangle whose inside
// test can succeed at the point, so the result is that of the scan, ties and
// rounding included.
//
// One object serves one thread; the arrays must not change while it lives.
class TriangleLocator {
 public:
  // expectedQueries: about how many points the call will locate.
  TriangleLocator(int pointCount, const double* xData, const double* yData, const int* triVertex,
                  int triCount, long long expectedQueries);

  // px and py must be finite.
  int firstContaining(double px, double py);

  // sdInsideTriangle for triangle t of this mesh.
  bool inside(int t, double px, double py) const;

  // Builds the index now instead of after the first scans; for tests.
  void buildIndexNow();
  bool indexed() const { return built_ && usable_; }

  // The finest grid of the index: the data points' bounding box split into
  // nx by ny cells.
  struct FineGrid {
    double x0, x1, y0, y1;
    int nx, ny;
  };
  FineGrid fineGrid() const;

 private:
  // A registered triangle's widened box, rounded outward to float, so that
  // most candidates of a cell are rejected on contiguous memory.
  struct Box {
    float xlo, xhi, ylo, yhi;
  };
  // One grid of the hierarchy: nx by ny cells over the bounding box; the
  // triangles of cell c = j * nx + i are tri[start[c]] to tri[start[c+1]-1],
  // ascending, with their boxes in box (when the call expects enough
  // searches to repay writing them; else box is empty).
  struct Level {
    int nx = 1, ny = 1;
    double scaleX = 0.0, scaleY = 0.0;
    std::vector<int> start;
    std::vector<int> tri;
    std::vector<Box> box;
    int cellX(double v, double x0) const;
    int cellY(double v, double y0) const;
  };

  int scanFrom(int first, double px, double py) const;
  void build();
  int searchZone(double px, double py) const;
  int searchFar(double px, double py);

  int pointCount_;
  const double* x_;
  const double* y_;
  const int* triVertex_;
  int triCount_;
  long long scanBudget_;
  bool withBoxes_;
  bool built_ = false;
  bool usable_ = false;

  // Bounding box of the data points, and the zone around it in which the
  // grids answer; farther points take the far search.
  double x0_ = 0.0, x1_ = 0.0, y0_ = 0.0, y1_ = 0.0;
  double zoneX0_ = 0.0, zoneX1_ = 0.0, zoneY0_ = 0.0, zoneY1_ = 0.0;
  double zoneDelta_ = 0.0;
  // Bounding box of all registered boxes: a point outside it can only be in
  // a triangle of everywhere_.
  double unionX0_ = 0.0, unionX1_ = 0.0, unionY0_ = 0.0, unionY1_ = 0.0;
  std::vector<Level> levels_;
  std::vector<int> activeLevels_;  // the levels holding any triangle
  std::vector<int> everywhere_;    // triangles tested at every point of the zone
  // Far search: (key, triangle) pairs sorted by key, built on first use.
  std::vector<std::pair<double, int>> farOrder_;
  bool farBuilt_ = false;
};

// The outside regions for one driver call: locate(px, py) gives the first
// vertex wedge in segment order (code 3 or 4), else the first segment strip
// (code 2), else code 3 at the nearest border vertex, exactly as the tests
// over all segments in order give them.
//
// Like TriangleLocator it scans until the scans have cost about as much as
// an index, then builds a grid over the border's surroundings in which every
// cell lists the wedges and strips whose tests can succeed in it.
class BorderLocator {
 public:
  BorderLocator(const double* xData, const double* yData, const int* borderSeg, int borderCount);

  // For a point (finite coordinates) that lies in no triangle.
  void locate(double px, double py, int* code, int* index);

  void buildIndexNow();
  bool indexed() const { return built_ && usable_; }

 private:
  // Cell lists of one kind of region (wedges or strips), as in
  // TriangleLocator::Level.
  struct Lists {
    std::vector<int> start;
    std::vector<int> item;
  };

  bool wedgeAt(int l, double px, double py, int* code) const;
  bool stripAt(int l, double px, double py) const;
  int nearestVertex(double px, double py) const;
  void build();
  int cellX(double v) const;
  int cellY(double v) const;

  const double* x_;
  const double* y_;
  const int* borderSeg_;
  int borderCount_;
  long long scanBudget_ = 0;
  bool built_ = false;
  bool usable_ = false;

  // The grid: nx by ny cells over [x0_, x1_] x [y0_, y1_].
  double x0_ = 0.0, x1_ = 0.0, y0_ = 0.0, y1_ = 0.0;
  double scaleX_ = 0.0, scaleY_ = 0.0;
  int nx_ = 1, ny_ = 1;
  Lists wedges_, strips_;
};

// Both searches of one driver call.
struct PointLocator {
  PointLocator(int pointCount, const double* xData, const double* yData, const int* triVertex, int triCount,
               const int* borderSeg, int borderCount, long long expectedQueries)
      : triangles(pointCount, xData, yData, triVertex, triCount, expectedQueries),
        border(xData, yData, borderSeg, borderCount) {}
  TriangleLocator triangles;
  BorderLocator border;
};

// Locates the `count` output points (xOut[0..count-1], yOut[0..count-1]) of one
// block.
// Reads: xData, yData (pointCount data points), triCount and triVertex (3
//   counterclockwise vertex numbers per triangle, 1-based), borderCount and
//   borderSeg (start and end point of each border segment, chained
//   counterclockwise).
// Writes: locCode[0..count-1] and locIndex[0..count-1] (codes above).
// The previous-triangle shortcut works only inside the block. A count below 1
// does nothing. The searches go through `locator`, which must have been made
// for the same arrays and counts; the drivers keep one for all blocks of a
// call.
void sdLocatePoints(int* pointCount, double* xData, double* yData, int* triCount, int* triVertex,
                    int* borderCount, int* borderSeg, int* count, double* xOut, double* yOut,
                    int* locCode, int* locIndex, PointLocator& locator);

// The same with a locator of its own for this block.
void sdLocatePoints(int* pointCount, double* xData, double* yData, int* triCount, int* triVertex,
                    int* borderCount, int* borderSeg, int* count, double* xOut, double* yOut,
                    int* locCode, int* locIndex);

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_POINT_LOCATION_H
