#include "tool_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "output.h"

namespace lumutil_test {

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumutil-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

ScratchDir::~ScratchDir() {
  for (const auto& f : files()) ::unlink(path(f).c_str());
  ::rmdir(dir_.c_str());
}

std::string ScratchDir::write(const std::string& name, const std::string& content) const {
  std::ofstream out(path(name), std::ios::binary);
  out << content;
  return path(name);
}

std::vector<std::string> ScratchDir::files() const {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir_.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.emplace_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

ToolResult runTool(const std::vector<std::string>& args, const std::string& workDir, const std::string& input) {
  const std::string inPath = workDir + "/.stdin", outPath = workDir + "/.stdout", errPath = workDir + "/.stderr";
  std::ofstream(inPath, std::ios::binary) << input;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open(inPath.c_str(), O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(workDir.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0), ::dup2(out, 1), ::dup2(err, 2);
    std::vector<char*> argv;
    std::string exe = LUMUTIL_EXE;
    argv.push_back(exe.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ToolResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  ::unlink(inPath.c_str()), ::unlink(outPath.c_str()), ::unlink(errPath.c_str());
  return result;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

lumutil::CsvTable parseOutput(const std::string& text) { return lumutil::parseCsv(text, "output", {}); }

std::vector<double> column(const lumutil::CsvTable& table, const std::string& name) {
  const std::size_t c = table.resolve(name);
  std::vector<double> values;
  for (std::size_t r = 0; r < table.rowCount(); ++r) {
    const auto v = lumutil::parseNumber(table.field(r, c));
    values.push_back(v ? *v : std::nan(""));
  }
  return values;
}

std::string xyzCsv(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z) {
  std::string text = "x,y,z\n";
  for (std::size_t i = 0; i < x.size(); ++i)
    text += lumutil::formatNumber(x[i]) + "," + lumutil::formatNumber(y[i]) + "," + lumutil::formatNumber(z[i]) + "\n";
  return text;
}

}  // namespace lumutil_test
