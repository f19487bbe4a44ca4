#include "cli/authoring/set_packer.h"
#include "library/render/render_set.h"
#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace tambelo {
namespace {

namespace fs = std::filesystem;

constexpr int rate = 8000;  // enough to tell moments apart, cheap to render
constexpr double far_ms[] = {std::numeric_limits<double>::infinity(), 1e300, std::numeric_limits<double>::max(), 1e17};

// Track 1 loops (13 quarter notes, 8 of them rest) with voice changes, track 2 ends by itself,
// track 3 loops over 13 minutes of rest (longer than seamless mode takes),
// track 4's channels loop over different lengths, track 5 has two hours of
// intro.
void write_sources(const fs::path& folder)
{
    std::ofstream(folder / "set.toml") << "title = \"Far seeks\"\n"
                                          "[[track]]\ntitle = \"Loop\"\nscore = \"loop.mml\"\n"
                                          "[[track]]\ntitle = \"End\"\nscore = \"end.mml\"\n"
                                          "[[track]]\ntitle = \"Long loop\"\nscore = \"long.mml\"\n"
                                          "[[track]]\ntitle = \"Differ\"\nscore = \"differ.mml\"\n"
                                          "[[track]]\ntitle = \"Long intro\"\nscore = \"intro.mml\"\n";
    std::ofstream(folder / "loop.mml") << "phrase in { t64 @1 v100 o4 c4 d4 }\n"
                                          "phrase round { o4 e4 @20 f4 r1 r1 g4 @40 a2 }\n"
                                          "channel 0: in | round\n";
    std::ofstream(folder / "end.mml") << "phrase all { t64 ! @1 v100 o4 c4 d4 e2 }\nchannel 0: all\n";
    std::ofstream(folder / "long.mml") << "phrase in { t64 @1 o4 c4 }\nphrase rest { c4 r%40540 }\n"
                                          "channel 0: in | rest\n";
    std::ofstream(folder / "differ.mml") << "phrase in { t64 @1 o4 c4 }\nphrase two { c4 d4 }\nphrase three { e4 f4 g4 }\n"
                                            "channel 0: in | two\nchannel 1: in | three\n";
    // Two hours of rest before the loop.
    std::ofstream(folder / "intro.mml") << "phrase in { t64 @1 o4 c4 r%65535 r%65535 r%65535 r%65535 r%65535 r%65535 }\n"
                                           "phrase round { o4 e4 f4 g4 }\nchannel 0: in | round\n";
}

class TrackFarSeek : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new testing::TempDir();
        write_sources(folder_->path());
        const PackedSet packed = pack_set(folder_->path());
        ASSERT_EQ(write_packed_set(packed, folder_->path() / "set"), "");
        set_ = RenderSet::open_files((folder_->path() / "set" / "amus.dat").string(),
                                     (folder_->path() / "set" / "amus.mda").string(), "")
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

    static Rendering open(std::int32_t number, LoopMode mode)
    {
        Rendering made;
        const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";
        made.synth = RenderSynth::create(fs::exists(small) ? small : "", rate);
        if (!made.synth)
            return made;
        made.track = set_->open_track(number);
        RenderSettings settings;
        settings.loop_mode = mode;
        made.renderer = std::make_unique<TrackRenderer>(*made.synth, *made.track, settings,
                                                        [number] { return set_->open_track(number); });
        return made;
    }

    static std::vector<float> pull(TrackRenderer& renderer, std::size_t frames)
    {
        std::vector<float> out(2 * frames);
        out.resize(2 * renderer.render(out.data(), frames));
        return out;
    }

    // Seeks and says whether that took less than a second.
    static bool quick_seek(TrackRenderer& renderer, double ms)
    {
        const auto begun = std::chrono::steady_clock::now();
        EXPECT_TRUE(renderer.seek(ms));
        return std::chrono::steady_clock::now() - begun < std::chrono::seconds(1);
    }

    static testing::TempDir* folder_;
    static RenderSet* set_;
};

testing::TempDir* TrackFarSeek::folder_ = nullptr;
RenderSet* TrackFarSeek::set_ = nullptr;

TEST_F(TrackFarSeek, BeyondTheEndLandsAtTheEnd)
{
    ASSERT_NE(set_, nullptr);
    for (const auto& [number, mode] : {std::pair{1, LoopMode::fade}, {1, LoopMode::seamless}, {2, LoopMode::fade}}) {
        for (const double ms : far_ms) {
            SCOPED_TRACE(::testing::Message() << "track " << number << " mode " << static_cast<int>(mode) << " " << ms);
            Rendering rendering = open(number, mode);
            if (!rendering.synth)
                GTEST_SKIP() << "no SoundFont";
            TrackRenderer& renderer = *rendering.renderer;
            pull(renderer, 1000);
            EXPECT_TRUE(quick_seek(renderer, ms));
            // Track 2 ends with a release tail, whose length is found only by rendering.
            const double music_ms = tick_time_ms(rendering.track->length().end_tick, rendering.track->tick_length_ms());
            const std::uint64_t end = number == 2 ? frame_at_ms(music_ms, rate) : *renderer.length_frames();
            EXPECT_GT(end, 1000u);
            EXPECT_EQ(renderer.position_frames(), end);
            EXPECT_TRUE(pull(renderer, 100).empty());
            EXPECT_TRUE(renderer.ended());
        }
    }
}

