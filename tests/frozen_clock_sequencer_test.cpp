#include "library/frozen_clock_sequencer.h"
#include "library/midi/recording_device.h"
#include "library/player.h"
#include "library/voice_set.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/event_records.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tambelo {
namespace {

using testing::StreamSet;

constexpr double tick_ms = 1136.364583333333257542108185589313507080078125 / 64.0;

std::unique_ptr<FrozenClockSequencer> open_streams(const StreamSet& set)
{
    return FrozenClockSequencer::open([&set](Player& player) {
        set.copy_into(player);
        reset_voice_set(player);
        player.tempo = 64;
        return true;
    });
}

struct TickMessage {
    std::int64_t tick;
    std::vector<std::uint8_t> bytes;
    bool operator==(const TickMessage&) const = default;
    friend void PrintTo(const TickMessage& message, std::ostream* out)
    {
        *out << message.tick << ": " << format_message_bytes(message.bytes);
    }
};

// Messages after the reset, with the tick each one was stamped with; the
// stamp must be exactly that tick's ideal time.
std::vector<TickMessage> by_tick(const std::vector<TimedMessage>& messages, double length_ms)
{
    std::vector<TickMessage> ticks;
    for (const auto& message : messages) {
        if (message.time_ms == 0.0)
            continue;
        const auto tick = static_cast<std::int64_t>(std::llround(message.time_ms / length_ms)) + 1;
        EXPECT_EQ(message.time_ms, tick_time_ms(tick, length_ms));
        ticks.push_back({tick, message.bytes});
    }
    return ticks;
}

std::vector<TickMessage> notes_only(const std::vector<TickMessage>& messages)
{
    std::vector<TickMessage> notes;
    for (const auto& message : messages)
        if ((message.bytes[0] & 0xF0) == 0x90)
            notes.push_back(message);
    return notes;
}

TEST(FrozenClockSequencer, EveryMessageCarriesTheIdealTimeOfItsTick)
{
    StreamSet set;
    set.channel(0).voice(3).note(60, 42, 6).end();
    auto track = open_streams(set);
    ASSERT_TRUE(track);
    EXPECT_DOUBLE_EQ(track->tick_length_ms(), tick_ms);

    std::vector<TimedMessage> messages;
    track->play_until_tick(113, messages);
    // The reset comes first, at 0: the GS reset System Exclusive.
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().time_ms, 0.0);
    EXPECT_EQ(messages.front().bytes.front(), 0xF0);
    EXPECT_EQ(notes_only(by_tick(messages, tick_ms)),
              (std::vector<TickMessage>{{16, {0x90, 60, 120}}, {58, {0x90, 60, 0}},
                                        {64, {0x90, 60, 120}}, {106, {0x90, 60, 0}},
                                        {112, {0x90, 60, 120}}}));
    EXPECT_EQ(track->next_tick(), 113);
    EXPECT_FALSE(track->ended());
}

TEST(FrozenClockSequencer, PlayingUpToATimeStopsBeforeTheTickDueThen)
{
    StreamSet set;
    set.channel(0).note(60, 42, 6).end();
    auto track = open_streams(set);
    std::vector<TimedMessage> messages;
    track->play_until_ms(tick_time_ms(16, tick_ms), messages);
    EXPECT_EQ(track->next_tick(), 16);
    EXPECT_TRUE(notes_only(by_tick(messages, tick_ms)).empty());
    track->play_until_ms(tick_time_ms(16, tick_ms) + 0.001, messages);
    EXPECT_EQ(track->next_tick(), 17);
    EXPECT_EQ(notes_only(by_tick(messages, tick_ms)).size(), 1u);
}

TEST(FrozenClockSequencer, ATrackThatEndsIsSilencedInTheTickItsLengthGives)
{
    StreamSet set;
    set.channel(0).note(60, 42, 6).no_loop().end();
    set.channel(1).rest(20).note(64, 30, 0).end();
    auto track = open_streams(set);
    ASSERT_EQ(track->length().kind, TrackLength::Kind::ends);
    std::vector<TimedMessage> messages;
    track->play_until_tick(100000, messages);
    EXPECT_TRUE(track->ended());
    EXPECT_EQ(track->next_tick(), track->length().end_tick + 1);
    const auto ticks = by_tick(messages, tick_ms);
    ASSERT_GE(ticks.size(), 20u);
    // The last twenty messages silence the ten channels at the end tick.
    for (std::size_t i = ticks.size() - 20; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].tick, track->length().end_tick);
        EXPECT_EQ(ticks[i].bytes[0] & 0xF0, 0xB0);
    }
}

