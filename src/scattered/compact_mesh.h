// A cache-friendly copy of the adjacency lists for the Delaunay insertion.
//
// The caller's lists keep each node's neighbours in cells scattered over the
// whole array (cells are numbered by the time they are taken), so every step
// along a list is a cache miss once the mesh outgrows the cache; with points
// in random order, inserting one point walks about 90 cells. CompactMesh keeps
// each node's list as a small array of (neighbour, cell number) pairs in list
// order, first to last, and numbers the nodes along a Hilbert curve, so the
// nodes one insertion touches lie close together in memory.
//
//   node record, two cache lines:
//     line 1: x, y, degree d, spill offset, neighbours n1 .. n10
//     line 2: cells c1 .. c10
//   n1 is the first neighbour, nd the last (negative on the hull); the
//   caller's list is c1 -> c2 -> ... -> cd -> c1, with adjLast = cd.
//   Point location and the swap test read the first line only. Lists longer
//   than 10 move to a pool of larger blocks (neighbours, then cells).
//
// Every edit of the insertion (insertAfter, unlinkAfter, relinkAfter,
// setLast, setNode, makeList) changes the arrays as the same edit changes the
// caller's lists, with the same cell numbers, so materialize() writes exactly
// the lists that the plain procedure would have left. The one edit it cannot
// follow (unlinking the only cell of a list, which leaves the cell in two
// lists) is reported as core::kLostTrack.
//
// Node numbers inside the store ("internal") are Hilbert ranks; internal(k)
// and external(r) convert.
#ifndef LUM_SCATTERED_COMPACT_MESH_H
#define LUM_SCATTERED_COMPACT_MESH_H

#include <cstdlib>
#include <vector>

namespace lum::scattered {

class CompactMesh {
 public:
  // Store for n points (x, y finite, external numbers 1..n), all lists empty.
  CompactMesh(int n, const double* x, const double* y);

  int size() const { return n_; }
  int internal(int ext) const { return toInternal_[ext - 1]; }
  int external(int r) const { return toExternal_[r - 1]; }
  double X(int r) const { return rec_[r - 1].x; }
  double Y(int r) const { return rec_[r - 1].y; }

  int degree(int r) const { return rec_[r - 1].deg; }
  // Node r's neighbours (signed internal numbers), first to last, and the
  // cells holding them.
  const int* neighbours(int r) const {
    const Record& R = rec_[r - 1];
    return R.spill == 0 ? R.node : pool_.data() + R.spill;
  }
  const int* cells(int r) const {
    const Record& R = rec_[r - 1];
    return R.spill == 0 ? R.cell : pool_.data() + R.spill + pool_[R.spill - 1];
  }

  // Asks the processor to fetch node r's record ahead of use.
  void prefetch(int r) const {
    const char* p = reinterpret_cast<const char*>(&rec_[r - 1]);
    __builtin_prefetch(p);
    __builtin_prefetch(p + 64);
  }
  // Prefetches the node across the edge u -> v of a counterclockwise
  // triangle (the node after u in v's list).
  void prefetchAcross(int u, int v) const {
    const int* e = neighbours(v);
    const int d = degree(v);
    for (int j = 0; j < d; ++j) {
      if (e[j] == u) {
        prefetch(std::abs(e[j + 1 == d ? 0 : j + 1]));
        return;
      }
    }
  }

  // The list interface of insertion_core.h (handles are cell numbers).
  int lastCell(int r) const { return cells(r)[degree(r) - 1]; }
  int firstCell(int r) const { return cells(r)[0]; }
  int nodeAt(int r, int c) const { return neighbours(r)[indexOf(r, c)]; }
  int nextOf(int r, int c) const;
  int findCell(int r, int target, int limit) const;
  void setNode(int r, int c, int value) { mutableNeighbours(r)[indexOf(r, c)] = value; }
  void insertAfter(int r, int lp, int value, int cell);
  int unlinkAfter(int r, int lp);
  void relinkAfter(int r, int lp, int cell, int value) { insertAfter(r, lp, value, cell); }
  void setLast(int r, int c);
  void makeList(int r, const int* values, int count, int firstCell);

  // Loads the lists of external nodes 1..count from the caller's arrays (each
  // must be a proper cycle through its last cell). False if one is not.
  bool load(int count, const int* adjNode, const int* adjNext, const int* adjLast);

  // Writes the caller's lists: for every node with a list, its cells'
  // neighbours (external numbers) and links, and its adjLast entry.
  void materialize(int* adjNode, int* adjNext, int* adjLast) const;

  // The linear-time triangulation check of sdCheckTriangulation, evaluated on
  // the store: true exactly when that check accepts the materialized lists of
  // all n nodes with cells 1 .. cells.
  bool formsTriangulation(int cells) const;

 private:
  static constexpr int kInline = 10;
  struct alignas(64) Record {
    double x = 0.0, y = 0.0;
    int deg = 0;
    int spill = 0;  // 0: lists inline; else offset of the neighbours in pool_
    int node[kInline] = {};
    int cell[kInline] = {};
  };
  static_assert(sizeof(Record) == 128, "two cache lines");

  int* mutableNeighbours(int r) {
    Record& R = rec_[r - 1];
    return R.spill == 0 ? R.node : pool_.data() + R.spill;
  }
  int* mutableCells(int r) {
    Record& R = rec_[r - 1];
    return R.spill == 0 ? R.cell : pool_.data() + R.spill + pool_[R.spill - 1];
  }
  int capacity(int r) const {
    const Record& R = rec_[r - 1];
    return R.spill == 0 ? kInline : pool_[R.spill - 1];
  }
  void reserve(int r, int count);
  int indexOf(int r, int c) const;

  int n_;
  std::vector<int> toInternal_, toExternal_;
  std::vector<Record> rec_;
  // Blocks for long lists: capacity, then that many neighbours, then cells.
  std::vector<int> pool_;
  // Positions of recently used cells (slot: cell number modulo kHints), so
  // that the cell-addressed list interface rarely has to search a list. A
  // hint is only trusted after checking that the list holds the cell there.
  static constexpr int kHints = 64;
  void remember(int cell, int index) const { hint_[cell & (kHints - 1)] = index; }
  mutable int hint_[kHints] = {};
};

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_COMPACT_MESH_H
