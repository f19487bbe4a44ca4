#include "library/midi/synth_device.h"
#include "library/platform/clock.h"
#include "library/player.h"

#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;
using testing::VoiceSetBuilder;

constexpr double rate = 22050;

// A thread-less Player on a virtual clock whose device is the synth
// without audio output; each pass is followed by as much rendered audio as
// the pass took of virtual time.
class SynthPlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (soundfont_candidates().empty())
            GTEST_SKIP() << "no SoundFont installed";
        PlayerServices services;
        services.clock = &clock;
        services.open_device = [this]() -> std::unique_ptr<MidiDevice> {
            std::unique_ptr<SynthDevice> device = SynthDevice::open_offline({}, rate);
            synth = device.get();
            return device;
        };
        player = create_player(services, false);
        open_player_device(*player);
        ASSERT_NE(synth, nullptr);
    }
    void TearDown() override
    {
        if (player) {
            close_player_device(*player);
            destroy_player(player);
        }
    }

    // The loudest sample while passes run for `ms` of virtual time.
    float play_for(std::uint32_t ms)
    {
        float loudest = 0;
        const std::uint32_t end = clock.now_ms() + ms;
        while (clock.now_ms() < end) {
            const std::uint32_t before = clock.now_ms();
            run_player_pass(*player);
            const int frames = static_cast<int>(rate * (clock.now_ms() - before) / 1000);
            std::vector<float> left(frames), right(frames);
            fluid_synth_write_float(synth->synth(), frames, left.data(), 0, 1, right.data(), 0, 1);
            for (int i = 0; i < frames; ++i)
                loudest = std::max({loudest, std::fabs(left[i]), std::fabs(right[i])});
        }
        return loudest;
    }

    VirtualClock clock;
    Player* player = nullptr;
    SynthDevice* synth = nullptr;  // owned by the player
};

TEST_F(SynthPlayback, ACompiledTrackSoundsAndStopSilencesIt)
{
    TempDir folder;
    ScoreBuilder score;
    score.channel(0, {score.add(Phrase().voice(1).note(1, 48).note(5, 48))});
    score.channel(3, {score.add(Phrase().note(8, 96))});
    const auto paths = testing::write_music_set(folder, {score.build()}, {VoiceSetBuilder().build()});
    open_file(*player, paths.score.c_str(), paths.voice.c_str());

    EXPECT_LT(play_for(300), 0.001f);
    play_music(*player, 1);
    EXPECT_GT(play_for(1500), 0.01f);

    stop_music(*player);
    play_for(1500);
    EXPECT_LT(play_for(200), 0.001f);
}

}  // namespace
}  // namespace tambelo
