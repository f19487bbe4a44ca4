#include "cli/export/set_export.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tambelo {
namespace {

using testing::Phrase;
using testing::ScoreBuilder;

std::vector<std::uint8_t> score_of(const Phrase& phrase)
{
    ScoreBuilder score;
    score.channel(0, {score.add(phrase)});
    return score.build();
}

TEST(SetExport, TracksThatFailAreSkippedWithTheirReasonsAndTheOthersWritten)
{
    testing::TempDir folder;
    Phrase endless;  // about 3.2 hours of one note, then the end
    for (int i = 0; i < 10; ++i)
        endless.note_word(1, 65535).tie();
    endless.no_loop();
    const auto voices = testing::VoiceSetBuilder().build();
    const auto paths = testing::write_music_set(
        folder,
        {score_of(Phrase().note(1, 48).no_loop()), {9, 9, 9}, score_of(endless), score_of(Phrase().note(5, 24))},
        {voices, voices, voices, voices});

    std::vector<TrackJob> jobs;
    for (std::int32_t track = 1; track <= 4; ++track)
        jobs.push_back({{track, "T" + std::to_string(track), ""},
                        (folder.path() / ("t" + std::to_string(track) + ".mid")).string()});
    int reported = 0;
    const auto outcomes = export_tracks(paths.score, paths.voice, jobs, ExportSettings{}, 3,
                                        [&reported](const TrackOutcome&) { ++reported; });
    EXPECT_EQ(reported, 4);
    ASSERT_EQ(outcomes.size(), 4u);
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        EXPECT_EQ(outcomes[i].label.track, static_cast<std::int32_t>(i + 1));
    EXPECT_TRUE(outcomes[0].written);
    EXPECT_EQ(outcomes[1].reason, "does not compile");
    EXPECT_EQ(outcomes[2].reason, "would play for more than 3 hours");
    EXPECT_TRUE(outcomes[3].written);
    EXPECT_FALSE(outcomes[1].written || outcomes[2].written);
    for (const char* name : {"t1.mid", "t4.mid"})
        EXPECT_TRUE(std::filesystem::exists(folder.path() / name)) << name;
    for (const char* name : {"t2.mid", "t3.mid"})
        EXPECT_FALSE(std::filesystem::exists(folder.path() / name)) << name;
    EXPECT_TRUE(testing::partial_files_in(folder.path()).empty());
    // Track 1 ends after 16 + 48 ticks; track 4 plays its 24-tick loop twice.
    const double tick_ms = 1136.364583333333257542108185589313507080078125 / 64.0;
    EXPECT_NEAR(outcomes[0].audio_ms, 63 * tick_ms, 1e-6);
    EXPECT_NEAR(outcomes[3].audio_ms, (15 + 48) * tick_ms, 1e-6);
}

}  // namespace
}  // namespace tambelo
