// The picture loader: JPEG, GIF and BMP files drawn over a black square whose side follows from
// the GL limit, opaque everywhere. Any other file (a PNG above all) goes to the PNG fallback.
#include <GL/gl.h>
#include <SDL_image.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "photos/image_codecs.h"
#include "photos/image_format.h"
#include "photos/image_size.h"
#include "photos/photo_file.h"
#include "photos/texture_loaders.h"

// The decoded picture at its own size, colour premultiplied by alpha: the bilinear stretch then
// blends a transparent pixel as nothing at all, not as the colour hidden behind its zero alpha.
struct Picture {
  SurfacePtr premultiplied;
  bool opaque;  // no pixel lets the canvas show through (every JPEG)
};

namespace {

// The square side never exceeds this by the GL-limit rule; a larger one asked of the decoder is a
// caller's mistake that would cost gigabytes.
constexpr int PICTURE_SIDE_LIMIT = 4096;
// Nor is a picture ever drawn larger than this on either axis.
constexpr int64_t DRAW_SIDE_LIMIT = 16384;

// Colour multiplied by alpha, rounded.
uint8_t premultiply(uint8_t c, uint8_t a) { return uint8_t((unsigned(c) * a + 127) / 255); }

// Premultiplies in place; true when every pixel was opaque already.
bool premultiply_surface(SDL_Surface& rgba) {
  bool opaque = true;
  for (int y = 0; y < rgba.h; ++y) {
    uint8_t* p = static_cast<uint8_t*>(rgba.pixels) + size_t(y) * rgba.pitch;
    for (int x = 0; x < rgba.w; ++x, p += 4) {
      if (p[3] == 255) continue;
      opaque = false;
      p[0] = premultiply(p[0], p[3]);
      p[1] = premultiply(p[1], p[3]);
      p[2] = premultiply(p[2], p[3]);
    }
  }
  return opaque;
}

// Copies a row, every alpha made 255.
void copy_row_opaque(uint8_t* to, const uint8_t* from, size_t pixels) {
  for (size_t x = 0; x < pixels; ++x) {
    uint32_t p;
    std::memcpy(&p, from + 4 * x, 4);
    p |= 0xFF000000u;  // alpha is the fourth byte on the little-endian machines this runs on
    std::memcpy(to + 4 * x, &p, 4);
  }
}

// SDL's bilinear stretch of `picture` over the whole of a side × side RGBA canvas, written bottom
// row first: the stretch walks a surface whose first row is the canvas's last and whose rows step
// backwards. SDL will not make such a surface, but its stretch steps by the pitch it is given; in
// case a version of it does not, the first use checks the trick on a small picture against the
// plain stretch turned over, and false then leaves the caller to stretch and turn over itself.
bool stretch_bottom_first(SDL_Surface* picture, uint8_t* canvas, int side);

// Whether stretching onto a surface with a negative pitch gives the plain stretch upside down.
bool negative_pitch_stretch_works() {
  constexpr int W = 5, H = 3, SIDE = 7;
  SurfacePtr small(SDL_CreateRGBSurfaceWithFormat(0, W, H, 32, SDL_PIXELFORMAT_RGBA32));
  if (!small) return false;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W * 4; ++x) static_cast<uint8_t*>(small->pixels)[y * small->pitch + x] = uint8_t(37 * x + 91 * y);
  std::vector<uint8_t> plain(SIDE * SIDE * 4), flipped(SIDE * SIDE * 4);
  SurfacePtr target(
      SDL_CreateRGBSurfaceWithFormatFrom(plain.data(), SIDE, SIDE, 32, SIDE * 4, SDL_PIXELFORMAT_RGBA32));
  if (!target || SDL_SoftStretchLinear(small.get(), nullptr, target.get(), nullptr) != 0) return false;
  if (!stretch_bottom_first(small.get(), flipped.data(), SIDE)) return false;
  for (int y = 0; y < SIDE; ++y)
    if (std::memcmp(plain.data() + y * SIDE * 4, flipped.data() + (SIDE - 1 - y) * SIDE * 4, SIDE * 4) != 0)
      return false;
  return true;
}

