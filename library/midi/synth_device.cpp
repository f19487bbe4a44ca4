#include "library/midi/synth_device.h"

#include "library/platform/clock.h"

namespace tambelo {
namespace {

constexpr double live_sample_rate = 48000.0;

// Whether the packed message is one the synth can take: a channel status
// byte and data bytes below 128. Program change and channel pressure carry
// one data byte; whatever the second byte holds is not part of the message.
bool is_channel_message(std::uint32_t message)
{
    const int status = static_cast<int>(message & 0xFF);
    const int data1 = static_cast<int>((message >> 8) & 0xFF);
    const int data2 = static_cast<int>((message >> 16) & 0xFF);
    if (status < 0x80 || (status & 0xF0) == 0xF0 || data1 > 0x7F)
        return false;
    const bool one_data_byte = short_message_length(static_cast<std::uint8_t>(status)) == 2;
    return one_data_byte || data2 <= 0x7F;
}

// Hands a message that passed is_channel_message to the synth.
bool apply_short_message(fluid_synth_t* synth, std::uint32_t message)
{
    const int status = static_cast<int>(message & 0xFF);
    const int data1 = static_cast<int>((message >> 8) & 0xFF);
    const int data2 = static_cast<int>((message >> 16) & 0xFF);
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, data1);
        return true;  // releasing a note that does not sound is no failure
    case 0x90:
        if (data2 == 0) {
            fluid_synth_noteoff(synth, channel, data1);
            return true;
        }
        return fluid_synth_noteon(synth, channel, data1, data2) == FLUID_OK;
    case 0xA0:
        return fluid_synth_key_pressure(synth, channel, data1, data2) == FLUID_OK;
    case 0xB0:
        return fluid_synth_cc(synth, channel, data1, data2) == FLUID_OK;
    case 0xC0:
        return fluid_synth_program_change(synth, channel, data1) == FLUID_OK;
    case 0xD0:
        return fluid_synth_channel_pressure(synth, channel, data1) == FLUID_OK;
    default:  // 0xE0, pitch bend: 14 bits, low seven first
        return fluid_synth_pitch_bend(synth, channel, data1 | data2 << 7) == FLUID_OK;
    }
}

// One whole System Exclusive message, F0 ... F7, of which FluidSynth takes
// the body.
bool apply_system_exclusive(fluid_synth_t* synth, const std::uint8_t* bytes, std::size_t length)
{
    if (length <= 2)
        return false;
    const char* body = reinterpret_cast<const char*>(bytes + 1);
    return fluid_synth_sysex(synth, body, static_cast<int>(length - 2), nullptr, nullptr, nullptr,
                             0) == FLUID_OK;
}

}  // namespace

// The synth as the timeline drives it, on the audio output's thread.
class SynthDevice::Renderer final : public TimelineSynth {
public:
    explicit Renderer(fluid_synth_t* synth) : synth_(synth) {}

    void render(float* left, float* right, int frames) override
    {
        // The effects (reverb, chorus) are mixed into the same two buffers.
        float* effects[4] = {left, right, left, right};
        float* dry[2] = {left, right};
        fluid_synth_process(synth_, frames, 4, effects, 2, dry);
    }
    void apply_short(std::uint32_t message) override { apply_short_message(synth_, message); }
    void apply_long(const std::uint8_t* bytes, std::size_t length) override
    {
        apply_system_exclusive(synth_, bytes, length);
    }

private:
    fluid_synth_t* synth_;
};

SynthTiming synth_timing_setting()
{
    SynthTiming timing;
    if (const SynthLatencySetting setting = read_synth_latency_setting(); setting.given) {
        timing.latency_ms = setting.latency_ms;
        timing.adaptive = false;
    }
    return timing;
}

SynthDevice::SynthDevice(GsSynth gs)
    : gs_(std::move(gs)), renderer_(std::make_unique<Renderer>(gs_.synth.get()))
{
}

SynthDevice::~SynthDevice() = default;

