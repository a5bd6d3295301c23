// Hilbert-curve order of the data points; see spatial_order.h.
#include "scattered/spatial_order.h"

#include <algorithm>
#include <cstdint>

namespace lum::scattered {
namespace {

// Position of (qx, qy) on the Hilbert curve through a 2^16 x 2^16 grid, two
// bits per level from the top. The curve's sub-squares are turned and
// mirrored; `swap` and `flip` track that transform for the lower bits (the
// two commute, so composing them is an exclusive or). Branch-free: the bits
// of random points are unpredictable.
std::uint32_t hilbertIndex(std::uint32_t qx, std::uint32_t qy) {
  std::uint32_t d = 0, flip = 0, swap = 0;
  for (int i = 15; i >= 0; --i) {
    std::uint32_t bx = (qx >> i) & 1, by = (qy >> i) & 1;
    const std::uint32_t t = (bx ^ by) & swap;
    bx ^= t ^ flip;
    by ^= t ^ flip;
    d = (d << 2) | ((3 * bx) ^ by);
    const std::uint32_t turn = by ^ 1;  // lower-left or lower-right quadrant
    flip ^= turn & bx;
    swap ^= turn;
  }
  return d;
}

// Grid coordinate of v, clamped to 0..65535; NaN-safe (a 0 * inf scale or an
// infinite one lands on the grid's edge).
std::uint32_t quantize(double v, double lo, double scale) {
  const double t = (v - lo) * scale;
  if (!(t > 0.0)) return 0;
  if (t >= 65535.0) return 65535;
  return static_cast<std::uint32_t>(t);
}

}  // namespace

std::vector<int> sdHilbertOrder(int n, const double* x, const double* y) {
  std::vector<int> order(n);
  if (n <= 0) return order;
  double x0 = x[0], x1 = x[0], y0 = y[0], y1 = y[0];
  for (int k = 1; k < n; ++k) {
    x0 = std::min(x0, x[k]);
    x1 = std::max(x1, x[k]);
    y0 = std::min(y0, y[k]);
    y1 = std::max(y1, y[k]);
  }
  const double sx = x1 > x0 ? 65535.0 / (x1 - x0) : 0.0;
  const double sy = y1 > y0 ? 65535.0 / (y1 - y0) : 0.0;
  // Keys with the point index in the low half; a stable radix sort on the
  // high half, 11 bits at a time, keeps ascending point numbers among ties.
  std::vector<std::uint64_t> item(n), sorted(n);
  for (int k = 0; k < n; ++k) {
    const std::uint64_t key = hilbertIndex(quantize(x[k], x0, sx), quantize(y[k], y0, sy));
    item[k] = (key << 32) | static_cast<std::uint32_t>(k);
  }
  constexpr int kDigitBits = 11;
  constexpr std::uint64_t kDigitMask = (1u << kDigitBits) - 1;
  std::vector<int> count((1u << kDigitBits) + 1);
  for (int shift = 32; shift < 64; shift += kDigitBits) {
    std::fill(count.begin(), count.end(), 0);
    for (const std::uint64_t v : item) ++count[((v >> shift) & kDigitMask) + 1];
    for (size_t b = 1; b < count.size(); ++b) count[b] += count[b - 1];
    for (const std::uint64_t v : item) sorted[count[(v >> shift) & kDigitMask]++] = v;
    item.swap(sorted);
  }
  for (int i = 0; i < n; ++i) order[i] = static_cast<int>(item[i] & 0xffffffffu);
  for (int& k : order) ++k;
  return order;
}

}  // namespace lum::scattered