bool stretch_bottom_first(SDL_Surface* picture, uint8_t* canvas, int side) {
  const int pitch = side * 4;
  SurfacePtr target(SDL_CreateRGBSurfaceWithFormatFrom(canvas, side, side, 32, pitch, SDL_PIXELFORMAT_RGBA32));
  if (!target) return false;
  target->pixels = canvas + size_t(side - 1) * size_t(pitch);
  target->pitch = -pitch;
  const bool ok = SDL_SoftStretchLinear(picture, nullptr, target.get(), nullptr) == 0;
  target->pixels = canvas;  // as it was made, for SDL to free
  target->pitch = pitch;
  return ok;
}

// The record's picture drawn over the black S × S square, made opaque, bottom row first. The
// square is as large as a texture gets (64 MiB at S = 4096), so it takes `storage`'s memory when
// that is large enough. An opaque picture covers the whole square with opaque pixels, so it is
// stretched straight into it, upside down, in one pass; any other is laid over black and the
// square then turned upside down and made opaque in one pass over it.
TextureImage render_picture_square(const PictureImage& record, int side, std::vector<uint8_t> storage) {
  if (!record.picture || side < 1 || side > PICTURE_SIDE_LIMIT) return {};
  TextureImage image;
  image.kind = TextureImage::Kind::Picture;
  image.width = image.height = uint32_t(side);
  const size_t row_bytes = size_t(side) * 4;
  image.pixels = std::move(storage);
  static const bool one_pass = negative_pitch_stretch_works();
  if (record.picture->opaque && one_pass) {
    image.pixels.resize(row_bytes * side);  // every byte is written
    if (stretch_bottom_first(record.picture->premultiplied.get(), image.pixels.data(), side)) return image;
  }
  image.pixels.assign(row_bytes * side, 0);  // the square starts black
  draw_picture(record, PixelRect{0, 0, side, side}, image.pixels.data(), side, side);

  std::vector<uint8_t> scratch(row_bytes);
  int top = 0, bottom = side - 1;
  for (; top < bottom; ++top, --bottom) {
    uint8_t* a = image.pixels.data() + size_t(top) * row_bytes;
    uint8_t* b = image.pixels.data() + size_t(bottom) * row_bytes;
    std::memcpy(scratch.data(), a, row_bytes);
    copy_row_opaque(a, b, size_t(side));
    copy_row_opaque(b, scratch.data(), size_t(side));
  }
  if (top == bottom) {  // the middle row of an odd side stays where it is
    uint8_t* middle = image.pixels.data() + size_t(top) * row_bytes;
    copy_row_opaque(middle, middle, size_t(side));
  }
  return image;
}

}  // namespace

PictureImage::PictureImage() = default;
PictureImage::~PictureImage() = default;

int picture_square_side(int max_texture_size) {
  return max_texture_size > 4096 ? 4096 : max_texture_size / 2;
}

int picture_square_side_from_gl() {
  GLint max = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  return picture_square_side(max);
}

bool load_picture(const std::string& path, PictureImage& record) {
  record.picture.reset();
  const std::vector<uint8_t> bytes = read_photo_file(path);
  if (bytes.empty()) return false;

  // Only the formats the original picture codecs read make a picture; a PNG never does.
  // Nor does one whose header asks for more than any photo may take, or does not tell its size:
  // the record stays empty.
  const ImageSize size = image_size(bytes);
  if (!is_picture_format(size.format) || size.width == 0 || size.height == 0 || too_large_to_decode(size) ||
      bytes.size() > size_t(INT_MAX))
    return true;
  SurfacePtr decoded = load_image_bytes(bytes, size.format);
  // Direct colour without alpha or a colour key (every JPEG, a 24-bit BMP) converts to alpha 255
  // everywhere: nothing to premultiply, and no pixel to look at to know it.
  const bool known_opaque = decoded && !decoded->format->palette && decoded->format->Amask == 0 &&
                            !SDL_HasColorKey(decoded.get());
  SurfacePtr rgba = to_rgba32(decoded.get());
  if (!rgba || rgba->w <= 0 || rgba->h <= 0) return true;  // a broken file makes no picture
  const bool opaque = known_opaque || premultiply_surface(*rgba);
  record.picture = std::make_unique<Picture>(Picture{std::move(rgba), opaque});
  return true;
}

