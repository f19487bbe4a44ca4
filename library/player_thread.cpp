#include "library/device_reset.h"
#include "library/midi/null_device.h"
#include "library/player.h"
#include "library/platform/thread.h"
#include "library/platform/timer_period.h"
#include "library/score_compiler.h"
#include "library/sequencer.h"
#include "library/voice_set.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

constexpr std::uint32_t poll_period_ms = 10;
constexpr std::uint32_t start_pause_ms = 100;

}  // namespace

void open_player_device(Player& player)
{
    std::unique_ptr<MidiDevice> device;
    if (player.services.open_device)
        device = player.services.open_device();
    player.midi_out = device ? std::move(device) : std::make_unique<NullDevice>();
}

void close_player_device(Player& player)
{
    silence_channels(player);
    player.midi_out.reset();
}

std::uint32_t poll_sleep_ms(const Player& player)
{
    const double balance = static_cast<double>(player.ms_accumulator);
    if (std::isnan(balance))
        return poll_period_ms;
    // The next tick falls due once the accumulator turns positive, that is
    // after more than -balance milliseconds: wake at the first whole
    // millisecond past that point, but never later than the usual poll.
    const double until_due = std::floor(-balance) + 1.0;
    return static_cast<std::uint32_t>(std::clamp(until_due, 1.0, double{poll_period_ms}));
}

void run_player_pass(Player& player)
{
    const std::int32_t current = player.current_track;
    const std::int32_t request = player.requested_track.load();
    std::int32_t track = current;

    if (current != request) {
        silence_channels(player);
        track = 0;
        if (request != 0) {
            take_track_paths(player);
            if (compile_score(player, request)) {
                load_voice_set(player, request);
                reset_device(player);
                player.services.clock->sleep_ms(start_pause_ms);
                track = request;
            } else {
                std::int32_t expected = request;
                player.requested_track.compare_exchange_strong(expected, 0);
            }
        }
    }

    bool advanced = false;
    if (track != 0) {
        // The sequencer reads the playing track from here if the track ends.
        player.current_track = track;
        advance_sequencer(player);
        advanced = true;
    }
    player.current_track = track;

    const bool precise = advanced && player.services.timing == PollTiming::precise;
    player.services.clock->sleep_ms(precise ? poll_sleep_ms(player) : poll_period_ms);
}

void player_thread(Player* player)
{
    Player& self = *player->self;
    // Raised from inside: on Windows with the posix thread model the
    // std::thread's native handle is no thread handle of the system.
    raise_current_thread_priority();
    const FineTimerPeriod fine_timer;
    open_player_device(self);
    while (!self.quit)
        run_player_pass(self);
    close_player_device(self);
}

}  // namespace tambelo
