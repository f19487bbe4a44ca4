#include "cli/export/audio_render.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

constexpr std::size_t block_frames = 64;  // FluidSynth's processing block
constexpr double max_tail_ms = 10000.0;
constexpr double quiet_end_ms = 100.0;

std::size_t frame_at(double time_ms, int sample_rate)
{
    return static_cast<std::size_t>(std::max<long long>(0, std::llround(time_ms * sample_rate / 1000.0)));
}

}  // namespace

std::unique_ptr<AudioRenderer> AudioRenderer::create(const std::string& soundfont, int sample_rate,
                                                     std::string* why)
{
    auto synth = create_gs_synth(soundfont, static_cast<double>(sample_rate), why);
    if (!synth)
        return nullptr;
    return std::unique_ptr<AudioRenderer>(new AudioRenderer(std::move(*synth), sample_rate));
}

void AudioRenderer::send(const TimedMessage& message)
{
    fluid_synth_t* synth = synth_.synth.get();
    const auto& bytes = message.bytes;
    if (bytes.empty())
        return;
    if (bytes[0] == 0xF0) {
        // FluidSynth takes the bytes between F0 and F7.
        if (bytes.size() >= 2 && bytes.back() == 0xF7)
            fluid_synth_sysex(synth, reinterpret_cast<const char*>(bytes.data() + 1),
                              static_cast<int>(bytes.size() - 2), nullptr, nullptr, nullptr, 0);
        return;
    }
    const int channel = bytes[0] & 0x0F;
    const int data1 = bytes.size() > 1 ? bytes[1] & 0x7F : 0;
    const int data2 = bytes.size() > 2 ? bytes[2] & 0x7F : 0;
    switch (bytes[0] & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth, channel, data1); break;
    case 0x90: fluid_synth_noteon(synth, channel, data1, data2); break;  // velocity 0 releases
    case 0xA0: fluid_synth_key_pressure(synth, channel, data1, data2); break;
    case 0xB0: fluid_synth_cc(synth, channel, data1, data2); break;
    case 0xC0: fluid_synth_program_change(synth, channel, data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth, channel, data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth, channel, data1 | data2 << 7); break;
    default: break;
    }
}

void AudioRenderer::render_frames(std::vector<float>& out, std::size_t frames)
{
    const std::size_t start = out.size();
    out.resize(start + 2 * frames);
    float* at = out.data() + start;
    fluid_synth_write_float(synth_.synth.get(), static_cast<int>(frames), at, 0, 2, at, 1, 2);
}

void AudioRenderer::start_fresh()
{
    // A reset synth still carries sound from the track before (its effects
    // keep their buffers), so every track gets a synth of its own. Made
    // before the old one goes, it finds the SoundFont's samples in
    // FluidSynth's cache instead of reading them again.
    if (!first_render_) {
        auto fresh = create_gs_synth(synth_.soundfont, static_cast<double>(sample_rate_));
        if (fresh) {
            // Moved out whole, so that its synth goes before its settings.
            GsSynth previous = std::move(synth_);
            synth_ = std::move(*fresh);
        } else
            fluid_synth_system_reset(synth_.synth.get());
    }
    first_render_ = false;
}

std::vector<float> AudioRenderer::render(const std::vector<TimedMessage>& messages, const AudioEnding& ending)
{
    start_fresh();
    std::vector<float> out;
    const std::size_t music_frames = frame_at(ending.music_ms, sample_rate_);
    const std::size_t fade_frames = frame_at(ending.fade_ms, sample_rate_);
    const std::size_t planned = music_frames + fade_frames;
    out.reserve(2 * (planned + block_frames));

    // Frames are rendered in whole blocks, so each message reaches the synth
    // exactly at a block boundary.
    std::size_t rendered = 0;
    for (const auto& message : messages) {
        const std::size_t frame = frame_at(message.time_ms, sample_rate_);
        const std::size_t boundary = (frame + block_frames / 2) / block_frames * block_frames;
        if (boundary >= planned && !ending.release_tail)
            break;
        if (boundary > rendered) {
            render_frames(out, boundary - rendered);
            rendered = boundary;
        }
        send(message);
    }
    const std::size_t blocks_needed = (planned + block_frames - 1) / block_frames * block_frames;
    if (blocks_needed > rendered) {
        render_frames(out, blocks_needed - rendered);
        rendered = blocks_needed;
    }

    std::size_t length = planned;
    if (ending.release_tail) {
        // Keep rendering until a stretch of 100 ms stays below the threshold.
        const std::size_t quiet_frames = frame_at(quiet_end_ms, sample_rate_);
        const std::size_t limit = planned + frame_at(max_tail_ms, sample_rate_);
        std::size_t loud_end = 0;  // one past the last loud frame
        auto scan = [&](std::size_t from) {
            for (std::size_t frame = from; frame < rendered; ++frame)
                if (std::fabs(out[2 * frame]) >= audio_silence_level ||
                    std::fabs(out[2 * frame + 1]) >= audio_silence_level)
                    loud_end = frame + 1;
        };
        scan(std::min(planned, rendered) > 0 ? std::min(planned, rendered) - 1 : 0);
        loud_end = std::max(loud_end, planned);
        while (rendered < loud_end + quiet_frames && rendered < limit) {
            const std::size_t from = rendered;
            render_frames(out, block_frames * 16);
            rendered += block_frames * 16;
            scan(from);
        }
        length = std::min({rendered, loud_end + quiet_frames, limit});
    } else if (fade_frames > 0) {
        for (std::size_t frame = music_frames; frame < planned; ++frame) {
            const float gain = static_cast<float>(planned - frame) / static_cast<float>(fade_frames);
            out[2 * frame] *= gain;
            out[2 * frame + 1] *= gain;
        }
    }
    out.resize(2 * length);
    return out;
}

}  // namespace tambelo
