#include "synth/notes.h"

#include <cmath>

float NoteToIncrement(int n) {
  constexpr float base = 0.00017573696f;      // 7.75 Hz at 44.1 kHz, the pitch of note 0
  constexpr float semitone = 1.0594631433486938f;  // nearest float to the twelfth root of two
  float x = base;
  // Once the product overflows it stays infinite, so a huge n need not run to its end.
  for (int k = 0; k < n && std::isfinite(x); ++k) x = static_cast<float>(double{x} * double{semitone});
  return x;
}
