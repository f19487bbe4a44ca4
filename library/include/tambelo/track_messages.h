#pragma once

// What the playback library sends for a track of a music set, for tools that
// look at it rather than listen: the messages of the sequencer stepped on a
// frozen clock (a Standard MIDI File export), the messages the live player
// sends on a virtual clock (a trace), and what the player holds once it has
// prepared a track (a dump). C++, linked statically with the library: unlike
// tambelo/render.h it is no stable binary interface.
//
// A set is named by its score archive and voice archive paths (UTF-8 on
// Windows); a missing voice archive gives the default voices. Every call
// reads the files afresh and may be made from any thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tambelo {

// One MIDI message with the moment the sequencer sends it, measured from the
// device reset on an ideal clock: the messages of tick k carry exactly
// (k - 1) tick lengths, those of the reset itself 0.
struct TimedMessage {
    double time_ms = 0.0;
    std::vector<std::uint8_t> bytes;  // a short message's 2 or 3 bytes, or a whole System Exclusive
    // The score channel (0..8) whose event sent it; -1 for the device reset
    // and other messages of no channel. Drum voices of every channel share
    // MIDI channel 9, so only this tells their notes apart.
    std::int8_t channel = -1;

    bool operator==(const TimedMessage&) const = default;
};

// A track played off line from its device reset: through its end, or
// through a number of passes of its loop.
struct TrackMessages {
    std::vector<TimedMessage> messages;  // in time order
    double tick_length_ms = 0.0;
    bool loops = false;  // it repeats a loop for ever (and was cut after the passes asked)
    double end_ms = 0.0;  // the moment it ends, or the end of the last pass
    // The first pass of the loop, where the looping channels share one.
    std::optional<double> loop_start_ms;
    std::optional<double> loop_end_ms;
};

// Track `track` played through `loops` passes of its loop (at least 1; a
// track that ends by itself plays to its end). Nothing, with the reason in
// `why` ("does not compile", ...), when the track cannot be played.
std::optional<TrackMessages> play_track_messages(const std::string& score_path, const std::string& voice_path,
                                                 std::int32_t track, int loops, std::string* why = nullptr);

// What the live player sends while it plays a track from the moment it is
// asked for, its playback passes run one after another on a virtual clock
// that moves only by their sleeps.
struct TraceSettings {
    std::uint32_t clock_start_ms = 0;  // the clock's first reading; it wraps after 2^32 - 1
    std::uint64_t for_ms = 60000;      // passes that start this long after the start are not run
    bool fixed_poll = false;           // poll every 10 ms instead of waking when a tick falls due
    std::uint16_t muted_channels = 0;  // score channels whose notes are left out (bit k: channel k)
};

enum class TraceOutcome {
    played,         // the passes ran until the time was up or the track ended
    not_a_score,    // the track could not be read as a score: the player stayed idle
    path_too_long,  // a path of 4,096 bytes or more
    out_of_memory,
};

// Runs the passes and hands each message sent to `sent` with the time
// since the clock's start in milliseconds, after each pass.
using SentMessage = std::function<void(std::uint32_t elapsed_ms, const std::vector<std::uint8_t>& bytes)>;
TraceOutcome trace_track(const std::string& score_path, const std::string& voice_path, std::int32_t track,
                         const TraceSettings& settings, const SentMessage& sent);

// One voice of the player's voice table, as the voice archive gives it.
struct PreparedVoice {
    std::int32_t bank = 0;  // below 128: bank select MSB; 128 or more: drum voice, kit 255 - bank
    std::int32_t program = 0;
    std::int32_t volume = 0;      // controller 7
    std::int32_t reverb = 0;      // controller 91
    std::int32_t chorus = 0;      // controller 93
    std::int32_t key_offset = 0;  // melodic notes are sent as stream note + key_offset - 64
    std::int32_t pan = 0;         // controller 10
};

// What a player holds after preparing a track: compiling its score and
// loading its voice set, as the playback thread does before playing it.
struct PreparedTrack {
    bool compiled = false;
    std::int32_t tempo = 0;
    std::vector<std::vector<std::uint8_t>> streams;  // the nine compiled event streams; none when not compiled
    std::int32_t tempo_base = 0;
    std::vector<PreparedVoice> voices;  // the whole voice table
    std::vector<std::int32_t> drum_map;  // drum note per kit and stream note, at kit * 128 + note
};

// Nothing, with the reason in `why`, when a path is too long or memory is short.
std::optional<PreparedTrack> prepare_track(const std::string& score_path, const std::string& voice_path,
                                           std::int32_t track, std::string* why = nullptr);

// A voice a track asks the synthesizer for (a program change on a MIDI
// channel, in the bank its last bank select chose) that its SoundFonts lack,
// and what FluidSynth plays instead.
struct MissingVoice {
    int channel = 0;  // the MIDI channel, 0 to 15
    int bank = 0;     // 128 for the drum channel's kits
    int program = 0;
    std::optional<std::pair<int, int>> played;  // the bank and program played; nothing: the voice is silent
    std::string text;  // "ch3 bank 8 program 25 → bank 0 program 25", or "... → silent"
};

// The SoundFonts the embedded synthesizer plays with, bottom first, their
// presets read once for any number of tracks. A default-made one holds none
// (MIDI output, or a build without the synthesizer).
class SynthSoundFonts {
public:
    SynthSoundFonts();
    ~SynthSoundFonts();
    SynthSoundFonts(const SynthSoundFonts&);
    SynthSoundFonts& operator=(const SynthSoundFonts&);

    // Those for `chosen` (a SoundFont file; empty: the system's).
    static SynthSoundFonts embedded(const std::string& chosen = {});

    std::vector<std::string> paths() const;

    // The voices track `track` asks for that fall back in them, each once,
    // in the order first asked (none without SoundFonts), played from its
    // start through its end or one whole pass of its loop. Nothing, with the
    // reason in `why` ("does not compile", ...), when the track cannot be
    // played.
    std::optional<std::vector<MissingVoice>> missing_voices(const std::string& score_path,
                                                            const std::string& voice_path, std::int32_t track,
                                                            std::string* why = nullptr) const;

private:
    struct Held;
    std::shared_ptr<const Held> held_;
};

// "B0 78 00": two uppercase hex digits per byte, separated by single spaces.
std::string message_bytes_text(const std::vector<std::uint8_t>& bytes);

}  // namespace tambelo
