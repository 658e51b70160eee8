// The order of frames and loads, recorded through the sequence's collaborators, sequential and
// decoded ahead; the pool's bounds and its handling of failing decoders.
#include "photos/load_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "photos/decode_ahead.h"

namespace {

// The sequence as the screen and the textures see it, written out from the show's table.
std::vector<std::string> expected_events() {
  std::vector<std::string> e = {"frame y"};
  for (int i : {1, 2, 3, 4, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 26, 27, 35, 36, 37, 38, 39, 40,
                41, 42, 43})
    e.push_back("file " + std::to_string(i));
  const std::pair<const char*, int> pictures[] = {{nullptr, 0}, {"x", 31}, {"y", 30}, {"x", 29},
                                                  {"y", 33},    {"x", 32}, {"y", 11}, {"x", 34},
                                                  {"y", 25},    {"z", 5},  {"z", 17}};
  for (auto [frame, index] : pictures) {
    if (frame) e.push_back(std::string("frame ") + frame);
    e.push_back("picture " + std::to_string(index));
  }
  return e;
}

// Records what reaches the GL thread; decodes return an image tagged with the job's index.
class RecordingSteps : public LoadSteps {
 public:
  std::thread::id gl_thread = std::this_thread::get_id();
  std::vector<std::string> events;
  std::vector<std::string> problems;  // anything seen on the wrong thread or with the wrong image
  std::set<uint32_t> failing;         // these decodes throw
  std::mutex mutex;
  std::set<std::thread::id> decode_threads;
  std::atomic<int> decoded{0}, uploaded{0}, most_outstanding{0};
  bool slow_uploads = false;

  void show_frame(const char* text) override {
    if (std::this_thread::get_id() != gl_thread) problems.push_back("frame off the GL thread");
    events.push_back(std::string("frame ") + text);
  }
  TextureImage decode(const LoadJob& job) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      decode_threads.insert(std::this_thread::get_id());
    }
    if (failing.count(job.index)) throw std::runtime_error("unreadable");
    TextureImage image;
    image.kind = job.loader == LoaderKind::FileTexture ? TextureImage::Kind::FileTexture : TextureImage::Kind::Picture;
    image.width = job.index;
    image.height = 1;
    int outstanding = ++decoded - uploaded;
    int seen = most_outstanding;
    while (outstanding > seen && !most_outstanding.compare_exchange_weak(seen, outstanding)) {
    }
    return image;
  }
  void upload(const LoadJob& job, const TextureImage& image) override {
    if (std::this_thread::get_id() != gl_thread) problems.push_back("upload off the GL thread");
    bool fails = failing.count(job.index) > 0;
    if (fails ? image.kind != TextureImage::Kind::None : image.width != job.index)
      problems.push_back("wrong image for " + std::to_string(job.index));
    events.push_back((job.loader == LoaderKind::FileTexture ? "file " : "picture ") + std::to_string(job.index));
    if (slow_uploads) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // let decoders run ahead
    ++uploaded;
  }
};

struct Mode {
  const char* name;
  LoadOptions options;
};
const Mode modes[] = {
    {"sequential", {false, 0, 0}},   {"pipelined, defaults", {true, 0, 0}}, {"two workers, one ahead", {true, 2, 1}},
    {"four workers, three ahead", {true, 4, 3}}, {"eight workers", {true, 8, 0}}, {"one worker", {true, 1, 1}},
};

}  // namespace

TEST(LoadJobs, FollowTheCatalogueOrder) {
  std::vector<LoadJob> jobs = load_jobs();
  ASSERT_EQ(jobs.size(), 38u);
  int frames = 0;
  for (const LoadJob& j : jobs) frames += j.frame_before != nullptr;
  EXPECT_EQ(frames, 11);
}

TEST(LoadSequence, FramesAndLoadsComeInTheShowsOrderInEveryMode) {
  for (const Mode& m : modes) {
    RecordingSteps steps;
    run_load_sequence(steps, load_jobs(), m.options);
    EXPECT_EQ(steps.events, expected_events()) << m.name;
    EXPECT_TRUE(steps.problems.empty()) << m.name << ": " << steps.problems.front();
  }
}

