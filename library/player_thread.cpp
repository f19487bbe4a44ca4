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
    player.own_clock = player.services.clock;
    Player* self = &player;
    if (Clock* pacing = player.midi_out->pacing_clock([self] {
            return self->quit.load() != 0 || self->request.load() != self->pass_request.load();
        }))
        player.services.clock = pacing;
}

void close_player_device(Player& player)
{
    player.midi_out->discontinue();
    silence_channels(player);
    player.midi_out.reset();
    if (player.own_clock)
        player.services.clock = player.own_clock;
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
    const std::uint64_t seen = player.request.load();
    player.pass_request.store(seen);
    const TrackRequest request = TrackRequest::from_word(seen);
    // A track that ended answers no request any more: asked for again, even
    // under the same number, it is prepared afresh.
    const bool ended = TrackRequest::from_word(player.served_request).track != current;
    std::int32_t track = current;

    if (current != request.wanted() || (current != 0 && ended)) {
        // A change the caller asked for is heard at once; the silencing
        // after a track's own end lets its last sound ring out.
        if (seen != player.served_request)
            player.midi_out->discontinue();
        silence_channels(player);
        track = 0;
        if (request.wanted() != 0) {
            take_track_paths(player);
            if (compile_score(player, request.track)) {
                load_voice_set(player, request.track);
                reset_device(player);
                player.services.clock->sleep_ms(start_pause_ms);
                track = request.track;
                player.served_request = seen;
            } else {
                withdraw_request(player, seen, {request.track, request.generation, true});
            }
        }
    } else if (current != 0) {
        // Calls since the last pass left the playing track requested (another
        // number, then this one again): it plays on, and its end withdraws
        // the newest of them.
        player.served_request = seen;
    }

    bool advanced = false;
    if (track == 0) {
        player.current_track = 0;
    } else {
        // The sequencer reads the playing track from here if the track ends.
        player.current_track = track;
        advance_sequencer(player);
        advanced = true;
        // A track that ended stays current until the next pass, which
        // silences once more and then goes idle or prepares what was asked.
        player.current_track = track;
    }

    const bool precise = advanced && player.services.timing == PollTiming::precise;
    player.services.clock->sleep_ms(precise ? poll_sleep_ms(player) : poll_period_ms);
}

namespace {

// Whether the device paces the thread: it then renders sound ahead of the
// output rather than sending messages on time.
bool renders_ahead(const Player& player)
{
    return player.services.clock != player.own_clock;
}

}  // namespace

void player_thread(Player* player)
{
    Player& self = *player->self;
    const FineTimerPeriod fine_timer;
    // Opened at ordinary priority, so that the threads the device starts
    // inherit none of ours; those that play audio ask for their own.
    open_player_device(self);
    // Set from inside: on Windows with the posix thread model the
    // std::thread's native handle is no thread handle of the system.
    set_current_thread_priority(renders_ahead(self) ? ThreadPriority::ahead : ThreadPriority::timely);
    while (!self.quit)
        run_player_pass(self);
    close_player_device(self);
}

}  // namespace tambelo
