// The catalogue: two digits of the index and the extension as each entry's file type writes it,
// so that the file a track value names is found without a table.
#include "photos/photo_catalogue.h"

const PhotoCatalogue PHOTO_CATALOGUE = {{{
    {"hall.photo/00.jpg", u"hall.photo/00.jpg"},
    {"hall.photo/01.png", u"hall.photo/01.png"},
    {"hall.photo/02.png", u"hall.photo/02.png"},
    {"hall.photo/03.png", u"hall.photo/03.png"},
    {"hall.photo/04.png", u"hall.photo/04.png"},
    {"hall.photo/05.JPG", u"hall.photo/05.JPG"},
    {"hall.photo/06.JPG", u"hall.photo/06.JPG"},
    {"hall.photo/07.JPG", u"hall.photo/07.JPG"},
    {"hall.photo/08.JPG", u"hall.photo/08.JPG"},
    {"hall.photo/09.JPG", u"hall.photo/09.JPG"},
    {"hall.photo/10.JPG", u"hall.photo/10.JPG"},
    {"hall.photo/11.JPG", u"hall.photo/11.JPG"},
    {"hall.photo/12.png", u"hall.photo/12.png"},
    {"hall.photo/13.png", u"hall.photo/13.png"},
    {"hall.photo/14.png", u"hall.photo/14.png"},
    {"hall.photo/15.png", u"hall.photo/15.png"},
    {"hall.photo/16.png", u"hall.photo/16.png"},
    {"hall.photo/17.jpg", u"hall.photo/17.jpg"},
    {"hall.photo/18.png", u"hall.photo/18.png"},
    {"hall.photo/19.png", u"hall.photo/19.png"},
    {"hall.photo/20.png", u"hall.photo/20.png"},
    {"hall.photo/21.png", u"hall.photo/21.png"},
    {"hall.photo/22.png", u"hall.photo/22.png"},
    {"hall.photo/23.png", u"hall.photo/23.png"},
    {"hall.photo/24.png", u"hall.photo/24.png"},
    {"hall.photo/25.gif", u"hall.photo/25.gif"},
    {"hall.photo/26.png", u"hall.photo/26.png"},
    {"hall.photo/27.png", u"hall.photo/27.png"},
    {"hall.photo/28.JPG", u"hall.photo/28.JPG"},
    {"hall.photo/29.JPG", u"hall.photo/29.JPG"},
    {"hall.photo/30.jpg", u"hall.photo/30.jpg"},
    {"hall.photo/31.JPG", u"hall.photo/31.JPG"},
    {"hall.photo/32.jpg", u"hall.photo/32.jpg"},
    {"hall.photo/33.JPG", u"hall.photo/33.JPG"},
    {"hall.photo/34.jpg", u"hall.photo/34.jpg"},
    {"hall.photo/35.png", u"hall.photo/35.png"},
    {"hall.photo/36.png", u"hall.photo/36.png"},
    {"hall.photo/37.png", u"hall.photo/37.png"},
    {"hall.photo/38.png", u"hall.photo/38.png"},
    {"hall.photo/39.png", u"hall.photo/39.png"},
    {"hall.photo/40.png", u"hall.photo/40.png"},
    {"hall.photo/41.png", u"hall.photo/41.png"},
    {"hall.photo/42.png", u"hall.photo/42.png"},
    {"hall.photo/40.png", u"hall.photo/40.png"},  // the path of entry 40: the same picture again
}}};

std::string utf8_path(const char16_t* wide_path) {
  std::string out;
  if (!wide_path) return out;
  for (const char16_t* p = wide_path; *p; ++p) {
    uint32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate names no file; keep the rest of the path readable
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}
