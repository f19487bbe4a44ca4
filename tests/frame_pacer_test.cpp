// The live synthesizer's pacing driven by the real playback passes of a
// Player without a thread, the output's pulls simulated in uneven sizes.

#include "library/midi/frame_pacer.h"
#include "library/frozen_clock_sequencer.h"
#include "library/player.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;

constexpr double rate = 48000.0;

struct Applied {
    std::int64_t frame;
    std::uint32_t message;
    bool operator==(const Applied&) const = default;
};

// Stands in for the synth: notes the frame at which each message is applied,
// and renders frames that tell how many notes sound.
class FrameLog final : public PacedSynth {
public:
    void render(float* left, float* right, int frames) override
    {
        for (int i = 0; i < frames; ++i) {
            left[i] += static_cast<float>(sounding_);
            right[i] += static_cast<float>(frame_ + i) * 1e-9f;
        }
        frame_ += frames;
    }
    void apply_short(std::uint32_t message) override
    {
        if ((message & 0xF0) == 0x90)
            sounding_ += (message >> 16) != 0 ? 1 : -1;
        applied.push_back({frame_, message});
    }
    void apply_long(const std::uint8_t*, std::size_t) override {}

    std::vector<Applied> applied;

private:
    std::int64_t frame_ = 0;
    int sounding_ = 0;
};

// The output side: takes the ring's frames in sizes drawn from `seed`.
struct Listener {
    explicit Listener(unsigned seed) : random(seed) {}
    std::mt19937 random;
    FrameRing ring{static_cast<std::size_t>(rate / 4)};
    std::vector<float> heard;
    bool heard_a_drop = false;
    std::int64_t frames_heard_at_drop = -1;

    void pull()
    {
        std::uniform_int_distribution<int> size(1, 3000);
        std::vector<float> piece(static_cast<std::size_t>(size(random)) * 2);
        bool dropped = false;
        const std::size_t got = ring.read(piece.data(), piece.size() / 2, &dropped);
        if (dropped && !heard_a_drop) {
            heard_a_drop = true;
            frames_heard_at_drop = static_cast<std::int64_t>(heard.size() / 2);
        }
        heard.insert(heard.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got * 2));
    }
};

class PacedDevice final : public MidiDevice {
public:
    explicit PacedDevice(Listener& listener, FramePacer::Wait wait = {})
        : pacer(synth, listener.ring, rate, wait ? std::move(wait) : [&listener] { listener.pull(); })
    {
    }
    bool send_short(std::uint32_t message) override
    {
        pacer.post_short(message, nullptr);
        return true;
    }
    bool send_short_at(std::uint32_t message, const DueMoment& due) override
    {
        pacer.post_short(message, &due);
        return true;
    }
    bool send_long(MidiHeader& header) override
    {
        pacer.post_long(header.data, header.bytes_recorded, nullptr);
        header.flags.fetch_or(midi_header_done);
        return true;
    }
    Clock* pacing_clock(std::function<bool()> interrupted) override
    {
        pacer.set_interrupted(std::move(interrupted));
        return &pacer;
    }
    void discontinue() override { pacer.drop_rendered(); }

    FrameLog synth;
    FramePacer pacer;
};

// A woodblock every 7 ticks, for ever, at tempo 80 on a tempo base of 72.
MusicSetPaths write_clicks(const TempDir& folder, bool loops = true)
{
    ScoreBuilder score;
    Phrase clicks;
    clicks.tempo(80);
    for (int i = 0; i < 8; ++i)
        clicks.note(1 + i % 5, 7);
    if (!loops)
        clicks.no_loop();
    score.channel(0, {score.add(clicks)});
    return write_music_set(folder, {score.build()}, {VoiceSetBuilder().tempo_base(72).build()});
}

// A Player without a thread, playing into `listener` through PacedDevice.
struct PacedPlayer {
    PacedPlayer(const MusicSetPaths& paths, Listener& listener)
    {
        PlayerServices services;
        services.open_device = [this, &listener] {
            auto made = std::make_unique<PacedDevice>(listener);
            device = made.get();
            return made;
        };
        player.reset(create_player(services, /*start_thread=*/false));
        open_player_device(*player);
        open_file(*player, paths.score.c_str(), paths.voice.c_str());
    }
    ~PacedPlayer() { close_player_device(*player); }

    void run_until_frame(std::int64_t frame)
    {
        while (device->pacer.frames_rendered() < frame)
            run_player_pass(*player);
    }
    std::vector<Applied> note_ons() const
    {
        std::vector<Applied> notes;
        for (const Applied& applied : device->synth.applied)
            if ((applied.message & 0xF0) == 0x90 && (applied.message >> 16) != 0)
                notes.push_back(applied);
        return notes;
    }

