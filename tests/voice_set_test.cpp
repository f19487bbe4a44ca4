#include "library/player.h"
#include "library/voice_set.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace tambelo {
namespace {

using testing::Voice;
using testing::VoiceSetBuilder;

using Values = std::vector<int>;

// A voice's seven values, in file order, for comparisons.
Values values(const VoiceEntry& v)
{
    return {v.bank, v.program, v.volume, v.reverb, v.chorus, v.key_offset, v.pan};
}

Values values(const Voice& v)
{
    return {v.bank, v.program, v.volume, v.reverb, v.chorus, v.key_offset, v.pan};
}

const Values default_voice{0, 0, 100, 40, 40, 64, 64};

class VoiceSetTest : public ::testing::Test {
protected:
    PlayerHandle owner{create_player(PlayerServices{}, false)};
    Player& player = *owner;

    void load(const std::vector<std::uint8_t>& bytes) { load_voice_set_bytes(player, bytes); }

    // Leaves a previous track's voices everywhere, so that a reset shows.
    void dirty()
    {
        for (VoiceEntry& voice : player.voice_table)
            voice = VoiceEntry{1, 2, 3, 4, 5, 6, 7};
        player.drum_map.fill(99);
        player.tempo_base = 3;
    }

    int changed_voices() const
    {
        int count = 0;
        for (const VoiceEntry& voice : player.voice_table)
            count += values(voice) == default_voice ? 0 : 1;
        return count;
    }

