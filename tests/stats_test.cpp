#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

namespace {

// Bit patterns, so that -0.0 and 0.0 (equal keys) are told apart.
std::vector<std::uint64_t> bitsOf(const std::vector<double>& v)
{
    std::vector<std::uint64_t> out(v.size());
    std::memcpy(out.data(), v.data(), v.size() * sizeof(double));
    return out;
}

// Range checks, empty and negative counts are pinned in bad_input_test.cpp.
TEST(SampleStatistics, ExactValuesDivisorsSummationOrderAndClipping)
{
    const std::vector<double> v{1, 2, 3, 4};
    EXPECT_EQ(mean(v), 2.5);
    EXPECT_EQ(variance(v, 2.5), 1.25);
    EXPECT_EQ(stdDev(v, 2.5), std::sqrt(1.25));
    EXPECT_EQ(calStdev(4, v), std::sqrt(5.0 / 3.0));
    EXPECT_EQ(calAvg(10, {1, 2, 3}), 2.0);
    EXPECT_EQ(calAvg2(1, 3, {10, 20, 30, 40}), 25.0);
    EXPECT_EQ(calStdev2(1, 4, {9, 1, 2, 3}), 1.0);
    // Index order: 1e16 + 1 rounds back to 1e16, so the sum is 1.
    const std::vector<double> order{1e16, 1, -1e16, 1};
    EXPECT_EQ(mean(order), 0.25);
    EXPECT_EQ(calAvg(4, order), 0.25);

    EXPECT_EQ(calAvgSigma(5, {0, 0, 0, 0, 10}, 1.0), 0.0);
    // Mean 0 and s = 2 exactly: the 2 lies on the bound and is left out.
    EXPECT_EQ(calAvgSigma2(1, 6, {50, -3, -1, 1, 1, 2, 60}, 1.0), 1.0 / 3.0);
    // Regression: the count INT_MIN overflowed c - 1 in int; still -0.0.
    const int most = std::numeric_limits<int>::min();
    for (double r : {calStdev(most, v), calAvgSigma(most, v, 2.0), calAvg(most, v)})
        EXPECT_TRUE(r == 0.0 && std::signbit(r));
}

TEST(MaskedStatistics, SelectionDivisorsAndMiddleOfThree)
{
    const double x[] = {1, 2, 3, 100};
    const bool firstThree[] = {true, true, true, false};
    EXPECT_EQ(avg(4, x, firstThree), 2.0);
    EXPECT_EQ(avg(4, x, nullptr), 26.5);
    EXPECT_EQ(stdev(3, x, nullptr), 1.0);
    EXPECT_EQ(stdev(4, x, firstThree), 1.0);

    const float cases[][4] = {{1, 3, 2, 2}, {5, 5, 1, 0}, {2, 2, 2, 0}, {7, 1, 4, 2},
                              {1, 4, 4, 1}, {4, 9, 1, 0}, {NAN, NAN, NAN, 3}};
    for (const auto& c : cases) EXPECT_EQ(mid_value(c[0], c[1], c[2]), c[3]) << c[0] << c[1] << c[2];
}

TEST(Median, ValuesAndSortedCopy)
{
    EXPECT_EQ(median({4, 1, 3, 2}, 0, 3), 2.5);
    EXPECT_EQ(median({9, 4, 7, 1}, 1, 2), 5.5);
    std::mt19937 rng(7);
    std::vector<double> v(200);
    for (double& d : v) d = static_cast<double>(rng() % 13) * 0.75;
    for (int trial = 0; trial < 300; ++trial) {
        int a = static_cast<int>(rng() % 200), b = static_cast<int>(rng() % 200);
        if (a > b) std::swap(a, b);
        std::vector<double> w(v.begin() + a, v.begin() + b + 1);
        std::sort(w.begin(), w.end());
        const std::size_t c = w.size();
        ASSERT_EQ(median(v, a, b), c % 2 ? w[c / 2] : (w[c / 2 - 1] + w[c / 2]) / 2) << a << ".." << b;
    }
}

TEST(Qsort, AgreesWithStdSortAndTouchesOnlyItsRange)
{
    std::mt19937 rng(11);
    for (unsigned n : {1u, 2u, 17u, 18u, 19u, 100u, 1000u, 200000u}) {
        for (unsigned mod : {3u, 1000000u}) {  // many ties, few ties
            std::vector<float> x(n + 10);
            for (float& f : x) f = static_cast<float>(rng() % mod) - 1.0f;
            if (n == 100) for (unsigned i = 0; i < n; ++i) x[i + 5] = static_cast<float>(n - i);
            std::vector<float> expected = x;
            std::sort(expected.begin() + 5, expected.end() - 5);
            Qsort(x.data(), 5, n + 4);
            ASSERT_EQ(x, expected) << "n=" << n << " mod=" << mod;
        }
    }
}

// sortAscending's steps written recursively (1-based positions), to pin the
// order in which equal keys end up. It also records the most pending segments
// the iterative version must hold at once.
struct ReferenceSort {
    const double* x;
    std::vector<int> p;
    double r = 0.375;
    int depth = 0, maxDepth = 0;

