#pragma once

#include "cli/authoring/source_error.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tambelo {

// The three files of a music set, built in memory.
struct PackedSet {
    std::vector<std::uint8_t> scores;  // amus.dat
    std::vector<std::uint8_t> voices;  // amus.mda
    std::string titles;                // amus.txt
    int track_count = 0;
};

// Packs the music set described by SOURCE_DIR/set.toml: its title and its
// tracks in order, each with a score in the score language and a voice set
// (a TOML file beside it, a table inline, or none for the default voices).
// Throws SourceError, naming file, line and column, at the first mistake.
PackedSet pack_set(const std::filesystem::path& source_dir);

// The title list: "0 " and the set's title, then "N title" for each track,
// each line ending with CR LF.
std::string build_title_list(const std::string& set_title, const std::vector<std::string>& titles);

// Why a title would not read back as the title of its track (the player
// reads a line's leading number across blanks, decimal points and
// exponents, so "1 2nd part" would be taken for track 12), or an empty
// string when it is fine.
std::string title_problem(const std::string& title);

// Writes amus.dat, amus.mda and amus.txt into `out_dir` (created if
// missing). All three are written to temporary files first and only renamed
// into place once all three are complete; on failure none is changed.
// Returns an empty string on success, else a one-line reason.
std::string write_packed_set(const PackedSet& set, const std::filesystem::path& out_dir);

}  // namespace tambelo
