#include "tools/make/photo_files.h"

#include <vips/vips8>

#include <algorithm>
#include <cmath>

#include "png/regular_file.h"
#include "tools/make/cutout_mask.h"

using vips::VImage;

struct CroppedPhoto::Impl {
  VImage image;
};

CroppedPhoto::~CroppedPhoto() { delete impl; }

namespace {

// libvips reports through GLib's log; its warnings on damaged files would be a second, noisier
// report of what probe_photo says in one line.
void quiet_log(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// libvips' message, on one line, without the file's name (the caller puts it in front) and with
// the system's reason where libvips gives one on a line of its own ("unix error: ...").
std::string first_line(const char* message, const std::string& path) {
  std::string s = message ? message : "";
  vips_error_clear();
  std::string reason;
  if (size_t at = s.find("unix error: "); at != std::string::npos) {
    reason = s.substr(at + 12);
    reason.erase(std::min(reason.find('\n'), reason.size()));
  }
  for (const std::string& name : {"\"" + path + "\" ", path + ": ", "\"" + path + "\"", path})
    for (size_t at; !name.empty() && (at = s.find(name)) != std::string::npos;) s.erase(at, name.size());
  // libvips prefixes the operation's name and may run on over several lines.
  if (size_t nl = s.find('\n'); nl != std::string::npos) s.erase(nl);
  if (size_t colon = s.find(": "); colon != std::string::npos && colon < 24) s.erase(0, colon + 2);
  while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
  if (s.empty()) s = "cannot be read";
  return reason.empty() || s.find(reason) != std::string::npos ? s : s + ": " + reason;
}

// libvips opens by name and retries a read a signal interrupts: a FIFO would hold it for ever,
// deaf to Ctrl-C, and /dev/zero never end. What is no regular file is refused first.
bool regular_file(const std::string& path, std::string& why) {
  if (RegularFile(path).is_open()) return true;
  why = "is not a regular file (a FIFO, a device or a folder)";
  return false;
}

bool upright_swaps(const VImage& image) {
  if (image.get_typeof(VIPS_META_ORIENTATION) == 0) return false;
  const int o = image.get_int(VIPS_META_ORIENTATION);
  return o >= 5 && o <= 8;
}

// sRGB, three 8-bit bands: grey, 16-bit and CMYK photos converted, transparency laid on black.
VImage as_srgb(VImage image) {
  if (image.interpretation() != VIPS_INTERPRETATION_sRGB || image.format() != VIPS_FORMAT_UCHAR)
    image = image.colourspace(VIPS_INTERPRETATION_sRGB);
  if (image.bands() == 4 || image.bands() == 2) image = image.flatten(VImage::option()->set("background", 0.0));
  if (image.bands() == 1) image = image.bandjoin({image, image});
  if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
  if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
  return image;
}

}  // namespace

bool start_photo_library(const char* argv0) {
  if (VIPS_INIT(argv0) != 0) return false;
  // Photos come from anywhere: loaders that are not made for files from anywhere (librsvg for an
  // SVG, poppler for a PDF, ImageMagick, Matlab, ...) are refused, whatever a file is named.
  vips_block_untrusted_set(TRUE);
  g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE), quiet_log, nullptr);
  vips_cache_set_max(0);  // each photo is read once; a cache only holds memory
  return true;
}

bool probe_photo(const std::string& path, bool decode, PhotoCandidate& out, std::string& why) {
  if (!regular_file(path, why)) return false;
  try {
    VImage header = VImage::new_from_file(path.c_str(), VImage::option()
                                                           ->set("access", VIPS_ACCESS_SEQUENTIAL)
                                                           ->set("fail_on", VIPS_FAIL_ON_ERROR));
    int w = header.width(), h = header.height();
    if (static_cast<double>(w) * h > MAX_PHOTO_MEGAPIXELS * 1e6) {
      why = std::to_string(w) + "x" + std::to_string(h) + " pixels is beyond the " +
            std::to_string(static_cast<int>(MAX_PHOTO_MEGAPIXELS)) + " megapixels a photo may have";
      return false;
    }
    if (upright_swaps(header)) std::swap(w, h);
    out.path = path;
    out.width = w;
    out.height = h;
    out.taken.clear();
    for (const char* field : {"exif-ifd2-DateTimeOriginal", "exif-ifd2-DateTimeDigitized", "exif-ifd0-DateTime"}) {
      if (header.get_typeof(field) == 0) continue;
      out.taken = exif_time(header.get_string(field));
      if (!out.taken.empty()) break;
    }
    if (decode) {
      // A tiny thumbnail reads every byte of the file (shrinking on load where it can): a
      // truncated or damaged photo fails here.
      VImage small = VImage::thumbnail(path.c_str(), 48, VImage::option()->set("fail_on", VIPS_FAIL_ON_ERROR));
      (void)small.avg();
    }
    return true;
  } catch (const vips::VError& e) {
    why = first_line(e.what(), path);
    return false;
  }
}

