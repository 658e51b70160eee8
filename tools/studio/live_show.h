#pragma once
// The show text kept live. Each reading that differs from the one before is parsed; a sound text
// replaces the keys of the scene's tracks in place (the handles the scene holds stay valid, so the
// next frame draws with the new keys), and then kestos/ is written exactly as "kesto build" does,
// so the folder plays in hallshow as it was previewed. The writing waits for write_pending, so
// that the frame showing the change need not wait for the disk; a file that already holds its
// bytes is left alone. A faulty text changes nothing and writes nothing;
// its faults stand until a sound text replaces it.
//
// A track the text does not name gets the authoring default kesto build writes for it, so the
// preview shows what hallshow will read.
#include <cstdint>
#include <string>
#include <vector>

#include "sync/sync_track.h"
#include "tools/authoring/show_text.h"
#include "tools/studio/tempo.h"

class LiveShow {
 public:
  enum class Result {
    Unchanged,   // the same bytes as the last reading
    Applied,     // a sound text: the tracks replaced and kestos/ written (see write_error)
    Refused,     // faults in the text: nothing changed
    Unreadable,  // the text cannot be read: nothing changed
  };

  // `text_path` as the author named it (it also names the text in messages); `show_dir` is the
  // folder whose kestos/ is written and read.
  LiveShow(std::string text_path, std::string show_dir);

  // Reads the text now and acts on it. `tracks` are the scene's handles, each found by its name.
  Result reload(const std::vector<SyncTrack*>& tracks);
  // Writes kestos/ for the sound text applied last, if that is still to do; true when it wrote
  // (see write_error for how that went).
  bool write_pending();

  // The faults of the latest reading ("show.txt:12: unknown track 'back.q' (...)"), or why it could
  // not be read; empty while the text on disk is the one in effect.
  const std::vector<std::string>& errors() const { return errors_; }
  // Why the last sound text could not be written to kestos/; empty when it was.
  const std::string& write_error() const { return write_error_; }
  const Tempo& tempo() const { return tempo_; }  // from the text in effect
  uint64_t generation() const { return generation_; }  // sound texts applied so far
  int last_key_row() const { return last_key_row_; }  // over every track in effect; 0 without keys
  const std::string& text_path() const { return text_path_; }

 private:
  std::string text_path_, show_dir_;
  std::string last_text_;
  bool read_before_ = false;
  std::vector<std::string> errors_;
  std::string write_error_;
  ShowText unwritten_;  // the sound text applied last, while kestos/ still waits for it
  bool write_due_ = false;
  Tempo tempo_;
  uint64_t generation_ = 0;
  int last_key_row_ = 0;
};
