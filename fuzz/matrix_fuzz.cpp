// Raw-array matrix operations on hostile sizes and entries.
//
// Arrays are allocated with exactly the element counts their sizes describe.
// Properties: identity and zero fills write exactly n x n entries; the
// product matches a direct triple loop; transposing twice restores the
// array; the determinant of a scaled permutation matrix is exact; the
// inverse of a scaled permutation matrix (powers of two) is exact, and any
// reported inverse of a finite, well-scaled matrix reproduces the identity.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;
using lumfuzz::sameValue;

constexpr double kGuard = 99.75;

void checkFills(Input& in)
{
    const int n = in.range(-3, 9);
    const std::size_t cells = n > 0 ? static_cast<std::size_t>(n) * n : 0;
    std::vector<double> m(cells + 1, kGuard);
    EyeMatrix(m.data(), n);
    for (std::size_t i = 0; i < cells; ++i) LUM_FUZZ_CHECK(sameBits(m[i], i % (n + 1) == 0 ? 1.0 : 0.0));
    LUM_FUZZ_CHECK(sameBits(m[cells], kGuard));
    std::fill(m.begin(), m.end(), kGuard);
    ZeroMatrix(m.data(), n);
    for (std::size_t i = 0; i < cells; ++i) LUM_FUZZ_CHECK(sameBits(m[i], 0.0));
    LUM_FUZZ_CHECK(sameBits(m[cells], kGuard));
}

void checkProduct(Input& in)
{
    const int m = in.range(-1, 6), n = in.range(-1, 6), p = in.range(-1, 6);
    const std::size_t am = std::max(m, 0), an = std::max(n, 0), ap = std::max(p, 0);
    const std::vector<double> a = in.numbers(am * an), b = in.numbers(an * ap);
    std::vector<double> c(am * ap + 1, kGuard);
    MatrixMultiply(a.data(), b.data(), m, n, p, c.data());
    LUM_FUZZ_CHECK(sameBits(c[am * ap], kGuard));
    for (std::size_t i = 0; i < am; ++i)
        for (std::size_t j = 0; j < ap; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < an; ++k) sum = sum + b[k * ap + j] * a[i * an + k];
            LUM_FUZZ_CHECK(sameValue(c[i * ap + j], sum));
        }

    const int rows = in.range(0, 7), cols = in.range(0, 7);
    const std::vector<double> t0 = in.numbers(static_cast<std::size_t>(rows) * cols);
    std::vector<double> t = t0;
    t.push_back(kGuard);
    MatrixTransform(t.data(), rows, cols);
    for (int r = 0; r < rows; ++r)
        for (int c2 = 0; c2 < cols; ++c2) LUM_FUZZ_CHECK(sameBits(t[c2 * rows + r], t0[r * cols + c2]));
    MatrixTransform(t.data(), cols, rows);
    for (std::size_t i = 0; i < t0.size(); ++i) LUM_FUZZ_CHECK(sameBits(t[i], t0[i]));
    LUM_FUZZ_CHECK(sameBits(t.back(), kGuard));
}

// A permutation of 0 .. n-1 drawn from the input.
std::vector<int> permutation(Input& in, int n)
{
    std::vector<int> perm(static_cast<std::size_t>(n));
    std::iota(perm.begin(), perm.end(), 0);
    for (int i = n - 1; i > 0; --i) std::swap(perm[i], perm[in.range(0, i)]);
    return perm;
}

int sign(const std::vector<int>& perm)
{
    int s = 1;
    std::vector<bool> seen(perm.size());
    for (std::size_t i = 0; i < perm.size(); ++i) {
        if (seen[i]) continue;
        std::size_t len = 0;
        for (std::size_t j = i; !seen[j]; j = perm[j]) {
            seen[j] = true;
            ++len;
        }
        if (len % 2 == 0) s = -s;
    }
    return s;
}

