#include "cli/authoring/set_packer.h"
#include "library/frozen_clock_sequencer.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

namespace fs = std::filesystem;

// The bundled sample set, packed from its sources. Lengths below are counted
// from those sources at 48 ticks a quarter note; every channel starts after
// the 16 ticks of lead-in that follow the device reset.
class SampleLengths : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new testing::TempDir();
        const PackedSet set = pack_set(fs::path(TAMBELO_SOURCE_DIR) / "samples");
        ASSERT_EQ(write_packed_set(set, folder_->path()), "");
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }

    static std::unique_ptr<FrozenClockSequencer> open(std::int32_t track)
    {
        return FrozenClockSequencer::open_set_track((folder_->path() / "amus.dat").string(),
                                                    (folder_->path() / "amus.mda").string(), track);
    }

    static testing::TempDir* folder_;
};

testing::TempDir* SampleLengths::folder_ = nullptr;

TEST_F(SampleLengths, OdeToJoyLoopsSixteenBarsAfterTwoBarsOfLeadIn)
{
    auto track = open(1);
    ASSERT_TRUE(track);
    // Lead-in "r1 r1": 2 x 192 ticks; the theme: 16 bars of 192.
    EXPECT_EQ(track->length(), (TrackLength{TrackLength::Kind::loops, 0, 16 + 384, 16 * 192}));
    // t116 is stored as tempo value 105: ticks of 1136.36.../105 ms.
    EXPECT_NEAR(tick_time_ms(track->length().loop_start_tick, track->tick_length_ms()), 4318.2, 0.1);
}

TEST_F(SampleLengths, FurEliseEndsAfterItsTwoThemesInBothHands)
{
    auto track = open(6);
    ASSERT_TRUE(track);
    // Right hand: start 24, theme 7 x 72, turn 72, theme 504, end 72 = 1176.
    EXPECT_EQ(track->length(), (TrackLength{TrackLength::Kind::ends, 16 + 1176}));
    EXPECT_NEAR(tick_time_ms(track->length().end_tick, track->tick_length_ms()), 20821.7, 0.1);
}

}  // namespace
}  // namespace tambelo
