#pragma once
// The show's open photos (photos/open_entries.h): found in the photo folder, planned from the
// scene's tracks, and streamed while the show plays. A folder without open entries runs none of
// it, and its show draws exactly what it drew before they existed.
#include <cstdint>

#include "photos/open_photo_stream.h"

// After bind_tracks, GL thread: finds the open entries and, when there are any, reads their
// headers and plans them on another thread while the catalogue loads.
void start_open_photos();
// After the catalogue has loaded: the stream starts, and the photos the first second shows are
// decoded and uploaded before this returns. The picture's height (the viewport's) sizes the textures.
void preload_open_photos();
// The tracks changed (the studio saved them, or moved to another folder's): planned anew, and
// for another folder's photos, found anew.
void replan_open_photos();
// The folder changed: entries found and planned anew, nothing kept. The settings default to the
// current context's (open_photo_settings_for_context).
void restart_open_photos();
void restart_open_photos(const OpenPhotoSettings& settings);
// The viewport's height and the context's largest texture, with the stream's defaults otherwise.
OpenPhotoSettings open_photo_settings_for_context();
// Ends the stream, releasing its textures (GL thread, its context current): tests, and tools
// before their context goes.
void stop_open_photos();
// Captures: every frame waits for its photos instead of drawing them as missing. A negative
// `wait_ms` waits as long as it takes.
void set_open_photos_wait(bool wait, int wait_ms = -1);

// The stream, or nullptr when the folder has no open entries.
OpenPhotoStream* open_photo_stream();
// Each frame, before it draws (render_frame calls it).
void open_photos_before_frame(double row);
// The process is about to end: the trace, when one is written, is completed.
void finish_open_photos();
