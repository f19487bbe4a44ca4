#include "cli/export/audio_render.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

constexpr std::size_t block_frames = 64;  // FluidSynth's processing block
constexpr double max_tail_ms = 10000.0;
constexpr double quiet_end_ms = 100.0;

}  // namespace

std::unique_ptr<AudioRenderer> AudioRenderer::create(const std::string& soundfont, int sample_rate,
                                                     std::string* why)
{
    auto device = SynthDevice::open_offline(soundfont, static_cast<double>(sample_rate), why);
    if (!device)
        return nullptr;
    return std::unique_ptr<AudioRenderer>(new AudioRenderer(std::move(device), sample_rate));
}

// Hands one message to the synth through its device, as live playback does.
void AudioRenderer::send(const TimedMessage& message)
{
    const auto& bytes = message.bytes;
    if (bytes.empty())
        return;
    if (bytes[0] == 0xF0) {
        MidiHeader header;
        header.data = bytes.data();
        header.buffer_length = static_cast<std::uint32_t>(bytes.size());
        header.bytes_recorded = header.buffer_length;
        device_->prepare_header(header);
        device_->send_long(header);  // the synth takes it at once
        device_->unprepare_header(header);
        return;
    }
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 3; ++i)
        packed |= std::uint32_t{bytes[i]} << (8 * i);
    device_->send_short(packed);
}

void AudioRenderer::start_fresh()
{
    // A reset synth still carries sound from the track before (its effects
    // keep their buffers), so every track gets a synth of its own. Made
    // before the old one goes, it finds the SoundFont's samples in
    // FluidSynth's cache instead of reading them again.
    if (!first_render_) {
        auto fresh = SynthDevice::open_offline(device_->soundfont(), static_cast<double>(sample_rate_));
        if (fresh)
            device_ = std::move(fresh);
        else
            fluid_synth_system_reset(device_->synth());
    }
    first_render_ = false;
}

namespace {

// Frames on their way from the synthesizer to the sink: rendered in whole
// blocks, faded, measured for the release tail, and handed on once it is
// certain that they belong to the result.
class FrameStream {
public:
    FrameStream(fluid_synth_t* synth, const AudioEnding& ending, int sample_rate, const AudioSink& sink)
        : synth_(synth), sink_(sink), ending_(ending)
    {
        music_frames_ = frame_at_ms(ending.music_ms, sample_rate);
        fade_frames_ = ending.release_tail ? 0 : frame_at_ms(ending.fade_ms, sample_rate);
        planned_ = music_frames_ + fade_frames_;
        loud_end_ = planned_;
    }

    std::size_t rendered() const { return rendered_; }
    std::size_t planned() const { return planned_; }
    std::size_t loud_end() const { return loud_end_; }
    std::size_t written() const { return written_; }
    bool failed() const { return failed_; }

    // Renders `count` frames and drops them: the synthesizer is still
    // silent, and its processing blocks start that much later in the result.
    void skip(std::size_t count)
    {
        std::vector<float> dropped(2 * count);
        if (count > 0)
            fluid_synth_write_float(synth_, static_cast<int>(count), dropped.data(), 0, 2, dropped.data(), 1, 2);
    }

    // Renders up to frame `frame` (a block boundary) in bounded pieces,
    // passing on everything up to `keep`.
    void render_to(std::size_t frame, std::size_t keep)
    {
        while (rendered_ < frame && !failed_) {
            const std::size_t count = std::min(frame - rendered_, piece_frames);
            const std::size_t at = pending_.size();
            pending_.resize(at + 2 * count);
            float* out = pending_.data() + at;
            fluid_synth_write_float(synth_, static_cast<int>(count), out, 0, 2, out, 1, 2);
            for (std::size_t i = 0; i < count; ++i)
                shape(rendered_ + i, out + 2 * i);
            rendered_ += count;
            pass_on(std::min(rendered_, keep));
        }
    }

    // Hands frames up to `frame` to the sink.
    void pass_on(std::size_t frame)
    {
        if (frame <= written_ || failed_)
            return;
        const std::size_t count = frame - written_;
        failed_ = !sink_(pending_.data(), count);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(2 * count));
        written_ = frame;
    }

private:
    static constexpr std::size_t piece_frames = 4096;

    void shape(std::size_t frame, float* pair)
    {
        if (frame >= music_frames_ && frame < planned_ && fade_frames_ > 0) {
            const float gain = static_cast<float>(planned_ - frame) / static_cast<float>(fade_frames_);
            pair[0] *= gain;
            pair[1] *= gain;
        }
        if (ending_.release_tail && frame >= planned_ &&
            (std::fabs(pair[0]) >= audio_silence_level || std::fabs(pair[1]) >= audio_silence_level))
            loud_end_ = frame + 1;
    }

    fluid_synth_t* synth_;
    const AudioSink& sink_;
    AudioEnding ending_;
    std::size_t music_frames_ = 0;
    std::size_t fade_frames_ = 0;
    std::size_t planned_ = 0;
    std::size_t loud_end_ = 0;  // one past the last loud frame of the tail
    std::size_t rendered_ = 0;
    std::size_t written_ = 0;
    std::vector<float> pending_;  // frames from written_ to rendered_
    bool failed_ = false;
};

}  // namespace

std::optional<std::size_t> AudioRenderer::render(const std::vector<TimedMessage>& messages,
                                                 const AudioEnding& ending, const AudioSink& sink)
{
    start_fresh();
    FrameStream stream(device_->synth(), ending, sample_rate_, sink);
    const std::size_t planned = stream.planned();
    // Frames before the first block: with a loop frame, such that a block
    // begins there.
    const std::size_t lead = ending.loop_frame ? (block_frames - *ending.loop_frame % block_frames) % block_frames : 0;
    stream.skip(lead);
    const std::size_t round_up = ending.loop_frame ? block_frames - 1 : block_frames / 2;
    auto boundary_of = [&](std::size_t frame) {
        const std::size_t boundary = (frame + lead + round_up) / block_frames * block_frames;
        return boundary < lead ? 0 : boundary - lead;
    };

    for (const auto& message : messages) {
        const std::size_t boundary = boundary_of(frame_at_ms(message.time_ms, sample_rate_));
        if (boundary >= planned && !ending.release_tail)
            break;
        stream.render_to(boundary, planned);
        send(message);
    }
    stream.render_to(boundary_of(planned + block_frames - 1 - round_up), planned);

    if (ending.release_tail) {
        // Keep rendering until a stretch of 100 ms stays below the threshold.
        const std::size_t quiet_frames = frame_at_ms(quiet_end_ms, sample_rate_);
        const std::size_t limit = planned + frame_at_ms(max_tail_ms, sample_rate_);
        auto end = [&] { return std::min(stream.loud_end() + quiet_frames, limit); };
        stream.pass_on(std::min(stream.rendered(), end()));
        while (stream.rendered() < end() && !stream.failed())
            stream.render_to(stream.rendered() + block_frames * 16, end());
        stream.pass_on(std::min(stream.rendered(), end()));
    }
    if (stream.failed())
        return std::nullopt;
    return stream.written();
}

std::vector<float> AudioRenderer::render(const std::vector<TimedMessage>& messages, const AudioEnding& ending)
{
    std::vector<float> out;
    render(messages, ending, [&out](const float* frames, std::size_t count) {
        out.insert(out.end(), frames, frames + 2 * count);
        return true;
    });
    return out;
}

}  // namespace tambelo