void draw_picture(const PictureImage& record, PixelRect rect, uint8_t* canvas, int canvas_width) {
  draw_picture(record, rect, canvas, canvas_width, rect.bottom);
}

void draw_picture(const PictureImage& record, PixelRect rect, uint8_t* canvas, int canvas_width,
                  int canvas_height) {
  if (!record.picture || !canvas || canvas_width <= 0 || canvas_height <= 0) return;
  const int64_t w = int64_t(rect.right) - rect.left, h = int64_t(rect.bottom) - rect.top;
  if (w <= 0 || h <= 0 || w > DRAW_SIDE_LIMIT || h > DRAW_SIDE_LIMIT) return;
  const int64_t x0 = std::max<int64_t>(rect.left, 0), x1 = std::min<int64_t>(rect.right, canvas_width);
  const int64_t y0 = std::max<int64_t>(rect.top, 0), y1 = std::min<int64_t>(rect.bottom, canvas_height);
  if (x0 >= x1 || y0 >= y1) return;

  // SDL's bilinear stretch (SDL_SoftStretchLinear), the whole picture onto the whole rectangle:
  // upright, and its aspect not kept. An opaque picture inside the canvas simply replaces what is
  // under it, so it is stretched straight onto the canvas.
  SDL_Surface* picture = record.picture->premultiplied.get();
  if (record.picture->opaque && rect.left >= 0 && rect.top >= 0 && rect.right <= canvas_width &&
      rect.bottom <= canvas_height && int64_t(canvas_width) * 4 <= INT_MAX) {
    SurfacePtr target(SDL_CreateRGBSurfaceWithFormatFrom(canvas, canvas_width, canvas_height, 32, canvas_width * 4,
                                                         SDL_PIXELFORMAT_RGBA32));
    SDL_Rect where{rect.left, rect.top, int(w), int(h)};
    if (target) SDL_SoftStretchLinear(picture, nullptr, target.get(), &where);
    return;
  }
  SurfacePtr scaled(SDL_CreateRGBSurfaceWithFormat(0, int(w), int(h), 32, SDL_PIXELFORMAT_RGBA32));
  if (!scaled || SDL_SoftStretchLinear(picture, nullptr, scaled.get(), nullptr) != 0) {
    return;
  }
  // Laid over the canvas: where the picture is transparent, the canvas shows through.
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(scaled->pixels) + size_t(y - rect.top) * scaled->pitch +
                       size_t(x0 - rect.left) * 4;
    uint8_t* d = canvas + (size_t(y) * size_t(canvas_width) + size_t(x0)) * 4;
    for (int64_t x = x0; x < x1; ++x, s += 4, d += 4) {
      const unsigned keep = 255u - s[3];
      if (keep == 0) {
        std::memcpy(d, s, 4);
        continue;
      }
      for (int c = 0; c < 4; ++c) d[c] = uint8_t(std::min(255u, s[c] + (d[c] * keep + 127) / 255));
    }
  }
}

void upload_picture_texture(const PictureImage& record, uint32_t name) {
  upload_texture_image(render_picture_square(record, picture_square_side_from_gl(), {}), name);
}

TextureImage decode_picture_image(const std::string& path, int square_side, std::vector<uint8_t> storage) {
  PictureImage record;
  load_picture(path, record);
  if (record.picture) return render_picture_square(record, square_side, std::move(storage));
  return decode_png_fallback(path);
}

void upload_picture_image(const TextureImage& image, uint32_t name) { upload_texture_image(image, name); }

PictureImage::PictureImage(const std::string& path, uint32_t name) {
  load_picture(path, *this);
  if (picture) {
    upload_picture_texture(*this, name);
  } else {
    upload_texture_image(decode_png_fallback(path), name);
  }
}
