#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace lumutil {

namespace {
constexpr std::size_t kProgressThreshold = 1000000;
constexpr int kBarWidth = 40;
}  // namespace

Progress::Progress(std::string label, std::size_t total, bool quiet)
    : label_(std::move(label)), total_(total), enabled_(!quiet && total > kProgressThreshold && ::isatty(2)) {}

Progress::~Progress() { finish(); }

void Progress::update(std::size_t done) {
  if (!enabled_) return;
  const int percent = static_cast<int>(done * 100 / total_);
  if (percent == shown_) return;
  shown_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  std::fprintf(stderr, "\rlumutil: %s [%s] %3d%%", label_.c_str(), bar.c_str(), percent);
  std::fflush(stderr);
}

void Progress::finish() {
  if (!enabled_) return;
  update(total_);
  std::fputc('\n', stderr);
  enabled_ = false;
}

}  // namespace lumutil
