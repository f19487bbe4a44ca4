#include "tambelo/live_player.h"

#include "library/live_output.h"
#include "library/midi/device_choice.h"
#include "library/midi/device_kinds.h"
#include "library/player.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace tambelo {

std::string output_names_help()
{
    return std::string(device_names_help());
}

std::string default_output_kind()
{
    return std::string(default_device_kind());
}

std::string default_output_name()
{
    return default_device_name();
}

// The outcome of opening the output: written once on the playback thread,
// read on the host's threads.
struct LivePlayer::State {
    std::mutex mutex;
    std::condition_variable opened;
    std::optional<OutputOpening> opening;
    const MidiDevice* device = nullptr;  // owned by the player
    // Declared last, so that the playback thread has ended before the
    // outcome it writes goes.
    PlayerHandle player;

    void record(const std::string& name, std::unique_ptr<MidiDevice>& device_opened, std::string why)
    {
        OutputOpening outcome;
        if (!device_opened)
            outcome.fallback_reason =
                why.empty() ? "output device \"" + name + "\" could not be opened" : std::move(why);
        outcome.notes = opened_output_notes(name, device_opened.get());
        outcome.sound = opened_output_sound(device_opened.get());
        {
            std::lock_guard lock(mutex);
            opening = std::move(outcome);
            device = device_opened.get();
        }
        opened.notify_all();
    }
};

LivePlayer::LivePlayer(std::unique_ptr<State> state) : state_(std::move(state)) {}

LivePlayer::~LivePlayer() = default;

std::unique_ptr<LivePlayer> LivePlayer::start(const std::string& output_name, std::uint16_t muted_channels)
{
    std::unique_ptr<State> state(new (std::nothrow) State);
    if (!state)
        return nullptr;
    State* outcome = state.get();
    PlayerServices services;
    services.open_device = [output_name, outcome]() -> std::unique_ptr<MidiDevice> {
        std::string why;
        std::unique_ptr<MidiDevice> device = open_named_device(output_name, &why);
        outcome->record(output_name, device, std::move(why));
        return device;
    };
    state->player.reset(create_player(services));
    if (!state->player)
        return nullptr;
    state->player->muted_channels = muted_channels;
    std::unique_ptr<LivePlayer> live(new (std::nothrow) LivePlayer(std::move(state)));
    return live;
}

std::optional<OutputOpening> LivePlayer::wait_until_opened(int timeout_ms)
{
    std::unique_lock lock(state_->mutex);
    if (!state_->opened.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [this] { return state_->opening.has_value(); }))
        return std::nullopt;
    return state_->opening;
}

bool LivePlayer::output_lost() const
{
    std::lock_guard lock(state_->mutex);
    return device_output_lost(state_->device);
}

void LivePlayer::open_set(const std::string& score_path, const std::string& voice_path)
{
    open_file(*state_->player, score_path.c_str(), voice_path.c_str());
}

void LivePlayer::play(std::int32_t track)
{
    play_music(*state_->player, track);
}

void LivePlayer::stop()
{
    stop_music(*state_->player);
}

std::int32_t LivePlayer::next_track(std::int32_t track)
{
    return get_next(*state_->player, track);
}

std::int32_t LivePlayer::previous_track(std::int32_t track)
{
    return get_prev(*state_->player, track);
}

std::int32_t LivePlayer::requested_track() const
{
    return tambelo::requested_track(*state_->player);
}

std::int32_t LivePlayer::last_request() const
{
    return tambelo::last_request(*state_->player);
}

}  // namespace tambelo
