#include "tool_harness.h"

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "output.h"

namespace lumutil_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "lumutil-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string ScratchDir::write(const std::string& name, const std::string& content) const {
  std::ofstream(path(name), std::ios::binary) << content;
  return path(name);
}

std::vector<std::string> ScratchDir::files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  return names;
}

// The tool runs through the shell in workDir, its three standard streams
// redirected to files there; every argument is single-quoted.
ToolResult runTool(const std::vector<std::string>& args, const std::string& workDir, const std::string& input) {
  const auto quote = [](const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  };
  const std::string in = workDir + "/.stdin", out = workDir + "/.stdout", err = workDir + "/.stderr";
  std::ofstream(in, std::ios::binary) << input;
  std::string command = "cd " + quote(workDir) + " && exec " + quote(LUMUTIL_EXE);
  for (const auto& a : args) command += " " + quote(a);
  const int status = std::system((command + " <" + quote(in) + " >" + quote(out) + " 2>" + quote(err)).c_str());
  ToolResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
  for (const std::string* file : {&in, &out, &err}) fs::remove(*file);
  return result;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) { return fs::exists(path); }

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
