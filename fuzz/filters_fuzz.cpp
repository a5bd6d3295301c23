// Signal filters on hostile kernel sizes, window lengths, sigmas and signals.
//
// Every array is allocated with exactly the length its count describes, so
// AddressSanitizer reports any access past it. Properties: the moving window
// follows a slot model of the caller's array; the moving average matches
// fresh window means; kernels are symmetric (Gaussian) or antisymmetric
// (derivative of Gaussian) to the bit; correlation matches a direct sum;
// the band and rate filters only ever clear mask entries and change only
// the samples they clear; the vector rate filter equals the array form.
#include <VORN_LumUtility.h>

#include "fuzz_input.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using lumfuzz::Input;
using lumfuzz::sameBits;
using lumfuzz::sameValue;

double freshMean(const double* p, int count)
{
    double s = 0.0;
    for (int i = 0; i < count; ++i) s += p[i];
    return s / count;
}

void checkMovingFilter(Input& in)
{
    const int w = in.range(-2, 12);
    const std::size_t slots = static_cast<std::size_t>(std::max(w, 0));
    std::unique_ptr<double[]> window(new double[slots + 1]);
    std::vector<double> model(slots, 0.0);
    for (std::size_t i = 0; i < slots; ++i) window[i] = 0.0;
    const bool consecutive = in.flag();
    const int calls = in.range(0, 30);
    for (int c = 1; c <= calls; ++c) {
        const int n = consecutive ? c : in.count(-2, 16);
        const double x = in.number();
        const double r = MovingFilter(window.get(), n, w, x);
        double expected = x;
        if (w > 0 && n > 0) {
            if (n > w) {
                std::rotate(model.begin(), model.begin() + 1, model.end());
                model[static_cast<std::size_t>(w) - 1] = x;
                expected = freshMean(model.data(), w);
            } else {
                model[static_cast<std::size_t>(n) - 1] = x;
                expected = freshMean(model.data(), n);
            }
        }
        LUM_FUZZ_CHECK(sameValue(r, expected));
        for (std::size_t i = 0; i < slots; ++i) LUM_FUZZ_CHECK(sameBits(window[i], model[i]));
    }

    const int n = in.range(-3, 12);
    std::vector<double> buf = in.numbers(static_cast<std::size_t>(std::max(n, 0)));
    std::vector<double> before = buf;
    const double x = in.number();
    ShiftMovingBuffer(buf.data(), n, x);
    for (int i = 0; i < n; ++i)
        LUM_FUZZ_CHECK(sameBits(buf[static_cast<std::size_t>(i)], i + 1 < n ? before[static_cast<std::size_t>(i) + 1] : x));
}

void checkKalman(Input& in)
{
    double estimate = in.number();
    double variance = in.number();
    const double z = in.number();
    const double e0 = estimate, v0 = variance;
    KalmanFilter(z, estimate, variance);
    // A sound state (finite, variance >= 0) stays sound, and the estimate
    // moves toward the measurement without passing it.
    if (std::isfinite(e0) && std::isfinite(z) && std::isfinite(z - e0) && v0 >= 0.0 && v0 < 1e300) {
        LUM_FUZZ_CHECK(std::isfinite(estimate) && std::isfinite(variance) && variance >= 0.0);
        const double slack = 4 * std::numeric_limits<double>::epsilon() * (std::fabs(e0) + std::fabs(z));
        LUM_FUZZ_CHECK(estimate >= std::min(e0, z) - slack && estimate <= std::max(e0, z) + slack);
    }
}

void checkMovingAverage(Input& in)
{
    const std::vector<double> data = in.numbers(static_cast<std::size_t>(in.range(0, 40)));
    const int request = in.count(-2, 30);
    std::vector<double> v = data;
    movingAverage(request, v);
    const std::size_t n = data.size();
    if (n < 2) {
        LUM_FUZZ_CHECK(v.size() == n);
        return;
    }
    long long w = std::min<long long>(static_cast<long long>(n / 2), request);
    if (w < 2) w = 2;
    LUM_FUZZ_CHECK(v.size() == n - static_cast<std::size_t>(w));
    for (std::size_t s = 0; s < v.size(); ++s)
        LUM_FUZZ_CHECK(sameValue(v[s], freshMean(data.data() + s, static_cast<int>(w))));
}

constexpr int kMaxTaps = 61;

void checkKernels(Input& in)
{
    int k = in.range(-kMaxTaps, kMaxTaps);
    if (in.byte() > 250) k = in.flag() ? std::numeric_limits<int>::min() : -std::numeric_limits<int>::max();
    const double sigma = in.flag() ? in.number() : in.range(1, 40) / 8.0;
    const double guard = 12.5;
    std::vector<double> g(kMaxTaps, guard), d(kMaxTaps, guard);
    const bool okG = gaussianFilter(k, sigma, g.data());
    const bool okD = doGFilter(k, sigma, d.data());
    // Usable lengths are odd and positive; others write nothing.
    const bool usable = k > 0 && (k & 1) != 0;
    LUM_FUZZ_CHECK(okG == usable && okD == usable);
    const int taps = usable ? k : 0;
    for (int t = taps; t < kMaxTaps; ++t) LUM_FUZZ_CHECK(sameBits(g[t], guard) && sameBits(d[t], guard));
    const int h = taps / 2;
    for (int j = 0; j <= h && taps > 0; ++j) {
        LUM_FUZZ_CHECK(sameValue(g[h + j], g[h - j]));
        // The centre tap is a zero (or NaN); compare values, not signs.
        LUM_FUZZ_CHECK(d[h + j] == -d[h - j] || (std::isnan(d[h + j]) && std::isnan(d[h - j])));
        if (sigma > 0.0 && std::isfinite(sigma) && sigma > 1e-150)
            LUM_FUZZ_CHECK(g[h + j] >= 0.0 && std::isfinite(g[h + j]));
    }
}

