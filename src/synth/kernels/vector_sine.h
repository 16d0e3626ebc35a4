// The voice's vector sine, and the checks that say where its rounding to float could differ
// from the standard sine's.
#pragma once

#include <cstdint>

#include "synth/kernels/render_isa.h"

namespace {

// sin(x) for |x| up to pi/2, within about 2 units in the last place: the Taylor series of degree
// 21, exact to about 2^-59 there, with no reduction. With kHalfRange, for |x| up to 1/2, degree
// 17 is as exact.
template <class Isa, bool kHalfRange = false>
[[gnu::always_inline]] inline D<Isa> SmallSin(D<Isa> x) {
  using V = D<Isa>;
  const V z = x * x;
  V s = V{} - 1.0 / 355687428096000.0;  // -1/17!
  if constexpr (!kHalfRange) {
    s = V{} - 1.0 / 51090942171709440000.0;  // -1/21!
    s = Isa::MulAdd(s, z, V{} + 1.0 / 121645100408832000.0);
    s = Isa::MulAdd(s, z, V{} - 1.0 / 355687428096000.0);
  }
  s = Isa::MulAdd(s, z, V{} + 1.0 / 1307674368000.0);
  s = Isa::MulAdd(s, z, V{} - 1.0 / 6227020800.0);
  s = Isa::MulAdd(s, z, V{} + 1.0 / 39916800.0);
  s = Isa::MulAdd(s, z, V{} - 1.0 / 362880.0);
  s = Isa::MulAdd(s, z, V{} + 1.0 / 5040.0);
  s = Isa::MulAdd(s, z, V{} - 1.0 / 120.0);
  s = Isa::MulAdd(s, z, V{} + 1.0 / 6.0);
  // Below 2^-26, sin x rounds to x itself; this also keeps the sign of zero.
  return Abs<Isa>(x) < 0x1p-26 ? x : Isa::MulAdd(x * z, V{} - s, x);
}

// sin(x) for |x| below 2^19, within about 2 units in the last place: the argument is reduced by
// the nearest multiple k of pi (pi in three parts, each product with k exact) into
// [-pi/2, pi/2], where SmallSin holds; odd k flips the sign.
template <class Isa>
[[gnu::always_inline]] inline D<Isa> PolySin(D<Isa> x) {
  using V = D<Isa>;
  constexpr double kInvPi = 0x1.45f306dc9c883p-2;
  constexpr double kPiHi = 0x1.921fb54400000p+1;   // pi to 33 bits
  constexpr double kPiMid = 0x1.0b4611a600000p-33;  // the next 33 bits
  constexpr double kPiLo = 0x1.3198a2e037073p-68;   // the rest
  constexpr double kRoundMagic = 0x1.8p52;          // adding it rounds to an integer
  const V shifted = x * kInvPi + kRoundMagic;
  const V k = shifted - kRoundMagic;
  const V sine = SmallSin<Isa>(((x - k * kPiHi) - k * kPiMid) - k * kPiLo);
  // The low bit of k sits at the bottom of the shifted sum's fraction.
  return reinterpret_cast<V>(reinterpret_cast<L<Isa>>(sine) ^ (reinterpret_cast<L<Isa>>(shifted) << 63));
}

// Certainty of the vector sine's rounding. PolySin stays within 2 units in the last place of the
// standard sine (the tests measure it); the checks allow 8. Where a value within that margin of
// the vector result could round to another float, the sample is recomputed with the standard
// sine; for the song that is never, for random notes about one sample in twenty million.

// Lanes where some value within 8 units in the last place of v rounds to another float than v:
// the 29 bits below float precision lie within 8 of the halfway pattern, or v is so small that
// its float would be subnormal and round elsewhere.
template <class Isa>
[[gnu::always_inline]] inline L<Isa> NearFloatTie(D<Isa> v) {
  const L<Isa> bits = reinterpret_cast<L<Isa>>(v);
  const L<Isa> below = (bits & 0x1FFF'FFFF) - (0x1000'0000 - 8);  // 0 to 16 when within 8 of the tie
  const L<Isa> magnitude = bits & 0x7FFF'FFFF'FFFF'FFFF;
  constexpr std::int64_t kMinNormalFloat = std::int64_t{1023 - 126} << 52;
  return ((below >= 0) & (below <= 16)) | ((magnitude < kMinNormalFloat) & (magnitude != 0));
}

// The same for a sum whose addend a carries the sine's error: the margin is 2^-49 times the
// magnitudes of both, and both ends of it must round to the same float.
template <class Isa>
[[gnu::always_inline]] inline L<Isa> UncertainSum(D<Isa> sum, D<Isa> a) {
  const D<Isa> margin = (Abs<Isa>(a) + Abs<Isa>(sum)) * 0x1p-49;
  const Mask<Isa> differ = reinterpret_cast<Mask<Isa>>(Round<Isa>(sum - margin)) != reinterpret_cast<Mask<Isa>>(Round<Isa>(sum + margin));
  return __builtin_convertvector(differ, L<Isa>);
}

}  // namespace
