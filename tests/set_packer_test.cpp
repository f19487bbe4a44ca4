#include "cli/authoring/score_encoder.h"
#include "cli/authoring/score_parser.h"
#include "cli/authoring/set_packer.h"
#include "cli/authoring/toml_reading.h"
#include "cli/authoring/voice_set_source.h"
#include "library/page_archive.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tambelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

void write_text(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* const waltz_score = "phrase a { t150 @1 l4 c e g }\nchannel 0: a";
const char* const march_score = "phrase a { t100 @2 c8 d8 }\nphrase b { r2 ! }\nchannel 3: a b";
const char* const voices_toml = "tempo_base = 60\n[voice.1]\nprogram = 40\n";

class SetPackerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_text(source / "waltz.mml", waltz_score);
        write_text(source / "march.mml", march_score);
        write_text(source / "strings.toml", voices_toml);
        write_text(source / "set.toml", R"(title = "Test Set"
[[track]]
title = "Waltz"
score = "waltz.mml"
voices = "strings.toml"
[[track]]
title = "March"
score = "march.mml"
[track.voices]
voice.2 = { kit = 0 }
drums.0 = { c4 = 36 }
[[track]]
title = "Waltz again"
score = "waltz.mml"
)");
    }

    // The error that packing the source folder throws, or "".
    std::string pack_error()
    {
        try {
            pack_set(source);
        } catch (const SourceError& error) {
            return error.what();
        }
        return "";
    }

    testing::TempDir dir;
    fs::path source = dir.path();
    fs::path out = dir.path() / "out";
};

TEST_F(SetPackerTest, TrackNIsEntryNOfBothArchivesInWholePages)
{
    const PackedSet set = pack_set(source);
    ASSERT_EQ(write_packed_set(set, out), "");
    const std::string dat = (out / "amus.dat").string();
    const std::string mda = (out / "amus.mda").string();
    EXPECT_EQ(fs::file_size(dat) % 256, 0u);
    EXPECT_EQ(fs::file_size(mda) % 256, 0u);

    const VoiceSetSource strings = parse_voice_set(toml::parse(voices_toml), "strings.toml");
    VoiceSetSource drums;
    drums.voices[2].bank = 255;
    drums.drums.push_back({0, 60, 36});
    const Bytes scores[] = {encode_score(parse_score(waltz_score, "w"), 60),
                            encode_score(parse_score(march_score, "m"), 64),
                            encode_score(parse_score(waltz_score, "w"), 64)};
    const Bytes voice_sets[] = {encode_voice_set(strings, "s"), encode_voice_set(drums, "d"),
                                encode_voice_set({}, "-")};
    // next_entry walks from track 0 to the last one and stays there.
    for (std::int32_t track = 1; track <= 3; ++track) {
        EXPECT_EQ(PageArchive::next_entry(dat.c_str(), track - 1), track);
        EXPECT_EQ(PageArchive::next_entry(mda.c_str(), track - 1), track);
        const auto score = PageArchive::read_entry(dat.c_str(), track);
        const auto voices = PageArchive::read_entry(mda.c_str(), track);
        ASSERT_TRUE(score && voices);
        const Bytes& want_score = scores[track - 1];
        const Bytes& want_voices = voice_sets[track - 1];
        ASSERT_EQ(score->size(), 256u);
        ASSERT_EQ(voices->size(), 256u);
        EXPECT_EQ(Bytes(score->begin(), score->begin() + static_cast<std::ptrdiff_t>(want_score.size())),
                  want_score) << "track " << track;
        EXPECT_EQ(Bytes(voices->begin(), voices->begin() + static_cast<std::ptrdiff_t>(want_voices.size())),
                  want_voices) << "track " << track;
    }
    EXPECT_EQ(PageArchive::next_entry(dat.c_str(), 3), 3);
    EXPECT_EQ(PageArchive::next_entry(mda.c_str(), 3), 3);
    EXPECT_EQ(read_text(out / "amus.txt"), "0 Test Set\r\n1 Waltz\r\n2 March\r\n3 Waltz again\r\n");
    EXPECT_TRUE(testing::partial_files_in(out).empty());
}

TEST_F(SetPackerTest, ErrorsNameTheFileAndPlace)
{
    write_text(source / "march.mml", "phrase a { c }\nchannel 0: a b");
    EXPECT_EQ(pack_error(), (source / "march.mml").string() + ":2:14: no phrase is named b");

    write_text(source / "set.toml", "title = \"T\"\n[[track]]\ntitle = \"2nd part\"\nscore = \"waltz.mml\"");
    EXPECT_EQ(pack_error(), (source / "set.toml").string() +
                                ":3:9: the title list line \"1 2nd part\" would be read as a line of "
                                "track 12; begin the title with something other than a digit, a "
                                "point, a blank or an exponent such as E5");

    write_text(source / "set.toml", "title = \"T\"\n[[track]]\ntitle = \"A\"\nscore = \"none.mml\"");
    EXPECT_EQ(pack_error(), (source / "set.toml").string() + ":4:9: no such file: " +
                                (source / "none.mml").string());

    write_text(source / "set.toml", "title = \"T\"\n[[track]]\ntitle = \"A\"\nsore = \"waltz.mml\"");
    EXPECT_EQ(pack_error(), (source / "set.toml").string() +
                                ":4:1: unknown key 'sore' (known keys: title, score, voices)");

    write_text(source / "set.toml", "title = \"T\"\n");
    EXPECT_EQ(pack_error(), (source / "set.toml").string() + ": the set has no tracks (add [[track]] tables)");

    write_text(source / "set.toml", "title = \"T\n");
    EXPECT_NE(pack_error().find((source / "set.toml").string() + ":1:"), std::string::npos);

    fs::remove(source / "set.toml");
    EXPECT_EQ(pack_error(), (source / "set.toml").string() +
                                ": no such file; a source folder describes its set in set.toml");
}

