#include "tools/make/photos/photo_files.h"

#include <vips/vips8>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include <unistd.h>

#include "png/regular_file.h"
#include "tools/make/photos/cutout_mask.h"
#include "tools/make/photos/face_finder.h"
#include "tools/make/photos/jpeg_copy.h"
#include "tools/make/photos/photo_position.h"
#include "tools/make/photos/photo_quality.h"
#include "tools/make/photos/subject_crop.h"
#include "tools/make/photos/text_image.h"

using vips::VImage;

struct CroppedPhoto::Impl {
  VImage image;
};

CroppedPhoto::~CroppedPhoto() { delete impl; }

namespace {

// libvips reports through GLib's log; its warnings on damaged files would be a second, noisier
// report of what probe_photo says in one line. Some loaders fail with nothing but a warning (the
// PNG loader on a broken chunk): the first of the thread's call is kept, to say why.
thread_local std::string first_warning;
void quiet_log(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
  if (first_warning.empty() && message) first_warning = message;
}

constexpr const char* CANNOT_BE_READ = "cannot be read";

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
  // Read through a descriptor, libvips says "source" where it would have named the file.
  if (s == "source is not in a known format") s = "is not a known file format";
  else if (s.rfind("source ", 0) == 0) s.erase(0, 7);
  while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
  if (s.empty()) s = CANNOT_BE_READ;
  return reason.empty() || s.find(reason) != std::string::npos ? s : s + ": " + reason;
}

// thumbnail_source takes no fail_on of its own: the loader's options go in a string.
constexpr const char* FAIL_ON_ERROR = "fail_on=error";

// libvips reads each photo through a descriptor we opened, never by name: it retries a read a
// signal interrupts, so a photo swapped for a FIFO after a check would hold it for ever, deaf to
// Ctrl-C, and a link to /dev/zero never end. What is no regular file is refused before a byte is read.
class PhotoSource {
 public:
  PhotoSource(const std::string& path, std::string& why) : file_(path) {
    if (!file_.is_open()) why = "is not a regular file (a FIFO, a device or a folder)";
  }
  bool is_open() const { return file_.is_open(); }
  const RegularFile& file() const { return file_; }
  // A source reading from the file's start; libvips keeps a duplicate of the descriptor.
  vips::VSource source() const {
    lseek(file_.fd(), 0, SEEK_SET);
    return vips::VSource::new_from_descriptor(file_.fd());
  }

 private:
  RegularFile file_;
};

int orientation_of(const VImage& image) {
  if (image.get_typeof(VIPS_META_ORIENTATION) == 0) return 1;
  const int o = image.get_int(VIPS_META_ORIENTATION);
  return o >= 1 && o <= 8 ? o : 1;
}

bool upright_swaps(const VImage& image) { return orientation_of(image) >= 5; }

// sRGB, three 8-bit bands: grey, 16-bit and CMYK photos converted, transparency laid on black.
VImage as_srgb(VImage image) {
  if (image.interpretation() != VIPS_INTERPRETATION_sRGB || image.format() != VIPS_FORMAT_UCHAR)
    image = image.colourspace(VIPS_INTERPRETATION_sRGB);
  if (image.bands() == 4 || image.bands() == 2) image = image.flatten(VImage::option()->set("background", 0.0));
  if (image.bands() == 1) image = VImage::bandjoin(std::vector<VImage>{image, image, image});
  if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
  if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
  return image;
}

// libvips keeps one error buffer for the whole process: a call that fails while another thread's
// call fails too can report the other's error, or both. Calls run side by side; one that fails is
// run again alone, when the buffer holds its own error and nothing else.
std::shared_mutex calls;

template <class Body>
bool one_call(const std::string& path, std::string& why, Body body) {
  {
    std::shared_lock<std::shared_mutex> together(calls);
    try {
      return body();
    } catch (const vips::VError&) {
    }
  }
  std::unique_lock<std::shared_mutex> alone(calls);
  vips_error_clear();
  first_warning.clear();
  try {
    return body();
  } catch (const vips::VError& e) {
    why = first_line(e.what(), path);
    if (why == CANNOT_BE_READ && !first_warning.empty()) why = first_line(first_warning.c_str(), path);
    return false;
  }
}

