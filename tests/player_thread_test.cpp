#include "library/midi/recording_device.h"
#include "library/player.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <random>
#include <thread>

namespace tambelo {
namespace {

// The playback thread for real, on the system clock. These tests also run
// under ThreadSanitizer.

struct CountingDevice final : MidiDevice {
    std::atomic<int>* opened;
    std::atomic<int>* closed;
    std::atomic<int>* messages;
    CountingDevice(std::atomic<int>* o, std::atomic<int>* c, std::atomic<int>* m)
        : opened(o), closed(c), messages(m)
    {
        ++*opened;
    }
    ~CountingDevice() override { ++*closed; }
    bool send_short(std::uint32_t) override
    {
        ++*messages;
        return true;
    }
    bool send_long(MidiHeader& header) override
    {
        header.flags |= midi_header_done;
        return true;
    }
};

class PlayerThreadTest : public ::testing::Test {
protected:
    std::atomic<int> opened{0}, closed{0}, messages{0};

    PlayerServices services()
    {
        PlayerServices result;
        result.open_device = [this] {
            return std::make_unique<CountingDevice>(&opened, &closed, &messages);
        };
        return result;
    }
};

TEST_F(PlayerThreadTest, ReleaseRightAfterCreationStillOpensSilencesAndClosesTheDevice)
{
    Player* player = create_player(services());
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->self, player);
    destroy_player(player);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(messages, 20);
}

TEST_F(PlayerThreadTest, RequestsFromTheCallersThreadAreServedAndReleaseJoins)
{
    Player* player = create_player(services());
    open_file(*player, "/nonexistent/amus.dat", "/nonexistent/amus.mda");
    for (int track = 1; track <= 20; ++track) {
        play_music(*player, track);
        if (track % 3 == 0)
            stop_music(*player);
        open_file(*player, "/nonexistent/other.dat", "/nonexistent/other.mda");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Every request fails to compile; the thread clears each one it sees.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (requested_track(*player) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(requested_track(*player), 0);
    destroy_player(player);
    EXPECT_EQ(closed, 1);
    EXPECT_GE(messages, 40);  // at least one failed request, plus the final silence
}

TEST_F(PlayerThreadTest, ReleaseWhileATrackPlaysJoinsTheThreadAndClosesTheDevice)
{
    testing::TempDir folder;
    testing::ScoreBuilder score;
    score.channel(0, {score.add(testing::Phrase().note(1, 200))});
    const auto paths = testing::write_music_set(folder, {score.build()}, {{}});

    Player* player = create_player(services());
    open_file(*player, paths.score.c_str(), paths.voice.c_str());
    play_music(*player, 1);
    // The request stays in place only once the track compiled; give the
    // preparation (with its 100 ms pause) time to finish.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(requested_track(*player), 1);
    destroy_player(player);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_GE(messages, 40);  // the preparation's silence and the final one
}

// The calling thread's real-time priority; 0 for an ordinary thread.
int realtime_priority_now()
{
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy == SCHED_RR || policy == SCHED_FIFO ? param.sched_priority : 0;
}

struct NotedPriorities {
    int while_opening = -1;
    int while_sending = -1;
};

// Notes the playback thread's priority while it opens the device and while
// it sends; a paced one hands the thread a clock of its own, as the live
// synthesizer does.
struct PriorityNotingDevice final : MidiDevice {
    PriorityNotingDevice(bool is_paced, NotedPriorities* noting) : paced(is_paced), noted(noting)
    {
        noted->while_opening = realtime_priority_now();
    }
    bool send_short(std::uint32_t) override
    {
        noted->while_sending = realtime_priority_now();
        return true;
    }
    bool send_long(MidiHeader& header) override
    {
        header.flags |= midi_header_done;
        return true;
    }
    Clock* pacing_clock(std::function<bool()>) override { return paced ? &own_clock : nullptr; }

    bool paced;
    NotedPriorities* noted;
    SystemClock own_clock;
};

NotedPriorities priorities_of_a_playback_thread(bool paced)
{
    NotedPriorities noted;
    PlayerServices services;
    services.open_device = [&] { return std::make_unique<PriorityNotingDevice>(paced, &noted); };
    Player* player = create_player(services);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    destroy_player(player);  // joins the thread: what it noted is settled
    return noted;
}

// A thread that renders ahead has sound in hand and must never hold up the
// threads that meet audio periods, its own output's among them; one that
// sends on the clock must go out on time. Threads the device starts while
// it opens inherit nothing of either.
TEST(PlayerThreadPriority, AThreadThatRendersAheadRunsBelowOneThatSendsOnTheClock)
{
    const NotedPriorities timely = priorities_of_a_playback_thread(false);
    const NotedPriorities ahead = priorities_of_a_playback_thread(true);
    if (timely.while_sending == 0)
        GTEST_SKIP() << "this system grants no real-time priority here";
    EXPECT_EQ(timely.while_opening, 0);
    EXPECT_EQ(ahead.while_opening, 0);
    EXPECT_GT(ahead.while_sending, 0);
    EXPECT_LT(ahead.while_sending, timely.while_sending);
}

// Random calls from the caller's thread while the playback thread works, as
// the model test makes them on a virtual clock; here only what must hold
// whatever the timing: release never hangs, a stop is always obeyed, a
// track that compiles is never withdrawn, and ThreadSanitizer stays silent.
TEST_F(PlayerThreadTest, RandomCallsAgainstTheRunningThreadKeepTheInvariants)
{
    testing::TempDir folder;
    testing::ScoreBuilder looping, ending;
    looping.channel(0, {looping.add(testing::Phrase().note(1, 24).rest(24))});
    ending.channel(0, {ending.add(testing::Phrase().no_loop().note(1, 2))});
    const auto set = testing::write_music_set(folder, {looping.build(), ending.build(), {1, 2, 3}}, {{}, {}, {}});

    std::mt19937 random(20261207u);
    static const std::int32_t numbers[] = {0, 1, 2, 3, 4, -1, INT32_MIN, INT32_MAX};
    for (int cycle = 0; cycle < 4; ++cycle) {
        Player* player = create_player(services());
        for (int call = 0; call < 40; ++call) {
            const std::int32_t number = numbers[random() % std::size(numbers)];
            switch (random() % 5) {
            case 0: open_file(*player, random() % 2 ? set.score.c_str() : "/nonexistent/a.dat",
                              set.voice.c_str()); break;
            case 1: stop_music(*player); break;
            case 2: (void)get_next(*player, number); break;
            default: play_music(*player, number); break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        }
        stop_music(*player);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(requested_track(*player), 0);

        open_file(*player, set.score.c_str(), set.voice.c_str());
        play_music(*player, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(requested_track(*player), 1) << "cycle " << cycle;

        const auto before = std::chrono::steady_clock::now();
        destroy_player(player);
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    }
    EXPECT_EQ(opened, closed);
}

}  // namespace
}  // namespace tambelo
