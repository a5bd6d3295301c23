#include <VORN_LumUtility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using Values = std::vector<double>;
using Positions = std::vector<int>;

Positions iota(int n)
{
    Positions v(n);
    for (int i = 0; i < n; ++i) v[i] = i;
    return v;
}

// Empty input, negative, huge and one-sample windows, NaN k and zero MADs are
// pinned in bad_input_test.cpp.
TEST(MedianBand, DocumentedCaseAndThreshold)
{
    Values cleaned{-7.0};
    Positions kept{42, 43};
    removeOutlierFuncMedian({1, 2, 3, 4, 100}, cleaned, kept, 2, 3.0);
    EXPECT_EQ(kept, (Positions{0, 1, 2, 3}));
    EXPECT_EQ(cleaned, (Values{-7, 1, 2, 3, 4}));  // appended, not cleared
    // Every window is the whole input: median 0, MAD 1, threshold 1.4826 * k,
    // and a sample on the threshold is kept.
    removeOutlierFuncMedian({-1, 0, 0, 1, 1.4826}, cleaned, kept, 4, 1.0);
    EXPECT_EQ(kept, iota(5));
    removeOutlierFuncMedian({-1, 0, 0, 1, std::nextafter(1.4826, 2.0)}, cleaned, kept, 4, 1.0);
    EXPECT_EQ(kept, iota(4));
}

TEST(MedianBand, AgreesWithWindowedMedianBuiltTheLongWay)
{
    std::mt19937 rng(17);
    for (int n : {1, 2, 7, 60, 301}) {
        Values x(n);
        for (double& d : x) {
            d = static_cast<double>(rng() % 9);  // many ties, so zero MADs occur
            if (rng() % 10 == 0) d += 40.0 * (rng() % 3);
        }
        for (int w : {1, 2, 5, 30}) {
            for (double k : {0.5, 2.0, 3.0}) {
                Values expCleaned, cleaned;
                Positions expKept, kept;
                for (int i = 0; i < n; ++i) {
                    const int lo = std::max(i - w, 0), hi = std::min(i + w, n - 1);
                    const double med = median(x, lo, hi);  // a copy of the whole input each time
                    Values a;
                    for (int j = lo; j <= hi; ++j) a.push_back(std::fabs(x[j] - med));
                    const double s = median(a, 0, hi - lo) * 1.4826;
                    if (!(std::fabs(x[i] - med) > s * k)) {
                        expCleaned.push_back(x[i]);
                        expKept.push_back(i);
                    }
                }
                removeOutlierFuncMedian(x, cleaned, kept, w, k);
                ASSERT_EQ(kept, expKept) << "n=" << n << " w=" << w << " k=" << k;
                ASSERT_EQ(cleaned, expCleaned);
            }
        }
    }
}

// Short inputs, unusable fractions and NaN samples: bad_input_test.cpp.
TEST(TauTest, DocumentedCasesAndFlagRule)
{
    Values cleaned;
    Positions kept;
    bool flag = true;
    removeOutlierFuncTau({1, 2, 3, 4, 5}, cleaned, kept, 0.4, flag);
    EXPECT_EQ(kept, iota(5));
    EXPECT_TRUE(flag);

    const Values tens{10, 10, 10, 10, 10, 10, 10, 10, 10, 50};
    cleaned.assign(1, -1.0);
    removeOutlierFuncTau(tens, cleaned, kept, 1.5, flag);  // fraction > 1: kept cleared only
    EXPECT_TRUE(kept.empty());
    removeOutlierFuncTau(tens, cleaned, kept, 0.5, flag);
    EXPECT_EQ(kept, iota(9));
    EXPECT_EQ(cleaned, (Values{-1, 10, 10, 10, 10, 10, 10, 10, 10, 10}));
    EXPECT_TRUE(flag);  // capped once, budget 5
    removeOutlierFuncTau(tens, cleaned, kept, 0.1, flag);
    EXPECT_FALSE(flag);  // capped once, budget 1

    // Three planted outliers, largest deviation first. With a budget of 2 the
    // smallest survives and the spread stays capped (3 caps >= 2); with a budget
    // of 11 all go and the noise alone is never capped (3 caps < 11).
    Values x(23);
    for (int i = 0; i < 23; ++i) x[i] = 0.01 * (i % 2);
    x[3] = 100, x[7] = 300, x[11] = 200;
    Positions expected = iota(23);
    expected.erase(expected.begin() + 11);
    expected.erase(expected.begin() + 7);
    for (double fraction : {0.1, 0.5}) {
        flag = true;
        removeOutlierFuncTau(x, cleaned, kept, fraction, flag);
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(flag, fraction > 0.2);
        expected.erase(expected.begin() + 3);
    }
}

// For each N, one sample c is moved away from a symmetric cluster until the
// first test removes it; at the switch-over the test statistic |d - mu| / s
// (computed here independently) must equal the critical value for N.
TEST(TauTest, CriticalValueForEverySampleCount)
{
    const double tau[38] = {1.15,  1.393, 1.572, 1.656, 1.711, 1.749, 1.777, 1.798, 1.815, 1.829,
                            1.84,  1.849, 1.858, 1.865, 1.871, 1.876, 1.881, 1.885, 1.889, 1.893,
                            1.896, 1.899, 1.902, 1.904, 1.906, 1.908, 1.91,  1.911, 1.913, 1.914,
                            1.916, 1.917, 1.919, 1.92,  1.921, 1.922, 1.923, 1.924};
    const double b = 0.01;
    for (int n = 3; n <= 46; ++n) {
        auto samples = [&](double c) {
            Values x;
            for (int i = 0; i + 1 < n - 1; i += 2) x.insert(x.end(), {b, -b});
            if (n % 2 == 0) x.push_back(0.0);
            x.push_back(c);
            return x;
        };
        auto removed = [&](double c) {
            Values cleaned;
            Positions kept;
            bool flag = true;
            removeOutlierFuncTau(samples(c), cleaned, kept, 1.5 / n, flag);
            return kept.size() == static_cast<std::size_t>(n - 1);
        };
        double lo = b * n / (n - 2) * 1.001, hi = 1.0;
        ASSERT_FALSE(removed(lo)) << n;
        ASSERT_TRUE(removed(hi)) << n;
        for (int it = 0; it < 80; ++it) (removed((lo + hi) / 2) ? hi : lo) = (lo + hi) / 2;

        const Values x = samples(hi);
        long double m = 0, mu = 0, q = 0, dmax = 0;
        for (double v : x) m += v;
        m /= n;
        for (double v : x) mu += std::fabs(v - m), dmax = std::max(dmax, std::fabs(v - m));
        mu /= n;
        for (double v : x) q += (std::fabs(v - m) - mu) * (std::fabs(v - m) - mu);
        const double ratio = static_cast<double>((dmax - mu) / std::sqrt(q / n));
        EXPECT_NEAR(ratio, n <= 40 ? tau[n - 3] : 1.96, 1e-9) << "N=" << n;
    }
}

}  // namespace
