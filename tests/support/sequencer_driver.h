#pragma once

#include "tests/support/manual_player.h"

#include <string>
#include <vector>

namespace tambelo::testing {

// Starts the track whose streams and voices the test has written, as the
// playback thread does after compiling it: the device reset, then the
// track fields set to track 1. The reset's messages are cleared, and the
// 100 ms pause is left to the caller.
void start_track(ManualPlayer& harness);

// Moves the virtual clock just far enough for the next tick to fall due and
// calls the sequencer, `count` times: one tick per call. Returns the
// messages of each tick; element k - 1 holds tick k's when the track was
// started right before.
std::vector<std::vector<std::string>> play_ticks(ManualPlayer& harness, int count);

// Runs playback passes until the virtual clock has moved `duration_ms` on.
void run_for_ms(ManualPlayer& harness, std::uint32_t duration_ms);

}  // namespace tambelo::testing
