#include "cli/export/export_names.h"
#include "cli/export/length_text.h"
#include "cli/export/music_set.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

TEST(SafeFileName, CharactersFileSystemsRefuseBecomeUnderscores)
{
    EXPECT_EQ(safe_file_name("AC/DC: Live?"), "AC_DC_ Live_");
    EXPECT_EQ(safe_file_name("a\\b*c\"d<e>f|g"), "a_b_c_d_e_f_g");
    EXPECT_EQ(safe_file_name(std::string("tab\there\x01\x7f", 10)), "tab_here__");
    EXPECT_EQ(safe_file_name(std::string("nul\0byte", 8)), "nul_byte");
    EXPECT_EQ(safe_file_name("CSI\xC2\x9B" "2J and NEL\xC2\x85"), "CSI_2J and NEL_");  // C1 controls
    // Japanese titles pass unchanged; broken UTF-8 does not.
    EXPECT_EQ(safe_file_name("\xE6\xA1\x9C \xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89"), "\xE6\xA1\x9C \xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89");
    EXPECT_EQ(safe_file_name("bad\xE6\xA1 end \xC0\xAF"), "bad__ end __");
}

TEST(SafeFileName, NamesThatMeanSomethingElseAreMadeHarmless)
{
    EXPECT_EQ(safe_file_name(".."), "untitled");
    EXPECT_EQ(safe_file_name("  "), "untitled");
    EXPECT_EQ(safe_file_name("", "fallback"), "fallback");
    EXPECT_EQ(safe_file_name("  lead and trail . "), "lead and trail");
    EXPECT_EQ(safe_file_name("con"), "con_");
    EXPECT_EQ(safe_file_name("LPT1.txt"), "LPT1.txt_");
    EXPECT_EQ(safe_file_name("COM10"), "COM10");
}

TEST(SafeFileName, LongNamesAreCutAtACharacterBoundary)
{
    std::string title;
    for (int i = 0; i < 100; ++i)
        title += "\xE3\x81\x82";  // three bytes each
    const std::string name = safe_file_name(title);
    EXPECT_EQ(name.size(), 198u);
    EXPECT_EQ(name, title.substr(0, 198));
}

TEST(TrackFileName, NumberTitleAndExtension)
{
    EXPECT_EQ(track_file_name(3, 2, "Battle / Boss", "wav"), "03 Battle _ Boss.wav");
    EXPECT_EQ(track_file_name(12, track_number_digits(140), "x", "mid"), "012 x.mid");
    EXPECT_EQ(track_file_name(7, 2, "///", "ogg"), "07 ___.ogg");
    EXPECT_EQ(track_file_name(7, 2, " ", "ogg"), "07 Track 7.ogg");
    EXPECT_EQ(track_number_digits(9), 2);
    EXPECT_EQ(track_number_digits(100), 3);
}

TEST(TrackList, NumbersAndRangesWithinTheSet)
{
    std::string why;
    EXPECT_EQ(parse_track_list("3", 10, &why), (std::vector<std::int32_t>{3}));
    EXPECT_EQ(parse_track_list("1, 4-6,5,10", 10, &why), (std::vector<std::int32_t>{1, 4, 5, 6, 10}));
    EXPECT_FALSE(parse_track_list("11", 10, &why));
    EXPECT_EQ(why, "no track 11 in this set (it has 10 tracks)");
    EXPECT_FALSE(parse_track_list("0", 10, &why));
    for (const char* bad : {"", "1,", "a", "3-1", "-2", "1-", "2 3"})
        EXPECT_FALSE(parse_track_list(bad, 10, &why)) << bad;
}

TEST(SetTitles, TitlesComeFromTheTrackLinesWithoutTheirNumbers)
{
    const SetTitles titles({"0 The Game", "01 Opening", "1 2nd movement", "3", "05   Spaced  "});
    EXPECT_EQ(titles.game_title(), "The Game");
    EXPECT_EQ(titles.title_line(1), "01 Opening");
    EXPECT_EQ(titles.title(1), "Opening");
    EXPECT_EQ(titles.title(12), "2nd movement");
    EXPECT_EQ(titles.title(3), "Track 3");
    EXPECT_EQ(titles.title(5), "Spaced");
    EXPECT_EQ(titles.title_line(4), "4 NO TITLE");
    EXPECT_EQ(titles.title(4), "Track 4");
    EXPECT_EQ(SetTitles({}).game_title(), "");
}

TEST(LengthText, MinutesSecondsMilliseconds)
{
    EXPECT_EQ(format_length(0.0), "0:00.000");
    EXPECT_EQ(format_length(61234.5), "1:01.235");  // rounded to the millisecond
    EXPECT_EQ(format_length(3600000.0 + 5), "60:00.005");
    EXPECT_EQ(format_length(-3.0), "0:00.000");
    // What the renderer says of a track: a loop length beside a track that
    // ends is not shown.
    tambelo_track_info track{};
    track.intro_ms = 1000.0;
    track.loop_ms = 5.0;
    EXPECT_EQ(describe_length(track), "0:01.000");
    track.loops = 1;
    track.intro_ms = 150.0;
    track.loop_ms = 3000.0;
    EXPECT_EQ(describe_length(track), "0:00.150 + 0:03.000 loop");
    track.loops_differ = 1;
    EXPECT_EQ(describe_length(track), "0:00.150 + 0:03.000 loop (channel loops differ, longest)");
}

}  // namespace
}  // namespace tambelo
