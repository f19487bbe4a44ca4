#pragma once

#include "library/midi/midi_device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tambelo {

class Clock;

// One message as the device received it.
struct RecordedMessage {
    std::uint32_t clock_ms = 0;       // the clock's reading when it was sent
    std::vector<std::uint8_t> bytes;  // 2 or 3 for a short message, all of a long one

    bool operator==(const RecordedMessage&) const = default;
};

using MessageLog = std::vector<RecordedMessage>;

// Keeps every message with the clock reading at which it arrived. Long
// messages are marked done at once. For tests and diagnostic traces. The log
// is shared, so it outlives the device, which the Player closes (destroys)
// when its playback thread ends.
class RecordingDevice final : public MidiDevice {
public:
    explicit RecordingDevice(Clock& clock,
                             std::shared_ptr<MessageLog> log = std::make_shared<MessageLog>())
        : clock_(clock), log_(std::move(log))
    {
    }

    bool send_short(std::uint32_t message) override;
    bool send_long(MidiHeader& header) override;

    const MessageLog& messages() const { return *log_; }
    const std::shared_ptr<MessageLog>& log() const { return log_; }

private:
    Clock& clock_;
    std::shared_ptr<MessageLog> log_;
};

// "B0 78 00": two uppercase hex digits per byte, separated by single spaces.
std::string format_message_bytes(const std::vector<std::uint8_t>& bytes);

}  // namespace tambelo
