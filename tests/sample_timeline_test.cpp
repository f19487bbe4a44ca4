#include "library/midi/sample_timeline.h"
#include "library/sequencer.h"
#include "library/voice_set.h"
#include "tests/support/event_records.h"
#include "tests/support/message_texts.h"
#include "tests/support/manual_player.h"
#include "tests/support/sequencer_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;

constexpr double rate = 48000.0;
constexpr double latency_ms = 20.0;
constexpr int burst_frames = 960;  // 20 ms, pulled every 20 ms of the clock

struct Applied {
    std::int64_t frame;
    std::uint32_t message;
};

// Stands in for the synth: counts the frames rendered and notes the frame
// at which each message is applied.
class FrameLog final : public TimelineSynth {
public:
    void render(float*, float*, int frames) override { frame_ += frames; }
    void apply_short(std::uint32_t message) override { applied.push_back({frame_, message}); }
    void apply_long(const std::uint8_t*, std::size_t) override {}

    std::vector<Applied> applied;

private:
    std::int64_t frame_ = 0;
};

// The Player's device: every message through the timeline, with its moment
// when the sequencer gives one.
class TimelineDevice final : public MidiDevice {
public:
    explicit TimelineDevice(SampleTimeline& timeline) : timeline_(timeline) {}
    bool send_short(std::uint32_t message) override { return timeline_.post_short(message); }
    bool send_short_at(std::uint32_t message, const DueMoment& due) override
    {
        return timeline_.post_short(message, &due);
    }
    bool send_long(MidiHeader& header) override
    {
        header.flags.fetch_or(midi_header_done);
        return true;
    }

private:
    SampleTimeline& timeline_;
};

// Plays a click every 7 ticks on a virtual clock, the audio pulled in bursts
// of 20 ms, the sequencer called only every `wake_every_ms` (a playback
// thread that wakes that late). Returns the note-ons as applied.
std::vector<Applied> play_clicks(std::uint32_t wake_every_ms, double* first_due_ms = nullptr)
{
    ManualPlayer harness(5000);
    Player& player = harness.player();
    FrameLog synth;
    SampleTimeline timeline(synth, harness.clock(), rate, TimelineLatency{latency_ms});
    player.midi_out = std::make_unique<TimelineDevice>(timeline);

    reset_voice_set(player);
    write_empty_streams(player);
    EventRecords(player.streams[0]).note(60, 1, 6).note(62, 1, 6).note(64, 1, 6).end();
    start_track(harness);
    if (first_due_ms)  // tick 16, relative to the timeline's start
        *first_due_ms = 15 * tick_length_ms(player);

    std::vector<float> left(burst_frames), right(burst_frames);
    for (std::uint32_t ms = 0; ms < 1000; ++ms) {
        if (ms % 20 == 0)
            timeline.render(left.data(), right.data(), burst_frames);
        if (ms % wake_every_ms == 0)
            advance_sequencer(player);
        harness.clock().advance_ms(1);
    }
    EXPECT_EQ(timeline.late_messages(), 0u);
    std::vector<Applied> notes;
    for (const Applied& applied : synth.applied)
        if ((applied.message & 0xF0) == 0x90 && (applied.message >> 16) != 0)
            notes.push_back(applied);
    harness.finish();  // while the timeline still lives
    return notes;
}

TEST(SampleTimeline, NotesLandOnTheFramesOfTheirTicksHoweverLateTheThreadWakes)
{
    double first_due_ms = 0;
    const std::vector<Applied> on_time = play_clicks(1, &first_due_ms);
    const std::vector<Applied> late = play_clicks(15);
    ASSERT_GE(on_time.size(), 6u);
    ASSERT_EQ(late.size(), on_time.size());
    for (std::size_t i = 0; i < on_time.size(); ++i) {
        EXPECT_EQ(late[i].frame, on_time[i].frame) << "note " << i;
        EXPECT_EQ(late[i].message, on_time[i].message) << "note " << i;
    }
    // The renderings run one burst ahead of the clock, so a moment m sounds
    // at frame (m + latency) x rate + one burst, on the nearest 64-frame
    // block. The first click is tick 16's, sent almost 4 ms late by the late
    // thread.
    const double exact = (first_due_ms + latency_ms) * rate / 1000.0 + burst_frames;
    EXPECT_EQ(on_time[0].frame, static_cast<std::int64_t>(std::floor(exact / 64 + 0.5)) * 64);
}

