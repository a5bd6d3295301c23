// The tool's CSV reader and writer, number formatting and colour map.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "csv.h"
#include "errors.h"
#include "output.h"
#include "picture.h"
#include "tool_harness.h"

namespace {

using lumutil::CsvTable;
using lumutil::HeaderMode;
using lumutil::InputError;
using lumutil::parseCsv;

// The message of the InputError that `f` throws, or "" when it throws none.
template <typename F>
std::string inputError(F&& f) {
  try {
    f();
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(CsvReader, QuotedFieldsCrlfCommentsAndBlankLines) {
  const std::string text =
      "\xEF\xBB\xBF# exported by a logger\r\n"
      "name, \"a, b\" ,c\r\n"
      "\r\n"
      "   # an indented comment\n"
      "1,\"2\",3\r\n"
      "x,\"say \"\"hi\"\"\",  spaced  \n"
      "\"multi\nline\",,\"\"\n";
  const CsvTable t = parseCsv(text, "f.csv", {});
  ASSERT_TRUE(t.hasHeader());
  EXPECT_EQ(t.names(), (std::vector<std::string>{"name", "a, b", "c"}));
  ASSERT_EQ(t.rowCount(), 3u);
  const std::string expected[3][3] = {{"1", "2", "3"}, {"x", "say \"hi\"", "spaced"}, {"multi\nline", "", ""}};
  for (std::size_t r = 0; r < 3; ++r) {
    EXPECT_EQ(t.line(r), static_cast<int>(5 + r));  // lines count from 1; a record has the line it starts on
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(t.field(r, c), expected[r][c]) << r << "," << c;
  }
}

TEST(CsvReader, HeaderDetectionAndColumnSelection) {
  const CsvTable numeric = parseCsv("1,2\n3,4\n", "f", {});
  EXPECT_TRUE(!numeric.hasHeader() && numeric.rowCount() == 2u && numeric.resolve("2") == 1u);
  EXPECT_EQ(parseCsv("1,2\n3,4\n", "f", {',', HeaderMode::Present}).rowCount(), 1u);
  EXPECT_TRUE(parseCsv("x;y\n1;2\n", "f", {';', HeaderMode::Auto}).hasHeader());
  EXPECT_EQ(parseCsv("a,b\n1,2\n", "f", {',', HeaderMode::Absent}).rowCount(), 2u);

  const CsvTable t = parseCsv("East,North,Z\n1,2,3\n", "f", {});
  EXPECT_EQ(t.resolve("North"), 1u);
  EXPECT_EQ(t.resolve("north"), 1u);
  EXPECT_EQ(t.resolve("3"), 2u);
  EXPECT_EQ(t.resolveRole("", "z", 0), 2u);     // a header named like the role wins
  EXPECT_EQ(t.resolveRole("", "x", 0), 0u);     // else the fallback position
  EXPECT_EQ(t.resolveRole("East", "y", 1), 0u);  // an explicit choice beats both
  const std::string missing = inputError([&] { t.resolve("height"); });
  EXPECT_NE(missing.find("no column 'height'"), std::string::npos) << missing;
  EXPECT_NE(missing.find("'North'"), std::string::npos) << missing;
  EXPECT_NE(inputError([&] { t.resolve("4"); }), "");
  EXPECT_NE(inputError([&] { t.resolveRole("", "w", 3); }), "");
}

TEST(CsvReader, ErrorsNameFileLineAndColumn) {
  const auto numberError = [](const std::string& text) {
    return inputError([&] { parseCsv(text, "f.csv", {}).numbers(1); });
  };
  const std::pair<std::string, std::string> numbers[] = {
      {"x,y\n1,2\n3,abc\n", "f.csv:3: column 2 ('y'): 'abc' is not a number"},
      {"x,y\n1,nan\n", "f.csv:2: column 2 ('y'): 'nan' is not a finite number"},
      {"x,y\n1,-inf\n", "f.csv:2:"},
      {"x,y\n1,1e999\n", "not a finite number"},
      {"x,y\n1,\n", "f.csv:2: column 2 ('y'): empty field"},
      {"1,2\n1,x\n", "f.csv:2: column 2: 'x'"}};
  for (const auto& [text, message] : numbers) EXPECT_NE(numberError(text).find(message), std::string::npos) << message;
  const std::pair<std::string, std::string> tables[] = {
      {"x,y\n1,2\n\n# c\n3,4,5\n", "f.csv:5: found 3 fields, expected 2 as on line 1"},
      {"x,y\n1,\"2\n3,4\n", "f.csv:2: quoted field is not closed"},
      {"x,y\n\"1\"2,3\n", "f.csv:2:"}};
  for (const auto& [text, message] : tables) {
    const std::string error = inputError([&] { parseCsv(text, "f.csv", {}); });
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

TEST(CsvWriter, FieldsAndNumbersReadBackUnchanged) {
  const std::vector<std::string> fields = {"plain", "a,b", "say \"x\"", "two\nlines", " padded ", "#tag", ""};
  lumutil::CsvWriter w;
  for (const auto& f : fields) w.text(f);
  w.endRow();
  const CsvTable t = parseCsv(w.str(), "w", {',', HeaderMode::Absent});
  ASSERT_EQ(t.rowCount(), 1u);
  for (std::size_t c = 0; c < fields.size(); ++c) EXPECT_EQ(t.field(0, c), fields[c]);

  EXPECT_EQ(lumutil::formatNumber(0.1), "0.1");
  EXPECT_EQ(lumutil::formatNumber(-0.0), "-0");
  EXPECT_EQ(lumutil::formatNumber(std::nan("")), "nan");
  EXPECT_EQ(lumutil::formatNumber(-std::numeric_limits<double>::infinity()), "-inf");
  lumutil_test::Lcg random(3);
  for (int i = 0; i < 1000; ++i) {
    const double v = (random.next() - 0.5) * std::pow(10.0, static_cast<int>(random.next() * 40) - 20);
    EXPECT_EQ(*lumutil::parseNumber(lumutil::formatNumber(v)), v);
  }
}

// Relative luminance of an sRGB colour.
double luminance(lumutil::Rgb c) {
  const auto linear = [](int v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

TEST(ColourMap, LightnessRisesAndSpecialColoursStandApart) {
  const auto& map = lumutil::colourMap();
  // Lightness rises steadily; 8-bit rounding may dent it by a fraction of a step.
  for (std::size_t i = 1; i < map.size(); ++i) EXPECT_GT(luminance(map[i]), luminance(map[i - 1]) * 0.995) << i;
  for (std::size_t i = 4; i < map.size(); i += 4) EXPECT_GT(luminance(map[i]), luminance(map[i - 4])) << i;
  EXPECT_LT(luminance(map[0]), 0.04);
  EXPECT_GT(luminance(map[255]), 0.75);
  for (const auto& c : map) EXPECT_FALSE(c == lumutil::kOverColour || c == lumutil::kUnderColour || c == lumutil::kNoDataColour);
  using lumutil::valueColour;
  EXPECT_EQ(valueColour(2.0, 2.0, 6.0), map[0]);
  EXPECT_EQ(valueColour(6.0, 2.0, 6.0), map[255]);
  EXPECT_EQ(valueColour(4.0, 2.0, 6.0), map[128]);
  EXPECT_EQ(valueColour(1.999, 2.0, 6.0), lumutil::kUnderColour);
  EXPECT_EQ(valueColour(6.001, 2.0, 6.0), lumutil::kOverColour);
  EXPECT_EQ(valueColour(std::nan(""), 2.0, 6.0), lumutil::kNoDataColour);
  EXPECT_EQ(valueColour(5.0, 5.0, 5.0), map[128]);  // a flat scale shows its middle colour
}

}  // namespace
