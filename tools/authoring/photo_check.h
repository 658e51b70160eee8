#pragma once
// What is wrong with a show's photos, told before the audience sees it: a photo the tracks show
// that is missing or cannot be decoded (with the decoder's reason), a file whose name differs
// from the catalogue's only in case, a JPEG or GIF that is not square (the show stretches it), and
// track values that show an entry the show never loads or one outside the catalogue. The show
// itself draws any of these as a plain square in the layer's colour, without a word.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sync/sync_track.h"
#include "tools/authoring/photo_problem.h"


// The decoding of each file, kept between checks so that only files that changed are read again.
// One check at a time may use it.
class PhotoFileCache {
 public:
  struct Result {
    bool readable = false;
    uint32_t width = 0, height = 0;
    std::string reason;  // why it cannot be decoded
  };
  const Result& of(const std::string& path, bool picture_loader);

 private:
  struct Entry {
    long long inode = -1, size = -1, mtime_ns = -1;
    Result result;
  };
  std::map<std::string, Entry> entries_;
};

// The photos of the show folder `dir` against the tracks the show reads there: `tracks` are the
// scene's 22, found by name. In catalogue order, each problem once.
std::vector<PhotoProblem> check_photos(const std::string& dir, const std::vector<const SyncTrack*>& tracks,
                                       PhotoFileCache& cache);
