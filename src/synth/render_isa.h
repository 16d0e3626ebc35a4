// What a render path supplies to the kernels: its instruction set, as a type.
//
//   kLanes      doubles per vector (floats are converted in vectors of as many lanes)
//   Widen       float lanes to double lanes, Round back to float (to nearest)
//   kPolySine   the kernels' polynomial sines, built on Fma (a * b + c, fused where the
//               processor can: the polynomials are written for that)
//   otherwise   Sin, a vector sine of the path's own, and kExactSine when it is the standard
//               sine itself lane by lane, so that no sample needs checking
//
// A path that lacks a member, or misspells one, does not compile.
#pragma once

#include <concepts>

#include "synth/lanes.h"

namespace {

template <class Isa>
concept PolySineIsa = Isa::kPolySine && requires(D<Isa> v) {
  { Isa::Fma(v, v, v) } -> std::same_as<D<Isa>>;
};

template <class Isa>
concept OwnSineIsa = !Isa::kPolySine && requires(D<Isa> v) {
  { Isa::Sin(v) } -> std::same_as<D<Isa>>;
};

template <class Isa>
concept RenderIsa = requires {
  { Isa::kLanes } -> std::convertible_to<int>;
  { Isa::kExactSine } -> std::convertible_to<bool>;
  { Isa::kPolySine } -> std::convertible_to<bool>;
} && requires(F<Isa> f, D<Isa> d) {
  { Isa::Widen(f) } -> std::same_as<D<Isa>>;
  { Isa::Round(d) } -> std::same_as<F<Isa>>;
} && (PolySineIsa<Isa> || OwnSineIsa<Isa>) && !(Isa::kExactSine && Isa::kPolySine);

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
