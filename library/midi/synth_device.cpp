#include "library/midi/synth_device.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

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

// The synth as the pacing drives it, on the playback thread.
class SynthDevice::Renderer final : public PacedSynth {
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

SynthDevice::SynthDevice(GsSynth gs)
    : gs_(std::move(gs)), renderer_(std::make_unique<Renderer>(gs_.synth.get()))
{
}

SynthDevice::~SynthDevice() = default;

void SynthDevice::start_pacing(double sample_rate, FramePacer::Wait wait)
{
    pacer_ = std::make_unique<FramePacer>(*renderer_, *ring_, sample_rate, std::move(wait));
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

namespace {

std::size_t frames_ahead(double sample_rate)
{
    return static_cast<std::size_t>(std::ceil(SynthDevice::ahead_ms * sample_rate / 1000.0));
}

}  // namespace

std::unique_ptr<SynthDevice> SynthDevice::open_pulled(const std::string& chosen_soundfont,
                                                      double sample_rate, FramePacer::Wait wait,
                                                      std::string* why)
{
    std::unique_ptr<SynthDevice> device = open_offline(chosen_soundfont, sample_rate, why);
    if (!device)
        return nullptr;
    device->ring_ = std::make_unique<FrameRing>(frames_ahead(sample_rate));
    device->start_pacing(sample_rate, std::move(wait));
    return device;
}

std::unique_ptr<SynthDevice> SynthDevice::open(const std::string& chosen_soundfont, std::string* why)
{
    std::unique_ptr<SynthDevice> device = open_offline(chosen_soundfont, live_sample_rate, why);
    if (!device)
        return nullptr;
    device->ring_ = std::make_unique<FrameRing>(frames_ahead(live_sample_rate));
    device->output_ = open_audio_output(device->gs_, *device->ring_, why);
    if (!device->output_)
        return nullptr;
    // A server that runs at a rate of its own (JACK) has the synth follow it,
    // and the music's time is counted in its frames.
    SynthDevice* self = device.get();
    device->start_pacing(device->gs_.sample_rate, [self] { self->wait_for_output(); });
    device->last_progress_ = std::chrono::steady_clock::now();
    return device;
}

namespace {

// An output that cannot tell that it failed, and has taken nothing for this
// long, has lost its server. Longer than a server takes to start a stream
// (PulseAudio's null sink was seen to wait 1.8 s) or to catch up after a stall.
constexpr auto output_silence_limit = std::chrono::milliseconds(4000);
constexpr auto reopening_period = std::chrono::milliseconds(1000);

// How long rendering waits for the output to take sound from a full ring: the
// player's own poll period, so a request is noticed as soon as the player
// would notice it anyway, while the ring still holds far more than this.
// Waking the renderer every millisecond instead made the JACK client late in
// a third of the runs on a virtual machine, against a tenth for a stock client.
constexpr auto full_ring_wait = std::chrono::milliseconds(10);

}  // namespace

void SynthDevice::wait_for_output()
{
    std::this_thread::sleep_for(full_ring_wait);
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t read = ring_->frames_read();
    if (output_ && read != last_read_) {
        last_read_ = read;
        last_progress_ = now;
        return;
    }
    if (output_ && !output_->failed() &&
        (output_->tells_failure() || now - last_progress_ < output_silence_limit))
        return;
    play_on_unheard(now);
}

// The output stopped taking sound: the music goes on at its pace, unheard,
// and every second another output is tried.
void SynthDevice::play_on_unheard(std::chrono::steady_clock::time_point now)
{
    if (output_) {
        output_.reset();  // no other reader of the ring is left
        output_lost_.store(true, std::memory_order_relaxed);
        last_progress_ = now;
        last_attempt_ = now;
    }
    // Frames the output would have taken since it was lost, taken here.
    const auto unheard = std::chrono::duration<double>(now - last_progress_).count();
    const auto due = static_cast<std::uint64_t>(unheard * gs_.sample_rate);
    float discarded[512 * 2];
    for (std::uint64_t taken = ring_->frames_read() - last_read_; taken < due;) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(512, due - taken));
        const std::size_t got = ring_->read(discarded, frames);
        if (got == 0)
            break;
        taken += got;
    }
    if (now - last_attempt_ < reopening_period)
        return;
    last_attempt_ = now;
    GsSynth& gs = gs_;
    const double rate = gs.sample_rate;
    if (AudioOutputPtr reopened = open_audio_output(gs, *ring_)) {
        gs.sample_rate = rate;  // the music is rendered at the rate it started with
        output_ = std::move(reopened);
        last_read_ = ring_->frames_read();
        last_progress_ = now;
        output_lost_.store(false, std::memory_order_relaxed);
    }
}

Clock* SynthDevice::pacing_clock(std::function<bool()> interrupted)
{
    if (!pacer_)
        return nullptr;
    pacer_->set_interrupted(std::move(interrupted));
    return pacer_.get();
}

void SynthDevice::discontinue()
{
    if (!pacer_)
        return;
    pacer_->drop_rendered();
    if (output_)
        output_->wake();
}

bool SynthDevice::send_short(std::uint32_t message)
{
    if (!is_channel_message(message))
        return false;
    if (pacer_) {
        pacer_->post_short(message, nullptr);
        return true;
    }
    return apply_short_message(gs_.synth.get(), message);
}

bool SynthDevice::send_short_at(std::uint32_t message, const DueMoment& due)
{
    if (!is_channel_message(message))
        return false;
    if (pacer_) {
        pacer_->post_short(message, &due);
        return true;
    }
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
    if (whole_message) {
        if (pacer_) {
            pacer_->post_long(header.data, length, nullptr);
            taken = true;
        } else {
            taken = apply_system_exclusive(gs_.synth.get(), header.data, length);
        }
    }
    // Done in every case: the synth and the pacing keep nothing of the
    // bytes, and a sender waiting for the flag must not wait on a message it
    // got wrong.
    header.flags.fetch_or(midi_header_done);
    return taken;
}

}  // namespace tambelo
