#pragma once
// The show's own music (music_clock.h) as the transport drives it.
#include "tools/studio/transport.h"

class ShowMusic : public MusicControl {
 public:
  double seconds() override;
  void pause() override;
  void resume() override;
  void seek(double seconds) override;
  double length_seconds() override;
};
