#include "picture.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "errors.h"

namespace lumutil {

namespace {

// CIELAB (D65 white) to 8-bit sRGB; false when the colour lies outside the gamut.
bool labToRgb(double l, double a, double b, Rgb& out) {
  const double fy = (l + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
  const auto inverse = [](double t) {
    const double delta = 6.0 / 29.0;
    return t > delta ? t * t * t : 3.0 * delta * delta * (t - 4.0 / 29.0);
  };
  const double X = 0.95047 * inverse(fx), Y = inverse(fy), Z = 1.08883 * inverse(fz);
  const double linear[3] = {3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z,
                            -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z,
                            0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z};
  std::uint8_t channel[3];
  for (int k = 0; k < 3; ++k) {
    const double c = linear[k];
    if (c < -1e-9 || c > 1.0 + 1e-9) return false;
    const double clamped = std::clamp(c, 0.0, 1.0);
    const double encoded = clamped <= 0.0031308 ? 12.92 * clamped : 1.055 * std::pow(clamped, 1.0 / 2.4) - 0.055;
    channel[k] = static_cast<std::uint8_t>(std::lround(encoded * 255.0));
  }
  out = {channel[0], channel[1], channel[2]};
  return true;
}

std::array<Rgb, 256> buildColourMap() {
  constexpr double kPi = 3.14159265358979323846;
  std::array<Rgb, 256> map{};
  for (int i = 0; i < 256; ++i) {
    const double t = i / 255.0;
    const double lightness = 18.0 + 75.0 * t;
    const double hue = (295.0 - 195.0 * t) * kPi / 180.0;
    const double wanted = 40.0 + 50.0 * t * t * t;
    // Largest chroma up to the wanted one that stays inside the gamut.
    double lo = 0.0, hi = wanted;
    Rgb colour{};
    labToRgb(lightness, 0.0, 0.0, colour);
    if (labToRgb(lightness, wanted * std::cos(hue), wanted * std::sin(hue), colour)) {
      map[static_cast<std::size_t>(i)] = colour;
      continue;
    }
    for (int step = 0; step < 40; ++step) {
      const double mid = 0.5 * (lo + hi);
      Rgb trial{};
      if (labToRgb(lightness, mid * std::cos(hue), mid * std::sin(hue), trial)) {
        lo = mid;
        colour = trial;
      } else {
        hi = mid;
      }
    }
    map[static_cast<std::size_t>(i)] = colour;
  }
  return map;
}

// Glyphs of 3 x 5 pixels, one row of three bits per entry, top row first.
struct Glyph {
  char c;
  std::uint8_t rows[5];
};
constexpr Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'-', {0, 0, 7, 0, 0}},
    {'+', {0, 2, 7, 2, 0}}, {'e', {0, 2, 7, 4, 3}}, {'<', {1, 2, 4, 2, 1}}, {'>', {4, 2, 1, 2, 4}},
};
constexpr int kGlyphScale = 2;
constexpr int kGlyphAdvance = 4 * kGlyphScale;
constexpr int kGlyphHeight = 5 * kGlyphScale;

// Layout constants, in pixels.
constexpr int kMargin = 12;
constexpr int kBarGap = 16;
constexpr int kBarWidth = 16;
constexpr int kLabelGap = 6;
constexpr int kLabelWidth = 12 * kGlyphAdvance;
constexpr int kSwatchHeight = 12;
constexpr int kSwatchGap = 4;
constexpr int kMinimumAreaHeight = 160;
constexpr int kAutoMapSize = 600;
constexpr long long kMaximumPixels = 60000000;

constexpr Rgb kInk{0, 0, 0};

class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 3, 255) {}

  void clip(int x0, int y0, int x1, int y1) {
    cx0_ = x0, cy0_ = y0, cx1_ = x1, cy1_ = y1;
  }
  void unclip() { clip(0, 0, width_, height_); }

  void set(int x, int y, Rgb c) {
    if (x < cx0_ || y < cy0_ || x >= cx1_ || y >= cy1_) return;
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    p[0] = c.r, p[1] = c.g, p[2] = c.b;
  }
  void blend(int x, int y, Rgb c, double alpha) {
    if (x < cx0_ || y < cy0_ || x >= cx1_ || y >= cy1_) return;
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    const std::uint8_t channel[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k)
      p[k] = static_cast<std::uint8_t>(std::lround(p[k] * (1.0 - alpha) + channel[k] * alpha));
  }
  void fill(int x, int y, int w, int h, Rgb c) {
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) set(i, j, c);
  }
  void frame(int x, int y, int w, int h, Rgb c) {
    fill(x, y, w, 1, c), fill(x, y + h - 1, w, 1, c), fill(x, y, 1, h, c), fill(x + w - 1, y, 1, h, c);
  }
  template <typename Plot>
  void line(double x0, double y0, double x1, double y1, Plot&& plot) {
    const double steps = std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)));
    if (!(steps < 1e6)) return;
    const int n = static_cast<int>(steps);
    for (int k = 0; k <= n; ++k) {
      const double t = n == 0 ? 0.0 : static_cast<double>(k) / n;
      plot(static_cast<int>(std::floor(x0 + (x1 - x0) * t)), static_cast<int>(std::floor(y0 + (y1 - y0) * t)));
    }
  }
  void text(int x, int y, const std::string& s) {
    for (char c : s) {
      for (const Glyph& g : kGlyphs) {
        if (g.c != c) continue;
        for (int row = 0; row < 5; ++row)
          for (int col = 0; col < 3; ++col)
            if (g.rows[row] & (4 >> col)) fill(x + col * kGlyphScale, y + row * kGlyphScale, kGlyphScale, kGlyphScale, kInk);
      }
      x += kGlyphAdvance;
    }
  }
  const std::vector<std::uint8_t>& pixels() const { return pixels_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> pixels_;
  int cx0_ = 0, cy0_ = 0, cx1_ = 1 << 30, cy1_ = 1 << 30;
};

