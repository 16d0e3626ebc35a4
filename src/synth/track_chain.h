// The fixed effect chain every track runs through, in this order.
#pragma once

constexpr int SND_ECHO1_DELAY = 159201;  // 3.61 s
constexpr float SND_ECHO1_GAIN = 0.7f;
constexpr int SND_ECHO2_DELAY = 115101;  // 2.61 s
constexpr float SND_ECHO2_GAIN = 0.3f;
constexpr float SND_LOWPASS = 0.1f;
constexpr float SND_EMPHASIS = 0.5f;
