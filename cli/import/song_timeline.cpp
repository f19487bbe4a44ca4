#include "cli/import/song_timeline.h"

#include "cli/authoring/score_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace tambelo {
namespace {

constexpr std::uint32_t default_tempo_us = 500000;
// The player's channels make their first read 16 ticks after the reset;
// the messages of tick k come (k - 1) tick lengths after it.
constexpr std::int64_t player_lead_in = 15;

struct FileEvent {
    std::int64_t file_tick;
    const MidiEvent* event;
};

std::vector<FileEvent> merged_events(const MidiSong& song)
{
    std::vector<FileEvent> events;
    for (const auto& track : song.tracks)
        for (const auto& event : track)
            events.push_back({event.tick, &event});
    // Stable: events of one tick keep their track's order, earlier tracks first.
    std::stable_sort(events.begin(), events.end(),
                     [](const FileEvent& a, const FileEvent& b) { return a.file_tick < b.file_tick; });
    return events;
}

std::uint32_t tempo_of(const MidiEvent& event)
{
    return std::uint32_t{event.data[0]} << 16 | std::uint32_t{event.data[1]} << 8 | event.data[2];
}

bool is_tempo(const MidiEvent& event)
{
    return event.status == 0xFF && event.meta_type == 0x51 && event.data.size() == 3 && tempo_of(event) != 0;
}

// The tempo that lasts longest in file ticks; the first one on a tie.
std::uint32_t main_tempo(const std::vector<FileEvent>& events, std::int64_t end)
{
    std::map<std::uint32_t, std::int64_t> lasting;
    std::vector<std::uint32_t> order{default_tempo_us};
    std::uint32_t tempo = default_tempo_us;
    std::int64_t since = 0;
    for (const auto& e : events) {
        if (!is_tempo(*e.event))
            continue;
        lasting[tempo] += e.file_tick - since;
        tempo = tempo_of(*e.event);
        since = e.file_tick;
        order.push_back(tempo);
    }
    lasting[tempo] += std::max<std::int64_t>(0, end - since);
    std::uint32_t best = order.front();
    for (std::uint32_t candidate : order)
        if (lasting[candidate] > lasting[best])
            best = candidate;
    return best;
}

bool is_control(const MidiEvent& e, int channel, int controller, int value)
{
    return e.kind() == 0xB0 && e.channel() == channel && e.data[0] == controller && (value < 0 || e.data[1] == value);
}

// Matches the player's device reset at the start of `events` (channel and
// System Exclusive events only): the GS reset, controllers 121 and volume
// 100 on channels 0..9, then the three start voices. Returns how many events
// it spans, or 0.
std::size_t match_player_reset(const std::vector<const MidiEvent*>& events, SongTimeline& timeline)
{
    static const std::vector<std::uint8_t> gs_reset = {0x41, 0x20, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    std::size_t at = 0;
    auto next = [&]() -> const MidiEvent* { return at < events.size() ? events[at++] : nullptr; };
    const MidiEvent* first = next();
    if (!first || first->status != 0xF0 || first->data != gs_reset)
        return 0;
    for (int controller : {121, 7})
        for (int channel = 0; channel < 10; ++channel) {
            const MidiEvent* e = next();
            if (!e || !is_control(*e, channel, controller, controller == 7 ? 100 : 0))
                return 0;
        }
    for (int j = 0; j < 3; ++j) {
        VoiceRecord voice;
        int channel = 3 + j;
        if (at < events.size() && is_control(*events[at], channel, 0, -1)) {
            const MidiEvent* bank = next();
            const MidiEvent* lsb = next();
            const MidiEvent* program = next();
            if (!lsb || !is_control(*lsb, channel, 32, 0) || !program || program->kind() != 0xC0 ||
                program->channel() != channel)
                return 0;
            voice.bank = bank->data[1];
            voice.program = program->data[0];
        } else {
            channel = 9;
            voice.bank = 255;  // kit 0: which kit played is not in the messages
        }
        int* values[] = {&voice.volume, &voice.reverb, &voice.chorus, &voice.pan};
        const int controllers[] = {7, 91, 93, 10};
        for (int k = 0; k < 4; ++k) {
            const MidiEvent* e = next();
            if (!e || !is_control(*e, channel, controllers[k], -1))
                return 0;
            *values[k] = e->data[1];
        }
        timeline.start_voices[static_cast<std::size_t>(j)] = voice;
    }
    return at;
}

// The player's all-sound-off then reset-all-controllers on channels 0..9,
// at the end of a track that ends by itself.
bool ends_with_player_silence(const std::vector<TimedEvent>& events)
{
    if (events.size() < 20)
        return false;
    const std::size_t from = events.size() - 20;
    for (std::size_t k = 0; k < 20; ++k) {
        const TimedEvent& e = events[from + k];
        if (e.tick != events.back().tick || !is_control(e.event, static_cast<int>(k % 10), k < 10 ? 120 : 121, 0))
            return false;
    }
    return true;
}

bool text_is(const MidiEvent& e, const char* word)
{
    std::string text = e.text();
    std::string lower;
    for (char c : text)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    return lower == word;
}

}  // namespace

SongTimeline build_timeline(const MidiSong& song, ImportReport& report)
{
    SongTimeline timeline;
    const std::vector<FileEvent> events = merged_events(song);
    std::int64_t file_end = 0;
    for (std::int64_t end : song.track_ends)
        file_end = std::max(file_end, end);

    const std::uint32_t tempo_us = main_tempo(events, file_end);
    timeline.bpm = 60e6 / tempo_us;
    // The main tempo's tick in file milliseconds.
    const double nominal_tick_ms = tempo_us / 1000.0 / ticks_per_quarter;
    timeline.tick_ms = nominal_tick_ms;

    // Time in ms of every event, following the tempo map.
    std::uint32_t tempo = default_tempo_us;
    std::int64_t tempo_since_tick = 0;
    double tempo_since_ms = 0.0;
    auto ms_at = [&](std::int64_t file_tick) {
        return tempo_since_ms + static_cast<double>(file_tick - tempo_since_tick) * tempo / 1000.0 / song.division;
    };
    int tempo_changes = 0;
    bool meter_set = false;
    std::vector<const MidiEvent*> played;
    std::vector<double> exact_ticks;
    std::optional<double> loop_start, loop_end;
    std::optional<double> controller_loop_start;
    for (const auto& e : events) {
        const MidiEvent& event = *e.event;
        const double exact = ms_at(e.file_tick) / nominal_tick_ms;
        if (is_tempo(event)) {
            tempo_since_ms = ms_at(e.file_tick);
            tempo_since_tick = e.file_tick;
            if (tempo_of(event) != tempo && e.file_tick > 0)
                ++tempo_changes;
            tempo = tempo_of(event);
        } else if (event.status == 0xFF) {
            if (event.meta_type == 0x03 && timeline.title.empty())
                timeline.title = event.text();
            else if (event.meta_type == 0x01 && timeline.album.empty())
                timeline.album = event.text();
            else if (event.meta_type == 0x06 && text_is(event, "loopstart") && !loop_start)
                loop_start = exact;
            else if (event.meta_type == 0x06 && text_is(event, "loopend") && !loop_end)
                loop_end = exact;
            else if (event.meta_type == 0x58 && event.data.size() >= 2 && !meter_set && event.data[1] < 8) {
                report.set_meter(event.data[0], ticks_per_whole >> event.data[1]);
                if (event.data[0] > 0)
                    timeline.bar_ticks = event.data[0] * (ticks_per_whole >> event.data[1]);
                meter_set = true;
            } else if (event.meta_type == 0x05)
                report.count("lyrics left out");
        } else if (event.kind() == 0xB0 && event.data[0] == 111) {
            if (!controller_loop_start)
                controller_loop_start = exact;
        } else {
            played.push_back(&event);
            exact_ticks.push_back(exact);
        }
    }
    const double exact_end = ms_at(file_end) / nominal_tick_ms;
    if (!loop_start)
        loop_start = controller_loop_start;

    const std::size_t reset_events = match_player_reset(played, timeline);
    timeline.from_player = reset_events > 0;
    if (!timeline.from_player)
        timeline.album.clear();
    const std::int64_t lead_in = timeline.from_player ? player_lead_in : 0;
    auto stream_tick = [&](double exact) { return std::max<std::int64_t>(0, std::llround(exact) - lead_in); };

    for (std::size_t k = reset_events; k < played.size(); ++k) {
        const double exact = exact_ticks[k];
        const std::int64_t tick = stream_tick(exact);
        const double shift = std::abs(exact - std::round(exact));
        if (shift > 1e-6 && played[k]->kind() == 0x90 && played[k]->data[1] != 0)
            report.count_shift("notes moved to the nearest tick", shift * nominal_tick_ms, tick);
        timeline.events.push_back({tick, *played[k]});
    }
    timeline.end_tick = stream_tick(exact_end);
    if (!timeline.events.empty())
        timeline.end_tick = std::max(timeline.end_tick, timeline.events.back().tick);
    if (timeline.from_player && ends_with_player_silence(timeline.events)) {
        timeline.end_tick = timeline.events.back().tick;
        timeline.events.resize(timeline.events.size() - 20);
        timeline.ends_with_silence = true;
    }
    if (loop_start) {
        timeline.loop_start = stream_tick(*loop_start);
        timeline.loop_end = loop_end ? stream_tick(*loop_end) : timeline.end_tick;
        if (*timeline.loop_end <= *timeline.loop_start) {
            report.say("the loop end does not come after the loop start: the track ends by itself");
            timeline.loop_start.reset();
            timeline.loop_end.reset();
        }
    }
    if (tempo_changes > 0) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "tempo changes: %d; a score holds one tempo, so the song is counted in ticks of %.2f BPM "
                      "and keeps its timing",
                      tempo_changes, timeline.bpm);
        report.say(line);
    }
    return timeline;
}

}  // namespace tambelo
