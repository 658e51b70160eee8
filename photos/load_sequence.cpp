// The load sequence: the catalogue's loads in order, sequential or decoded ahead.
#include "photos/load_sequence.h"

#include <algorithm>
#include <thread>

#include "photos/decode_ahead.h"
#include "photos/image_format.h"
#include "photos/loading_screen.h"
#include "photos/photo_catalogue.h"
#include "png/regular_file.h"

std::vector<LoadJob> load_jobs() {
  std::vector<LoadJob> jobs;
  for (uint32_t index : FILE_TEXTURE_ORDER) jobs.push_back({LoaderKind::FileTexture, index, nullptr});
  jobs.front().frame_before = FIRST_LOADING_FRAME;  // stays up through the PNGs and the first picture
  for (const PictureStep& step : PICTURE_STEPS) jobs.push_back({LoaderKind::Picture, step.index, step.frame});
  return jobs;
}

int default_decode_workers() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, DecodeAhead::MAX_WORKERS);
}

namespace {

TextureImage decode_safely(LoadSteps& steps, const LoadJob& job) {
  try {
    return steps.decode(job);
  } catch (...) {
    return TextureImage{};
  }
}

}  // namespace

void run_load_sequence(LoadSteps& steps, const std::vector<LoadJob>& jobs, const LoadOptions& options) {
  if (!options.pipelined) {
    for (const LoadJob& job : jobs) {
      if (job.frame_before) steps.show_frame(job.frame_before);
      TextureImage image = decode_safely(steps, job);
      steps.upload(job, image);
      steps.recycle(std::move(image));
    }
    return;
  }
  int workers = options.workers > 0 ? options.workers : default_decode_workers();
  int ahead = options.ahead > 0 ? options.ahead : workers + 2;
  const size_t budget = options.budget_bytes > 0 ? options.budget_bytes : DECODE_BUDGET_BYTES;
  std::vector<size_t> slow;
  for (size_t i = 0; i < jobs.size(); ++i)
    if (steps.slow_decode(jobs[i])) slow.push_back(i);
  DecodeAhead pool(
      jobs.size(), [&](size_t i) { return decode_safely(steps, jobs[i]); }, workers, ahead, budget,
      [&](size_t i) { return steps.decode_peak_bytes(jobs[i]); }, std::move(slow));
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].frame_before) steps.show_frame(jobs[i].frame_before);
    TextureImage image = pool.take(i);
    steps.upload(jobs[i], image);
    steps.recycle(std::move(image));
  }
}

void TextureLoadSteps::show_frame(const char* text) { show_loading_frame(text, present_); }

std::vector<uint8_t> TextureLoadSteps::take_spare(size_t bytes) {
  std::lock_guard<std::mutex> lock(spare_mutex_);
  auto best = spares_.end();
  for (auto it = spares_.begin(); it != spares_.end(); ++it)
    if (it->capacity() >= bytes && (best == spares_.end() || it->capacity() < best->capacity())) best = it;
  if (best == spares_.end()) return {};
  std::vector<uint8_t> storage = std::move(*best);
  spares_.erase(best);
  return storage;
}

TextureImage TextureLoadSteps::decode(const LoadJob& job) {
  if (job.index >= static_cast<uint32_t>(PHOTO_COUNT)) return {};
  const PhotoEntry& entry = PHOTO_CATALOGUE[static_cast<int>(job.index)];
  const size_t bytes = decoded_bytes(job);
  std::vector<uint8_t> storage = bytes > 0 ? take_spare(bytes) : std::vector<uint8_t>{};
  if (job.loader == LoaderKind::FileTexture) return decode_file_texture(utf8_path(entry.wide_path), std::move(storage));
  return decode_picture_image(entry.path, square_side_, std::move(storage));
}

bool TextureLoadSteps::slow_decode(const LoadJob& job) {
  if (job.loader != LoaderKind::Picture || job.index >= static_cast<uint32_t>(PHOTO_COUNT)) return false;
  const RegularFile file(PHOTO_CATALOGUE[static_cast<int>(job.index)].path);
  uint8_t head[8] = {};
  return file.read_at(0, head, sizeof head) == sizeof head && sniff_image_format(head) == ImageFormat::Gif;
}

void TextureLoadSteps::recycle(TextureImage&& image) {
  if (image.pixels.capacity() == 0) return;
  std::lock_guard<std::mutex> lock(spare_mutex_);
  if (spares_.size() < SPARE_BUFFERS) {
    spares_.push_back(std::move(image.pixels));
    return;
  }
  // Full: the larger buffer is kept, as it serves more decodes.
  auto smallest = std::min_element(spares_.begin(), spares_.end(),
                                   [](const auto& a, const auto& b) { return a.capacity() < b.capacity(); });
  if (smallest->capacity() < image.pixels.capacity()) *smallest = std::move(image.pixels);
}

size_t TextureLoadSteps::decoded_bytes(const LoadJob& job) {
  if (job.index >= static_cast<uint32_t>(PHOTO_COUNT)) return 0;
  const PhotoEntry& entry = PHOTO_CATALOGUE[static_cast<int>(job.index)];
  if (job.loader == LoaderKind::FileTexture) return file_texture_bytes(utf8_path(entry.wide_path));
  return picture_image_bytes(entry.path, square_side_);
}

size_t TextureLoadSteps::decode_peak_bytes(const LoadJob& job) {
  if (job.index >= static_cast<uint32_t>(PHOTO_COUNT)) return 0;
  const PhotoEntry& entry = PHOTO_CATALOGUE[static_cast<int>(job.index)];
  if (job.loader == LoaderKind::FileTexture) return file_texture_peak_bytes(utf8_path(entry.wide_path));
  return picture_image_peak_bytes(entry.path, square_side_);
}

void TextureLoadSteps::upload(const LoadJob& job, const TextureImage& image) {
  if (job.loader == LoaderKind::FileTexture)
    upload_file_texture(image, job.index);
  else
    upload_picture_image(image, job.index);
}
