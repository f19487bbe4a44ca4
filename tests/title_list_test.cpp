#include "titles/plain_titles.h"
#include "titles/text_decoding.h"
#include "titles/title_list.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// A list of `count` lines "x <i>" (leading number 0) that ends with `last`.
Lines filler_then(std::size_t count, const std::string& last)
{
    Lines lines(count - 1, "x");
    lines.push_back(last);
    return lines;
}

std::vector<std::uint8_t> bytes_of(const std::string& text)
{
    return {text.begin(), text.end()};
}

struct TitleLineCase {
    const char* what;
    Lines titles;
    std::int32_t track;
    std::optional<std::string> expected;
};

TEST(TitleLineOf, FindsTheFirstLineWhoseLeadingNumberIsTheTrack)
{
    const std::vector<TitleLineCase> cases = {
        {"no list", {}, 7, std::nullopt},
        {"plain", {"0 Game", "1 One", "2 Two"}, 2, "2 Two"},
        {"number kept as written", {"03 Third"}, 3, "03 Third"},
        {"decimal form", {"5.0 Fifth"}, 5, "5.0 Fifth"},
        {"two lines for one track", {"3 First", "3 Second"}, 3, "3 First"},
        {"fraction names no track", {"3.5 Half"}, 3, std::nullopt},
        {"fraction names no track", {"3.5 Half"}, 4, std::nullopt},
        {"digits after a blank join", {"1 2nd movement"}, 12, "1 2nd movement"},
        {"digits after a blank join", {"1 2nd movement"}, 1, std::nullopt},
        {"track 0 finds the game line", {"0 Game", ""}, 0, "0 Game"},
        {"track 0 finds an empty line", {"", "0 Game"}, 0, ""},
        {"order is free", {"2 Two", "0 Game", "1 One"}, 1, "1 One"},
        {"hexadecimal", {"&HA Ten"}, 10, "&HA Ten"},
    };
    for (const TitleLineCase& c : cases)
        EXPECT_EQ(tambelo::title_line_of(c.titles, c.track), c.expected) << c.what;
}

struct GameTitleCase {
    const char* what;
    Lines titles;
    std::optional<std::string> expected;
};

