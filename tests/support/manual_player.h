#pragma once

#include "library/midi/recording_device.h"
#include "library/platform/clock.h"
#include "library/player.h"

#include <memory>
#include <string>
#include <vector>

namespace tambelo::testing {

// A Player without a thread, on a virtual clock, sending to a recording
// device: the test runs the playback thread's passes itself, so every
// message lands at a known clock reading.
class ManualPlayer {
public:
    explicit ManualPlayer(std::uint32_t clock_start_ms = 0, PollTiming timing = PollTiming::precise);
    ~ManualPlayer();
    ManualPlayer(const ManualPlayer&) = delete;
    ManualPlayer& operator=(const ManualPlayer&) = delete;

    Player& player() { return *player_; }
    VirtualClock& clock() { return clock_; }
    const MessageLog& messages() const { return *log_; }
    // The messages as "B0 78 00" texts, for whole-sequence comparisons.
    std::vector<std::string> message_texts() const;
    void clear_messages() { log_->clear(); }

    // Runs `count` passes of the playback loop (each ends with its sleep).
    void run_passes(int count = 1);
    // Ends the playback thread's work as it would after `release`: the
    // device is silenced and closed.
    void finish();

private:
    VirtualClock clock_;
    std::shared_ptr<MessageLog> log_ = std::make_shared<MessageLog>();
    Player* player_ = nullptr;
    bool finished_ = false;
};

}  // namespace tambelo::testing
