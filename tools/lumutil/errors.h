// Failure classes of lumutil and the exit status each one maps to.
#ifndef LUMUTIL_ERRORS_H
#define LUMUTIL_ERRORS_H

#include <stdexcept>
#include <string>

namespace lumutil {

// Exit statuses, documented in `lumutil --help`.
inline constexpr int kExitOk = 0;
inline constexpr int kExitComputeFailed = 1;  // the library reported a failure or gave no usable result
inline constexpr int kExitBadInput = 2;       // usage error, unreadable or invalid input, unwritable output
inline constexpr int kExitOvershoot = 3;      // --strict and the smooth surface left the data range

// Bad command line, bad input file or unwritable output: exit status 2.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The library refused the data or produced no finite result: exit status 1.
class ComputeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace lumutil

#endif  // LUMUTIL_ERRORS_H
