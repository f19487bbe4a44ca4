#pragma once

#include "library/track_length.h"

#include <tambelo/track_messages.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tambelo {

struct Player;

enum class TrackOpenFailure {
    none,
    does_not_compile,    // the score is missing or not a well-formed score
    tempo_out_of_range,  // the tempo and the voice set's tempo base give no positive tick length
    out_of_memory,
};

// The sequencer stepped on a frozen clock: a track played by the Player's
// own code, off line, the source of the messages the renderer synthesizes
// and the MIDI export writes. The same score compiler, voice set loader,
// device reset and sequencer as live playback, on a Player without a thread
// whose clock never moves. Each step has the sequencer perform exactly one
// tick, and the messages of that tick are stamped with the tick's ideal
// time. Not thread-safe; independent tracks may be played on separate
// threads.
class FrozenClockSequencer {
public:
    // Fills the Player's streams (and tempo) and its voice set; false when the
    // track cannot be compiled. Called on a Player made for the purpose.
    using Prepare = std::function<bool(Player&)>;

    // Prepares the track as the playback thread does before it plays one:
    // `prepare`, then the device reset (whose messages come first, at time 0).
    // Returns null, with the reason in `failure` when given, if the track
    // cannot be played; never throws but for lack of memory.
    static std::unique_ptr<FrozenClockSequencer> open(const Prepare& prepare, TrackOpenFailure* failure = nullptr);

    // Track `track` of the music set made of a score archive and a voice archive.
    static std::unique_ptr<FrozenClockSequencer> open_set_track(const std::string& score_path,
                                                                const std::string& voice_path, std::int32_t track,
                                                                TrackOpenFailure* failure = nullptr);

    ~FrozenClockSequencer();
    FrozenClockSequencer(const FrozenClockSequencer&) = delete;
    FrozenClockSequencer& operator=(const FrozenClockSequencer&) = delete;

    const TrackLength& length() const { return length_; }
    // The score channels that have notes (bit k: channel k).
    std::uint16_t note_channels() const { return note_channels_; }
    double tick_length_ms() const { return tick_length_ms_; }
    // The score's tempo and the voice set's tempo base, as compiled.
    std::int32_t tempo() const;
    std::int32_t tempo_base() const;

    // Plays every tick before tick `end_tick` that has not been played yet
    // and appends its messages to `out`; the first call also appends those of
    // the device reset. Stops after the tick in which the track ends.
    void play_until_tick(std::int64_t end_tick, std::vector<TimedMessage>& out);
    // The same up to a time: plays the ticks that fall due before `end_ms`.
    void play_until_ms(double end_ms, std::vector<TimedMessage>& out);
    // The first tick whose time is not before `end_ms`: play_until_ms plays
    // up to it.
    std::int64_t first_tick_from_ms(double end_ms) const;

    // The next tick to be played (1 before the first).
    std::int64_t next_tick() const { return next_tick_; }
    // True once the track has ended by itself; no tick is played after that.
    bool ended() const { return ended_; }

private:
    class Device;
    class FrozenClock;
    FrozenClockSequencer();

    std::unique_ptr<FrozenClock> clock_;
    Player* player_ = nullptr;
    Device* device_ = nullptr;  // owned by the Player
    std::vector<TimedMessage> pending_;
    TrackLength length_;
    std::uint16_t note_channels_ = 0;
    double tick_length_ms_ = 0.0;
    std::int64_t next_tick_ = 1;
    bool ended_ = false;
};

// Words for a failure, in lower case: "does not compile", ...
const char* describe(TrackOpenFailure failure);

}  // namespace tambelo
