#pragma once
// The files to try as photos: files named on the command line as they are, and in folders
// (recursively, in name order) the files whose extension says photo. Hidden files and folders
// (a photo manager's .thumbnails, a .git) are passed over, and so is a folder that is a show
// (is_show_folder): its catalogue files would come back in as photos.
#include <string>
#include <vector>

// Lowercase extensions taken from folders.
bool has_photo_extension(const std::string& path);

// A folder the show reads: it has hall.photo/ and kestos/.
bool is_show_folder(const std::string& path);

// `problems` gets "PATH: why" for inputs that do not exist, are a show, or are no regular file
// (a FIFO or a device).
std::vector<std::string> gather_photo_files(const std::vector<std::string>& inputs, std::vector<std::string>& problems);
