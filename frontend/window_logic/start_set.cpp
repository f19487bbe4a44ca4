#include "frontend/window_logic/start_set.h"

#include "titles/title_list.h"

#include <system_error>

namespace tambelo::frontend {

namespace {

constexpr const char* score_archive_name = "amus.dat";

}  // namespace

std::filesystem::path score_archive_named_by(const std::filesystem::path& file_or_folder)
{
    if (file_or_folder.empty())
        return {};
    std::error_code ignored;
    if (std::filesystem::is_directory(file_or_folder, ignored)) {
        const auto inside = file_or_folder / score_archive_name;
        return ordinary_file_exists(inside) ? inside : std::filesystem::path();
    }
    return ordinary_file_exists(file_or_folder) ? file_or_folder : std::filesystem::path();
}

std::filesystem::path start_score_archive(const StartSetPlaces& places)
{
    const auto beside_program = places.program_folder / score_archive_name;
    if (ordinary_file_exists(beside_program))
        return beside_program;
    if (auto named = score_archive_named_by(places.command_line); !named.empty())
        return named;
    if (!places.last_opened.empty() && ordinary_file_exists(places.last_opened))
        return places.last_opened;
    if (!places.installed_samples.empty()) {
        const auto samples = places.installed_samples / score_archive_name;
        if (ordinary_file_exists(samples))
            return samples;
    }
    return beside_program;
}

std::string unusable_start_path_message(const StartSetPlaces& places, const std::filesystem::path& start)
{
    if (places.command_line.empty() || !score_archive_named_by(places.command_line).empty())
        return {};
    return "There is no music set at " + places.command_line.string() +
           " (no such file, or a folder without amus.dat). Playing " + start.lexically_normal().string() +
           " instead.";
}

}  // namespace tambelo::frontend
