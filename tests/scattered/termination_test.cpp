// Every call of the scattered-data family returns on point sets where
// rounding decides its geometric tests: points on a line rotated by an
// irrational angle, grids jittered by 1e-15 relative, cocircular sets,
// clusters a few ulps wide, and distances that all overflow or all vanish.
// The loops whose length depends on such tests carry step limits that end
// them with a failure status; a call that ran on would be a hang, so each
// call runs on a worker thread that must finish within one second (longer
// under the sanitizers, which slow everything down several times). These
// are not speed measurements: the calls take milliseconds.
#include <gtest/gtest.h>

#include <VORN_LumUtility.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kSlowdown = 10;
#else
constexpr int kSlowdown = 1;
#endif
#else
constexpr int kSlowdown = 1;
#endif
constexpr std::chrono::milliseconds kBound{1000 * kSlowdown};

// Runs call() on a worker thread; a call still running after the bound
// cannot be stopped, so the test program ends there with a failure.
template <typename Call>
void returnsInTime(const std::string& what, Call call) {
  std::future<void> done = std::async(std::launch::async, call);
  if (done.wait_for(kBound) == std::future_status::timeout) {
    std::fprintf(stderr, "%s did not return within %lld ms\n", what.c_str(),
                 static_cast<long long>(kBound.count()));
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  }
  done.get();
}

struct PointSet {
  std::string name;
  std::vector<double> x, y, z;
  int n() const { return static_cast<int>(x.size()); }
  void add(double px, double py) {
    x.push_back(px);
    y.push_back(py);
    z.push_back(std::sin(3 * px) * std::cos(2 * py));
  }
};

constexpr double kIrrationalAngle = 0.6180339887498949;  // radians

// Points on a line through the origin at an irrational angle, rounded to
// doubles (so off the line by rounding only), in random order, with three
// points well off it so that the set can be triangulated.
PointSet rotatedLine(int n, unsigned seed) {
  PointSet p{"rotated line " + std::to_string(n), {}, {}, {}};
  const double c = std::cos(kIrrationalAngle), s = std::sin(kIrrationalAngle);
  p.add(-s, c);
  p.add(0.3, 0.1);
  p.add(s, -c);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> t(-1.0, 1.0);
  while (p.n() < n) {
    const double u = t(rng);
    p.add(u * c, u * s);
  }
  return p;
}

// A side x side grid, rotated by an irrational angle, every coordinate
// scaled by 1 + k * 1e-15 for a random k in -4 .. 4, in random order.
PointSet jitteredGrid(int side, unsigned seed) {
  PointSet p{"jittered grid " + std::to_string(side * side), {}, {}, {}};
  const double c = std::cos(kIrrationalAngle), s = std::sin(kIrrationalAngle);
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> k(-4, 4);
  std::vector<std::pair<double, double>> nodes;
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) {
      const double u = i * (1 + k(rng) * 1e-15), v = j * (1 + k(rng) * 1e-15);
      nodes.emplace_back(c * u - s * v, s * u + c * v);
    }
  }
  std::shuffle(nodes.begin(), nodes.end(), rng);
  for (const auto& [u, v] : nodes) p.add(u, v);
  return p;
}

// Concentric circles: the exact integer points of x^2 + y^2 = 5^2 * 13^2 *
// 17^2 (many, exactly cocircular) and rounded points on circles of other
// radii, in random order.
PointSet cocircular(unsigned seed) {
  PointSet p{"cocircular", {}, {}, {}};
  const long long r2 = 5LL * 5 * 13 * 13 * 17 * 17;
  std::vector<std::pair<double, double>> nodes;
  for (long long a = -1105; a <= 1105; ++a) {
    const long long b2 = r2 - a * a;
    const long long b = std::llround(std::sqrt(static_cast<double>(b2)));
    if (b * b != b2) continue;
    nodes.emplace_back(a, b);
    if (b != 0) nodes.emplace_back(a, -b);
  }
  for (int ring = 1; ring <= 6; ++ring) {
    for (int k = 0; k < 97; ++k) {
      const double t = 2 * M_PI * k / 97;
      nodes.emplace_back(ring * 150.0 * std::cos(t), ring * 150.0 * std::sin(t));
    }
  }
  std::mt19937_64 rng(seed);
  std::shuffle(nodes.begin(), nodes.end(), rng);
  for (const auto& [u, v] : nodes) p.add(u, v);
  return p;
}

