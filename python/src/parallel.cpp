#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace lumpy {

std::mutex& scatteredLock() {
  static std::mutex lock;
  return lock;
}

int resolveWorkers(int workers) {
  if (workers == -1) {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
  }
  if (workers < 1) throw std::invalid_argument("workers must be -1 (all cores) or a positive count, got " +
                                               std::to_string(workers));
  return workers;
}

void parallelFor(std::size_t total, std::size_t granule, std::size_t piece, int workers, std::size_t serialBelow,
                 const std::function<void(std::size_t, std::size_t)>& task) {
  if (total == 0) return;
  granule = std::max<std::size_t>(granule, 1);
  // Pieces are whole granules, so that a piece boundary never splits one.
  const std::size_t step = std::max<std::size_t>(1, piece / granule) * granule;
  const std::size_t pieces = (total + step - 1) / step;
  const std::size_t threads =
      total < serialBelow ? 1 : std::min<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), pieces);
  if (threads <= 1) {
    for (std::size_t begin = 0; begin < total; begin += step) task(begin, std::min(total, begin + step));
    return;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorLock;
  auto run = [&]() {
    for (;;) {
      const std::size_t k = next.fetch_add(1);
      if (k >= pieces || failed.load()) return;
      const std::size_t begin = k * step;
      try {
        task(begin, std::min(total, begin + step));
      } catch (...) {
        std::lock_guard<std::mutex> guard(errorLock);
        if (!firstError) firstError = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(threads - 1);
  try {
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(run);
  } catch (...) {
    // Too few threads could be started: the ones that run finish the work.
  }
  run();
  for (std::thread& t : pool) t.join();
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace lumpy
