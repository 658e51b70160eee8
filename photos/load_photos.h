#pragma once
// Loads the catalogue's photos into the textures named by their indexes, with loading frames between.
void load_photos();
