#include "library/sequencer.h"

#include "library/player.h"
#include "library/portable_bit_cast.h"
#include "library/sequencer_events.h"

#include <cstdint>

namespace tambelo {
namespace {

// 109091/96 rounded to double. The exact bit pattern matters: the tick
// length is recomputed from it at every tick and the accumulator's rounding
// follows from it, so the music's timing matches to the last bit.
constexpr double tick_numerator_ms = bit_cast<double>(std::uint64_t{0x4091C17555555555});
static_assert(tick_numerator_ms > 1136.3645833333 && tick_numerator_ms < 1136.3645833334);

// Readings less than 2^31 ms ahead of the last one count as time passed;
// anything else is taken for a clock that went backwards and adds nothing.
// Unsigned subtraction makes the wrap of the 32-bit clock (after 49.7
// days) just another step forward.
constexpr std::uint32_t clock_step_limit_ms = 0x80000000u;

void take_the_time(Player& player)
{
    const std::uint32_t reading = player.services.clock->now_ms();
    const std::uint32_t elapsed = reading - player.last_clock_ms;
    if (elapsed == 0 || elapsed >= clock_step_limit_ms)
        return;
    player.ms_accumulator = static_cast<float>(static_cast<double>(elapsed) +
                                               static_cast<double>(player.ms_accumulator));
    player.last_clock_ms = reading;
}

}  // namespace

double tick_length_ms(const Player& player)
{
    const std::int64_t divisor =
        std::int64_t{player.tempo} - std::int64_t{player.tempo_base} + 64;
    return tick_numerator_ms / static_cast<double>(divisor < 1 ? 1 : divisor);
}

namespace {

// One tick: every channel track whose wait runs out performs its next
// events. False when the track ended in it.
bool perform_tick(Player& player)
{
    for (ChannelTrack& track : player.channels)
        if (track.active && track.wait != 0)
            --track.wait;
    for (int index = 0; index < channel_count; ++index) {
        ChannelTrack& track = player.channels[index];
        if (!track.active)
            track.wait = 1;
        if (track.wait != 0)
            continue;
        player.reading_channel = static_cast<std::int8_t>(index);
        const ChannelOutcome outcome = read_channel_events(player, index);
        player.reading_channel = -1;
        if (outcome == ChannelOutcome::track_ended)
            return false;
    }
    return true;
}

// Performs the due ticks; split from advance_sequencer so that every way out
// of the tick loop leaves the tick's moment cleared.
void perform_due_ticks(Player& player)
{
    // A tick is performed as soon as the accumulator is positive and paid
    // for afterwards, so the balance dips below zero and later calls make
    // it up. Ticks that fell due during a long pause all run here.
    for (;;) {
        if (!any_channel_active(player))
            return;
        if (!(player.ms_accumulator > 0.0f))  // also stops on NaN
            return;
        const float before = player.ms_accumulator;
        // The tick fell due when the balance crossed zero: `before` ms before
        // the last reading. A thread that wakes late sees a larger
        // balance, so the moment stays where the tick belongs.
        player.tick_due = DueMoment{player.last_clock_ms, static_cast<double>(before)};
        player.ms_accumulator =
            static_cast<float>(static_cast<double>(before) - tick_length_ms(player));
        // A backlog of many hours (the machine slept, the clock jumped) is
        // beyond the float's precision: paying a tick no longer lowers it and
        // the loop would never end. Such a backlog is dropped after this tick.
        if (!(player.ms_accumulator < before))
            player.ms_accumulator = 0.0f;

        if (!perform_tick(player))
            return;
    }
}

}  // namespace

void advance_sequencer(Player& player)
{
    take_the_time(player);
    perform_due_ticks(player);
    player.tick_due.reset();
}

void perform_one_tick(Player& player)
{
    if (any_channel_active(player))
        perform_tick(player);
    player.tick_due.reset();
}

}  // namespace tambelo
