#pragma once

// The one writer of event records for the tests and the benchmarks: records
// laid out as the score compiler writes them, so that a test reads like the
// events it plays or expects.
//   EventRecords(player.streams[0]).voice(3).note(60, 42, 6).end();
//   EXPECT_EQ(stream_bytes(player, 0), EventRecords().note(60, 42).rest(6).end().bytes());
// Header only, so that the benchmarks use it without the test libraries.

#include "library/player.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace tambelo::testing {

using Bytes = std::vector<std::uint8_t>;

class EventRecords {
public:
    // Records kept in bytes() only.
    EventRecords() = default;
    // Records written into `stream` as well, from its start; its position
    // ends after the last record, as a compilation leaves it.
    explicit EventRecords(EventStream& stream) : stream_(&stream) { stream.position = 0; }

    // The note sounds, then the channel waits `wait_ticks`.
    EventRecords& note(int number, int wait_ticks) { return put(number).put_word(wait_ticks); }
    // A note as the compiler writes one: its sounding ticks, then a rest for
    // its silent tail.
    EventRecords& note(int number, int sounding_ticks, int silent_ticks)
    {
        return note(number, sounding_ticks).rest(silent_ticks);
    }
    EventRecords& rest(int wait_ticks) { return put(rest_code).put_word(wait_ticks); }
    EventRecords& voice(int number) { return put(voice_code).put(number); }
    EventRecords& velocity(int value) { return put(velocity_code).put(value); }
    EventRecords& velocity_add(int delta) { return put(velocity_add_code).put(delta & 0xFF); }
    EventRecords& pan(int value) { return put(pan_code).put(value); }
    EventRecords& fine_tune(int amount) { return put(fine_tune_code).put(amount & 0xFF); }
    EventRecords& skip(int operand) { return put(skip_code).put(operand); }
    EventRecords& no_loop() { return put(no_loop_code); }
    // end() loops back to the record written next.
    EventRecords& loop_here()
    {
        loop_position_ = position();
        return *this;
    }
    // The end record, looping back to loop_here()'s record (the first one
    // without it).
    EventRecords& end() { return end(loop_position_); }
    // The end record with any loop position, one beyond the stream too.
    EventRecords& end(std::int32_t loop_position)
    {
        return put(end_code).put(loop_position & 0xFF).put((loop_position >> 8) & 0xFF).put((loop_position >> 16) & 0xFF);
    }
    // Bytes that need not form records, for malformed streams.
    EventRecords& raw(std::initializer_list<int> values)
    {
        for (const int value : values)
            put(value);
        return *this;
    }

    // Where the next record goes.
    std::int32_t position() const { return static_cast<std::int32_t>(bytes_.size()); }
    const Bytes& bytes() const { return bytes_; }

private:
    // The record codes are written out here rather than taken from the
    // library's own names, so that a wrong code in the library fails the
    // tests instead of agreeing with them.
    static constexpr int rest_code = 128, skip_code = 224, velocity_add_code = 225, pan_code = 235,
                         no_loop_code = 236, voice_code = 245, velocity_code = 249, fine_tune_code = 252,
                         end_code = 255;

    // Out-of-range values and records past the stream's end are mistakes in
    // the test, not data: they throw instead of wrapping or overrunning.
    EventRecords& put(int value)
    {
        if (value < 0 || value > 255)
            throw std::out_of_range("an event record byte must be 0..255");
        if (stream_ != nullptr) {
            if (stream_->position >= stream_capacity)
                throw std::length_error("event records beyond the stream's end");
            stream_->bytes[stream_->position++] = static_cast<std::uint8_t>(value);
        }
        bytes_.push_back(static_cast<std::uint8_t>(value));
        return *this;
    }
    EventRecords& put_word(int value)
    {
        if (value < 0 || value > 0xFFFF)
            throw std::out_of_range("an event record wait must be 0..65535 ticks");
        return put(value & 0xFF).put(value >> 8);
    }

    EventStream* stream_ = nullptr;
    Bytes bytes_;
    std::int32_t loop_position_ = 0;
};

// Stream `channel`'s bytes from its start to its position.
inline Bytes stream_bytes(const Player& player, int channel)
{
    const EventStream& stream = player.streams[channel];
    if (stream.position < 0 || stream.position > stream_capacity)
        return {};
    return Bytes(stream.bytes, stream.bytes + stream.position);
}

// Every stream of the player holds only its end record: a track without music.
inline void write_empty_streams(Player& player)
{
    for (EventStream& stream : player.streams)
        EventRecords(stream).end();
}

// Nine streams of their own, each a lone end record (a channel without
// music) until written through channel(i).
class StreamSet {
public:
    StreamSet() : streams_(std::make_unique<std::array<EventStream, channel_count>>())
    {
        for (EventStream& stream : *streams_)
            EventRecords(stream).end();
    }

    EventRecords channel(int index) { return EventRecords((*streams_)[static_cast<std::size_t>(index)]); }
    std::span<const EventStream, channel_count> span() const { return *streams_; }

    // Copies the streams into a Player, as a compilation would leave them.
    void copy_into(Player& player) const
    {
        for (int i = 0; i < channel_count; ++i)
            player.streams[i] = (*streams_)[static_cast<std::size_t>(i)];
    }

private:
    std::unique_ptr<std::array<EventStream, channel_count>> streams_;
};

}  // namespace tambelo::testing
