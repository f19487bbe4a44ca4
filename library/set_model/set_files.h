#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tambelo {

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
