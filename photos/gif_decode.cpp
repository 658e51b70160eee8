// Format notes: "GIF87a" or "GIF89a", the logical screen (its flags give the global colour table's
// presence and size), then records: extensions (0x21), image descriptors (0x2C) each with an
// optional local colour table and LZW data, and the trailer (0x3B). An interlaced image stores its
// rows in four passes: every eighth row from 0, every eighth from 4, every fourth from 2, every
// second from 1.
#include "photos/gif_decode.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Input {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};

int read_input(GifFileType* gif, GifByteType* out, int n) {
  auto* in = static_cast<Input*>(gif->UserData);
  const size_t take = std::min(size_t(std::max(n, 0)), in->bytes.size() - in->at);
  std::memcpy(out, in->bytes.data() + in->at, take);
  in->at += take;
  return int(take);
}

struct GifClose {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

}  // namespace

SurfacePtr decode_gif(std::span<const uint8_t> bytes) {
  if (bytes.size() < 13) return nullptr;
  Input input{bytes};
  int error = 0;
  const std::unique_ptr<GifFileType, GifClose> gif(DGifOpen(&input, read_input, &error));
  if (!gif) return nullptr;

  // Up to the first image: the transparent index of a graphic control extension is kept once given.
  // A byte that starts no record is skipped, as SDL_image skipped it (giflib reads it and refuses).
  int transparent = -1;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK) {
      if (gif->Error == D_GIF_ERR_WRONG_RECORD) continue;
      return nullptr;
    }
    if (record == TERMINATE_RECORD_TYPE) return nullptr;
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif.get(), &code, &block) != GIF_OK) return nullptr;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 && (block[1] & 1)) transparent = block[4];
    while (block)
      if (DGifGetExtensionNext(gif.get(), &block) != GIF_OK) return nullptr;
  }
  if (DGifGetImageDesc(gif.get()) != GIF_OK) return nullptr;
  const GifImageDesc& image = gif->Image;
  if (image.Width <= 0 || image.Height <= 0) return nullptr;

  SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, image.Width, image.Height, 8, SDL_PIXELFORMAT_INDEX8));
  if (!surface || !surface->format->palette) return nullptr;
  // The colour map: the image's own, else the screen's; with neither, as many black entries as the
  // screen's flags name. The rest of the 256 stay white, as SDL makes a new palette.
  const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif->SColorMap;
  std::vector<SDL_Color> colours;
  if (map) {
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
      colours.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue, 255});
  } else {
    colours.assign(size_t(2) << (bytes[10] & 7), SDL_Color{0, 0, 0, 255});
  }
  SDL_SetPaletteColors(surface->format->palette, colours.data(), 0, int(colours.size()));

  std::vector<int> rows;
  if (image.Interlace) {
    constexpr int FIRST[] = {0, 4, 2, 1}, STEP[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = FIRST[pass]; y < image.Height; y += STEP[pass]) rows.push_back(y);
  } else {
    for (int y = 0; y < image.Height; ++y) rows.push_back(y);
  }
  auto* pixels = static_cast<uint8_t*>(surface->pixels);
  std::memset(pixels, 0, size_t(surface->pitch) * size_t(surface->h));
  for (int y : rows)
    if (DGifGetLine(gif.get(), pixels + size_t(y) * size_t(surface->pitch), image.Width) != GIF_OK) break;
  if (transparent >= 0) SDL_SetColorKey(surface.get(), SDL_TRUE, Uint32(transparent));
  return surface;
}
