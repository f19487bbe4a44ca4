#include "tests/support/cli_runner.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tambelo {
namespace {

using testing::Bytes;
using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;
using testing::Voice;
using testing::VoiceSetBuilder;

using testing::CliRun;

// Runs the built command-line tool with `arguments`, collecting its output.
CliRun run_cli(const TempDir&, const std::vector<std::string>& arguments)
{
    return testing::run_program(TAMBELO_CLI, arguments);
}

class CliDumpTest : public ::testing::Test {
protected:
    TempDir folder;
    std::string set_path;

    void SetUp() override
    {
        ScoreBuilder minimal;
        minimal.channel(0, {minimal.add(Phrase().note_default(1))});
        const Bytes not_a_score(64, 7);
        const auto voices = VoiceSetBuilder().tempo_base(70).numbered(3, Voice{0, 25, 90, 10, 20, 52, 30}).drum(0, 23, 36);
        set_path = testing::write_music_set(folder, {minimal.build(), not_a_score}, {voices.build(), voices.build()})
                       .score;
    }

    nlohmann::ordered_json dump(const std::vector<std::string>& arguments)
    {
        const CliRun run = run_cli(folder, arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        return nlohmann::ordered_json::parse(run.out, nullptr, /*allow_exceptions=*/false);
    }

    // A failure: a non-zero status, nothing on stdout, a reason on stderr.
    std::string failure(const std::vector<std::string>& arguments)
    {
        const CliRun run = run_cli(folder, arguments);
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "");
        return run.err;
    }

    // The tool's own failures say what went wrong in one line.
    void expect_one_line_failure(const std::vector<std::string>& arguments, const std::string& reason)
    {
        const std::string err = failure(arguments);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("tambelo-cli: ", 0), 0u) << err;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
    }
};

TEST_F(CliDumpTest, ACompiledTrackShowsItsStreamsTempoAndVoiceSet)
{
    const auto out = dump({"dump", set_path, "1"});
    ASSERT_TRUE(out.is_object());
    std::vector<std::string> keys;
    for (const auto& item : out.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"track", "compiled", "tempo", "streams", "tempo_base", "voices",
                                              "drum_map", "soundfonts", "voice_fallbacks"}));
    EXPECT_EQ(out["track"], 1);
    EXPECT_EQ(out["compiled"], true);
    EXPECT_EQ(out["tempo"], 64);
    ASSERT_EQ(out["streams"].size(), 9u);
    EXPECT_EQ(out["streams"][0], "3c2a00800600ff000000");
    for (int channel = 1; channel < 9; ++channel)
        EXPECT_EQ(out["streams"][channel], "ff000000");

    // The voice archive beside the score archive.
    EXPECT_EQ(out["tempo_base"], 70);
    ASSERT_EQ(out["voices"].size(), 259u);
    EXPECT_EQ(out["voices"][3], nlohmann::ordered_json({0, 25, 90, 10, 20, 52, 30}));
    EXPECT_EQ(out["voices"][258], nlohmann::ordered_json({0, 0, 100, 40, 40, 64, 64}));
    ASSERT_EQ(out["drum_map"].size(), 1024u);
    EXPECT_EQ(out["drum_map"][35], 36);
    EXPECT_EQ(out["drum_map"][36], 35);
}

TEST_F(CliDumpTest, ATrackThatDoesNotCompileHasNoStreamsButItsVoiceSet)
{
    const auto out = dump({"dump", set_path, "2"});
    EXPECT_EQ(out["compiled"], false);
    EXPECT_FALSE(out.contains("streams"));
    EXPECT_EQ(out["tempo"], 64);
    EXPECT_EQ(out["tempo_base"], 70);
}

TEST_F(CliDumpTest, AnotherVoiceArchiveCanBeNamed)
{
    const std::string other =
        testing::write_music_set(folder, {}, {VoiceSetBuilder().tempo_base(90).build()}, "other").voice;
    EXPECT_EQ(dump({"dump", set_path, "1", "--voices", other})["tempo_base"], 90);

    // Without a voice archive the default voices are shown.
    std::filesystem::remove(folder.path() / "amus.mda");
    const CliRun run = run_cli(folder, {"dump", set_path, "1"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(nlohmann::json::parse(run.out)["tempo_base"], 64);
    EXPECT_NE(run.err.find("default voices"), std::string::npos);
}

TEST_F(CliDumpTest, EntriesThatCannotBeReadAreTracksThePlayerFailsAndOnlyLaterNumbersAreErrors)
{
    // Table words 1 to 5: entry 1 is empty (pages 2 to 2), entry 2 is page 2,
    // entry 3 starts beyond the end of the file; word 5 ends the table.
    ScoreBuilder score;
    score.channel(0, {score.add(Phrase().note_default(1))});
    Bytes archive(512, 0);
    const std::uint8_t words[] = {2, 2, 2, 3, 50, 0};
    for (std::size_t i = 0; i < std::size(words); ++i)
        archive[2 * i] = words[i];
    const Bytes compiled = score.build();
    std::copy(compiled.begin(), compiled.end(), archive.begin() + 256);
    const auto voices = VoiceSetBuilder().tempo_base(70).build();
    testing::write_music_set(folder, {{}, {}, {}}, {voices, voices, voices}, "damaged");
    const std::string damaged = folder.write("damaged.dat", archive);

    for (const std::string track : {"1", "3"}) {
        const auto out = dump({"dump", damaged, track});
        EXPECT_EQ(out["compiled"], false) << track;
        EXPECT_EQ(out["tempo_base"], 70) << track;
    }
    EXPECT_EQ(dump({"dump", damaged, "2"})["compiled"], true);
    expect_one_line_failure({"dump", damaged, "4"}, "no track 4 in " + damaged + " (it holds tracks 1 to 3)");
}

TEST_F(CliDumpTest, ErrorsExitWithOneLineOnStderr)
{
    expect_one_line_failure({"dump", (folder.path() / "missing.dat").string(), "1"}, "no such file");
    expect_one_line_failure({"dump", set_path, "3"}, "tracks 1 to 2");
    expect_one_line_failure({"dump", set_path, "0"}, "no track 0");
    expect_one_line_failure({"dump", set_path, "1", "--voices", (folder.path() / "missing.mda").string()},
                            "no such file");
    failure({"dump", set_path, "one"});
    failure({"dump", set_path});
}

}  // namespace
// Every help text fits an 80-column terminal.
TEST(CliHelp, EveryLineFitsEightyColumns)
{
    for (const char* command : {"", "list", "export", "pack", "import", "dump", "trace", "play", "ports"}) {
        std::vector<std::string> arguments = {"--help"};
        if (*command != '\0')
            arguments.insert(arguments.begin(), command);
        const CliRun run = testing::run_program(TAMBELO_CLI, arguments);
        EXPECT_EQ(run.status, 0) << command;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 80u) << command << ": " << line;
    }
}

}  // namespace tambelo
