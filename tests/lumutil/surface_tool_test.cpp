// End-to-end: grid, eval and derivatives against direct calls of the
// library's scattered-data family, the input checks, the overshoot report and
// the PNG picture.
#include <VORN_LumUtility.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "output.h"
#include "picture.h"
#include "tool_harness.h"

namespace {

using namespace lumutil_test;

struct Points {
  std::vector<double> x, y, z;
  void add(double px, double py, double pz) { x.push_back(px), y.push_back(py), z.push_back(pz); }
};

struct Grid {
  std::vector<double> xs, ys, z;
};

// The tool's grid CSV (x fastest) split into its axes and values.
Grid readGrid(const std::string& text) {
  const auto table = parseOutput(text);
  const auto x = column(table, "x"), y = column(table, "y");
  Grid g;
  g.z = column(table, "z");
  for (std::size_t k = 0; k < x.size() && y[k] == y[0]; ++k) g.xs.push_back(x[k]);
  for (std::size_t k = 0; k < y.size(); k += g.xs.size()) g.ys.push_back(y[k]);
  EXPECT_EQ(g.xs.size() * g.ys.size(), g.z.size());
  return g;
}

std::vector<double> libraryGrid(Points p, Grid g, int expectedStatus = 0) {
  int mode = 1, n = static_cast<int>(p.x.size()), nx = static_cast<int>(g.xs.size()),
      ny = static_cast<int>(g.ys.size()), status = -1;
  std::vector<double> work(17 * p.x.size()), z(g.xs.size() * g.ys.size());
  std::vector<int> iwork(39 * p.x.size());
  sdsf3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &nx, g.xs.data(), &ny, g.ys.data(), z.data(), &status,
          work.data(), iwork.data());
  EXPECT_EQ(status, expectedStatus);
  return z;
}

// A full preparation through sdbi3p_ at the given output points.
struct Prepared {
  std::vector<double> work, zOut;
  std::vector<int> iwork;
  int borderCount = 0, triCount = 0;
};
Prepared prepare(Points p, std::vector<double> xo, std::vector<double> yo) {
  Prepared r;
  int mode = 1, n = static_cast<int>(p.x.size()), m = static_cast<int>(xo.size()), status = -1;
  r.work.resize(17 * p.x.size());
  r.iwork.resize(39 * p.x.size());
  r.zOut.resize(xo.size());
  sdbi3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &m, xo.data(), yo.data(), r.zOut.data(), &status,
          r.work.data(), r.iwork.data(), &r.borderCount, &r.triCount);
  EXPECT_EQ(status, 0);
  return r;
}

Points randomSurface(int count, unsigned seed) {
  Points p;
  Lcg random(seed);
  for (int i = 0; i < count; ++i) {
    const double x = 10.0 * random.next(), y = 8.0 * random.next();
    p.add(x, y, 5.0 * std::sin(x / 3.0) * std::cos(y / 4.0) + x);
  }
  return p;
}

class SurfaceTool : public ::testing::Test {
 protected:
  ToolResult run(const std::vector<std::string>& args) { return runTool(args, dir_.path("")); }
  // A run that must succeed.
  ToolResult ok(const std::vector<std::string>& args) {
    ToolResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
  }
  ScratchDir dir_;
};