void checkConvolution(Input& in)
{
    const int n = in.count(0, 40);
    const int k = in.range(-9, 45);
    const std::size_t len = static_cast<std::size_t>(n > 0 && n <= 41 ? n : 0);
    const std::vector<double> signal = in.numbers(len);
    const std::vector<double> kernel = in.numbers(static_cast<std::size_t>(std::max(k, 0)));
    const double guard = -2.5;
    std::vector<double> out(len + 1, guard);
    const int callN = len == 0 && n > 0 ? 0 : n;  // counts past what was allocated are not passed
    const bool ok = convFilter(callN, k, kernel.data(), signal.data(), out.data());
    const bool expectOk = callN >= 1 && k > 0 && (k & 1) != 0;
    LUM_FUZZ_CHECK(ok == expectOk);
    LUM_FUZZ_CHECK(sameBits(out[len], guard));
    if (!ok) {
        for (double v : out) LUM_FUZZ_CHECK(sameBits(v, guard));
        return;
    }
    const int h = k / 2;
    for (int i = 0; i < callN; ++i) {
        double sum = 0.0;
        for (int t = 0; t <= 2 * h; ++t) {
            const int m = i - h + t;
            if (m >= 0 && m < callN) sum += kernel[static_cast<std::size_t>(t)] * signal[static_cast<std::size_t>(m)];
        }
        LUM_FUZZ_CHECK(sameValue(out[static_cast<std::size_t>(i)], sum));
    }
}

void checkBand(Input& in)
{
    const int n = in.range(-2, 30);
    const std::size_t len = static_cast<std::size_t>(std::max(n, 0));
    std::vector<double> signal = in.numbers(len);
    std::unique_ptr<bool[]> mask(new bool[len + 1]);
    std::vector<bool> before(len);
    for (std::size_t i = 0; i < len; ++i) before[i] = mask[i] = in.flag();
    const std::vector<double> original = signal;
    const double lo = in.number(), hi = in.number(), repl = in.number();
    const bool ok = bandFilter(n, lo, hi, repl, signal.data(), mask.get());
    LUM_FUZZ_CHECK(ok == (n >= 1 && !(lo > hi)));
    for (std::size_t i = 0; i < len; ++i) {
        const bool outside = lo > original[i] || original[i] > hi;
        const bool cleared = ok && before[i] && outside;
        LUM_FUZZ_CHECK(mask[i] == (before[i] && !cleared));
        LUM_FUZZ_CHECK(sameBits(signal[i], cleared ? repl : original[i]));
    }
}

void checkRate(Input& in)
{
    const int n = in.range(-2, 120);
    const std::size_t len = static_cast<std::size_t>(std::max(n, 0));
    const int k = in.range(-2, 5);
    const int passes = in.range(-1, 4);
    std::vector<double> signal;
    if (in.flag()) {
        signal = in.numbers(len);
    } else {
        // A smooth ramp or level with a few spikes.
        const double a = in.moderate(), b = in.moderate() / 16;
        for (std::size_t i = 0; i < len; ++i) signal.push_back(in.byte() < 230 ? a + b * i : in.moderate());
    }
    std::unique_ptr<bool[]> mask(new bool[len + 1]);
    std::vector<bool> before(len);
    const bool allValid = in.flag();
    for (std::size_t i = 0; i < len; ++i) before[i] = mask[i] = allValid || in.byte() < 200;
    const std::vector<double> original = signal;
    const bool ok = rateFilter(n, k, passes, signal.data(), mask.get());
    if (n < 1) LUM_FUZZ_CHECK(!ok);
    for (std::size_t i = 0; i < len; ++i) {
        LUM_FUZZ_CHECK(before[i] || !mask[i]);  // never set
        if (mask[i]) LUM_FUZZ_CHECK(sameBits(signal[i], original[i]));
        if (!before[i]) LUM_FUZZ_CHECK(sameBits(signal[i], original[i]));
    }

    // The vector overload: the array form with two passes, then the masked
    // mean; a count past the vector's end raises std::out_of_range.
    const int vn = in.flag() ? n : in.count(-2, static_cast<int>(len) + 3);
    bool threw = false;
    double r = 0.0;
    try {
        r = rateFilter(vn, original, k);
    } catch (const std::out_of_range&) {
        threw = true;
    }
    LUM_FUZZ_CHECK(threw == (vn > static_cast<int>(len)));
    if (threw) return;
    const std::size_t vlen = static_cast<std::size_t>(std::max(vn, 0));
    std::vector<double> copy(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(vlen));
    std::unique_ptr<bool[]> all(new bool[vlen + 1]);
    for (std::size_t i = 0; i < vlen; ++i) all[i] = true;
    const double expected =
        rateFilter(vn, k, 2, copy.data(), all.get()) ? avg(vn, copy.data(), all.get()) : 0.0;
    LUM_FUZZ_CHECK(sameValue(r, expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    switch (in.byte() % 7) {
    case 0: checkMovingFilter(in); break;
    case 1: checkKalman(in); break;
    case 2: checkMovingAverage(in); break;
    case 3: checkKernels(in); break;
    case 4: checkConvolution(in); break;
    case 5: checkBand(in); break;
    default: checkRate(in); break;
    }
    return 0;
}