TEST(SampleTimeline, AMessageWithoutAMomentWaitsBehindEarlierOnesAndLateOnesPlayAtOnce)
{
    VirtualClock clock(100);
    FrameLog synth;
    SampleTimeline timeline(synth, clock, rate, TimelineLatency{latency_ms, false});
    std::vector<float> left(burst_frames), right(burst_frames);
    timeline.render(left.data(), right.data(), burst_frames);

    // A note whose moment is already past the latency plays at the start of
    // the next rendering; the All Sound Off sent after it still comes after.
    clock.advance_ms(30);
    const DueMoment long_ago{100, 30.0};
    timeline.post_short(0x7F3C90, &long_ago);
    timeline.post_short(0x0078B0);
    for (int i = 0; i < 3; ++i) {
        timeline.render(left.data(), right.data(), burst_frames);
        clock.advance_ms(20);
    }
    ASSERT_EQ(synth.applied.size(), 2u);
    EXPECT_EQ(synth.applied[0].message, 0x7F3C90u);
    EXPECT_EQ(synth.applied[0].frame, burst_frames);
    EXPECT_EQ(synth.applied[1].message, 0x0078B0u);
    EXPECT_GT(synth.applied[1].frame, synth.applied[0].frame);
    EXPECT_EQ(timeline.late_messages(), 1u);
}

// A clock that moves in fractions of a millisecond, set by hand.
class FineClock final : public Clock {
public:
    std::uint32_t now_ms() override
    {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::floor(now_)));
    }
    double precise_ms() override { return now_; }
    void sleep_ms(std::uint32_t duration_ms) override { now_ += duration_ms; }
    double now_ = 1000.0;
};

// Ten minutes of clicks every 125 ms, each posted up to 9.5 ms after its
// moment (a playback thread that polls every 10 ms), into a timeline pulled
// by a simulated server whose stream runs `rate_error` faster or slower than
// nominal on our clock: it wakes every 1 to 12 ms and tops its buffer up to
// 20 ms in bursts of 256 to 1,024 frames. Returns when each click is heard
// after its moment (the frame's place in the stream minus the moment), in ms.
std::vector<double> click_delays_on_a_straying_server(double rate_error)
{
    FineClock clock;
    FrameLog synth;
    SampleTimeline timeline(synth, clock, rate, TimelineLatency{});
    const double stream_frames_per_ms = rate / 1000.0 * (1.0 + rate_error);
    const double start_ms = clock.now_;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> wake_ms(1.0, 12.0), send_late_ms(0.0, 9.5);
    std::uniform_int_distribution<int> burst_size(256, 1024);
    std::vector<float> left(1024), right(1024);

    constexpr double click_ms = 125.0, played_ms = 600000.0, step_ms = 0.25;
    std::vector<double> moments;
    double next_wake_ms = start_ms, next_moment_ms = start_ms + 500.0;
    double next_send_ms = next_moment_ms + send_late_ms(random);
    std::int64_t pulled = 0;
    for (; clock.now_ < start_ms + played_ms; clock.now_ += step_ms) {
        if (clock.now_ >= next_send_ms) {
            const auto reading = static_cast<std::uint32_t>(std::ceil(next_moment_ms));
            const DueMoment due{reading, reading - next_moment_ms};
            timeline.post_short(0x7F3C90, &due);
            moments.push_back(next_moment_ms);
            next_moment_ms += click_ms;
            next_send_ms = next_moment_ms + send_late_ms(random);
        }
        if (clock.now_ >= next_wake_ms) {
            const double played_frames = (clock.now_ - start_ms) * stream_frames_per_ms;
            while (static_cast<double>(pulled) - played_frames < 20.0 * stream_frames_per_ms) {
                const int frames = burst_size(random);
                timeline.render(left.data(), right.data(), frames);
                pulled += frames;
            }
            next_wake_ms += wake_ms(random);
        }
    }
    EXPECT_FALSE(timeline.gave_up_timing());
    std::vector<double> delays;
    for (std::size_t i = 0; i < synth.applied.size() && i < moments.size(); ++i)
        delays.push_back(start_ms + static_cast<double>(synth.applied[i].frame) / stream_frames_per_ms -
                         moments[i]);
    return delays;
}

