#include "tools/capture/kept_backdrop.h"

#include "show/scene.h"

namespace {
KeptBackdrop* active = nullptr;
}  // namespace

KeptBackdrop::KeptBackdrop(std::unique_ptr<KeptPicture> picture, std::function<uint64_t()> loads)
    : picture_(std::move(picture)), loads_(std::move(loads)) {
  active = this;
  set_background_function(background);
}

KeptBackdrop::~KeptBackdrop() {
  if (active == this) {
    set_background_function(nullptr);
    active = nullptr;
  }
}

void KeptBackdrop::background(bool backdrop) {
  KeptBackdrop& self = *active;
  if (!backdrop) {
    draw_background(false);  // a clear: nothing to save
    return;
  }
  const uint64_t loads = self.loads_();
  if (self.kept_ && self.kept_loads_ == loads) {
    self.picture_->put_back();
    ++self.copied_;
    return;
  }
  draw_background(true);
  self.picture_->keep();
  self.kept_ = true;
  self.kept_loads_ = loads;
  ++self.drawn_;
}
