// Placeholder until the scene lands: black frames.
#include "show/scene.h"
#include <GL/gl.h>
#include "app/swap_buffers.h"
#include "show/music_clock.h"
namespace { SceneTracks tracks{}; }
void init_music_and_tracks() { open_music(); bind_tracks(); }
void bind_tracks() {}
const SceneTracks& scene_tracks() { return tracks; }
FrameResult render_frame() { return render_frame_at(current_row()); }
FrameResult render_frame_at(double) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  swap_buffers();
  return FrameResult::Presented;
}
void draw_layer(const LayerTracks&, double) {}
void draw_quad() {}
