#include "library/render/render_synth.h"

#include <vector>

namespace tambelo {

std::unique_ptr<RenderSynth> RenderSynth::create(const std::string& soundfont, int sample_rate, std::string* why)
{
    auto device = SynthDevice::open_offline(soundfont, static_cast<double>(sample_rate), why);
    if (!device)
        return nullptr;
    return std::unique_ptr<RenderSynth>(new RenderSynth(std::move(device), sample_rate));
}

void RenderSynth::start_fresh()
{
    // A reset synth still carries sound from before (its effects keep their
    // buffers and their modulators' phases), so every track and every seek
    // gets a synth of its own. It plays the SoundFont the first one loaded,
    // which is neither read nor scanned again.
    if (!fresh_) {
        auto fresh = SynthDevice::open_offline_sharing(*loaded_);
        if (fresh) {
            fresh_device_ = std::move(fresh);
            device_ = fresh_device_.get();
            frames_ = 0;
        } else {
            silence();
        }
    }
    fresh_ = false;
}

void RenderSynth::silence()
{
    fluid_synth_system_reset(device_->synth());
    // The synth renders whole blocks and hands them out piece by piece: the
    // rest of the block under way was made before the reset, so it goes.
    constexpr std::uint64_t block_frames = 64;
    const auto rest = static_cast<std::size_t>((block_frames - frames_ % block_frames) % block_frames);
    std::vector<float> dropped(2 * rest);
    write(dropped.data(), rest);
}

void RenderSynth::send(const TimedMessage& message)
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

void RenderSynth::write(float* out, std::size_t frames)
{
    if (frames > 0)
        fluid_synth_write_float(device_->synth(), static_cast<int>(frames), out, 0, 2, out, 1, 2);
    frames_ += frames;
}

}  // namespace tambelo
