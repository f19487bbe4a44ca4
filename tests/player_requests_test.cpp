#include "library/player.h"
#include "tests/support/message_texts.h"
#include "tests/support/manual_player.h"

#include <gtest/gtest.h>

#include <string>

namespace tambelo {
namespace {

using testing::ManualPlayer;

using testing::silence_texts;

TEST(PlayerRequests, AnIdlePlayerSendsNothingAndPollsEveryTenMilliseconds)
{
    ManualPlayer harness;
    harness.run_passes(3);
    EXPECT_TRUE(harness.messages().empty());
    EXPECT_EQ(harness.clock().now_ms(), 30u);
    stop_music(harness.player());
    harness.run_passes();
    EXPECT_TRUE(harness.messages().empty());
}

TEST(PlayerRequests, ATrackThatCannotBeReadLeavesThePlayerIdleAfterOneSilencingPass)
{
    ManualPlayer harness;
    Player& player = harness.player();
    open_file(player, "/nonexistent/amus.dat", "/nonexistent/amus.mda");
    play_music(player, 5);
    harness.run_passes();
    EXPECT_EQ(harness.message_texts(), silence_texts());
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(player.current_track, 0);
    EXPECT_EQ(last_request(player), 5);

    // The same number is still the last accepted request: nothing happens.
    harness.clear_messages();
    play_music(player, 5);
    harness.run_passes(2);
    EXPECT_TRUE(harness.messages().empty());

    // After a stop it is tried again.
    stop_music(player);
    play_music(player, 5);
    harness.run_passes();
    EXPECT_EQ(harness.message_texts(), silence_texts());
}

TEST(PlayerRequests, PlayingZeroActsAsStop)
{
    ManualPlayer harness;
    Player& player = harness.player();
    play_music(player, 3);
    play_music(player, 0);
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(last_request(player), 0);
    harness.run_passes();
    EXPECT_TRUE(harness.messages().empty());
}

TEST(PlayerRequests, ARequestFollowedAtOnceByAStopNeverReachesThePlaybackThread)
{
    ManualPlayer harness;
    play_music(harness.player(), 4);
    stop_music(harness.player());
    harness.run_passes(2);
    EXPECT_TRUE(harness.messages().empty());
}

TEST(PlayerRequests, StopWithoutARequestChangesNothing)
{
    ManualPlayer harness;
    Player& player = harness.player();
    stop_music(player);
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(last_request(player), 0);
}

TEST(PlayerRequests, TheEndOfATrackKeepsARequestMadeAtThatMoment)
{
    ManualPlayer harness;
    Player& player = harness.player();
    set_playing_track(player, 4);
    clear_ended_track(player);
    EXPECT_EQ(player.current_track, 0);
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(last_request(player), 0);

    // play_music(6) slipped in between the end and the clearing.
    set_playing_track(player, 4);
    play_music(player, 6);
    clear_ended_track(player);
    EXPECT_EQ(requested_track(player), 6);
    EXPECT_EQ(last_request(player), 6);
    EXPECT_EQ(player.current_track, 0);
}

TEST(PlayerRequests, FinishingSilencesTheDeviceOnce)
{
    ManualPlayer harness;
    harness.finish();
    EXPECT_EQ(harness.message_texts(), silence_texts());
}

TEST(PlayerDevice, ADeviceThatCannotBeOpenedIsReplacedByTheNullDevice)
{
    PlayerServices services;
    services.open_device = [] { return std::unique_ptr<MidiDevice>(); };
    Player* player = create_player(services, /*start_thread=*/false);
    open_player_device(*player);
    ASSERT_NE(player->midi_out, nullptr);
    play_music(*player, 2);
    run_player_pass(*player);
    close_player_device(*player);
    EXPECT_EQ(player->midi_out, nullptr);
    destroy_player(player);
}

TEST(PlayerPaths, PathsAreCopiedWholeAndOverlongOnesBecomeEmpty)
{
    ManualPlayer harness;
    Player& player = harness.player();
    EXPECT_STREQ(player.score_path, "");
    EXPECT_STREQ(player.voice_path, "");

    open_file(player, "/music/amus.dat", "/music/amus.mda");
    take_track_paths(player);
    EXPECT_STREQ(player.track_paths.score, "/music/amus.dat");
    EXPECT_STREQ(player.track_paths.voice, "/music/amus.mda");

    const std::string longest(path_capacity - 1, 'a');
    const std::string too_long(path_capacity, 'b');
    open_file(player, longest.c_str(), too_long.c_str());
    EXPECT_EQ(std::string(player.score_path), longest);
    EXPECT_STREQ(player.voice_path, "");
    // The preparation copy changes only when a preparation begins.
    EXPECT_STREQ(player.track_paths.score, "/music/amus.dat");
}

TEST(PlayerPaths, GetNextAnswersZeroWithoutAnArchiveAndGetPrevNeverGoesBelowOne)
{
    ManualPlayer harness;
    Player& player = harness.player();
    EXPECT_EQ(get_next(player, 3), 0);
    EXPECT_EQ(get_prev(player, 3), 2);
    EXPECT_EQ(get_prev(player, 1), 1);
    EXPECT_EQ(get_prev(player, 0), 1);
    EXPECT_EQ(get_prev(player, -4), 1);
}

TEST(PollTimingTest, SleepsUntilTheNextTickFallsDueWithinOneToTenMilliseconds)
{
    ManualPlayer harness;
    Player& player = harness.player();
    const std::pair<float, std::uint32_t> cases[] = {
        {-6.53f, 7}, {-0.2f, 1}, {0.0f, 1}, {3.0f, 1}, {-9.0f, 10}, {-17.7f, 10}, {-1.0f, 2},
    };
    for (auto [balance, expected] : cases) {
        player.ms_accumulator = balance;
        EXPECT_EQ(poll_sleep_ms(player), expected) << "balance " << balance;
    }
    player.ms_accumulator = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(poll_sleep_ms(player), 10u);
}

}  // namespace
}  // namespace tambelo
