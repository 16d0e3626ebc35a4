#include "app/reset_sound.h"

#include "common/device_state.h"
#include "common/sound.h"
#include "platform/wave_out.h"

void ResetSound() {
  if (SoundDevice) {
    // Closing stops playback first, so the device no longer reads MasterBuffer when it is zeroed.
    WaveOutClose(SoundDevice);
    SoundDevice = nullptr;
  }
  ClearSoundBuffers();
}
