#include "library/player.h"
#include "tests/support/message_texts.h"
#include "tests/support/manual_player.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace tambelo {
namespace {

using testing::Bytes;
using testing::ManualPlayer;
using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;
using testing::VoiceSetBuilder;

using testing::silence_texts;

// A looping track whose tempo tells which one was compiled last.
Bytes looping_score(int tempo)
{
    ScoreBuilder builder;
    builder.channel(0, {builder.add(Phrase().tempo(tempo).note(1, 96).rest(96))});
    return builder.build();
}

// A track of one short note that ends instead of looping.
Bytes ending_score()
{
    ScoreBuilder builder;
    builder.channel(0, {builder.add(Phrase().no_loop().note(1, 12))});
    return builder.build();
}

// How a pass prepares a track and when it leaves the playing one alone; what
// the device reset and the sequencer then send is theirs to test.
class TrackPreparationTest : public ::testing::Test {
protected:
    TempDir folder;
    ManualPlayer harness;
    Player& player = harness.player();

    void SetUp() override
    {
        // Track 3 is not a score.
        open_set({looping_score(90), looping_score(110), Bytes(300, 1)}, "amus");
    }

    void open_set(const std::vector<Bytes>& scores, const std::string& name)
    {
        std::vector<Bytes> voice_sets;
        for (std::size_t i = 0; i < scores.size(); ++i)
            voice_sets.push_back(VoiceSetBuilder().tempo_base(70 + static_cast<int>(i)).build());
        const auto paths = testing::write_music_set(folder, scores, voice_sets, name);
        open_file(player, paths.score.c_str(), paths.voice.c_str());
    }

    // Every silencing of the device begins with All Sound Off on channel 0.
    long silencings() const
    {
        const auto texts = harness.message_texts();
        return static_cast<long>(std::count(texts.begin(), texts.end(), "B0 78 00"));
    }

    long gs_resets() const
    {
        const auto texts = harness.message_texts();
        return static_cast<long>(std::count_if(texts.begin(), texts.end(),
                                               [](const std::string& text) { return text.starts_with("F0 41"); }));
    }

    void expect_playing(std::int32_t track)
    {
        EXPECT_EQ(player.current_track, track);
        EXPECT_EQ(requested_track(player), track);
        EXPECT_EQ(last_request(player), track);
    }
};

TEST_F(TrackPreparationTest, OnePassSilencesCompilesLoadsAndPauses)
{
    play_music(player, 1);
    harness.run_passes();
    const auto texts = harness.message_texts();
    ASSERT_GE(texts.size(), 20u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 20), silence_texts());
    EXPECT_EQ(silencings(), 1);
    expect_playing(1);
    EXPECT_EQ(player.tempo, 90);
    EXPECT_EQ(player.tempo_base, 70);
    // The 100 ms pause, then the pass's own sleep of at most 10 ms.
    EXPECT_GE(harness.clock().now_ms(), 101u);
    EXPECT_LE(harness.clock().now_ms(), 110u);
}

TEST_F(TrackPreparationTest, RequestingThePlayingTrackAgainDoesNotRestartIt)
{
    play_music(player, 1);
    harness.run_passes();
    harness.clear_messages();
    const std::uint32_t start_ms = harness.clock().now_ms();

    play_music(player, 1);
    harness.run_passes(3);
    EXPECT_EQ(silencings(), 0);
    EXPECT_LE(harness.clock().now_ms() - start_ms, 30u);  // no second 100 ms pause
    expect_playing(1);
}

TEST_F(TrackPreparationTest, AnotherRequestTakenBackBeforeThePassKeepsThePlayingTrack)
{
    play_music(player, 1);
    harness.run_passes();
    harness.clear_messages();

    play_music(player, 2);
    play_music(player, 1);
    harness.run_passes(2);
    EXPECT_EQ(silencings(), 0);
    expect_playing(1);
    EXPECT_EQ(player.tempo, 90);

    play_music(player, 2);
    harness.run_passes();
    EXPECT_EQ(silencings(), 1);
    expect_playing(2);
    EXPECT_EQ(player.tempo, 110);
    EXPECT_EQ(player.tempo_base, 71);
}

