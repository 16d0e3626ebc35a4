#include "common/sound.h"

float TrackBuffer[SND_TOTAL_SAMPLES];
float MasterBuffer[SND_TOTAL_SAMPLES];

WaveOutDevice SoundDevice;
WaveOutFormat WaveFormat;
WaveOutBlock WaveHeader;
