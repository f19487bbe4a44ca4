#include "library/frozen_clock_sequencer.h"

#include "library/device_reset.h"
#include "library/midi/midi_device.h"
#include "library/platform/clock.h"
#include "library/player.h"
#include "library/score_compiler.h"
#include "library/sequencer.h"
#include "library/voice_set.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tambelo {
// A clock that stands still: the sequencer never finds time passing by
// itself, so each tick is granted explicitly. Sleeps return at once.
class FrozenClockSequencer::FrozenClock final : public Clock {
public:
    std::uint32_t now_ms() override { return 0; }
    void sleep_ms(std::uint32_t) override {}
};

// Collects what the Player sends, stamped with the time of the tick being
// played. Long messages are done at once.
class FrozenClockSequencer::Device final : public MidiDevice {
public:
    Device(std::vector<TimedMessage>& sink, const Player& player) : sink_(sink), player_(player) {}

    void set_time_ms(double time_ms) { time_ms_ = time_ms; }

    bool send_short(std::uint32_t message) override
    {
        const auto status = static_cast<std::uint8_t>(message & 0xFF);
        TimedMessage timed{time_ms_, {}, player_.reading_channel};
        for (int i = 0; i < short_message_length(status); ++i)
            timed.bytes.push_back(static_cast<std::uint8_t>((message >> (8 * i)) & 0xFF));
        sink_.push_back(std::move(timed));
        return true;
    }

    bool send_long(MidiHeader& header) override
    {
        sink_.push_back({time_ms_, std::vector<std::uint8_t>(header.data, header.data + header.bytes_recorded),
                         player_.reading_channel});
        header.flags.fetch_or(midi_header_done);
        return true;
    }

private:
    std::vector<TimedMessage>& sink_;
    const Player& player_;
    double time_ms_ = 0.0;
};

FrozenClockSequencer::FrozenClockSequencer() : clock_(std::make_unique<FrozenClock>()) {}

FrozenClockSequencer::~FrozenClockSequencer()
{
    destroy_player(player_);
}

std::unique_ptr<FrozenClockSequencer> FrozenClockSequencer::open(const Prepare& prepare, TrackOpenFailure* failure)
{
    auto report = [failure](TrackOpenFailure reason) {
        if (failure)
            *failure = reason;
        return nullptr;
    };
    std::unique_ptr<FrozenClockSequencer> track(new FrozenClockSequencer());
    PlayerServices services;
    services.clock = track->clock_.get();
    track->player_ = create_player(services, /*start_thread=*/false);
    if (track->player_ == nullptr)
        return report(TrackOpenFailure::out_of_memory);
    Player& player = *track->player_;
    auto device = std::make_unique<Device>(track->pending_, player);
    track->device_ = device.get();
    player.midi_out = std::move(device);

    if (!prepare(player))
        return report(TrackOpenFailure::does_not_compile);
    track->tick_length_ms_ = tambelo::tick_length_ms(player);
    if (!(track->tick_length_ms_ > 0.0) || !std::isfinite(track->tick_length_ms_))
        return report(TrackOpenFailure::tempo_out_of_range);
    track->length_ = measure_track(std::span<const EventStream, channel_count>(player.streams));
    track->note_channels_ = channels_with_notes(std::span<const EventStream, channel_count>(player.streams));

    track->device_->set_time_ms(0.0);
    reset_device(player);
    if (failure)
        *failure = TrackOpenFailure::none;
    return track;
}

std::unique_ptr<FrozenClockSequencer> FrozenClockSequencer::open_set_track(const std::string& score_path,
                                                                           const std::string& voice_path,
                                                                           std::int32_t track, TrackOpenFailure* failure)
{
    return open(
        [&](Player& player) {
            tambelo::open_file(player, score_path.c_str(), voice_path.c_str());
            take_track_paths(player);
            if (!compile_score(player, track))
                return false;
            load_voice_set(player, track);
            // The sequencer reports the end of a track against the one it plays.
            set_playing_track(player, track);
            return true;
        },
        failure);
}

std::int32_t FrozenClockSequencer::tempo() const
{
    return player_->tempo;
}

std::int32_t FrozenClockSequencer::tempo_base() const
{
    return player_->tempo_base;
}

void FrozenClockSequencer::play_until_tick(std::int64_t end_tick, std::vector<TimedMessage>& out)
{
    Player& player = *player_;
    while (!ended_ && next_tick_ < end_tick) {
        device_->set_time_ms(tick_time_ms(next_tick_, tick_length_ms_));
        perform_one_tick(player);
        ++next_tick_;
        ended_ = std::none_of(std::begin(player.channels), std::end(player.channels),
                              [](const ChannelTrack& channel) { return channel.active != 0; });
    }
    out.insert(out.end(), std::make_move_iterator(pending_.begin()),
               std::make_move_iterator(pending_.end()));
    pending_.clear();
}

std::int64_t FrozenClockSequencer::first_tick_from_ms(double end_ms) const
{
    // Found on the same products of tick number and tick length that stamp
    // the messages.
    const double guess = std::floor(end_ms / tick_length_ms_);
    const double bound = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 4);
    std::int64_t tick = static_cast<std::int64_t>(std::clamp(guess, 0.0, bound)) + 1;
    while (tick > 1 && tick_time_ms(tick - 1, tick_length_ms_) >= end_ms)
        --tick;
    while (tick_time_ms(tick, tick_length_ms_) < end_ms)
        ++tick;
    return tick;
}

void FrozenClockSequencer::play_until_ms(double end_ms, std::vector<TimedMessage>& out)
{
    play_until_tick(first_tick_from_ms(end_ms), out);
}

const char* describe(TrackOpenFailure failure)
{
    switch (failure) {
    case TrackOpenFailure::none:
        return "no failure";
    case TrackOpenFailure::does_not_compile:
        return "does not compile";
    case TrackOpenFailure::tempo_out_of_range:
        return "tempo out of range";
    case TrackOpenFailure::out_of_memory:
        return "out of memory";
    }
    return "unknown failure";
}

}  // namespace tambelo
