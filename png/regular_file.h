#pragma once
// A file opened for reading only when it is a regular file. Whatever the show reads (photos,
// tracks, music) may have been replaced by a FIFO, which blocks the open or the first read for
// ever, or by a link to a device such as /dev/zero, which never ends: those are refused without a
// byte read. The file is opened without blocking and then asked what it is, so nothing can swap
// in between a check and the open.
#include <cstddef>
#include <cstdint>
#include <string>

class RegularFile {
 public:
  explicit RegularFile(const std::string& path);  // not open when the path is no regular file
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }           // -1 when not open; stays the file's until destruction
  uint64_t size() const { return size_; }  // its size when it was opened

  // Up to `n` bytes from `offset` into `out`; fewer at the end of the file, 0 on an error.
  size_t read_at(uint64_t offset, uint8_t* out, size_t n) const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};
