#pragma once

#include "library/player.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace tambelo::testing {

// Writes one channel's event records as the score compiler lays them out:
//   RecordWriter(stream).voice(3).note(60, 42, 6).loop_here().rest(12).end();
class RecordWriter {
public:
    explicit RecordWriter(EventStream& stream) : stream_(stream) { stream_.position = 0; }

    // A note sounding `sounding` ticks, then its silent tail.
    RecordWriter& note(int note, int sounding, int tail)
    {
        put(static_cast<std::uint8_t>(note));
        put_wait(sounding);
        return rest(tail);
    }
    RecordWriter& rest(int ticks)
    {
        put(128);
        put_wait(ticks);
        return *this;
    }
    RecordWriter& voice(int number) { return control(245, number); }
    RecordWriter& pan(int value) { return control(235, value); }
    RecordWriter& velocity(int value) { return control(249, value); }
    RecordWriter& no_loop()
    {
        put(236);
        return *this;
    }
    // The channel loops back to the next record written.
    RecordWriter& loop_here()
    {
        loop_position_ = stream_.position;
        return *this;
    }
    void end()
    {
        put(255);
        put(static_cast<std::uint8_t>(loop_position_));
        put(static_cast<std::uint8_t>(loop_position_ >> 8));
        put(static_cast<std::uint8_t>(loop_position_ >> 16));
    }

private:
    RecordWriter& control(std::uint8_t code, int value)
    {
        put(code);
        put(static_cast<std::uint8_t>(value));
        return *this;
    }
    void put_wait(int ticks)
    {
        put(static_cast<std::uint8_t>(ticks));
        put(static_cast<std::uint8_t>(ticks >> 8));
    }
    void put(std::uint8_t byte) { stream_.bytes[stream_.position++] = byte; }

    EventStream& stream_;
    std::int32_t loop_position_ = 0;
};

// Nine streams, each a lone end record (a channel without music) until
// written through channel(i).
class StreamSet {
public:
    StreamSet() : streams_(std::make_unique<std::array<EventStream, channel_count>>())
    {
        for (int i = 0; i < channel_count; ++i)
            RecordWriter(at(i)).end();
    }

    RecordWriter channel(int index) { return RecordWriter(at(index)); }
    EventStream& at(int index) { return (*streams_)[static_cast<std::size_t>(index)]; }
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
