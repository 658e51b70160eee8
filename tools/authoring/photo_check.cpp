#include "tools/authoring/photo_check.h"

#include <sys/stat.h>

#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>

#include "photos/image_codecs.h"
#include "photos/image_format.h"
#include "photos/load_sequence.h"
#include "photos/photo_catalogue.h"
#include "png/png_decode.h"
#include "png/read_file_bytes.h"
#include "png/result_codes.h"
#include "show/music_clock.h"

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

// What one track shows: each whole number its value truncates to, with the first row it does.
// Between two interpolated keys every number between their values is passed on the way.
void numbers_shown(const SyncTrack& track, std::map<long long, int32_t>& first_row, long long& low, long long& high,
                   int32_t& outside_row) {
  auto add = [&](double a, double b, int32_t row) {
    const long long lo = static_cast<long long>(std::trunc(std::min(a, b)));
    const long long hi = static_cast<long long>(std::trunc(std::max(a, b)));
    // The parts of [lo, hi] outside the catalogue: their lowest and highest number.
    if (lo < 0 || hi >= PHOTO_COUNT) {
      if (outside_row < 0 || row < outside_row) outside_row = row;
      low = std::min(low, lo < 0 ? lo : std::max(lo, static_cast<long long>(PHOTO_COUNT)));
      high = std::max(high, hi >= PHOTO_COUNT ? hi : std::min(hi, -1LL));
    }
    for (long long n = std::max(lo, 0LL); n <= std::min(hi, static_cast<long long>(PHOTO_COUNT - 1)); ++n)
      if (!first_row.count(n) || row < first_row[n]) first_row[n] = row;
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
  const std::vector<uint8_t> bytes = read_file_bytes(path);
  if (bytes.empty()) {
    e.result.reason = exists ? "it is empty or cannot be read" : "it is missing";
    return e.result;
  }
  const ImageFormat format = sniff_image_format(bytes);
  if (format == ImageFormat::Unknown) {
    e.result.reason = "it is no image: its first bytes are not those of a PNG, JPEG, GIF or BMP file";
    return e.result;
  }
  // As the loaders go about it: our PNG decoder first for a PNG entry, the codecs for the rest.
  std::string png_reason;
  if (!picture_loader && format == ImageFormat::Png) {
    PngInfo info;
    std::vector<uint8_t> pixels;
    const uint32_t code = png_decode(bytes, info, pixels);
    if (code == 0 && info.width > 0 && info.height > 0) {
      e.result = {true, info.width, info.height, ""};
      return e.result;
    }
    png_reason = describe_result(code);
  }
  init_image_codecs();
  SurfacePtr surface = load_image_bytes(bytes, sdl_image_type(format));
  if (surface && surface->w > 0 && surface->h > 0) {
    e.result = {true, static_cast<uint32_t>(surface->w), static_cast<uint32_t>(surface->h), ""};
    return e.result;
  }
  const std::string codecs = IMG_GetError();
  e.result.reason = !png_reason.empty() ? png_reason + (codecs.empty() ? "" : "; the codecs: " + codecs)
                                        : (codecs.empty() ? "the codecs cannot read it" : codecs);
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
    if (outside >= 0)
      beyond.push_back({n_name + " shows " + std::to_string(low) + (high != low ? " to " + std::to_string(high) : "") +
                            " from " + seconds_text(outside) +
                            ", outside the catalogue (0 to 43): the layer shows only its colour",
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
  return problems;
}