    int changed_drums() const
    {
        int count = 0;
        for (const std::int32_t note : player.drum_map)
            count += note == 35 ? 0 : 1;
        return count;
    }
};

const Voice piano{0, 1, 110, 20, 10, 64, 30};
const Voice strings{8, 49, 90, 60, 0, 52, 100};
const Voice drums{255, 0, 127, 0, 0, 64, 64};
const Voice bass{0, 33, 100, 0, 0, 76, 64};

TEST_F(VoiceSetTest, WorkedLayoutFillsStartVoicesNumberedVoicesAndDrumMap)
{
    const auto bytes = VoiceSetBuilder()
                           .tempo_base(72)
                           .start_voice(0, piano)
                           .start_voice(1, strings)
                           .start_voice(2, drums)
                           .numbered(5, bass)
                           .numbered(255, piano)
                           .drum(0, 23, 36)
                           .drum(1, 0, 40)
                           .build();
    ASSERT_EQ(bytes.size(), 71u);  // initial records at 27, 34, 41; numbered at 48 and 56; count at 64
    EXPECT_EQ(bytes[48], 5);
    EXPECT_EQ(bytes[56], 255);
    EXPECT_EQ(bytes[64], 2);

    dirty();
    load(bytes);
    EXPECT_EQ(player.tempo_base, 72);
    EXPECT_EQ(values(player.voice_table[256]), values(piano));
    EXPECT_EQ(values(player.voice_table[257]), values(strings));
    EXPECT_EQ(values(player.voice_table[258]), values(drums));
    EXPECT_EQ(values(player.voice_table[5]), values(bass));
    EXPECT_EQ(values(player.voice_table[255]), values(piano));
    EXPECT_EQ(values(player.voice_table[4]), default_voice);
    EXPECT_EQ(changed_voices(), 5);
    EXPECT_EQ(player.drum_map[35], 36);  // key 23 serves stream note 35
    EXPECT_EQ(player.drum_map[128 + 12], 40);
    EXPECT_EQ(changed_drums(), 2);
}

TEST_F(VoiceSetTest, NothingOfThePreviousTrackSurvives)
{
    dirty();
    load({});
    EXPECT_EQ(player.tempo_base, 64);
    EXPECT_EQ(changed_voices(), 0);
    EXPECT_EQ(changed_drums(), 0);

    dirty();
    load_voice_set(player, 1);  // no archive at all
    EXPECT_EQ(player.tempo_base, 64);
    EXPECT_EQ(changed_voices(), 0);
    EXPECT_EQ(changed_drums(), 0);
}

TEST_F(VoiceSetTest, LaterRecordsForTheSameVoiceWin)
{
    load(VoiceSetBuilder().numbered(9, piano).numbered(9, strings).build());
    EXPECT_EQ(values(player.voice_table[9]), values(strings));
    EXPECT_EQ(changed_voices(), 1);
}

TEST_F(VoiceSetTest, RecordSizeSetsOnlyTheDistanceBetweenRecords)
{
    load(VoiceSetBuilder().record_size(10).start_voice(2, strings).numbered(3, bass).drum(2, 50, 44).build());
    EXPECT_EQ(values(player.voice_table[258]), values(strings));
    EXPECT_EQ(values(player.voice_table[3]), values(bass));
    EXPECT_EQ(player.drum_map[2 * 128 + 62], 44);

    // Records of 3 bytes overlap: each takes seven bytes from its own start.
    const Voice a{1, 2, 3, 4, 5, 6, 7};
    const Voice b{11, 12, 13, 4, 5, 6, 7};
    const Voice c{21, 22, 23, 4, 5, 6, 7};
    load(VoiceSetBuilder().record_size(3).start_voice(0, a).start_voice(1, b).start_voice(2, c).numbered(7, a).build());
    EXPECT_EQ(values(player.voice_table[256]), (Values{1, 2, 3, 11, 12, 13, 21}));
    EXPECT_EQ(values(player.voice_table[257]), (Values{11, 12, 13, 21, 22, 23, 7}));
    // The last start record runs into the numbered record's index and values.
    EXPECT_EQ(values(player.voice_table[258]), (Values{21, 22, 23, 7, 1, 2, 3}));
    // The numbered record is the last piece and lacks four of its bytes.
    EXPECT_EQ(values(player.voice_table[7]), default_voice);
}

TEST_F(VoiceSetTest, DrumMapSection)
{
    // Without the flag whatever follows the records is not read.
    auto bytes = VoiceSetBuilder().numbered(1, piano).build();
    bytes.insert(bytes.end(), {1, 0, 30, 50});
    load(bytes);
    EXPECT_EQ(changed_drums(), 0);

    // With the flag and no numbered record the count follows the start voices.
    load(VoiceSetBuilder().drum_section().build());
    EXPECT_EQ(changed_drums(), 0);
    load(VoiceSetBuilder().drum(7, 115, 81).drum(0, 116, 82).drum(6, 127, 83).build());
    EXPECT_EQ(player.drum_map[1023], 81);
    EXPECT_EQ(player.drum_map[128], 82);  // the top keys of a kit reach into the next one
    EXPECT_EQ(player.drum_map[7 * 128 + 11], 83);
    EXPECT_EQ(changed_drums(), 3);
}

TEST_F(VoiceSetTest, TriplesBeyondTheDrumMapAreIgnoredAndNothingElseIsWritten)
{
    player.tempo = 77;
    load(VoiceSetBuilder().drum(7, 116, 60).drum(8, 0, 61).drum(255, 255, 62).drum(3, 4, 63).build());
    EXPECT_EQ(player.drum_map[3 * 128 + 16], 63);
    EXPECT_EQ(changed_drums(), 1);
    EXPECT_EQ(player.tempo, 77);
}

TEST_F(VoiceSetTest, AShortEntryKeepsWhatWasReadBeforeTheFirstIncompletePiece)
{
    const auto full = VoiceSetBuilder()
                          .tempo_base(80)
                          .start_voice(0, piano)
                          .start_voice(1, strings)
                          .start_voice(2, drums)
                          .numbered(5, bass)
                          .drum(0, 30, 50)
                          .drum(1, 30, 51)
                          .build();
    ASSERT_EQ(full.size(), 27u + 21 + 8 + 1 + 6);
    struct Cut {
        std::size_t size;
        int tempo_base, voices, drums;
    };
    const Cut cuts[] = {
        {7, 64, 0, 0},  {8, 80, 0, 0},  {26, 80, 0, 0}, {33, 80, 0, 0}, {34, 80, 1, 0},
        {47, 80, 2, 0}, {48, 80, 3, 0}, {55, 80, 3, 0}, {56, 80, 4, 0}, {59, 80, 4, 0},
        {60, 80, 4, 1}, {62, 80, 4, 1}, {63, 80, 4, 2},
    };
    for (const Cut& cut : cuts) {
        dirty();
        load(std::vector<std::uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut.size)));
        EXPECT_EQ(player.tempo_base, cut.tempo_base) << "cut at " << cut.size;
        EXPECT_EQ(changed_voices(), cut.voices) << "cut at " << cut.size;
        EXPECT_EQ(changed_drums(), cut.drums) << "cut at " << cut.size;
    }
}

}  // namespace
}  // namespace tambelo
