#include "library/player.h"
#include "library/sequencer.h"
#include "library/voice_set.h"
#include "tests/support/event_records.h"
#include "tests/support/message_texts.h"
#include "tests/support/manual_player.h"
#include "tests/support/sequencer_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;

// A melody of uneven note lengths on channel 0 and a drum pattern on
// channel 1, both looping.
void write_melody(Player& player)
{
    reset_voice_set(player);
    player.tempo = 70;
    player.voice_table[3] = VoiceEntry{0, 5, 100, 40, 40, 64, 64};
    player.voice_table[40] = VoiceEntry{255, 0, 110, 40, 40, 64, 64};
    write_empty_streams(player);
    EventRecords(player.streams[0]).voice(3).note(60, 5, 2).note(64, 7, 0).note(67, 11, 13).end();
    EventRecords(player.streams[1]).voice(40).note(36, 1, 11).note(38, 1, 5).end(2);
}

struct Timed {
    std::uint32_t ms;  // since the device reset
    std::string text;
    bool operator==(const Timed&) const = default;
};

std::vector<Timed> play_melody(std::uint32_t clock_start, PollTiming timing, std::uint32_t duration_ms)
{
    ManualPlayer harness(clock_start, timing);
    write_melody(harness.player());
    start_track(harness);
    harness.clock().sleep_ms(100);
    run_for_ms(harness, duration_ms);
    std::vector<Timed> timed;
    for (const auto& message : harness.messages())
        timed.push_back({message.clock_ms - clock_start, format_message_bytes(message.bytes)});
    return timed;
}

std::vector<std::string> texts_of(const std::vector<Timed>& timed)
{
    std::vector<std::string> texts;
    for (const auto& message : timed)
        texts.push_back(message.text);
    return texts;
}

TEST(SequencerClock, ATrackKeepsItsTempoAcrossTheWrapOfTheMillisecondClock)
{
    const auto plain = play_melody(0, PollTiming::precise, 8000);
    const auto wrapping = play_melody(0xFFFFFFFFu - 3000, PollTiming::precise, 8000);
    ASSERT_GT(plain.size(), 150u);
    EXPECT_EQ(wrapping, plain);
}

TEST(SequencerClock, AReadingBehindTheLastOneAddsNoTime)
{
    ManualPlayer harness(1000);
    Player& player = harness.player();
    write_melody(player);
    start_track(harness);

    harness.clock().advance_ms(std::numeric_limits<std::uint32_t>::max() - 4);  // 5 ms back
    advance_sequencer(player);
    EXPECT_EQ(player.last_clock_ms, 1000u);
    EXPECT_EQ(player.ms_accumulator, 0.0f);

    harness.clock().advance_ms(8);  // 3 ms past the reset
    advance_sequencer(player);
    EXPECT_EQ(player.last_clock_ms, 1003u);
    EXPECT_EQ(player.channels[0].wait, 15);
}

TEST(SequencerClock, ABacklogTooLargeForTheAccumulatorIsDroppedRatherThanPlayedForEver)
{
    ManualPlayer harness;
    Player& player = harness.player();
    write_melody(player);
    start_track(harness);

    harness.clock().advance_ms(0x7FFFFFFF);  // 24 days in one step
    advance_sequencer(player);
    EXPECT_EQ(player.ms_accumulator, 0.0f);
    EXPECT_EQ(player.channels[0].wait, 15);

    // Playing goes on at the usual pace.
    const auto ticks = play_ticks(harness, 15);
    EXPECT_NE(std::find(ticks[14].begin(), ticks[14].end(), "90 3C 78"), ticks[14].end());
}

TEST(PollTiming, BothModesSendTheSameMessagesOnlyAtDifferentMoments)
{
    const auto precise = play_melody(0, PollTiming::precise, 6000);
    const auto fixed = play_melody(0, PollTiming::fixed, 6000);
    EXPECT_EQ(texts_of(precise), texts_of(fixed));
    EXPECT_NE(precise, fixed);
}

TEST(PollTiming, PreciseModeSendsEveryTickWithinAMillisecondOfItsDueMoment)
{
    // Which tick each message belongs to, from a run one tick at a time.
    ManualPlayer by_tick;
    write_melody(by_tick.player());
    start_track(by_tick);
    std::vector<int> tick_of_message;
    const auto ticks = play_ticks(by_tick, 400);
    for (std::size_t k = 0; k < ticks.size(); ++k)
        tick_of_message.insert(tick_of_message.end(), ticks[k].size(), static_cast<int>(k + 1));

    ManualPlayer probe;
    write_melody(probe.player());
    const double tick_ms = tick_length_ms(probe.player());
    for (PollTiming timing : {PollTiming::precise, PollTiming::fixed}) {
        const auto timed = play_melody(0, timing, 7000);
        ASSERT_GE(timed.size(), tick_of_message.size());
        double worst = 0;
        for (std::size_t i = 0; i < tick_of_message.size(); ++i) {
            const double due = (tick_of_message[i] - 1) * tick_ms;
            if (due < 100)
                continue;  // ticks that fell due during the start pause
            const double late = timed[i].ms - due;
            EXPECT_GT(late, -0.01) << i;
            worst = std::max(worst, late);
        }
        if (timing == PollTiming::precise)
            EXPECT_LE(worst, 1.01);
        else
            EXPECT_GT(worst, 5.0);
    }
}