// Clusters a few ulps wide around a handful of centres.
PointSet ulpClusters(int n, unsigned seed) {
  PointSet p{"ulp clusters " + std::to_string(n), {}, {}, {}};
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> centre(0, 4), step(-40, 40);
  const double cx[] = {0.1, 0.7, 0.4, 0.9, 0.25}, cy[] = {0.2, 0.8, 0.5, 0.1, 0.9};
  while (p.n() < n) {
    const int c = centre(rng);
    p.add(cx[c] + step(rng) * 1e-16, cy[c] + step(rng) * 1e-16);
  }
  return p;
}

// Uniform points scaled so that every squared distance overflows, or
// shrunk so that every one vanishes.
PointSet scaledUniform(int n, double scale, unsigned seed) {
  PointSet p{"uniform times " + std::to_string(scale), {}, {}, {}};
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  while (p.n() < n) p.add(u(rng) * scale, u(rng) * scale);
  return p;
}

// Every driver on one set: sdbi3p_ (full preparation, then mode 3),
// Calculate_, sdsf3p_ and sdpd3p_.
void everyCallReturns(PointSet& p) {
  int n = p.n();
  std::vector<double> xOut, yOut;
  for (int i = 0; i < 200; ++i) {
    const int a = (i * 7919) % n, b = (i * 104729 + 1) % n;
    xOut.push_back(0.5 * (p.x[a] + p.x[b]) + (i % 3 - 1) * 1e-15);
    yOut.push_back(0.5 * (p.y[a] + p.y[b]));
  }
  int outCount = static_cast<int>(xOut.size());
  std::vector<double> work(17 * n), zOut(outCount);
  std::vector<int> iwork(39 * n);
  int status = -1, borderCount = 0, triCount = 0;
  returnsInTime(p.name + ": sdbi3p_ mode 1", [&] {
    int mode = 1;
    sdbi3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(),
            &status, work.data(), iwork.data(), &borderCount, &triCount);
  });
  if (status == 0) {
    returnsInTime(p.name + ": sdbi3p_ mode 3 and Calculate_", [&] {
      int mode = 3, again = -1;
      sdbi3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(),
              &again, work.data(), iwork.data(), &borderCount, &triCount);
      mode = 1;
      Calculate_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &outCount, xOut.data(), yOut.data(), zOut.data(),
                 &again, work.data(), iwork.data(), borderCount, triCount);
    });
  }
  std::vector<double> xGrid(xOut.begin(), xOut.begin() + 60), yGrid(yOut.begin() + 60, yOut.begin() + 120);
  std::vector<double> zGrid(60 * 60);
  returnsInTime(p.name + ": sdsf3p_", [&] {
    int mode = 1, xCount = 60, yCount = 60, gridStatus = -1;
    sdsf3p_(&mode, &n, p.x.data(), p.y.data(), p.z.data(), &xCount, xGrid.data(), &yCount, yGrid.data(),
            zGrid.data(), &gridStatus, work.data(), iwork.data());
  });
  returnsInTime(p.name + ": sdpd3p_", [&] {
    std::vector<double> partials(5 * n), cubic(9 * n), plane(2 * n), distSq(n);
    std::vector<int> distOrder(n), nearest(9 * n), fitCount(n), fitDegree(n);
    sdpd3p_(&n, p.x.data(), p.y.data(), p.z.data(), partials.data(), cubic.data(), plane.data(), distSq.data(),
            distOrder.data(), nearest.data(), fitCount.data(), fitDegree.data());
  });
}

TEST(Termination, RotatedLines) {
  for (int n : {50, 600, 3000}) {
    PointSet p = rotatedLine(n, 11u + n);
    everyCallReturns(p);
  }
}

TEST(Termination, JitteredRotatedGrids) {
  for (int side : {8, 25, 60}) {
    PointSet p = jitteredGrid(side, 21u + side);
    everyCallReturns(p);
  }
}

TEST(Termination, CocircularSets) {
  PointSet p = cocircular(31);
  everyCallReturns(p);
}

TEST(Termination, ClustersAFewUlpsWide) {
  for (int n : {40, 2000}) {
    PointSet p = ulpClusters(n, 41u + n);
    everyCallReturns(p);
  }
}

TEST(Termination, DistancesThatAllOverflowOrVanish) {
  // Every point of such a set lies within the ninth-nearest distance of
  // every other (all distances infinite, or all zero).
  for (double scale : {1e300, 1e-300}) {
    PointSet p = scaledUniform(2000, scale, 51);
    everyCallReturns(p);
  }
}

}  // namespace