std::string label(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.5g", value);
  return buffer;
}

// Contour segments of one grid cell at `level` by marching squares; corners
// c0..c3 run counterclockwise from the lower left, saddles are resolved by
// the mean of the four corners.
template <typename Emit>
void cellContours(const double v[4], const double px[4], const double py[4], double level, Emit&& emit) {
  static const int kEdges[16][4] = {{-1, -1, -1, -1}, {3, 0, -1, -1}, {0, 1, -1, -1}, {3, 1, -1, -1},
                                    {1, 2, -1, -1},   {-1, -1, -1, -1}, {0, 2, -1, -1}, {3, 2, -1, -1},
                                    {2, 3, -1, -1},   {0, 2, -1, -1}, {-1, -1, -1, -1}, {1, 2, -1, -1},
                                    {3, 1, -1, -1},   {0, 1, -1, -1}, {3, 0, -1, -1}, {-1, -1, -1, -1}};
  int index = 0;
  for (int k = 0; k < 4; ++k)
    if (v[k] > level) index |= 1 << k;
  int edges[4];
  std::copy(kEdges[index], kEdges[index] + 4, edges);
  const bool centreAbove = (v[0] + v[1] + v[2] + v[3]) / 4.0 > level;
  if (index == 5) {
    const int a[4] = {0, 1, 2, 3}, b[4] = {3, 0, 1, 2};
    std::copy(centreAbove ? a : b, (centreAbove ? a : b) + 4, edges);
  } else if (index == 10) {
    const int a[4] = {3, 0, 1, 2}, b[4] = {0, 1, 2, 3};
    std::copy(centreAbove ? a : b, (centreAbove ? a : b) + 4, edges);
  }
  const auto point = [&](int edge, double& x, double& y) {
    const int ca = edge, cb = (edge + 1) % 4;  // edge e joins corners e and e + 1
    const double t = (level - v[ca]) / (v[cb] - v[ca]);
    x = px[ca] + t * (px[cb] - px[ca]);
    y = py[ca] + t * (py[cb] - py[ca]);
  };
  for (int s = 0; s < 4 && edges[s] >= 0; s += 2) {
    double x0, y0, x1, y1;
    point(edges[s], x0, y0);
    point(edges[s + 1], x1, y1);
    emit(x0, y0, x1, y1);
  }
}

}  // namespace

const std::array<Rgb, 256>& colourMap() {
  static const std::array<Rgb, 256> map = buildColourMap();
  return map;
}

Rgb valueColour(double value, double lo, double hi) {
  if (std::isnan(value)) return kNoDataColour;
  if (value < lo) return kUnderColour;
  if (value > hi) return kOverColour;
  const double t = hi > lo ? (value - lo) / (hi - lo) : 0.5;
  const long index = std::clamp(std::lround(t * 255.0), 0L, 255L);
  return colourMap()[static_cast<std::size_t>(index)];
}

PictureLayout pictureLayout(int nx, int ny, int pixel) {
  PictureLayout l{};
  l.scale = pixel > 0 ? pixel : std::max(1, kAutoMapSize / std::max(nx, ny));
  l.mapWidth = nx * l.scale;
  l.mapHeight = ny * l.scale;
  const int area = std::max(l.mapHeight, kMinimumAreaHeight);
  l.mapX = kMargin;
  l.mapY = kMargin + (area - l.mapHeight) / 2;
  l.barX = kMargin + l.mapWidth + kBarGap;
  l.barY = kMargin + kSwatchHeight + kSwatchGap;
  l.barWidth = kBarWidth;
  l.barHeight = area - 2 * (kSwatchHeight + kSwatchGap);
  l.width = l.barX + kBarWidth + kLabelGap + kLabelWidth + kMargin;
  l.height = area + 2 * kMargin;
  return l;
}