TEST(GameTitleOf, IsTheRestOfTheFirstLineThatBeginsWithZeroAndABlank)
{
    const std::vector<GameTitleCase> cases = {
        {"no list", {}, std::nullopt},
        {"plain", {"0 Game", "1 One"}, "Game"},
        {"empty title", {"0 "}, ""},
        {"blanks kept as written", {"0  Game "}, " Game "},
        {"two zeros", {"00 Game"}, std::nullopt},
        {"blank then zero", {" 0 Game"}, std::nullopt},
        {"tab after zero", {"0\tGame"}, std::nullopt},
        {"zero alone", {"0"}, std::nullopt},
        {"later line", {"1 One", "00 x", "0 Game"}, "Game"},
        {"first wins", {"0 First", "0 Second"}, "First"},
        {"title beginning with a digit", {"0 9 Lives"}, "9 Lives"},
        {"multi-byte title", {"0 \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
         "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
    };
    for (const GameTitleCase& c : cases)
        EXPECT_EQ(tambelo::game_title_of(c.titles), c.expected) << c.what;
}

TEST(TrackTitle, IsTheTitleLineWithoutItsFirstWordOrTrackN)
{
    EXPECT_EQ(tambelo::title_without_number("03 Battle"), "Battle");
    EXPECT_EQ(tambelo::title_without_number("1 2nd movement"), "2nd movement");
    EXPECT_EQ(tambelo::title_without_number("  7\tTabbed  title \t"), "Tabbed  title");
    EXPECT_EQ(tambelo::title_without_number("5"), "");
    EXPECT_EQ(tambelo::title_without_number(" 5  "), "");
    EXPECT_EQ(tambelo::title_without_number(""), "");

    EXPECT_EQ(tambelo::track_title_of({"0 Game", "03 Battle"}, 3), "Battle");
    EXPECT_EQ(tambelo::track_title_of({"5"}, 5), "Track 5");
    EXPECT_EQ(tambelo::track_title_of({"0 Game"}, 7), "Track 7");
}

TEST(TitleSearches, AListOfMoreThan32767LinesIsNotSearched)
{
    const Lines longest = filler_then(32767, "0 Game");
    EXPECT_EQ(tambelo::game_title_of(longest), "Game");
    const Lines with_track = filler_then(32767, "9 Last");
    EXPECT_EQ(tambelo::title_line_of(with_track, 9), "9 Last");

    Lines too_long = filler_then(32768, "9 Last");
    too_long.front() = "0 Game";
    EXPECT_EQ(tambelo::game_title_of(too_long), std::nullopt);
    too_long.front() = "9 First";
    EXPECT_EQ(tambelo::title_line_of(too_long, 9), std::nullopt);
}

struct SplitCase {
    const char* what;
    std::string bytes;
    Lines expected;
};

TEST(SplitTitleLines, CrLfALoneCrOrALoneLfEndsALine)
{
    const std::vector<SplitCase> cases = {
        {"empty file", "", {}},
        {"no line end", "0 Game", {"0 Game"}},
        {"CR LF", "0 Game\r\n1 One\r\n", {"0 Game", "1 One"}},
        {"lone CR", "0 Game\r1 One", {"0 Game", "1 One"}},
        {"lone LF", "0 Game\n1 One\n", {"0 Game", "1 One"}},
        {"all three in one file", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"empty lines kept", "\r\n\r\n", {"", ""}},
        {"empty lines kept", "\n\n", {"", ""}},
        {"CR CR LF", "a\r\r\nb", {"a", "", "b"}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"lone CR at the end", "a\r", {"a"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(tambelo::split_title_lines(c.bytes), c.expected) << c.what;
}

const std::string test_in_utf8 = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88";  // テスト
const std::string test_in_cp932 = "\x83\x65\x83\x58\x83\x67";

struct DecodeCase {
    const char* what;
    std::string bytes;
    Lines expected;
};

TEST(DecodeTitleList, EachLineIsUtf8WhenValidAndCp932Otherwise)
{
    const std::vector<DecodeCase> cases = {
        {"UTF-8", "0 " + test_in_utf8 + "\r\n1 caf\xC3\xA9", {"0 " + test_in_utf8, "1 caf\xC3\xA9"}},
        {"CP932", "0 " + test_in_cp932 + "\r\n1 \x5C\x7E", {"0 " + test_in_utf8, "1 \\~"}},
        // Half-width katakana A is a single byte in CP932.
        {"one-byte katakana", "1 \xB1", {"1 \xEF\xBD\xB1"}},
        {"a CP932 line leaves UTF-8 lines alone",
         "0 " + test_in_utf8 + "\n1 " + test_in_cp932 + "\n2 caf\xC3\xA9",
         {"0 " + test_in_utf8, "1 " + test_in_utf8, "2 caf\xC3\xA9"}},
        {"a stray byte garbles only its own line", "1 caf\xC3\xA9\r\n2 \x80",
         {"1 caf\xC3\xA9", "2 \xEF\xBF\xBD"}},
        // CP932 half-width katakana "mi su te xi" are also valid UTF-8 (two-byte
        // sequences); the list's other lines make it a CP932 list.
        {"a katakana line in a CP932 list", "1 " + test_in_cp932 + "\r\n6 \xD0\xBD\xC3\xA8\r\n7 " + test_in_cp932,
         {"1 " + test_in_utf8, "6 \xEF\xBE\x90\xEF\xBD\xBD\xEF\xBE\x83\xEF\xBD\xA8", "7 " + test_in_utf8}},
        // The stray 0x81 before "A" forms a valid CP932 character, yet the
        // list is plainly UTF-8.
        {"a stray byte in a UTF-8 list", "0 " + test_in_utf8 + "\n1 " + test_in_utf8 + "\n2 \x81" "A",
         {"0 " + test_in_utf8, "1 " + test_in_utf8, "2 \xE3\x80\x81"}},
        {"byte order mark is no part of the first line", "\xEF\xBB\xBF" "0 Game\n1 " + test_in_cp932,
         {"0 Game", "1 " + test_in_utf8}},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(tambelo::decode_title_list(c.bytes), c.expected) << c.what;
}

TEST(DecodeTitleList, InvalidBytesBecomeReplacementCharacters)
{
    const std::string replacement = "\xEF\xBF\xBD";
    // 0x80 and 0xA0 start no CP932 character; 0x83 before a CR lacks its
    // second byte, and the CR still ends the line.
    EXPECT_EQ(tambelo::decode_title_list("1 \x80x\xA0y\r\n2 \x83\r\n3 z\x83"),
              (Lines{"1 " + replacement + "x" + replacement + "y", "2 " + replacement,
                     "3 z" + replacement}));
    EXPECT_EQ(tambelo::decode_title_list(std::string("1 a\0b", 5)),
              (Lines{std::string("1 a\0b", 5)}));
}

TEST(IsValidUtf8, RejectsMalformedAndNonCanonicalSequences)
{
    EXPECT_TRUE(tambelo::is_valid_utf8(""));
    EXPECT_TRUE(tambelo::is_valid_utf8("plain"));
    EXPECT_TRUE(tambelo::is_valid_utf8(test_in_utf8));
    EXPECT_TRUE(tambelo::is_valid_utf8("\xF0\x9F\x8E\xB5"));  // a four-byte character
    EXPECT_TRUE(tambelo::is_valid_utf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
    EXPECT_FALSE(tambelo::is_valid_utf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(tambelo::is_valid_utf8("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(tambelo::is_valid_utf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(tambelo::is_valid_utf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(tambelo::is_valid_utf8("\xE3\x83"));          // cut off
    EXPECT_FALSE(tambelo::is_valid_utf8("\xE3\x83x"));
    EXPECT_FALSE(tambelo::is_valid_utf8("\x80"));
    EXPECT_FALSE(tambelo::is_valid_utf8(test_in_cp932));
}

TEST(ReadTitleList, ReadsOrdinaryFilesOnly)
{
    tambelo::testing::TempDir dir;
    const std::string path =
        dir.write("amus.txt", bytes_of("0 " + test_in_cp932 + "\r\n1 One\r\n"));
    EXPECT_EQ(tambelo::read_title_list(path), (Lines{"0 " + test_in_utf8, "1 One"}));
    EXPECT_TRUE(tambelo::ordinary_file_exists(path));

    EXPECT_TRUE(tambelo::read_title_list(dir.path() / "missing.txt").empty());
    EXPECT_FALSE(tambelo::ordinary_file_exists(dir.path() / "missing.txt"));

    std::filesystem::create_directory(dir.path() / "folder.txt");
    EXPECT_TRUE(tambelo::read_title_list(dir.path() / "folder.txt").empty());
    EXPECT_FALSE(tambelo::ordinary_file_exists(dir.path() / "folder.txt"));

    EXPECT_TRUE(tambelo::read_title_list(dir.write("empty.txt", {})).empty());

#ifndef _WIN32
    // A named pipe is passed over at once, not waited on (a hang fails the
    // test by its time-out).
    ASSERT_EQ(mkfifo((dir.path() / "pipe.txt").c_str(), 0600), 0);
    EXPECT_TRUE(tambelo::read_title_list(dir.path() / "pipe.txt").empty());
#endif
}

#ifndef _WIN32
TEST(ReadTitleList, AHugeListIsReadOnlyAsFarAsItCanMatter)
{
    // Lists followed by three gigabytes of zeros (sparse: no disk is used).
    // Read whole, such a list took half a minute and gigabytes of memory.
    tambelo::testing::TempDir dir;
    const std::clock_t started = std::clock();  // processor time: load does not count
    const std::string short_list = dir.write("short.txt", bytes_of("0 Game\r\n1 One\r\n"));
    std::filesystem::resize_file(short_list, std::uintmax_t{3} << 30);
    EXPECT_EQ(tambelo::read_title_list(short_list), (Lines{"0 Game", "1 One"}));

    std::string lines = "0 Game\r\n";
    for (int i = 1; i < 32768; ++i)
        lines += "x\r\n";
    const std::string long_list = dir.write("long.txt", bytes_of(lines));
    std::filesystem::resize_file(long_list, std::uintmax_t{3} << 30);
    // 32,768 lines, more than the searches read: still known to be too many.
    EXPECT_EQ(tambelo::game_title_of(tambelo::read_title_list(long_list)), std::nullopt);
    EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 5.0);
}
#endif

TEST(ReadTitleList, AFileThatFailsToReadGivesNoLinesInsteadOfAnError)
{
    // Reading the start of a process's memory file fails with an I/O error,
    // even for root.
    tambelo::testing::TempDir dir;
    const auto path = dir.path() / "amus.txt";
    std::error_code error;
    std::filesystem::create_symlink("/proc/self/mem", path, error);
    if (error)
        GTEST_SKIP() << "no such memory file to link to on this system";
    ASSERT_TRUE(tambelo::ordinary_file_exists(path));
    EXPECT_TRUE(tambelo::read_title_list(path).empty());
}

}  // namespace
