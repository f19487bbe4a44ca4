#pragma once

#include "cli/authoring/voice_set_source.h"
#include "cli/import/import_report.h"
#include "cli/import/midi_file_parser.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// A channel message or System Exclusive event at its stream tick.
struct TimedEvent {
    std::int64_t tick = 0;
    MidiEvent event;
};

// A song's events on the score's time grid: the file's tempo map followed
// to milliseconds and those counted in ticks of the song's main tempo, 48
// to its quarter note, so that music at the main tempo keeps its beats.
struct SongTimeline {
    std::vector<TimedEvent> events;  // in playing order; loop controllers left out
    std::string title;               // the first track name
    std::string album;               // a file this player wrote: its text event, the game's title
    // The file begins with the messages this player sends before every track
    // (which are then not in `events`): its start voices are known, and its
    // channels start 15 ticks after them.
    bool from_player = false;
    std::array<std::optional<VoiceRecord>, 3> start_voices;
    std::optional<std::int64_t> loop_start;
    std::optional<std::int64_t> loop_end;
    std::int64_t end_tick = 0;
    bool ends_with_silence = false;  // ends with the player's all-sound-off messages
    double bpm = 120.0;              // the main tempo
    double tick_ms = 0.0;            // one stream tick at the main tempo
    int bar_ticks = 192;             // the first time signature's bar (4/4 without one)
};

// Orders a parsed file's events in time and measures them in stream ticks,
// counting in `report` what moved or what the score holds differently.
SongTimeline build_timeline(const MidiSong& song, ImportReport& report);

}  // namespace tambelo
