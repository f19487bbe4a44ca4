#pragma once

// Playing a music set live, for a host that lets its user choose the output
// by name (the command line's --output, or TAMBELO_MIDI_OUT): the playback
// thread, the output it opens, and the requests that steer it. C++, linked
// statically with the library: unlike library/exports.h it is no stable
// binary interface.
//
// An output name is a short text. On Linux: "synth" or "synth:SOUNDFONT" for
// the embedded synthesizer, "port:NAME" for an external MIDI port, "none"
// for silence. On Windows: "mapper" for the MIDI mapper, "port:NAME" for a
// MIDI output, "none". Paths are UTF-8 on Windows.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// The output names this build knows, for help texts and messages, such as
// "synth, synth:SOUNDFONT, port:NAME or none".
std::string output_names_help();

// The kind of output played when no name is given: "synth" on Linux,
// "mapper" on Windows.
std::string default_output_kind();

// The output played by default: the one TAMBELO_MIDI_OUT names, or when it is
// unset or empty default_output_kind().
std::string default_output_name();

// The MIDI outputs that "port:NAME" can choose (NAME may be any part of
// one), in the order they are searched: on Linux the JACK ports when a JACK
// server runs, then the ALSA sequencer's; on Windows the system's MIDI
// outputs in device order. Empty when there are none or no MIDI system
// runs. Prints nothing and never starts a server.
std::vector<std::string> midi_output_ports();

// What came of opening the output, once the playback thread has tried.
struct OutputOpening {
    // Why the music plays on no sound instead of the named output, in one
    // line; empty when the named output opened.
    std::string fallback_reason;
    // Notes for the user about the output that did open, one line each:
    // on Linux a SoundFont named with "synth:" that could not be used, and
    // the one played instead.
    std::vector<std::string> notes;
    // What the output plays with, for the user: the embedded synthesizer's
    // SoundFonts, bottom first ("SoundFonts \"/a/GS.sf2\" over
    // \"/a/GM.sf2\"", or "SoundFont \"/a/GM.sf2\""); empty for any other
    // output.
    std::string sound;
};

// A player with its playback thread, playing on the output it opened. Its
// requests are one-way, as the window's buttons: each returns at once, and
// the playback thread serves the newest when its pass comes round (a track
// is read afresh from the files when it starts). Requests are made from one
// thread; output_lost and wait_until_opened may be called from any.
class LivePlayer {
public:
    // Starts the playback thread, which opens the output named `output_name`
    // (falling back to no sound when it cannot) and then waits for a
    // request. `muted_channels`: score channels whose notes are not sent
    // (bit k: channel k, 0 to 8); their other events are, so the timing
    // stays. Null when memory runs out.
    static std::unique_ptr<LivePlayer> start(const std::string& output_name, std::uint16_t muted_channels = 0);

    // Stops the playback thread, which silences and closes the output. It
    // waits for the thread: an output that does not close holds it up.
    ~LivePlayer();
    LivePlayer(const LivePlayer&) = delete;
    LivePlayer& operator=(const LivePlayer&) = delete;

    // Waits at most `timeout_ms` until the output has been opened or given
    // up (loading a large SoundFont takes a moment); nothing on time-out.
    std::optional<OutputOpening> wait_until_opened(int timeout_ms);

    // Whether the opened output has lost its audio output right now (its
    // sound server went away), so that the music plays on unheard until one
    // opens again. Only the embedded synthesizer can; false before the
    // output has opened.
    bool output_lost() const;

    // The set the next tracks are read from: its score archive and voice
    // archive (a missing voice archive gives the default voices). A path of
    // 4,096 bytes or more counts as a missing file.
    void open_set(const std::string& score_path, const std::string& voice_path);

    // Asks for `track` to be played from its start; 0 asks for silence. A
    // call that names last_request() changes nothing: the track playing is
    // not started again, and one that could not be read is not tried again
    // until another number or a stop.
    void play(std::int32_t track);
    // Asks for silence.
    void stop();

    // The track after `track`: `track` + 1 when the score archive holds it,
    // `track` when it does not, 0 when the archive cannot be read. Reads the
    // archive; asks for nothing.
    std::int32_t next_track(std::int32_t track);
    // The track before `track`, but never less than 1. Asks for nothing.
    std::int32_t previous_track(std::int32_t track);

    // The track asked for and not yet ended; 0 after a stop, the end of a
    // track that does not loop, or a track that could not be read.
    std::int32_t requested_track() const;
    // The last number play accepted; 0 after a stop or the end of a track.
    // A track that could not be read leaves it, so that it tells such a
    // track from one that ended.
    std::int32_t last_request() const;

private:
    struct State;
    explicit LivePlayer(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace tambelo
