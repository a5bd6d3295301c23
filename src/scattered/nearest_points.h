// The nine nearest neighbours of every data point, in the order in which the
// selection of the partial-derivative stage picks them, ties included.
#pragma once

#include <vector>

namespace lum::scattered {

// Neighbours kept per point.
inline constexpr int kNearestCount = 9;

// A numbering of the points in a spatial order: local number i (1-based) is
// point originalOf[i-1], and point v has local number localOf[v-1]. Neighbours
// get nearby local numbers, so their data lie close in local arrays.
struct Numbering {
  std::vector<int> originalOf;
  std::vector<int> localOf;

  void identity(int n);
};

// The selection for every point p0 of n >= 10: the working list of all
// points in number order with p0 and point 1 exchanged; step j = 2 to 10
// moves the first entry of smallest squared distance among positions j to n
// into position j. Writes the nine picked points of p0 to nearest(., p0), the
// last point's working list to distSq and distOrder, a spatial numbering of
// the points to `numbering` and, when nearLocal is not null, the nine
// nearest of every point in that numbering: local point i's at
// nearLocal[9*(i-1) ..].
void nearestPointsInOrder(int n, const double* xData, const double* yData, int* nearest, double* distSq,
                          int* distOrder, Numbering& numbering, int* nearLocal);

}  // namespace lum::scattered