TEST(TrackTitles, ATitleMayNotExtendTheTrackNumberBeforeIt)
{
    // The player reads a title line's number across blanks, points and exponents.
    for (const char* bad : {"2nd movement", ".5 Dance", "E5 minor", "d-2 remix", "e+7", " 0"})
        EXPECT_NE(title_problem(3, bad), "") << bad;
    for (const char* good : {"Eroica", "Dance 2", "D-Day", "Ending", "-Intro-", "&Hello", " Prelude"})
        EXPECT_EQ(title_problem(3, good), "") << good;
}

TEST_F(SetPackerTest, AFailedReplacementPutsTheOldSetBackAndSaysWhy)
{
    fs::create_directories(out / "amus.txt");  // a folder in the way of the last file
    write_text(out / "amus.txt" / "keep", "");
    // The old scores are a symbolic link to a file elsewhere: the link itself
    // must come back, not be replaced or lost.
    write_text(dir.path() / "scores elsewhere", "old scores");
    fs::create_symlink(dir.path() / "scores elsewhere", out / "amus.dat");
    write_text(out / "amus.mda", "old voices");
    struct stat scores_before {}, voices_before {};
    ASSERT_EQ(lstat((out / "amus.dat").c_str(), &scores_before), 0);
    ASSERT_EQ(lstat((out / "amus.mda").c_str(), &voices_before), 0);

    const std::string problem = write_packed_set(pack_set(source), out);
    EXPECT_NE(problem.find("amus.txt"), std::string::npos) << problem;
    EXPECT_NE(problem.find("Is a directory"), std::string::npos) << problem;
    EXPECT_NE(problem.find("the folder is as it was"), std::string::npos) << problem;
    struct stat scores_after {}, voices_after {};
    ASSERT_EQ(lstat((out / "amus.dat").c_str(), &scores_after), 0);
    ASSERT_EQ(lstat((out / "amus.mda").c_str(), &voices_after), 0);
    EXPECT_TRUE(S_ISLNK(scores_after.st_mode));
    EXPECT_EQ(scores_after.st_ino, scores_before.st_ino);
    EXPECT_EQ(fs::read_symlink(out / "amus.dat"), dir.path() / "scores elsewhere");
    EXPECT_EQ(read_text(dir.path() / "scores elsewhere"), "old scores");
    EXPECT_EQ(voices_after.st_ino, voices_before.st_ino);
    EXPECT_EQ(read_text(out / "amus.mda"), "old voices");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);

    fs::remove_all(out / "amus.txt");
    EXPECT_EQ(write_packed_set(pack_set(source), out), "");
    EXPECT_EQ(read_text(out / "amus.txt"), "0 Test Set\r\n1 Waltz\r\n2 March\r\n3 Waltz again\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
}

TEST_F(SetPackerTest, SourcesMustBeOrdinaryFilesOfBoundedSize)
{
    // Read without limit, a device would never end; a pipe would block.
    write_text(source / "set.toml", "title = \"T\"\n[[track]]\ntitle = \"A\"\nscore = \"/dev/zero\"\n");
    EXPECT_NE(pack_error().find("/dev/zero is a device, not a file"), std::string::npos) << pack_error();
    ASSERT_EQ(mkfifo((source / "pipe.mml").c_str(), 0600), 0);
    write_text(source / "set.toml", "title = \"T\"\n[[track]]\ntitle = \"A\"\nscore = \"pipe.mml\"\n");
    EXPECT_NE(pack_error().find("pipe.mml is a named pipe, not a file"), std::string::npos) << pack_error();

    fs::resize_file(source / "waltz.mml", max_source_bytes + 1);
    write_text(source / "set.toml", "title = \"T\"\n[[track]]\ntitle = \"A\"\nscore = \"waltz.mml\"\n");
    EXPECT_NE(pack_error().find("is larger than 16776960 bytes"), std::string::npos) << pack_error();
}

#ifdef TAMBELO_CLI
TEST_F(SetPackerTest, AFailedPackWritesNothing)
{
    fs::create_directories(out);
    write_text(out / "amus.dat", "old set");
    write_text(source / "march.mml", "phrase a { c }\nchannel 0: a b");
    const std::string command = std::string(TAMBELO_CLI) + " pack " + source.string() + " -o " +
                                out.string() + " 2>" + (dir.path() / "stderr.txt").string();
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_EQ(read_text(dir.path() / "stderr.txt"),
              "tambelo-cli: " + (source / "march.mml").string() + ":2:14: no phrase is named b\n");
    EXPECT_EQ(read_text(out / "amus.dat"), "old set");
    EXPECT_FALSE(fs::exists(out / "amus.mda"));
    EXPECT_FALSE(fs::exists(out / "amus.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);

    write_text(source / "march.mml", march_score);
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_text(out / "amus.txt"), "0 Test Set\r\n1 Waltz\r\n2 March\r\n3 Waltz again\r\n");
}
#endif

}  // namespace
}  // namespace tambelo
