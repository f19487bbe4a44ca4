#include "library/track_length.h"
#include "tests/support/event_records.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

using testing::StreamSet;
using Kind = TrackLength::Kind;

TEST(TrackLength, ATrackThatStopsEndsAtTheTickItsLastChannelEnds)
{
    StreamSet set;
    // Events are first read in tick 16; 42 + 6 ticks later the end record.
    set.channel(0).note(60, 42, 6).no_loop().end();
    EXPECT_EQ(measure_track(set.span()), (TrackLength{Kind::ends, 64}));

    // Channels without notes end at their end record even without the flag.
    StreamSet quiet;
    quiet.channel(2).voice(3).rest(100).end();
    EXPECT_EQ(measure_track(quiet.span()), (TrackLength{Kind::ends, 116}));

    StreamSet empty;
    EXPECT_EQ(measure_track(empty.span()), (TrackLength{Kind::ends, 16}));
}

TEST(TrackLength, ALoopingTrackHasAnIntroAndACycle)
{
    StreamSet whole;
    whole.channel(0).voice(1).note(60, 42, 6).end();
    EXPECT_EQ(measure_track(whole.span()), (TrackLength{Kind::loops, 0, 16, 48}));

    StreamSet intro;
    intro.channel(0).note(60, 10, 0).rest(20).loop_here().note(62, 40, 8).note(64, 40, 8).end();
    // The loop position is first read in tick 16 + 30; the cycle is 96 ticks.
    EXPECT_EQ(measure_track(intro.span()), (TrackLength{Kind::loops, 0, 46, 96}));
}

TEST(TrackLength, ChannelsWithDifferentIntrosButOneCycleShareTheLatestLoopStart)
{
    StreamSet set;
    set.channel(0).note(60, 40, 8).loop_here().note(60, 40, 8).end();
    set.channel(4).rest(100).loop_here().note(48, 24, 24).end();
    set.channel(6).rest(50).end();  // silent: ends, does not count
    const TrackLength length = measure_track(set.span());
    EXPECT_EQ(length, (TrackLength{Kind::loops, 0, 116, 48, false}));
}

TEST(TrackLength, DifferingCyclesAreReportedAndTheLongestIsUsed)
{
    StreamSet set;
    set.channel(0).note(60, 40, 8).end();
    set.channel(1).loop_here().note(48, 90, 6).end();
    set.channel(8).rest(4).loop_here().note(36, 30, 2).end();
    EXPECT_EQ(measure_track(set.span()), (TrackLength{Kind::loops, 0, 20, 96, true}));
}

TEST(TrackLength, TheStopFlagEndsEveryChannelAtItsNextEndRecordInChannelOrder)
{
    StreamSet set;
    // Channel 5 raises the flag in tick 64. Channel 0 meets its end record in
    // the same tick but before channel 5 is read, so it loops once more and
    // ends in tick 112; channel 7, read after channel 5, ends in tick 64.
    set.channel(0).note(60, 42, 6).end();
    set.channel(5).rest(48).no_loop().rest(10).end();
    set.channel(7).note(72, 42, 6).end();
    EXPECT_EQ(measure_track(set.span()), (TrackLength{Kind::ends, 112}));
}

TEST(TrackLength, ALoopWithoutAWaitEndsItsChannelAtTheSecondEndInOneTick)
{
    StreamSet set;
    set.channel(3).note(60, 10, 0).loop_here().voice(4).pan(30).end();
    set.channel(4).note(60, 30, 0).end();
    // The music repeats only after channel 3 has had its last say.
    EXPECT_EQ(measure_track(set.span()), (TrackLength{Kind::loops, 0, 27, 30}));

    StreamSet alone;
    alone.channel(3).note(60, 10, 0).loop_here().voice(4).pan(30).end();
    EXPECT_EQ(measure_track(alone.span()), (TrackLength{Kind::ends, 26}));
}

TEST(TrackLength, ARecordBeyondTheBufferLoopsToTheStart)
{
    StreamSet set;
    // Notes to the end of the buffer without an end record: the channel
    // starts over, as the sequencer does.
    auto notes = set.channel(0);
    while (notes.position() + 3 <= stream_capacity)
        notes.note(60, 1);
    EXPECT_EQ(measure_track(set.span()), (TrackLength{Kind::loops, 0, 16, stream_capacity / 3}));
}

}  // namespace
}  // namespace tambelo