// Messages sent 20 ms after their moments, 5 ms more than the starting
// latency allows behind one 5 ms burst: the first comes late and raises the
// latency (by what it lacked and a margin), so that the next ones land on
// their frames again, 125 ms apart, while the latency sinks back slowly.
TEST(SampleTimeline, AMessageThatComesLateRaisesTheLatencyForTheNextOnes)
{
    FineClock clock;
    FrameLog synth;
    SampleTimeline timeline(synth, clock, rate, TimelineLatency{});
    std::vector<float> left(240), right(240);
    for (int step = 0; step < 1000; ++step) {  // 5 s, 240 frames every 5 ms
        if (step >= 100 && step % 25 == 0) {
            const DueMoment due{static_cast<std::uint32_t>(clock.now_), 20.0};
            timeline.post_short(0x7F3C90, &due);
        }
        timeline.render(left.data(), right.data(), 240);
        clock.now_ += 5.0;
    }
    EXPECT_EQ(timeline.late_messages(), 1u);
    EXPECT_GT(timeline.latency_ms(), 15.7);  // 17 ms, less 0.2 ms for each second since
    EXPECT_LT(timeline.latency_ms(), 17.0);
    ASSERT_GE(synth.applied.size(), 30u);
    for (std::size_t i = 2; i < synth.applied.size(); ++i)  // on the nearest 64-frame block
        EXPECT_NEAR(static_cast<double>(synth.applied[i].frame - synth.applied[i - 1].frame), 6000.0, 64.0)
            << "click " << i;
}

// A server that pulls a second's sound twice within 100 ms and then nothing
// for 1.9 s leaves no clock to time by (its renderings lie up to 450 ms off
// their average line, for seconds on end): after the first seconds the
// timeline applies each message at the start of the next rendering, and
// says that it gave up.
TEST(SampleTimeline, BurstsTooUnevenToTimeByMakeMessagesPlayAsTheyCome)
{
    FineClock clock;
    FrameLog synth;
    SampleTimeline timeline(synth, clock, rate, TimelineLatency{});
    std::vector<float> left(48000), right(48000);
    const double start_ms = clock.now_;
    auto pull_twice = [&](int pair) {
        for (const double at_ms : {0.0, 100.0}) {
            clock.now_ = start_ms + 2000.0 * pair + at_ms;
            timeline.render(left.data(), right.data(), 48000);
        }
    };
    pull_twice(0);
    EXPECT_FALSE(timeline.gave_up_timing());  // still settling
    for (int pair = 1; pair < 4; ++pair)
        pull_twice(pair);
    EXPECT_TRUE(timeline.gave_up_timing());
    timeline.post_short(0x7F3C90);
    timeline.render(left.data(), right.data(), 48000);
    ASSERT_EQ(synth.applied.size(), 1u);
    EXPECT_EQ(synth.applied[0].frame, 8 * 48000);
}

