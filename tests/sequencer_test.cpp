#include "library/player.h"
#include "library/sequencer.h"
#include "library/voice_set.h"
#include "tests/support/event_records.h"
#include "tests/support/message_texts.h"
#include "tests/support/manual_player.h"
#include "tests/support/sequencer_driver.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;
using Texts = std::vector<std::string>;

// What each tick sent, from tick 1 up to `tick_count`; ticks not named sent
// nothing.
std::vector<Texts> tick_table(int tick_count, const std::map<int, Texts>& sent)
{
    std::vector<Texts> ticks(static_cast<std::size_t>(tick_count));
    for (const auto& [tick, texts] : sent)
        ticks[static_cast<std::size_t>(tick - 1)] = texts;
    return ticks;
}

Texts concat(Texts texts, const Texts& more)
{
    texts.insert(texts.end(), more.begin(), more.end());
    return texts;
}

class SequencerTest : public ::testing::Test {
protected:
    ManualPlayer harness;
    Player& player = harness.player();

    void SetUp() override
    {
        reset_voice_set(player);
        player.tempo = 64;
        player.voice_table[3] = VoiceEntry{0, 5, 100, 40, 40, 64, 64};
        write_empty_streams(player);
    }

    ChannelTrack& track(int index) { return player.channels[index]; }
};

const Texts voice_three_on_channel_zero = {"B0 00 00", "B0 20 00", "C0 05", "B0 07 64",
                                           "B0 5B 28", "B0 5D 28", "B0 0A 40"};

TEST_F(SequencerTest, ALoopingChannelPlaysTickByTickAndRepeatsEveryFortyEightTicks)
{
    EventRecords(player.streams[0]).voice(3).note(60, 42, 6).end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 160);

    EXPECT_EQ(ticks, tick_table(160, {{16, concat(voice_three_on_channel_zero, {"90 3C 78"})},
                                      {58, {"90 3C 00"}},
                                      {64, {"90 3C 78"}},
                                      {106, {"90 3C 00"}},
                                      {112, {"90 3C 78"}},
                                      {154, {"90 3C 00"}},
                                      {160, {"90 3C 78"}}}));
    EXPECT_EQ(track(0).active, 1);
    for (int index = 1; index < channel_count; ++index)
        EXPECT_EQ(track(index).active, 0) << index;
    EXPECT_EQ(player.current_track, 1);
}

TEST_F(SequencerTest, ANoLoopEventEndsTheTrackAtTheStreamsEndWithTheSilencingMessages)
{
    EventRecords(player.streams[0]).voice(3).note(60, 42, 6).no_loop().end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 80);

    EXPECT_EQ(ticks, tick_table(80, {{16, concat(voice_three_on_channel_zero, {"90 3C 78"})},
                                     {58, {"90 3C 00"}},
                                     {64, silence_texts()}}));
    EXPECT_EQ(player.current_track, 0);
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(last_request(player), 0);
}

TEST_F(SequencerTest, TheFirstCallAfterTheStartPausePerformsSixTicks)
{
    start_track(harness);
    advance_sequencer(player);  // the clock has not moved: no tick
    EXPECT_EQ(track(0).wait, 16);
    EXPECT_EQ(player.ms_accumulator, 0.0f);

    harness.clock().sleep_ms(100);
    advance_sequencer(player);
    for (int index = 0; index < channel_count; ++index)
        EXPECT_EQ(track(index).wait, 10) << index;
    EXPECT_NEAR(player.ms_accumulator, -6.534, 0.001);
    EXPECT_EQ(player.last_clock_ms, 100u);
}

TEST_F(SequencerTest, TheTickLengthFollowsTempoAndTempoBase)
{
    EXPECT_DOUBLE_EQ(tick_length_ms(player), 17.755696614583332);
    player.tempo = 65;
    EXPECT_DOUBLE_EQ(tick_length_ms(player), 17.48253205128205);
    player.tempo = 100;
    player.tempo_base = 36;
    EXPECT_DOUBLE_EQ(tick_length_ms(player), 8.877848307291666);
    // A tempo base 64 or more above the tempo would give no sensible
    // length; the divisor then counts as 1.
    player.tempo = 0;
    player.tempo_base = 64;
    EXPECT_DOUBLE_EQ(tick_length_ms(player), 1136.3645833333333);
    player.tempo_base = 255;
    EXPECT_DOUBLE_EQ(tick_length_ms(player), 1136.3645833333333);
}

TEST_F(SequencerTest, ATrackWithTheSmallestDivisorStillPlays)
{
    player.tempo = 10;
    player.tempo_base = 200;
    EventRecords(player.streams[0]).voice(3).note(60, 1, 1).end();
    start_track(harness);
    harness.clock().sleep_ms(100);
    advance_sequencer(player);
    EXPECT_EQ(track(0).wait, 15);

    harness.clock().sleep_ms(15 * 1137);
    advance_sequencer(player);
    EXPECT_EQ(harness.message_texts().back(), "90 3C 78");
}

