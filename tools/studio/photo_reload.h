#pragma once
// Photos changed under hall.photo/ while the studio runs: each is decoded again on a worker thread
// by the loader the show uses for it, and its texture replaced on the GL thread. A file that no
// longer decodes (half copied, say) leaves the texture as it was.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "photos/load_sequence.h"

class PhotoReload {
 public:
  // With the GL context current (the picture loader's square side comes from it).
  PhotoReload();
  ~PhotoReload();
  PhotoReload(const PhotoReload&) = delete;
  PhotoReload& operator=(const PhotoReload&) = delete;

  // The files the show loads, one per load (entry 43 shares its file with 40, so a file may appear
  // twice); index i here is the i-th load.
  const std::vector<std::string>& files() const { return files_; }
  // Decodes load `i` again, off this thread.
  void request(size_t i);
  // GL thread: uploads every photo decoded since the last call; returns how many replaced their
  // texture. Loads whose file no longer decodes keep their old picture and are added to `failed`.
  int upload_ready(std::vector<size_t>* failed = nullptr);

 private:
  void work();

  TextureLoadSteps steps_;
  std::vector<LoadJob> jobs_;
  std::vector<std::string> files_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<size_t> wanted_;
  std::vector<std::pair<size_t, TextureImage>> decoded_;
  bool stopping_ = false;
  std::thread worker_;
};
