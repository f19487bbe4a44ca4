#include "library/exports.h"

#include "library/midi/device_choice.h"
#include "library/midi/sound_system.h"
#include "library/page_archive.h"
#include "library/player.h"

namespace {

tambelo::Player* the_player = nullptr;

tambelo::PlayerServices default_services()
{
    tambelo::PlayerServices services;
    services.clock = &tambelo::system_clock();
    services.open_device = [] { return tambelo::open_named_device(tambelo::default_device_name()); };
    return services;
}

}  // namespace

// Calls made without a live Player do nothing (get_next then answers 0).

void* TAMBELO_CALL initialize(void)
{
    if (the_player == nullptr)
        the_player = tambelo::create_player(default_services());
    return the_player;
}

void TAMBELO_CALL release(void)
{
    tambelo::destroy_player(the_player);
    the_player = nullptr;
    // The host may unload the library next; nothing of it may stay behind
    // in the sound libraries' process-wide handlers.
    tambelo::restore_sound_libraries();
}

void TAMBELO_CALL open_file(const char* score_path, const char* voice_path)
{
    if (the_player)
        tambelo::open_file(*the_player, score_path, voice_path);
}

void TAMBELO_CALL play_music(int32_t track)
{
    if (the_player)
        tambelo::play_music(*the_player, track);
}

void TAMBELO_CALL stop_music(void)
{
    if (the_player)
        tambelo::stop_music(*the_player);
}

int32_t TAMBELO_CALL get_next(int32_t track)
{
    return the_player ? tambelo::get_next(*the_player, track) : 0;
}

int32_t TAMBELO_CALL get_prev(int32_t track)
{
    return tambelo::PageArchive::prev_entry(track);
}
