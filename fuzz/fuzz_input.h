// Decoding of libFuzzer byte strings into the arguments of library calls, and
// the property check shared by every fuzz target.
//
// Numbers are drawn so that hostile values come up often: a selector byte
// chooses between raw bit patterns (every NaN payload, infinities, -0.0,
// subnormals), a table of awkward values, small integers (ties and repeated
// values) and moderate random magnitudes. Running out of bytes yields zeros,
// so every input decodes to some call.
#ifndef LUM_FUZZ_FUZZ_INPUT_H
#define LUM_FUZZ_FUZZ_INPUT_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace lumfuzz {

// Aborts with a message: libFuzzer records the input as a crash.
[[noreturn]] inline void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "property violated: %s (%s:%d)\n", what, file, line);
    std::abort();
}

#define LUM_FUZZ_CHECK(cond)                                       \
    do {                                                           \
        if (!(cond)) ::lumfuzz::fail(#cond, __FILE__, __LINE__);   \
    } while (0)

inline bool sameBits(double a, double b)
{
    std::uint64_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

inline bool sameBits(float a, float b)
{
    std::uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

// Equal bits, or both NaN (NaN payloads may differ between equivalent paths).
inline bool sameValue(double a, double b)
{
    return sameBits(a, b) || (std::isnan(a) && std::isnan(b));
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

    std::size_t remaining() const { return static_cast<std::size_t>(end_ - p_); }

    std::uint8_t byte()
    {
        return p_ < end_ ? *p_++ : 0;
    }

    std::uint32_t u32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }

    std::uint64_t u64()
    {
        return static_cast<std::uint64_t>(u32()) | (static_cast<std::uint64_t>(u32()) << 32);
    }

    bool flag() { return (byte() & 1) != 0; }

    // An integer in [lo, hi] (inclusive), lo <= hi.
    int range(int lo, int hi)
    {
        const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
        const std::uint64_t v = span <= 256 ? byte() : u32();
        return static_cast<int>(lo + static_cast<std::int64_t>(v % span));
    }

    // A size or index argument: usually in [lo, hi], sometimes one of the
    // hostile ints (negative, INT_MIN, INT_MAX, just past hi).
    int count(int lo, int hi)
    {
        const std::uint8_t sel = byte();
        if (sel < 232) return range(lo, hi);
        switch (sel % 6) {
        case 0: return -1;
        case 1: return std::numeric_limits<int>::min();
        case 2: return std::numeric_limits<int>::max();
        case 3: return hi + 1;
        case 4: return -static_cast<int>(byte());
        default: return 0;
        }
    }

    // A double, hostile values included.
    double number()
    {
        const std::uint8_t sel = byte();
        if (sel < 40) {
            const std::uint64_t bits = u64();
            double v;
            std::memcpy(&v, &bits, sizeof v);
            return v;
        }
        if (sel < 80) return special(byte());
        if (sel < 160) return static_cast<double>(static_cast<std::int8_t>(byte())) / 4.0;
        // A moderate value with a random mantissa.
        const double m = static_cast<double>(u32()) / 4294967296.0 - 0.5;
        const int e = static_cast<int>(byte() % 24) - 12;
        return std::ldexp(m, e);
    }

    // A finite double of moderate size (|x| < 2^20), for properties that need
    // arithmetic to stay away from overflow.
    double moderate()
    {
        const std::uint8_t sel = byte();
        if (sel < 100) return static_cast<double>(static_cast<std::int8_t>(byte())) / 8.0;
        const double m = static_cast<double>(u32()) / 4294967296.0 - 0.5;
        const int e = static_cast<int>(byte() % 30) - 10;
        return std::ldexp(m, e);
    }

    float single() { return static_cast<float>(number()); }

    std::vector<double> numbers(std::size_t n)
    {
        std::vector<double> v(n);
        for (double& x : v) x = number();
        return v;
    }

    std::vector<double> moderates(std::size_t n)
    {
        std::vector<double> v(n);
        for (double& x : v) x = moderate();
        return v;
    }

    static double special(std::uint8_t k)
    {
        static const double table[] = {
            0.0,
            -0.0,
            1.0,
            -1.0,
            std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(),
            1e-300,
            -1e-300,
            1e300,
            -1e300,
            std::numeric_limits<double>::min(),
            std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::max(),
            -std::numeric_limits<double>::max(),
            std::numeric_limits<double>::epsilon(),
            0.5,
            1e-15,
            1e15,
            3.4028234663852886e38,  // FLT_MAX
            1e39,                   // overflows float
        };
        return table[k % (sizeof table / sizeof table[0])];
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

}  // namespace lumfuzz

#endif  // LUM_FUZZ_FUZZ_INPUT_H
