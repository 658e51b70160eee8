#pragma once
// The demo's photo files: one per catalogue file name, "<two-digit index>.<extension as the
// catalogue writes it>". Entry 43 of the catalogue reads entry 40's file, so it has none of its own.
#include <array>
#include <string>

enum class PhotoType { Jpeg, Png, PngAlpha, PngPalette, Gif };

struct DemoPhoto {
  int index;
  const char* extension;  // with its dot and its case: ".JPG" and ".jpg" are different files
  PhotoType type;
  int width, height;
};

inline constexpr int DEMO_PHOTO_COUNT = 43;

inline constexpr std::array<DemoPhoto, DEMO_PHOTO_COUNT> DEMO_PHOTOS = {{
    {0, ".jpg", PhotoType::Jpeg, 1920, 1080},        {1, ".png", PhotoType::Png, 1920, 1080},
    {2, ".png", PhotoType::Png, 1920, 1080},         {3, ".png", PhotoType::Png, 1280, 720},
    {4, ".png", PhotoType::PngAlpha, 1920, 1080},    {5, ".JPG", PhotoType::Jpeg, 1920, 1080},
    {6, ".JPG", PhotoType::Jpeg, 1920, 1080},        {7, ".JPG", PhotoType::Jpeg, 1920, 1080},
    {8, ".JPG", PhotoType::Jpeg, 1920, 1080},        {9, ".JPG", PhotoType::Jpeg, 1920, 1080},
    {10, ".JPG", PhotoType::Jpeg, 1920, 1080},       {11, ".JPG", PhotoType::Jpeg, 1920, 1080},
    {12, ".png", PhotoType::PngAlpha, 1920, 1080},   {13, ".png", PhotoType::Png, 1920, 1080},
    {14, ".png", PhotoType::Png, 1024, 1024},        {15, ".png", PhotoType::Png, 1920, 1080},
    {16, ".png", PhotoType::PngPalette, 1920, 1080}, {17, ".jpg", PhotoType::Jpeg, 1920, 1080},
    {18, ".png", PhotoType::Png, 1920, 1080},        {19, ".png", PhotoType::Png, 1920, 1080},
    {20, ".png", PhotoType::PngAlpha, 1920, 1080},   {21, ".png", PhotoType::Png, 1920, 1080},
    {22, ".png", PhotoType::Png, 1080, 1350},        {23, ".png", PhotoType::Png, 1920, 1080},
    {24, ".png", PhotoType::Png, 1920, 1080},        {25, ".gif", PhotoType::Gif, 960, 540},
    {26, ".png", PhotoType::PngPalette, 1920, 1080}, {27, ".png", PhotoType::Png, 1920, 1080},
    {28, ".JPG", PhotoType::Jpeg, 1920, 1080},       {29, ".JPG", PhotoType::Jpeg, 1920, 1080},
    {30, ".jpg", PhotoType::Jpeg, 1920, 1080},       {31, ".JPG", PhotoType::Jpeg, 1920, 1080},
    {32, ".jpg", PhotoType::Jpeg, 1920, 1080},       {33, ".JPG", PhotoType::Jpeg, 1600, 1200},
    {34, ".jpg", PhotoType::Jpeg, 1920, 1080},       {35, ".png", PhotoType::Png, 1920, 1080},
    {36, ".png", PhotoType::PngAlpha, 1920, 1080},   {37, ".png", PhotoType::Png, 1920, 1080},
    {38, ".png", PhotoType::Png, 800, 450},          {39, ".png", PhotoType::Png, 1920, 1080},
    {40, ".png", PhotoType::PngAlpha, 1920, 1080},   {41, ".png", PhotoType::Png, 1920, 1080},
    {42, ".png", PhotoType::Png, 1920, 1080},
}};

inline std::string demo_photo_file(const DemoPhoto& p) {
  return std::string(p.index < 10 ? "0" : "") + std::to_string(p.index) + p.extension;
}
