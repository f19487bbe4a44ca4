#pragma once

#include "cli/export/sample_frames.h"
#include "library/midi/synth_device.h"
#include "library/offline_render.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// How a rendering ends.
struct AudioEnding {
    double music_ms = 0.0;    // the music proper: everything up to here plays at full level
    double fade_ms = 0.0;     // then a linear fade to silence over this long (0: none)
    bool release_tail = false;  // after the music, keep what still sounds until it dies away
    // Looping tracks: the first frame of the loop's second pass. The
    // synthesizer's processing blocks are shifted (by silent frames rendered
    // first and dropped) so that one begins at this frame, and every message
    // waits for the first block at or after its ideal frame. The second pass
    // then starts exactly here, and nothing of a pass sounds before its
    // start, so the second pass can be cut out as a loop that repeats
    // seamlessly.
    std::optional<std::size_t> loop_frame;
};


// Takes `count` interleaved stereo frames; false stops the rendering.
using AudioSink = std::function<bool(const float* frames, std::size_t count)>;

// Renders timed MIDI messages into stereo audio with the embedded
// synthesizer, off line and faster than real time. One renderer per thread;
// it may render any number of tracks one after another.
class AudioRenderer {
public:
    // Loads the SoundFont (`soundfont`, or the system's when empty). Null when
    // none can be loaded, with a one-line reason in `why`.
    static std::unique_ptr<AudioRenderer> create(const std::string& soundfont, int sample_rate,
                                                 std::string* why = nullptr);

    int sample_rate() const { return sample_rate_; }
    const std::string& soundfont() const { return device_->soundfont(); }

    // Interleaved stereo frames (left, right) of `messages` played on a
    // fresh synthesizer, so that the same track always renders the same.
    // Every message takes effect at the synthesizer's processing block (64
    // frames) that begins nearest its ideal frame: at 44.1 kHz within 0.73 ms
    // of its moment (with a loop frame, the first block at or after it:
    // within 1.45 ms). The result lasts exactly
    // music + fade; with a release tail, until 100 ms after the sound has
    // fallen below -80 dBFS (at most 10 s after the music).
    // The frames go to `sink` piece by piece as they are made, so memory
    // stays small however long the track; returns the number of frames, or
    // nothing when the sink refused some.
    std::optional<std::size_t> render(const std::vector<TimedMessage>& messages, const AudioEnding& ending,
                                      const AudioSink& sink);
    // The same, collected in memory.
    std::vector<float> render(const std::vector<TimedMessage>& messages, const AudioEnding& ending);

private:
    AudioRenderer(std::unique_ptr<SynthDevice> device, int sample_rate)
        : device_(std::move(device)), sample_rate_(sample_rate)
    {
    }
    void start_fresh();
    void send(const TimedMessage& message);

    // The embedded synthesizer's device, as live playback uses it.
    std::unique_ptr<SynthDevice> device_;
    int sample_rate_;
    bool first_render_ = true;
};

// Silence threshold of the release tail: -80 dBFS.
inline constexpr float audio_silence_level = 1e-4f;

}  // namespace tambelo