TEST_F(SurfaceTool, SmoothGridEqualsTheLibraryGridInCsvAndAsc) {
  const Points p = randomSurface(60, 1);
  const std::string data = dir_.write("data.csv", xyzCsv(p.x, p.y, p.z));
  const ToolResult r = ok({"grid", data, "--nx", "23", "--ny", "17", "-o", "g.csv", "-o", "g.asc"});
  const Grid g = readGrid(readFile(dir_.path("g.csv")));
  ASSERT_EQ(g.xs.size(), 23u);
  ASSERT_EQ(g.ys.size(), 17u);
  const auto [xMin, xMax] = std::minmax_element(p.x.begin(), p.x.end());
  EXPECT_TRUE(g.xs.front() == *xMin && g.xs.back() == *xMax);  // bounds: the data's box
  EXPECT_EQ(g.ys.back(), *std::max_element(p.y.begin(), p.y.end()));
  const std::vector<double> expected = libraryGrid(p, g);
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(g.z[k], expected[k]) << k;

  // The ASCII grid: header, then the northern row first; cells here are not square.
  const std::string asc = readFile(dir_.path("g.asc"));
  EXPECT_EQ(asc.rfind("ncols 23\nnrows 17\nxllcenter " + lumutil::formatNumber(g.xs[0]) + "\nyllcenter " +
                          lumutil::formatNumber(g.ys[0]) + "\ndx ",
                      0),
            0u)
      << asc.substr(0, 200);
  const std::size_t top = asc.find("NODATA_value -9999\n") + 19;
  const auto rows = lumutil::parseCsv(asc.substr(top), "asc", {' ', lumutil::HeaderMode::Absent});
  ASSERT_EQ(rows.rowCount(), 17u);
  for (std::size_t i = 0; i < 23; ++i) {
    EXPECT_EQ(*lumutil::parseNumber(rows.field(0, i)), expected[16 * 23 + i]);
    EXPECT_EQ(*lumutil::parseNumber(rows.field(16, i)), expected[i]);
  }

  // Square cells give one cellsize.
  ok({"grid", data, "--cell", "0.5", "-o", "c.asc"});
  EXPECT_NE(readFile(dir_.path("c.asc")).find("\ncellsize 0.5\n"), std::string::npos);
}

TEST_F(SurfaceTool, EvalAndDerivativesEqualTheLibrary) {
  const Points p = randomSurface(40, 2);
  const std::string data = dir_.write("data.csv", xyzCsv(p.x, p.y, p.z));
  std::vector<double> xo, yo;
  std::string at = "y,x\n";  // columns found by name, in either order
  Lcg random(9);
  for (int k = 0; k < 120; ++k) {  // inside and well outside the data
    xo.push_back(-4.0 + 18.0 * random.next()), yo.push_back(-3.0 + 14.0 * random.next());
    at += lumutil::formatNumber(yo.back()) + "," + lumutil::formatNumber(xo.back()) + "\n";
  }
  ToolResult r = ok({"eval", data, dir_.write("at.csv", at)});
  const Prepared direct = prepare(p, xo, yo);
  const auto out = parseOutput(r.out);
  EXPECT_EQ(column(out, "x"), xo);
  EXPECT_EQ(column(out, "z"), direct.zOut);

  r = ok({"derivatives", data});
  const auto d = parseOutput(r.out);
  const char* names[] = {"zx", "zy", "zxx", "zxy", "zyy"};
  for (int k = 0; k < 5; ++k) {
    const auto values = column(d, names[k]);
    for (std::size_t i = 0; i < p.x.size(); ++i) EXPECT_EQ(values[i], direct.work[5 * i + k]) << names[k] << i;
  }
  const auto degree = column(d, "fit_degree");
  for (std::size_t i = 0; i < p.x.size(); ++i) EXPECT_EQ(degree[i], direct.iwork[38 * p.x.size() + i]);

  Points copy = p;
  const std::size_t n = p.x.size();
  std::vector<double> partials(5 * n), cubic(9 * n), plane(2 * n), distSq(n);
  std::vector<int> order(n), nearest(9 * n), fitCount(n), fitDegree(n);
  int count = static_cast<int>(n);
  sdpd3p_(&count, copy.x.data(), copy.y.data(), copy.z.data(), partials.data(), cubic.data(), plane.data(),
          distSq.data(), order.data(), nearest.data(), fitCount.data(), fitDegree.data());
  r = run({"derivatives", data, "--unrefined"});
  const auto zxx = column(parseOutput(r.out), "zxx");
  for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(zxx[i], partials[5 * i + 2]) << i;
}

// The plane through the three vertices of a triangle, evaluated from its normal.
double planeValue(const Points& p, const int* v, double x, double y) {
  const double ax = p.x[v[1]] - p.x[v[0]], ay = p.y[v[1]] - p.y[v[0]], az = p.z[v[1]] - p.z[v[0]];
  const double bx = p.x[v[2]] - p.x[v[0]], by = p.y[v[2]] - p.y[v[0]], bz = p.z[v[2]] - p.z[v[0]];
  const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
  return p.z[v[0]] - (nx * (x - p.x[v[0]]) + ny * (y - p.y[v[0]])) / nz;
}

