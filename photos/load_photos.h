#pragma once
// Loads the catalogue's photos into the textures named by their indexes, with loading frames between,
// each presented by calling `present`.
void load_photos(void (*present)());
// The same loading frames in the same order, with no photo loaded: for the tools that load each
// photo only when their frames need it.
void show_loading_frames(void (*present)());
