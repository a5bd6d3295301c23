// Polynomial fit to measurements taken in runs of repeated readings at (nearly)
// the same abscissa, with modified Thompson tau tests at three levels: the
// readings of each run, the run means, and the straight-line residuals.
#include <VORN_LumUtility.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// Consecutive abscissae closer than this belong to one run of readings.
constexpr double kRunTolerance = 0.0005;
// Share of a run's readings that the tau test may remove.
constexpr double kRunRejectionShare = 0.1;
// Share of the run means, and of the residuals, that the tau test may remove.
constexpr double kFitRejectionShare = 0.35;
// The run means are tested only when their standard deviation exceeds this.
constexpr double kSpreadGate = 1.0;
// The tau test needs at least this many values; below it every value is kept.
constexpr std::size_t kMinTested = 3;

// Positions of `values` that survive the tau test at `share`, ascending.
// Fewer than three values are all kept (the test cannot judge them).
std::vector<int> keptPositions(const std::vector<double>& values, double share, bool& flag) {
  std::vector<int> kept;
  if (values.size() < kMinTested) {
    for (std::size_t i = 0; i < values.size(); ++i) kept.push_back(static_cast<int>(i));
    return kept;
  }
  std::vector<double> cleaned;
  removeOutlierFuncTau(values, cleaned, kept, share, flag);
  return kept;
}

std::vector<double> select(const std::vector<double>& values, const std::vector<int>& positions) {
  std::vector<double> selected;
  selected.reserve(positions.size());
  for (int k : positions) selected.push_back(values[static_cast<std::size_t>(k)]);
  return selected;
}

}  // namespace

int JPolyfitRemoverOutlier(int n, double* points, int degree, double* coefficients, bool& flag) {
  // Runs: each is condensed to its mean abscissa (over every reading) and the
  // mean of the readings that pass the tau test.
  std::vector<double> meanX;
  std::vector<double> meanY;
  std::vector<double> runX;
  std::vector<double> runY;
  auto closeRun = [&]() {
    if (runY.size() < kMinTested) {
      meanY.push_back(mean(runY));
    } else {
      std::vector<double> cleaned;
      std::vector<int> kept;
      removeOutlierFuncTau(runY, cleaned, kept, kRunRejectionShare, flag);
      meanY.push_back(mean(cleaned));
    }
    meanX.push_back(mean(runX));
    runX.clear();
    runY.clear();
  };
  for (int i = 0; i < n; ++i) {
    const double x = points[2 * static_cast<std::size_t>(i)];
    const double y = points[2 * static_cast<std::size_t>(i) + 1];
    // A jump of kRunTolerance or more, or a NaN difference, starts a new run.
    if (i > 0 && !(std::fabs(x - points[2 * static_cast<std::size_t>(i) - 2]) < kRunTolerance))
      closeRun();
    runX.push_back(x);
    runY.push_back(y);
  }
  if (!runY.empty()) closeRun();

  // Whole runs are rejected only when their means spread widely.
  std::vector<double> fitX;
  std::vector<double> fitY;
  bool runsTested = false;
  if (meanY.size() >= kMinTested) {
    const double mu = mean(meanY);
    const double spread = stdDev(meanY, mu);
    if (spread > kSpreadGate) {
      std::vector<int> kept;
      removeOutlierFuncTau(meanY, fitY, kept, kFitRejectionShare, flag);
      fitX = select(meanX, kept);
      runsTested = true;
    }
  }
  if (!runsTested) {
    fitX = meanX;
    fitY = meanY;
  }

  if (linearFit(fitY, fitX, degree, coefficients) == 0) {
    flag = false;
    return -1;
  }

  // Straight-line residuals: only the constant and linear terms enter. With no
  // slope (exactly zero, or a fit of degree 0) the values themselves are tested.
  const double slope = degree >= 1 ? coefficients[1] : 0.0;
  std::vector<double> residuals(fitY.size());
  for (std::size_t j = 0; j < fitY.size(); ++j)
    residuals[j] =
        slope == 0.0 ? fitY[j] : std::fabs(fitY[j] - coefficients[0] - slope * fitX[j]);

  const std::vector<int> kept = keptPositions(residuals, kFitRejectionShare, flag);
  return linearFit(select(fitY, kept), select(fitX, kept), degree, coefficients);
}
