// lum_demo: the library's main jobs on bundled sample data.
//
//   lum_demo readings FILE.csv        statistics of every column of repeated readings
//   lum_demo grid FILE.csv NX NY      scattered (x, y, z) points onto an NX x NY grid,
//                                     written as CSV rows x,y,z
#include <VORN_LumUtility.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<double>> columns;
};

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
  return fields;
}

bool parseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0';
}

// Reads a numeric CSV file; '#' starts a comment line, a first row that is not
// numeric names the columns.
bool readTable(const char* path, Table& table) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return false;
  }
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto fields = splitFields(line);
    std::vector<double> row(fields.size());
    bool numeric = true;
    for (size_t i = 0; i < fields.size(); ++i) numeric = numeric && parseNumber(fields[i], row[i]);
    if (!numeric && table.names.empty() && table.columns.empty()) {
      table.names = fields;
      continue;
    }
    if (!numeric) {
      std::fprintf(stderr, "%s:%d: not a numeric row\n", path, lineNumber);
      return false;
    }
    if (table.columns.empty()) table.columns.resize(row.size());
    if (row.size() != table.columns.size()) {
      std::fprintf(stderr, "%s:%d: expected %zu fields\n", path, lineNumber, table.columns.size());
      return false;
    }
    for (size_t i = 0; i < row.size(); ++i) table.columns[i].push_back(row[i]);
  }
  table.names.resize(table.columns.size());
  return true;
}

int summariseReadings(const char* path) {
  Table table;
  if (!readTable(path, table)) return 2;
  const double clipSigma = 2.0;
  std::printf("column,count,mean,stdev,clipped_mean_2sigma,median\n");
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const auto& values = table.columns[c];
    const int n = static_cast<int>(values.size());
    if (n == 0) continue;
    std::printf("%s,%d,%.10g,%.6g,%.10g,%.10g\n", table.names[c].c_str(), n, mean(values),
                calStdev(n, values), calAvgSigma(n, values, clipSigma), median(values, 0, n - 1));
  }
  return 0;
}

int gridScattered(const char* path, int nx, int ny) {
  Table table;
  if (!readTable(path, table)) return 2;
  if (table.columns.size() < 3) {
    std::fprintf(stderr, "%s: need x, y, z columns\n", path);
    return 2;
  }
  // The surface needs distinct points: keep the first of repeated (x, y) shots.
  std::vector<double> x, y, z;
  std::set<std::pair<double, double>> seen;
  for (size_t i = 0; i < table.columns[0].size(); ++i) {
    if (!seen.insert({table.columns[0][i], table.columns[1][i]}).second) {
      std::fprintf(stderr, "note: repeated point (%g, %g) skipped\n", table.columns[0][i],
                   table.columns[1][i]);
      continue;
    }
    x.push_back(table.columns[0][i]);
    y.push_back(table.columns[1][i]);
    z.push_back(table.columns[2][i]);
  }
  const auto [xMin, xMax] = std::minmax_element(x.begin(), x.end());
  const auto [yMin, yMax] = std::minmax_element(y.begin(), y.end());
  std::vector<double> xGrid(nx), yGrid(ny), zGrid(static_cast<size_t>(nx) * ny);
  for (int i = 0; i < nx; ++i) xGrid[i] = *xMin + (*xMax - *xMin) * i / std::max(nx - 1, 1);
  for (int j = 0; j < ny; ++j) yGrid[j] = *yMin + (*yMax - *yMin) * j / std::max(ny - 1, 1);

  int mode = 1, pointCount = static_cast<int>(x.size()), status = 0;
  std::vector<double> work(17 * static_cast<size_t>(pointCount));
  std::vector<int> iwork(39 * static_cast<size_t>(pointCount));
  sdsf3p_(&mode, &pointCount, x.data(), y.data(), z.data(), &nx, xGrid.data(), &ny, yGrid.data(),
          zGrid.data(), &status, work.data(), iwork.data());
  if (status != 0) {
    std::fprintf(stderr, "surface fitting failed with status %d\n", status);
    return 1;
  }
  std::printf("x,y,z\n");
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i)
      std::printf("%.6g,%.6g,%.6g\n", xGrid[i], yGrid[j], zGrid[i + static_cast<size_t>(j) * nx]);
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: lum_demo readings FILE.csv\n"
               "       lum_demo grid FILE.csv NX NY\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "readings") return summariseReadings(argv[2]);
  if (argc == 5 && std::string(argv[1]) == "grid") {
    const int nx = std::atoi(argv[3]), ny = std::atoi(argv[4]);
    if (nx < 1 || ny < 1) return usage();
    return gridScattered(argv[2], nx, ny);
  }
  return usage();
}
