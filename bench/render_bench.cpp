// Each stage of the render, and the whole render, the straightforward way (the tests' reference:
// one scalar pass per stage, the standard sine) and on every render path, side by side.
//
//   build/wave-bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "audio/pcm.h"
#include "common/console.h"
#include "common/pcm_format.h"
#include "common/sound.h"
#include "reference_render.h"
#include "synth/effects.h"
#include "synth/notes.h"
#include "synth/paths/path_stages.h"
#include "synth/paths/render_paths.h"
#include "synth/render.h"
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
    ConvertToPcm16InPlace(reinterpret_cast<unsigned char*>(master.data()), 0, master.size());
  }
}
void Straight_WholeRender(benchmark::State& state) {
  ReferenceTrack ref = MakeReferenceTrack();
  for (auto _ : state) ReferenceRenderTrack(SongNotes, SND_SONG_GAIN, ref);
}

// The stages as the program runs them, on one path, after TrackBuffer has been loaded with the
// song's processed track; between iterations, refill runs untimed.
template <typename Stage, typename Refill>
void OnPath(benchmark::State& state, RenderPath path, Stage stage, Refill refill) {
  const RenderPath before = ActiveRenderPath();
  UseRenderPath(path);
  std::copy(SongTrack().begin(), SongTrack().end(), TrackBuffer);
  for (auto _ : state) {
    state.PauseTiming();
    refill();
    state.ResumeTiming();
    stage();
  }
  UseRenderPath(before);
}

const std::span<float> kTrack(TrackBuffer);
const std::span<float> kMaster(MasterBuffer);

void Fast_Voice(benchmark::State& state, RenderPath path) {
  OnPath(state, path, [] { RenderVoice(SongNotes); }, [] {});
}
void Fast_Echo1(benchmark::State& state, RenderPath path) {
  OnPath(state, path, [path] { StagesOf(path).echo(kTrack, SND_ECHO1_DELAY, SND_ECHO1_GAIN); }, [] {});
}
void Fast_Echo2(benchmark::State& state, RenderPath path) {
  OnPath(state, path, [path] { StagesOf(path).echo(kTrack, SND_ECHO2_DELAY, SND_ECHO2_GAIN); }, [] {});
}
void Fast_LowPass(benchmark::State& state, RenderPath path) {
  OnPath(state, path, [] { ApplyLowPass(SND_LOWPASS); }, [] {});
}
void Fast_Emphasis(benchmark::State& state, RenderPath path) {
  OnPath(state, path, [] { ApplyEmphasis(SND_EMPHASIS); }, [] {});
}
void Fast_Mix(benchmark::State& state, RenderPath path) {
  OnPath(state, path, [path] { StagesOf(path).mix(kMaster, kTrack, SND_SONG_GAIN); }, [] {});
}
void Fast_Convert(benchmark::State& state, RenderPath path) {
  OnPath(state, path, ConvertToPcm16, [] {
    std::transform(SongTrack().begin(), SongTrack().end(), MasterBuffer, [](float x) { return x * 0.03f; });
  });
}
void Fast_WholeRender(benchmark::State& state, RenderPath path) {
  SetConsole(std::tmpfile());
  OnPath(state, path, [] { RenderTrack(SND_SONG_CHANNEL, SongNotes, SND_SONG_GAIN); }, [] {});
  SetConsole(nullptr);
}

#define STRAIGHT(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()
STRAIGHT(Straight_Voice);
STRAIGHT(Straight_Echo1);
STRAIGHT(Straight_Echo2);
STRAIGHT(Straight_LowPass);
STRAIGHT(Straight_Emphasis);
STRAIGHT(Straight_Mix);
STRAIGHT(Straight_Convert);
STRAIGHT(Straight_WholeRender);

// Each stage on every path this processor runs, named stage/path.
void RegisterPaths() {
  const std::pair<const char*, void (*)(benchmark::State&, RenderPath)> stages[] = {
      {"Fast_Voice", Fast_Voice},     {"Fast_Echo1", Fast_Echo1}, {"Fast_Echo2", Fast_Echo2},
      {"Fast_LowPass", Fast_LowPass}, {"Fast_Emphasis", Fast_Emphasis}, {"Fast_Mix", Fast_Mix},
      {"Fast_Convert", Fast_Convert}, {"Fast_WholeRender", Fast_WholeRender}};
  for (const auto& [name, stage] : stages)
    for (RenderPath path : SupportedRenderPaths())
      benchmark::RegisterBenchmark((std::string(name) + "/" + RenderPathName(path)).c_str(), stage, path)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  RegisterPaths();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
