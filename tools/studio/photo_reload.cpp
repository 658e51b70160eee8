#include "tools/studio/photo_reload.h"

#include <algorithm>

#include "app/swap_buffers.h"
#include "photos/photo_catalogue.h"
#include "photos/texture_loaders.h"

PhotoReload::PhotoReload() : steps_(picture_square_side_from_gl(), swap_buffers), jobs_(load_jobs()) {
  for (const LoadJob& job : jobs_) {
    const PhotoEntry& entry = PHOTO_CATALOGUE[static_cast<int>(job.index)];
    files_.push_back(job.loader == LoaderKind::FileTexture ? utf8_path(entry.wide_path) : entry.path);
  }
  worker_ = std::thread([this] { work(); });
}

PhotoReload::~PhotoReload() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

void PhotoReload::request(size_t i) {
  if (i >= jobs_.size()) return;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (std::find(wanted_.begin(), wanted_.end(), i) != wanted_.end()) return;  // already waiting
    wanted_.push_back(i);
  }
  wake_.notify_one();
}

void PhotoReload::work() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    wake_.wait(hold, [this] { return stopping_ || !wanted_.empty(); });
    if (stopping_) return;
    const size_t i = wanted_.front();
    wanted_.pop_front();
    hold.unlock();
    TextureImage image;
    try {
      image = steps_.decode(jobs_[i]);
    } catch (...) {
      // A decoder that throws leaves the photo as it was, as at start-up.
    }
    hold.lock();
    decoded_.emplace_back(i, std::move(image));
  }
}

int PhotoReload::upload_ready(std::vector<size_t>* failed) {
  std::vector<std::pair<size_t, TextureImage>> ready;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (decoded_.empty()) return 0;
    ready.swap(decoded_);
  }
  int uploaded = 0;
  for (const auto& [i, image] : ready) {
    if (image.kind == TextureImage::Kind::None) {
      if (failed) failed->push_back(i);
      continue;
    }
    steps_.upload(jobs_[i], image);
    ++uploaded;
  }
  return uploaded;
}
