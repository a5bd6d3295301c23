#include "scattered_surface.h"

#include <VORN_LumUtility.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "parallel.h"

namespace lumpy {

namespace {

// Column counts of the library's work arrays.
constexpr std::size_t kWorkColumns = 17;
constexpr std::size_t kIworkColumns = 39;
// Columns (1-based) of the triangles and the border segments in iwork.
constexpr std::size_t kTriVertexColumn = 1;
constexpr std::size_t kBorderSegColumn = 7;
// sdbi3p_ modes: full preparation, and re-use of the triangulation.
constexpr int kFullPreparation = 1;
constexpr int kReuseTriangulation = 2;
constexpr int kStatusOk = 0;
constexpr int kStatusNoOutput = 3;
constexpr int kStatusTriangulationFailed = 9;
// Most points handed to one Calculate_ call: whole blocks, far below the
// library's int counts.
constexpr std::size_t kPointsPerCall = kLibraryBlock * 400000;
// Work is split over threads only above this many points, and never into
// pieces smaller than this (whole blocks). Each thread gets about one piece:
// every Calculate_ call starts its own search structures, so few large calls
// are cheaper than many small ones.
constexpr std::size_t kSerialBelow = kLibraryBlock * 128;
constexpr std::size_t kMinPiecePoints = kLibraryBlock * 64;
// Most points of one grid piece (padded rows), which bounds the buffers.
constexpr std::size_t kMaxGridPiecePoints = std::size_t{1} << 21;

std::size_t roundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

// Points per piece when `count` points are shared by `workers` threads.
std::size_t pieceSize(std::size_t count, int workers) {
  const std::size_t share = (count + static_cast<std::size_t>(workers) - 1) / static_cast<std::size_t>(workers);
  return roundUp(std::max(share, kMinPiecePoints), kLibraryBlock);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string statusText(int status) {
  switch (status) {
    case 1: return "fewer than 10 points";
    case 2: return "re-use with another point count";
    case 3: return "no output points";
    case kStatusTriangulationFailed: return "the triangulation failed";
    default: return "status " + std::to_string(status);
  }
}


std::atomic<long> liveSurfaces{0};

}  // namespace

ScatteredSurface::ScatteredSurface(std::shared_ptr<const PreparedMesh> shared, std::vector<double> z,
                                   std::vector<double> work, Method method, Fill fill)
    : shared_(std::move(shared)), z_(std::move(z)), work_(std::move(work)), method_(method), fill_(fill) {
  zMin_ = *std::min_element(z_.begin(), z_.end());
  zMax_ = *std::max_element(z_.begin(), z_.end());
  ++liveSurfaces;
}

ScatteredSurface::~ScatteredSurface() { --liveSurfaces; }

long ScatteredSurface::liveCount() { return liveSurfaces.load(); }

std::unique_ptr<ScatteredSurface> ScatteredSurface::prepare(PointSet points, Method method, Fill fill) {
  const std::size_t count = points.x.size();
  if (count > static_cast<std::size_t>(std::numeric_limits<int>::max()) / kIworkColumns)
    throw std::invalid_argument("too many points for the library's work arrays");
  auto shared = std::make_shared<PreparedMesh>();
  shared->points = std::move(points);
  PointSet& p = shared->points;
  std::vector<double> z = std::move(p.z);
  p.z.clear();
  shared->iwork.assign(kIworkColumns * count, 0);
  std::vector<double> work(kWorkColumns * count, 0.0);

  // A full preparation evaluates at least one output point: the first data
  // point serves, its value is not used.
  int mode = kFullPreparation, n = static_cast<int>(count), outCount = 1, status = -1;
  double xo = p.x[0], yo = p.y[0], zo = 0.0;
  {
    PreparationGuard guard;
    sdbi3p_(&mode, &n, p.x.data(), p.y.data(), z.data(), &outCount, &xo, &yo, &zo, &status, work.data(),
            shared->iwork.data(), &shared->borderCount, &shared->triCount);
  }
  if (status == kStatusTriangulationFailed)
    throw std::invalid_argument(
        "the library's triangulation failed on these points (nearly collinear or nearly coincident points)");
  if (status != kStatusOk) throw std::runtime_error("the surface preparation failed: " + statusText(status));

  shared->mesh = std::make_unique<TriangleMesh>(
      p.x.data(), p.y.data(), shared->iwork.data() + (kTriVertexColumn - 1) * count, shared->triCount,
      shared->iwork.data() + (kBorderSegColumn - 1) * count, shared->borderCount);
  return std::unique_ptr<ScatteredSurface>(new ScatteredSurface(std::move(shared), std::move(z), std::move(work),
                                                                method, fill));
}

std::unique_ptr<ScatteredSurface> ScatteredSurface::withValues(const double* zIn, std::size_t inCount) const {
  const PointSet& p = shared_->points;
  std::vector<double> z = storedValues(p, zIn, inCount);
  const std::size_t count = p.x.size();
  // The re-use mode rewrites the derivative scratch columns of iwork, so it
  // works on a copy; the triangles and border it evaluates with are those
  // shared with this surface.
  std::vector<int> iwork(shared_->iwork);
  std::vector<double> work(kWorkColumns * count, 0.0);
  int n = static_cast<int>(count), borderCount = shared_->borderCount, triCount = shared_->triCount;
  int status = -1;
  double xo = p.x[0], yo = p.y[0], zo = 0.0;
  double* x = const_cast<double*>(p.x.data());
  double* y = const_cast<double*>(p.y.data());
  {
    PreparationGuard guard;
    // sdbi3p_ accepts a re-use call only for the point count of its last
    // full call. A call with no output points stores the count and does
    // nothing else (status 3).
    int prime = kFullPreparation, none = 0;
    sdbi3p_(&prime, &n, x, y, z.data(), &none, &xo, &yo, &zo, &status, work.data(), iwork.data(), &borderCount,
            &triCount);
    if (status != kStatusNoOutput)
      throw std::runtime_error("storing the point count for a re-use call failed: " + statusText(status));
    int mode = kReuseTriangulation, outCount = 1;
    sdbi3p_(&mode, &n, x, y, z.data(), &outCount, &xo, &yo, &zo, &status, work.data(), iwork.data(), &borderCount,
            &triCount);
  }
  if (status != kStatusOk) throw std::runtime_error("re-using the triangulation failed: " + statusText(status));
  return std::unique_ptr<ScatteredSurface>(new ScatteredSurface(shared_, std::move(z), std::move(work), method_,
                                                                fill_));
}

void ScatteredSurface::smoothValues(const double* x, const double* y, std::size_t count, double* out) const {
  const PointSet& p = shared_->points;
  int n = static_cast<int>(p.x.size());
  for (std::size_t begin = 0; begin < count; begin += kPointsPerCall) {
    int mode = kFullPreparation;  // any mode but 2 and 3: no re-use count check
    int outCount = static_cast<int>(std::min(kPointsPerCall, count - begin));
    int status = -1;
    Calculate_(&mode, &n, const_cast<double*>(p.x.data()), const_cast<double*>(p.y.data()),
               const_cast<double*>(z_.data()), &outCount, const_cast<double*>(x + begin),
               const_cast<double*>(y + begin), out + begin, &status, const_cast<double*>(work_.data()),
               const_cast<int*>(shared_->iwork.data()), shared_->borderCount, shared_->triCount);
    if (status != kStatusOk) throw std::runtime_error("the surface evaluation failed: " + statusText(status));
  }
}

void ScatteredSurface::applyFill(const double* x, const double* y, std::size_t count, double* out) const {
  if (fill_ == Fill::Extend) return;
  const TriangleMesh& mesh = *shared_->mesh;
  std::vector<std::size_t> outside;
  for (std::size_t i = 0; i < count; ++i) {
    if (!std::isfinite(out[i])) continue;
    if (mesh.locate(x[i], y[i]) >= 0) continue;
    if (fill_ == Fill::NaN)
      out[i] = kNaN;
    else
      outside.push_back(i);
  }
  if (outside.empty()) return;
  // The smooth surface at the nearest border points, in one more pass.
  std::vector<double> bx(outside.size()), by(outside.size()), bz(outside.size());
  for (std::size_t k = 0; k < outside.size(); ++k) {
    int s = 0;
    double u = 0.0;
    mesh.nearestOnBorder(x[outside[k]], y[outside[k]], s, u);
    mesh.borderPoint(s, u, bx[k], by[k]);
  }
  smoothValues(bx.data(), by.data(), outside.size(), bz.data());
  for (std::size_t k = 0; k < outside.size(); ++k) out[outside[k]] = bz[k];
}

void ScatteredSurface::linearValues(const double* x, const double* y, std::size_t count, double* out) const {
  const TriangleMesh& mesh = *shared_->mesh;
  for (std::size_t i = 0; i < count; ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      out[i] = kNaN;
      continue;
    }
    const int t = mesh.locate(x[i], y[i]);
    if (t >= 0) {
      out[i] = mesh.linear(t, x[i], y[i], z_.data());
    } else if (fill_ == Fill::Nearest) {
      int s = 0;
      double u = 0.0;
      mesh.nearestOnBorder(x[i], y[i], s, u);
      out[i] = mesh.borderValue(s, u, z_.data());
    } else {
      out[i] = kNaN;
    }
  }
}

void ScatteredSurface::values(const double* x, const double* y, std::size_t count, double* out) const {
  if (method_ == Method::Linear) {
    linearValues(x, y, count, out);
    return;
  }
  smoothValues(x, y, count, out);
  applyFill(x, y, count, out);
}

void ScatteredSurface::evaluate(const double* x, const double* y, std::size_t count, double* out,
                                int workers) const {
  // Pieces start at multiples of the library's block, so each block holds
  // the same points as in one call over all of them.
  parallelFor(count, kLibraryBlock, pieceSize(count, workers), workers, kSerialBelow,
              [&](std::size_t begin, std::size_t end) { values(x + begin, y + begin, end - begin, out + begin); });
}

void ScatteredSurface::grid(const double* xg, std::size_t nx, const double* yg, std::size_t ny, double* out,
                            int workers) const {
  if (nx == 0 || ny == 0) return;
  const std::size_t serialRows = kSerialBelow / nx + 1;
  if (method_ == Method::Linear) {
    const std::size_t rows = (pieceSize(nx * ny, workers) + nx - 1) / nx;
    parallelFor(ny, 1, rows, workers, serialRows, [&](std::size_t first, std::size_t last) {
      std::vector<double> rowY(nx);
      for (std::size_t j = first; j < last; ++j) {
        std::fill(rowY.begin(), rowY.end(), yg[j]);
        linearValues(xg, rowY.data(), nx, out + j * nx);
      }
    });
    return;
  }
  // The library's grid driver evaluates each row in blocks of 51 from the
  // row's start. Here each row is padded to whole blocks by repeating its last
  // node, so that many rows go through one Calculate_ call with exactly those
  // blocks: a point's value depends only on the points before it in its
  // block, so the padding changes no real node.
  const std::size_t padded = roundUp(nx, kLibraryBlock);
  const std::size_t rows = std::clamp<std::size_t>((pieceSize(padded * ny, workers) + padded - 1) / padded, 1,
                                                   std::max<std::size_t>(1, kMaxGridPiecePoints / padded));
  parallelFor(ny, 1, rows, workers, serialRows, [&](std::size_t first, std::size_t last) {
    const std::size_t points = (last - first) * padded;
    std::vector<double> px(points), py(points), pz(points);
    for (std::size_t r = 0; r < last - first; ++r) {
      for (std::size_t i = 0; i < padded; ++i) {
        px[r * padded + i] = xg[std::min(i, nx - 1)];
        py[r * padded + i] = yg[first + r];
      }
    }
    smoothValues(px.data(), py.data(), points, pz.data());
    // The real nodes of these rows, contiguous in out as in the buffers.
    for (std::size_t r = 0; r < last - first; ++r) {
      const auto from = static_cast<std::ptrdiff_t>(r * padded), to = static_cast<std::ptrdiff_t>(r * nx);
      std::copy(pz.begin() + from, pz.begin() + from + static_cast<std::ptrdiff_t>(nx), out + first * nx + to);
      if (r == 0) continue;  // already in place
      std::copy(px.begin() + from, px.begin() + from + static_cast<std::ptrdiff_t>(nx), px.begin() + to);
      std::copy(py.begin() + from, py.begin() + from + static_cast<std::ptrdiff_t>(nx), py.begin() + to);
    }
    applyFill(px.data(), py.data(), (last - first) * nx, out + first * nx);
  });
}

}  // namespace lumpy
