#include "frontend/window_logic/window_texts.h"
#include "frontend/shown_text/direction_controls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tambelo::frontend::caption_text;
using tambelo::frontend::status_text;
using tambelo::with_direction_controls_shown;

TEST(WindowTexts, TheCaptionNamesTheProgramThenTheGameAsWritten)
{
    EXPECT_EQ(caption_text({}), "TAMBELO");
    EXPECT_EQ(caption_text({"00 Game", "1 One"}), "TAMBELO");
    EXPECT_EQ(caption_text({"1 One", "0 Game"}), "TAMBELO - Game");
    // An empty game title keeps the blank after the dash.
    EXPECT_EQ(caption_text({"0 "}), "TAMBELO - ");
    EXPECT_EQ(caption_text({"0  Game "}), "TAMBELO -  Game ");
}

TEST(WindowTexts, TheStatusLineIsABlankThenTheTitleLineOrTheNoTitleText)
{
    EXPECT_EQ(status_text({"0 Game", "03 Third"}, 3), " 03 Third");
    EXPECT_EQ(status_text({"", "0 Game"}, 0), " ");
    EXPECT_EQ(status_text({"0 Game"}, 7), " 7 NO TITLE");
    EXPECT_EQ(status_text({}, -2), " -2 NO TITLE");
}

// "\u202Egnp.exe" would show as "exe.png": every embedding, override and
// isolate control is spelt out, and nothing near them is.
TEST(WindowTexts, DirectionControlsInTitlesAreSpeltOut)
{
    EXPECT_EQ(with_direction_controls_shown("a\u202Ab\u202Bc\u202Cd\u202De\u202Ef"),
              "a<U+202A>b<U+202B>c<U+202C>d<U+202D>e<U+202E>f");
    EXPECT_EQ(with_direction_controls_shown("\u2066\u2067\u2068\u2069"), "<U+2066><U+2067><U+2068><U+2069>");
    const std::string left_alone = "\u2029\u202F\u2065\u206A\u200F\u05D0 \xE2\x80";
    EXPECT_EQ(with_direction_controls_shown(left_alone), left_alone);
    EXPECT_EQ(caption_text({"0 \u202Egnp.exe"}), "TAMBELO - <U+202E>gnp.exe");
    EXPECT_EQ(status_text({"1 x\u2067y"}, 1), " 1 x<U+2067>y");
}

}  // namespace
