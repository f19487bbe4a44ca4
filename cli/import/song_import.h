#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tambelo {

// A source folder's three files, made from a Standard MIDI File, and what
// the import could not carry over.
struct ImportedSource {
    std::string set_file;     // set.toml
    std::string score;        // song.mml
    std::string voice_set;    // voices.toml
    std::vector<std::string> report;
};

inline constexpr const char* imported_score_name = "song.mml";
inline constexpr const char* imported_voices_name = "voices.toml";

// Reads `bytes` as a Standard MIDI File (`name` is the file's name, for the
// titles and comments). Throws MidiFileError for a file it cannot read or
// a song too long for one score.
ImportedSource import_midi_song(std::span<const std::uint8_t> bytes, const std::string& name);

// Writes the three files into `folder` (made if missing), all or none.
// Refuses a folder that holds a set.toml already, so that an edited source
// is never written over. Returns an empty string, or a one-line reason.
std::string write_source_folder(const ImportedSource& source, const std::filesystem::path& folder);

}  // namespace tambelo
