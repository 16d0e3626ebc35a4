// What a render path supplies to the kernels: its instruction set, as a type.
//
//   kLanes   doubles per vector (floats are converted in vectors of as many lanes)
//   Widen    float lanes to double lanes, Round back to float (to nearest)
//   kSine    which sine the voice uses:
//            SineKind::Standard    Sin, the standard sine lane by lane: exact, nothing to check
//            SineKind::Polynomial  the kernels' polynomial sines, built on MulAdd (a * b + c,
//                                  fused where the processor can: the polynomials are written
//                                  for both); a sample whose rounding is in doubt is recomputed
//            SineKind::Own         Sin, a vector sine of the path's own, checked the same way
//
// A path that lacks a member, or misspells one, does not compile.
#pragma once

#include <concepts>

#include "synth/kernels/lanes.h"

enum class SineKind { Standard, Polynomial, Own };

namespace {

template <class Isa>
concept PolySineIsa = Isa::kSine == SineKind::Polynomial && requires(D<Isa> v) {
  { Isa::MulAdd(v, v, v) } -> std::same_as<D<Isa>>;
};

template <class Isa>
concept OwnSineIsa = Isa::kSine != SineKind::Polynomial && requires(D<Isa> v) {
  { Isa::Sin(v) } -> std::same_as<D<Isa>>;
};

template <class Isa>
concept RenderIsa = requires {
  { Isa::kLanes } -> std::convertible_to<int>;
  { Isa::kSine } -> std::convertible_to<SineKind>;
} && requires(F<Isa> f, D<Isa> d) {
  { Isa::Widen(f) } -> std::same_as<D<Isa>>;
  { Isa::Round(d) } -> std::same_as<F<Isa>>;
} && (PolySineIsa<Isa> || OwnSineIsa<Isa>);

// Widen and Round as the compiler converts vectors, for a path whose processor has no
// instructions the compiler would miss.
template <int W>
struct CompilerConversions {
  [[gnu::always_inline]] static typename Lanes<W>::D Widen(typename Lanes<W>::F v) {
    return __builtin_convertvector(v, typename Lanes<W>::D);
  }
  [[gnu::always_inline]] static typename Lanes<W>::F Round(typename Lanes<W>::D v) {
    return __builtin_convertvector(v, typename Lanes<W>::F);
  }
};

}  // namespace
