#include "library/voice_fallback.h"

#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;
using testing::Voice;
using testing::VoiceSetBuilder;

// A General MIDI SoundFont with a few bank-8 variations, as FluidR3_GM, and
// a GS supplement holding sound effects in other banks, as FluidR3_GS.
const std::vector<PresetNumber> gm_like = {{0, 0}, {0, 25}, {0, 122}, {8, 25}, {128, 0}};
const std::vector<PresetNumber> gs_like = {{1, 122}, {128, 56}};

// The voices a track asks for are those its program changes select, in the
// bank its bank selects chose, on the channels it plays them: start voices
// on channels 3 to 5, numbered ones on the channel of the track that picks
// them; a drum voice selects a kit by its note map and asks for nothing.
TEST(VoiceFallbacks, NameTheVoicesOfATrackThatNoSoundFontHasAndWhatPlaysInstead)
{
    ScoreBuilder score;
    score.channel(0, {score.add(Phrase().voice(1).note(1, 8).voice(2).note(1, 8).voice(3).note(1, 8))});
    score.channel(6, {score.add(Phrase().voice(4).note(1, 8))});
    score.channel(3, {score.add(Phrase().note(1, 8))});
    const auto voices = VoiceSetBuilder()
                            .start_voice(0, Voice{8, 25})      // in the General MIDI SoundFont
                            .numbered(1, Voice{8, 0})          // a bank it lacks: plays bank 0's program 0
                            .numbered(2, Voice{1, 122})        // only the supplement has it
                            .numbered(3, Voice{16, 48})        // nowhere, nor its program in bank 0
                            .numbered(4, Voice{255 - 2, 0});   // a drum kit
    TempDir folder;
    const auto set = testing::write_music_set(folder, {score.build()}, {voices.build()});
    const auto track = FrozenClockSequencer::open_set_track(set.score, set.voice, 1);
    ASSERT_TRUE(track);
    const std::vector<AskedVoice> asked = track_voices(*track);
    ASSERT_EQ(asked.size(), 4u + 2u);  // the other start voices are bank 0's program 0
    EXPECT_NE(std::find(asked.begin(), asked.end(), AskedVoice{3, {8, 25}}), asked.end());
    EXPECT_NE(std::find(asked.begin(), asked.end(), AskedVoice{0, {1, 122}}), asked.end());
    for (const AskedVoice& voice : asked)
        EXPECT_NE(voice.channel, 9) << "a drum voice sent a program change";

    const std::vector<std::vector<PresetNumber>> gm_alone = {gm_like};
    std::vector<std::string> texts;
    for (const VoiceFallback& fallback : voice_fallbacks(asked, gm_alone))
        texts.push_back(describe(fallback));
    EXPECT_EQ(texts, (std::vector<std::string>{"ch0 bank 8 program 0 → bank 0 program 0",
                                               "ch0 bank 1 program 122 → bank 0 program 122",
                                               "ch0 bank 16 program 48 → bank 0 program 0"}));

    const std::vector<std::vector<PresetNumber>> stacked = {gm_like, gs_like};
    texts.clear();
    for (const VoiceFallback& fallback : voice_fallbacks(asked, stacked))
        texts.push_back(describe(fallback));
    EXPECT_EQ(texts, (std::vector<std::string>{"ch0 bank 8 program 0 → bank 0 program 0",
                                               "ch0 bank 16 program 48 → bank 0 program 0"}));

    // Without bank 0's program 0 to fall back on a voice is silent; drum
    // kits fall back to kit 0; with no SoundFont at all nothing is said.
    const std::vector<std::vector<PresetNumber>> effects_only = {gs_like};
    const std::vector<AskedVoice> odd = {{2, {16, 48}}, {9, {128, 57}}};
    const auto fallbacks = voice_fallbacks(odd, effects_only);
    ASSERT_EQ(fallbacks.size(), 2u);
    EXPECT_EQ(describe(fallbacks[0]), "ch2 bank 16 program 48 → silent");
    EXPECT_FALSE(fallbacks[1].played);
    EXPECT_TRUE(voice_fallbacks(odd, {}).empty());
}

}  // namespace
}  // namespace tambelo