// The size faces are looked for at, in pixels, some 560 × 560 whatever the photo's shape (a
// panorama shrunk to 560 across would leave its faces too small to find): a face a twelfth of the
// short side is still found, and the search costs some tens of milliseconds.
constexpr double FACE_SEARCH_PIXELS = 560.0 * 560.0;

// The faces in the photo, in its pixels.
std::vector<PixelBox> faces_in(const VImage& image) {
  const double scale = std::min(1.0, std::sqrt(FACE_SEARCH_PIXELS / (static_cast<double>(image.width()) * image.height())));
  VImage grey = image.colourspace(VIPS_INTERPRETATION_B_W).extract_band(0).cast(VIPS_FORMAT_UCHAR);
  if (scale < 1.0) grey = grey.resize(scale);
  size_t bytes = 0;
  void* pixels = grey.write_to_memory(&bytes);
  std::vector<PixelBox> faces = find_faces(static_cast<const uint8_t*>(pixels), grey.width(), grey.height());
  g_free(pixels);
  const double back = static_cast<double>(image.width()) / grey.width();
  for (PixelBox& f : faces)
    f = {static_cast<int>(f.left * back), static_cast<int>(f.top * back), static_cast<int>(std::ceil(f.width * back)),
         static_cast<int>(std::ceil(f.height * back))};
  return faces;
}

