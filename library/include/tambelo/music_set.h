#pragma once

// The music-set model: whether a file is a score archive, and which files
// belong to a set. Every host (the library itself, the command line, the
// window, the plugins through the renderer's C interface, the web page
// through its core) asks these questions here, so that the same file is a
// set, or not, everywhere, and the same voice archive and title list go with
// it. Plain functions without state, linked into the host as a static
// library.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tambelo {

// Whether a file is a score archive ("amus.dat"), from its first bytes. The
// archive has no magic number, but its start is a table of 16-bit page
// numbers with a shape that other files almost never have: the first word
// names the first page after the table (at most 16 pages of table), the
// words never decrease, and a zero word ends the table inside its pages.

// The bytes of a file's start that are enough to tell: the longest table.
inline constexpr std::size_t score_identity_head_bytes = 16 * 256;

struct ScoreIdentity {
    // Tracks the table names; 0: not a score archive.
    std::int32_t tracks = 0;
    // Of them, the first ones that start inside the file: a file cut short
    // still plays these. Equal to `tracks` when the file's size is unknown.
    std::int32_t intact = 0;

    bool is_set() const { return tracks > 0; }
};

// `head`: the file's first bytes (score_identity_head_bytes, or the whole
// file when it is shorter); `file_size`: the file's size, 0 when unknown.
ScoreIdentity identify_score(std::span<const std::uint8_t> head, std::uint64_t file_size);

// The same for a file: not a set when it is not an ordinary file or cannot
// be read.
ScoreIdentity identify_score_file(const std::filesystem::path& path);

// What every host says of a file that is not one, after its name.
inline constexpr const char* not_a_set_reason =
    "is not a music set: it does not start with a score archive's track table";

// What a track says that the table names but that starts beyond the end of
// a file cut short.
inline constexpr const char* cut_off_reason = "is missing: the score archive ends before it";


// The files of a music set. The voice archive and the title list have the
// score archive's name with the extensions ".mda" and ".txt", in any case:
// sets copied from old CDs and FAT volumes are often "AMUS.DAT", "AMUS.MDA",
// "AMUS.TXT", or a mix. Every host finds them by this one rule.
struct SetFiles {
    std::filesystem::path score;
    // The file that is there, or the lower-case name when there is none.
    std::filesystem::path voices;
    std::filesystem::path titles;
};

SetFiles set_files_of(const std::filesystem::path& score);

// The same with paths as UTF-8 text, as the C interface and the command line
// take them.
struct SetFileNames {
    std::string score;
    std::string voices;
    std::string titles;
};

SetFileNames set_files_of_utf8(const std::string& score);

// The file in `folder` named `name` in any case ("amus.dat", "AMUS.DAT"),
// when there is one: the exact spelling first.
std::optional<std::filesystem::path> find_in_any_case(const std::filesystem::path& folder, const std::string& name);

}  // namespace tambelo
