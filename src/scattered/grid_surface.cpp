// sdsf3p_: the scattered-data surface on a rectangular grid.
#include <VORN_LumUtility.h>

#include <cstddef>

#include "scattered/evaluation.h"
#include "scattered/point_location.h"
#include "scattered/surface_drivers.h"
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

namespace {

// Process-wide state of sdsf3p_, separate from that of sdbi3p_ and
// Calculate_: the pointCount of its last call whose mode was neither 2 nor 3,
// and the mesh counts of its last full preparation, which a re-use call
// evaluates with.
int rememberedCountGrid = 0;
int gridTriCount = 0;
int gridBorderCount = 0;

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
    if (*pointCount != rememberedCountGrid) {
      *status = 2;
      return 0;
    }
  } else {
    rememberedCountGrid = *pointCount;
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
  if (!reuse) {
    int ok = 0;
    sdTriangulateData(pointCount, xData, yData, iwork, &ok);
    if (!ok) {
      *status = 9;
      return 0;
    }
    int borderStatus = 0;
    sdExtractBorder(pointCount, &gridTriCount, triVertex, &gridBorderCount, borderSeg, &borderStatus,
                    column(iwork, kAdjNodeCol, n), column(iwork, kAdjNextCol, n), column(iwork, kAdjLastCol, n),
                    column(iwork, kTriTableCol, n));
    if (borderStatus != 0) {
      *status = 9;
      return 0;
    }
    sdRemoveThinTriangles(pointCount, xData, yData, &gridTriCount, triVertex, &gridBorderCount, borderSeg,
                          column(iwork, kBorderTriCol, n));
  }
  if (*mode != 3) sdEstimateDerivatives(pointCount, xData, yData, zData, work, iwork);

  // Row by row, x fastest, in blocks of 51 along the row, so that neighbouring
  // nodes follow one another and share triangles and coefficients.
  double* partials = column(work, kPartialsCol, n);
  double rowY[kBlockSize];
  int locCode[kBlockSize];
  int locIndex[kBlockSize];
  const int nx = *xCount;
  for (int j = 0; j < *yCount; ++j) {
    for (double& y : rowY) y = yGrid[j];
    double* zRow = zGrid + static_cast<std::ptrdiff_t>(j) * nx;
    for (int b = 0; b < nx; b += kBlockSize) {
      int count = nx - b < kBlockSize ? nx - b : kBlockSize;
      sdLocatePoints(pointCount, xData, yData, &gridTriCount, triVertex, &gridBorderCount, borderSeg, &count,
                     xGrid + b, rowY, locCode, locIndex);
      sdEvaluatePoints(pointCount, xData, yData, zData, &gridTriCount, triVertex, &gridBorderCount, borderSeg,
                       partials, &count, xGrid + b, rowY, locCode, locIndex, zRow + b);
    }
  }
  *status = 0;
  return 0;
}