// Where the photo was taken: its EXIF GPS fields, else its XMP packet's.
void read_position(const VImage& header, PhotoCandidate& out) {
  auto field = [&](const char* name) { return header.get_typeof(name) != 0 ? std::string(header.get_string(name)) : ""; };
  std::optional<GeoPosition> at = exif_position(field("exif-ifd3-GPSLatitude"), field("exif-ifd3-GPSLatitudeRef"),
                                                field("exif-ifd3-GPSLongitude"), field("exif-ifd3-GPSLongitudeRef"));
  if (!at && header.get_typeof(VIPS_META_XMP_NAME) != 0) {
    size_t size = 0;
    const void* xmp = header.get_blob(VIPS_META_XMP_NAME, &size);
    if (xmp) at = xmp_position(std::string_view(static_cast<const char*>(xmp), size));
  }
  out.located = at.has_value();
  out.latitude = at ? at->latitude : 0;
  out.longitude = at ? at->longitude : 0;
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
  const PhotoSource photo(path, why);
  if (!photo.is_open()) return false;
  return one_call(path, why, [&]() -> bool {
    VImage header = VImage::new_from_source(photo.source(), "", VImage::option()
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
    out.orientation = orientation_of(header);
    out.taken.clear();
    for (const char* field : {"exif-ifd2-DateTimeOriginal", "exif-ifd2-DateTimeDigitized", "exif-ifd0-DateTime"}) {
      if (header.get_typeof(field) == 0) continue;
      out.taken = exif_time(header.get_string(field));
      if (!out.taken.empty()) break;
    }
    read_position(header, out);
    if (decode) {
      // A small copy reads every byte of the file (shrinking on load where it can): a truncated or
      // damaged photo fails here. It also tells what the photo looks like.
      VImage small = VImage::thumbnail_source(photo.source(), QUALITY_SIDE, VImage::option()
                                                                                  ->set("height", QUALITY_SIDE)
                                                                                  ->set("option_string", FAIL_ON_ERROR));
      small = as_srgb(small).colourspace(VIPS_INTERPRETATION_B_W).extract_band(0).cast(VIPS_FORMAT_UCHAR);
      size_t bytes = 0;
      void* grey = small.write_to_memory(&bytes);
      const PhotoLooks looks = look_at(static_cast<const uint8_t*>(grey), small.width(), small.height());
      g_free(grey);
      out.hash = looks.hash;
      out.vertical_hash = looks.vertical_hash;
      out.sharpness = looks.sharpness;
      out.detail = looks.detail;
      out.luma = looks.luma;
      out.dark = looks.dark;
    }
    return true;
  });
}

bool make_cover(const std::string& path, int width, int height, bool enlarge, CroppedPhoto& out, std::string& why) {
  const PhotoSource photo(path, why);
  if (!photo.is_open()) return false;
  return one_call(path, why, [&]() -> bool {
    VImage header = VImage::new_from_source(photo.source(), "", VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
    int w = header.width(), h = header.height();
    if (upright_swaps(header)) std::swap(w, h);
    // Scale so the photo just covers width × height; thumbnail fits inside a box of the photo's
    // own shape, so the box is the photo scaled.
    double scale = std::max(static_cast<double>(width) / w, static_cast<double>(height) / h);
    if (!enlarge) scale = std::min(scale, 1.0);
    const int box_w = std::max(1, static_cast<int>(std::ceil(w * scale))), box_h = std::max(1, static_cast<int>(std::ceil(h * scale)));
    VImage image = VImage::thumbnail_source(photo.source(), box_w, VImage::option()
                                                                       ->set("height", box_h)
                                                                       ->set("size", enlarge ? VIPS_SIZE_BOTH : VIPS_SIZE_DOWN)
                                                                       ->set("option_string", FAIL_ON_ERROR));
    image = as_srgb(image).copy_memory();  // the attention search reads it more than once, out of order
    // The crop: width × height, or that shape as large as the photo allows.
    const double fit = std::min({1.0, static_cast<double>(image.width()) / width, static_cast<double>(image.height()) / height});
    const int cw = std::max(1, std::min(image.width(), static_cast<int>(std::lround(width * fit))));
    const int ch = std::max(1, std::min(image.height(), static_cast<int>(std::lround(height * fit))));
    CropCorner at{(image.width() - cw) / 2, (image.height() - ch) / 2};
    if (cw != image.width() || ch != image.height()) {
      const std::vector<PixelBox> faces = faces_in(image);
      if (!faces.empty()) {
        at = crop_around_faces(image.width(), image.height(), cw, ch, faces);
      } else {
        // Where the subject is: skin, saturated colour and detail, as libvips' "attention" finds them.
        int ax = 0, ay = 0;
        (void)image.smartcrop(cw, ch, VImage::option()
                                          ->set("interesting", VIPS_INTERESTING_ATTENTION)
                                          ->set("attention_x", &ax)
                                          ->set("attention_y", &ay));
        at = crop_around_point(image.width(), image.height(), cw, ch, ax, ay);
      }
    }
    const int left = at.left, top = at.top;
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
  });
}

bool make_square(const std::string& path, int side, CroppedPhoto& out, std::string& why) {
  return make_cover(path, side, side, false, out, why);
}

namespace {

bool read_bytes(const RegularFile& file, std::string& bytes) {
  bytes.resize(file.size());
  bytes.resize(file.read_at(0, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
  return bytes.size() == file.size();
}

bool write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

}  // namespace

namespace {

// The caption set on the photo, where place_caption puts it; the photo as it was where no place
// is free of faces.
VImage with_caption(VImage image, const PhotoCaption& caption, PixelBox& where) {
  image = image.copy_memory();  // read as it was decoded, top to bottom; the faces are looked for first
  const int long_side = std::max(image.width(), image.height());
  const double size = std::max(8.0, caption.size * long_side);
  const VImage line = text_picture(caption.text, size, image.width() * 3 / 5, 1, false);
  const std::optional<PixelBox> at = place_caption(image.width(), image.height(), line.width(), line.height(),
                                                   static_cast<int>(size * 0.3), caption.seen, faces_in(image));
  if (!at) return image;
  where = *at;
  return image.composite2(line, VIPS_BLEND_MODE_OVER, VImage::option()->set("x", at->left)->set("y", at->top))
      .extract_band(0, VImage::option()->set("n", 3))
      .cast(VIPS_FORMAT_UCHAR);
}

}  // namespace

bool write_open_photo(const PhotoCandidate& photo, int number, int long_side, bool square, const std::string& folder,
                      WrittenPhoto& out, std::string& why, const PhotoCaption* caption) {
  if (caption && caption->text.empty()) caption = nullptr;
  out = WrittenPhoto{};
  const std::string stem = folder + "/" + std::to_string(number);
  const PhotoSource file(photo.path, why);
  if (!file.is_open()) return false;
  // The copy reads the file whole: one far larger than its pixels could need (a small JPEG with
  // gigabytes after its end) is encoded again instead, which reads only the picture.
  const uint64_t copy_limit = uint64_t(photo.width) * uint64_t(photo.height) * 4 + (uint64_t(16) << 20);
  if (!square && !caption && std::max(photo.width, photo.height) <= long_side && file.file().size() <= copy_limit) {
    std::string bytes;
    if (read_bytes(file.file(), bytes) && bytes.size() > 2 && bytes[0] == '\xFF' && bytes[1] == '\xD8') {
      const std::string copy = stripped_jpeg(bytes, photo.orientation);
      if (!copy.empty()) {
        out.file = std::to_string(number) + ".jpg";
        out.width = photo.width;
        out.height = photo.height;
        out.copied = true;
        if (!write_bytes(stem + ".jpg", copy)) {
          why = "cannot write " + stem + ".jpg: " + std::strerror(errno);
          return false;
        }
        return true;
      }
    }
  }
  CroppedPhoto cropped;
  if (square) {
    if (!make_cover(photo.path, long_side, long_side, false, cropped, why)) return false;
    out.crop_left = cropped.crop_left;
    out.crop_top = cropped.crop_top;
    out.crop_side = cropped.crop_width;
  }
  return one_call(photo.path, why, [&]() -> bool {
    VImage image;
    bool lossless = false;
    if (square) {
      image = cropped.impl->image;
    } else {
      // Shrunk on load where the format allows, turned upright, its colour profile applied.
      image = VImage::thumbnail_source(file.source(), long_side, VImage::option()
                                                                     ->set("height", long_side)
                                                                     ->set("size", VIPS_SIZE_DOWN)
                                                                     ->set("option_string", FAIL_ON_ERROR));
      lossless = image.get_typeof("vips-loader") != 0 && std::string(image.get_string("vips-loader")).rfind("pngload", 0) == 0;
      image = as_srgb(image);
    }
    if (caption) image = with_caption(image, *caption, out.caption);
    out.file = std::to_string(number) + (lossless ? ".png" : ".jpg");
    out.width = image.width();
    out.height = image.height();
    if (lossless) image.pngsave((stem + ".png").c_str(), VImage::option()->set("compression", 3)->set("strip", true));
    else image.jpegsave((stem + ".jpg").c_str(), VImage::option()->set("Q", 90)->set("strip", true));
    return true;
  });
}

namespace {

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
  return one_call(path, why, [&]() -> bool {
    save(photo.impl->image, type, cutout, palette, path);
    return true;
  });
}

bool write_entry(const CroppedPhoto& square, EntryType type, Cutout cutout, bool backdrop, int side,
                 const std::string& path, std::string& why) {
  return one_call(path, why, [&]() -> bool {
    VImage image = square.impl->image;
    if (backdrop) {
      // Behind both layers: soft and dim, so the photos in front stand out. Blurred at a small
      // size, where it costs little, then brought to the side asked for.
      const int small = std::min(square.side, 512);
      image = image.resize(static_cast<double>(small) / square.side);
      // Lifted as well as dimmed: no part of it is black, so that it fills what the photos leave
      // of the screen however dark the photo.
      image = image.gaussblur(small / 64.0).linear(0.55, 30.0).cast(VIPS_FORMAT_UCHAR);
    }
    if (image.width() != side) {
      image = image.resize(static_cast<double>(side) / image.width(),
                           VImage::option()->set("vscale", static_cast<double>(side) / image.height()));
    }
    save(image, type, cutout, false, path);
    return true;
  });
}
