#include "csv.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "errors.h"

namespace lumutil {

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string where(const std::string& source, long line) { return source + ":" + std::to_string(line) + ": "; }

// strtod over a NUL-terminated text that must be consumed whole.
std::optional<double> parseTerminated(const char* text, std::size_t length) {
  if (length == 0) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end != text + length) return std::nullopt;
  return value;
}

class Parser {
 public:
  Parser(const std::string& text, const std::string& source, char delimiter)
      : text_(text), source_(source), delimiter_(delimiter) {}

  // Reads the next record into `fields`; false at the end of the text.
  bool next(std::vector<std::string>& fields, long& recordLine) {
    fields.clear();
    while (pos_ < text_.size()) {
      std::size_t p = pos_;
      while (p < text_.size() && isBlank(text_[p])) ++p;
      if (p == text_.size()) {
        pos_ = p;
        return false;
      }
      if (text_[p] == '\n' || text_[p] == '\r' || text_[p] == '#') {
        skipLine(p);  // blank line or comment
        continue;
      }
      break;
    }
    if (pos_ >= text_.size()) return false;
    recordLine = line_;
    for (;;) {
      fields.push_back(readField());
      if (pos_ < text_.size() && text_[pos_] == delimiter_) {
        ++pos_;
        continue;
      }
      endLine();
      return true;
    }
  }

 private:
  bool isBlank(char c) const { return (c == ' ' || c == '\t') && c != delimiter_; }

  void skipLine(std::size_t p) {
    while (p < text_.size() && text_[p] != '\n' && text_[p] != '\r') ++p;
    pos_ = p;
    endLine();
  }

  // Consumes one line end ("\n", "\r\n" or a lone "\r") if present.
  void endLine() {
    if (pos_ >= text_.size()) return;
    if (text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
  }

  bool atFieldEnd(std::size_t p) const {
    return p >= text_.size() || text_[p] == delimiter_ || text_[p] == '\n' || text_[p] == '\r';
  }

  std::string readField() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
    std::string field;
    if (pos_ < text_.size() && text_[pos_] == '"') {
      const long startLine = line_;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size())
          throw InputError(where(source_, startLine) + "quoted field is not closed before the end of the input");
        const char c = text_[pos_];
        if (c == '"') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            field += '"';
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        if (c == '\n') ++line_;
        if (c == '\r' && !(pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')) ++line_;
        field += c;
        ++pos_;
      }
      while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
      if (!atFieldEnd(pos_))
        throw InputError(where(source_, line_) + "unexpected text after a closing quote");
      return field;
    }
    const std::size_t start = pos_;
    while (!atFieldEnd(pos_)) ++pos_;
    std::size_t end = pos_;
    while (end > start && isBlank(text_[end - 1])) --end;
    return text_.substr(start, end - start);
  }

  const std::string& text_;
  const std::string& source_;
  char delimiter_;
  std::size_t pos_ = 0;
  long line_ = 1;
};

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
  const std::string copy(text);
  return parseTerminated(copy.c_str(), copy.size());
}

std::string csvField(std::string_view text, char delimiter) {
  const bool needsQuotes = text.find_first_of(std::string("\"\r\n#") + delimiter) != std::string_view::npos ||
                           (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!needsQuotes) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

CsvTable parseCsv(std::string text, const std::string& source, const CsvOptions& options) {
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // UTF-8 byte order mark
  CsvTable table;
  table.source_ = source;
  Parser parser(text, source, options.delimiter);
  std::vector<std::string> fields;
  long recordLine = 0;
  long firstLine = 0;
  bool first = true;
  while (parser.next(fields, recordLine)) {
    if (first) {
      first = false;
      firstLine = recordLine;
      table.columnCount_ = fields.size();
      bool header = options.header == HeaderMode::Present;
      if (options.header == HeaderMode::Auto)
        for (const auto& f : fields) header = header || !parseNumber(f);
      if (header) {
        table.names_ = fields;
        continue;
      }
    } else if (fields.size() != table.columnCount_) {
      throw InputError(where(source, recordLine) + "found " + std::to_string(fields.size()) + " fields, expected " +
                       std::to_string(table.columnCount_) + " as on line " + std::to_string(firstLine));
    }
    for (const auto& f : fields) {
      table.fields_.push_back({table.storage_.size(), f.size()});
      table.storage_ += f;
      table.storage_ += '\0';
    }
    table.lines_.push_back(recordLine);
  }
  return table;
}

CsvTable readCsv(const std::string& path, const CsvOptions& options) {
  std::string text;
  if (path == "-") {
    std::ostringstream buffer;
    buffer << std::cin.rdbuf();
    text = buffer.str();
    return parseCsv(std::move(text), "<stdin>", options);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot open " + path + ": " + std::strerror(errno));
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) throw InputError("cannot read " + path);
  return parseCsv(std::move(text), path, options);
}

std::string_view CsvTable::field(std::size_t row, std::size_t col) const {
  const Span& s = fields_[row * columnCount_ + col];
  return std::string_view(storage_.data() + s.offset, s.length);
}

std::string CsvTable::columnLabel(std::size_t col) const {
  std::string label = "column " + std::to_string(col + 1);
  if (hasHeader()) label += " ('" + names_[col] + "')";
  return label;
}

std::size_t CsvTable::resolve(const std::string& selector) const {
  for (std::size_t c = 0; c < names_.size(); ++c)
    if (names_[c] == selector) return c;
  for (std::size_t c = 0; c < names_.size(); ++c)
    if (lower(names_[c]) == lower(selector)) return c;
  if (!selector.empty() && selector.find_first_not_of("0123456789") == std::string::npos && selector.size() < 9) {
    const std::size_t position = std::stoul(selector);
    if (position >= 1 && position <= columnCount_) return position - 1;
  }
  std::string message = source_ + ": no column '" + selector + "'";
  if (hasHeader()) {
    message += " (columns:";
    for (const auto& n : names_) message += " '" + n + "'";
    message += ")";
  } else {
    message += " (no header row; give a position from 1 to " + std::to_string(columnCount_) + ")";
  }
  throw InputError(message);
}

std::size_t CsvTable::resolveRole(const std::string& selector, const std::string& role, std::size_t fallback) const {
  if (!selector.empty()) return resolve(selector);
  for (std::size_t c = 0; c < names_.size(); ++c)
    if (lower(names_[c]) == lower(role)) return c;
  if (fallback >= columnCount_)
    throw InputError(source_ + ": needs a column for " + role + ", but the input has only " +
                     std::to_string(columnCount_) + " column(s)");
  return fallback;
}

double CsvTable::number(std::size_t row, std::size_t col) const {
  const Span& s = fields_[row * columnCount_ + col];
  const char* text = storage_.data() + s.offset;
  const auto value = parseTerminated(text, s.length);
  if (!value || !std::isfinite(*value)) {
    std::string message = where(source_, lines_[row]) + columnLabel(col) + ": ";
    if (s.length == 0)
      message += "empty field, expected a number";
    else if (!value)
      message += "'" + std::string(text, s.length) + "' is not a number";
    else
      message += "'" + std::string(text, s.length) + "' is not a finite number";
    throw InputError(message);
  }
  return *value;
}

std::vector<double> CsvTable::numbers(std::size_t col) const {
  std::vector<double> values(rowCount());
  for (std::size_t r = 0; r < values.size(); ++r) values[r] = number(r, col);
  return values;
}

}  // namespace lumutil
