// The derivative stage of a preparation redone by the straightforward
// stages: given the work arrays a full sdbi3p_ preparation left, fills fresh
// copies whose derivative columns come from the straightforward sdpd3p_ and
// the refinement by the full list walk. Equal bits against the driver's
// arrays show that its fast derivative stage changed nothing.
#ifndef LUM_TESTS_SCATTERED_REFERENCE_DERIVATIVE_COLUMNS_REFERENCE_H
#define LUM_TESTS_SCATTERED_REFERENCE_DERIVATIVE_COLUMNS_REFERENCE_H

#include <algorithm>
#include <limits>
#include <vector>

#include "partials_reference.h"
#include "refinement_reference.h"
#include "scattered/work_layout.h"

namespace lum::scattered::reference {

// refWork gets NaN outside what the derivative stage writes; refIwork keeps
// the prepared mesh columns and gets the neighbour columns anew.
inline void redoDerivativeColumns(int n, double* x, double* y, double* z, const std::vector<double>& work,
                                  const std::vector<int>& iwork, std::vector<double>& refWork,
                                  std::vector<int>& refIwork) {
  refWork.assign(work.size(), std::numeric_limits<double>::quiet_NaN());
  refIwork = iwork;
  for (int col : {kDistOrderCol, kFitDegreeCol}) std::fill_n(column(refIwork.data(), col, n), n, -9);
  std::fill_n(column(refIwork.data(), kNearestCol, n), 10 * n, -9);  // nearest and fitCount
  double* partials = column(refWork.data(), kPartialsCol, n);
  int* fitDegree = column(refIwork.data(), kFitDegreeCol, n);
  sdpd3p(&n, x, y, z, partials, column(refWork.data(), kCubicCoefCol, n), column(refWork.data(), kPlaneCoefCol, n),
         column(refWork.data(), kDistSqCol, n), column(refIwork.data(), kDistOrderCol, n),
         column(refIwork.data(), kNearestCol, n), column(refIwork.data(), kFitCountCol, n), fitDegree);
  for (int i = 1; i <= n; ++i) {
    if (fitDegree[i - 1] >= 3) continue;
    double d[5];
    int refined = 0;
    sdCubicNodalDerivatives(&i, &n, x, y, z, column(refIwork.data(), kAdjNodeCopyCol, n),
                            column(refIwork.data(), kAdjNextCopyCol, n), column(refIwork.data(), kAdjLastCopyCol, n),
                            &d[0], &d[1], &d[2], &d[3], &d[4], &refined);
    if (refined >= 0) std::copy(d, d + 5, partials + 5 * (i - 1));
  }
}

}  // namespace lum::scattered::reference

#endif  // LUM_TESTS_SCATTERED_REFERENCE_DERIVATIVE_COLUMNS_REFERENCE_H
