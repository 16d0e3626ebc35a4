#include "synth/kernels/voice_plan.h"

#include <algorithm>

#include "synth/notes.h"

void PlanVoice(std::span<const std::uint8_t> notes, VoicePlan& plan) {
  const int readable = static_cast<int>(std::min<std::size_t>(notes.size(), SND_UNIT_NUM));
  float inc = 0;
  int i = 0;
  for (; i < readable && notes[i] != NOTE_END; ++i) {
    const std::uint8_t b = notes[i];
    bool restart = false;
    if (b == NOTE_OFF) {
      inc = 0;  // the phase goes back to 0 too; nothing sounds until the next note restarts it
    } else if (b != NOTE_HOLD) {
      inc = NoteToIncrement(NoteNumber(b, i));
      restart = true;
    }
    plan.unit[i] = {inc, restart};
  }
  plan.units = i;
}
