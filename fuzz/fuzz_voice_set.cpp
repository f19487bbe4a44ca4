// Loads arbitrary bytes as a voice set: every value must still be one byte,
// and what the loader could not read keeps its default.
#include "library/player.h"
#include "library/voice_set.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static tambelo::Player* player = tambelo::create_player(tambelo::PlayerServices{}, false);
    tambelo::load_voice_set_bytes(*player, std::span(data, size));
    const auto is_byte = [](std::int32_t value) { return value >= 0 && value <= 255; };
    if (!is_byte(player->tempo_base) || (size <= 7 && player->tempo_base != 64))
        std::abort();
    for (const tambelo::VoiceEntry& v : player->voice_table)
        for (const std::int32_t value : {v.bank, v.program, v.volume, v.reverb, v.chorus, v.key_offset, v.pan})
            if (!is_byte(value))
                std::abort();
    for (const std::int32_t note : player->drum_map)
        if (!is_byte(note))
            std::abort();
    return 0;
}
