#include "cli/commands.h"

#include "cli/export/length_text.h"
#include "cli/export/music_set.h"
#include "library/offline_render.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace tambelo::cli {

void add_list_command(CLI::App& app)
{
    auto* command = app.add_subcommand("list", "List the tracks of a music set with their titles and lengths");
    auto set_path = std::make_shared<std::string>();
    command->add_option("SET.dat", *set_path, "The set's score archive (its .mda and .txt lie beside it)")
        ->required();
    command->callback([set_path] {
        if (!std::filesystem::is_regular_file(*set_path))
            fail("no such file: " + *set_path);
        const MusicSetFiles files = music_set_files(*set_path);
        const std::int32_t count = count_tracks(files.score);
        if (count == 0) {
            std::cout << "no tracks in " << *set_path << '\n';
            return;
        }
        const SetTitles titles = SetTitles::read(files.titles);
        const std::string game = titles.game_title();
        std::cout << (game.empty() ? *set_path : game) << ": " << count << (count == 1 ? " track" : " tracks")
                  << "\n\n";
        char row[64];
        std::snprintf(row, sizeof row, "%5s  %-44s  ", "No.", "Length");
        std::cout << row << "Title\n";
        for (std::int32_t track = 1; track <= count; ++track) {
            OfflineFailure failure = OfflineFailure::none;
            auto played = OfflineTrack::open_set_track(files.score, files.voice, track, &failure);
            const std::string length =
                played ? describe_length(played->length(), played->tick_length_ms()) : describe(failure);
            std::snprintf(row, sizeof row, "%5d  %-44s  ", track, length.c_str());
            std::cout << row << titles.title_line(track) << '\n';
        }
    });
}

}  // namespace tambelo::cli