TEST_F(SurfaceTool, LinearMethodInterpolatesOnTheLibraryTriangles) {
  Points p = randomSurface(50, 3);
  for (auto& z : p.z) z = std::round(z * 8.0) / 8.0;  // coarse values make flat triangles likely too
  const std::string data = dir_.write("data.csv", xyzCsv(p.x, p.y, p.z));
  const ToolResult r = ok({"grid", data, "--method", "linear", "--nx", "41", "--ny", "37", "--bounds=-1,11,-1,9"});
  const Grid g = readGrid(r.out);
  const Prepared mesh = prepare(p, {p.x[0]}, {p.y[0]});
  const double zMin = *std::min_element(p.z.begin(), p.z.end()), zMax = *std::max_element(p.z.begin(), p.z.end());
  int inside = 0, outside = 0;
  for (std::size_t j = 0; j < g.ys.size(); ++j)
    for (std::size_t i = 0; i < g.xs.size(); ++i) {
      const double x = g.xs[i], y = g.ys[j], value = g.z[j * g.xs.size() + i];
      // Brute force: the first triangle of the library's list that holds the node.
      int found = -1;
      for (int t = 0; t < mesh.triCount && found < 0; ++t) {
        int v[3];
        for (int k = 0; k < 3; ++k) v[k] = mesh.iwork[3 * t + k] - 1;
        const auto side = [&](int a, int b) {
          return (p.x[v[b]] - p.x[v[a]]) * (y - p.y[v[a]]) - (x - p.x[v[a]]) * (p.y[v[b]] - p.y[v[a]]);
        };
        if (side(0, 1) >= 0 && side(1, 2) >= 0 && side(2, 0) >= 0 && side(0, 1) + side(1, 2) + side(2, 0) > 0) found = t;
      }
      if (found < 0) {
        ++outside;
        EXPECT_TRUE(std::isnan(value)) << x << " " << y;
        continue;
      }
      ++inside;
      int v[3];
      for (int k = 0; k < 3; ++k) v[k] = mesh.iwork[3 * found + k] - 1;
      EXPECT_NEAR(value, planeValue(p, v, x, y), 1e-12 * (zMax - zMin)) << x << " " << y;
      EXPECT_GE(value, zMin);
      EXPECT_LE(value, zMax);
    }
  EXPECT_GT(inside, 500);
  EXPECT_GT(outside, 100);

  // Exact at the data points.
  const ToolResult atData = ok({"eval", data, data, "--method", "linear"});
  EXPECT_EQ(column(parseOutput(atData.out), "z"), p.z);
}