void SynthDevice::start_timeline(const SynthTiming& timing, Clock& clock)
{
    if (timing.latency_ms > 0.0) {
        TimelineLatency latency;
        latency.start_ms = timing.latency_ms;
        latency.adaptive = timing.adaptive;
        timeline_ = std::make_unique<SampleTimeline>(*renderer_, clock, gs_.sample_rate, latency);
    }
}

std::unique_ptr<SynthDevice> SynthDevice::open_offline(const std::string& chosen_soundfont,
                                                       double sample_rate, std::string* why)
{
    std::optional<GsSynth> gs = create_gs_synth(chosen_soundfont, sample_rate, why);
    if (!gs)
        return nullptr;
    return std::unique_ptr<SynthDevice>(new SynthDevice(std::move(*gs)));
}

std::unique_ptr<SynthDevice> SynthDevice::open_offline_sharing(const SynthDevice& loaded, std::string* why)
{
    std::optional<GsSynth> gs = create_gs_synth_sharing(loaded.gs_, why);
    if (!gs)
        return nullptr;
    return std::unique_ptr<SynthDevice>(new SynthDevice(std::move(*gs)));
}

std::unique_ptr<SynthDevice> SynthDevice::open_pulled(const std::string& chosen_soundfont,
                                                      double sample_rate, const SynthTiming& timing,
                                                      Clock& clock, std::string* why)
{
    std::unique_ptr<SynthDevice> device = open_offline(chosen_soundfont, sample_rate, why);
    if (device)
        device->start_timeline(timing, clock);
    return device;
}

std::unique_ptr<SynthDevice> SynthDevice::open(const std::string& chosen_soundfont,
                                               std::string* why)
{
    return open(chosen_soundfont, synth_timing_setting(), why);
}

std::unique_ptr<SynthDevice> SynthDevice::open(const std::string& chosen_soundfont,
                                               const SynthTiming& timing, std::string* why)
{
    std::unique_ptr<SynthDevice> device =
        open_pulled(chosen_soundfont, live_sample_rate, timing, system_clock(), why);
    if (!device)
        return nullptr;
    auto render_for_output = [](void* data, int frames, int, float**, int outputs,
                                float** out) -> int {
        if (outputs < 2)
            return FLUID_FAILED;
        static_cast<SynthDevice*>(data)->render(out[0], out[1], frames);
        return FLUID_OK;
    };
    device->output_ = open_audio_output(device->gs_, why, render_for_output, device.get());
    if (!device->output_)
        return nullptr;
    // A server that runs at a rate of its own (JACK) has the synth follow it;
    // the timeline must count frames at that rate too.
    if (device->timeline_)
        device->timeline_->set_stream_rate(device->gs_.sample_rate);
    return device;
}

void SynthDevice::render(float* left, float* right, int frames)
{
    if (timeline_)
        timeline_->render(left, right, frames);
    else
        renderer_->render(left, right, frames);
}

bool SynthDevice::send_short(std::uint32_t message)
{
    if (!is_channel_message(message))
        return false;
    if (timeline_)
        return timeline_->post_short(message);
    return apply_short_message(gs_.synth.get(), message);
}

bool SynthDevice::send_short_at(std::uint32_t message, const DueMoment& due)
{
    if (!is_channel_message(message))
        return false;
    if (timeline_)
        return timeline_->post_short(message, &due);
    return apply_short_message(gs_.synth.get(), message);
}

bool SynthDevice::send_long(MidiHeader& header)
{
    if (!(header.flags.load() & midi_header_prepared) || !header.data)
        return false;
    const std::uint32_t length = header.bytes_recorded;
    const bool whole_message = length > 2 && length <= header.buffer_length &&
                               header.data[0] == 0xF0 && header.data[length - 1] == 0xF7;
    bool taken = false;
    if (whole_message)
        taken = timeline_ ? timeline_->post_long(header.data, length)
                          : apply_system_exclusive(gs_.synth.get(), header.data, length);
    // Done in every case: the synth and the timeline keep nothing of the
    // bytes, and a sender waiting for the flag must not wait on a message it
    // got wrong.
    header.flags.fetch_or(midi_header_done);
    return taken;
}

}  // namespace tambelo
