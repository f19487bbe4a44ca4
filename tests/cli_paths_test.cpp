// Paths the file system refuses or that name something other than a file,
// given to every command that reads a music set.
#include "tests/support/cli_runner.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace tambelo {
namespace {

using testing::CliRun;
using testing::TempDir;

// A program that would block on a pipe is stopped after a while instead of
// hanging the test run; it then shows as status 124.
CliRun run_cli(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {"10", TAMBELO_CLI});
    return testing::run_program("timeout", arguments);
}

// Every command that reads a set, with `set` in its place.
std::vector<std::vector<std::string>> commands_reading(const std::string& set, const std::string& out_folder)
{
    return {{"list", set},         {"export", set, "-o", out_folder}, {"dump", set, "1"},
            {"trace", set, "1"},   {"play", set, "1", "--output", "none", "--for", "0.1"}};
}

void expect_one_line_failure(const std::vector<std::string>& arguments, const std::string& cause)
{
    const CliRun run = run_cli(arguments);
    const std::string shown = arguments[0] + " " + arguments[1].substr(0, 80);
    EXPECT_EQ(run.status, 1) << shown << "\n" << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << "\n" << run.err;
    EXPECT_NE(run.err.find(cause), std::string::npos) << shown << "\n" << run.err;
    EXPECT_LT(run.err.size(), 400u) << shown;
}

class CliPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing::ScoreBuilder score;
        score.channel(0, {score.add(testing::Phrase().note_default(1))});
        set_ = testing::write_music_set(folder_, {score.build()}, {testing::VoiceSetBuilder().build()}).score;
    }

    std::string path(const std::string& name) const { return (folder_.path() / name).string(); }

    TempDir folder_;
    std::string set_;
};

TEST_F(CliPaths, RefusedPathsAndThingsThatAreNotFilesAreNamedForWhatTheyAre)
{
    const std::string out = path("out");
    std::filesystem::create_symlink("loop", path("loop"));
    std::filesystem::create_directory(path("folder.dat"));
    ASSERT_EQ(mkfifo(path("pipe.dat").c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string(10000, 'a') + ".dat", "File name too long"},
        {path("loop"), "Too many levels of symbolic links"},
        {path("folder.dat"), "is a folder"},
        {path("pipe.dat"), "is a named pipe"},
        {"/dev/zero", "is a device"},
        // Named as written: no doubled backslash, no escapes for a kanji.
        {path("\\\xE6\x9B\xB2.dat"), path("\\\xE6\x9B\xB2.dat")},
    };
    for (const auto& [bad, cause] : cases)
        for (const auto& command : commands_reading(bad, out))
            expect_one_line_failure(command, cause);
}

TEST_F(CliPaths, AVoiceArchiveThatIsNoFileIsNamedInsteadOfBlockingOrIgnored)
{
    std::filesystem::remove(path("amus.mda"));
    ASSERT_EQ(mkfifo(path("amus.mda").c_str(), 0600), 0);
    for (const auto& command : commands_reading(set_, path("out")))
        expect_one_line_failure(command, "amus.mda is a named pipe");
}

TEST_F(CliPaths, AnUnreadableSetIsReportedAsSuchAndWhatIsNotASetIsNamedSo)
{
    std::filesystem::permissions(set_, std::filesystem::perms::none);
    if (geteuid() != 0) {  // permissions do not hold back the superuser
        for (const auto& command : commands_reading(set_, path("out")))
            expect_one_line_failure(command, "permission denied");
    }

    // A table without tracks, and text: neither is a music set, for any command.
    const std::string empty = testing::write_music_set(folder_, {}, {}, "empty").score;
    const std::string text = path("notes.dat");
    std::ofstream(text) << "root:x:0:0:root:/root:/bin/bash\n";
    for (const std::string& file : {empty, text})
        for (const auto& command : commands_reading(file, path("out")))
            expect_one_line_failure(command, "is not a music set: it does not start with a score archive's track table");
}

}  // namespace
}  // namespace tambelo
