#include "common/sound.h"

#include <cstddef>

#ifdef __linux__
#include <sys/mman.h>
#endif

// Page-aligned, so that the system can be told about exactly these pages.
alignas(4096) float TrackBuffer[SND_TOTAL_SAMPLES];
alignas(4096) float MasterBuffer[SND_TOTAL_SAMPLES];

void PrepareSoundBuffers() {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  static bool done = false;
  if (done) return;
  done = true;
  // Rounded up to whole pages; the rest of the last page belongs to the program too. A system
  // without this request (before Linux 5.14) refuses it, and the pages come on first touch.
  constexpr std::size_t kBytes = (sizeof TrackBuffer + 4095) / 4096 * 4096;
  madvise(TrackBuffer, kBytes, MADV_POPULATE_WRITE);
  madvise(MasterBuffer, kBytes, MADV_POPULATE_WRITE);
#endif
}
