#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "csv.h"
#include "errors.h"

namespace lumutil {

std::string formatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void CsvWriter::separate() {
  if (rowStarted_) out_ += delimiter_;
  rowStarted_ = true;
}

CsvWriter& CsvWriter::text(std::string_view field) {
  separate();
  out_ += csvField(field, delimiter_);
  return *this;
}

CsvWriter& CsvWriter::number(double value) {
  separate();
  char buffer[32];
  if (std::isfinite(value)) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
  } else {
    out_ += formatNumber(value);
  }
  return *this;
}

CsvWriter& CsvWriter::integer(long long value) {
  separate();
  out_ += std::to_string(value);
  return *this;
}

void CsvWriter::endRow() {
  out_ += '\n';
  rowStarted_ = false;
}

void CsvWriter::header(const std::vector<std::string>& names) {
  for (const auto& n : names) text(n);
  endRow();
}

std::string extensionOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

namespace {

std::string directoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool writeAll(int fd, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void OutputSet::checkWritable(const std::string& path) {
  if (path == "-") return;
  if (path.empty()) throw InputError("empty output file name");
  struct stat info {};
  const std::string dir = directoryOf(path);
  if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    throw InputError("cannot write " + path + ": directory " + dir + " does not exist");
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    throw InputError("cannot write " + path + ": it is a directory");
}

void OutputSet::add(std::string path, std::string content) { items_.emplace_back(std::move(path), std::move(content)); }

void OutputSet::commit() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  std::vector<std::string> temporaries;
  const auto discard = [&temporaries] {
    for (const auto& t : temporaries)
      if (!t.empty()) ::unlink(t.c_str());
  };
  for (const auto& [path, content] : items_) {
    if (path == "-") {
      temporaries.emplace_back();
      continue;
    }
    std::string name = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
      const std::string reason = std::strerror(errno);
      discard();
      throw InputError("cannot write " + path + ": " + reason);
    }
    temporaries.push_back(name);
    const bool ok = writeAll(fd, content) && ::fchmod(fd, 0666 & ~mask) == 0;
    const std::string reason = std::strerror(errno);
    if (::close(fd) != 0 || !ok) {
      discard();
      throw InputError("cannot write " + path + ": " + reason);
    }
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].first == "-") continue;
    if (std::rename(temporaries[i].c_str(), items_[i].first.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      for (std::size_t j = i; j < temporaries.size(); ++j)
        if (!temporaries[j].empty()) ::unlink(temporaries[j].c_str());
      throw InputError("cannot write " + items_[i].first + ": " + reason);
    }
  }
  for (const auto& [path, content] : items_)
    if (path == "-") {
      std::fwrite(content.data(), 1, content.size(), stdout);
      std::fflush(stdout);
    }
}

}  // namespace lumutil
