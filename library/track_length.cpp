#include "library/track_length.h"

#include "score_format/stream_format.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tambelo {
namespace {

constexpr std::int64_t first_read_tick = 16;  // the device reset leaves every channel waiting 16 ticks
// No channel can read more records than this in one tick: it meets the end
// of its stream at least once on the way, and the second end ends it.
constexpr int reads_per_tick_bound = 2 * stream_capacity + 2;

// A record at `position` lying wholly inside the buffer, or nothing.
std::optional<int> record_at(const EventStream& stream, std::int32_t position)
{
    if (position < 0 || position >= stream_capacity)
        return std::nullopt;
    const int size = event_record_size(stream.bytes[position]);
    if (position + size > stream_capacity)
        return std::nullopt;
    return size;
}

int wait_of(const EventStream& stream, std::int32_t position)
{
    return stream.bytes[position + 1] | stream.bytes[position + 2] << 8;
}

std::int32_t loop_position_of(const EventStream& stream, std::int32_t position)
{
    return stream.bytes[position + 1] | stream.bytes[position + 2] << 8 |
           stream.bytes[position + 3] << 16;
}

// What one pass from a loop position to the next end record holds.
struct LoopSection {
    std::int64_t ticks = 0;
    bool sets_stop = false;  // holds an EV_NO_LOOP
};

LoopSection scan_loop_section(const EventStream& stream, std::int32_t position)
{
    LoopSection section;
    for (std::int32_t read = 0; read < reads_per_tick_bound; ++read) {
        const auto size = record_at(stream, position);
        if (!size)
            break;
        const std::uint8_t code = stream.bytes[position];
        if (code == EV_END)
            break;
        if (code <= EV_REST)
            section.ticks += wait_of(stream, position);
        if (code == EV_NO_LOOP)
            section.sets_stop = true;
        position += *size;
    }
    return section;
}

struct ChannelWalk {
    std::int32_t position = 0;
    std::int64_t due_tick = first_read_tick;
    bool active = true;
    bool has_sounded = false;
    bool looped = false;
    bool has_acted = false;  // read a record that may send a message
    std::int64_t ended_tick = 0;
    std::int64_t loop_start_tick = 0;
    LoopSection loop;
};

class TrackWalk {
public:
    explicit TrackWalk(std::span<const EventStream, channel_count> streams) : streams_(streams) {}

    TrackLength run()
    {
        for (;;) {
            std::int64_t tick = -1;
            for (const auto& channel : channels_)
                if (channel.active && (tick < 0 || channel.due_tick < tick))
                    tick = channel.due_tick;
            if (tick < 0)
                return {};  // nothing was active: cannot happen after the first tick
            for (int i = 0; i < channel_count; ++i) {
                if (!channels_[i].active || channels_[i].due_tick != tick)
                    continue;
                read_channel(i, tick);
                if (none_active())
                    return {TrackLength::Kind::ends, tick};
            }
            if (const auto forever = loops_for_ever())
                return *forever;
        }
    }

private:
    bool none_active() const
    {
        return std::none_of(channels_.begin(), channels_.end(),
                            [](const ChannelWalk& c) { return c.active; });
    }

    // Reads the channel's records due in `tick`, as the sequencer does.
    void read_channel(int index, std::int64_t tick)
    {
        ChannelWalk& channel = channels_[index];
        const EventStream& stream = streams_[index];
        int ends_this_tick = 0;
        for (int read = 0; read < reads_per_tick_bound; ++read) {
            const std::int32_t at = channel.position;
            const auto size = record_at(stream, at);
            // A record that does not fit in the buffer counts as an end
            // record looping to the start of the stream.
            const std::uint8_t code = size ? stream.bytes[at] : EV_END;
            if (size)
                channel.position += *size;
            if (code < EV_REST || code == EV_PAN || code == EV_VOICE || code == EV_FINE_TUNE)
                channel.has_acted = true;
            if (code <= EV_REST) {
                if (code < EV_REST)
                    channel.has_sounded = true;
                const int wait = wait_of(stream, at);
                if (wait > 0) {
                    channel.due_tick = tick + wait;
                    return;
                }
            } else if (code == EV_NO_LOOP) {
                stop_at_end_ = true;
            } else if (code == EV_END) {
                channel.position = size ? loop_position_of(stream, at) : 0;
                // A second end in one tick means a loop without a wait: the
                // sequencer ends such a channel rather than spin in the tick.
                if (!channel.has_sounded || stop_at_end_ || ++ends_this_tick >= 2) {
                    end_channel(channel, tick);
                    return;
                }
                if (!channel.looped) {
                    channel.looped = true;
                    channel.loop = scan_loop_section(stream, channel.position);
                    channel.loop_start_tick = tick - channel.loop.ticks;
                }
            }
        }
        end_channel(channel, tick);
    }

    static void end_channel(ChannelWalk& channel, std::int64_t tick)
    {
        channel.active = false;
        channel.ended_tick = tick;
    }

    // Once every channel still playing has looped, nothing new can happen
    // unless a loop sets the stop flag.
    std::optional<TrackLength> loops_for_ever() const
    {
        if (stop_at_end_)
            return std::nullopt;
        TrackLength length{TrackLength::Kind::loops};
        bool first = true;
        for (const auto& channel : channels_) {
            // The track repeats only once the channels that do not loop have
            // had their last say.
            if (!channel.active) {
                if (channel.has_acted)
                    length.loop_start_tick = std::max(length.loop_start_tick, channel.ended_tick + 1);
                continue;
            }
            if (!channel.looped || channel.loop.sets_stop)
                return std::nullopt;
            if (!first && channel.loop.ticks != length.loop_ticks)
                length.cycles_differ = true;
            first = false;
            length.loop_start_tick = std::max(length.loop_start_tick, channel.loop_start_tick);
            length.loop_ticks = std::max(length.loop_ticks, channel.loop.ticks);
        }
        return length;
    }

    std::span<const EventStream, channel_count> streams_;
    std::array<ChannelWalk, channel_count> channels_{};
    bool stop_at_end_ = false;
};

}  // namespace

TrackLength measure_track(std::span<const EventStream, channel_count> streams)
{
    return TrackWalk(streams).run();
}

std::uint16_t channels_with_notes(std::span<const EventStream, channel_count> streams)
{
    std::uint16_t found = 0;
    for (int k = 0; k < channel_count; ++k) {
        const EventStream& stream = streams[static_cast<std::size_t>(k)];
        // The stream's records in order, up to its end record or a record
        // that leaves the buffer (which the sequencer takes for the end).
        for (std::int32_t at = 0; at < stream_capacity;) {
            const std::uint8_t code = stream.bytes[at];
            if (code == EV_END || event_record_size(code) > stream_capacity - at)
                break;
            if (code < EV_REST) {
                found = static_cast<std::uint16_t>(found | 1U << k);
                break;
            }
            at += event_record_size(code);
        }
    }
    return found;
}

}  // namespace tambelo
