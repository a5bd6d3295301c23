// Worker threads for evaluation, and the lock around the library's
// scattered-data calls.
#ifndef LUMUTIL_PYTHON_PARALLEL_H
#define LUMUTIL_PYTHON_PARALLEL_H

#include <cstddef>
#include <functional>
#include <mutex>

namespace lumpy {

// Whether the library's surface evaluation (Calculate_) may run on several
// threads at once on one prepared surface. While it may not, every
// evaluation call takes the scattered-data lock, so the worker threads take
// turns and the results stay the same.
#ifndef LUM_PY_CONCURRENT_EVALUATION
#define LUM_PY_CONCURRENT_EVALUATION 0
#endif
inline constexpr bool kConcurrentEvaluation = LUM_PY_CONCURRENT_EVALUATION != 0;

// One lock for every call of the library's scattered-data family that keeps
// process-wide state: the remembered point counts of sdbi3p_ (a preparation
// that re-uses a triangulation must find its own count there) and, while
// kConcurrentEvaluation is false, the evaluation scratch.
std::mutex& scatteredLock();

// Held around a preparation (sdbi3p_ calls): always locks.
class PreparationGuard {
 public:
  PreparationGuard() : lock_(scatteredLock()) {}

 private:
  std::lock_guard<std::mutex> lock_;
};

// Held around an evaluation (Calculate_ calls): locks only while the
// library's evaluation must not overlap.
class EvaluationGuard {
 public:
  EvaluationGuard() : lock_(scatteredLock(), std::defer_lock) {
    if (!kConcurrentEvaluation) lock_.lock();
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

// The number of threads for `workers` as scipy counts them: -1 all cores,
// a positive count as given. Throws std::invalid_argument otherwise.
int resolveWorkers(int workers);

// Runs task(begin, end) over [0, total) in pieces whose boundaries are
// multiples of `granule` (the last piece may end at total), on up to
// `workers` threads; pieces hold about `piece` items. Work below
// `serialBelow` items runs on the calling thread alone. The first exception
// of any piece is rethrown after all threads have finished.
void parallelFor(std::size_t total, std::size_t granule, std::size_t piece, int workers, std::size_t serialBelow,
                 const std::function<void(std::size_t, std::size_t)>& task);

}  // namespace lumpy

#endif  // LUMUTIL_PYTHON_PARALLEL_H
