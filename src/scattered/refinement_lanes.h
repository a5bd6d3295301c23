// Arithmetic of the cubic refinement written once for one double and for
// doubles in the lanes of SSE2 registers, so that several independent fits
// can be factorised side by side.
//
// Why the lanes give the bits of separate computations: packed addition,
// subtraction, multiplication, division and square root round each lane as
// the scalar instructions do (IEEE double, round to nearest; on x86-64 the
// scalar double arithmetic runs on the same SSE2 unit, flush-to-zero stays
// off), and every value sees the same operations in the same order in its
// lane as it would alone. No fused multiply-add is ever formed (the library
// builds with -ffp-contract=off, and the intrinsics below are separate
// multiplies and adds). Branches become choices by mask, so both sides of a
// branch are computed and one is kept per lane; the discarded side may hold
// NaN or infinity, which is harmless without floating-point traps. Choosing
// by mask moves bits and changes none.
//
// Builds without SSE2 get the same Lanes2 as two plain doubles.
#ifndef LUM_SCATTERED_REFINEMENT_LANES_H
#define LUM_SCATTERED_REFINEMENT_LANES_H

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lum::scattered::lanes {

// One double: the scalar versions of the lane helpers.
inline double sqrtOf(double a) { return std::sqrt(a); }
inline double absOf(double a) { return std::fabs(a); }
inline double select(bool mask, double ifSet, double ifClear) { return mask ? ifSet : ifClear; }
inline bool both(bool a, bool b) { return a && b; }
inline bool anyOf(bool mask) { return mask; }
inline bool allOf(bool mask) { return mask; }
// first = mask ? y : x, second = the other one.
inline void order(bool mask, double x, double y, double& first, double& second) {
  first = mask ? y : x;
  second = mask ? x : y;
}

#if defined(__SSE2__)

// Per-lane truth value: all bits set or all clear.
struct Mask2 {
  __m128d bits;
};

// Two doubles, lane 0 and lane 1.
struct Lanes2 {
  __m128d v;
  Lanes2() = default;
  explicit Lanes2(__m128d value) : v(value) {}
  explicit Lanes2(double all) : v(_mm_set1_pd(all)) {}
  Lanes2(double lane0, double lane1) : v(_mm_set_pd(lane1, lane0)) {}
  double lane0() const { return _mm_cvtsd_f64(v); }
  double lane1() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
};

inline Lanes2 operator+(Lanes2 a, Lanes2 b) { return Lanes2(_mm_add_pd(a.v, b.v)); }
inline Lanes2 operator-(Lanes2 a, Lanes2 b) { return Lanes2(_mm_sub_pd(a.v, b.v)); }
inline Lanes2 operator*(Lanes2 a, Lanes2 b) { return Lanes2(_mm_mul_pd(a.v, b.v)); }
inline Lanes2 operator/(Lanes2 a, Lanes2 b) { return Lanes2(_mm_div_pd(a.v, b.v)); }
inline Lanes2 sqrtOf(Lanes2 a) { return Lanes2(_mm_sqrt_pd(a.v)); }
// Clears the sign bit, as fabs does (NaN payloads kept).
inline Lanes2 absOf(Lanes2 a) { return Lanes2(_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)); }
// Ordered comparisons: false in a lane holding NaN, as the scalar operators.
inline Mask2 operator>=(Lanes2 a, Lanes2 b) { return Mask2{_mm_cmpge_pd(a.v, b.v)}; }
inline Mask2 operator==(Lanes2 a, Lanes2 b) { return Mask2{_mm_cmpeq_pd(a.v, b.v)}; }
inline Mask2 operator<(Lanes2 a, Lanes2 b) { return Mask2{_mm_cmplt_pd(a.v, b.v)}; }
inline Mask2 both(Mask2 a, Mask2 b) { return Mask2{_mm_and_pd(a.bits, b.bits)}; }
inline bool anyOf(Mask2 mask) { return _mm_movemask_pd(mask.bits) != 0; }
inline bool allOf(Mask2 mask) { return _mm_movemask_pd(mask.bits) == 3; }
inline Lanes2 select(Mask2 mask, Lanes2 ifSet, Lanes2 ifClear) {
  return Lanes2(_mm_or_pd(_mm_and_pd(mask.bits, ifSet.v), _mm_andnot_pd(mask.bits, ifClear.v)));
}
// Per lane first = mask ? y : x and second = the other, by exclusive or:
// x ^ y ^ x = y.
inline void order(Mask2 mask, Lanes2 x, Lanes2 y, Lanes2& first, Lanes2& second) {
  const __m128d differ = _mm_xor_pd(x.v, y.v);
  first = Lanes2(_mm_xor_pd(x.v, _mm_and_pd(mask.bits, differ)));
  second = Lanes2(_mm_xor_pd(differ, first.v));
}

#else

struct Mask2 {
  bool lane[2];
};

struct Lanes2 {
  double lane[2];
  Lanes2() = default;
  explicit Lanes2(double all) : lane{all, all} {}
  Lanes2(double lane0, double lane1) : lane{lane0, lane1} {}
  double lane0() const { return lane[0]; }
  double lane1() const { return lane[1]; }
};