TEST_F(SurfaceTool, OvershootIsReportedForNoisyClustersAndNotForAPlane) {
  Points noisy;
  Lcg random(21);
  const double centres[5][2] = {{1, 1}, {8, 2}, {5, 5}, {2, 8}, {9, 9}};
  for (const auto& c : centres)
    for (int k = 0; k < 8; ++k)
      noisy.add(c[0] + 0.04 * random.next(), c[1] + 0.04 * random.next(), random.next());
  const std::string noisyFile = dir_.write("noisy.csv", xyzCsv(noisy.x, noisy.y, noisy.z));
  ToolResult r = ok({"grid", noisyFile, "--nx", "30", "--ny", "30", "-o", "n.csv"});
  for (const char* part : {"overshoot", "inside the data hull", "--method linear"})
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  // The counts in the report are those of the written grid.
  const Grid g = readGrid(readFile(dir_.path("n.csv")));
  const long beyond = std::count_if(g.z.begin(), g.z.end(), [](double v) { return v < -0.25 || v > 1.25; });
  EXPECT_GT(beyond, 0);
  r = run({"grid", noisyFile, "--nx", "30", "--ny", "30", "--strict", "-o", "strict.csv"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(fileExists(dir_.path("strict.csv")));
  r = run({"grid", noisyFile, "--nx", "30", "--ny", "30", "--strict", "--method", "linear"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("overshoot"), std::string::npos) << r.err;

  Points plane = randomSurface(30, 4);
  plane.add(0, 0, 0), plane.add(10, 0, 0), plane.add(10, 8, 0), plane.add(0, 8, 0);
  for (std::size_t i = 0; i < plane.x.size(); ++i) plane.z[i] = 2.0 * plane.x[i] - 3.0 * plane.y[i] + 1.0;
  r = run({"grid", dir_.write("plane.csv", xyzCsv(plane.x, plane.y, plane.z)), "--strict"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  // Masking: the nodes outside the mesh become nan, the others keep their values.
  r = run({"grid", noisyFile, "--nx", "30", "--ny", "30", "--mask-outside"});
  const Grid masked = readGrid(r.out);
  int nan = 0;
  for (std::size_t k = 0; k < g.z.size(); ++k) {
    nan += std::isnan(masked.z[k]);
    EXPECT_TRUE(std::isnan(masked.z[k]) || masked.z[k] == g.z[k]) << k;
  }
  EXPECT_GT(nan, 0);
}

TEST_F(SurfaceTool, BadScatteredInputExitsWith2NamingTheLineAndWritesNothing) {
  const Points p = randomSurface(12, 5);
  const std::string good = xyzCsv(p.x, p.y, p.z);
  std::string duplicate = good + lumutil::formatNumber(p.x[3]) + "," + lumutil::formatNumber(p.y[3]) + ",7\n";
  std::string nonNumeric = good, nanCoordinate = good, infinite = good, ragged = good;
  nonNumeric.insert(nonNumeric.find('\n') + 1, "1,2,height\n");
  nanCoordinate.insert(nanCoordinate.find('\n') + 1, "NaN,2,3\n");
  infinite.insert(infinite.find('\n') + 1, "1,inf,3\n");
  ragged.insert(ragged.find('\n') + 1, "1,2\n");
  const struct {
    std::string name, content, message;
  } cases[] = {
      {"few.csv", xyzCsv({0, 1, 0}, {0, 0, 1}, {1, 2, 3}), "at least 10 distinct points, the input has 3"},
      {"dup.csv", duplicate, "on lines 5, 14 (merge them with --dedupe"},
      {"text.csv", nonNumeric, "text.csv:2: column 3 ('z'): 'height' is not a number"},
      {"nan.csv", nanCoordinate, "nan.csv:2: column 1 ('x'): 'NaN' is not a finite number"},
      {"inf.csv", infinite, "inf.csv:2: column 2 ('y'): 'inf' is not a finite number"},
      {"ragged.csv", ragged, "ragged.csv:2: found 2 fields, expected 3"},
      {"line.csv", xyzCsv({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
       "all points lie on one straight line"},
  };
  dir_.write("kept.asc", "old content\n");
  for (const auto& c : cases) {
    const ToolResult r = run({"grid", dir_.write(c.name, c.content), "-o", "out.png", "-o", "kept.asc"});
    EXPECT_EQ(r.status, 2) << c.name << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;  // one clear message
    EXPECT_FALSE(fileExists(dir_.path("out.png"))) << c.name;
    EXPECT_EQ(readFile(dir_.path("kept.asc")), "old content\n") << c.name;
  }
  for (const auto& f : dir_.files()) EXPECT_EQ(f.find(".tmp-"), std::string::npos) << f;
  EXPECT_EQ(run({"grid", dir_.path("dup.csv"), "-o", "out.tif"}).status, 2);
  EXPECT_EQ(run({"eval", "-", "-"}).status, 2);
}

TEST_F(SurfaceTool, DuplicatesAreMergedByMeanOrFirst) {
  const Points p = randomSurface(20, 6);
  Points input = p;
  input.add(p.x[4], p.y[4], p.z[4] + 1.0);  // repeats of points 4 and 9
  input.add(p.x[9], p.y[9], p.z[9] - 2.0);
  input.add(p.x[4], p.y[4], p.z[4] + 2.0);
  const std::string file = dir_.write("dups.csv", xyzCsv(input.x, input.y, input.z));
  for (const std::string mode : {"mean", "first"}) {
    const ToolResult r = ok({"grid", file, "--nx", "12", "--ny", "9", "--dedupe", mode});
    EXPECT_NE(r.err.find("merged 2 repeated point(s)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lines 6, 22, 24"), std::string::npos) << r.err;
    Points merged = p;
    if (mode == "mean") {
      merged.z[4] = mean({p.z[4], p.z[4] + 1.0, p.z[4] + 2.0});
      merged.z[9] = mean({p.z[9], p.z[9] - 2.0});
    }
    const Grid g = readGrid(r.out);
    EXPECT_EQ(g.z, libraryGrid(merged, g)) << mode;
  }
}

TEST_F(SurfaceTool, CollinearFirstThreePointsAreReordered) {
  Points p;
  p.add(0, 0, 1), p.add(1, 1, 2), p.add(2, 2, 3), p.add(3, 3, 4);  // four on one line
  Lcg random(8);
  for (int k = 0; k < 12; ++k) p.add(5 * random.next(), 5 * random.next(), random.next());
  const std::string file = dir_.write("collinear.csv", "# first rows on a diagonal\n" + xyzCsv(p.x, p.y, p.z));
  const ToolResult r = ok({"grid", file, "--nx", "15", "--ny", "13"});
  EXPECT_NE(r.err.find("first three points (lines 3, 4, 5) are collinear"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("moved the point of line 7 into third place"), std::string::npos) << r.err;
  const Grid g = readGrid(r.out);
  libraryGrid(p, g, 9);  // the library itself refuses this order
  Points reordered = p;
  for (auto* v : {&reordered.x, &reordered.y, &reordered.z}) std::rotate(v->begin() + 2, v->begin() + 4, v->begin() + 5);
  EXPECT_EQ(g.z, libraryGrid(reordered, g));
}

struct Image {
  png_uint_32 width = 0, height = 0;
  std::vector<png_byte> rgb;
  lumutil::Rgb at(int x, int y) const {
    const png_byte* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
};

Image decodePng(const std::string& path) {
  Image image;
  png_image info{};
  info.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&info, path.c_str())) return image;
  info.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(info));
  if (png_image_finish_read(&info, nullptr, image.rgb.data(), 0, nullptr)) image.width = info.width, image.height = info.height;
  return image;
}

TEST_F(SurfaceTool, PictureFollowsTheColourMap) {
  const Points p = randomSurface(45, 7);
  const std::string data = dir_.write("data.csv", xyzCsv(p.x, p.y, p.z));
  const ToolResult r = ok({"grid", data, "--nx", "30", "--ny", "20", "--pixel", "3", "--scale", "grid", "--no-points",
                            "--no-hull", "-o", "p.png", "-o", "p.csv"});
  const Image image = decodePng(dir_.path("p.png"));
  const lumutil::PictureLayout layout = lumutil::pictureLayout(30, 20, 3);
  ASSERT_EQ(image.width, static_cast<png_uint_32>(layout.width));
  ASSERT_EQ(image.height, static_cast<png_uint_32>(layout.height));
  EXPECT_EQ(layout.mapWidth, 90);
  EXPECT_EQ(layout.mapHeight, 60);

  const Grid g = readGrid(readFile(dir_.path("p.csv")));
  const auto [lo, hi] = std::minmax_element(g.z.begin(), g.z.end());
  const auto& map = lumutil::colourMap();
  const auto pixelOf = [&](std::size_t k) {
    const int i = static_cast<int>(k % 30), j = static_cast<int>(k / 30);
    return image.at(layout.mapX + 3 * i + 1, layout.mapY + 3 * (19 - j) + 1);
  };
  EXPECT_EQ(pixelOf(static_cast<std::size_t>(lo - g.z.begin())), map[0]);
  EXPECT_EQ(pixelOf(static_cast<std::size_t>(hi - g.z.begin())), map[255]);
  for (std::size_t k = 0; k < g.z.size(); ++k) EXPECT_EQ(pixelOf(k), lumutil::valueColour(g.z[k], *lo, *hi)) << k;
  // The colour bar runs from the top colour down to the bottom one.
  EXPECT_EQ(image.at(layout.barX + 2, layout.barY), map[255]);
  EXPECT_EQ(image.at(layout.barX + 2, layout.barY + layout.barHeight - 1), map[0]);

  // On the data's scale, nodes beyond the data range take the over and under colours.
  ok({"grid", data, "--nx", "30", "--ny", "20", "--pixel", "3", "--bounds=-3,13,-3,11", "--no-points", "--no-hull",
      "--contours", "4", "-o", "q.png", "-o", "q.csv"});
  const Image wide = decodePng(dir_.path("q.png"));
  const double corner = readGrid(readFile(dir_.path("q.csv"))).z[0];  // (-3, -3), far outside the data
  const auto [zMin, zMax] = std::minmax_element(p.z.begin(), p.z.end());
  ASSERT_TRUE(corner > *zMax || corner < *zMin) << corner;
  EXPECT_EQ(wide.at(layout.mapX, layout.mapY + 3 * 19 + 2), corner > *zMax ? lumutil::kOverColour : lumutil::kUnderColour);
}

}  // namespace
