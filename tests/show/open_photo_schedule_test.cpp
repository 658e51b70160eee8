// The plan of open photos against the frames themselves: sampled at every sixteenth of a row, each
// photo a visible layer shows must be planned at that row, and the plan may be wider only by a
// row or so on each side.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "show/open_photo_schedule.h"

namespace {

struct Layer {
  SyncTrack n{"n", {}}, x{"x", {}}, y{"y", {}}, r{"r", {}}, g{"g", {}}, b{"b", {}}, scale{"scale", {}}, rotx{"rx", {}},
      roty{"ry", {}}, rotz{"rz", {}};
  LayerTracks tracks() { return {&n, &x, &y, &r, &g, &b, &scale, &rotx, &roty, &rotz}; }
};

struct Show {
  Layer back, beard;
  SyncTrack sad{"sad", {}}, happy{"happy", {}};
  SceneTracks tracks() { return {back.tracks(), beard.tracks(), &sad, &happy}; }
};

bool planned(const OpenPhotoPlan& plan, uint32_t number, int32_t row) {
  for (const OpenPhotoUse& use : plan.uses)
    if (use.number == number)
      for (const RowSpan& s : use.spans)
        if (row >= s.first && row <= s.last) return true;
  return false;
}

// Every row at which a frame shows a candidate is planned for it; returns how many planned rows
// no frame shows.
int check_against_frames(Show& show, const std::vector<OpenPhotoCandidate>& candidates, int32_t rows) {
  const SceneTracks tracks = show.tracks();
  const OpenPhotoPlan plan = plan_open_photos(tracks, candidates);
  std::set<std::pair<uint32_t, int32_t>> shown;
  for (double row = 0; row < rows; row += 1.0 / 16) {
    if (happy_state(get_value(*tracks.happy, row)) == 2) break;
    for (const LayerTracks* layer : {&tracks.back, &tracks.beard}) {
      const float n = get_value(*layer->n, row);
      const uint32_t name = layer_texture_name(n);
      const auto c = std::find_if(candidates.begin(), candidates.end(), [&](auto& e) { return e.number == name; });
      if (c == candidates.end() || n < 0) continue;
      if (double(get_value(*layer->scale, row)) + 1.0 == 0.0) continue;
      const bool black = get_value(*layer->r, row) == 0 && get_value(*layer->g, row) == 0 && get_value(*layer->b, row) == 0;
      if (black && c->opaque) continue;
      const int32_t whole = int32_t(std::floor(row));
      shown.insert({name, whole});
      EXPECT_TRUE(planned(plan, name, whole)) << "photo " << name << " at row " << row;
    }
  }
  int extra = 0;
  for (const OpenPhotoUse& use : plan.uses) {
    EXPECT_GT(use.largest_scale_factor, 0.0f);
    for (const RowSpan& s : use.spans)
      for (int32_t row = s.first; row <= std::min(s.last, rows); ++row) extra += !shown.count({use.number, row});
  }
  return extra;
}

std::vector<OpenPhotoCandidate> candidates(uint32_t from, uint32_t to, bool opaque = true) {
  std::vector<OpenPhotoCandidate> out;
  for (uint32_t k = from; k <= to; ++k) out.push_back({k, opaque});
  return out;
}

}  // namespace

TEST(OpenPhotoSchedule, ALinearKeyFrom40To60PlansEveryEntryOnItsOwnRows) {
  Show show;
  show.back.n.keys = {{0, 40, Linear}, {200, 60, Step}};
  show.back.scale.keys = {{0, 0.8f, Step}};
  show.back.r.keys = show.back.g.keys = show.back.b.keys = {{0, 1, Step}};
  const OpenPhotoPlan plan = plan_open_photos(show.tracks(), candidates(44, 60));
  ASSERT_EQ(plan.uses.size(), 17u);
  // 44 holds from row 40 to row 49 (n in [44, 45)); one row more on each side.
  EXPECT_EQ(plan.uses[0].spans, (std::vector<RowSpan>{{39, 50}}));
  EXPECT_FLOAT_EQ(plan.uses[0].largest_scale_factor, 1.8f);
  EXPECT_EQ(plan.uses.back().spans.back().last, std::numeric_limits<int32_t>::max() - 1);  // 60 from row 200 on
  EXPECT_LE(check_against_frames(show, candidates(44, 60), 400), 17 * 2 + 2);
}

TEST(OpenPhotoSchedule, HiddenOrBlackLayersPlanNothing) {
  Show show;
  show.back.n.keys = {{0, 50, Step}};
  show.back.r.keys = show.back.g.keys = show.back.b.keys = {{0, 1, Step}};
  show.back.scale.keys = {{0, -1, Step}};
  EXPECT_TRUE(plan_open_photos(show.tracks(), candidates(44, 60)).uses.empty());
  show.back.scale.keys = {{0, 0, Step}};
  show.back.r.keys = show.back.g.keys = show.back.b.keys = {{0, 0, Step}};
  EXPECT_TRUE(plan_open_photos(show.tracks(), candidates(44, 60)).uses.empty());
  // Black on a photo with see-through pixels still shows the layer below through them.
  EXPECT_EQ(plan_open_photos(show.tracks(), candidates(44, 60, false)).uses.size(), 1u);
  // Nothing after "happy" surely ends the show.
  show.back.r.keys = {{0, 1, Step}};
  show.happy.keys = {{0, 0, Step}, {100, 2, Step}};
  const OpenPhotoPlan plan = plan_open_photos(show.tracks(), candidates(44, 60));
  ASSERT_EQ(plan.uses.size(), 1u);
  EXPECT_EQ(plan.uses[0].spans, (std::vector<RowSpan>{{0, 99}}));
}

TEST(OpenPhotoSchedule, RandomShowsAgreeWithTheirFrames) {
  std::mt19937 random(7);
  const auto keys = [&](std::vector<TrackKey>& out, float lo, float hi, float special, float special_odds) {
    out.clear();
    std::uniform_real_distribution<float> value(lo, hi), odds(0, 1);
    for (int32_t row = -10; row < 300; row += 1 + int32_t(random() % 40)) {
      const float v = odds(random) < special_odds ? special : value(random);
      out.push_back({row, v, int32_t(random() % 5)});  // 4 is no type: reads 0
    }
  };
  for (int round = 0; round < 40; ++round) {
    Show show;
    for (Layer* layer : {&show.back, &show.beard}) {
      keys(layer->n.keys, 38, 70, NAN, 0.05f);
      keys(layer->scale.keys, -1.5f, 1, -1, 0.3f);
      for (SyncTrack* c : {&layer->r, &layer->g, &layer->b}) keys(c->keys, 0, 1, 0, 0.5f);
    }
    keys(show.happy.keys, 0, 1.9f, 2, 0.05f);
    const bool opaque = round % 2 == 0;
    check_against_frames(show, candidates(44, 66, opaque), 320);
  }
}

TEST(OpenPhotoSchedule, ValuesThatAreNotFiniteNameOnlyPhotoZero) {
  Show show;
  show.back.r.keys = show.back.g.keys = show.back.b.keys = {{0, 1, Step}};
  show.back.n.keys = {{0, 40, Linear}, {20, INFINITY, Linear}, {40, -INFINITY, Step}, {60, NAN, Linear}, {80, 50, Step}};
  const OpenPhotoPlan plan = plan_open_photos(show.tracks(), candidates(44, 60));
  ASSERT_EQ(plan.uses.size(), 1u);  // only 50, from its step key on
  EXPECT_EQ(plan.uses[0].spans.front().first, 80);
}