inline Lanes2 operator+(Lanes2 a, Lanes2 b) { return Lanes2(a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]); }
inline Lanes2 operator-(Lanes2 a, Lanes2 b) { return Lanes2(a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]); }
inline Lanes2 operator*(Lanes2 a, Lanes2 b) { return Lanes2(a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]); }
inline Lanes2 operator/(Lanes2 a, Lanes2 b) { return Lanes2(a.lane[0] / b.lane[0], a.lane[1] / b.lane[1]); }
inline Lanes2 sqrtOf(Lanes2 a) { return Lanes2(std::sqrt(a.lane[0]), std::sqrt(a.lane[1])); }
inline Lanes2 absOf(Lanes2 a) { return Lanes2(std::fabs(a.lane[0]), std::fabs(a.lane[1])); }
inline Mask2 operator>=(Lanes2 a, Lanes2 b) { return Mask2{{a.lane[0] >= b.lane[0], a.lane[1] >= b.lane[1]}}; }
inline Mask2 operator==(Lanes2 a, Lanes2 b) { return Mask2{{a.lane[0] == b.lane[0], a.lane[1] == b.lane[1]}}; }
inline Mask2 operator<(Lanes2 a, Lanes2 b) { return Mask2{{a.lane[0] < b.lane[0], a.lane[1] < b.lane[1]}}; }
inline Mask2 both(Mask2 a, Mask2 b) { return Mask2{{a.lane[0] && b.lane[0], a.lane[1] && b.lane[1]}}; }
inline bool anyOf(Mask2 mask) { return mask.lane[0] || mask.lane[1]; }
inline bool allOf(Mask2 mask) { return mask.lane[0] && mask.lane[1]; }
inline Lanes2 select(Mask2 mask, Lanes2 ifSet, Lanes2 ifClear) {
  return Lanes2(mask.lane[0] ? ifSet.lane[0] : ifClear.lane[0], mask.lane[1] ? ifSet.lane[1] : ifClear.lane[1]);
}
inline void order(Mask2 mask, Lanes2 x, Lanes2 y, Lanes2& first, Lanes2& second) {
  first = select(mask, y, x);
  second = select(mask, x, y);
}

#endif

// Four doubles as two pairs: each operation is issued on both pairs, two
// independent chains that the processor overlaps.
struct Mask4 {
  Mask2 lo, hi;
};

struct Lanes4 {
  Lanes2 lo, hi;
  Lanes4() = default;
  Lanes4(Lanes2 low, Lanes2 high) : lo(low), hi(high) {}
  explicit Lanes4(double all) : lo(all), hi(all) {}
  Lanes4(double lane0, double lane1, double lane2, double lane3) : lo(lane0, lane1), hi(lane2, lane3) {}
};

inline Lanes4 operator+(Lanes4 a, Lanes4 b) { return Lanes4(a.lo + b.lo, a.hi + b.hi); }
inline Lanes4 operator-(Lanes4 a, Lanes4 b) { return Lanes4(a.lo - b.lo, a.hi - b.hi); }
inline Lanes4 operator*(Lanes4 a, Lanes4 b) { return Lanes4(a.lo * b.lo, a.hi * b.hi); }
inline Lanes4 operator/(Lanes4 a, Lanes4 b) { return Lanes4(a.lo / b.lo, a.hi / b.hi); }
inline Lanes4 sqrtOf(Lanes4 a) { return Lanes4(sqrtOf(a.lo), sqrtOf(a.hi)); }
inline Lanes4 absOf(Lanes4 a) { return Lanes4(absOf(a.lo), absOf(a.hi)); }
inline Mask4 operator>=(Lanes4 a, Lanes4 b) { return Mask4{a.lo >= b.lo, a.hi >= b.hi}; }
inline Mask4 operator==(Lanes4 a, Lanes4 b) { return Mask4{a.lo == b.lo, a.hi == b.hi}; }
inline Mask4 operator<(Lanes4 a, Lanes4 b) { return Mask4{a.lo < b.lo, a.hi < b.hi}; }
inline Mask4 both(Mask4 a, Mask4 b) { return Mask4{both(a.lo, b.lo), both(a.hi, b.hi)}; }
inline bool anyOf(Mask4 mask) { return anyOf(mask.lo) || anyOf(mask.hi); }
inline bool allOf(Mask4 mask) { return allOf(mask.lo) && allOf(mask.hi); }
inline Lanes4 select(Mask4 mask, Lanes4 ifSet, Lanes4 ifClear) {
  return Lanes4(select(mask.lo, ifSet.lo, ifClear.lo), select(mask.hi, ifSet.hi, ifClear.hi));
}
inline void order(Mask4 mask, Lanes4 x, Lanes4 y, Lanes4& first, Lanes4& second) {
  order(mask.lo, x.lo, y.lo, first.lo, second.lo);
  order(mask.hi, x.hi, y.hi, first.hi, second.hi);
}

// Givens rotation that zeroes b against a: c, s and r = +-sqrt(a^2 + b^2).
// With p the larger of a and b in magnitude (b on equal magnitudes) and q
// the other: u = 2p, v = q/u, r = sqrt(v*v + 0.25)*u; p/r is s when p = b
// and c when p = a, and 2v times it is the other one. Halving through u
// keeps v*v + 0.25 free of overflow. For b = 0 with |b| >= |a| (a = 0 too):
// c = 1, s = 0, r = a. NaN in a or b takes the side p = a, as the scalar
// test |b| >= |a| fails on NaN.
template <typename T>
inline void rotation(T a, T b, T& c, T& s, T& r) {
  const auto bLarger = absOf(b) >= absOf(a);
  T p, q;
  order(bLarger, a, b, p, q);
  const T u = T(2.0) * p;
  const T v = q / u;
  r = sqrtOf(v * v + T(0.25)) * u;
  const T first = p / r;
  const T second = T(2.0) * v * first;
  order(bLarger, first, second, c, s);
  const auto zero = both(bLarger, b == T(0.0));
  if (anyOf(zero)) {  // rare: both values zero
    c = select(zero, T(1.0), c);
    s = select(zero, T(0.0), s);
    r = select(zero, a, r);
  }
}

}  // namespace lum::scattered::lanes

#endif  // LUM_SCATTERED_REFINEMENT_LANES_H
