// The track tool refuses names the show does not read, so its list must be the renderer's.
#include <gtest/gtest.h>

#include "show/scene.h"
#include "tools/authoring/scene_track_names.h"

TEST(KestoTrackNames, AreTheScenesInItsOrder) {
  ASSERT_EQ(KESTO_TRACK_NAMES.size(), static_cast<size_t>(SCENE_TRACK_COUNT));
  for (int i = 0; i < SCENE_TRACK_COUNT; ++i) EXPECT_EQ(KESTO_TRACK_NAMES[i], SCENE_TRACK_NAMES[i]) << i;
}
