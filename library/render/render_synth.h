#pragma once

#include "library/midi/synth_device.h"
#include "library/render/synthesizer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tambelo {

// The embedded synthesizer that renders tracks off line, faster than real
// time, through the same device as live playback. One per thread; it may
// render any number of tracks one after another.
class RenderSynth final : public Synthesizer {
public:
    // Loads the SoundFont (`soundfont`, or the system's when empty). Null when
    // none can be loaded, with a one-line reason in `why`.
    static std::unique_ptr<RenderSynth> create(const std::string& soundfont, int sample_rate,
                                               std::string* why = nullptr);

    int sample_rate() const override { return sample_rate_; }
    const std::string& soundfont() const { return loaded_->soundfont(); }
    fluid_synth_t* synth() { return device_->synth(); }

    // The first call keeps the synthesizer just loaded, later calls replace
    // it with a new one that plays the same loaded SoundFont (a fraction of a
    // millisecond).
    void start_fresh() override;
    void silence() override;
    void send(const TimedMessage& message) override;
    void write(float* out, std::size_t frames) override;

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
