// A packed copy of the caller's adjacency lists for the mesh conversion, and
// the triangle table built from it.
//
// Reading the lists cell by cell costs a cache miss per cell once the mesh is
// large (a node's cells lie anywhere in the arrays). The snapshot reads them
// once, following many lists at the same time so that the processor can have
// many of these misses outstanding, and stores each node's neighbours
// contiguously, first to last, with the nodes in a chosen order (a Hilbert
// order when coordinates are at hand, so that a triangle's three lists lie
// close together).
#ifndef LUM_SCATTERED_LIST_SNAPSHOT_H
#define LUM_SCATTERED_LIST_SNAPSHOT_H

#include <vector>

namespace lum::scattered {

class ListSnapshot {
 public:
  // Reads the lists of nodes 1..n, taking the nodes in the order `order`
  // (external node numbers; empty for 1..n). sound() is false when some list
  // does not lead from its first cell to its last one within 6n steps, or
  // names a node outside 1..n.
  ListSnapshot(int n, const int* adjNode, const int* adjNext, const int* adjLast,
               std::vector<int> order);

  bool sound() const { return sound_; }

  // The triangle table (6 ints per triangle, numbered as sdBuildTriangleTable
  // numbers them), written when the lists form a triangulation in the sense
  // below; returns the triangle count, or -1 (nothing written) otherwise.
  //
  // Condition: every list holds distinct nodes other than its owner, negative
  // only in its last cell; every corner (v; u, w) of consecutive neighbours
  // (not across a hull node's gap from last to first) is also a corner
  // (u; w, v) and (w; v, u) of the other two lists; and there are at most
  // 2n - 5 triangles. Then each side of a triangle has exactly the triangle
  // across it (or the hull) as neighbour, which is what the neighbour search
  // of sdBuildTriangleTable finds, and the table is written directly from
  // the corners.
  int buildTriangleTable(int* triTable) const;

 private:
  int n_;
  bool sound_ = true;
  std::vector<int> toExternal_, toInternal_;
  // Node r's neighbours (signed internal numbers), first to last, are
  // value_[start_[r - 1]] .. value_[start_[r - 1] + degree_[r - 1] - 1].
  std::vector<int> start_, degree_;
  std::vector<int> value_;
};

}  // namespace lum::scattered

#endif  // LUM_SCATTERED_LIST_SNAPSHOT_H
