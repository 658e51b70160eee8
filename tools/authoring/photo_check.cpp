#include "tools/authoring/photo_check.h"

#include <sys/stat.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>

#include "photos/image_format.h"
#include "photos/image_size.h"
#include "photos/load_sequence.h"
#include "photos/open_entries.h"
#include "photos/photo_catalogue.h"
#include "photos/photo_file.h"
#include "photos/texture_loaders.h"
#include "png/png_decode.h"
#include "png/result_codes.h"
#include "show/music_clock.h"
#include "show/scene.h"
#include "tools/authoring/open_photo_check.h"

namespace fs = std::filesystem;

namespace {

// The entries the show never loads: listed in the catalogue, but no load takes them.
std::set<int> loaded_entries() {
  std::set<int> loaded;
  for (const LoadJob& job : load_jobs()) loaded.insert(static_cast<int>(job.index));
  return loaded;
}

bool picture_entry(int index) {
  for (const LoadJob& job : load_jobs())
    if (static_cast<int>(job.index) == index) return job.loader == LoaderKind::Picture;
  return false;
}

std::string entry_path(int index) {
  const PhotoEntry& e = PHOTO_CATALOGUE[index];
  return picture_entry(index) ? std::string(e.path) : utf8_path(e.wide_path);
}

std::string seconds_text(int32_t row) {
  char text[32];
  std::snprintf(text, sizeof text, "%gs", row / ROW_RATE);
  return text;
}

// What one track shows: each catalogue entry its values bind as a texture name (layer_texture_name,
// the scene's own rule), with the first row it does, and where it binds none.
// Between two interpolated keys every value between theirs is passed on the way.
void numbers_shown(const SyncTrack& track, std::map<long long, int32_t>& first_row, long long& low, long long& high,
                   int32_t& outside_row) {
  const auto shows = [&](long long n, int32_t row) {
    if (!first_row.count(n) || row < first_row[n]) first_row[n] = row;
  };
  // Every value from a to b, each bound as the scene binds it.
  auto add = [&](double a, double b, int32_t row) {
    // Interpolation to or from a value that is not finite gives NaN or an infinity all the way, and
    // those bind name 0; so does any value at or beyond 2^63 in size, and any multiple of 2^32.
    if (!std::isfinite(a) || !std::isfinite(b)) return shows(0, row);
    constexpr double TWO_32 = 4294967296.0, BEYOND = 9223372036854775808.0;
    const double lo = std::min(a, b), hi = std::max(a, b);
    const auto outside_at = [](double v) { return layer_texture_name(float(v)) >= uint32_t(PHOTO_COUNT); };
    bool outside = false;
    if (lo == hi) {
      if (outside_at(lo)) outside = true;
      else shows(layer_texture_name(float(lo)), row);
    } else {
      // Truncation toward zero: entry n for [n, n + 1), entry 0 for (-1, 1).
      for (long long n = 0; n < PHOTO_COUNT; ++n)
        if (lo < double(n + 1) && (n == 0 ? hi > -1.0 : hi >= double(n))) shows(n, row);
      const double m_lo = std::ceil(std::max(lo, -BEYOND) / TWO_32), m_hi = std::floor(std::min(hi, BEYOND) / TWO_32);
      if (lo <= -BEYOND || hi >= BEYOND || m_hi >= std::max(m_lo, 1.0) || m_lo <= std::min(m_hi, -1.0)) shows(0, row);
      // Past the catalogue on either side, below 2^63 in size, is some value that is no multiple of 2^32.
      const double p0 = std::max(lo, double(PHOTO_COUNT)), p1 = std::min(hi, BEYOND);
      const double n0 = std::max(lo, -BEYOND), n1 = std::min(hi, -1.0);
      outside = p0 < p1 || (p0 == p1 && outside_at(p0)) || n0 < n1 || (n0 == n1 && outside_at(n0));
    }
    // The parts outside the catalogue, as written: their lowest and highest whole number.
    if (outside) {
      constexpr double NEAREST = 9223372036854774784.0;  // the double below 2^63
      const long long lo_t = static_cast<long long>(std::trunc(std::max(lo, -NEAREST)));
      const long long hi_t = static_cast<long long>(std::trunc(std::min(hi, NEAREST)));
      if (outside_row < 0 || row < outside_row) outside_row = row;
      low = std::min(low, lo_t < 0 ? lo_t : std::max(lo_t, static_cast<long long>(PHOTO_COUNT)));
      high = std::max(high, hi_t >= PHOTO_COUNT ? hi_t : std::min(hi_t, -1LL));
    }
  };
  if (track.keys.empty()) {
    add(0, 0, 0);
    return;
  }
  for (size_t i = 0; i < track.keys.size(); ++i) {
    const TrackKey& k = track.keys[i];
    const bool last = i + 1 == track.keys.size();
    const int32_t row = std::max(k.row, 0);
    if (k.type < Step || k.type > Ramp) add(0, 0, row);  // an unknown interpolation reads 0
    else if (last || k.type == Step) add(k.value, k.value, row);
    else add(k.value, track.keys[i + 1].value, row);
  }
}

// A layer whose scale is -1 everywhere draws nothing: its photo is never seen.
bool hidden(const SyncTrack* scale) {
  if (!scale || scale->keys.empty()) return false;
  return std::all_of(scale->keys.begin(), scale->keys.end(),
                     [](const TrackKey& k) { return k.value == -1.0f && k.type >= Step && k.type <= Ramp; });
}

const SyncTrack* find(const std::vector<const SyncTrack*>& tracks, std::string_view name) {
  for (const SyncTrack* t : tracks)
    if (t && t->name == name) return t;
  return nullptr;
}

// The file in `folder` whose name equals `name` but for case, other than `name` itself.
std::optional<std::string> case_twin(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string other = e.path().filename().string();
    if (other != name && lower(other) == lower(name)) return other;
  }
  return std::nullopt;
}

