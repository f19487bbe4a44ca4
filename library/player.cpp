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
    player->requested_track = 0;
    player->last_request = 0;
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

void play_music(Player& player, std::int32_t track)
{
    if (track == player.last_request)
        return;
    player.last_request = track;
    player.requested_track = track;
}

void stop_music(Player& player)
{
    if (player.last_request != 0)
        player.requested_track = 0;
    player.last_request = 0;
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

void clear_ended_track(Player& player)
{
    std::int32_t ended = player.current_track;
    player.last_request.compare_exchange_strong(ended, 0);
    ended = player.current_track;
    player.requested_track.compare_exchange_strong(ended, 0);
    player.current_track = 0;
}

}  // namespace tambelo
