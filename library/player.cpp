#include "library/player.h"

#include "library/midi/null_device.h"
#include "library/page_archive.h"

#include <cstring>
#include <new>
#include <system_error>

namespace tambelo {
namespace {

// Stores `text` in a path field; a path too long for the field is stored as
// the empty path, so that every archive access fails as for a missing file
// rather than open some other, truncated path.
void store_path(char (&field)[path_capacity], const char* text)
{
    const std::size_t length = text ? std::strlen(text) : 0;
    if (length >= path_capacity) {
        field[0] = '\0';
        return;
    }
    if (length > 0)
        std::memcpy(field, text, length);
    field[length] = '\0';
}

}  // namespace

Player* create_player(const PlayerServices& services, bool start_thread)
{
    Player* player = new (std::nothrow) Player{};
    if (player == nullptr)
        return nullptr;
    player->self = player;
    player->current_track = 0;
    player->request = TrackRequest{}.word();
    player->served_request = TrackRequest{}.word();
    player->pass_request = player->served_request;
    player->own_clock = nullptr;
    player->quit = 0;
    player->tempo = 64;
    player->tempo_base = 64;
    player->services = services;
    if (player->services.clock == nullptr)
        player->services.clock = &system_clock();
    if (start_thread) {
        try {
            player->thread = std::thread(player_thread, player);
        } catch (const std::system_error&) {
            // Requests are then never served; destroy_player still frees it.
        }
    }
    return player;
}

void destroy_player(Player* player)
{
    if (player == nullptr)
        return;
    player->quit = 1;
    if (player->thread.joinable())
        player->thread.join();
    delete player;
}

void open_file(Player& player, const char* score_path, const char* voice_path)
{
    std::lock_guard lock(player.path_lock);
    store_path(player.score_path, score_path);
    store_path(player.voice_path, voice_path);
}

void take_track_paths(Player& player)
{
    std::lock_guard lock(player.path_lock);
    std::memcpy(player.track_paths.score, player.score_path, path_capacity);
    std::memcpy(player.track_paths.voice, player.voice_path, path_capacity);
}

namespace {

// What play_music and stop_music share: a call that names the number already
// accepted changes nothing; any other makes a new request. A loop of
// compare-and-set, because the playback thread may withdraw the request at
// the same moment.
void ask_for(Player& player, std::int32_t track)
{
    std::uint64_t seen = player.request.load();
    for (;;) {
        const TrackRequest current = TrackRequest::from_word(seen);
        if (current.track == track)
            return;
        if (player.request.compare_exchange_weak(seen, current.replaced_by(track).word()))
            return;
    }
}

}  // namespace

void play_music(Player& player, std::int32_t track)
{
    ask_for(player, track);
}

void stop_music(Player& player)
{
    ask_for(player, 0);
}

std::int32_t last_request(const Player& player)
{
    return TrackRequest::from_word(player.request.load()).track;
}

std::int32_t requested_track(const Player& player)
{
    return TrackRequest::from_word(player.request.load()).wanted();
}

void set_playing_track(Player& player, std::int32_t track)
{
    const TrackRequest now = TrackRequest::from_word(player.request.load());
    player.request = now.replaced_by(track).word();
    player.served_request = player.request.load();
    player.current_track = track;
}

std::int32_t get_next(Player& player, std::int32_t track)
{
    char path[path_capacity];
    {
        std::lock_guard lock(player.path_lock);
        std::memcpy(path, player.score_path, path_capacity);
    }
    return PageArchive::next_entry(path, track);
}

std::int32_t get_prev(Player&, std::int32_t track)
{
    return PageArchive::prev_entry(track);
}

void withdraw_request(Player& player, std::uint64_t seen, const TrackRequest& withdrawn)
{
    if (player.services.before_withdrawing_request)
        player.services.before_withdrawing_request();
    player.request.compare_exchange_strong(seen, withdrawn.word());
}

void clear_ended_track(Player& player)
{
    const TrackRequest withdrawn{0, TrackRequest::from_word(player.served_request).generation, false};
    withdraw_request(player, player.served_request, withdrawn);
    player.served_request = withdrawn.word();
    player.current_track = 0;
}

}  // namespace tambelo
