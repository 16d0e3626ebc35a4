// The Windows builds' check of their render paths, where GoogleTest does not run: renders the
// song on every path this build has and the processor runs, writes each PCM block to
// DIR/<path>.pcm and names the path on standard output. The tests run it under wine and compare
// every block with the song's CRC.
#include <algorithm>
#include <cstdio>
#include <string>

#include "audio/pcm.h"
#include "common/console.h"
#include "common/sound.h"
#include "synth/paths/render_paths.h"
#include "synth/song.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: render-every-path DIR\n", stderr);
    return 2;
  }
  SetConsole(stderr);
  for (const RenderPath path : SupportedRenderPaths()) {
    UseRenderPath(path);
    ClearSoundBuffers();  // a render adds to MasterBuffer
    RenderSong();
    ConvertToPcm16();
    const std::string file = std::string(argv[1]) + "/" + RenderPathName(path) + ".pcm";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    const auto block = PcmBlock();
    if (!out || std::fwrite(block.data(), 1, block.size(), out) != block.size() || std::fclose(out) != 0) {
      std::fprintf(stderr, "render-every-path: cannot write %s\n", file.c_str());
      return 1;
    }
    std::printf("%s\n", RenderPathName(path));
  }
  return 0;
}