// For ever, a far moment sounds as the same moment of the loop's second
// pass does, and a seek there costs as little.
TEST_F(TrackFarSeek, ForeverLandsOnTheMatchingMomentOfTheLoop)
{
    ASSERT_NE(set_, nullptr);
    Rendering probe = open(1, LoopMode::forever);
    if (!probe.synth)
        GTEST_SKIP() << "no SoundFont";
    const TrackLength& length = probe.track->length();
    const double loop_ms = static_cast<double>(length.loop_ticks) * probe.track->tick_length_ms();
    const double second_pass_ms = tick_time_ms(length.loop_start_tick, probe.track->tick_length_ms()) + loop_ms;
    const auto sound_at = [](double ms) {
        Rendering rendering = open(1, LoopMode::forever);
        EXPECT_TRUE(quick_seek(*rendering.renderer, ms));
        return std::pair{rendering.renderer->position_frames(), pull(*rendering.renderer, rate)};
    };
    const double inside_ms = second_pass_ms + 0.37 * loop_ms;
    const auto [near_position, near_sound] = sound_at(inside_ms);
    const double later_ms = inside_ms + 1000.0 * loop_ms;
    const auto [later_position, later_sound] = sound_at(later_ms);
    EXPECT_EQ(later_position, frame_at_ms(later_ms, rate));
    EXPECT_EQ(later_sound, near_sound);

    const auto [far_position, far_sound] = sound_at(1e17);
    EXPECT_EQ(far_position, frame_at_ms(1e17, rate));
    EXPECT_EQ(far_sound, sound_at(second_pass_ms + std::fmod(1e17 - second_pass_ms, loop_ms)).second);
    EXPECT_NE(far_sound, sound_at(0.0).second);
    // Beyond the last frame a time names the last frame.
    const auto [endless_position, endless_sound] = sound_at(std::numeric_limits<double>::infinity());
    EXPECT_EQ(endless_position, static_cast<std::uint64_t>(last_frame));
    EXPECT_EQ(endless_sound, sound_at(1e300).second);
}

TEST_F(TrackFarSeek, ForeverWithoutARepeatGoesNoFurtherThanTheBound)
{
    ASSERT_NE(set_, nullptr);
    Rendering rendering = open(4, LoopMode::forever);
    if (!rendering.synth)
        GTEST_SKIP() << "no SoundFont";
    ASSERT_TRUE(rendering.track->length().cycles_differ);
    EXPECT_TRUE(quick_seek(*rendering.renderer, 1e17));
    EXPECT_EQ(rendering.renderer->position_frames(), frame_at_ms(max_unrepeating_seek_ms, rate));
    EXPECT_EQ(pull(*rendering.renderer, 100).size(), 200u);
}

// The call that reaches a seamless loop renders a whole pass first, so a
// loop longer than the bound is rendered as in fade mode.
TEST_F(TrackFarSeek, SeamlessTakesNoLoopLongerThanItsBound)
{
    ASSERT_NE(set_, nullptr);
    Rendering rendering = open(3, LoopMode::seamless);
    if (!rendering.synth)
        GTEST_SKIP() << "no SoundFont";
    EXPECT_GT(static_cast<double>(rendering.track->length().loop_ticks) * rendering.track->tick_length_ms(),
              RenderSettings{}.longest_seamless_loop_ms);
    EXPECT_FALSE(rendering.renderer->seamless_loop());
    EXPECT_TRUE(open(1, LoopMode::seamless).renderer->seamless_loop());
}

// A seamless rendering goes on from the intro's end at the latest, and is not
// rendered from the start up to the target.
TEST_F(TrackFarSeek, SeamlessSeeksPastALongIntroQuickly)
{
    ASSERT_NE(set_, nullptr);
    Rendering rendering = open(5, LoopMode::seamless);
    if (!rendering.synth)
        GTEST_SKIP() << "no SoundFont";
    TrackRenderer& renderer = *rendering.renderer;
    const auto loop = renderer.seamless_loop();
    ASSERT_TRUE(loop);
    ASSERT_GT(loop->start_frame, 2 * 3600 * rate);
    for (const std::int64_t frame : {loop->start_frame - rate, loop->start_frame + loop->length_frames / 2}) {
        SCOPED_TRACE(frame);
        EXPECT_TRUE(quick_seek(renderer, static_cast<double>(frame) * 1000.0 / rate));
        EXPECT_EQ(renderer.position_frames(), static_cast<std::uint64_t>(frame));
        const auto begun = std::chrono::steady_clock::now();
        EXPECT_EQ(pull(renderer, rate).size(), 2u * rate);
        EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(1));
    }
}

// Within the kept pass a seek goes on where the rendering from the start
// is: the next note starts on the same block. (A seek's new synthesizer
// does not sound bit for bit as one that has played since the start.)
TEST_F(TrackFarSeek, SeamlessSeekIntoTheLoopGoesOnWhereTheRenderingIs)
{
    ASSERT_NE(set_, nullptr);
    Rendering played = open(1, LoopMode::seamless);
    if (!played.synth)
        GTEST_SKIP() << "no SoundFont";
    Rendering sought = open(1, LoopMode::seamless);
    const auto loop = played.renderer->seamless_loop();
    ASSERT_TRUE(loop);
    // Half way through the rest, long after the notes before it rang out.
    const auto target = static_cast<std::size_t>(loop->start_frame + loop->length_frames * 6 / 13);
    pull(*played.renderer, target);
    ASSERT_TRUE(sought.renderer->seek(static_cast<double>(target) * 1000.0 / rate));
    const auto onset = [](const std::vector<float>& frames) {
        std::size_t at = 0;
        while (at < frames.size() && std::fabs(frames[at]) < 1e-3f)
            ++at;
        return static_cast<long>(at / 2);
    };
    const auto expected = pull(*played.renderer, 5 * rate);
    const auto got = pull(*sought.renderer, 5 * rate);
    ASSERT_LT(onset(expected), 4 * rate);
    EXPECT_LE(std::labs(onset(got) - onset(expected)), 64);
}

}  // namespace
}  // namespace tambelo
