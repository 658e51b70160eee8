#pragma once
// Image files to GL textures under a caller-chosen name. Every loader is split in two:
// a decode step (file to pixels, no GL, safe on any thread) and an upload step (GL thread only),
// so that the load sequence can decode ahead while the GL thread uploads in order.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Pixels ready for glTexImage2D: RGBA bytes, the picture's bottom row first.
struct TextureImage {
  enum class Kind {
    None,         // nothing to upload: the name keeps whatever image it had
    FileTexture,  // platform codecs, the image's own size, clamped edges
    Picture,      // JPEG/GIF/BMP drawn over an S × S square, alpha 255
    PngFallback,  // built-in PNG decoder, stretched to powers of two, pure black transparent
  };
  Kind kind = Kind::None;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // width × height × 4
};

// Uploads by the rules of the image's kind, whichever loader made it (the upload_* functions below
// all come here): size, internal format, filters, edges and the GL_TEXTURE_2D enable. Kind::None, or
// pixels that do not match the size, upload nothing, and the name keeps the image it had.
void upload_texture_image(const TextureImage& image, uint32_t name);

// ---- load_file_texture: the platform codecs ----
// The pixels go into `storage` when its capacity suffices (its contents do not matter), as for
// decode_picture_image below.
TextureImage decode_file_texture(const std::string& path, std::vector<uint8_t> storage = {});
void upload_file_texture(const TextureImage& image, uint32_t name);
void load_file_texture(const std::string& path, uint32_t name);  // decode, then upload

// ---- the picture loader, with the PNG fallback ----
// S, the side of the picture square, from GL_MAX_TEXTURE_SIZE.
int picture_square_side(int max_texture_size);
int picture_square_side_from_gl();  // asks the current context
// Picture path when the file is a JPEG, GIF or BMP; otherwise the PNG fallback; Kind::None when both fail.
// The square is drawn into `storage` when its capacity suffices (its contents do not matter): a
// buffer of an earlier square, whose pages are already mapped, costs no page faults.
TextureImage decode_picture_image(const std::string& path, int square_side, std::vector<uint8_t> storage = {});
void upload_picture_image(const TextureImage& image, uint32_t name);
// The fallback alone: the built-in PNG decoder, stretched to powers of two. Kind::None when the
// file is missing or does not decode.
TextureImage decode_png_fallback(const std::string& path);

// ---- sizes ahead of decoding, for the load sequence's memory budget ----
// At least the bytes of the pixels that decode_file_texture and decode_picture_image hand back for
// a file, told from its header alone; 0 when the header does not tell.
size_t file_texture_bytes(const std::string& path);
size_t picture_image_bytes(const std::string& path, int square_side);
// At least the most memory those decodes hold at once (the file, the codec's surfaces, the
// converted copies and the result), which is what many decodes at once add up to; also from the
// header alone, and 0 when it does not tell.
size_t file_texture_peak_bytes(const std::string& path);
size_t picture_image_peak_bytes(const std::string& path, int square_side);

struct Picture;  // a decoded picture (the platform's picture object), opaque

struct PictureImage {
  std::unique_ptr<Picture> picture;  // none when the file is no JPEG, GIF or BMP
  PictureImage(const std::string& path, uint32_t name);  // the whole picture loader
  PictureImage();  // no picture yet (defined where Picture is complete)
  ~PictureImage();
};

// False when the file cannot be read (photos/photo_file.h); the record tells whether it made a picture.
bool load_picture(const std::string& path, PictureImage& record);
void upload_picture_texture(const PictureImage& record, uint32_t name);

struct PixelRect { int32_t left, top, right, bottom; };
// Renders the picture stretched over `rect` of an RGBA canvas (top row first, stride canvas_width × 4).
// The canvas must hold rect.bottom rows; the overload with its height clips to it. The picture is
// laid over what the canvas holds, so its transparent pixels leave the canvas as it was.
void draw_picture(const PictureImage& record, PixelRect rect, uint8_t* canvas, int canvas_width);
void draw_picture(const PictureImage& record, PixelRect rect, uint8_t* canvas, int canvas_width, int canvas_height);

// Nearest-neighbour stretch, integer stepping, bottom row first, pure black made transparent.
void resample_to_texture(uint8_t* dst, const uint8_t* src, uint32_t src_width, uint32_t src_height,
                         uint32_t dst_width, uint32_t dst_height);
uint32_t next_power_of_two(uint32_t n);  // 1 for 0 and 1; 0 when n is above 2^31 (none fits)
