#pragma once
// The file type of a catalogue entry as the show's loader expects it from the entry's extension.
enum class EntryType { Jpeg, Png, Gif };
