#include "frontend/window_logic/start_set.h"

#include "tambelo/music_set.h"
#include "titles/title_list.h"

#include <system_error>

namespace tambelo::frontend {

namespace {

constexpr const char* score_archive_name = "amus.dat";

// The set's score archive in `folder`, named in any case.
std::filesystem::path score_archive_in(const std::filesystem::path& folder)
{
    return find_in_any_case(folder, score_archive_name).value_or(std::filesystem::path());
}

bool is_music_set(const std::filesystem::path& score)
{
    return !score.empty() && identify_score_file(score).is_set();
}

}  // namespace

std::filesystem::path score_archive_named_by(const std::filesystem::path& file_or_folder)
{
    if (file_or_folder.empty())
        return {};
    std::error_code ignored;
    if (std::filesystem::is_directory(file_or_folder, ignored))
        return score_archive_in(file_or_folder);
    return ordinary_file_exists(file_or_folder) ? file_or_folder : std::filesystem::path();
}

std::filesystem::path start_score_archive(const StartSetPlaces& places)
{
    // Only music sets: a file that is not one would play as silence.
    if (const auto beside_program = score_archive_in(places.program_folder); is_music_set(beside_program))
        return beside_program;
    if (auto named = score_archive_named_by(places.command_line); is_music_set(named))
        return named;
    if (is_music_set(places.last_opened))
        return places.last_opened;
    if (!places.installed_samples.empty())
        if (const auto samples = score_archive_in(places.installed_samples); is_music_set(samples))
            return samples;
    return places.program_folder / score_archive_name;
}

std::string unusable_start_path_message(const StartSetPlaces& places, const std::filesystem::path& start)
{
    // Nothing else held a set either: what is left plays nothing.
    if (ordinary_file_exists(start) && !is_music_set(start))
        return start.lexically_normal().string() + " " + not_a_set_reason + ". Nothing plays.";
    if (places.command_line.empty())
        return {};
    const std::filesystem::path named = score_archive_named_by(places.command_line);
    if (named.empty())
        return "There is no music set at " + places.command_line.string() +
               " (no such file, or a folder without amus.dat). Playing " + start.lexically_normal().string() +
               " instead.";
    if (!is_music_set(named))
        return named.string() + " " + not_a_set_reason + ". Playing " + start.lexically_normal().string() +
               " instead.";
    return {};
}

}  // namespace tambelo::frontend
