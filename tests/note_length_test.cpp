#include "score_format/note_length.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

constexpr std::uint16_t no_release = 256;

struct SplitCase {
    std::uint16_t length, release, gate;
    std::uint16_t sounding, tail;
};

void expect_splits(std::initializer_list<SplitCase> cases)
{
    for (const SplitCase& c : cases) {
        const NoteSplit split = split_note_length(c.length, c.release, c.gate);
        EXPECT_EQ(split.sounding_ticks, c.sounding)
            << "length " << c.length << " release " << c.release << " gate " << c.gate;
        EXPECT_EQ(split.tail_ticks, c.tail)
            << "length " << c.length << " release " << c.release << " gate " << c.gate;
    }
}

TEST(NoteLength, GateRuleGivesEighthsOfTheLengthAndAtLeastOneTick)
{
    expect_splits({
        {48, no_release, 7, 42, 6},
        {12, no_release, 7, 7, 5},
        {5, no_release, 7, 1, 4},
        {1, no_release, 7, 1, 0},
        {8, no_release, 1, 1, 7},
        {65535, no_release, 7, 57337, 8198},
    });
}

TEST(NoteLength, FullGateLeavesExactlyOneSilentTick)
{
    expect_splits({
        {48, no_release, 8, 47, 1},
        {3, no_release, 8, 2, 1},
        {1, no_release, 8, 1, 0},
    });
}

TEST(NoteLength, FixedReleaseTakesItsTicksFromTheEndOrLeavesOneSoundingTick)
{
    expect_splits({
        {48, 10, 7, 38, 10},
        {6, 10, 7, 1, 5},
        {10, 10, 7, 1, 9},
        {11, 10, 7, 1, 10},
        {48, 0, 7, 48, 0},
        {300, 255, 8, 45, 255},
    });
}

TEST(NoteLength, PartsNeverExceedTheLength)
{
    // A length of 0 has nothing to sound under any rule.
    expect_splits({
        {0, no_release, 7, 0, 0},
        {0, no_release, 8, 0, 0},
        {0, 10, 7, 0, 0},
        {0, 0, 7, 0, 0},
    });
    // Gates above 8 eighths would sound longer than the note.
    expect_splits({
        {16, no_release, 9, 16, 0},
        {48, no_release, 256, 48, 0},
        {65535, no_release, 256, 65535, 0},
    });
    for (std::uint32_t length = 0; length <= 0xFFFF; length += 97)
        for (const int release : {0, 1, 7, 255, 256})
            for (const int gate : {1, 7, 8, 9, 256}) {
                const auto split = split_note_length(static_cast<std::uint16_t>(length),
                                                     static_cast<std::uint16_t>(release),
                                                     static_cast<std::uint16_t>(gate));
                ASSERT_EQ(split.sounding_ticks + split.tail_ticks, length);
            }
}

}  // namespace
}  // namespace tambelo
