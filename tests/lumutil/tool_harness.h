// Helpers for the end-to-end tests of lumutil: a scratch directory, running
// the tool as a child process, and reading its CSV output.
#ifndef LUMUTIL_TEST_TOOL_HARNESS_H
#define LUMUTIL_TEST_TOOL_HARNESS_H

#include <string>
#include <vector>

#include "csv.h"

namespace lumutil_test {

struct ToolResult {
  int status = -1;
  std::string out, err;
};

// A fresh directory under the system's temporary directory, removed with its
// files when the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string write(const std::string& name, const std::string& content) const;
  std::vector<std::string> files() const;

 private:
  std::string dir_;
};

// Runs lumutil with `args` in `workDir`, feeding `input` on standard input.
ToolResult runTool(const std::vector<std::string>& args, const std::string& workDir, const std::string& input = "");

std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// The tool's CSV output as a table (header detected).
lumutil::CsvTable parseOutput(const std::string& text);
// Column `name` of the output as doubles ("nan" included).
std::vector<double> column(const lumutil::CsvTable& table, const std::string& name);

// (x, y, z) points as CSV with a header x,y,z, written at full precision.
std::string xyzCsv(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z);

// Deterministic uniform numbers in [0, 1).
class Lcg {
 public:
  explicit Lcg(unsigned long long seed) : state_(seed) {}
  double next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }

 private:
  unsigned long long state_;
};

}  // namespace lumutil_test

#endif  // LUMUTIL_TEST_TOOL_HARNESS_H
