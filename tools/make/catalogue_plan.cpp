#include "tools/make/catalogue_plan.h"

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

std::vector<int> photo_role_entries() {
  std::vector<int> out;
  for (int i = 0; i < PHOTO_COUNT; ++i)
    if (ENTRY_ROLES[i] == EntryRole::Photo) out.push_back(i);
  return out;
}

CataloguePlan plan_catalogue(int photo_count) {
  CataloguePlan plan;
  const std::vector<int> places = photo_role_entries();
  const int slots = static_cast<int>(places.size());
  if (photo_count <= slots) {
    for (int p = 0; p < photo_count; ++p) plan.used.push_back(p);
  } else {
    // The first and the last photo always, the rest evenly between: a trip keeps its ends.
    std::vector<bool> taken(photo_count, false);
    for (int k = 0; k < slots; ++k) {
      const int p = static_cast<int>((static_cast<long long>(k) * (photo_count - 1) + (slots - 1) / 2) / (slots - 1));
      taken[p] = true;
      plan.used.push_back(p);
    }
    for (int p = 0; p < photo_count; ++p)
      if (!taken[p]) plan.unused.push_back(p);
  }
  const int used = static_cast<int>(plan.used.size());
  plan.entries.resize(PHOTO_COUNT);
  int next_photo = 0, next_cut = 0, next_spare = 0;
  int cuts = 0;
  for (EntryRole r : ENTRY_ROLES) cuts += r == EntryRole::Cameo || r == EntryRole::Frame || r == EntryRole::Iris;
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    EntryPlan& e = plan.entries[i];
    e.index = i;
    e.role = ENTRY_ROLES[i];
    switch (e.role) {
      case EntryRole::Photo:
        if (next_photo < used) plan.show_entries.push_back(i);
        e.photo = plan.used[next_photo++ % used];
        break;
      case EntryRole::Backdrop:
        e.photo = plan.used[0];  // the opening photo, which the show also ends on
        break;
      case EntryRole::Cameo:
      case EntryRole::Frame:
      case EntryRole::Iris:
        // Spread over the set, off the first photo, which opens the show.
        e.photo = plan.used[(next_cut++ * used / cuts + used / (2 * cuts) + (used > 1 ? 1 : 0)) % used];
        (e.role == EntryRole::Cameo ? plan.cameo_entries
                                    : e.role == EntryRole::Frame ? plan.frame_entries : plan.iris_entries)
            .push_back(i);
        break;
      case EntryRole::Spare:
        e.photo = plan.used[next_spare++ % used];
        break;
      case EntryRole::Repeat:
        e.photo = -1;
        break;
    }
  }
  return plan;
}