// Why the loaders refuse a file before any decoder sees it (photos/photo_file.h, the header checks
// of photos/file_texture.cpp and photos/picture_image.cpp); empty when they hand it to one.
std::string refusal(const struct stat& st, const std::vector<uint8_t>& bytes) {
  if (!S_ISREG(st.st_mode)) return "it is no regular file (a FIFO, a device or a folder), which the show never reads";
  if (st.st_size == 0) return "it is empty";
  if (uint64_t(st.st_size) > PHOTO_FILE_LIMIT) return "it is larger than 1 GiB, more than any photo the show reads";
  if (bytes.empty() || sniff_image_format(bytes) == ImageFormat::Unknown)
    return "it is no image the show reads: its first bytes are not those of a PNG, JPEG, GIF or BMP file";
  const ImageSize size = image_size(bytes);
  if (size.width == 0 || size.height == 0) return "its header does not tell its size";
  if (too_large_to_decode(size))
    return "its header claims " + std::to_string(size.width) + "x" + std::to_string(size.height) +
           " pixels, more than the show decodes (1 GiB of pixels)";
  return {};
}

}  // namespace

const PhotoFileCache::Result& PhotoFileCache::of(const std::string& path, bool picture_loader) {
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  Entry& e = entries_[path + (picture_loader ? "|picture" : "|file")];
  const long long inode = exists ? static_cast<long long>(st.st_ino) : -2;
  const long long mtime = exists ? st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec : -2;
  if (e.inode == inode && e.size == (exists ? st.st_size : -2) && e.mtime_ns == mtime) return e.result;
  e.inode = inode;
  e.size = exists ? st.st_size : -2;
  e.mtime_ns = mtime;
  e.result = Result{};
  if (!exists) {
    e.result.reason = "it is missing";
    return e.result;
  }
  // The verdict is the loader's own: the file is decoded as the show decodes it, guards and all (a
  // codec is never handed what the show would not hand it), and only the reason is worked out here.
  SDL_ClearError();
  const TextureImage image = picture_loader ? decode_picture_image(path, 1) : decode_file_texture(path);
  const std::vector<uint8_t> bytes = read_photo_file(path);
  const ImageSize size = image_size(bytes);
  if (image.kind != TextureImage::Kind::None) {
    e.result = {true, size.width, size.height, ""};
    return e.result;
  }
  e.result.reason = refusal(st, bytes);
  if (!e.result.reason.empty()) return e.result;
  // Decoded and failed: what our PNG decoder says of a PNG, and what the codecs said.
  std::string png_reason;
  if (size.format == ImageFormat::Png) {
    PngInfo info;
    std::vector<uint8_t> pixels;
    png_reason = describe_result(png_decode(bytes, info, pixels));
  }
  const std::string codecs = SDL_GetError();
  if (picture_loader && size.format == ImageFormat::Png)
    e.result.reason = png_reason;  // the picture loader reads a PNG by the fallback alone
  else if (!png_reason.empty())
    e.result.reason = png_reason + (codecs.empty() ? "" : "; the codecs: " + codecs);
  else
    e.result.reason = codecs.empty() ? "the codecs cannot read it" : codecs;
  return e.result;
}

