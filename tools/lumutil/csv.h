// CSV input for lumutil: quoted fields, CRLF line ends, '#' comment lines,
// blank lines, an optional header row, and column selection by name or by
// 1-based position. Every error names the file, the line and the column.
#ifndef LUMUTIL_CSV_H
#define LUMUTIL_CSV_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumutil {

enum class HeaderMode { Auto, Present, Absent };

struct CsvOptions {
  char delimiter = ',';
  // Auto: the first record is a header when any of its fields is not a number.
  HeaderMode header = HeaderMode::Auto;
};

class CsvTable {
 public:
  // Name used in messages: the path, or "<stdin>" for "-".
  const std::string& source() const { return source_; }
  bool hasHeader() const { return !names_.empty(); }
  const std::vector<std::string>& names() const { return names_; }
  std::size_t columnCount() const { return columnCount_; }
  std::size_t rowCount() const { return lines_.size(); }
  // Text of a data field (unquoted, surrounding blanks removed).
  std::string_view field(std::size_t row, std::size_t col) const;
  // 1-based line on which data record `row` starts.
  long line(std::size_t row) const { return lines_[row]; }
  // "column 3 ('z')" or "column 3" when there is no header.
  std::string columnLabel(std::size_t col) const;

  // 0-based index of the column named `selector` (exact, then ignoring case) or at
  // 1-based position `selector`.
  std::size_t resolve(const std::string& selector) const;
  // Column for a role such as "x": the explicit selector when given, else a header
  // column named like the role, else the 0-based `fallback` position.
  std::size_t resolveRole(const std::string& selector, const std::string& role, std::size_t fallback) const;

  // The field as a finite double; anything else is an InputError naming
  // file, line and column.
  double number(std::size_t row, std::size_t col) const;
  std::vector<double> numbers(std::size_t col) const;

 private:
  friend CsvTable parseCsv(std::string text, const std::string& source, const CsvOptions& options);
  struct Span {
    std::size_t offset;
    std::size_t length;
  };
  std::string source_;
  std::vector<std::string> names_;
  std::size_t columnCount_ = 0;
  std::string storage_;       // field texts, each followed by '\0'
  std::vector<Span> fields_;  // row-major, columnCount_ per row
  std::vector<long> lines_;
};

// Parses CSV text; `source` names it in messages.
CsvTable parseCsv(std::string text, const std::string& source, const CsvOptions& options);
// Reads and parses a file, or standard input for "-".
CsvTable readCsv(const std::string& path, const CsvOptions& options);

// A number in C syntax filling the whole text (NaN and infinities included), or nothing.
std::optional<double> parseNumber(std::string_view text);
// The field quoted for CSV output when it needs it.
std::string csvField(std::string_view text, char delimiter);

}  // namespace lumutil

#endif  // LUMUTIL_CSV_H
