#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace tambelo {

class Clock;

// Header of a long (System Exclusive) message, modelled on the header that
// MIDI output services hand to a device: the caller fills in the data and
// lengths, prepares it, sends it, waits until the device sets the done flag,
// then unprepares it before the bytes may be released.
struct MidiHeader {
    const std::uint8_t* data = nullptr;
    std::uint32_t buffer_length = 0;
    std::uint32_t bytes_recorded = 0;
    // Written by the device (possibly from another thread), read by the sender.
    std::atomic<std::uint32_t> flags{0};
};

// The moment a message belongs to, on the sending thread's clock (the
// Player's Clock): `late_ms` milliseconds before the reading `reading_ms`.
// The sequencer gives the moment its tick fell due, which can lie well
// before the moment its thread woke up to send the message.
struct DueMoment {
    std::uint32_t reading_ms = 0;
    double late_ms = 0.0;
};

inline constexpr std::uint32_t midi_header_done = 0x1;
inline constexpr std::uint32_t midi_header_prepared = 0x2;

// Number of bytes a short message with this status byte carries: program
// change and channel pressure have one data byte, other channel messages two.
constexpr int short_message_length(std::uint8_t status)
{
    const std::uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
}

// A MIDI output device. Every call comes from the playback thread. Results
// tell whether the device accepted the call; the Player never looks at them,
// since the library carries on without sound rather than fail.
class MidiDevice {
public:
    virtual ~MidiDevice() = default;

    // One short message packed as on the wire of the classic MIDI output
    // services: status in bits 0..7, first data byte in bits 8..15, second
    // data byte in bits 16..23. Bits 24..31 carry nothing.
    virtual bool send_short(std::uint32_t message) = 0;

    // The same message with the moment it belongs to. A device that can
    // place a message in time sounds it that moment plus a fixed latency;
    // the others ignore the moment and send at once. Messages still take
    // effect in the order they were sent.
    virtual bool send_short_at(std::uint32_t message, const DueMoment& due);

    virtual bool prepare_header(MidiHeader& header);
    // Sends the header's bytes; the device sets midi_header_done in its flags
    // once it has finished with them (at once or later).
    virtual bool send_long(MidiHeader& header) = 0;
    virtual bool unprepare_header(MidiHeader& header);

    // A device that makes its sound itself (the embedded synthesizer) paces
    // the music by the sound it makes: the Player then reads its time from
    // this clock and sleeps on it, and each sleep renders the sound of the
    // time slept. `interrupted` is asked while a sleep waits for the sound to
    // be played; true ends the sleep early. Null (the default): the device
    // plays on the Player's own clock. Valid while the device lives.
    virtual Clock* pacing_clock(std::function<bool()> interrupted);

    // A break in the music that the caller asked for (a stop, another
    // track, quitting): sound the device holds ready to be heard is dropped,
    // so that what is sent next is heard at once. Messages are unaffected.
    virtual void discontinue() {}
};

inline Clock* MidiDevice::pacing_clock(std::function<bool()>)
{
    return nullptr;
}

inline bool MidiDevice::send_short_at(std::uint32_t message, const DueMoment&)
{
    return send_short(message);
}

inline bool MidiDevice::prepare_header(MidiHeader& header)
{
    header.flags.fetch_or(midi_header_prepared);
    return true;
}

inline bool MidiDevice::unprepare_header(MidiHeader& header)
{
    header.flags.fetch_and(~midi_header_prepared);
    return true;
}

}  // namespace tambelo
