// The studio's two costs, at 1280x720 in an offscreen context (Mesa's software renderer here):
//
//   save_to_picture      a sound save of the demo show.txt (its 490 lines, "bpm 120" put in) until
//                        the first presented frame that shows it: inotify, read, parse, kestos/
//                        written, keys replaced, the frame drawn with the overlay. Manual time,
//                        from the rename into place to that frame's present; each save changes the
//                        colour tracks and the benchmark checks that the picture changed.
//   build_then_rebind    the peer: what the same change costs without the studio, short of
//                        hallshow's start-up: kesto build's parse and write, the 22 tracks bound
//                        again from their files, one frame.
//   overlay_draw         the overlay alone, drawn over a finished frame: CPU time of the calling
//                        thread (building the text and geometry and handing it to GL).
//   studio_frame/overlay:0|1   a whole studio frame without and with the overlay, presented (so
//                        the software renderer's rasterising is in it); process CPU time, every
//                        thread counted.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/letterbox.h"
#include "app/offscreen_gl.h"
#include "app/swap_buffers.h"
#include "show/music_player.h"
#include "show/scene.h"
#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"
#include "tools/studio/studio.h"

namespace fs = std::filesystem;

namespace {

constexpr int WIDTH = 1280, HEIGHT = 720;

std::unique_ptr<OffscreenGl> gl;
std::unique_ptr<Studio> studio;
std::string demo_text, red_text;
std::chrono::steady_clock::time_point presented_at;

void present_and_time() {
  present_offscreen_frame();
  presented_at = std::chrono::steady_clock::now();
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The demo text with its colour tracks set to red: a change every frame shows.
std::string red_version(const std::string& text) {
  std::istringstream in(text);
  std::string out, line;
  bool skipping = false;
  while (std::getline(in, line)) {
    std::string bare = line.substr(0, line.find('#'));
    std::istringstream words(bare);
    std::string first, second;
    words >> first >> second;
    if (!first.empty() && second.empty() && std::isalpha(static_cast<unsigned char>(first[0])))
      skipping = first.size() > 2 && (first.ends_with(".r") || first.ends_with(".g") || first.ends_with(".b"));
    if (!skipping) out += line + "\n";
  }
  for (const char* layer : {"back", "beard"})
    out += std::string(layer) + ".r\n 0 1 step\n" + layer + ".g\n 0 0 step\n" + layer + ".b\n 0 0 step\n";
  return out;
}

void save(const std::string& text) {
  std::ofstream("show.txt.swp", std::ios::binary) << text;
  std::rename("show.txt.swp", "show.txt");
}

bool set_up(std::string& error) {
  if (studio) return true;
  const fs::path folder = fs::temp_directory_path() / ("studio-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  fs::current_path(folder);
  demo_text = "bpm 120\n" + slurp(DEMO_SHOW_TXT);
  red_text = red_version(demo_text);
  save(demo_text);
  gl = OffscreenGl::create(WIDTH, HEIGHT, error);
  if (!gl) return false;
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  StudioOptions options;
  options.at_row = 200;
  options.paused = true;  // still frames: only the save changes the picture
  studio = std::make_unique<Studio>(options, present_and_time);
  studio->resize(WIDTH, HEIGHT);
  studio->start();
  return true;
}

double now() { return steady_seconds(); }

void save_to_picture(benchmark::State& state) {
  std::string error;
  if (!set_up(error)) return state.SkipWithError(error.c_str());
  for (int i = 0; i < 5; ++i) studio->frame(now());
  bool red = false;
  for (auto _ : state) {
    const std::vector<uint8_t> before = gl->front();
    red = !red;
    const uint64_t generation = studio->live().generation();
    const auto saved = std::chrono::steady_clock::now();
    save(red ? red_text : demo_text);
    int frames = 0;
    while (studio->live().generation() == generation && frames < 1000) {
      studio->frame(now());
      ++frames;
    }
    state.SetIterationTime(std::chrono::duration<double>(presented_at - saved).count());
    if (studio->live().generation() == generation) return state.SkipWithError("the save was never applied");
    if (gl->front() == before) return state.SkipWithError("the picture did not change");
  }
  state.counters["lines"] = static_cast<double>(std::count(demo_text.begin(), demo_text.end(), '\n'));
}
BENCHMARK(save_to_picture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void build_then_rebind(benchmark::State& state) {
  std::string error;
  if (!set_up(error)) return state.SkipWithError(error.c_str());
  bool red = false;
  for (auto _ : state) {
    red = !red;
    const ShowText show = parse_show_text(red ? red_text : demo_text, "show.txt");
    if (!write_track_files(show, ".", error)) return state.SkipWithError(error.c_str());
    bind_tracks();
    render_frame_at(200, swap_buffers);
  }
  save(demo_text);  // the studio's text again, for what follows
  bind_tracks();
}
BENCHMARK(build_then_rebind)->Unit(benchmark::kMillisecond)->UseRealTime();

void overlay_draw(benchmark::State& state) {
  std::string error;
  if (!set_up(error)) return state.SkipWithError(error.c_str());
  Overlay overlay;
  if (!overlay.resize(WIDTH, HEIGHT, error)) return state.SkipWithError(error.c_str());
  OverlayView view;
  view.transport = &studio->transport();
  view.tracks = &scene_tracks();
  view.span_rows = 1450;
  std::vector<float> peaks(1450, 0.6f);
  view.peaks = &peaks;
  const std::vector<std::string> errors;
  view.errors = &errors;
  set_swap_function(present_offscreen_frame);
  render_frame_at(200, swap_buffers);
  double row = 200;
  for (auto _ : state) {
    view.row = row += 0.37;  // new values and a new time each frame
    overlay.draw(view);
  }
  glFinish();
}
BENCHMARK(overlay_draw)->Unit(benchmark::kMicrosecond);

void studio_frame(benchmark::State& state) {
  std::string error;
  if (!set_up(error)) return state.SkipWithError(error.c_str());
  if (studio->overlay_shown() != (state.range(0) != 0)) studio->act(StudioAction::ToggleOverlay, now());
  for (auto _ : state) studio->frame(now());
}
BENCHMARK(studio_frame)->ArgName("overlay")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
