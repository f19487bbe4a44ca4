#include "library/player.h"
#include "library/score_compiler.h"
#include "tests/support/event_records.h"
#include "tests/support/score_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace tambelo {
namespace {

using testing::Bytes;
using testing::EventRecords;
using testing::Phrase;
using testing::ScoreBuilder;
using testing::stream_bytes;

// A malformed score fails the whole track; it never reads outside the score,
// writes outside a stream, or changes the tempo.
class ScoreCompilerFailureTest : public ::testing::Test {
protected:
    PlayerHandle owner{create_player(PlayerServices{}, false)};
    Player& player = *owner;

    // A well-formed score whose every channel is in use, compiled first so
    // that a failure can be seen to leave it alone.
    Bytes compile_previous_track()
    {
        ScoreBuilder builder;
        const int phrase = builder.add(Phrase().tempo(77).note(3, 24));
        for (int channel = 0; channel < channel_count; ++channel)
            builder.channel(channel, {phrase});
        EXPECT_TRUE(compile_score_bytes(player, builder.build()));
        EXPECT_EQ(player.tempo, 77);
        return stream_bytes(player, 0);
    }
};

TEST_F(ScoreCompilerFailureTest, WrongCheckBytesFailBeforeAnythingChanges)
{
    const Bytes previous = compile_previous_track();
    ScoreBuilder builder;
    builder.channel(0, {builder.add(Phrase().tempo(90).note_default(1))});
    const Bytes good = builder.build();

    std::vector<Bytes> bad;
    for (std::size_t at = 41; at <= 46; ++at) {
        bad.push_back(good);
        bad.back()[at] = at == 41 ? 14 : 1;
    }
    bad.push_back(good);
    bad.back()[0] = 200;  // check bytes beyond the score's end
    bad.push_back(Bytes(good.begin(), good.begin() + 46));
    // Check bytes at 3..8, where an empty channel table begins, but the
    // table is cut short.
    Bytes headers_only(40, 0);
    headers_only[0] = 2;
    headers_only[3] = 15;
    bad.push_back(Bytes(headers_only.begin(), headers_only.begin() + 39));
    bad.push_back({});

    for (const Bytes& score : bad) {
        EXPECT_FALSE(compile_score_bytes(player, score));
        EXPECT_EQ(player.tempo, 77);
        EXPECT_EQ(stream_bytes(player, 0), previous);
    }
    EXPECT_TRUE(compile_score_bytes(player, good));
    EXPECT_EQ(player.tempo, 90);
    EXPECT_TRUE(compile_score_bytes(player, headers_only));
    EXPECT_EQ(stream_bytes(player, 0), EventRecords().end().bytes());
}

TEST_F(ScoreCompilerFailureTest, EveryCutOfAScoreFailsWithoutTakingItsTempo)
{
    compile_previous_track();
    ScoreBuilder builder;
    const int first = builder.add(Phrase().tempo(100).note(1, 10).default_length(300));
    const int last = builder.add(Phrase().note_word(2, 700).tie().raw({232, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    builder.channel(0, {first});
    builder.channel(4, {first, last});
    const Bytes score = builder.build();
    for (std::size_t size = 0; size < score.size(); ++size) {
        const Bytes cut(score.begin(), score.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(compile_score_bytes(player, cut)) << "cut at " << size;
        EXPECT_EQ(player.tempo, 77) << "cut at " << size;
    }
    EXPECT_TRUE(compile_score_bytes(player, score));
    EXPECT_EQ(player.tempo, 100);
}

TEST_F(ScoreCompilerFailureTest, OffsetsBeyondTheScoreFailTheTrack)
{
    ScoreBuilder builder;
    builder.channel(0, {builder.add(Phrase().tempo(100).note(1, 10))});
    const Bytes good = builder.build();

    Bytes list_outside = good;
    list_outside[8] = 0x30;  // channel 1's phrase list at 0xF030
    list_outside[9] = 0xF0;
    Bytes phrase_outside = good;
    phrase_outside[48] = 0x10;  // channel 0's only phrase at 0x1010
    phrase_outside[49] = 0x10;
    Bytes list_without_end = good;
    list_without_end[4] = static_cast<std::uint8_t>(good.size());  // a list of phrase offsets 0x0101...
    list_without_end.insert(list_without_end.end(), 21, 1);

    for (const Bytes* score : {&list_outside, &phrase_outside, &list_without_end}) {
        EXPECT_FALSE(compile_score_bytes(player, *score));
        EXPECT_EQ(player.tempo, 64);
    }
}

// Channel 0 plays `repeats` times a phrase of 100 notes (600 stream bytes),
// then a phrase of 44 notes and `controls` voice commands.
Bytes score_of_stream_length(int repeats, int controls)
{
    ScoreBuilder builder;
    Phrase hundred;
    for (int i = 0; i < 100; ++i)
        hundred.note(1, 16);
    Phrase tail;
    for (int i = 0; i < 44; ++i)
        tail.note(1, 16);
    for (int i = 0; i < controls; ++i)
        tail.voice(i);
    tail.tempo(99);
    const int h = builder.add(hundred);
    std::vector<int> list(static_cast<std::size_t>(repeats), h);
    list.push_back(builder.add(tail));
    builder.channel(0, list, repeats < 255 ? repeats : 0);
    builder.channel(1, {builder.add(Phrase().note(1, 8))});
    return builder.build();
}

TEST_F(ScoreCompilerFailureTest, AChannelMustFitItsStreamWithItsEndRecord)
{
    // 218 * 600 + 44 * 6 + 2 * 2 + 4 bytes: exactly the stream's capacity.
    ASSERT_TRUE(compile_score_bytes(player, score_of_stream_length(218, 2)));
    EXPECT_EQ(player.streams[0].position, stream_capacity);
    const Bytes stream = stream_bytes(player, 0);
    EXPECT_EQ(Bytes(stream.end() - 8, stream.end()), EventRecords().voice(0).voice(1).end(130800).bytes());
    EXPECT_EQ(stream_bytes(player, 1), EventRecords().note(60, 7, 1).end().bytes());
    EXPECT_EQ(player.tempo, 99);

    // Two bytes more fail the track, as does a far longer channel.
    player.tempo = 64;
    EXPECT_FALSE(compile_score_bytes(player, score_of_stream_length(218, 3)));
    EXPECT_FALSE(compile_score_bytes(player, score_of_stream_length(300, 0)));
    EXPECT_EQ(player.tempo, 64);
    EXPECT_LE(player.streams[0].position, stream_capacity);
}

// Channel 0 plays `repeats` times a phrase of 33,000 commands without output.
Bytes score_of_silent_repeats(int repeats)
{
    ScoreBuilder builder;
    Phrase silent;
    for (int i = 0; i < 33000; ++i)
        silent.raw({26});
    silent.tempo(120);
    builder.channel(0, std::vector<int>(static_cast<std::size_t>(repeats), builder.add(silent)));
    return builder.build();
}

TEST_F(ScoreCompilerFailureTest, AScoreThatWouldTakeTooLongToCompileFails)
{
    // 500 repeats are about 16.5 million commands: still a track.
    ASSERT_TRUE(compile_score_bytes(player, score_of_silent_repeats(500)));
    EXPECT_EQ(player.tempo, 120);
    // 16,000 repeats, over half a billion commands, would stall the
    // playback thread for seconds.
    player.tempo = 64;
    EXPECT_FALSE(compile_score_bytes(player, score_of_silent_repeats(16000)));
    EXPECT_EQ(player.tempo, 64);
}

}  // namespace
}  // namespace tambelo