// A server that stalls (or runs dry and fills the gap with silence) and
// then goes on from where it stopped delays all later sound by the stall.
// On a steady stream the timeline follows the moved stream within a tenth
// of a second, so that notes come as soon after their moments as before,
// instead of late for seconds: after a long stall and after short ones,
// late in a long fit or early in it (a JACK client that misses two cycles
// 5.5 s in: the fitted rate once bent to the moved callbacks and the notes
// stayed late to the end), and after stalls that come in quick succession
// (a machine whose every core is busy freezing a tenth of a second at a
// time: the rate once bent as far as it may and the notes lay tens of
// milliseconds off for seconds), and on a stream pulled in bursts of small
// writes (PipeWire's PulseAudio side, once followed only seconds later).
TEST(SampleTimeline, AfterTheServerStallsTheDelayComesBackToWhatItWas)
{
    struct Stall {
        int at_step;  // steps of 5 ms
        double ms;    // whole steps pull nothing, the rest pulls that much less
    };
    struct Case {
        std::vector<Stall> stalls;
        int pieces = 1;  // each step's frames pulled in this many callbacks at once
    };
    const std::vector<Case> cases = {
        {{{2000, 300}}},
        {{{2000, 10}}},
        {{{1100, 10}}},
        {{{1010, 100}, {1090, 100}, {1150, 100}, {1390, 100}, {1600, 100}}},
        {{{1010, 33}, {1040, 2.8}}},  // half a JACK cycle, soon after a long stall
        {{{2000, 30}}, 4},            // PipeWire's PulseAudio side, small writes in bursts
        {{{2000, 10}}, 4},
    };
    for (const auto& [stalls, pieces] : cases) {
        SCOPED_TRACE(::testing::Message() << stalls.size() << " stalls, the first " << stalls[0].ms
                                          << " ms at step " << stalls[0].at_step << ", " << pieces << " pieces");
        FineClock clock;
        FrameLog synth;
        SampleTimeline timeline(synth, clock, rate, TimelineLatency{});
        std::vector<float> left(240), right(240);
        const double start_ms = clock.now_;
        std::vector<double> moments;
        // From which frame on the stream has lost how many ms in all.
        std::vector<std::pair<std::int64_t, double>> lost_from = {{0, 0.0}};
        std::int64_t frame = 0;
        double losing_ms = 0.0;
        for (int step = 0; step < 3000; ++step) {  // 15 s in steps of 5 ms
            if (step % 25 == 0) {
                const DueMoment due{static_cast<std::uint32_t>(clock.now_), 0.0};
                timeline.post_short(0x7F3C90, &due);
                moments.push_back(std::floor(clock.now_));
            }
            for (const Stall& stall : stalls)
                if (step == stall.at_step) {
                    losing_ms += stall.ms;
                    lost_from.emplace_back(frame, lost_from.back().second + stall.ms);
                }
            const double lost_now_ms = std::min(losing_ms, 5.0);
            losing_ms -= lost_now_ms;
            const auto frames = static_cast<int>(std::lround((5.0 - lost_now_ms) * 48.0));
            for (int piece = 0; piece < pieces && frames > 0; ++piece)
                timeline.render(left.data(), right.data(), frames / pieces + (piece < frames % pieces ? 1 : 0));
            frame += frames;
            clock.now_ += 5.0;
        }
        ASSERT_GE(synth.applied.size(), 110u);
        // A frame is heard when the steady stream would have played it, plus
        // what the stream lost before it.
        auto delay_ms = [&](std::size_t i) {
            const std::int64_t applied = synth.applied[i].frame;
            const auto after = std::upper_bound(lost_from.begin(), lost_from.end(), applied,
                                                [](std::int64_t f, const auto& loss) { return f < loss.first; });
            return start_ms + static_cast<double>(applied) / 48.0 + std::prev(after)->second - moments[i];
        };
        const auto first_stalled_click = static_cast<std::size_t>(stalls.front().at_step / 25);
        const double before_ms = delay_ms(first_stalled_click - 10);
        // Every click from the first after a stall (those during it cannot
        // be on time) to 4.4 s after the last.
        auto near_a_stall = [&](std::size_t click) {
            const auto step = static_cast<int>(click * 25);
            return std::any_of(stalls.begin(), stalls.end(), [step](const Stall& stall) {
                const int end = stall.at_step + static_cast<int>(std::ceil(stall.ms / 5.0));
                return step >= stall.at_step - 2 && step < end / 25 * 25 + 25;
            });
        };
        const auto last_stalled_click = static_cast<std::size_t>(stalls.back().at_step / 25);
        for (std::size_t i = first_stalled_click; i < last_stalled_click + 35; ++i) {
            if (!near_a_stall(i)) {
                EXPECT_NEAR(delay_ms(i), before_ms, 1.5) << "click " << i;
            }
        }
    }
}

