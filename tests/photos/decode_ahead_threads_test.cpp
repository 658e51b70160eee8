// Decoding ahead when the platform will not start every thread asked for (thread limits in a
// container, a low ulimit): pthread_create is replaced in this test program by one that fails
// once a set number of threads has started.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>

#include "photos/decode_ahead.h"
#include "photos/load_sequence.h"

namespace {

std::atomic<int> threads_allowed{1 << 30};
std::atomic<int> threads_asked{0};

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  ++threads_asked;
  if (threads_allowed.fetch_sub(1) <= 0) return EAGAIN;
  return real(thread, attr, start, arg);
}

namespace {

TextureImage numbered(size_t job) {
  TextureImage image;
  image.kind = TextureImage::Kind::FileTexture;
  image.width = uint32_t(job + 1);
  image.height = 1;
  image.pixels.assign(image.width * 4, uint8_t(job));
  return image;
}

TEST(DecodeAheadThreads, GoesOnWithTheWorkersThatStartedOrNone) {
  for (int allowed : {0, 1, 2}) {
    threads_allowed = allowed;
    {
      DecodeAhead pool(20, numbered, 4, 6, 64);
      for (size_t job = 0; job < 20; ++job) {
        const TextureImage image = pool.take(job);
        ASSERT_EQ(image.width, job + 1) << allowed << " threads allowed";
        ASSERT_EQ(image.pixels.size(), (job + 1) * 4);
        EXPECT_EQ(image.pixels[0], uint8_t(job));
      }
    }  // and the pool ends without terminating the program
    threads_allowed = 1 << 30;
  }
}

TEST(DecodeAheadThreads, NoMoreThanEightWorkers) {
  threads_asked = 0;
  {
    DecodeAhead pool(3, numbered, 64, 2);
    for (size_t job = 0; job < 3; ++job) EXPECT_EQ(pool.take(job).width, job + 1);
  }
  EXPECT_EQ(threads_asked.load(), DecodeAhead::MAX_WORKERS);
  EXPECT_LE(default_decode_workers(), DecodeAhead::MAX_WORKERS);
  EXPECT_GE(default_decode_workers(), 2);
}

}  // namespace
