#include "library/midi/recording_device.h"

#include "library/platform/clock.h"

namespace tambelo {

bool RecordingDevice::send_short(std::uint32_t message)
{
    const auto status = static_cast<std::uint8_t>(message & 0xFF);
    RecordedMessage recorded{clock_.now_ms(), {}};
    for (int i = 0; i < short_message_length(status); ++i)
        recorded.bytes.push_back(static_cast<std::uint8_t>((message >> (8 * i)) & 0xFF));
    log_->push_back(std::move(recorded));
    return true;
}

bool RecordingDevice::send_long(MidiHeader& header)
{
    log_->push_back({clock_.now_ms(),
                         std::vector<std::uint8_t>(header.data, header.data + header.bytes_recorded)});
    header.flags.fetch_or(midi_header_done);
    return true;
}

std::string format_message_bytes(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

}  // namespace tambelo