// A stream that takes its first callback's frames and runs only `wait_ms`
// later (a PulseAudio stream's first write returns only once the server has
// started it, from a quarter of a second to well over a second later): every
// note must be timed from where it runs, and a note the player sent during
// that wait, stale by the time the stream runs through no fault of its, must
// not raise the latency for every later note.
void expect_timed_from_where_it_runs(double wait_ms)
{
    FineClock clock;
    FrameLog synth;
    SampleTimeline timeline(synth, clock, rate, TimelineLatency{});
    std::vector<float> left(240), right(240);
    const double start_ms = clock.now_;
    timeline.render(left.data(), right.data(), 240);
    const DueMoment sent_while_waiting{static_cast<std::uint32_t>(clock.now_), 0.0};
    timeline.post_short(0x7F3C90, &sent_while_waiting);
    clock.now_ += wait_ms;  // frame 240 on is heard that much later than steady
    std::vector<double> moments;
    for (int step = 0; step < 1000; ++step) {  // 5 s in steps of 5 ms
        if (step >= 400 && step % 25 == 0) {
            const DueMoment due{static_cast<std::uint32_t>(clock.now_), 0.0};
            timeline.post_short(0x7F3C90, &due);
            moments.push_back(std::floor(clock.now_));
        }
        timeline.render(left.data(), right.data(), 240);
        clock.now_ += 5.0;
    }
    ASSERT_EQ(synth.applied.size(), moments.size() + 1);
    for (std::size_t i = 0; i < moments.size(); ++i) {
        const double heard_ms = start_ms + wait_ms + static_cast<double>(synth.applied[i + 1].frame) / 48.0;
        // The latency, two bursts buffered (the first one stayed), half a block.
        EXPECT_LT(heard_ms - moments[i], 10.0 + 10.0 + 1.5) << "wait " << wait_ms << " ms, click " << i;
    }
    EXPECT_DOUBLE_EQ(timeline.latency_ms(), TimelineLatency{}.start_ms) << "wait " << wait_ms << " ms";
}

TEST(SampleTimeline, AStreamThatStartsAfterItsFirstCallbackIsTimedFromWhereItRuns)
{
    expect_timed_from_where_it_runs(250.0);
    expect_timed_from_where_it_runs(1500.0);
}

// How far each delay lies from the straight line fitted to its stretch of
// `stretch` clicks (a grid whose period is fitted too), in ms.
std::vector<double> deviations_from_fitted_grids(const std::vector<double>& delays, std::size_t stretch)
{
    std::vector<double> deviations;
    for (std::size_t first = 0; first + stretch <= delays.size(); first += stretch) {
        double sum_i = 0, sum_d = 0, sum_ii = 0, sum_id = 0;
        for (std::size_t i = 0; i < stretch; ++i) {
            const auto x = static_cast<double>(i);
            sum_i += x, sum_d += delays[first + i], sum_ii += x * x, sum_id += x * delays[first + i];
        }
        const auto n = static_cast<double>(stretch);
        const double slope = (n * sum_id - sum_i * sum_d) / (n * sum_ii - sum_i * sum_i);
        const double offset = (sum_d - slope * sum_i) / n;
        for (std::size_t i = 0; i < stretch; ++i)
            deviations.push_back(std::fabs(delays[first + i] - offset - slope * static_cast<double>(i)));
    }
    return deviations;
}

// On a stream that runs 0.2 % faster or slower than nominal, the delay from
// a message's moment to its sound stays what it was after the first seconds
// for ten minutes (it neither grows nor wanders), and the clicks keep to a
// regular grid within the synth's 64-frame block (1.3 ms) in every 20 s.
TEST(SampleTimeline, TheDelayToTheSoundStaysBoundedOnAServerThatStrays)
{
    for (const double rate_error : {-0.002, 0.002}) {
        SCOPED_TRACE(rate_error);
        std::vector<double> delays = click_delays_on_a_straying_server(rate_error);
        ASSERT_GE(delays.size(), 4700u);
        delays.erase(delays.begin(), delays.begin() + 8);  // the first second
        std::vector<double> settled(delays.begin() + 72, delays.begin() + 152);  // 10 to 20 s
        std::sort(settled.begin(), settled.end());
        const double typical_ms = settled[settled.size() / 2];
        EXPECT_LT(typical_ms, 60.0);
        for (std::size_t i = 0; i < delays.size(); ++i)
            ASSERT_LT(std::fabs(delays[i] - typical_ms), 5.0) << "click " << i;
        const std::vector<double> deviations = deviations_from_fitted_grids(delays, 160);
        const auto off_grid = std::count_if(deviations.begin(), deviations.end(),
                                            [](double deviation) { return deviation > 1.0; });
        EXPECT_LE(static_cast<std::size_t>(off_grid), deviations.size() / 100);
    }
}

}  // namespace
}  // namespace tambelo
