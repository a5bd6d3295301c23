// A progress bar on standard error for long jobs.
#ifndef LUMUTIL_PROGRESS_H
#define LUMUTIL_PROGRESS_H

#include <cstddef>
#include <string>

namespace lumutil {

// Shown only when the job has more than 10^6 items, standard error is a
// terminal and --quiet was not given; redrawn when the percentage changes.
class Progress {
 public:
  Progress(std::string label, std::size_t total, bool quiet);
  ~Progress();
  void update(std::size_t done);
  void finish();

 private:
  std::string label_;
  std::size_t total_;
  bool enabled_;
  int shown_ = -1;
};

}  // namespace lumutil

#endif  // LUMUTIL_PROGRESS_H
