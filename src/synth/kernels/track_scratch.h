// Working memory of the parallel filters. The renderer owns one, static, and hands it to the
// kernels, so that the kernels hold no state of their own between calls.
#pragma once

#include "common/sound.h"

// The low-pass and emphasis filters run a block of the track at a time, in kSegments pieces side
// by side; what a block's passes use stays in cache.
constexpr int kFilterBlock = SND_TOTAL_SAMPLES / 105;  // 75600 samples
constexpr int kSegments = 16;
constexpr int kSegmentLen = kFilterBlock / kSegments;
static_assert(SND_TOTAL_SAMPLES % kFilterBlock == 0 && kFilterBlock % kSegments == 0, "the track is whole blocks of whole pieces");

// Samples around a seam whose state is logged: the warm-up before a piece plus its overrun.
constexpr int kSeamCapacity = 256;

// The filters' state around each seam: at the start of each piece (head), as the piece started
// from a guess ran it, and at the end of the piece before it (tail), as that piece ran it.
struct SeamLog {
  float head_low[kSegments][kSeamCapacity], head_emphasis[kSegments][kSeamCapacity];
  float tail_low[kSegments][kSeamCapacity], tail_emphasis[kSegments][kSeamCapacity];
};

struct TrackScratch {
  SeamLog seams;
  float filtered[kFilterBlock];  // one block's filter output, while its input stays for a retry
};
