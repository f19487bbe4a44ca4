#include "library/midi/synth_device.h"

namespace tambelo {

std::unique_ptr<SynthDevice> SynthDevice::open_offline(const std::string& chosen_soundfont,
                                                       double sample_rate, std::string* why)
{
    std::optional<GsSynth> gs = create_gs_synth(chosen_soundfont, sample_rate, why);
    if (!gs)
        return nullptr;
    return std::unique_ptr<SynthDevice>(new SynthDevice(std::move(*gs)));
}

std::unique_ptr<SynthDevice> SynthDevice::open(const std::string& chosen_soundfont,
                                               std::string* why)
{
    std::unique_ptr<SynthDevice> device = open_offline(chosen_soundfont, 48000.0, why);
    if (!device)
        return nullptr;
    device->output_ = open_audio_output(device->gs_, why);
    if (!device->output_)
        return nullptr;
    return device;
}

bool SynthDevice::send_short(std::uint32_t message)
{
    const int status = static_cast<int>(message & 0xFF);
    const int data1 = static_cast<int>((message >> 8) & 0xFF);
    const int data2 = static_cast<int>((message >> 16) & 0xFF);
    const int channel = status & 0x0F;
    const int kind = status & 0xF0;
    if (status < 0x80 || kind == 0xF0 || data1 > 0x7F)
        return false;
    // Program change and channel pressure carry one data byte; whatever the
    // second byte holds is not part of the message.
    const bool one_data_byte = short_message_length(static_cast<std::uint8_t>(status)) == 2;
    if (!one_data_byte && data2 > 0x7F)
        return false;

    fluid_synth_t* synth = gs_.synth.get();
    switch (kind) {
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

bool SynthDevice::send_long(MidiHeader& header)
{
    if (!(header.flags.load() & midi_header_prepared) || !header.data)
        return false;
    const std::uint32_t length = header.bytes_recorded;
    const bool whole_message = length >= 2 && length <= header.buffer_length &&
                               header.data[0] == 0xF0 && header.data[length - 1] == 0xF7;
    int result = FLUID_FAILED;
    if (whole_message && length > 2) {
        // FluidSynth takes the message's body, without F0 and F7.
        const char* body = reinterpret_cast<const char*>(header.data + 1);
        result = fluid_synth_sysex(gs_.synth.get(), body, static_cast<int>(length - 2), nullptr,
                                   nullptr, nullptr, 0);
    }
    // Done in every case: the synth keeps nothing of the bytes, and a sender
    // waiting for the flag must not wait on a message it got wrong.
    header.flags.fetch_or(midi_header_done);
    return result == FLUID_OK;
}

}  // namespace tambelo
