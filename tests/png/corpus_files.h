#pragma once
// The real files that scripts/corpus.sh gathers (photographs from Debian packages, installed
// files and their zlib streams), for the benchmarks, the differential tests and the fuzz seeds.
// Everything here returns nothing when the corpus has not been made.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace corpus {

// HALLSHOW_CORPUS if set, else the build/corpus folder of the source tree.
inline std::filesystem::path directory() {
    if (const char* env = std::getenv("HALLSHOW_CORPUS"); env && *env) return env;
#ifdef HALLSHOW_CORPUS_DIR
    return HALLSHOW_CORPUS_DIR;
#else
    return "build/corpus";
#endif
}

// The files below directory()/sub (links followed) whose names end with `suffix`, sorted.
inline std::vector<std::filesystem::path> files(const std::string& sub, const std::string& suffix) {
    std::vector<std::filesystem::path> out;
    std::error_code error;
    const auto options = std::filesystem::directory_options::follow_directory_symlink;
    for (std::filesystem::recursive_directory_iterator it(directory() / sub, options, error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(error) && name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<uint8_t> read(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// "package/name" of a photo, or the file name.
inline std::string label(const std::filesystem::path& path) {
    return path.parent_path().filename().string() + "/" + path.filename().string();
}

}  // namespace corpus
