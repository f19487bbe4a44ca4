#include "library/device_reset.h"

#include "library/player.h"

namespace tambelo {

void send_short(Player& player, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    player.short_msg[0] = status;
    player.short_msg[1] = data1;
    player.short_msg[2] = data2;
    const std::uint32_t message =
        std::uint32_t{player.short_msg[0]} | std::uint32_t{player.short_msg[1]} << 8 |
        std::uint32_t{player.short_msg[2]} << 16 | std::uint32_t{player.short_msg[3]} << 24;
    player.midi_out->send_short(message);
}

void silence_channels(Player& player)
{
    for (int channel = 0; channel < 10; ++channel)
        send_short(player, static_cast<std::uint8_t>(0xB0 + channel), 120, 0);
    for (int channel = 0; channel < 10; ++channel)
        send_short(player, static_cast<std::uint8_t>(0xB0 + channel), 121, 0);
}

void reset_device(Player& player)
{
    // not yet: only the clock restart
    player.last_clock_ms = player.services.clock->now_ms();
    player.ms_accumulator = 0.0f;
}

}  // namespace tambelo
