#include "png/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

RegularFile::RegularFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO for reading otherwise waits for a writer. O_NOCTTY: a terminal
  // opened by name must not become the process's controlling one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return;
  }
  // A regular file's reads never wait anyway; the flag goes for whoever reads through fd().
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  size_ = uint64_t(st.st_size);
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t RegularFile::read_at(uint64_t offset, uint8_t* out, size_t n) const {
  if (fd_ < 0) return 0;
  size_t got = 0;
  while (got < n) {
    const size_t chunk = n - got < (size_t(1) << 30) ? n - got : size_t(1) << 30;
    const ssize_t r = pread(fd_, out + got, chunk, off_t(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;  // the end, or an error: what was read stays
    got += size_t(r);
  }
  return got;
}
