#include "frontend/window_logic/window_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tambelo::frontend::caption_text;
using tambelo::frontend::status_text;

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

}  // namespace
