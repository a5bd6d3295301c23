// The surface drivers sdbi3p_ and Calculate_, and the preparation stages
// that sdsf3p_ shares with them.
#include <VORN_LumUtility.h>

#include <atomic>
#include <cstddef>
#include <memory>

#include "scattered/cubic_refinement.h"
#include "scattered/evaluation.h"
#include "scattered/partial_derivatives.h"
#include "scattered/point_location.h"
#include "scattered/surface_drivers.h"
#include "scattered/triangulation.h"
#include "scattered/work_layout.h"

namespace lum::scattered {

namespace {

// Fewest data points the surface is built from.
constexpr int kMinPointCount = 10;

// The pointCount of the last call of each driver whose mode was neither 2
// nor 3: a re-use call must come with the same count. These counts are the
// drivers' only process-wide state. They are atomic so that calls evaluating
// a prepared surface may overlap; relaxed order suffices because each count
// is a value of its own, read and written whole, and nothing else is
// published through it (the prepared surface travels in the caller's arrays,
// whose hand-over between threads is the caller's affair).
std::atomic<int> rememberedCountInterpolate{0};
std::atomic<int> rememberedCountCalculate{0};

bool isReuseMode(int mode) { return mode == 2 || mode == 3; }

// The argument checks shared by sdbi3p_ and Calculate_, in order; stores the
// count (before the check of outCount) unless the mode re-uses a
// preparation. Returns 0 or the failing status.
int checkArguments(int mode, int pointCount, int outCount, std::atomic<int>& remembered) {
  if (pointCount < kMinPointCount) return 1;
  if (isReuseMode(mode)) {
    if (pointCount != remembered.load(std::memory_order_relaxed)) return 2;
  } else {
    remembered.store(pointCount, std::memory_order_relaxed);
  }
  if (outCount < 1) return 3;
  return 0;
}

}  // namespace

void sdTriangulateData(int* pointCount, double* xData, double* yData, int* iwork, int* ok) {
  const int n = *pointCount;
  *ok = 0;
  int* adjNode = column(iwork, kAdjNodeCol, n);
  int* adjNext = column(iwork, kAdjNextCol, n);
  int* adjLast = column(iwork, kAdjLastCol, n);
  int adjFree = 0;
  int status = 0;
  sdTriangulate(pointCount, xData, yData, adjNode, adjNext, adjLast, &adjFree, &status);
  if (status != 0) return;
  // The refinement walks the lists after triVertex and borderSeg have
  // overwritten their first cells: keep copies.
  int cells = adjFree - 1;
  sdCopyInts(&cells, adjNode, column(iwork, kAdjNodeCopyCol, n));
  sdCopyInts(&cells, adjNext, column(iwork, kAdjNextCopyCol, n));
  sdCopyInts(pointCount, adjLast, column(iwork, kAdjLastCopyCol, n));
  *ok = 1;
}

void sdEstimateDerivatives(int* pointCount, double* xData, double* yData, double* zData, double* work,
                           int* iwork) {
  const int n = *pointCount;
  double* partials = column(work, kPartialsCol, n);
  // sdpd3p_, then the refined derivatives for the points whose local fit
  // stayed below degree three where the refinement succeeds (the others keep
  // the weighted mean), in one pass.
  sdEstimateAndRefine(pointCount, xData, yData, zData, partials, column(work, kCubicCoefCol, n),
                      column(work, kPlaneCoefCol, n), column(work, kDistSqCol, n), column(iwork, kDistOrderCol, n),
                      column(iwork, kNearestCol, n), column(iwork, kFitCountCol, n), column(iwork, kFitDegreeCol, n),
                      column(iwork, kAdjNodeCopyCol, n), column(iwork, kAdjNextCopyCol, n),
                      column(iwork, kAdjLastCopyCol, n));
}

void sdInterpolateBlocks(int* pointCount, double* xData, double* yData, double* zData, double* work,
                         int* iwork, int* triCount, int* borderCount, int* outCount, double* xOut,
                         double* yOut, double* zOut) {
  const int n = *pointCount;
  int* triVertex = column(iwork, kTriVertexCol, n);
  int* borderSeg = column(iwork, kBorderSegCol, n);
  double* partials = column(work, kPartialsCol, n);
  int locCode[kBlockSize];
  int locIndex[kBlockSize];
  // One locator for all blocks, so that its indexes are built at most once
  // per call.
  PointLocator locator(n, xData, yData, triVertex, *triCount, borderSeg, *borderCount, *outCount);
  std::unique_ptr<QuinticCache> cache = makeQuinticCache(*triCount, *outCount);
  for (int b = 0; b < *outCount; b += kBlockSize) {
    int count = *outCount - b < kBlockSize ? *outCount - b : kBlockSize;
    sdLocatePoints(pointCount, xData, yData, triCount, triVertex, borderCount, borderSeg, &count, xOut + b,
                   yOut + b, locCode, locIndex, locator);
    sdEvaluatePoints(pointCount, xData, yData, zData, triCount, triVertex, borderCount, borderSeg, partials,
                     &count, xOut + b, yOut + b, locCode, locIndex, zOut + b, cache.get());
  }
}

}  // namespace lum::scattered

int sdbi3p_(int* mode, int* pointCount, double* xData, double* yData, double* zData, int* outCount,
            double* xOut, double* yOut, double* zOut, int* status, double* work, int* iwork, int* borderCount,
            int* triCount) {
  using namespace lum::scattered;
  const int check = checkArguments(*mode, *pointCount, *outCount, rememberedCountInterpolate);
  if (check != 0) {
    *status = check;
    return 0;
  }
  const int n = *pointCount;
  if (!isReuseMode(*mode)) {
    int ok = 0;
    sdTriangulateData(pointCount, xData, yData, iwork, &ok);
    if (!ok) {
      *status = 9;
      return 0;
    }
    int listStatus = 0;
    sdTriangulateAndList(pointCount, xData, yData, triCount, column(iwork, kTriVertexCol, n), borderCount,
                         column(iwork, kBorderSegCol, n), &listStatus, column(iwork, kAdjNodeCol, n),
                         column(iwork, kAdjNextCol, n), column(iwork, kAdjLastCol, n),
                         column(iwork, kTriTableCol, n), column(iwork, kBorderTriCol, n));
    if (listStatus > 0) {
      *status = 9;
      return 0;
    }
  }
  if (*mode != 3) sdEstimateDerivatives(pointCount, xData, yData, zData, work, iwork);
  sdInterpolateBlocks(pointCount, xData, yData, zData, work, iwork, triCount, borderCount, outCount, xOut, yOut,
                      zOut);
  *status = 0;
  return 0;
}

int Calculate_(int* mode, int* pointCount, double* xData, double* yData, double* zData, int* outCount,
               double* xOut, double* yOut, double* zOut, int* status, double* work, int* iwork, int borderCount,
               int triCount) {
  using namespace lum::scattered;
  const int check = checkArguments(*mode, *pointCount, *outCount, rememberedCountCalculate);
  if (check != 0) {
    *status = check;
    return 0;
  }
  sdInterpolateBlocks(pointCount, xData, yData, zData, work, iwork, &triCount, &borderCount, outCount, xOut,
                      yOut, zOut);
  *status = 0;
  return 0;
}
