// Placeholder until the load sequence lands.
#include "photos/load_photos.h"
#include "photos/loading_screen.h"
void load_photos() { show_loading_frame("y"); }