bool make_cover(const std::string& path, int width, int height, bool enlarge, CroppedPhoto& out, std::string& why) {
  if (!regular_file(path, why)) return false;
  try {
    VImage header = VImage::new_from_file(path.c_str(), VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
    int w = header.width(), h = header.height();
    if (upright_swaps(header)) std::swap(w, h);
    // Scale so the photo just covers width × height; thumbnail fits inside a box of the photo's
    // own shape, so the box is the photo scaled.
    double scale = std::max(static_cast<double>(width) / w, static_cast<double>(height) / h);
    if (!enlarge) scale = std::min(scale, 1.0);
    const int box_w = std::max(1, static_cast<int>(std::ceil(w * scale))), box_h = std::max(1, static_cast<int>(std::ceil(h * scale)));
    VImage image = VImage::thumbnail(path.c_str(), box_w, VImage::option()
                                                              ->set("height", box_h)
                                                              ->set("size", enlarge ? VIPS_SIZE_BOTH : VIPS_SIZE_DOWN)
                                                              ->set("fail_on", VIPS_FAIL_ON_ERROR));
    image = as_srgb(image).copy_memory();  // the attention search reads it more than once, out of order
    // The crop: width × height, or that shape as large as the photo allows.
    const double fit = std::min({1.0, static_cast<double>(image.width()) / width, static_cast<double>(image.height()) / height});
    const int cw = std::max(1, std::min(image.width(), static_cast<int>(std::lround(width * fit))));
    const int ch = std::max(1, std::min(image.height(), static_cast<int>(std::lround(height * fit))));
    int ax = image.width() / 2, ay = image.height() / 2;
    if (cw != image.width() || ch != image.height()) {
      // Where the subject is: skin, saturated colour and detail, as libvips' "attention" finds them.
      (void)image.smartcrop(cw, ch, VImage::option()
                                        ->set("interesting", VIPS_INTERESTING_ATTENTION)
                                        ->set("attention_x", &ax)
                                        ->set("attention_y", &ay));
    }
    const int left = std::clamp(ax - cw / 2, 0, image.width() - cw), top = std::clamp(ay - ch / 2, 0, image.height() - ch);
    delete out.impl;
    out.impl = new CroppedPhoto::Impl{image.extract_area(left, top, cw, ch).copy_memory()};
    out.width = cw;
    out.height = ch;
    out.side = std::min(cw, ch);
    const double k = static_cast<double>(w) / image.width();
    out.crop_left = left * k;
    out.crop_top = top * k;
    out.crop_width = cw * k;
    out.crop_height = ch * k;
    return true;
  } catch (const vips::VError& e) {
    why = first_line(e.what(), path);
    return false;
  }
}

bool make_square(const std::string& path, int side, CroppedPhoto& out, std::string& why) {
  return make_cover(path, side, side, false, out, why);
}

namespace {

Cutout cutout_of(EntryRole role) {
  switch (role) {
    case EntryRole::Cameo: return Cutout::Cameo;
    case EntryRole::Frame: return Cutout::Frame;
    case EntryRole::Iris: return Cutout::Iris;
    default: return Cutout::None;
  }
}

// Saves in the type asked for; a cut-out gets its alpha. libvips reads the mask's bytes where they
// are while it saves, so they live until the save is done.
void save(VImage image, EntryType type, Cutout cutout, bool palette, const std::string& path) {
  std::vector<uint8_t> mask;
  if (cutout != Cutout::None) {
    mask = cutout_mask(cutout, image.width(), image.height());
    image = image.bandjoin(VImage::new_from_memory(mask.data(), mask.size(), image.width(), image.height(), 1,
                                                   VIPS_FORMAT_UCHAR));
  }
  switch (type) {
    case EntryType::Jpeg:
      image.jpegsave(path.c_str(), VImage::option()->set("Q", 90)->set("strip", true));
      break;
    case EntryType::Png:
      image.pngsave(path.c_str(), VImage::option()->set("compression", 3)->set("strip", true)->set("palette", palette));
      break;
    case EntryType::Gif:
      image.gifsave(path.c_str(), VImage::option()->set("strip", true));
      break;
  }
}

}  // namespace

bool write_photo_file(const CroppedPhoto& photo, EntryType type, Cutout cutout, bool palette, const std::string& path,
                      std::string& why) {
  try {
    save(photo.impl->image, type, cutout, palette, path);
    return true;
  } catch (const vips::VError& e) {
    why = first_line(e.what(), path);
    return false;
  }
}

bool write_entry(const CroppedPhoto& square, EntryType type, EntryRole role, int side, const std::string& path,
                 std::string& why) {
  try {
    VImage image = square.impl->image;
    if (role == EntryRole::Backdrop) {
      // Behind both layers: soft and dim, so the photos in front stand out. Blurred at a small
      // size, where it costs little, then brought to the side asked for.
      const int small = std::min(square.side, 512);
      image = image.resize(static_cast<double>(small) / square.side);
      image = image.gaussblur(small / 64.0).linear(0.6, 0.0).cast(VIPS_FORMAT_UCHAR);
    }
    if (image.width() != side) {
      image = image.resize(static_cast<double>(side) / image.width(),
                           VImage::option()->set("vscale", static_cast<double>(side) / image.height()));
    }
    save(image, type, cutout_of(role), false, path);
    return true;
  } catch (const vips::VError& e) {
    why = first_line(e.what(), path);
    return false;
  }
}
