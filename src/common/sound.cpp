#include "common/sound.h"

float TrackBuffer[SND_TOTAL_SAMPLES];
float MasterBuffer[SND_TOTAL_SAMPLES];
