#pragma once
// A show's files on disk as the authoring tools handle them: the show text read whole, and its
// tracks written to the binary files the show reads, each one atomically.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/authoring/show_text.h"

// The most bytes of a show text or a track file the tools read: far above either (a text of the
// most keys a text may make is about 40 MB, a track file of the most a track may hold 2.4 MB).
inline constexpr uint64_t SHOW_FILE_LIMIT = uint64_t(64) << 20;

// The whole file as bytes. False when it cannot be opened or read, is larger than SHOW_FILE_LIMIT
// or is no regular file: a FIFO would hold the tool for ever, a device never end (an empty file is
// read fine).
bool read_whole_file(const std::string& path, std::string& bytes);

// Writes `bytes` to `path` as a careful editor saves: into a new file beside it, made exclusively
// (nothing already there, not even a link planted under that name, is written through), synced,
// given the mode of the file it replaces, and renamed over it; then the folder is synced. A reader
// never sees half a file, even after a crash. When `path` is a link, the file it points to is
// saved and the link stays. False, with `error` "cannot save PATH: REASON", when it cannot be done;
// the file is then as it was.
bool save_file(const std::string& path, const std::string& bytes, std::string& error);

// The 22 tracks the show in DIR should read for this text: the text's own, and the authoring
// defaults for the rest (see authoring_defaults.h), the music being DIR/e12.mp3.
std::vector<TextTrack> folder_tracks(const ShowText& show, const std::string& dir);

// Writes DIR/kestos/base_<track>.kesto for all 22 tracks of folder_tracks(show, DIR) (kestos/ made
// when missing), each written to a file of its own beside its target, synced and renamed over it,
// so a show starting meanwhile, or another writer at the same time, never leaves or reads half a
// track. Every track file is written, so none from an earlier text survives. Never throws. False,
// with a one-line `error`, at the first file that cannot be written; the files before it are
// already in place.
// With `keep_identical`, a file that already holds exactly the bytes it would get is not written
// again: the folder ends up the same, and an edit of one track costs one file.
bool write_track_files(const ShowText& show, const std::string& dir, std::string& error,
                       bool keep_identical = false);
