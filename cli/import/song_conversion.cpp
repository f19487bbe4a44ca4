#include "cli/import/song_conversion.h"

#include "cli/authoring/tempo_conversion.h"
#include "cli/import/lane_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace tambelo {
namespace {

constexpr double tick_numerator_ms = 1136.3645833333333;
constexpr int highest_divisor = 319;  // tempo 255 at tempo base 0
constexpr std::int64_t longest_song_ticks = std::int64_t{1} << 24;

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

}  // namespace

ImportedSong convert_song(const MidiSong& midi, ImportReport& report, SongTimeline* timeline_out)
{
    SongTimeline timeline = build_timeline(midi, report);
    // Far more than a channel's event stream can wait through (it holds
    // about 43,000 bars of rest): refused before any text is made for it.
    if (timeline.end_tick > longest_song_ticks)
        throw MidiFileError("the song is too long for one score: it lasts " + std::to_string(timeline.end_tick) +
                            " ticks, and a score's channel holds well under " + std::to_string(longest_song_ticks));
    count_unrepeated_after_loop(timeline, report);
    ImportedSong song = build_lanes(timeline, report);
    choose_tempo(song, report);
    if (timeline_out)
        *timeline_out = std::move(timeline);
    return song;
}

}  // namespace tambelo
