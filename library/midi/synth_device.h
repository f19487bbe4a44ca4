#pragma once

#include "library/midi/fluid_synth_setup.h"
#include "library/midi/midi_device.h"

#include <memory>
#include <string>

namespace tambelo {

// The embedded synthesizer: a FluidSynth GS module that plays what it is
// sent. Live, its sound goes to the system's audio output through
// FluidSynth's own drivers; offline, the caller renders it.
class SynthDevice final : public MidiDevice {
public:
    // Opens the synth on the first usable SoundFont of
    // `soundfont_candidates(chosen_soundfont)` with an audio output. Returns
    // null when no SoundFont can be loaded or no audio output opens; `why`
    // then says which, in one line. Prints nothing.
    static std::unique_ptr<SynthDevice> open(const std::string& chosen_soundfont,
                                             std::string* why = nullptr);

    // The same synth without an audio output, for rendering into buffers
    // with fluid_synth_write_* on `synth()` at `sample_rate` Hz.
    static std::unique_ptr<SynthDevice> open_offline(const std::string& chosen_soundfont,
                                                     double sample_rate,
                                                     std::string* why = nullptr);

    // Decodes the packed message and hands it to the synth at once. A
    // note-on with velocity 0 releases the note. Refuses (false) a message
    // without a channel status byte or with a data byte of 128 or more.
    bool send_short(std::uint32_t message) override;

    // Passes one whole System Exclusive message (F0 ... F7) to the synth and
    // marks the header done as soon as the synth has taken it, whether or
    // not the synth acts on it. False when the header was not prepared (it
    // is then not marked done) or its bytes are not one such message.
    bool send_long(MidiHeader& header) override;

    fluid_synth_t* synth() { return gs_.synth.get(); }
    const std::string& soundfont() const { return gs_.soundfont; }
    double sample_rate() const { return gs_.sample_rate; }

private:
    explicit SynthDevice(GsSynth gs) : gs_(std::move(gs)) {}

    GsSynth gs_;
    // Declared after the synth: the output stops before the synth goes.
    FluidAudioDriverPtr output_;
};

}  // namespace tambelo