    PlayerHandle player;
    PacedDevice* device = nullptr;
};

TEST(FramePacer, EveryNoteLandsOnTheBlockOfItsTickHoweverTheOutputPulls)
{
    TempDir folder;
    const MusicSetPaths paths = write_clicks(folder);
    std::vector<std::vector<Applied>> notes;
    std::vector<std::vector<float>> heard;
    for (unsigned seed : {1u, 2u}) {
        Listener listener(seed);
        PacedPlayer paced(paths, listener);
        play_music(*paced.player, 1);
        paced.run_until_frame(static_cast<std::int64_t>(3 * rate));
        notes.push_back(paced.note_ons());
        heard.push_back(listener.heard);
    }
    ASSERT_GT(notes[0].size(), 20u);
    EXPECT_EQ(notes[0], notes[1]);
    const std::size_t common = std::min(heard[0].size(), heard[1].size());
    ASSERT_GT(common, static_cast<std::size_t>(2 * rate));
    EXPECT_TRUE(std::equal(heard[0].begin(), heard[0].begin() + static_cast<std::ptrdiff_t>(common),
                           heard[1].begin()));

    // Against the ideal clock of an export: each note on the 64-frame block
    // nearest its tick's frame, counted from the first note after the pause.
    std::vector<TimedMessage> offline;
    auto track = FrozenClockSequencer::open_set_track(paths.score, paths.voice, 1);
    ASSERT_TRUE(track);
    track->play_until_ms(3000.0, offline);
    std::vector<double> offline_ms;
    for (const TimedMessage& message : offline)
        if ((message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] != 0)
            offline_ms.push_back(message.time_ms);
    // The ticks that fell due during the 100 ms start pause sound together
    // right after it; from the first one due after it, every one is exact.
    std::size_t first = 0;
    while (offline_ms[first] < 100.0)
        ++first;
    const double origin = static_cast<double>(notes[0][first].frame) - offline_ms[first] * rate / 1000.0;
    for (std::size_t i = first; i < notes[0].size() && i < offline_ms.size(); ++i)
        EXPECT_LE(std::abs(static_cast<double>(notes[0][i].frame) - (origin + offline_ms[i] * rate / 1000.0)), 64.0)
            << "note " << i;
}

TEST(FramePacer, AStopDropsTheSoundRenderedAheadButATracksOwnEndRingsOut)
{
    TempDir folder;
    {
        Listener listener(3);
        PacedPlayer paced(write_clicks(folder), listener);
        play_music(*paced.player, 1);
        paced.run_until_frame(static_cast<std::int64_t>(rate));
        const std::int64_t rendered = paced.device->pacer.frames_rendered();
        stop_music(*paced.player);
        paced.run_until_frame(rendered + static_cast<std::int64_t>(rate / 2));
        ASSERT_TRUE(listener.heard_a_drop);
        // The All Sound Off lands within a few ms of what was heard when the
        // stop came, not a whole ring later.
        std::int64_t silenced_at = -1;
        for (const Applied& applied : paced.device->synth.applied)
            if (applied.frame >= rendered && (applied.message & 0xFFFF) == 0x78B0)
                silenced_at = applied.frame;
        ASSERT_GE(silenced_at, 0);
        EXPECT_LT(silenced_at - rendered, 256);
        EXPECT_GT(rendered - listener.frames_heard_at_drop, static_cast<std::int64_t>(rate / 10));
    }
    TempDir other;
    Listener listener(4);
    PacedPlayer paced(write_clicks(other, /*loops=*/false), listener);
    play_music(*paced.player, 1);
    paced.run_until_frame(static_cast<std::int64_t>(2 * rate));
    EXPECT_EQ(last_request(*paced.player), 0);  // it ended by itself
    EXPECT_FALSE(listener.heard_a_drop);
}

// An output that takes nothing (its server hangs) must not hold up requests
// or the release: the playback thread's wait for room gives way to them.
TEST(FramePacer, RequestsAndReleaseGetThroughWhileTheOutputTakesNothing)
{
    TempDir folder;
    const MusicSetPaths paths = write_clicks(folder);
    Listener listener(5);
    PlayerServices services;
    services.open_device = [&listener]() -> std::unique_ptr<MidiDevice> {
        return std::make_unique<PacedDevice>(
            listener, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    };
    Player* player = create_player(services);
    open_file(*player, paths.score.c_str(), paths.voice.c_str());
    play_music(*player, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop_music(*player);
    const auto start = std::chrono::steady_clock::now();
    destroy_player(player);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace tambelo
