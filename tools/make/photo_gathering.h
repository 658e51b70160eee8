#pragma once
// The files to try as photos: files named on the command line as they are, and in folders
// (recursively, in name order) the files whose extension says photo.
#include <string>
#include <vector>

// Lowercase extensions taken from folders.
bool has_photo_extension(const std::string& path);

// `problems` gets "PATH: why" for inputs that do not exist.
std::vector<std::string> gather_photo_files(const std::vector<std::string>& inputs, std::vector<std::string>& problems);
