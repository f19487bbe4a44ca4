#pragma once

#include "cli/authoring/voice_set_source.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

inline constexpr int score_channel_count = 9;

// What one score channel does at one stream tick (ticks counted from the
// channel's first read, 48 to the quarter note). At one tick a channel
// releases its note, then performs its controls in order, then strikes its
// next note: the order in which the player sends them.
struct LaneAction {
    enum class Kind { voice, pan, fine_tune, note };
    Kind kind = Kind::note;
    std::int64_t tick = 0;
    int value = 0;              // pan 0..127, fine tune -63..63
    int pitch = 0;              // note: the MIDI note sent (for a drum, the drum note)
    int velocity = 0;           // note: 1..127
    std::int64_t end = 0;       // note: the tick of its release, after `tick`
    VoiceRecord voice;          // voice
};

// The music of one score channel.
struct Lane {
    int channel = 0;  // score channel 0..8
    bool drums = false;
    std::vector<LaneAction> actions;  // in performing order
};

// The part of a lane between two stream ticks, as one phrase or a few.
struct Segment {
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::vector<LaneAction> actions;  // in performing order; ticks from `from` to `to`
};

// The song as the score will hold it.
struct ImportedSong {
    std::string title;
    double bpm = 120.0;   // as the score writes it
    int tempo_base = 64;
    std::array<VoiceRecord, 3> start_voices;  // of channels 3, 4 and 5
    std::array<bool, 3> start_voice_is_drum{};
    std::vector<Lane> lanes;  // by channel
    // Looping: every channel repeats from the loop start (stream tick) with
    // this period; otherwise the track ends at `end_tick`.
    std::optional<std::int64_t> loop_start;
    std::int64_t loop_ticks = 0;
    std::int64_t end_tick = 0;
    double tick_ms = 10.0;  // for the report's milliseconds
    int bar_ticks = 192;    // the first time signature's bar
};

}  // namespace tambelo
