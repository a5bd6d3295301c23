// sdsf3p_: the scattered-data surface on a rectangular grid.
#include <VORN_LumUtility.h>

#include <atomic>
#include <cstddef>
#include <memory>

#include "scattered/evaluation.h"
#include "scattered/point_location.h"
#include "scattered/surface_drivers.h"
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

namespace {

// Process-wide state of sdsf3p_, separate from that of sdbi3p_ and
// Calculate_: the pointCount of its last call whose mode was neither 2 nor 3,
// and the mesh counts of its last full preparation, which a re-use call
// evaluates with. Atomic (relaxed, like the counts of sdbi3p_ and Calculate_)
// so that re-use calls evaluating one prepared grid surface may overlap; a
// full preparation must not overlap a re-use call, which needs the counts
// and the arrays of one and the same preparation.
std::atomic<int> rememberedCountGrid{0};
std::atomic<int> gridTriCount{0};
std::atomic<int> gridBorderCount{0};

}  // namespace

int sdsf3p_(int* mode, int* pointCount, double* xData, double* yData, double* zData, int* xCount,
            double* xGrid, int* yCount, double* yGrid, double* zGrid, int* status, double* work, int* iwork) {
  using namespace lum::scattered;
  if (*pointCount < 10) {
    *status = 1;
    return 0;
  }
  const bool reuse = *mode == 2 || *mode == 3;
  if (reuse) {
    if (*pointCount != rememberedCountGrid.load(std::memory_order_relaxed)) {
      *status = 2;
      return 0;
    }
  } else {
    rememberedCountGrid.store(*pointCount, std::memory_order_relaxed);
  }
  if (*xCount < 1) {
    *status = 3;
    return 0;
  }
  if (*yCount < 1) {
    *status = 4;
    return 0;
  }
  const int n = *pointCount;
  int* triVertex = column(iwork, kTriVertexCol, n);
  int* borderSeg = column(iwork, kBorderSegCol, n);
  // This call's copy of the mesh counts.
  int triCount = gridTriCount.load(std::memory_order_relaxed);
  int borderCount = gridBorderCount.load(std::memory_order_relaxed);
  if (!reuse) {
    int ok = 0;
    sdTriangulateData(pointCount, xData, yData, iwork, &ok);
    if (!ok) {
      *status = 9;
      return 0;
    }
    int borderStatus = 0;
    sdExtractBorder(pointCount, &triCount, triVertex, &borderCount, borderSeg, &borderStatus,
                    column(iwork, kAdjNodeCol, n), column(iwork, kAdjNextCol, n), column(iwork, kAdjLastCol, n),
                    column(iwork, kTriTableCol, n));
    if (borderStatus != 0) {
      gridTriCount.store(triCount, std::memory_order_relaxed);
      gridBorderCount.store(borderCount, std::memory_order_relaxed);
      *status = 9;
      return 0;
    }
    sdRemoveThinTriangles(pointCount, xData, yData, &triCount, triVertex, &borderCount, borderSeg,
                          column(iwork, kBorderTriCol, n));
    gridTriCount.store(triCount, std::memory_order_relaxed);
    gridBorderCount.store(borderCount, std::memory_order_relaxed);
  }
  if (*mode != 3) sdEstimateDerivatives(pointCount, xData, yData, zData, work, iwork);

  // Row by row, x fastest, in blocks of 51 along the row, so that neighbouring
  // nodes follow one another and share triangles and coefficients.
  double* partials = column(work, kPartialsCol, n);
  double rowY[kBlockSize];
  int locCode[kBlockSize];
  int locIndex[kBlockSize];
  // One locator for the whole grid: its indexes are built at most once.
  PointLocator locator(n, xData, yData, triVertex, triCount, borderSeg, borderCount,
                       static_cast<long long>(*xCount) * *yCount);
  std::unique_ptr<QuinticCache> cache = makeQuinticCache(triCount, static_cast<long long>(*xCount) * *yCount);
  const int nx = *xCount;
  for (int j = 0; j < *yCount; ++j) {
    for (double& y : rowY) y = yGrid[j];
    double* zRow = zGrid + static_cast<std::ptrdiff_t>(j) * nx;
    for (int b = 0; b < nx; b += kBlockSize) {
      int count = nx - b < kBlockSize ? nx - b : kBlockSize;
      sdLocatePoints(pointCount, xData, yData, &triCount, triVertex, &borderCount, borderSeg, &count, xGrid + b,
                     rowY, locCode, locIndex, locator);
      sdEvaluatePoints(pointCount, xData, yData, zData, &triCount, triVertex, &borderCount, borderSeg, partials,
                       &count, xGrid + b, rowY, locCode, locIndex, zRow + b, cache.get());
    }
  }
  *status = 0;
  return 0;
}
