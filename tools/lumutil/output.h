// Output side of lumutil: number formatting, CSV rows, and a set of output
// files that appear all together or not at all.
#ifndef LUMUTIL_OUTPUT_H
#define LUMUTIL_OUTPUT_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumutil {

// Shortest text that reads back as the same double; "nan", "inf", "-inf".
std::string formatNumber(double value);

// Builds CSV text row by row.
class CsvWriter {
 public:
  explicit CsvWriter(char delimiter = ',') : delimiter_(delimiter) {}
  CsvWriter& text(std::string_view field);  // quoted when needed
  CsvWriter& number(double value);
  CsvWriter& integer(long long value);
  void endRow();
  void header(const std::vector<std::string>& names);
  std::string& str() { return out_; }

 private:
  void separate();
  std::string out_;
  char delimiter_;
  bool rowStarted_ = false;
};

// Output files are written to temporary files beside their targets and renamed
// into place only when every one of them was written, so a failed run leaves
// no partial output behind. "-" stands for standard output, written last.
class OutputSet {
 public:
  // Fails early (InputError) when the file's directory does not exist.
  static void checkWritable(const std::string& path);
  void add(std::string path, std::string content);
  void commit();

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

// Lower-cased extension of a path without the dot ("" when none).
std::string extensionOf(const std::string& path);

}  // namespace lumutil

#endif  // LUMUTIL_OUTPUT_H
