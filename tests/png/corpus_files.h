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

// The IDAT data of a PNG file, joined: one zlib stream.
inline std::vector<uint8_t> idat_of(const std::vector<uint8_t>& png) {
    std::vector<uint8_t> idat;
    for (size_t s = 33; s + 12 <= png.size();) {
        const uint32_t length = uint32_t{png[s]} << 24 | uint32_t{png[s + 1]} << 16 | uint32_t{png[s + 2]} << 8 | png[s + 3];
        if (s + 12 + uint64_t{length} > png.size()) break;
        const auto data = png.begin() + long(s) + 8;
        if (std::equal(data - 4, data, "IDAT")) idat.insert(idat.end(), data, data + length);
        s += 12 + size_t{length};
    }
    return idat;
}

// "package/name" of a photo, or the file name.
inline std::string label(const std::filesystem::path& path) {
    return path.parent_path().filename().string() + "/" + path.filename().string();
}

}  // namespace corpus
