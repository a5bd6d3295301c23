// Median of a sample sequence, shared by median() and the median-band outlier
// filter so that both pick the middle value in exactly the same way.
#ifndef LUM_STATS_MEDIAN_H
#define LUM_STATS_MEDIAN_H

#include <vector>

namespace lum {

// Sorts w ascending (std::sort with <) and returns its median: the middle
// element for an odd count, (lower + upper) * 0.5 of the two middle elements for
// an even count. w must not be empty.
double sortedMedian(std::vector<double>& w);

}  // namespace lum

#endif
