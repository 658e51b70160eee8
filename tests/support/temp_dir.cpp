#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

TempDir::TempDir(WorkingDirectory working_directory) {
  std::string pattern = (std::filesystem::temp_directory_path() / "hallshow-test-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a temporary folder from " + pattern + ": " + std::strerror(errno));
  path_ = pattern;
  if (working_directory == WorkingDirectory::Enter) {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
}

TempDir::~TempDir() {
  std::error_code error;
  if (!previous_.empty()) std::filesystem::current_path(previous_, error);
  std::filesystem::remove_all(path_, error);
}
