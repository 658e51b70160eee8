#pragma once
// What is wrong with a show's open photos (numbered from 44 up), told as kesto check tells the
// catalogue's: numbers a layer can show that have no photo, photos a layer shows that cannot be
// read, and photos no track shows. "Can show" is the show's own plan: the numbers a layer's n
// names while the layer can be seen.
#include <string>
#include <vector>

#include "sync/sync_track.h"
#include "tools/authoring/photo_problem.h"

// `tracks` are the scene's, found by name (as check_photos takes them).
std::vector<PhotoProblem> check_open_photos(const std::string& dir, const std::vector<const SyncTrack*>& tracks);
