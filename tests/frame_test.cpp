// The shared library as callers see it: its dynamic symbol table and calls
// from several threads at once.
#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
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

// Demangled signatures of the code symbols the library exports; nm prints
// "<address> <type> <name>".
std::set<std::string> exportedCodeSymbols() {
  std::set<std::string> symbols;
  FILE* pipe = popen((std::string(LUM_NM) + " -D --defined-only -C " + LUM_LIBRARY_FILE).c_str(), "r");
  char buffer[4096];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) {
    const std::string line(buffer);
    const auto first = line.find(' ');
    if (first != std::string::npos && first + 3 < line.size() && std::strchr("TWi", line[first + 1]))
      symbols.insert(line.substr(first + 3, line.find_last_not_of('\n') - first - 2));
  }
  if (pipe) pclose(pipe);
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
