#include "photos/file_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

std::vector<uint8_t> read_file_start(const std::string& path, size_t max_bytes) {
  std::vector<uint8_t> bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    bytes.resize(std::min<size_t>(max_bytes, size_t(st.st_size)));
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the file shrank, or cannot be read further: what was read stands
      got += size_t(n);
    }
    bytes.resize(got);
  }
  close(fd);
  return bytes;
}
