// Audio exports through the command-line tool: the same command gives the
// same bytes, a SoundFont that cannot be used stops it, and an interrupted
// export leaves no unfinished files. They need a SoundFont installed.
#include "library/midi/fluid_synth_setup.h"
#include "tests/support/cli_runner.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

extern char** environ;

namespace tambelo {
namespace {

using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;

std::map<std::string, std::string> files_in(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(file), {});
    }
    return files;
}

class CliAudioExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (soundfont_candidates().empty())
            GTEST_SKIP() << "no SoundFont installed";
        // Four looping tracks with chords, so that effects and voices are busy.
        std::vector<std::vector<std::uint8_t>> scores;
        for (int track = 0; track < 4; ++track) {
            ScoreBuilder score;
            score.channel(0, {score.add(Phrase().note(1 + track, 24).note(5 + track, 12).note(3, 36))});
            score.channel(1, {score.add(Phrase().note(8 + track, 48))});
            scores.push_back(score.build());
        }
        const auto voices = testing::VoiceSetBuilder().build();
        set_ = testing::write_music_set(folder_, scores, {voices, voices, voices, voices}).score;
    }

    testing::CliRun run_export(const std::vector<std::string>& extra)
    {
        std::vector<std::string> arguments = {"export", set_};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return testing::run_program(TAMBELO_CLI, arguments);
    }

    TempDir folder_;
    std::string set_;
};

TEST_F(CliAudioExport, TheSameExportOnSeveralJobsGivesTheSameBytes)
{
    for (const std::string format : {"wav", "ogg"}) {
        std::map<std::string, std::string> first;
        for (const std::string run : {"a", "b"}) {
            const auto out = folder_.path() / (format + run);
            const auto result =
                run_export({"--format", format, "--jobs", "2", "--loops", "1", "--fade", "0.5", "-o", out.string()});
            ASSERT_EQ(result.status, 0) << result.err;
            if (first.empty())
                first = files_in(out);
            else
                EXPECT_TRUE(files_in(out) == first) << format << " files differ between two exports";
        }
        EXPECT_EQ(first.size(), 4u);
    }
}

TEST_F(CliAudioExport, ASoundFontThatCannotBeLoadedFailsTheExport)
{
    const auto out = folder_.path() / "out";
    for (const std::string& contents : {std::string("not a SoundFont at all"), std::string()}) {
        const std::string soundfont = (folder_.path() / "chosen.sf2").string();
        std::ofstream(soundfont, std::ios::binary | std::ios::trunc) << contents;
        const auto result = run_export({"--format", "wav", "--soundfont", soundfont, "-o", out.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "tambelo-cli: " + soundfont + " is not a SoundFont that can be loaded\n");
        EXPECT_FALSE(std::filesystem::exists(out) && !std::filesystem::is_empty(out));
    }
}

TEST_F(CliAudioExport, CtrlCRemovesTheUnfinishedFiles)
{
    const auto out = folder_.path() / "out";
    std::filesystem::create_directories(out);
    const std::vector<std::string> words = {TAMBELO_CLI, "export", set_, "--format", "flac", "--jobs", "2",
                                            "--loops", "100", "--fade", "600", "-o", out.string()};
    std::vector<char*> argv;
    for (const auto& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TAMBELO_CLI, nullptr, nullptr, argv.data(), environ), 0);

    // Interrupt once the files are being written.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (testing::partial_files_in(out).size() < 2 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(testing::partial_files_in(out).size(), 2u);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_TRUE(std::filesystem::is_empty(out));
}

}  // namespace
}  // namespace tambelo
