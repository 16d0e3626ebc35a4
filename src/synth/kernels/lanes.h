// Vectors of lanes for the render paths: the types, loads and stores, and the conversions between
// float and double lanes. GCC's vector extensions; each path compiles them for its own
// instruction set.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "common/sound.h"

// Internal to each translation unit: every render path compiles its own copy.
namespace {

// Samples handled together: enough vectors for the processor to overlap their long chains of
// dependent steps.
constexpr int kChunk = 48;
static_assert(SND_TOTAL_SAMPLES % kChunk == 0, "the track is whole chunks");
static_assert(SND_UNIT_LEN > kChunk, "a chunk holds at most one unit boundary");

template <int W>
struct Lanes {
  typedef double D __attribute__((vector_size(8 * W)));
  typedef std::int64_t L __attribute__((vector_size(8 * W)));
  typedef float F __attribute__((vector_size(4 * W)));
  typedef std::int32_t Mask __attribute__((vector_size(4 * W)));  // -1 or 0 per lane
  typedef std::int16_t Samples __attribute__((vector_size(2 * W)));
  // For reading and writing memory: any alignment, and exempt from type-based alias analysis,
  // since the PCM samples are stored where floats were.
  typedef float UnalignedF __attribute__((vector_size(4 * W), aligned(4), may_alias));
  typedef std::int16_t UnalignedSamples __attribute__((vector_size(2 * W), aligned(2), may_alias));
};

template <class Isa>
using F = typename Lanes<Isa::kLanes>::F;
template <class Isa>
using D = typename Lanes<Isa::kLanes>::D;
template <class Isa>
using L = typename Lanes<Isa::kLanes>::L;
template <class Isa>
using Mask = typename Lanes<Isa::kLanes>::Mask;

template <class Isa>
F<Isa> Load(const float* p) {
  return *reinterpret_cast<const typename Lanes<Isa::kLanes>::UnalignedF*>(p);
}
template <class Isa>
void Store(float* p, F<Isa> v) {
  *reinterpret_cast<typename Lanes<Isa::kLanes>::UnalignedF*>(p) = v;
}

// Float to double and back, as the path does them.
template <class Isa>
[[gnu::always_inline]] inline D<Isa> Widen(F<Isa> v) {
  return Isa::Widen(v);
}
template <class Isa>
[[gnu::always_inline]] inline F<Isa> Round(D<Isa> v) {
  return Isa::Round(v);
}

// float(a + g * b) lane by lane: an echo step or a mix step, rounded as AddScaled.
template <class Isa>
[[gnu::always_inline]] inline F<Isa> PlusScaled(F<Isa> a, double g, F<Isa> b) {
  return Round<Isa>(Widen<Isa>(a) + g * Widen<Isa>(b));
}

// {0, 1, 2, ...}
template <class Isa, std::size_t... I>
constexpr Mask<Isa> LaneIndexOf(std::index_sequence<I...>) {
  return Mask<Isa>{static_cast<std::int32_t>(I)...};
}
template <class Isa>
constexpr Mask<Isa> LaneIndex() {
  return LaneIndexOf<Isa>(std::make_index_sequence<Isa::kLanes>{});
}

template <class Isa>
[[gnu::always_inline]] inline bool AnyLane(L<Isa> m) {
  std::uint64_t words[Isa::kLanes];
  std::memcpy(words, &m, sizeof words);
  std::uint64_t any = 0;
  for (std::uint64_t w : words) any |= w;
  return any != 0;
}

template <class Isa>
[[gnu::always_inline]] inline D<Isa> Abs(D<Isa> v) {
  return reinterpret_cast<D<Isa>>(reinterpret_cast<L<Isa>>(v) & 0x7FFF'FFFF'FFFF'FFFF);
}

}  // namespace