TEST(LoadSequence, DecodesRunOnWorkersOnlyWhenPipelined) {
  RecordingSteps sequential;
  run_load_sequence(sequential, load_jobs(), {false, 0, 0});
  EXPECT_EQ(sequential.decode_threads, std::set<std::thread::id>{sequential.gl_thread});

  RecordingSteps pipelined;
  run_load_sequence(pipelined, load_jobs(), {true, 2, 0});
  EXPECT_FALSE(pipelined.decode_threads.count(pipelined.gl_thread));
  EXPECT_GE(pipelined.decode_threads.size(), 1u);
  EXPECT_LE(pipelined.decode_threads.size(), 2u);
  EXPECT_GE(default_decode_workers(), 2);
}

TEST(LoadSequence, DecodedButNotUploadedPhotosStayWithinTheWindow) {
  for (int ahead : {1, 2, 4}) {
    RecordingSteps steps;
    steps.slow_uploads = true;
    run_load_sequence(steps, load_jobs(), {true, 4, ahead});
    // The one being uploaded, plus at most `ahead` more.
    EXPECT_LE(steps.most_outstanding.load(), ahead + 1) << ahead;
    EXPECT_EQ(steps.events, expected_events());
  }
}

// Photos of a few MiB, uploaded slowly, under many workers: what is decoded and not yet uploaded
// is counted from the moment a decode has made its pixels to the end of their upload.
class HeavySteps : public LoadSteps {
 public:
  explicit HeavySteps(std::function<size_t(uint32_t index)> bytes, bool estimates)
      : bytes_(std::move(bytes)), estimates_(estimates) {}
  std::vector<std::pair<uint32_t, uint64_t>> uploads;  // index and a sum over the pixels
  size_t peak = 0;

  void show_frame(const char*) override {}
  TextureImage decode(const LoadJob& job) override {
    TextureImage image;
    image.kind = TextureImage::Kind::Picture;
    image.pixels.assign(bytes_(job.index), uint8_t(job.index * 7 + 1));
    image.pixels[job.index % image.pixels.size()] = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    live_ += image.pixels.size();
    peak = std::max(peak, live_);
    return image;
  }
  void upload(const LoadJob& job, const TextureImage& image) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a slow GPU bus: decoders run ahead
    uint64_t sum = 0;
    for (size_t i = 0; i < image.pixels.size(); i += 4096) sum += image.pixels[i] * (i + 1);
    uploads.emplace_back(job.index, sum + image.pixels.size());
    std::lock_guard<std::mutex> lock(mutex_);
    live_ -= image.pixels.size();
  }
  size_t decoded_bytes(const LoadJob& job) override { return estimates_ ? bytes_(job.index) : 0; }

 private:
  std::function<size_t(uint32_t)> bytes_;
  bool estimates_;
  std::mutex mutex_;
  size_t live_ = 0;
};

TEST(LoadSequence, DecodedButNotUploadedBytesStayWithinTheBudget) {
  constexpr size_t MiB = size_t(1) << 20;
  const auto assorted = [](uint32_t index) { return (1 + index % 5) * MiB; };
  const struct {
    const char* what;
    std::function<size_t(uint32_t)> bytes;
    size_t budget;
    size_t bound;  // the peak allowed: the budget, or the one photo larger than it
  } cases[] = {
      {"photos of 1 to 5 MiB, 12 MiB budget", assorted, 12 * MiB, 12 * MiB},
      {"8 MiB photos, 20 MiB budget", [](uint32_t) { return 8 * MiB; }, 20 * MiB, 20 * MiB},
      {"one photo larger than the budget", [](uint32_t i) { return i == 30 ? 24 * MiB : 2 * MiB; }, 10 * MiB,
       24 * MiB},
  };
  for (const auto& c : cases) {
    HeavySteps sequential(c.bytes, true);
    run_load_sequence(sequential, load_jobs(), {false, 0, 0, c.budget});
    for (int workers : {4, 16}) {
      HeavySteps steps(c.bytes, true);
      run_load_sequence(steps, load_jobs(), {true, workers, 64, c.budget});
      EXPECT_LE(steps.peak, c.bound) << steps.peak / MiB << " MiB at the peak: " << c.what << ", " << workers << " workers";
      EXPECT_EQ(steps.uploads, sequential.uploads) << c.what << ", " << workers << " workers";
    }
  }
  // Without estimates the budget cannot be kept exactly, but nothing waits for ever either.
  HeavySteps unknown(assorted, false);
  run_load_sequence(unknown, load_jobs(), {true, 16, 64, 4 * MiB});
  EXPECT_EQ(unknown.uploads.size(), load_jobs().size());
}

