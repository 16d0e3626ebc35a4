#include "common/device_state.h"

WaveOutDevice SoundDevice = nullptr;
WaveOutFormat WaveFormat;
WaveOutHeader WaveHeader;
