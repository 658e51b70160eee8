#pragma once
// A show's files on disk as the authoring tools handle them: the show text read whole, and its
// tracks written to the binary files the show reads, each one atomically.
#include <string>

#include "tools/show_text.h"

// The whole file as bytes. False when it cannot be opened or read (an empty file is read fine).
bool read_whole_file(const std::string& path, std::string& bytes);

// Writes DIR/kestos/base_<track>.kesto for every track of `show` (kestos/ made when missing), each
// written to a file of its own beside its target, synced and renamed over it, so a show starting
// meanwhile, or another writer at the same time, never leaves or reads half a track. Never throws. Files of tracks the text does not name are left as they are. False, with a one-line
// `error`, at the first file that cannot be written; the files before it are already in place.
// With `keep_identical`, a file that already holds exactly the bytes it would get is not written
// again: the folder ends up the same, and an edit of one track costs one file.
bool write_track_files(const ShowText& show, const std::string& dir, std::string& error,
                       bool keep_identical = false);
