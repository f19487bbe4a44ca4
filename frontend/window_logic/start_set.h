#pragma once

// Which music set the window plays at start. A portable folder (program,
// library and set side by side) plays its own set, as always; an installed
// program has none beside it and takes, in this order, the set named on the
// command line, the set the user opened last, then the installed sample set.
// Plain C++: the caller reads the settings and the command line.

#include <filesystem>
#include <string>

namespace tambelo::frontend {

struct StartSetPlaces {
    std::filesystem::path program_folder;
    // A score archive or a folder holding amus.dat; empty when none given.
    std::filesystem::path command_line;
    // The score archive opened last; empty when none is remembered.
    std::filesystem::path last_opened;
    // The folder of the installed sample set.
    std::filesystem::path installed_samples;
};

// The score archive named by a command-line argument: the file itself, or
// amus.dat in it when it is a folder; empty when neither exists.
std::filesystem::path score_archive_named_by(const std::filesystem::path& file_or_folder);

// The score archive to play at start: the first of the places above that
// holds one. When none does, amus.dat in the program's folder, so that the
// window opens as it always did and plays nothing.
std::filesystem::path start_score_archive(const StartSetPlaces& places);

// What to tell the user at start when the file or folder named on the
// command line holds no set, so that `start` plays instead, or when `start`
// itself is a file that is not a music set; empty when nothing was named or
// it holds a set.
std::string unusable_start_path_message(const StartSetPlaces& places, const std::filesystem::path& start);

}  // namespace tambelo::frontend
