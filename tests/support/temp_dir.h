#pragma once
// A test's own folder: new and empty under the system's temporary folder, removed with everything
// in it when the TempDir goes. With WorkingDirectory::Enter it is also the working directory while
// it lives (relative paths, such as the show's "kestos/" and "photos/", land there), and the
// previous working directory comes back afterwards.
#include <filesystem>

class TempDir {
 public:
  enum class WorkingDirectory { Keep, Enter };

  // Throws std::runtime_error when no folder can be made, which fails the test that wanted it.
  explicit TempDir(WorkingDirectory working_directory = WorkingDirectory::Enter);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_, previous_;
};
