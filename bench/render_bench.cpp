// Each stage of the render, and the whole render, the straightforward way (the tests' reference:
// one scalar pass per stage, the standard sine) and on every render path, side by side.
//
//   build/wave-bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "audio/pcm.h"
#include "common/console.h"
#include "common/sound.h"
#include "reference_render.h"
#include "synth/effects.h"
#include "synth/notes.h"
#include "synth/path_stages.h"
#include "synth/render.h"
#include "synth/render_paths.h"
#include "synth/song.h"
#include "synth/track_chain.h"

namespace {

// A processed track of the song, the input of the later stages.
const std::vector<float>& SongTrack() {
  static const std::vector<float> track = [] {
    ReferenceTrack ref = MakeReferenceTrack();
    ReferenceRenderTrack(SongNotes, SND_SONG_GAIN, ref);
    return ref.track;
  }();
  return track;
}

void StraightConvert(std::vector<float>& master) {
  auto* bytes = reinterpret_cast<unsigned char*>(master.data());
  for (std::size_t n = 0; n < master.size(); ++n) {
    float f;
    std::memcpy(&f, bytes + 4 * n, sizeof f);
    const std::int16_t s = FloatToPcm16(f);
    std::memcpy(bytes + 2 * n, &s, sizeof s);
  }
}

void Straight_Voice(benchmark::State& state) {
  std::vector<float> track;
  for (auto _ : state) ReferenceVoice(SongNotes, track);
}
void Straight_Echo1(benchmark::State& state) {
  std::vector<float> x = SongTrack();
  for (auto _ : state) ReferenceEcho(x, SND_ECHO1_DELAY, SND_ECHO1_GAIN);
}
void Straight_Echo2(benchmark::State& state) {
  std::vector<float> x = SongTrack();
  for (auto _ : state) ReferenceEcho(x, SND_ECHO2_DELAY, SND_ECHO2_GAIN);
}
void Straight_LowPass(benchmark::State& state) {
  std::vector<float> x = SongTrack();
  for (auto _ : state) ReferenceLowPass(x, SND_LOWPASS);
}
void Straight_Emphasis(benchmark::State& state) {
  std::vector<float> x = SongTrack();
  for (auto _ : state) ReferenceEmphasis(x, SND_EMPHASIS);
}
void Straight_Mix(benchmark::State& state) {
  const std::vector<float>& track = SongTrack();
  std::vector<float> master(track.size());
  for (auto _ : state)
    for (std::size_t n = 0; n < track.size(); ++n)
      master[n] = static_cast<float>(double{master[n]} + double{SND_SONG_GAIN} * double{track[n]});
}
void Straight_Convert(benchmark::State& state) {
  std::vector<float> master(SongTrack().size());
  for (auto _ : state) {
    state.PauseTiming();
    std::transform(SongTrack().begin(), SongTrack().end(), master.begin(), [](float x) { return x * 0.03f; });
    state.ResumeTiming();
    StraightConvert(master);
  }
}
void Straight_WholeRender(benchmark::State& state) {
  ReferenceTrack ref = MakeReferenceTrack();
  for (auto _ : state) ReferenceRenderTrack(SongNotes, SND_SONG_GAIN, ref);
}

// The stages as the program runs them, on one path (the benchmark's argument).
class OnPath {
 public:
  explicit OnPath(benchmark::State& state) {
    const auto paths = SupportedRenderPaths();
    const auto index = static_cast<std::size_t>(state.range(0));
    if (index >= paths.size()) {
      state.SkipWithError("path not supported here");
      return;
    }
    active_ = ActiveRenderPath();
    UseRenderPath(paths[index]);
    state.SetLabel(RenderPathName(paths[index]));
    ok_ = true;
  }
  ~OnPath() { UseRenderPath(active_); }
  bool ok() const { return ok_; }

 private:
  RenderPath active_ = RenderPath::Portable;
  bool ok_ = false;
};

// Runs stage on the benchmark's path, after TrackBuffer has been loaded with the song's
// processed track; between iterations, refill (if any) runs untimed.
template <typename Stage, typename Refill>
void OnPathRun(benchmark::State& state, Stage stage, Refill refill) {
  OnPath path(state);
  if (!path.ok()) return;
  std::copy(SongTrack().begin(), SongTrack().end(), TrackBuffer);
  for (auto _ : state) {
    state.PauseTiming();
    refill();
    state.ResumeTiming();
    stage();
  }
}
template <typename Stage>
void OnPathRun(benchmark::State& state, Stage stage) {
  OnPathRun(state, stage, [] {});
}

void Fast_Voice(benchmark::State& state) {
  OnPathRun(state, [] { RenderVoice(SongNotes); });
}
void Fast_Echo1(benchmark::State& state) {
  OnPathRun(state, [] { StagesOf(ActiveRenderPath()).echo(SND_ECHO1_DELAY, SND_ECHO1_GAIN); });
}
void Fast_Echo2(benchmark::State& state) {
  OnPathRun(state, [] { StagesOf(ActiveRenderPath()).echo(SND_ECHO2_DELAY, SND_ECHO2_GAIN); });
}
void Fast_LowPass(benchmark::State& state) {
  OnPathRun(state, [] { ApplyLowPass(SND_LOWPASS); });
}
void Fast_Emphasis(benchmark::State& state) {
  OnPathRun(state, [] { ApplyEmphasis(SND_EMPHASIS); });
}
void Fast_Mix(benchmark::State& state) {
  OnPathRun(state, [] { StagesOf(ActiveRenderPath()).mix(SND_SONG_GAIN); });
}
void Fast_Convert(benchmark::State& state) {
  OnPathRun(state, ConvertToPcm16, [] {
    std::transform(SongTrack().begin(), SongTrack().end(), MasterBuffer, [](float x) { return x * 0.03f; });
  });
}
void Fast_WholeRender(benchmark::State& state) {
  SetConsole(std::tmpfile());
  OnPathRun(state, [] { RenderTrack(SND_SONG_CHANNEL, SongNotes, SND_SONG_GAIN); });
  SetConsole(nullptr);
}

void Paths(benchmark::internal::Benchmark* b) {
  for (int i = 0; i < 4; ++i) b->Arg(i);
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

#define STRAIGHT(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()
STRAIGHT(Straight_Voice);
BENCHMARK(Fast_Voice)->Apply(Paths);
STRAIGHT(Straight_Echo1);
BENCHMARK(Fast_Echo1)->Apply(Paths);
STRAIGHT(Straight_Echo2);
BENCHMARK(Fast_Echo2)->Apply(Paths);
STRAIGHT(Straight_LowPass);
BENCHMARK(Fast_LowPass)->Apply(Paths);
STRAIGHT(Straight_Emphasis);
BENCHMARK(Fast_Emphasis)->Apply(Paths);
STRAIGHT(Straight_Mix);
BENCHMARK(Fast_Mix)->Apply(Paths);
STRAIGHT(Straight_Convert);
BENCHMARK(Fast_Convert)->Apply(Paths);
STRAIGHT(Straight_WholeRender);
BENCHMARK(Fast_WholeRender)->Apply(Paths);

}  // namespace

BENCHMARK_MAIN();