void checkDeterminant(Input& in)
{
    const int n = in.range(-1, 6);
    double rows[6][4];
    for (auto& r : rows)
        for (double& x : r) x = in.number();
    double det = in.flag() ? 1.0 : in.number();
    const double det0 = det;
    MatrixDeterminant(det, rows, n);
    if (n > 4) LUM_FUZZ_CHECK(std::isnan(det));
    if (n < 1) LUM_FUZZ_CHECK(sameBits(det, det0));

    // A permutation matrix scaled by powers of two: every elimination step is
    // exact, so the determinant is the exact signed product.
    const int m = in.range(1, 4);
    const std::vector<int> perm = permutation(in, m);
    double a[4][4] = {};
    double expected = 1.0;
    for (int i = 0; i < m; ++i) {
        const double scale = std::ldexp(in.flag() ? 1.0 : -1.0, in.range(-8, 8));
        a[i][perm[i]] = scale;
        expected *= scale;
    }
    expected *= sign(perm);
    double d = 1.0;
    MatrixDeterminant(d, a, m);
    LUM_FUZZ_CHECK(d == expected);
}

void checkInverse(Input& in)
{
    // Exact case: a scaled permutation matrix has an exact inverse.
    const int n = in.range(0, 6);
    const std::vector<int> perm = permutation(in, n);
    std::vector<double> a(static_cast<std::size_t>(n) * n + 1, 0.0);
    std::vector<double> scale(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        scale[i] = std::ldexp(in.flag() ? 1.0 : -1.0, in.range(-20, 20));
        a[i * n + perm[i]] = scale[i];
    }
    a.back() = kGuard;
    LUM_FUZZ_CHECK(MatrixInverse(a.data(), n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            // inverse(perm[i], i) = 1 / scale[i]; every other entry is a zero.
            const double v = a[perm[i] * n + j];
            if (j == i)
                LUM_FUZZ_CHECK(v == 1.0 / scale[i]);
            else
                LUM_FUZZ_CHECK(v == 0.0);
        }
    LUM_FUZZ_CHECK(sameBits(a.back(), kGuard));

    // Hostile case: arbitrary entries and sizes. A reported inverse of a
    // finite matrix of moderate entries must really invert it, as far as
    // its conditioning allows.
    const int k = in.range(-2, 6);
    const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) * k : 0;
    const bool hostile = in.flag();
    std::vector<double> b = hostile ? in.numbers(cells) : in.moderates(cells);
    if (!hostile)
        for (int i = 0; i < k; ++i) b[static_cast<std::size_t>(i) * k + i] += 64.0 * (in.flag() ? 1 : -1);
    const std::vector<double> b0 = b;
    b.push_back(kGuard);
    const bool ok = MatrixInverse(b.data(), k);
    LUM_FUZZ_CHECK(sameBits(b.back(), kGuard));
    if (k < 0) LUM_FUZZ_CHECK(!ok);
    if (k == 0) LUM_FUZZ_CHECK(ok);
    if (!ok || hostile || k <= 0) return;
    // The residual is checked only where max|A| * max|inverse| is modest,
    // which bounds the condition number and so the rounding error.
    double invNorm = 0.0, aNorm = 0.0;
    for (std::size_t i = 0; i < cells; ++i) {
        invNorm = std::max(invNorm, std::fabs(b[i]));
        aNorm = std::max(aNorm, std::fabs(b0[i]));
    }
    if (!(invNorm * aNorm * k < 1e6)) return;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) {
            double s = 0.0;
            for (int l = 0; l < k; ++l) s += b0[i * k + l] * b[l * k + j];
            LUM_FUZZ_CHECK(std::fabs(s - (i == j ? 1.0 : 0.0)) < 1e-6);
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    switch (in.byte() % 4) {
    case 0: checkFills(in); break;
    case 1: checkProduct(in); break;
    case 2: checkDeterminant(in); break;
    default: checkInverse(in); break;
    }
    return 0;
}
