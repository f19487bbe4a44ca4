#include "tests/support/cli_runner.h"
#include "tests/support/message_texts.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;
using Lines = std::vector<std::string>;

struct ToolRun {
    int status = -1;
    Lines out;
    std::string error;
};

ToolRun run_tool(const TempDir&, const std::string& arguments)
{
    const CliRun result = run_program(TAMBELO_CLI, split_words(arguments));
    return {result.status, result.out_lines(), result.first_err_line()};
}

// "267 90 3C 78" for each message text.
Lines at(int ms, const Lines& texts)
{
    Lines lines;
    for (const std::string& text : texts)
        lines.push_back(std::to_string(ms) + " " + text);
    return lines;
}

Lines operator+(Lines lines, const Lines& more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

class TraceCommandTest : public ::testing::Test {
protected:
    TempDir folder;
    MusicSetPaths set;

    void SetUp() override
    {
        // One note of 48 ticks (sounding 42, silent 6) in voice 1, then the
        // track ends instead of looping.
        ScoreBuilder score;
        score.channel(0, {score.add(Phrase().voice(1).note(1, 48).no_loop())});
        const auto voices = VoiceSetBuilder().numbered(1, Voice{0, 5, 100, 40, 40, 64, 64}).build();
        set = write_music_set(folder, {score.build()}, {voices});
    }

    std::string trace(const std::string& options) { return "trace " + set.score + " 1 " + options; }
};

const Lines voice_one_and_note = {"B0 00 00", "B0 20 00", "C0 05", "B0 07 64",
                                  "B0 5B 28", "B0 5D 28", "B0 0A 40", "90 3C 78"};

TEST_F(TraceCommandTest, PrintsEveryMessageWithItsMillisecondUntilThePlayerIsIdleAgain)
{
    const ToolRun run = run_tool(folder, trace(""));
    EXPECT_EQ(run.status, 0) << run.error;
    // Ticks last 17.7557 ms: tick 16 falls due at 266.3 ms, tick 58 at
    // 1012.1 ms and tick 64, where the track ends, at 1118.6 ms; the pass
    // after it silences once more and leaves the player idle.
    EXPECT_EQ(run.out, at(0, silence_texts()) + at(0, reset_texts_with_default_voices()) +
                           at(267, voice_one_and_note) + at(1013, {"90 3C 00"}) +
                           at(1119, silence_texts()) + at(1129, silence_texts()));
}

TEST_F(TraceCommandTest, AMutedChannelSendsItsVoiceButNotItsNotesAndEndsOnTime)
{
    const Lines voice_one(voice_one_and_note.begin(), voice_one_and_note.end() - 1);
    for (const std::string options : {"--mute 0", "--solo 1,2"}) {
        const ToolRun run = run_tool(folder, trace(options));
        EXPECT_EQ(run.status, 0) << run.error;
        EXPECT_EQ(run.out, at(0, silence_texts()) + at(0, reset_texts_with_default_voices()) + at(267, voice_one) +
                               at(1119, silence_texts()) + at(1129, silence_texts()))
            << options;
    }
}

TEST_F(TraceCommandTest, FixedPollingSendsTheSameMessagesOnTheTenMillisecondGrid)
{
    const ToolRun run = run_tool(folder, trace("--fixed-poll"));
    EXPECT_EQ(run.status, 0) << run.error;
    EXPECT_EQ(run.out, at(0, silence_texts()) + at(0, reset_texts_with_default_voices()) +
                           at(270, voice_one_and_note) + at(1020, {"90 3C 00"}) +
                           at(1120, silence_texts()) + at(1130, silence_texts()));
}

TEST_F(TraceCommandTest, AClockThatWrapsDuringTheTrackChangesNothing)
{
    const ToolRun plain = run_tool(folder, trace(""));
    const ToolRun wrapping = run_tool(folder, trace("--clock-start 4294966700"));
    EXPECT_EQ(wrapping.status, 0) << wrapping.error;
    EXPECT_EQ(wrapping.out, plain.out);
}

TEST_F(TraceCommandTest, RunsOnlyThePassesThatStartWithinTheGivenTime)
{
    const ToolRun run = run_tool(folder, trace("--for-ms 500"));
    EXPECT_EQ(run.status, 0) << run.error;
    EXPECT_EQ(run.out, at(0, silence_texts()) + at(0, reset_texts_with_default_voices()) +
                           at(267, voice_one_and_note));
    EXPECT_TRUE(run_tool(folder, trace("--for-ms 0")).out.empty());
}

TEST_F(TraceCommandTest, ATrackThatIsNotInTheSetShowsTheSilencingPassAndFails)
{
    const ToolRun run = run_tool(folder, "trace " + set.score + " 2");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out, at(0, silence_texts()));
    EXPECT_NE(run.error.find("track 2"), std::string::npos) << run.error;
}

TEST_F(TraceCommandTest, BadArgumentsAreReportedInOneLine)
{
    const ToolRun missing = run_tool(folder, "trace " + (folder.path() / "none.dat").string() + " 1");
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.error.find("no such file"), std::string::npos) << missing.error;
    EXPECT_TRUE(missing.out.empty());

    const ToolRun zero = run_tool(folder, "trace " + set.score + " 0");
    EXPECT_NE(zero.status, 0);
    EXPECT_NE(zero.error.find("track numbers start at 1"), std::string::npos) << zero.error;

    const ToolRun voices = run_tool(folder, trace("--voices " + (folder.path() / "none.mda").string()));
    EXPECT_NE(voices.status, 0);
    EXPECT_NE(voices.error.find("none.mda"), std::string::npos) << voices.error;

    EXPECT_NE(run_tool(folder, trace("--clock-start 4294967296")).status, 0);
}

}  // namespace
}  // namespace tambelo