TEST(LoadSequence, FailingDecodersLeaveTheirPhotoEmptyAndTheSequenceGoesOn) {
  for (const Mode& m : modes) {
    RecordingSteps steps;
    steps.failing = {1, 40, 0, 17, 25};
    run_load_sequence(steps, load_jobs(), m.options);
    EXPECT_EQ(steps.events, expected_events()) << m.name;
    EXPECT_TRUE(steps.problems.empty()) << m.name << ": " << steps.problems.front();
  }
}

TEST(DecodeAhead, HandsOverEveryResultInOrderWhateverTheDecodeTimes) {
  for (int workers : {1, 2, 3, 7}) {
    constexpr size_t jobs = 200;
    DecodeAhead pool(
        jobs,
        [](size_t i) {
          if (i % 7 == 3) std::this_thread::sleep_for(std::chrono::microseconds(200));
          TextureImage image;
          image.width = static_cast<uint32_t>(i);
          image.pixels.assign(4, static_cast<uint8_t>(i));
          return image;
        },
        workers, 3);
    for (size_t i = 0; i < jobs; ++i) {
      TextureImage image = pool.take(i);
      ASSERT_EQ(image.width, i) << workers;
      ASSERT_EQ(image.pixels.size(), 4u);
    }
  }
}

// Jobs named first start before every other, and their results still come in their turn; with a
// budget that the early results and a photo larger than the budget exceed together, nothing
// waits for ever.
TEST(DecodeAhead, JobsNamedFirstStartFirstAndAreTakenInTheirTurn) {
  // A job not named first waits (a while, not for ever) until both named ones have begun: were
  // they not started before it, the workers would all sit in such waits and the wait would run
  // out. Waiting for the begin, not comparing when each began, keeps the test free of the
  // scheduler's whims on a loaded machine.
  for (int workers : {1, 2, 3}) {
    std::mutex mutex;
    std::condition_variable began;
    std::vector<size_t> started;
    bool named_began_late = false;
    const auto decode = [&](size_t i) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        started.push_back(i);
        began.notify_all();
        const auto has = [&](size_t job) { return std::count(started.begin(), started.end(), job) > 0; };
        if (i != 11 && i != 7 &&
            !began.wait_for(lock, std::chrono::seconds(5), [&] { return has(11) && has(7); }))
          named_began_late = true;
      }
      TextureImage image;
      image.width = static_cast<uint32_t>(i);
      image.pixels.assign(i == 10 ? 100 : 4, static_cast<uint8_t>(i));
      return image;
    };
    const auto estimate = [](size_t i) -> size_t { return i == 10 ? 100 : 4; };
    DecodeAhead pool(12, decode, workers, 2, 10, estimate, {11, 7, 11});
    for (size_t i = 0; i < 12; ++i) ASSERT_EQ(pool.take(i).width, i) << workers << " workers";
    ASSERT_EQ(started.size(), 12u) << workers << " workers";  // each once, 11 named twice
    EXPECT_FALSE(named_began_late) << workers << " workers";
    if (workers == 1) {
      EXPECT_EQ(std::vector<size_t>(started.begin(), started.begin() + 2), (std::vector<size_t>{11, 7}));
    }
  }
}

TEST(DecodeAhead, StopsCleanlyWithResultsLeftUntaken) {
  std::atomic<int> started{0};
  {
    DecodeAhead pool(100, [&](size_t) { ++started; return TextureImage{}; }, 2, 2);
    pool.take(0);
  }  // destroyed with 99 jobs left
  EXPECT_LE(started.load(), 1 + 2 + 1);
  DecodeAhead pool(3, [](size_t) { return TextureImage{}; }, 1, 1);
  EXPECT_EQ(pool.take(2).kind, TextureImage::Kind::None);  // out of order: nothing, no hang
}
