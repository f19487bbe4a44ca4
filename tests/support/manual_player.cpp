#include "tests/support/manual_player.h"

namespace tambelo::testing {

ManualPlayer::ManualPlayer(std::uint32_t clock_start_ms, PollTiming timing) : clock_(clock_start_ms)
{
    PlayerServices services;
    services.clock = &clock_;
    services.timing = timing;
    services.open_device = [this] { return std::make_unique<RecordingDevice>(clock_, log_); };
    player_ = create_player(services, /*start_thread=*/false);
    open_player_device(*player_);
}

ManualPlayer::~ManualPlayer()
{
    finish();
    destroy_player(player_);
}

std::vector<std::string> ManualPlayer::message_texts() const
{
    std::vector<std::string> texts;
    for (const auto& message : *log_)
        texts.push_back(format_message_bytes(message.bytes));
    return texts;
}

void ManualPlayer::run_passes(int count)
{
    for (int i = 0; i < count; ++i)
        run_player_pass(*player_);
}

void ManualPlayer::finish()
{
    if (finished_)
        return;
    finished_ = true;
    close_player_device(*player_);
}

}  // namespace tambelo::testing
