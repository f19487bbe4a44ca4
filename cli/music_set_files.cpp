#include "cli/music_set_files.h"

#include "cli/commands.h"
#include "cli/safe_text.h"
#include "tambelo/music_set.h"

#include <filesystem>

namespace tambelo {

MusicSetFiles music_set_files(const std::string& score_path)
{
    const SetFileNames files = set_files_of_utf8(score_path);
    return {files.score, files.voices, files.titles};
}

ScoreIdentity identify_set_file(const std::string& score_path)
{
    return identify_score_file(std::filesystem::path(std::u8string(score_path.begin(), score_path.end())));
}

std::int32_t require_music_set(const std::string& score_path)
{
    const ScoreIdentity identity = identify_set_file(score_path);
    if (!identity.is_set())
        cli::fail(shown_path(score_path) + " " + not_a_set_reason);
    return identity.tracks;
}

}  // namespace tambelo
