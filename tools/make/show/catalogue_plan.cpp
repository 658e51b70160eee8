#include "tools/make/show/catalogue_plan.h"

#include <string_view>

namespace {

constexpr EntryRole P = EntryRole::Photo, B = EntryRole::Backdrop, C = EntryRole::Cameo, F = EntryRole::Frame,
                    I = EntryRole::Iris, S = EntryRole::Spare, R = EntryRole::Repeat;

}  // namespace

const std::array<EntryRole, PHOTO_COUNT> ENTRY_ROLES = {
    P, P, P, P, C, P, S, S, S, S,  // 0-9
    S, P, C, P, P, P, P, B, P, P,  // 10-19
    C, P, P, P, P, P, P, P, S, P,  // 20-29
    P, P, P, P, P, P, I, P, P, P,  // 30-39
    F, P, P, R,                    // 40-43
};

EntryType entry_type(int index) {
  const std::string_view path = PHOTO_CATALOGUE[index].path;
  const std::string_view ext = path.substr(path.rfind('.') + 1);
  if (ext == "png") return EntryType::Png;
  if (ext == "gif") return EntryType::Gif;
  return EntryType::Jpeg;
}

std::string entry_file_name(int index) {
  const std::string_view path = PHOTO_CATALOGUE[index].path;
  return std::string(path.substr(path.rfind('/') + 1));
}

const char* role_name(EntryRole role) {
  switch (role) {
    case EntryRole::Photo: return "photo";
    case EntryRole::Backdrop: return "backdrop";
    case EntryRole::Cameo: return "cameo";
    case EntryRole::Frame: return "frame";
    case EntryRole::Iris: return "iris";
    case EntryRole::Spare: return "spare (never loaded)";
    case EntryRole::Repeat: return "repeat of 40";
  }
  return "";
}

Cutout entry_cutout(EntryRole role) {
  switch (role) {
    case EntryRole::Cameo: return Cutout::Cameo;
    case EntryRole::Frame: return Cutout::Frame;
    case EntryRole::Iris: return Cutout::Iris;
    default: return Cutout::None;
  }
}

std::vector<CatalogueAccent> plan_accents(int photo_count, int backdrop_photo) {
  std::vector<CatalogueAccent> out;
  if (photo_count <= 0) return out;
  int cuts = 0;
  for (EntryRole r : ENTRY_ROLES) cuts += r == EntryRole::Cameo || r == EntryRole::Frame || r == EntryRole::Iris;
  int next = 0;
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    const EntryRole role = ENTRY_ROLES[i];
    if (role == EntryRole::Backdrop) {
      out.push_back({i, role, backdrop_photo});
    } else if (role == EntryRole::Cameo || role == EntryRole::Frame || role == EntryRole::Iris) {
      // Evenly over the set, from the middle of each stretch.
      int photo = static_cast<int>((2LL * next++ + 1) * photo_count / (2 * cuts));
      if (photo == backdrop_photo && photo_count > 1) photo = (photo + 1) % photo_count;
      out.push_back({i, role, photo});
    }
  }
  return out;
}