    double xv(int k) const { return x[p[k] - 1]; }
    void split(int i, int j)
    {
        const int s = i + static_cast<int>((j - i) * r);
        if (xv(i) > xv(s)) std::swap(p[i], p[s]);
        if (xv(j) < xv(s)) {
            std::swap(p[j], p[s]);
            if (xv(i) > xv(s)) std::swap(p[i], p[s]);
        }
        const double v = xv(s);
        int k = i, l = j;
        for (;;) {
            do --l; while (xv(l) > v);
            do ++k; while (xv(k) < v);
            if (k > l) break;
            std::swap(p[k], p[l]);
        }
        maxDepth = std::max(maxDepth, ++depth);
        if (l - i > j - k) { segment(k, j); --depth; segment(i, l); }
        else { segment(i, l); --depth; segment(k, j); }
    }
    void leftmost(int i, int j)
    {
        if (i == j) return;
        r = r > 0.5898436903953552 ? r - 0.21875 : r + 0.0390625;
        split(i, j);
    }
    void segment(int i, int j)
    {
        if (j - i >= 11) return split(i, j);
        if (i == 1) return leftmost(i, j);
        for (int q = i + 1; q <= j; ++q) {
            const int t = p[q];
            int m = q;
            for (; xv(m - 1) > x[t - 1]; --m) p[m] = p[m - 1];
            p[m] = t;
        }
    }
    std::vector<double> sorted(const std::vector<double>& in)
    {
        x = in.data();
        const int n = static_cast<int>(in.size());
        for (int k = 0; k <= n; ++k) p.push_back(k);
        if (n >= 1) leftmost(1, n);
        std::vector<double> out(in.size());
        for (int k = 1; k <= n; ++k) out[k - 1] = in[p[k] - 1];
        return out;
    }
};

std::vector<double> sortedByLibrary(std::vector<double> v)
{
    sortAscending(static_cast<int>(v.size()), v.data());
    return v;
}

TEST(SortAscending, ValuesAgreeWithStdSortAndTieOrderWithReference)
{
    std::mt19937 rng(3);
    const double palette[] = {0.0, -0.0, 1.0, -2.5, 3.0};
    for (int n : {1, 2, 3, 11, 12, 13, 25, 50, 64, 1000, 100000}) {
        for (int trial = 0; trial < 4; ++trial) {
            std::vector<double> v(n);
            for (int i = 0; i < n; ++i)
                v[i] = trial == 0   ? palette[rng() % 5]
                       : trial == 1 ? static_cast<double>(rng() % 50)
                       : trial == 2 ? static_cast<double>(rng())
                                    : static_cast<double>(n - i);
            const std::vector<double> got = sortedByLibrary(v);
            std::vector<double> expected = v;
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(got, expected) << "n=" << n;
            ASSERT_EQ(bitsOf(got), bitsOf(ReferenceSort{}.sorted(v))) << "n=" << n;
        }
    }
}

TEST(SortAscending, DeepSplitsBeyondTwentyOnePendingSegments)
{
    // Equal keys split every segment in half, so n = 2^22 + 3 needs more than 21
    // pending segments; the signs of the zeros expose the final order.
    const int n = (1 << 22) + 3;
    std::vector<double> v(n);
    for (int i = 0; i < n; ++i) v[i] = (i * 7 % 5 < 2) ? -0.0 : 0.0;
    ReferenceSort ref;
    const std::vector<double> expected = ref.sorted(v);
    EXPECT_GT(ref.maxDepth, 21);
    EXPECT_EQ(bitsOf(sortedByLibrary(v)), bitsOf(expected));
}

TEST(SortAscending, OverlappingCallsFromTwoThreads)
{
    std::mt19937 rng(5);
    std::vector<double> a(300000), b(300000);
    for (double& d : a) d = static_cast<double>(rng() % 1000);
    for (double& d : b) d = (rng() % 2) ? 0.0 : -0.0;
    const std::vector<double> ea = sortedByLibrary(a), eb = sortedByLibrary(b);
    std::vector<double> ga, gb;
    std::thread t1([&] { for (int i = 0; i < 4; ++i) ga = sortedByLibrary(a); });
    std::thread t2([&] { for (int i = 0; i < 4; ++i) gb = sortedByLibrary(b); });
    t1.join();
    t2.join();
    EXPECT_EQ(bitsOf(ga), bitsOf(ea));
    EXPECT_EQ(bitsOf(gb), bitsOf(eb));
}

}  // namespace
