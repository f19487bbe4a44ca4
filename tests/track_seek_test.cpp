#include "cli/authoring/set_packer.h"
#include "library/render/render_set.h"
#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"
#include "tests/support/temp_dir.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

namespace tambelo {
namespace {

namespace fs = std::filesystem;

constexpr int rate = 44100;

// What the synthesizer's channels have been told: voice, controllers, bend.
struct ChannelState {
    std::array<int, 3> program{};
    std::array<int, 128> controllers{};
    int bend = 0;
    bool operator==(const ChannelState&) const = default;
};

std::vector<ChannelState> channel_state(fluid_synth_t* synth)
{
    std::vector<ChannelState> state(16);
    for (int channel = 0; channel < 16; ++channel) {
        ChannelState& held = state[static_cast<std::size_t>(channel)];
        fluid_synth_get_program(synth, channel, &held.program[0], &held.program[1], &held.program[2]);
        for (int number = 0; number < 128; ++number)
            fluid_synth_get_cc(synth, channel, number, &held.controllers[static_cast<std::size_t>(number)]);
        fluid_synth_get_pitch_bend(synth, channel, &held.bend);
    }
    return state;
}

std::vector<float> pull(TrackRenderer& renderer, std::size_t frames)
{
    std::vector<float> out(2 * frames);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t got = renderer.render(out.data() + 2 * done, std::min<std::size_t>(frames - done, 3000));
        if (got == 0)
            break;
        done += got;
    }
    out.resize(2 * done);
    return out;
}

// The bundled sample set, packed from its sources, played for ever.
class TrackSeek : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new testing::TempDir();
        const PackedSet packed = pack_set(fs::path(TAMBELO_SOURCE_DIR) / "samples");
        ASSERT_EQ(write_packed_set(packed, folder_->path()), "");
        set_ = RenderSet::open_files((folder_->path() / "amus.dat").string(),
                                     (folder_->path() / "amus.mda").string(), "")
                   .release();
    }
    static void TearDownTestSuite()
    {
        delete set_;
        delete folder_;
    }

    struct Rendering {
        std::unique_ptr<RenderSynth> synth;
        std::unique_ptr<FrozenClockSequencer> track;
        std::unique_ptr<TrackRenderer> renderer;
    };

    Rendering open(std::int32_t number)
    {
        Rendering made;
        const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";
        made.synth = RenderSynth::create(fs::exists(small) ? small : "", rate);
        if (!made.synth)
            return made;
        made.track = set_->open_track(number);
        RenderSettings settings;
        settings.loop_mode = LoopMode::forever;
        made.renderer = std::make_unique<TrackRenderer>(*made.synth, *made.track, settings,
                                                        [number] { return set_->open_track(number); });
        return made;
    }

    static testing::TempDir* folder_;
    static RenderSet* set_;
};

testing::TempDir* TrackSeek::folder_ = nullptr;
RenderSet* TrackSeek::set_ = nullptr;

TEST_F(TrackSeek, PutsInPlaceTheVoicesAndControllersOfARenderingFromTheStart)
{
    ASSERT_NE(set_, nullptr);
    constexpr std::size_t after_frames = 2 * rate;
    for (std::int32_t number = 1; number <= set_->track_count(); ++number) {
        SCOPED_TRACE(number);
        Rendering played = open(number);
        if (!played.synth)
            GTEST_SKIP() << "no SoundFont";
        Rendering sought = open(number);
        // 30 s in, or half way through a track that ends sooner.
        const TrackLength& length = played.track->length();
        const double end_ms = length.kind == TrackLength::Kind::ends
                                  ? tick_time_ms(length.end_tick, played.track->tick_length_ms())
                                  : 60000.0;
        const std::size_t seek_frames = frame_at_ms(std::min(30000.0, end_ms / 2), rate);
        pull(*played.renderer, seek_frames);
        ASSERT_TRUE(sought.renderer->seek(static_cast<double>(seek_frames) * 1000.0 / rate));
        EXPECT_EQ(sought.renderer->position_frames(), seek_frames);
        // Both on from there: every message after the seek lands on the same
        // block, so what the channels were told must agree.
        pull(*played.renderer, after_frames);
        pull(*sought.renderer, after_frames);
        EXPECT_EQ(channel_state(played.synth->synth()), channel_state(sought.synth->synth()));
    }
}

TEST_F(TrackSeek, BackwardsSoundsAsASeekOnAFreshRendering)
{
    ASSERT_NE(set_, nullptr);
    Rendering moved = open(1);
    if (!moved.synth)
        GTEST_SKIP() << "no SoundFont";
    Rendering fresh = open(1);
    ASSERT_TRUE(moved.renderer->seek(40000.0));
    pull(*moved.renderer, rate);
    ASSERT_TRUE(moved.renderer->seek(10000.0));
    ASSERT_TRUE(fresh.renderer->seek(10000.0));
    EXPECT_EQ(moved.renderer->position_frames(), fresh.renderer->position_frames());
    const auto again = pull(*moved.renderer, rate);
    ASSERT_EQ(again.size(), 2u * rate);
    EXPECT_EQ(again, pull(*fresh.renderer, rate));
}

// A seek makes a new synthesizer that plays the SoundFont the first one
// loaded: back at the start it must sound as that first one did, with
// nothing of what it played before still ringing in its effects.
TEST_F(TrackSeek, BackToTheStartSoundsAsTheFirstRendering)
{
    ASSERT_NE(set_, nullptr);
    Rendering first = open(1);
    if (!first.synth)
        GTEST_SKIP() << "no SoundFont";
    Rendering moved = open(1);
    pull(*moved.renderer, 3 * rate);
    ASSERT_TRUE(moved.renderer->seek(0.0));
    const auto from_start = pull(*first.renderer, 2 * rate);
    ASSERT_EQ(from_start.size(), 2u * 2 * rate);
    EXPECT_EQ(pull(*moved.renderer, 2 * rate), from_start);
}

}  // namespace
}  // namespace tambelo