TEST_F(SequencerTest, FineTuneSendsTheRegisteredParameterWithItsDataCentredOn64)
{
    EventRecords(player.streams[0])
        .fine_tune(0).fine_tune(100).fine_tune(-64).fine_tune(63)
        .fine_tune(-63).fine_tune(-128).fine_tune(1).fine_tune(-1)
        .note(60, 1).end();
    start_track(harness);

    const Texts sent = play_ticks(harness, 16).back();

    Texts expected;
    for (int data : {64, 127, 1, 127, 1, 1, 65, 63})
        expected = concat(expected, {"B0 65 00", "B0 64 01", control_text(0, 6, data)});
    expected.push_back("90 3C 78");
    EXPECT_EQ(sent, expected);
}

TEST_F(SequencerTest, AVoiceChangeSendsOnlyWhatDiffersFromTheTracksStoredValues)
{
    player.voice_table[4] = VoiceEntry{0, 9, 100, 40, 40, 64, 10};
    player.voice_table[255] = VoiceEntry{0, 7, 90, 10, 20, 66, 30};
    // Channel 0 already "has" voice 255: nothing is sent, yet its values and
    // the velocity are loaded from the voice.
    EventRecords(player.streams[0]).velocity(50).voice(255).note(60, 1, 1)
        // A real change: bank, program, then all four controllers differ.
        .voice(3).velocity_add(-10).note(60, 1, 1)
        // The same voice again sends nothing but restores the velocity.
        .voice(3).note(60, 1, 1)
        // Only the pan differs.
        .voice(4).note(60, 1, 1000).end();
    // Channel 3's start voice is voice 256; its first change always sends
    // bank and program, but the default voice's controllers equal those of
    // the start voice.
    EventRecords(player.streams[3]).voice(0).rest(1000).end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 23);

    EXPECT_EQ(ticks, tick_table(23, {{16, {"90 3E 78", "B3 00 00", "B3 20 00", "C3 00"}},
                                     {17, {"90 3E 00"}},
                                     {18, concat({"B0 00 00", "B0 20 00", "C0 05", "B0 07 64",
                                                  "B0 5B 28", "B0 5D 28", "B0 0A 40"},
                                                 {"90 3C 6E"})},
                                     {19, {"90 3C 00"}},
                                     {20, {"90 3C 78"}},
                                     {21, {"90 3C 00"}},
                                     {22, {"B0 00 00", "B0 20 00", "C0 09", "B0 0A 0A", "90 3C 78"}},
                                     {23, {"90 3C 00"}}}));
    EXPECT_EQ(track(0).voice, 4);
    EXPECT_EQ(track(0).pan, 10);
    EXPECT_EQ(track(3).voice, 0);
    EXPECT_EQ(track(3).midi_channel, 3);
}

TEST_F(SequencerTest, DrumVoicesShareChannelNineAndMapTheirNotesThroughTheirKit)
{
    player.voice_table[20] = VoiceEntry{255, 0, 100, 60, 40, 64, 64};  // kit 0
    player.voice_table[21] = VoiceEntry{254, 0, 80, 40, 40, 70, 64};   // kit 1
    player.voice_table[22] = VoiceEntry{130, 0, 80, 40, 40, 64, 64};   // kit 125: beyond the map
    player.drum_map[36] = 36;
    player.drum_map[38] = 50;
    player.drum_map[128 + 36] = 40;
    // Channel 0's stored volume is 100 when it takes the drum voice, so no
    // volume goes to channel 9, although channel 1 just set it to 80 there.
    EventRecords(player.streams[0]).voice(3).rest(1).voice(20).note(36, 2, 1).end();
    EventRecords(player.streams[1]).voice(21).note(36, 2, 1).end();
    EventRecords(player.streams[2]).rest(1).voice(22).note(38, 2, 1).end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 19);

    EXPECT_EQ(ticks[15], concat(voice_three_on_channel_zero,
                                {"B9 07 50", "B9 5B 28", "B9 5D 28", "B9 0A 40", "99 28 78"}));
    // Channel 2's track has stored no values yet, so all four go out.
    EXPECT_EQ(ticks[16], (Texts{"B9 5B 3C", "99 24 78", "B9 07 50", "B9 5B 28", "B9 5D 28",
                                "B9 0A 40", "99 32 78"}));
    EXPECT_EQ(ticks[17], (Texts{"99 28 00"}));
    EXPECT_EQ(ticks[18], (Texts{"99 24 00", "99 28 78", "99 32 00"}));
    EXPECT_EQ(track(0).kit, 0);
    EXPECT_EQ(track(1).kit, 1);
    EXPECT_EQ(track(2).kit, 125);
    EXPECT_EQ(track(2).midi_channel, 9);
}

