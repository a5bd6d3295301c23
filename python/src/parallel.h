// Worker threads for evaluation, and the lock around the library's
// scattered-data calls.
#ifndef LUMUTIL_PYTHON_PARALLEL_H
#define LUMUTIL_PYTHON_PARALLEL_H

#include <cstddef>
#include <functional>
#include <mutex>

namespace lumpy {

// One lock around the library's scattered-data preparations: sdbi3p_ keeps
// its remembered point count process-wide, and a preparation that re-uses a
// triangulation must find its own count there. Evaluation (Calculate_) on a
// prepared surface only reads it, so it runs unlocked on any number of threads.
std::mutex& scatteredLock();

// Held around a preparation (sdbi3p_ calls): always locks.
class PreparationGuard {
 public:
  PreparationGuard() : lock_(scatteredLock()) {}

 private:
  std::lock_guard<std::mutex> lock_;
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
