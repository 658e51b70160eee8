#include "photos/photo_file.h"

#include "png/read_file_bytes.h"

std::vector<uint8_t> read_photo_file(const std::string& path) { return read_file_bytes(path, PHOTO_FILE_LIMIT); }
