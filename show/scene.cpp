// The per-frame picture. Everything on screen is a function of the row: no state survives a frame,
// and a frame allocates nothing and reads no file (the tracks were all loaded at start-up).
#include "show/scene.h"

#include <GL/gl.h>

#include "photos/photo_catalogue.h"
#include "show/music_clock.h"
#include "show/open_photos.h"

namespace {

// A track bound by bind_tracks, evaluated at the frame's row. Before binding there is no track,
// which reads 0 like a track without a file rather than failing.
float value(const SyncTrack* track, double row) { return track ? get_value(*track, row) : 0.0f; }

}  // namespace

// The quad of every picture: 2 × 2 in the z = 0 plane, counter-clockwise as the viewer sees it,
// t = 0 on its bottom edge (the photos are uploaded bottom row first, so they stand upright).
void draw_quad() {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex3f(-1, -1, 0);
  glTexCoord2f(1, 0);
  glVertex3f(1, -1, 0);
  glTexCoord2f(1, 1);
  glVertex3f(1, 1, 0);
  glTexCoord2f(0, 1);
  glVertex3f(-1, 1, 0);
  glEnd();
}

// T(x, y, LAYER_DEPTH) · Rx · Ry · Rz · S(s, s, 1): scaled first, then turned about z, y and x,
// then moved. The caller has loaded the identity, so no other picture's transform leaks in.
void draw_layer(const LayerTracks& layer, double row) {
  glTranslatef(value(layer.x, row), value(layer.y, row), LAYER_DEPTH);
  const float n = value(layer.n, row);
  uint32_t name = layer_texture_name(n);
  // An open entry is drawn whole: its square shortened along the photo's shorter side.
  const OpenPhotoView* open = nullptr;
  if (OpenPhotoStream* stream = open_photo_stream(); stream && name >= PHOTO_COUNT) {
    open = n < float(OPEN_ENTRY_LIMIT) ? stream->view(name) : nullptr;
    // Other names beyond the catalogue hold no image, as without open entries; the stream's own
    // textures have such names, and a track value must not reach them.
    name = open ? open->texture : stream->blank_texture();
  }
  glBindTexture(GL_TEXTURE_2D, name);
  // Alpha stays 1: only texel alpha lets what lies below show through.
  glColor3f(value(layer.r, row), value(layer.g, row), value(layer.b, row));
  glPushMatrix();
  glRotatef(value(layer.rotx, row), 1, 0, 0);
  glRotatef(value(layer.roty, row), 0, 1, 0);
  glRotatef(value(layer.rotz, row), 0, 0, 1);
  // A scale track of 0 is natural size; the sum is formed in double before it narrows.
  const float s = static_cast<float>(static_cast<double>(value(layer.scale, row)) + 1.0);
  glScalef(s, s, 1);
  if (open) glScalef(open->half_width, open->half_height, 1);
  draw_quad();
  glPopMatrix();
}

// As render_frame_at and draw_layer decide.
FrameTextures catalogue_textures_at(double row) {
  const SceneTracks& tracks = scene_tracks();
  FrameTextures textures;
  const int32_t happy = happy_state(value(tracks.happy, row));
  if (happy == 2) return textures;
  if (happy == 1) textures.names[textures.count++] = BACKDROP_TEXTURE;
  for (const LayerTracks* layer : {&tracks.back, &tracks.beard}) {
    const uint32_t name = layer_texture_name(value(layer->n, row));
    // A scale factor of exactly 0 draws the quad as a point: no pixel.
    const float s = static_cast<float>(static_cast<double>(value(layer->scale, row)) + 1.0);
    if (name < PHOTO_COUNT && s != 0.0f) textures.names[textures.count++] = name;
  }
  return textures;
}

FrameResult render_frame(void (*present)()) { return render_frame_at(current_row(), present); }

namespace {
BackgroundFunction background_function = nullptr;
}  // namespace

void set_background_function(BackgroundFunction function) { background_function = function; }

void draw_background(bool backdrop) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  if (backdrop) {
    glTranslatef(0, 0, LAYER_DEPTH);
    glBindTexture(GL_TEXTURE_2D, BACKDROP_TEXTURE);
    glColor3b(127, 127, 127);  // the largest signed-byte intensity: white, alpha 1
    glPushMatrix();
    glScalef(BACKDROP_SCALE, BACKDROP_SCALE, 1);
    draw_quad();
    glPopMatrix();
  }
}

FrameResult render_frame_at(double row, void (*present)()) {
  const SceneTracks& tracks = scene_tracks();

  open_photos_before_frame(row);

  glMatrixMode(GL_MODELVIEW);
  const int32_t happy = happy_state(value(tracks.happy, row));
  // The end of the show: this frame is never presented, so its last picture stays on screen
  // until the process is gone. The loop ends the process.
  if (happy == 2) {
    draw_background(false);
    return FrameResult::EndOfShow;
  }
  // "happy" at 1 shows the backdrop behind the layers.
  if (background_function) background_function(happy == 1);
  else draw_background(happy == 1);

  // Painted in order, depth test off: "beard" always covers "back", both cover the backdrop.
  glLoadIdentity();
  draw_layer(tracks.back, row);
  glLoadIdentity();
  draw_layer(tracks.beard, row);

  present();
  return FrameResult::Presented;
}
