#include "tests/support/cli_runner.h"
#include "tests/support/midi_file_reader.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tambelo {
namespace {

using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;

using ExportRun = testing::CliRun;

ExportRun run_cli(const std::vector<std::string>& arguments)
{
    return testing::run_program(TAMBELO_CLI, arguments);
}

std::vector<std::uint8_t> looping_score(int step)
{
    ScoreBuilder score;
    score.channel(0, {score.add(Phrase().note(step, 48).note(step + 2, 24))});
    return score.build();
}

// Three tracks, the second of which is no score at all, with a title list
// whose first track title holds a slash and a control character.
class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto voices = testing::VoiceSetBuilder().build();
        paths_ = testing::write_music_set(folder_, {looping_score(1), {1, 2, 3}, looping_score(5)},
                                          {voices, voices, voices});
        std::ofstream titles(folder_.path() / "amus.txt", std::ios::binary);
        titles << "0 My Game\r\n1 Intro/Theme\x07\r\n2 Broken\r\n3 Finale\r\n";
    }

    std::vector<std::string> files_in(const std::filesystem::path& folder) const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir folder_;
    testing::MusicSetPaths paths_;
};

TEST_F(ExportCommand, AFailingTrackIsSkippedWithItsReasonAndTheOthersAreWritten)
{
    const auto out = folder_.path() / "out";
    const ExportRun run = run_cli({"export", paths_.score, "-o", out.string(), "--loops", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(files_in(out), (std::vector<std::string>{"01 Intro_Theme_.mid", "03 Finale.mid"}));
    EXPECT_NE(run.out.find("Wrote 2 of 3 tracks"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Skipped track 2 (Broken): does not compile"), std::string::npos) << run.out;

    // The files are whole and carry the titles.
    std::ifstream file(out / "03 Finale.mid", std::ios::binary);
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
    const auto midi = testing::read_midi_file(bytes);
    ASSERT_TRUE(midi);
    EXPECT_EQ(midi->tracks[0][0].text(), "Finale");
    EXPECT_EQ(midi->tracks[0][1].text(), "My Game");
}

TEST_F(ExportCommand, ChosenTracksThatAllWorkEndWithSuccessInTheGameFolder)
{
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    const ExportRun run = run_cli({"export", paths_.score, "1,3"});
    std::filesystem::current_path(here);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(files_in(folder_.path() / "My Game"),
              (std::vector<std::string>{"01 Intro_Theme_.mid", "03 Finale.mid"}));

    EXPECT_NE(run_cli({"export", paths_.score, "4"}).status, 0);
    EXPECT_NE(run_cli({"export", paths_.score, "--format", "mp3"}).status, 0);
}

TEST_F(ExportCommand, ListShowsTitleLinesAndLengths)
{
    const ExportRun run = run_cli({"list", paths_.score});
    EXPECT_EQ(run.status, 0);
    // Track 1: 16 ticks of lead-in, then a 72-tick loop from the start.
    EXPECT_NE(run.out.find("    1  0:00.266 + 0:01.278 loop  1 Intro/Theme"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    2  does not compile          2 Broken"), std::string::npos) << run.out;
}

TEST_F(ExportCommand, TitlesReachMessagesAndFileNamesWithoutTheirControlCharactersOrDirectionControls)
{
    std::ofstream(folder_.path() / "amus.txt", std::ios::binary | std::ios::trunc)
        << "0 My Game\r\n1 One\xC2\x9B" "2J\xE2\x80\xAEgnp.exe\r\n2 Bro\x1B]0;pwned\x07ken\xC2\x85\r\n";
    const auto out = folder_.path() / "out";
    const ExportRun run = run_cli({"export", paths_.score, "1,2", "-o", out.string()});
    EXPECT_EQ(files_in(out), (std::vector<std::string>{"01 One_2J_gnp.exe.mid"}));
    EXPECT_NE(run.out.find("Skipped track 2 (Bro ]0;pwned ken ): does not compile"), std::string::npos) << run.out;
    for (const std::string& text : {run.out, run.err})
        EXPECT_EQ(text.find_first_of("\x1B\x07\x85\x9B"), std::string::npos) << text;
    EXPECT_NE(run_cli({"list", paths_.score}).out.find("1 One 2J<U+202E>gnp.exe"), std::string::npos);
}

TEST_F(ExportCommand, AnotherExportsUnfinishedFileInTheFolderIsLeftAlone)
{
    // An export still writing the same track keeps its temporary file
    // beside the final name; this one must not write into it or move it.
    const auto out = folder_.path() / "out";
    std::filesystem::create_directories(out);
    for (const char* name : {"01 One.mid.partial", "01 One.mid.0123abcd.partial"})
        std::ofstream(out / name) << "the other export's bytes";
    std::ofstream(folder_.path() / "amus.txt", std::ios::binary | std::ios::trunc) << "1 One\r\n";
    const ExportRun run = run_cli({"export", paths_.score, "1", "-o", out.string()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(files_in(out),
              (std::vector<std::string>{"01 One.mid", "01 One.mid.0123abcd.partial", "01 One.mid.partial"}));
    for (const char* name : {"01 One.mid.partial", "01 One.mid.0123abcd.partial"}) {
        std::ifstream file(out / name);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "the other export's bytes") << name;
    }
}

}  // namespace
}  // namespace tambelo
