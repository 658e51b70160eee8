#include "tools/make/photos/face_finder.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>

namespace {

// A classifier keeps its working buffers inside it, so one can look at one picture at a time:
// each search borrows one from this pool, reading the model afresh only when all are busy.
struct Pool {
  std::mutex lock;
  std::string path = HALLSHOW_FACE_MODEL;
  int generation = 0;  // which model the idle ones are, so that a changed model drops them
  bool missing = false;
  std::vector<std::unique_ptr<cv::CascadeClassifier>> idle;
};

Pool& pool() {
  static Pool p;
  return p;
}

struct Borrowed {
  std::unique_ptr<cv::CascadeClassifier> model;
  int generation = 0;
};

Borrowed borrow() {
  Pool& p = pool();
  std::string path;
  Borrowed b;
  {
    std::lock_guard<std::mutex> hold(p.lock);
    if (p.missing) return b;
    b.generation = p.generation;
    if (!p.idle.empty()) {
      b.model = std::move(p.idle.back());
      p.idle.pop_back();
      return b;
    }
    path = p.path;
  }
  // hallshow-make looks at several photos at once already: OpenCV's own threads would only
  // crowd the cores.
  static std::once_flag one_thread;
  std::call_once(one_thread, [] { cv::setNumThreads(0); });
  auto model = std::make_unique<cv::CascadeClassifier>();
  bool loaded = false;
  try {
    // OpenCV complains on stderr of a file it cannot open: a missing model is no error here.
    loaded = std::filesystem::is_regular_file(path) && model->load(path) && !model->empty();
  } catch (const cv::Exception&) {
  }
  if (loaded) {
    b.model = std::move(model);
  } else {
    std::lock_guard<std::mutex> hold(p.lock);
    if (p.generation == b.generation) p.missing = true;
  }
  return b;
}

void give_back(Borrowed b) {
  Pool& p = pool();
  std::lock_guard<std::mutex> hold(p.lock);
  if (b.model && b.generation == p.generation) p.idle.push_back(std::move(b.model));
}

}  // namespace

std::vector<PixelBox> find_faces(const uint8_t* grey, int width, int height) {
  std::vector<PixelBox> faces;
  if (!grey || width < 45 || height < 45) return faces;
  Borrowed b = borrow();
  if (!b.model) return faces;
  try {
    // The picture is the caller's; equalising writes a copy.
    const cv::Mat picture(height, width, CV_8UC1, const_cast<uint8_t*>(grey));
    cv::Mat even;
    cv::equalizeHist(picture, even);
    std::vector<cv::Rect> found;
    // Scales 15 % apart; six neighbours: a face is found at several nearby places and scales, a
    // stray pattern (a leaf's veins, a line of text) seldom is.
    b.model->detectMultiScale(even, found, 1.15, 6);
    for (const cv::Rect& r : found) faces.push_back({r.x, r.y, r.width, r.height});
  } catch (const cv::Exception&) {
    faces.clear();
  }
  give_back(std::move(b));
  return faces;
}

void use_face_model(const std::string& path) {
  Pool& p = pool();
  std::lock_guard<std::mutex> hold(p.lock);
  p.path = path.empty() ? HALLSHOW_FACE_MODEL : path;
  ++p.generation;
  p.missing = false;
  p.idle.clear();
}