std::vector<PhotoProblem> check_photos(const std::string& dir, const std::vector<const SyncTrack*>& tracks,
                                       PhotoFileCache& cache) {
  // Who shows which entry, first: the two layers' n tracks (unless the layer is hidden) and the
  // backdrop whenever "happy" reads 1.
  struct Shown {
    std::string by;
    int32_t row;
  };
  std::map<int, Shown> shown;
  std::vector<PhotoProblem> beyond;  // values outside the catalogue or never loaded
  const std::set<int> loaded = loaded_entries();
  for (const char* layer : {"back", "beard"}) {
    const std::string n_name = std::string(layer) + ".n";
    const SyncTrack* n = find(tracks, n_name);
    if (!n || hidden(find(tracks, std::string(layer) + ".scale"))) continue;
    std::map<long long, int32_t> first;
    long long low = std::numeric_limits<long long>::max(), high = std::numeric_limits<long long>::min();
    int32_t outside = -1;
    numbers_shown(*n, first, low, high, outside);
    for (const auto& [number, row] : first) {
      const int index = static_cast<int>(number);
      if (!loaded.count(index)) {
        beyond.push_back({n_name + " shows " + std::to_string(index) + " from " + seconds_text(row) +
                              ", an entry the show never loads (6 to 10 and 28): the layer shows only its colour",
                          false});
        continue;
      }
      if (!shown.count(index) || row < shown[index].row) shown[index] = {n_name, row};
    }
    // Numbers from 44 up name the folder's open photos, which check_open_photos looks at.
    const bool open_numbers_only = low >= PHOTO_COUNT && high < static_cast<long long>(OPEN_ENTRY_LIMIT);
    if (outside >= 0 && !open_numbers_only)
      beyond.push_back({n_name + " shows " + std::to_string(low) + (high != low ? " to " + std::to_string(high) : "") +
                            " from " + seconds_text(outside) +
                            ", outside the catalogue (0 to 43)" +
                            (high >= static_cast<long long>(OPEN_ENTRY_LIMIT)
                                 ? " and past " + std::to_string(OPEN_ENTRY_LIMIT - 1) + ", the last number a photo from 44 up has"
                                 : std::string()) +
                            ": the layer shows only its colour",
                        false});
  }
  if (const SyncTrack* happy = find(tracks, "happy")) {
    std::map<long long, int32_t> first;
    long long low = 0, high = 0;
    int32_t outside = -1;  // "happy" outside 0..43 is no photo: only its 1 matters here
    numbers_shown(*happy, first, low, high, outside);
    if (first.count(1) && (!shown.count(17) || first[1] < shown[17].row)) shown[17] = {"happy (the backdrop)", first[1]};
  }

  std::vector<PhotoProblem> problems;
  const fs::path root(dir);
  std::set<std::string> checked;  // entry 43 shares its file with 40
  for (int index = 0; index < PHOTO_COUNT; ++index) {
    if (!loaded.count(index)) continue;
    const std::string rel = entry_path(index);
    const fs::path path = root / rel;
    const auto by = shown.find(index);
    const std::string shown_by =
        by == shown.end() ? "" : "; " + by->second.by + " shows it from " + seconds_text(by->second.row);
    const bool present = fs::exists(path);
    const std::optional<std::string> twin = case_twin(path.parent_path(), path.filename().string());
    const std::string twin_rel = twin ? (fs::path(rel).parent_path() / *twin).string() : "";
    if (!present) {
      if (twin)
        problems.push_back({rel + " is missing, but there is " + twin_rel +
                                ": the show reads only the name as written, case too" + shown_by,
                            by != shown.end()});
      else if (by != shown.end())
        problems.push_back({rel + " is missing" + shown_by, true});
      continue;
    }
    if (twin) problems.push_back({twin_rel + " differs from " + rel + " only in case: the show reads " + rel, false});
    if (!checked.insert(rel).second) continue;
    const PhotoFileCache::Result& r = cache.of(path.string(), picture_entry(index));
    if (!r.readable) {
      problems.push_back({rel + " cannot be decoded: " + r.reason + shown_by, by != shown.end()});
      continue;
    }
    if (picture_entry(index) && r.width != r.height)
      problems.push_back({rel + " is " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                              ", not square: the show stretches it over a square",
                          false});
  }
  problems.insert(problems.end(), beyond.begin(), beyond.end());
  const std::vector<PhotoProblem> open = check_open_photos(dir, tracks);
  problems.insert(problems.end(), open.begin(), open.end());
  return problems;
}
