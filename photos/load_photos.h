#pragma once
// Loads the catalogue's photos into the textures named by their indexes, with loading frames between,
// each presented by calling `present`.
void load_photos(void (*present)());
