#include "cli/commands.h"

#include "cli/export/length_text.h"
#include "cli/export/music_set.h"
#include "cli/export/track_list_json.h"
#include "cli/input_files.h"
#include "cli/music_set_files.h"
#include "cli/safe_text.h"
#include "cli/track_titles.h"
#include "library/render/render_set.h"

#include <algorithm>
#include <iostream>
#include <vector>

namespace tambelo::cli {

void add_list_command(CLI::App& app)
{
    auto* command = app.add_subcommand("list", "List the tracks of a music set with their titles and lengths");
    auto set_path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto sample_rate = std::make_shared<int>(44100);
    command->add_option("SET.dat", *set_path, "The set's score archive (its .mda and .txt lie beside it)")
        ->required();
    command->add_flag("--json", *json,
                      "Print the tracks as JSON (laid out as docs/tracks.schema.json says), with lengths in "
                      "milliseconds and in sample frames");
    command->add_option("--sample-rate", *sample_rate, "Sample rate of the frame counts in --json, Hz")
        ->check(CLI::Range(8000, 96000))
        ->capture_default_str();
    command->callback([set_path, json, sample_rate] {
        require_input_file(*set_path);
        require_music_set(*set_path);
        const MusicSetFiles files = music_set_files(*set_path);
        input_file_if_present(files.voice);
        std::string why;
        const auto set = RenderSet::open_files(files.score, files.voice, "", &why);
        if (!set)
            fail(why);
        const std::int32_t count = set->track_count();
        if (*json) {
            std::vector<std::int32_t> tracks;
            for (std::int32_t track = 1; track <= count; ++track)
                tracks.push_back(track);
            std::cout << track_list_json(files, SetTitles::read(files.titles), tracks, *sample_rate,
                                         embedded_synth_soundfonts());
            return;
        }
        // Title lines are printed made safe for the terminal.
        const std::vector<std::string> titles = load_track_titles(files.score);
        const std::string caption = game_title(titles);
        std::cout << caption << ": " << count << (count == 1 ? " track" : " tracks")
                  << "\n\n";
        std::vector<std::string> lengths;
        std::size_t width = 6;
        for (std::int32_t track = 1; track <= count; ++track) {
            const TrackInfo info = set->info(track);
            lengths.push_back(info.playable ? describe_length(info.length, info.tick_length_ms) : info.problem);
            width = std::max(width, lengths.back().size());
        }
        auto row = [width](const std::string& number, const std::string& length, const std::string& title) {
            std::cout << std::string(number.size() < 5 ? 5 - number.size() : 0, ' ') << number << "  " << length
                      << std::string(width - length.size() + 2, ' ') << title << '\n';
        };
        row("No.", "Length", "Title");
        for (std::int32_t track = 1; track <= count; ++track)
            row(std::to_string(track), lengths[static_cast<std::size_t>(track - 1)], track_title_line(titles, track));
    });
}

}  // namespace tambelo::cli