TEST_F(TrackPreparationTest, StopWhilePlayingSilencesOnceAndGoesIdle)
{
    play_music(player, 2);
    harness.run_passes();
    harness.clear_messages();

    stop_music(player);
    harness.run_passes(3);
    EXPECT_EQ(harness.message_texts(), silence_texts());
    expect_playing(0);

    // After a stop the same track starts again from its beginning.
    play_music(player, 2);
    harness.run_passes();
    EXPECT_EQ(silencings(), 2);
    expect_playing(2);
}

TEST_F(TrackPreparationTest, ATrackThatFailsAfterOneThatPlayedLeavesThePlayerIdleWithItsTempo)
{
    play_music(player, 2);
    harness.run_passes();
    harness.clear_messages();

    play_music(player, 3);
    harness.run_passes(2);
    EXPECT_EQ(harness.message_texts(), silence_texts());
    EXPECT_EQ(player.current_track, 0);
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(last_request(player), 3);
    EXPECT_EQ(player.tempo, 110);
}

TEST_F(TrackPreparationTest, OpeningAnotherSetPlaysItsFirstTrackEvenWhenTrackOneWasPlaying)
{
    play_music(player, 1);
    harness.run_passes();

    // What the window does: stop, pause, open, play track 1.
    stop_music(player);
    harness.run_passes(10);
    open_set({looping_score(60)}, "other");
    play_music(player, 1);
    harness.run_passes();
    expect_playing(1);
    EXPECT_EQ(player.tempo, 60);
}

// The playback thread withdraws a request it has served when the track ends
// or cannot be compiled. Calls the caller makes at that very moment must
// neither be lost nor leave the player deaf to a number.
class WithdrawalRaceTest : public TrackPreparationTest {
protected:
    // Makes `calls` once, at the next withdrawal, then runs passes until
    // that moment has come and two more passes after it.
    void at_next_withdrawal(std::function<void()> calls)
    {
        bool made = false;
        player.services.before_withdrawing_request = [&] {
            if (!made)
                calls();
            made = true;
        };
        for (int pass = 0; pass < 200 && !made; ++pass)
            harness.run_passes();
        ASSERT_TRUE(made);
        player.services.before_withdrawing_request = nullptr;
        harness.run_passes(2);
    }
};

TEST_F(WithdrawalRaceTest, TheEndingTrackAskedForAgainAsItEndsEndsAndCanBePlayedAgain)
{
    open_set({ending_score()}, "ending");
    play_music(player, 1);
    // The track still plays when the call comes, so it is ignored as a repeat.
    at_next_withdrawal([&] { play_music(player, 1); });
    expect_playing(0);

    play_music(player, 1);
    harness.run_passes();
    expect_playing(1);
}

TEST_F(WithdrawalRaceTest, StopAndPlayOfTheEndingTrackAsItEndsStartsItAgain)
{
    open_set({ending_score()}, "ending");
    play_music(player, 1);
    harness.run_passes();
    at_next_withdrawal([&] {
        harness.clear_messages();
        stop_music(player);
        play_music(player, 1);
    });
    expect_playing(1);
    EXPECT_EQ(gs_resets(), 1);  // prepared again after the end
}

TEST_F(WithdrawalRaceTest, OpeningAnotherSetDuringAFailingCompilationPlaysTheNewSet)
{
    open_set({Bytes(300, 1)}, "broken");
    play_music(player, 1);
    // What the window does while the broken track 1 is being compiled.
    at_next_withdrawal([&] {
        stop_music(player);
        open_set({looping_score(60)}, "other");
        play_music(player, 1);
    });
    expect_playing(1);
    EXPECT_EQ(player.tempo, 60);
}

}  // namespace
}  // namespace tambelo
