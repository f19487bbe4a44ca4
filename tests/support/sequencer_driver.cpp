#include "tests/support/sequencer_driver.h"

#include "library/device_reset.h"
#include "library/midi/recording_device.h"
#include "library/sequencer.h"

#include <cmath>

namespace tambelo::testing {

void start_track(ManualPlayer& harness)
{
    Player& player = harness.player();
    reset_device(player);
    harness.clear_messages();
    set_playing_track(player, 1);
}

std::vector<std::vector<std::string>> play_ticks(ManualPlayer& harness, int count)
{
    Player& player = harness.player();
    std::vector<std::vector<std::string>> ticks;
    for (int k = 0; k < count; ++k) {
        const std::size_t before = harness.messages().size();
        // The balance lies in (-tick length, 0]; one millisecond past it the
        // next tick is due, and only that one.
        const double balance = player.ms_accumulator;
        harness.clock().advance_ms(static_cast<std::uint32_t>(std::floor(-balance)) + 1);
        advance_sequencer(player);
        std::vector<std::string> texts;
        for (std::size_t i = before; i < harness.messages().size(); ++i)
            texts.push_back(format_message_bytes(harness.messages()[i].bytes));
        ticks.push_back(std::move(texts));
    }
    return ticks;
}

void run_for_ms(ManualPlayer& harness, std::uint32_t duration_ms)
{
    const std::uint32_t start = harness.clock().now_ms();
    while (harness.clock().now_ms() - start < duration_ms)
        harness.run_passes();
}

}  // namespace tambelo::testing