std::string renderPng(const PictureInput& in) {
  const long long mapPixels = static_cast<long long>(in.nx) * in.ny * std::max(in.pixel, 1) * std::max(in.pixel, 1);
  if (mapPixels > kMaximumPixels || in.nx > 30000 || in.ny > 30000)
    throw InputError("the picture would be too large; choose a smaller grid or --pixel");
  const PictureLayout l = pictureLayout(in.nx, in.ny, in.pixel);
  if (static_cast<long long>(l.width) * l.height > kMaximumPixels)
    throw InputError("the picture would be too large; choose a smaller grid or --pixel");
  Canvas canvas(l.width, l.height);
  const int s = l.scale;

  bool anyOver = false, anyUnder = false;
  for (int j = 0; j < in.ny; ++j)
    for (int i = 0; i < in.nx; ++i) {
      const double value = in.z[static_cast<std::size_t>(j) * in.nx + i];
      anyOver = anyOver || value > in.hi;
      anyUnder = anyUnder || value < in.lo;
      canvas.fill(l.mapX + i * s, l.mapY + (in.ny - 1 - j) * s, s, s, valueColour(value, in.lo, in.hi));
    }

  // Pixel position of a point: node (i, j) sits at the centre of its block.
  const double spanX = in.xs[in.nx - 1] - in.xs[0], spanY = in.ys[in.ny - 1] - in.ys[0];
  const auto toPixelX = [&](double x) {
    return l.mapX + (spanX > 0 ? (x - in.xs[0]) / spanX * (in.nx - 1) : 0.0) * s + s / 2.0;
  };
  const auto toPixelY = [&](double y) {
    return l.mapY + (in.ny - 1 - (spanY > 0 ? (y - in.ys[0]) / spanY * (in.ny - 1) : 0.0)) * s + s / 2.0;
  };
  canvas.clip(l.mapX, l.mapY, l.mapX + l.mapWidth, l.mapY + l.mapHeight);

  for (int c = 1; c <= in.contours; ++c) {
    const double level = in.lo + (in.hi - in.lo) * c / (in.contours + 1);
    for (int j = 0; j + 1 < in.ny; ++j)
      for (int i = 0; i + 1 < in.nx; ++i) {
        const std::size_t base = static_cast<std::size_t>(j) * in.nx + i;
        const double v[4] = {in.z[base], in.z[base + 1], in.z[base + in.nx + 1], in.z[base + in.nx]};
        if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2]) || std::isnan(v[3])) continue;
        const double px[4] = {toPixelX(in.xs[i]), toPixelX(in.xs[i + 1]), toPixelX(in.xs[i + 1]), toPixelX(in.xs[i])};
        const double py[4] = {toPixelY(in.ys[j]), toPixelY(in.ys[j]), toPixelY(in.ys[j + 1]), toPixelY(in.ys[j + 1])};
        cellContours(v, px, py, level, [&](double x0, double y0, double x1, double y1) {
          canvas.line(x0, y0, x1, y1, [&](int x, int y) { canvas.blend(x, y, kBackground, 0.6); });
        });
      }
  }
  for (const auto& seg : in.hullSegments)
    canvas.line(toPixelX(seg[0]), toPixelY(seg[1]), toPixelX(seg[2]), toPixelY(seg[3]),
                [&](int x, int y) { canvas.set(x, y, kInk); });
  for (std::size_t p = 0; p < in.pointX.size(); ++p) {
    const int x = static_cast<int>(std::floor(toPixelX(in.pointX[p])));
    const int y = static_cast<int>(std::floor(toPixelY(in.pointY[p])));
    canvas.fill(x - 1, y - 1, 3, 3, kInk);
    canvas.set(x, y, kBackground);
  }
  canvas.unclip();

  // Colour bar, top = hi, with swatches for values beyond the scale.
  for (int r = 0; r < l.barHeight; ++r) {
    const double t = l.barHeight > 1 ? 1.0 - static_cast<double>(r) / (l.barHeight - 1) : 0.5;
    canvas.fill(l.barX, l.barY + r, l.barWidth, 1, colourMap()[static_cast<std::size_t>(std::lround(t * 255.0))]);
  }
  canvas.frame(l.barX - 1, l.barY - 1, l.barWidth + 2, l.barHeight + 2, kInk);
  const int labelX = l.barX + l.barWidth + kLabelGap;
  canvas.text(labelX, l.barY, label(in.hi));
  canvas.text(labelX, l.barY + l.barHeight - kGlyphHeight, label(in.lo));
  if (anyOver) {
    const int y = l.barY - kSwatchGap - kSwatchHeight;
    canvas.fill(l.barX, y, l.barWidth, kSwatchHeight, kOverColour);
    canvas.frame(l.barX - 1, y - 1, l.barWidth + 2, kSwatchHeight + 2, kInk);
    canvas.text(labelX, y + 1, ">");
  }
  if (anyUnder) {
    const int y = l.barY + l.barHeight + kSwatchGap;
    canvas.fill(l.barX, y, l.barWidth, kSwatchHeight, kUnderColour);
    canvas.frame(l.barX - 1, y - 1, l.barWidth + 2, kSwatchHeight + 2, kInk);
    canvas.text(labelX, y + 1, "<");
  }
  return encodePng(l.width, l.height, canvas.pixels());
}

std::string encodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr))
    throw ComputeError(std::string("PNG encoding failed: ") + image.message);
  std::string bytes(size, '\0');
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr))
    throw ComputeError(std::string("PNG encoding failed: ") + image.message);
  bytes.resize(size);
  png_image_free(&image);
  return bytes;
}

}  // namespace lumutil
