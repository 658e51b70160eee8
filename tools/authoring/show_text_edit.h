#pragma once
// Edits of one key in a show text, made the way an author would make them in an editor: only the
// line of that key changes (or one line is added or taken out, in the track's own block); every
// other byte, comments and spacing included, stays as it is. Each edit parses the text before and
// after, and refuses (with `why`) when the text has faults or the edit would make one.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Sets the key of `track` at the row `time` stands for (a time as the text writes it, "17:3"):
// a key there gets `value` (and `type` when given); otherwise a line "TIME VALUE TYPE" goes in
// among the track's keys in row order, with `type`, or the interpolation of the key before it, or
// step. A track the text does not name gets a block of its own at the end.
bool set_key_in_text(std::string_view text, std::string_view track, std::string_view time, float value,
                     std::optional<int32_t> type, std::string& edited, std::string& why);

// Takes out the key of `track` at `row`. A track left without keys loses its name line too, so it
// goes back to its authoring default instead of reading 0.
bool remove_key_from_text(std::string_view text, std::string_view track, int32_t row, std::string& edited,
                          std::string& why);

// The next interpolation (step, linear, smooth, ramp, step, ...) for the key of `track` at `row`,
// or for the key before it when none is there.
bool cycle_interpolation_in_text(std::string_view text, std::string_view track, int32_t row, std::string& edited,
                                 std::string& why);
