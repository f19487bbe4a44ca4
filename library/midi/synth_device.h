#pragma once

#include "library/midi/audio_output.h"
#include "library/midi/fluid_synth_setup.h"
#include "library/midi/midi_device.h"
#include "library/midi/sample_timeline.h"
#include "library/midi/synth_latency_setting.h"

#include <memory>
#include <string>

namespace tambelo {

class Clock;

// How far behind the audio output's upper edge a message sounds on the live
// synthesizer, at least, by default. It absorbs the playback thread's late
// wake-ups (it polls every 10 ms): a message sent up to this much after its
// moment still sounds exactly on time; one sent later raises it for a while.
// Chosen from bench/live_timing (see bench/README.md): default_synth_latency_ms.

// How the live synthesizer places messages in time.
struct SynthTiming {
    // Messages sound this long after the audio output's upper edge at their
    // moment, on the output's own frame clock. 0 or less: each message is
    // applied as it arrives and sounds with the next block the audio output
    // asks for (the synth's own timing, coarse under load).
    double latency_ms = default_synth_latency_ms;
    // Whether a message that came late raises the latency for a while (the
    // default); a latency the user set stays as set.
    bool adaptive = true;
};

// The timing that TAMBELO_SYNTH_LATENCY_MS asks for: a fixed latency of
// 0 to 1000 ms (0 turns the timeline off), or the adaptive default when it
// is unset or not such a number (read_synth_latency_setting says why, for a
// tool to print). Prints nothing.
SynthTiming synth_timing_setting();

// The embedded synthesizer: a FluidSynth GS module that plays what it is
// sent. Live, its sound goes to the system's audio output (audio_output.h),
// rendered by our callback so that each message lands on the sample frame
// of its moment; offline, the caller renders it.
class SynthDevice final : public MidiDevice {
public:
    // Opens the synth on the first usable SoundFont of
    // `soundfont_candidates(chosen_soundfont)` with an audio output, timed as
    // `synth_timing_setting()` says. Returns null when no SoundFont can be
    // loaded or no audio output opens; `why` then says which, in one line.
    // Prints nothing.
    static std::unique_ptr<SynthDevice> open(const std::string& chosen_soundfont,
                                             std::string* why = nullptr);
    static std::unique_ptr<SynthDevice> open(const std::string& chosen_soundfont,
                                             const SynthTiming& timing, std::string* why = nullptr);

    // The live synth without an audio output of its own: the caller pulls
    // its sound with `render`, as an audio output would, from one thread.
    // Moments are read on `clock`, which must be the sender's clock.
    static std::unique_ptr<SynthDevice> open_pulled(const std::string& chosen_soundfont,
                                                    double sample_rate, const SynthTiming& timing,
                                                    Clock& clock, std::string* why = nullptr);

    // The same synth without an audio output, for rendering into buffers
    // with fluid_synth_write_* on `synth()` at `sample_rate` Hz. Messages are
    // applied as they arrive.
    static std::unique_ptr<SynthDevice> open_offline(const std::string& chosen_soundfont,
                                                     double sample_rate,
                                                     std::string* why = nullptr);

    // A new synth like the offline one `loaded`, fresh, playing the
    // SoundFont `loaded` has loaded without loading it again; `loaded` must
    // outlive it, and the two are used from one thread at a time.
    static std::unique_ptr<SynthDevice> open_offline_sharing(const SynthDevice& loaded,
                                                             std::string* why = nullptr);

    ~SynthDevice() override;

    // Decodes the packed message and hands it to the synth, at once or
    // through the timeline. A note-on with velocity 0 releases the note.
    // Refuses (false) a message without a channel status byte or with a data
    // byte of 128 or more.
    bool send_short(std::uint32_t message) override;
    // The same, sounding at `due` plus the latency when the device is timed.
    bool send_short_at(std::uint32_t message, const DueMoment& due) override;

    // Passes one whole System Exclusive message (F0 ... F7) to the synth and
    // marks the header done as soon as the synth (or the timeline, which
    // keeps a copy) has taken it, whether or not the synth acts on it. False
    // when the header was not prepared (it is then not marked done) or its
    // bytes are not one such message.
    bool send_long(MidiHeader& header) override;

    // Adds the next `frames` frames of sound to `left` and `right`, applying
    // queued messages at their frames. The audio output's thread only.
    void render(float* left, float* right, int frames);

    fluid_synth_t* synth() { return gs_.synth.get(); }
    const std::string& soundfont() const { return gs_.soundfont; }
    double sample_rate() const { return gs_.sample_rate; }
    // Null when messages are applied as they arrive.
    const SampleTimeline* timeline() const { return timeline_.get(); }
    // Whether the audio output gave no usable clock, so that the timeline
    // applies messages as they arrive instead (any thread).
    bool gave_up_timing() const { return timeline_ && timeline_->gave_up_timing(); }

private:
    class Renderer;
    explicit SynthDevice(GsSynth gs);
    void start_timeline(const SynthTiming& timing, Clock& clock);

    GsSynth gs_;
    std::unique_ptr<Renderer> renderer_;
    std::unique_ptr<SampleTimeline> timeline_;
    // Declared last: the output stops before the rest goes.
    AudioOutputPtr output_;
};

}  // namespace tambelo
