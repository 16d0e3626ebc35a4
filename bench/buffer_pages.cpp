// wave-buffer-pages: what the two sample buffers' memory costs a fresh process before the render
// can use it: the pages brought in (PrepareSoundBuffers), then one write over both buffers, in
// milliseconds. bench/run.sh runs it in new processes, with and without transparent huge pages.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/sound.h"

int main() {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  PrepareSoundBuffers();
  const auto prepared = Clock::now();
  std::memset(TrackBuffer, 1, sizeof TrackBuffer);
  std::memset(MasterBuffer, 1, sizeof MasterBuffer);
  const auto written = Clock::now();
  const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  std::printf("%.2f %.2f\n", ms(prepared - start), ms(written - prepared));
  return 0;
}