TEST(FrozenClockSequencer, ASetTrackThatDoesNotCompileIsRefused)
{
    testing::TempDir folder;
    const auto paths = testing::write_music_set(folder, {{1, 2, 3}}, {{}});
    TrackOpenFailure failure = TrackOpenFailure::none;
    EXPECT_EQ(FrozenClockSequencer::open_set_track(paths.score, paths.voice, 1, &failure), nullptr);
    EXPECT_EQ(failure, TrackOpenFailure::does_not_compile);
    EXPECT_EQ(FrozenClockSequencer::open_set_track(paths.score, paths.voice, 7, &failure), nullptr);
}

TEST(FrozenClockSequencer, ASetTrackPlaysAtItsScoreTempoAndVoiceSetTempoBase)
{
    testing::TempDir folder;
    testing::ScoreBuilder score;
    const int phrase = score.add(testing::Phrase().tempo(80).note(1, 48).no_loop());
    score.channel(0, {phrase});
    const auto voices = testing::VoiceSetBuilder().tempo_base(72).build();
    const auto paths = testing::write_music_set(folder, {score.build()}, {voices});
    TrackOpenFailure failure = TrackOpenFailure::does_not_compile;
    auto track = FrozenClockSequencer::open_set_track(paths.score, paths.voice, 1, &failure);
    ASSERT_TRUE(track);
    EXPECT_EQ(failure, TrackOpenFailure::none);
    EXPECT_DOUBLE_EQ(track->tick_length_ms(), 1136.364583333333257542108185589313507080078125 / 72.0);
    EXPECT_EQ(track->length(), (TrackLength{TrackLength::Kind::ends, 64}));
}

// Random streams: the length measured from the streams must agree with what
// the sequencer does with them, tick for tick.
class RandomStreams {
public:
    explicit RandomStreams(unsigned seed) : random_(seed) {}

    void fill(StreamSet& set)
    {
        const int channels = pick(1, 4);
        for (int c = 0; c < channels; ++c) {
            auto writer = set.channel(pick(0, channel_count - 1));
            const int records = pick(1, 8);
            const int loop_at = pick(0, records);
            for (int r = 0; r < records; ++r) {
                if (r == loop_at)
                    writer.loop_here();
                switch (pick(0, 9)) {
                case 0: writer.rest(pick(0, 30)); break;
                case 1: writer.voice(pick(0, 5)); break;
                case 2: if (pick(0, 3) == 0) writer.no_loop(); break;
                default: writer.note(pick(40, 80), pick(1, 40), pick(0, 3) == 0 ? 0 : pick(1, 20)); break;
                }
            }
            writer.end();
        }
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    std::mt19937 random_;
};

TEST(FrozenClockSequencer, MeasuredLengthsAgreeWithTheSequencerOnRandomStreams)
{
    RandomStreams random(20261207);
    int ending = 0, looping = 0;
    for (int round = 0; round < 300; ++round) {
        StreamSet set;
        random.fill(set);
        auto track = open_streams(set);
        ASSERT_TRUE(track);
        const TrackLength length = track->length();
        std::vector<TimedMessage> messages;
        if (length.kind == TrackLength::Kind::ends) {
            ++ending;
            track->play_until_tick(length.end_tick + 10, messages);
            EXPECT_TRUE(track->ended()) << "round " << round;
            EXPECT_EQ(track->next_tick(), length.end_tick + 1) << "round " << round;
            continue;
        }
        ++looping;
        const std::int64_t start = length.loop_start_tick;
        const std::int64_t cycle_ticks = length.loop_ticks;
        track->play_until_tick(start + 4 * cycle_ticks, messages);
        ASSERT_FALSE(track->ended()) << "round " << round;
        if (length.cycles_differ)
            continue;
        // The note-ons repeat from the loop start. Other messages repeat from
        // the third cycle: records read in the tick that ends a cycle (after
        // its last wait) act on the state the cycle before left, so the
        // first two cycles may differ in what a voice change sends, and in
        // releases of notes begun in the intro.
        const auto ticks = by_tick(messages, tick_ms);
        auto cycle = [&](int k, bool note_ons) {
            std::vector<TickMessage> found;
            for (auto message : ticks) {
                const bool note_on = (message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] != 0;
                if (message.tick < start + k * cycle_ticks || message.tick >= start + (k + 1) * cycle_ticks ||
                    (note_ons && !note_on))
                    continue;
                message.tick -= k * cycle_ticks;
                found.push_back(message);
            }
            return found;
        };
        EXPECT_EQ(cycle(0, true), cycle(1, true)) << "round " << round;
        EXPECT_EQ(cycle(2, false), cycle(3, false)) << "round " << round;
    }
    EXPECT_GT(ending, 30);
    EXPECT_GT(looping, 30);
}

}  // namespace
}  // namespace tambelo
