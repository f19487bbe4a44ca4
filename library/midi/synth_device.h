#pragma once

#include "library/midi/audio_output.h"
#include "library/midi/fluid_synth_setup.h"
#include "library/midi/frame_pacer.h"
#include "library/midi/frame_ring.h"
#include "library/midi/midi_device.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tambelo {

// The embedded synthesizer: a FluidSynth GS module that plays what it is
// sent.
//
// Live, it makes the music's time itself: the playback thread sleeps on its
// pacing clock (FramePacer), and each sleep renders the sound of that time
// ahead into a ring that the audio output plays (audio_output.h). Every
// message lands on the frame of its tick, as in an export, whatever the
// audio server does; a break in the music (a stop, another track) drops
// the sound rendered ahead, so the change is heard at once. Offline, the
// caller renders the synth itself.
class SynthDevice final : public MidiDevice {
public:
    // How much sound the live synth renders ahead of the output: more than
    // the longest stall seen on a busy machine (100 ms), so the output never
    // runs dry, and free of delay, since every break drops it.
    static constexpr double ahead_ms = 250.0;

    // Opens the synth on the first usable SoundFont of
    // `soundfont_candidates(chosen_soundfont)` with an audio output. Returns
    // null when no SoundFont can be loaded or no audio output opens; `why`
    // then says which, in one line. Prints nothing.
    static std::unique_ptr<SynthDevice> open(const std::string& chosen_soundfont,
                                             std::string* why = nullptr);

    // The live synth without an audio output: the caller plays `ring()`,
    // reading it as an output would, and `wait` is called (on the playback
    // thread) whenever the ring is full.
    static std::unique_ptr<SynthDevice> open_pulled(const std::string& chosen_soundfont,
                                                    double sample_rate, FramePacer::Wait wait,
                                                    std::string* why = nullptr);

    // The same synth without an audio output or pacing, for rendering into
    // buffers with fluid_synth_write_* on `synth()` at `sample_rate` Hz.
    // Messages are applied as they arrive.
    static std::unique_ptr<SynthDevice> open_offline(const std::string& chosen_soundfont,
                                                     double sample_rate,
                                                     std::string* why = nullptr);

    // A new synth like the offline one `loaded`, fresh, playing the
    // SoundFont `loaded` has loaded without loading it again; `loaded` must
    // outlive it, and the two are used from one thread at a time.
    static std::unique_ptr<SynthDevice> open_offline_sharing(const SynthDevice& loaded,
                                                             std::string* why = nullptr);

    ~SynthDevice() override;

    // Decodes the packed message and hands it to the synth, at once or, live,
    // at the frame of its moment. A note-on with velocity 0 releases the
    // note. Refuses (false) a message without a channel status byte or with a
    // data byte of 128 or more.
    bool send_short(std::uint32_t message) override;
    bool send_short_at(std::uint32_t message, const DueMoment& due) override;

    // Passes one whole System Exclusive message (F0 ... F7) to the synth and
    // marks the header done as soon as the synth (or the pacing, which keeps
    // a copy) has taken it, whether or not the synth acts on it. False when
    // the header was not prepared (it is then not marked done) or its bytes
    // are not one such message.
    bool send_long(MidiHeader& header) override;

    Clock* pacing_clock(std::function<bool()> interrupted) override;
    void discontinue() override;

    fluid_synth_t* synth() { return gs_.synth.get(); }
    const std::string& soundfont() const { return gs_.soundfont; }
    // Every SoundFont it plays, bottom first (GsSynth::soundfonts).
    const std::vector<std::string>& soundfonts() const { return gs_.soundfonts; }
    double sample_rate() const { return gs_.sample_rate; }
    // The live synth's ring, which its output (or the caller of a pulled
    // synth) plays. Null offline.
    FrameRing* ring() { return ring_.get(); }
    // Whether the audio output stopped taking sound (its server went away),
    // so that the music plays on unheard until an output opens again. Any
    // thread.
    bool output_lost() const { return output_lost_.load(std::memory_order_relaxed); }

private:
    class Renderer;
    explicit SynthDevice(GsSynth gs);
    void start_pacing(double sample_rate, FramePacer::Wait wait);
    void wait_for_output();
    void play_on_unheard(std::chrono::steady_clock::time_point now);

    GsSynth gs_;
    std::unique_ptr<Renderer> renderer_;
    std::unique_ptr<FrameRing> ring_;
    std::unique_ptr<FramePacer> pacer_;
    // Playback thread only: how the output is taking sound.
    std::uint64_t last_read_ = 0;
    std::chrono::steady_clock::time_point last_progress_{};
    std::chrono::steady_clock::time_point last_attempt_{};
    std::atomic<bool> output_lost_{false};
    // Declared last: the output stops before the rest goes.
    AudioOutputPtr output_;
};

}  // namespace tambelo
