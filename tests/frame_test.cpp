// The shared library as callers see it: its dynamic symbol table and calls
// from several threads at once.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::set<std::string> readLines(const std::string& path) {
  std::set<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.insert(line);
  return lines;
}

// Demangled signatures of the code symbols the library exports.
std::set<std::string> exportedCodeSymbols() {
  const std::string command = std::string(LUM_NM) + " -D --defined-only -C " + LUM_LIBRARY_FILE;
  std::set<std::string> symbols;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return symbols;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe)) {
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    // "<address> <type> <name>"
    const auto first = line.find(' ');
    if (first == std::string::npos || first + 3 > line.size()) continue;
    const char type = line[first + 1];
    if (type == 'T' || type == 'W' || type == 'i') symbols.insert(line.substr(first + 3));
  }
  pclose(pipe);
  return symbols;
}

}  // namespace

TEST(ExportedInterface, ExactlyTheInterfaceFunctionsAreExported) {
  const auto expected = readLines(LUM_INTERFACE_LIST);
  ASSERT_EQ(expected.size(), 59u);
  const auto exported = exportedCodeSymbols();
  for (const auto& symbol : exported)
    EXPECT_TRUE(expected.count(symbol)) << "exported but not part of the interface: " << symbol;
  for (const auto& symbol : expected)
    EXPECT_TRUE(exported.count(symbol)) << "interface function not exported: " << symbol;
}

TEST(Concurrency, ParallelCallsOnDistinctDataMatchSequentialResults) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> samples(20000);
  for (double& x : samples) x = uniform(rng);
  double matrix[16];
  for (double& x : matrix) x = uniform(rng);
  for (int i = 0; i < 4; ++i) matrix[i * 5] += 4.0;  // well conditioned

  const double expectedMean = mean(samples);
  std::vector<double> expectedInverse(matrix, matrix + 16);
  ASSERT_TRUE(MatrixInverse(expectedInverse.data(), 4));

  for (int round = 0; round < 20; ++round) {
    double meanResult = 0.0;
    std::vector<double> inverse(matrix, matrix + 16);
    bool inverted = false;
    std::thread a([&] { meanResult = mean(samples); });
    std::thread b([&] { inverted = MatrixInverse(inverse.data(), 4); });
    a.join();
    b.join();
    EXPECT_EQ(meanResult, expectedMean);
    EXPECT_TRUE(inverted);
    EXPECT_EQ(inverse, expectedInverse);
  }
}
