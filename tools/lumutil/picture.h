// Pictures of gridded surfaces: a colour-mapped raster with a colour bar,
// data points, the data hull and optional contour lines, encoded as PNG.
#ifndef LUMUTIL_PICTURE_H
#define LUMUTIL_PICTURE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumutil {

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// The colour map: 256 entries of steadily rising CIELAB lightness (18 to 93)
// sweeping from blue-violet through teal and green to yellow, each clipped
// into the sRGB gamut by reducing its chroma. Lightness alone orders the
// colours, so the map reads correctly in grey scale too.
const std::array<Rgb, 256>& colourMap();
inline constexpr Rgb kOverColour{255, 0, 255};      // above the colour scale
inline constexpr Rgb kUnderColour{230, 0, 0};       // below the colour scale
inline constexpr Rgb kNoDataColour{208, 208, 208};  // masked or outside the mesh
inline constexpr Rgb kBackground{255, 255, 255};

// Colour of a value on the scale [lo, hi]: the map entry nearest to its
// position, or the over, under and no-data colours.
Rgb valueColour(double value, double lo, double hi);

// Pixel geometry: every grid node is a square block of `scale` pixels, rows
// from the top (largest y) down, with the colour bar to the right.
struct PictureLayout {
  int scale;
  int mapX, mapY, mapWidth, mapHeight;
  int barX, barY, barWidth, barHeight;
  int width, height;
};
PictureLayout pictureLayout(int nx, int ny, int pixel);

struct PictureInput {
  int nx = 0, ny = 0;
  const double* xs = nullptr;  // nx node abscissae, ascending, evenly spaced
  const double* ys = nullptr;  // ny node ordinates, ascending, evenly spaced
  const double* z = nullptr;   // nx * ny values, x fastest; NaN is no data
  double lo = 0, hi = 1;       // colour scale
  int pixel = 0;               // block size; 0 chooses one (map at most 600 pixels wide)
  int contours = 0;            // number of contour levels between lo and hi
  std::vector<double> pointX, pointY;                // data points drawn as dots
  std::vector<std::array<double, 4>> hullSegments;  // (x1, y1, x2, y2) drawn as lines
};

// The picture as PNG bytes.
std::string renderPng(const PictureInput& input);

// Raw RGB pixels, 3 bytes per pixel, rows from the top, as PNG bytes.
std::string encodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace lumutil

#endif  // LUMUTIL_PICTURE_H
