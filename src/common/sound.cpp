#include "common/sound.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
#ifdef __linux__
// A huge page's size and alignment on x86-64 and on 64-bit ARM with 4 KiB pages. Aligned so, each
// buffer is whole huge pages but for its tail, and the system can back it with 2 MiB pages
// instead of 7,752 small ones: a fault, a zeroing and a page-table entry each, and a TLB miss for
// every 4 KiB the render streams through.
constexpr std::size_t kBufferAlign = std::size_t{2} << 20;
#else
constexpr std::size_t kBufferAlign = 4096;
#endif
constexpr std::size_t kBufferBytes = sizeof(float) * SND_TOTAL_SAMPLES;

bool populated = false;  // the pages are in memory, and nothing has handed them back since
}  // namespace

alignas(kBufferAlign) float TrackBuffer[SND_TOTAL_SAMPLES];
alignas(kBufferAlign) float MasterBuffer[SND_TOTAL_SAMPLES];

void ClearSoundBuffers() {
  for (float* buffer : {TrackBuffer, MasterBuffer}) {
    std::size_t filled = 0;  // from here on zeroed by hand
#ifdef __linux__
    // The whole pages go back to the system and read as zero from now on: no pass over 63.5 MB.
    // The last, partial page is shared with whatever the linker put after the buffer.
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t whole = kBufferBytes / page * page;
    if (::madvise(buffer, whole, MADV_DONTNEED) == 0) filled = whole;
#endif
    std::memset(reinterpret_cast<unsigned char*>(buffer) + filled, 0, kBufferBytes - filled);
  }
  populated = false;
}

void PrepareSoundBuffers() {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  if (populated) return;
  populated = true;
  // Rounded up to whole small pages; the rest of the last page belongs to the program too.
  constexpr std::size_t kBytes = (kBufferBytes + 4095) / 4096 * 4096;
  for (float* buffer : {TrackBuffer, MasterBuffer}) {
    // Huge pages where the system offers them: a system with transparent huge pages off, or
    // refusing the advice, gives small ones, with the same contents.
    ::madvise(buffer, kBytes, MADV_HUGEPAGE);
    // All pages in one go, before the first write. A system without this request (before Linux
    // 5.14) refuses it, and the pages come on first touch.
    ::madvise(buffer, kBytes, MADV_POPULATE_WRITE);
  }
#endif
}
