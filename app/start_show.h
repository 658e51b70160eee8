#pragma once
// The show's start-up, with the GL context current: music and tracks, glyphs, photos (with their
// loading frames), then the music starts. No window event is taken while it runs.
// How start-up treats the catalogue's photos.
enum class CatalogueLoading {
  AtStart,     // all of them, behind the loading frames, as the show does
  FramesOnly,  // the loading frames alone: a capture loads each photo when its frames need it
};

void start_show(CatalogueLoading catalogue = CatalogueLoading::AtStart);

// All of start_show but the music's start: nothing plays yet, so a caller can first move or pause
// the music (music_clock.h) and then call start_music.
void prepare_show(CatalogueLoading catalogue = CatalogueLoading::AtStart);
