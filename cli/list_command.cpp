#include "cli/commands.h"

#include "cli/export/length_text.h"
#include "cli/export/music_set.h"
#include "cli/export/playlist.h"
#include "cli/export/render_set_handle.h"
#include "cli/export/track_list_json.h"
#include "cli/input_files.h"
#include "cli/music_set_files.h"
#include "cli/safe_text.h"
#include "cli/track_titles.h"
#include "cli/utf8_path.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

namespace tambelo::cli {
namespace {

// A file URI of the absolute `path`: its bytes other than letters, digits,
// "-._~/" percent-encoded.
std::string file_uri(const std::string& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path_from_utf8(path), error);
    if (error)
        absolute = path_from_utf8(path);
    std::string text = utf8_from_path(absolute);
    if constexpr (std::filesystem::path::preferred_separator != '/')
        std::replace(text.begin(), text.end(), static_cast<char>(std::filesystem::path::preferred_separator), '/');
    if (text.empty() || text.front() != '/')
        text.insert(text.begin(), '/');
    std::string uri = "file://";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri;
}

// The set as a playlist of its playable tracks, each addressed as the
// players' plugins open one track of a set: the score archive's file URI
// with the track number as its subtune ("file:///.../amus.dat?3"). Lengths
// are the library's for a rendering with the default settings (two loops and
// an 8 s fade; a release tail counted at its shortest).
std::string set_playlist(const tambelo_set* set, const MusicSetFiles& files)
{
    const SetTitles titles = SetTitles::read(files.titles);
    const std::string uri = file_uri(files.score);
    constexpr int rate = 44100;
    std::vector<PlaylistEntry> entries;
    for (std::int32_t track = 1; track <= tambelo_set_track_count(set); ++track) {
        std::int64_t least = 0;
        std::int64_t most = 0;
        // Only a playable track has a length.
        if (tambelo_set_track_frames(set, track, nullptr, &least, &most) != nullptr)
            continue;
        entries.push_back({static_cast<double>(least) * 1000.0 / rate, titles.title(track),
                           uri + "?" + std::to_string(track)});
    }
    return extended_m3u(entries);
}

}  // namespace

void add_list_command(CLI::App& app)
{
    auto* command = app.add_subcommand("list", "List the tracks of a music set with their titles and lengths");
    auto set_path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto m3u = std::make_shared<bool>(false);
    auto sample_rate = std::make_shared<int>(44100);
    command->add_option("SET.dat", *set_path, "The set's score archive (its .mda and .txt lie beside it)")
        ->required();
    command->add_flag("--json", *json,
                      "Print the tracks as JSON (laid out as docs/tracks.schema.json says), with lengths in "
                      "milliseconds and in sample frames");
    command->add_flag("--m3u", *m3u,
                      "Print the set as an extended M3U playlist of its playable tracks (file URIs with the "
                      "track as subtune, \"amus.dat?3\", as the Audacious plugin opens them), with their "
                      "lengths as exported by default");
    command->add_option("--sample-rate", *sample_rate, "Sample rate of the frame counts in --json, Hz")
        ->check(CLI::Range(8000, 96000))
        ->capture_default_str();
    command->callback([set_path, json, m3u, sample_rate] {
        require_input_file(*set_path);
        require_music_set(*set_path);
        const MusicSetFiles files = music_set_files(*set_path);
        input_file_if_present(files.voice);
        std::string why;
        const RenderSetHandle set = open_render_set(files.score, files.voice, why);
        if (!set)
            fail(why);
        const std::int32_t count = tambelo_set_track_count(set.get());
        if (*m3u) {
            std::cout << set_playlist(set.get(), files);
            return;
        }
        if (*json) {
            std::vector<std::int32_t> tracks;
            for (std::int32_t track = 1; track <= count; ++track)
                tracks.push_back(track);
            std::cout << track_list_json(files, SetTitles::read(files.titles), tracks, *sample_rate,
                                         SynthSoundFonts::embedded());
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
            const tambelo_track_info* info = tambelo_set_track(set.get(), track);
            lengths.push_back(!info ? "" : info->playable ? describe_length(*info) : info->problem);
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
