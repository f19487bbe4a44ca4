#include "library/voice_set.h"

#include "library/page_archive.h"
#include "library/player.h"

namespace tambelo {

void reset_voice_set(Player& player)
{
    for (VoiceEntry& voice : player.voice_table)
        voice = VoiceEntry{0, 0, 100, 40, 40, 64, 64};
    player.drum_map.fill(35);
    player.tempo_base = 64;
}

void load_voice_set(Player& player, std::int32_t track)
{
    reset_voice_set(player);
    const auto entry = PageArchive::read_entry(player.track_paths.voice, track);
    if (entry)
        load_voice_set_bytes(player, *entry);
}

void load_voice_set_bytes(Player& player, std::span<const std::uint8_t>)
{
    reset_voice_set(player);  // not yet: only the defaults
}

}  // namespace tambelo