TEST_F(SequencerTest, NotesOutsideTheMidiRangeAreNotSentButTheChannelCountsAsPlaying)
{
    player.voice_table[5] = VoiceEntry{0, 0, 100, 40, 40, 127, 64};  // +63 semitones
    player.voice_table[20] = VoiceEntry{255, 0, 100, 40, 40, 64, 64};
    player.drum_map[40] = 200;
    player.drum_map[41] = -5;
    EventRecords(player.streams[0]).voice(5).note(100, 1, 1).note(60, 1, 1).end();
    EventRecords(player.streams[1]).voice(20).note(40, 1, 1).note(41, 1, 1).end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 22);

    EXPECT_EQ(ticks[15], (Texts{"B0 00 00", "B0 20 00", "C0 00", "B0 07 64", "B0 5B 28", "B0 5D 28",
                                "B0 0A 40", "B9 07 64", "B9 5B 28", "B9 5D 28", "B9 0A 40"}));
    EXPECT_EQ(ticks[16], Texts{});  // the releases of notes never sent
    EXPECT_EQ(ticks[17], (Texts{"90 7B 78"}));
    EXPECT_EQ(ticks[18], (Texts{"90 7B 00"}));
    // Both channels have "played", so they loop rather than end.
    EXPECT_EQ(ticks[19], Texts{});
    EXPECT_EQ(ticks[21], (Texts{"90 7B 78"}));
    EXPECT_EQ(track(0).active, 1);
    EXPECT_EQ(track(1).active, 1);
}

TEST_F(SequencerTest, VelocityPanAndControllerBytesAreSentWithinTheMidiRange)
{
    EventRecords(player.streams[0])
        .voice(3).velocity_add(-10).note(60, 1, 1)
        .velocity(200).pan(200).note(61, 1, 1)
        .velocity_add(-128).velocity_add(-128).note(62, 1, 1).end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 21);

    EXPECT_EQ(ticks[15].back(), "90 3C 6E");
    EXPECT_EQ(ticks[17], (Texts{"B0 0A 7F", "90 3D 7F"}));
    EXPECT_EQ(ticks[19], (Texts{"90 3E 00"}));
    EXPECT_EQ(track(0).velocity, -56);
    EXPECT_EQ(track(0).pan, 200);
}

TEST_F(SequencerTest, AllNineChannelsEndingInOneTickSilenceTheDeviceOnce)
{
    for (int index = 0; index < channel_count; ++index)
        EventRecords(player.streams[index]).note(60 + index, 3, 0).no_loop().end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 25);

    Texts starts, ends;
    for (int index = 0; index < channel_count; ++index) {
        starts.push_back(note_text(index, 60 + index, 120));
        ends.push_back(note_text(index, 60 + index, 0));
    }
    EXPECT_EQ(ticks, tick_table(25, {{16, starts}, {19, concat(ends, silence_texts())}}));
    EXPECT_EQ(player.current_track, 0);
}

TEST_F(SequencerTest, NoLoopInOneChannelEndsAnotherThatHasAlreadyLooped)
{
    EventRecords(player.streams[0]).voice(3).note(60, 9, 1).end();
    EventRecords(player.streams[5]).rest(30).no_loop().rest(1000).end();
    start_track(harness);

    const auto ticks = play_ticks(harness, 70);

    EXPECT_EQ(ticks[24], (Texts{"90 3C 00"}));
    EXPECT_EQ(ticks[25], (Texts{"90 3C 78"}));  // tick 26: looped
    EXPECT_EQ(ticks[45], (Texts{"90 3C 78"}));  // tick 46: looped, then channel 5 reads its event
    EXPECT_EQ(ticks[54], (Texts{"90 3C 00"}));  // tick 55: released; at 56 it ends
    for (int tick = 56; tick <= 70; ++tick)
        EXPECT_EQ(ticks[static_cast<std::size_t>(tick - 1)], Texts{}) << tick;
    EXPECT_EQ(track(0).active, 0);
    EXPECT_EQ(track(5).active, 1);
    EXPECT_EQ(player.current_track, 1);
}

TEST_F(SequencerTest, AChannelThatLoopsWithoutEverWaitingEndsAtItsSecondEnd)
{
    EventRecords(player.streams[0]).voice(3).note(60, 0, 0).end(2);
    start_track(harness);

    const auto ticks = play_ticks(harness, 16);

    EXPECT_EQ(ticks[15], concat(voice_three_on_channel_zero,
                                concat({"90 3C 78", "90 3C 00", "90 3C 78", "90 3C 00"}, silence_texts())));
    EXPECT_EQ(player.current_track, 0);
}

TEST_F(SequencerTest, AStreamThatRunsOffItsBufferNeverReadsBeyondIt)
{
    // A loop position far beyond the buffer: nothing can be read there, so
    // the channel ends.
    EventRecords(player.streams[0]).voice(3).note(60, 1, 1).end(0xFFFFFF);
    // No end record at all: the buffer's end counts as one, looping to the
    // start.
    EventRecords writer(player.streams[1]);
    writer.note(62, 1, 1);
    while (writer.position() < stream_capacity)
        writer.skip(0);
    start_track(harness);

    const auto ticks = play_ticks(harness, 20);

    EXPECT_EQ(ticks[16], (Texts{"90 3C 00", "91 3E 00"}));
    EXPECT_EQ(ticks[17], (Texts{"91 3E 78"}));
    EXPECT_EQ(ticks[18], (Texts{"91 3E 00"}));
    EXPECT_EQ(track(0).active, 0);
    EXPECT_EQ(track(1).active, 1);
}

}  // namespace
}  // namespace tambelo
