#pragma once

#include "library/midi/synth_device.h"
#include "library/offline_render.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tambelo {

// The embedded synthesizer that renders tracks off line, faster than real
// time, through the same device as live playback. One per thread; it may
// render any number of tracks one after another.
class RenderSynth {
public:
    // Loads the SoundFont (`soundfont`, or the system's when empty). Null when
    // none can be loaded, with a one-line reason in `why`.
    static std::unique_ptr<RenderSynth> create(const std::string& soundfont, int sample_rate,
                                               std::string* why = nullptr);

    int sample_rate() const { return sample_rate_; }
    const std::string& soundfont() const { return loaded_->soundfont(); }
    fluid_synth_t* synth() { return device_->synth(); }

    // Makes the synthesizer fresh for a track or a seek, so that the same
    // track always renders the same: the first call keeps the one just
    // loaded, later calls replace it with a new one that plays the same
    // loaded SoundFont (a fraction of a millisecond).
    void start_fresh();
    // Silences the synthesizer at once and resets its channels, keeping the
    // SoundFont, then stands at the start of a processing block as a new
    // one does. Its effects still ring with what it played before.
    void silence();
    // Hands one message to the synthesizer, as live playback does; it takes
    // effect at the start of the next processing block.
    void send(const TimedMessage& message);
    // Renders the next `frames` interleaved stereo frames into `out`.
    void write(float* out, std::size_t frames);

private:
    RenderSynth(std::unique_ptr<SynthDevice> loaded, int sample_rate)
        : loaded_(std::move(loaded)), device_(loaded_.get()), sample_rate_(sample_rate)
    {
    }

    // The synthesizer that loaded the SoundFont; it lives as long as the
    // fresh ones that play its SoundFont.
    std::unique_ptr<SynthDevice> loaded_;
    std::unique_ptr<SynthDevice> fresh_device_;
    SynthDevice* device_;  // the one in use: loaded_ or fresh_device_
    int sample_rate_;
    bool fresh_ = true;
    std::uint64_t frames_ = 0;  // rendered by this synthesizer
};

}  // namespace tambelo
