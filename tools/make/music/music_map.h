#pragma once
// From what the audio analysis heard to what the choreography needs: a steady beat grid over the
// whole song, bar one, the bars, sections by loudness and density, and where the music ends.
// Pure arithmetic, so it is tested on made-up analyses.
#include <string>
#include <vector>

// What the analysis hears, frame by frame (a frame is `frame_seconds` of audio).
struct AudioAnalysis {
  double duration = 0;                // seconds of audio
  double frame_seconds = 512.0 / 44100.0;
  std::vector<double> beats;          // the beat tracker's beats, seconds
  std::vector<double> onsets;         // onset times, seconds
  std::vector<float> loudness;        // level of each frame, dB full scale
  std::vector<float> flux;            // onset strength of each frame (0 or more)
  std::vector<float> low_flux;        // rise of the energy below ~150 Hz in each frame (0 or more)
  // The spectrum's shape, BANDS mel bands a frame (log energy), frame after frame: how much the
  // harmony changes across a beat, which it does most on "one".
  static constexpr int BANDS = 24;
  std::vector<float> bands;
};

enum class Energy { Quiet, Mid, Loud };

struct Section {
  int first_bar = 0;   // index into MusicMap::bars
  Energy energy = Energy::Mid;
  float level_db = 0;  // mean loudness
};

// One song of the music: where it begins, its tempo and its grid.
struct SongSpan {
  std::string name;    // the file's name
  double start = 0;    // seconds into the music
  double bpm = 120;
  int beats_per_bar = 4;
  int first_beat = 0;  // index in MusicMap::beats of its first beat
  int first_bar = 0;   // index in MusicMap::bars of its first bar
  double bar_one = 0;  // seconds into the music of the song's own bar one (maybe before first_beat)
};

struct MusicMap {
  double bpm = 120;
  int beats_per_bar = 4;
  bool steady = true;            // false: no clear beat, the grid is the fallback tempo
  std::vector<double> beats;     // the grid, seconds, from the start to the end of the song
  std::vector<int> bars;         // index in `beats` of each bar's first beat
  std::vector<Section> sections; // in time order; the first starts at bar 0
  double sound_start = 0;        // the first sound, seconds
  double end = 0;                // where the music has ended (fade-out done, or the end of the file)
  std::string note;              // one line for the user when something was assumed
  double confidence = 0;         // the share of the music's strong onsets on the grid's beats and half beats
  std::vector<SongSpan> songs;   // one for each song, in order (empty: one song, the map's own grid)

  // The tempo where the music is at `seconds`: its song's, from the song's first beat.
  double bpm_at(double seconds) const;
};

// `fallback_bpm` 0: 120. With `forced_bpm` the tempo is taken from the user, only the phase is found.
MusicMap map_music(const AudioAnalysis& a, int beats_per_bar, double fallback_bpm, bool forced_bpm);

// Songs played one after the other, each mapped on its own (times from its own start).
struct SongPart {
  std::string name;
  MusicMap map;
  double start = 0;  // where it begins in the joined music, seconds
};

// One map over the joined music: each song's beats, bars and sections from the middle of the
// crossfade before it to the middle of the one after, each song's first bar there beginning a
// section. `length` above 0 ends the music there, its last bar fading out.
MusicMap join_songs(const std::vector<SongPart>& parts, double crossfade, double length);

// One line for the user: the tempo, given or found, and how sure it is ("sure", "fairly sure" or
// "unsure" with the share of strong onsets on the grid), bar one; or why there is no clear beat.
std::string describe_tempo(const MusicMap& m, bool given);

// Row of a time: the show's rows are 20 a second.
int row_of(double seconds);

// Tempo from beat times alone: the median gap of the steady part, in beats a minute; 0 when there
// are too few beats.
double median_tempo(const std::vector<double>& beats);
