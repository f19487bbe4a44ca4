#include "cli/import/song_import.h"

#include "cli/authoring/temporary_file.h"
#include "cli/authoring/tempo_conversion.h"
#include "cli/import/lane_builder.h"
#include "cli/import/midi_file_parser.h"
#include "cli/import/score_writer.h"
#include "cli/import/song_timeline.h"
#include "cli/import/source_files.h"
#include "cli/safe_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <system_error>

namespace tambelo {
namespace {

constexpr double tick_numerator_ms = 1136.3645833333333;
constexpr int highest_divisor = 319;  // tempo 255 at tempo base 0

// The tempo value and base whose tick is nearest `tick_ms`, and the BPM the
// score writes for them.
void choose_tempo(ImportedSong& song, ImportReport& report)
{
    const double wanted = tick_numerator_ms / song.tick_ms;
    const int divisor = static_cast<int>(std::clamp(std::round(wanted), 1.0, double{highest_divisor}));
    song.tempo_base = divisor <= 255 ? 64 : highest_divisor - divisor;
    const int tempo = divisor + song.tempo_base - 64;
    const double file_bpm = song.bpm;
    song.bpm = bpm_for_tempo(tempo, song.tempo_base);
    song.tick_ms = tick_numerator_ms / divisor;
    if (std::abs(song.bpm - file_bpm) > 0.001 * file_bpm) {
        char line[160];
        std::snprintf(line, sizeof line, "tempo: %.2f BPM plays at %.2f BPM, the nearest a score holds", file_bpm,
                      song.bpm);
        report.say(line);
    }
}

// Music after the loop end that is not the loop again cannot be kept: a
// looping score repeats its loop for ever. The second pass is held against
// the first, but for controllers where the loop comes round (the end of a
// channel's last phrase, which the score keeps); later passes against the
// second. Notes that the file releases at its very end are its last loop's,
// cut off there.
void count_unrepeated_after_loop(const SongTimeline& timeline, ImportReport& report)
{
    if (!timeline.loop_start)
        return;
    const std::int64_t start = *timeline.loop_start, end = *timeline.loop_end, period = end - start;
    std::multiset<std::pair<std::int64_t, std::vector<std::uint8_t>>> loop;
    auto key = [](const TimedEvent& e) {
        std::vector<std::uint8_t> bytes{e.event.status};
        bytes.insert(bytes.end(), e.event.data.begin(), e.event.data.end());
        return bytes;
    };
    for (const auto& e : timeline.events)
        if (e.tick >= start && e.tick < end + period)
            loop.emplace(e.tick, key(e));
    for (const auto& e : timeline.events) {
        if (e.tick < end)
            continue;
        const bool release = e.event.kind() == 0x80 || (e.event.kind() == 0x90 && e.event.data[1] == 0);
        if (release && e.tick == timeline.end_tick)
            continue;
        const bool at_seam = (e.tick - start) % period == 0 && e.event.kind() == 0xB0;
        const std::int64_t earlier = e.tick < end + period ? e.tick - period : end + (e.tick - end) % period;
        if (!at_seam && !loop.contains({earlier, key(e)}))
            report.count("messages after the loop end that do not repeat the loop, left out", e.tick);
    }
}

std::string file_stem(const std::string& name)
{
    return std::filesystem::path(name).stem().string();
}

}  // namespace

ImportedSource import_midi_song(std::span<const std::uint8_t> bytes, const std::string& name)
{
    ImportReport report;
    const MidiSong midi = parse_midi_file(bytes);
    const SongTimeline timeline = build_timeline(midi, report);
    count_unrepeated_after_loop(timeline, report);
    ImportedSong song = build_lanes(timeline, report);
    choose_tempo(song, report);

    ImportedSource source;
    VoiceNumbers voices;
    source.score = write_score(song, printable_text(std::filesystem::path(name).filename().string()), voices, report);
    source.voice_set = write_voice_set(song, voices);
    const std::string stem = printable_text(file_stem(name));
    source.set_file = write_set_file(timeline.album.empty() ? stem : timeline.album,
                                     timeline.title.empty() ? stem : timeline.title);
    source.report = report.lines();
    return source;
}

std::string write_source_folder(const ImportedSource& source, const std::filesystem::path& folder)
{
    std::error_code error;
    const std::string shown = shown_path(folder.string());
    if (std::filesystem::exists(folder / "set.toml", error))
        return shown + " holds a set.toml already; import into a new folder";
    std::filesystem::create_directories(folder, error);
    if (error)
        return "cannot make " + shown + ": " + error.message();
    const std::pair<const char*, const std::string*> files[] = {
        {imported_score_name, &source.score}, {imported_voices_name, &source.voice_set}, {"set.toml", &source.set_file}};
    std::vector<std::unique_ptr<TemporaryFile>> written;
    for (const auto& [file_name, text] : files) {
        auto file = std::make_unique<TemporaryFile>((folder / file_name).string());
        if (!file->reserved())
            return file->error();
        std::ofstream out(file->path(), std::ios::binary);
        out << *text;
        out.close();
        if (!out)
            return "cannot write " + shown_path(file->path());
        written.push_back(std::move(file));
    }
    // set.toml last: a folder without it is no source yet.
    for (auto& file : written)
        if (std::string problem = file->commit(); !problem.empty())
            return problem;
    return {};
}

}  // namespace tambelo
