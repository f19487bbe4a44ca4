// Which files are music sets, and which files belong to one: the library's
// one answer, which every host asks.
#include "cli/authoring/page_archive_writer.h"
#include "tambelo/music_set.h"
#include "tests/support/score_archive_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace tambelo {
namespace {

std::vector<std::uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

ScoreIdentity identify_whole(const std::vector<std::uint8_t>& file)
{
    const std::size_t head = std::min(file.size(), score_identity_head_bytes);
    return identify_score({file.data(), head}, file.size());
}

std::vector<std::uint8_t> three_tracks()
{
    return build_page_archive({std::vector<std::uint8_t>(300, 1), std::vector<std::uint8_t>(10, 2),
                               std::vector<std::uint8_t>(600, 3)});
}

TEST(ScoreIdentity, OnlyATrackTableMakesASet)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> file;
        std::int32_t tracks;
    };
    std::vector<Case> cases = {
        {"nothing", {}, 0},
        {"one byte", {2}, 0},
        {"a text file", bytes_of("root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1::/usr/sbin:/bin/sh\n"), 0},
        {"0xff throughout", std::vector<std::uint8_t>(8192, 0xff), 0},
        {"zeros throughout", std::vector<std::uint8_t>(8192, 0), 0},
        {"the smallest set", bytes_of(testing::one_track_score_archive()), 1},
        {"three tracks", three_tracks(), 3},
    };
    // A table whose words go down, and one without its closing zero word.
    std::vector<std::uint8_t> falling = three_tracks();
    falling[4] = 1;
    cases.push_back({"a table that goes down", falling, 0});
    std::vector<std::uint8_t> unended(512, 0);
    for (std::size_t word = 0; word < 128; ++word)
        unended[2 * word] = 2;
    cases.push_back({"a table without its end", unended, 0});
    std::mt19937 random(32);
    for (const std::size_t size : {64u, 4096u, 1u << 20}) {
        std::vector<std::uint8_t> noise(size);
        for (auto& byte : noise)
            byte = static_cast<std::uint8_t>(random());
        cases.push_back({"random bytes", noise, 0});
    }
    for (const Case& test : cases) {
        const ScoreIdentity identity = identify_whole(test.file);
        EXPECT_EQ(identity.tracks, test.tracks) << test.what;
        EXPECT_EQ(identity.intact, test.tracks) << test.what;
    }
}

TEST(ScoreIdentity, ASetCutShortKeepsTheTracksThatStartBeforeTheCut)
{
    const std::vector<std::uint8_t> whole = three_tracks();
    // Table (1 page), track 1 (2 pages), track 2 (1 page), track 3.
    for (const auto& [size, intact] : std::vector<std::pair<std::size_t, std::int32_t>>{
             {256, 0}, {300, 1}, {768, 1}, {769, 2}, {1024, 2}, {1025, 3}}) {
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        const ScoreIdentity identity = identify_whole(cut);
        EXPECT_EQ(identity.tracks, 3) << size;
        EXPECT_EQ(identity.intact, intact) << size;
    }
    // Cut inside its table, it is not a set.
    EXPECT_FALSE(identify_whole({whole.begin(), whole.begin() + 100}).is_set());
}

TEST(SetFiles, TheVoicesAndTitlesHaveTheScoresNameInAnyCase)
{
    testing::TempDir folder;
    const auto touch = [&](const std::string& name) { std::ofstream(folder.path() / name) << "x"; };
    // None there: the lower-case names.
    SetFiles files = set_files_of(folder.path() / "AMUS.DAT");
    EXPECT_EQ(files.voices, folder.path() / "AMUS.mda");
    EXPECT_EQ(files.titles, folder.path() / "AMUS.txt");
    touch("AMUS.MDA");
    touch("AMUS.Txt");
    // Compared as files: on Windows, whose names ignore case, the name found
    // may be spelt as asked.
    const auto same = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        std::error_code error;
        return std::filesystem::equivalent(a, b, error);
    };
    files = set_files_of(folder.path() / "AMUS.DAT");
    EXPECT_TRUE(same(files.voices, folder.path() / "AMUS.MDA"));
    EXPECT_TRUE(same(files.titles, folder.path() / "AMUS.Txt"));
    // The base name is the score's exactly; the lower case wins over others.
    touch("amus.mda");
    EXPECT_TRUE(same(set_files_of(folder.path() / "amus.dat").voices, folder.path() / "amus.mda"));
    EXPECT_TRUE(same(set_files_of(folder.path() / "AMUS.DAT").voices, folder.path() / "AMUS.MDA"));
    EXPECT_TRUE(same(set_files_of_utf8((folder.path() / "AMUS.DAT").string()).titles, folder.path() / "AMUS.Txt"));
    // The score archive itself, found in any case.
    touch("Amus.Dat");
    const auto found = find_in_any_case(folder.path(), "amus.dat");
    ASSERT_TRUE(found);
    EXPECT_TRUE(same(*found, folder.path() / "Amus.Dat"));
    EXPECT_FALSE(find_in_any_case(folder.path(), "other.dat"));
}

}  // namespace
}  // namespace tambelo