TEST(PollTiming, TheSleepAfterASequencerStepEndsAtTheNextDueMillisecond)
{
    ManualPlayer harness;
    Player& player = harness.player();
    const std::pair<float, std::uint32_t> cases[] = {
        {-6.53f, 7}, {-0.2f, 1}, {0.0f, 1}, {5.0f, 1}, {-8.99f, 9}, {-9.0f, 10}, {-17.7f, 10},
        {std::numeric_limits<float>::quiet_NaN(), 10}, {-std::numeric_limits<float>::infinity(), 10}};
    for (const auto& [balance, sleep] : cases) {
        player.ms_accumulator = balance;
        EXPECT_EQ(poll_sleep_ms(player), sleep) << balance;
    }
}

TEST(PlayerPasses, AfterTheTrackEndsOneMoreSilencingPassLeavesThePlayerIdle)
{
    ManualPlayer harness;
    Player& player = harness.player();
    reset_voice_set(player);
    player.tempo = 64;
    write_empty_streams(player);
    start_track(harness);
    harness.clock().sleep_ms(100);

    int passes = 0;
    while (harness.messages().empty() && passes++ < 100)
        harness.run_passes();
    EXPECT_EQ(harness.message_texts(), silence_texts());
    EXPECT_EQ(player.current_track, 1);  // restored by the pass
    EXPECT_EQ(requested_track(player), 0);
    EXPECT_EQ(last_request(player), 0);

    harness.clear_messages();
    harness.run_passes();
    EXPECT_EQ(harness.message_texts(), silence_texts());
    EXPECT_EQ(player.current_track, 0);

    harness.clear_messages();
    const std::uint32_t before = harness.clock().now_ms();
    harness.run_passes(3);
    EXPECT_TRUE(harness.messages().empty());
    EXPECT_EQ(harness.clock().now_ms() - before, 30u);
}

// Streams of random records (short waits, voice numbers, loop positions
// anywhere, stray codes), random voices, drum maps and tempos, and clock
// jumps: every call must return and every message must be valid MIDI.
class GarbageStreams {
public:
    explicit GarbageStreams(std::uint32_t seed) : rng_(seed) {}

    void fill(Player& player)
    {
        for (VoiceEntry& voice : player.voice_table)
            voice = VoiceEntry{value(-300, 600), value(-300, 600), value(-300, 600), value(-300, 600),
                               value(-300, 600), value(-300, 600), value(-300, 600)};
        for (std::int32_t& note : player.drum_map)
            note = value(-300, 300);
        player.tempo = value(0, 255);
        player.tempo_base = value(0, 255);
        for (int channel = 0; channel < channel_count; ++channel)
            fill_stream(player, channel);
    }

    int value(int low, int high) { return std::uniform_int_distribution(low, high)(rng_); }

private:
    void fill_stream(Player& player, int channel)
    {
        EventRecords writer(player.streams[channel]);
        const int records = value(0, 60);
        for (int i = 0; i < records; ++i) {
            switch (value(0, 11)) {
            case 0: case 1: case 2: writer.note(value(0, 127), value(0, 4)); break;
            case 3: writer.rest(value(0, 4)); break;
            case 4: writer.voice(value(0, 255)); break;
            case 5: writer.velocity(value(0, 255)); break;
            case 6: writer.velocity_add(value(-128, 127)); break;
            case 7: writer.pan(value(0, 255)); break;
            case 8: writer.fine_tune(value(-128, 127)); break;
            case 9: writer.no_loop(); break;
            case 10: writer.end(value(0, 1) ? value(0, writer.position() + 8) : value(0, 0xFFFFFF)); break;
            default: writer.raw({value(0, 255), value(0, 255), value(0, 255)}); break;
            }
        }
        if (value(0, 3) != 0)
            writer.end(value(0, writer.position()));
    }

    std::mt19937 rng_;
};

TEST(SequencerBadInput, RandomStreamsAndVoicesNeverHangAndSendOnlyValidMidi)
{
    std::size_t total_messages = 0;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE(seed);
        GarbageStreams garbage(seed);
        ManualPlayer harness(static_cast<std::uint32_t>(garbage.value(0, 0x7FFFFFFF)) * 2,
                             seed % 2 ? PollTiming::precise : PollTiming::fixed);
        Player& player = harness.player();
        garbage.fill(player);
        start_track(harness);
        harness.clock().sleep_ms(100);

        for (int pass = 0; pass < 300 && player.current_track != 0; ++pass) {
            if (garbage.value(0, 40) == 0)
                harness.clock().advance_ms(static_cast<std::uint32_t>(garbage.value(0, 20000)));
            if (garbage.value(0, 80) == 0)
                harness.clock().advance_ms(0xFFFFFFFFu - static_cast<std::uint32_t>(garbage.value(0, 5000)));
            const std::uint32_t before = harness.clock().now_ms();
            harness.run_passes();
            ASSERT_NE(harness.clock().now_ms(), before);  // every pass sleeps
        }
        total_messages += harness.messages().size();
        for (const auto& message : harness.messages()) {
            ASSERT_GE(message.bytes.size(), 2u);
            const std::uint8_t kind = message.bytes[0] & 0xF0;
            EXPECT_TRUE(kind == 0x90 || kind == 0xB0 || kind == 0xC0);
            EXPECT_LE(message.bytes[0] & 0x0F, 9);
            for (std::size_t i = 1; i < message.bytes.size(); ++i)
                ASSERT_LE(message.bytes[i], 127) << format_message_bytes(message.bytes);
        }
    }
    EXPECT_GT(total_messages, 10000u);  // the streams did play
}

}  // namespace
}  // namespace tambelo
