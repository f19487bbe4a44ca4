#include "library/player.h"
#include "library/score_compiler.h"
#include "tests/support/event_records.h"
#include "tests/support/score_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace tambelo {
namespace {

using testing::Bytes;
using testing::EventRecords;
using testing::Phrase;
using testing::ScoreBuilder;
using testing::stream_bytes;

class ScoreCompilerTest : public ::testing::Test {
protected:
    PlayerHandle owner{create_player(PlayerServices{}, false)};
    Player& player = *owner;

    bool compile(const Bytes& score) { return compile_score_bytes(player, score); }

    // Compiles a score whose channel 0 plays the one phrase, and returns
    // stream 0 without its end record.
    Bytes compile_phrase(const Phrase& phrase)
    {
        ScoreBuilder score;
        score.channel(0, {score.add(phrase)});
        EXPECT_TRUE(compile(score.build()));
        Bytes stream = stream_bytes(player, 0);
        EXPECT_GE(stream.size(), 4u);
        stream.resize(stream.size() - 4);
        return stream;
    }
};

// The smallest useful score, laid out by hand: check bytes at 41..46,
// channel 0's phrase list at 48, its one phrase at 56.
Bytes minimal_score(std::initializer_list<std::uint8_t> phrase_list)
{
    Bytes score(58, 0);
    score[0] = 40;
    score[4] = 48;
    score[41] = 15;
    std::copy(phrase_list.begin(), phrase_list.end(), score.begin() + 48);
    score[56] = 129;  // default-length note, step 1
    score[57] = 255;
    return score;
}

TEST_F(ScoreCompilerTest, MinimalScoreOfOneDefaultNote)
{
    ASSERT_TRUE(compile(minimal_score({56, 0, 0, 255})));
    EXPECT_EQ(stream_bytes(player, 0), (Bytes{60, 42, 0, 128, 6, 0, 255, 0, 0, 0}));
    for (int channel = 1; channel < channel_count; ++channel)
        EXPECT_EQ(stream_bytes(player, channel), EventRecords().end().bytes()) << "channel " << channel;
    EXPECT_EQ(player.tempo, 64);

    // The builder lays out the same score.
    ScoreBuilder builder;
    builder.channel(0, {builder.add(Phrase().note_default(1))});
    ASSERT_TRUE(compile(builder.build()));
    EXPECT_EQ(stream_bytes(player, 0), EventRecords().note(60, 42, 6).end().bytes());
}

TEST_F(ScoreCompilerTest, ARepeatedPhraseIsCompiledEachTimeAndLoopsFromItsOccurrence)
{
    ASSERT_TRUE(compile(minimal_score({56, 0, 56, 0, 1, 255})));
    EXPECT_EQ(stream_bytes(player, 0), EventRecords().note(60, 42, 6).note(60, 42, 6).end(6).bytes());
}

TEST_F(ScoreCompilerTest, EveryCommandCodeConsumesItsArgumentBytes)
{
    struct Range {
        int first, last, argument_bytes;
    };
    // Argument bytes by command code, with 129 as every argument byte (so a
    // length command takes its two-byte form).
    const Range ranges[] = {
        {0, 12, 1},    {13, 25, 2},   {26, 127, 0},  {128, 140, 0}, {141, 223, 0}, {224, 225, 1},
        {226, 227, 0}, {228, 228, 3}, {229, 229, 1}, {230, 231, 8}, {232, 232, 10}, {233, 233, 0},
        {234, 235, 1}, {236, 239, 0}, {240, 242, 1}, {243, 243, 2}, {244, 245, 1}, {246, 246, 2},
        {247, 248, 0}, {249, 250, 1}, {251, 251, 2}, {252, 253, 1}, {254, 254, 3},
    };
    const auto is_note = [](int code) { return code <= 25 || (code >= 128 && code <= 140); };
    const auto is_rest = [](int code) { return code == 0 || code == 13 || code == 128; };
    const auto is_copied = [](int code) {
        return code == 224 || code == 225 || code == 235 || code == 245 || code == 249 || code == 252;
    };

    int checked = 0;
    for (const Range& range : ranges) {
        for (int code = range.first; code <= range.last; ++code, ++checked) {
            ASSERT_EQ(code, checked) << "the table must cover every code once";
            // Each argument byte read as a command would add a note; a
            // command reading too far would swallow the voice event after it.
            Phrase phrase;
            phrase.raw({code});
            for (int i = 0; i < range.argument_bytes; ++i)
                phrase.raw({129});
            phrase.voice(77);
            const Bytes stream = compile_phrase(phrase);

            std::size_t output = 0;
            if (is_note(code))
                output = is_rest(code) ? 3 : 6;
            else if (is_copied(code))
                output = 2;
            else if (code == 236)
                output = 1;
            ASSERT_EQ(stream.size(), output + 2) << "command " << code;
            EXPECT_EQ(stream[output], 245) << "command " << code;
            EXPECT_EQ(stream[output + 1], 77) << "command " << code;
            if (is_copied(code)) {
                EXPECT_EQ(stream[0], code);
            }
        }
    }
    EXPECT_EQ(checked, 255);  // and 255 ends every phrase above
    // The two-byte length form above; below 128 it is one byte.
    EXPECT_EQ(compile_phrase(Phrase().raw({243, 127}).voice(77)), EventRecords().voice(77).bytes());
}

TEST_F(ScoreCompilerTest, ControlEventsAreCopiedInScoreOrderBetweenNotes)
{
    const Bytes stream = compile_phrase(Phrase()
                                            .voice(3)
                                            .pan(20)
                                            .note(1, 8)
                                            .velocity(100)
                                            .velocity_add(-5)
                                            .fine_tune(70)
                                            .skip_event(9)
                                            .no_loop()
                                            .rest(4)
                                            .tempo(90));
    EXPECT_EQ(stream, EventRecords()
                          .voice(3)
                          .pan(20)
                          .note(60, 7, 1)
                          .velocity(100)
                          .velocity_add(-5)
                          .fine_tune(70)
                          .skip(9)
                          .no_loop()
                          .rest(4)
                          .bytes());
    EXPECT_EQ(player.tempo, 90);
}

TEST_F(ScoreCompilerTest, NoteForms)
{
    EXPECT_EQ(compile_phrase(Phrase().note(12, 16).note_word(5, 300).note_default(0)),
              EventRecords().note(71, 14, 2).note(64, 259, 41).rest(48).bytes());
    // The default length in both of its forms.
    EXPECT_EQ(compile_phrase(Phrase().default_length(256).note_default(1).default_length(127).note_default(1)),
              EventRecords().note(60, 224, 32).note(60, 105, 22).bytes());
}

TEST_F(ScoreCompilerTest, TiesSoundTheWholeLength)
{
    EXPECT_EQ(compile_phrase(Phrase().note(1, 48).tie()), EventRecords().note(60, 48, 0).bytes());
    EXPECT_EQ(compile_phrase(Phrase().note_word(1, 500).tie()), EventRecords().note(60, 500, 0).bytes());
    EXPECT_EQ(compile_phrase(Phrase().note_default(1).tie()), EventRecords().note(60, 48, 0).bytes());
    // A tie after a fixed release still sounds the whole note.
    EXPECT_EQ(compile_phrase(Phrase().release(10).note(1, 48).tie()), EventRecords().note(60, 48, 0).bytes());
    // A tied rest is one rest; a tied note of length 0 has nothing to sound.
    EXPECT_EQ(compile_phrase(Phrase().rest(20).tie()), EventRecords().rest(20).bytes());
    EXPECT_EQ(compile_phrase(Phrase().note(1, 0).tie()), EventRecords().rest(0).bytes());
    // Elsewhere a tie does nothing and takes no argument.
    EXPECT_EQ(compile_phrase(Phrase().tie().note(1, 8).voice(2).tie().note(1, 8)),
              EventRecords().note(60, 7, 1).voice(2).note(60, 7, 1).bytes());
}

TEST_F(ScoreCompilerTest, GateAndReleaseSelectTheSplitRule)
{
    EXPECT_EQ(compile_phrase(Phrase()
                                 .gate(7)
                                 .note(1, 48)  // whole gate: one silent tick
                                 .release(10)
                                 .note(1, 48)  // fixed tail
                                 .note(1, 6)
                                 .gate(3)
                                 .note(1, 48)),  // back to eighths
              EventRecords().note(60, 47, 1).note(60, 38, 10).note(60, 1, 5).note(60, 24, 24).bytes());
}

TEST_F(ScoreCompilerTest, UntiedNotesOfLengthZeroOrWithAnOverlongGateStayWithinTheirLength)
{
    EXPECT_EQ(compile_phrase(Phrase().note(1, 0)), EventRecords().rest(0).bytes());
    EXPECT_EQ(compile_phrase(Phrase().gate(8).note(1, 16).gate(255).note(1, 48)),
              EventRecords().note(60, 16, 0).note(60, 48, 0).bytes());
}

TEST_F(ScoreCompilerTest, OctaveCommands)
{
    EXPECT_EQ(compile_phrase(Phrase().octave(2).note(1, 1).octave_up().note(1, 1).octave_down().octave_down().note(12, 1)),
              EventRecords().note(36, 1, 0).note(48, 1, 0).note(35, 1, 0).bytes());
    // Below octave 0: step 1 of octave -1 is note 0.
    EXPECT_EQ(compile_phrase(Phrase().octave(0).octave_down().note(1, 1)), EventRecords().note(0, 1, 0).bytes());
}

TEST_F(ScoreCompilerTest, OneNoteOctaveShiftsApplyToTheNextNoteOrRestOnly)
{
    EXPECT_EQ(compile_phrase(Phrase().next_octave_up().note(1, 1).note(1, 1).next_octave_down().note(1, 1)),
              EventRecords().note(72, 1, 0).note(60, 1, 0).note(48, 1, 0).bytes());
    // Two shifts add up; a rest uses a shift up.
    EXPECT_EQ(compile_phrase(Phrase().next_octave_up().next_octave_up().note(1, 1).next_octave_down().rest(5).note(1, 1)),
              EventRecords().note(84, 1, 0).rest(5).note(60, 1, 0).bytes());
    // An octave command cancels a pending shift.
    EXPECT_EQ(compile_phrase(Phrase()
                                 .next_octave_up()
                                 .octave_up()
                                 .note(1, 1)
                                 .next_octave_down()
                                 .octave_down()
                                 .note(1, 1)
                                 .next_octave_up()
                                 .octave(2)
                                 .note(1, 1)),
              EventRecords().note(72, 1, 0).note(60, 1, 0).note(36, 1, 0).bytes());
}

TEST_F(ScoreCompilerTest, NotesOutsideTheMidiRangeBecomeRestsOfTheirWholeLength)
{
    EXPECT_EQ(compile_phrase(Phrase()
                                 .octave(9)
                                 .note(8, 48)   // 127: the highest note
                                 .note(9, 48)   // 128
                                 .note(10, 20)
                                 .tie()  // the tie is still taken
                                 .octave(10)
                                 .note(1, 48)
                                 .octave(255)
                                 .note(12, 48)),
              EventRecords().note(127, 42, 6).rest(48).rest(20).rest(48).rest(48).bytes());
    // Two octaves below 0, and the one-note shift into range and out of it.
    EXPECT_EQ(compile_phrase(Phrase().octave(0).octave_down().octave_down().note(12, 30).next_octave_up().note(1, 1)
                                 .octave(9).next_octave_up().note(1, 3)),
              EventRecords().rest(30).note(0, 1, 0).rest(3).bytes());
}

TEST_F(ScoreCompilerTest, StateCarriesAcrossPhrasesAndIsResetForEachChannel)
{
    ScoreBuilder builder;
    const int setup = builder.add(Phrase().octave(6).default_length(16).gate(7).release(4).next_octave_up());
    const int play = builder.add(Phrase().note_default(1));
    builder.channel(0, {setup, play, play});
    builder.channel(1, {play});
    ASSERT_TRUE(compile(builder.build()));
    EXPECT_EQ(stream_bytes(player, 0), EventRecords().note(96, 12, 4).note(84, 12, 4).end().bytes());
    EXPECT_EQ(stream_bytes(player, 1), EventRecords().note(60, 42, 6).end().bytes());
}

TEST_F(ScoreCompilerTest, LoopStartRules)
{
    ScoreBuilder builder;
    const int note = builder.add(Phrase().note_default(1));
    const int empty = builder.add(Phrase());
    const int control = builder.add(Phrase().voice(1));
    builder.channel(0, {note, note}, 2);          // index past the list: loops from 0
    builder.channel(1, {note, empty, control}, 1);  // empty phrase: where the next record goes
    builder.channel(2, {note, empty}, 1);         // ...or the end record
    builder.channel(3, {}, 0);                    // no phrases
    builder.channel(5, {control, note, note}, 2);
    ASSERT_TRUE(compile(builder.build()));
    EXPECT_EQ(stream_bytes(player, 0), EventRecords().note(60, 42, 6).note(60, 42, 6).end().bytes());
    EXPECT_EQ(stream_bytes(player, 1), EventRecords().note(60, 42, 6).voice(1).end(6).bytes());
    EXPECT_EQ(stream_bytes(player, 2), EventRecords().note(60, 42, 6).end(6).bytes());
    EXPECT_EQ(stream_bytes(player, 3), EventRecords().end().bytes());
    EXPECT_EQ(stream_bytes(player, 4), EventRecords().end().bytes());
    EXPECT_EQ(stream_bytes(player, 5),
              EventRecords().voice(1).note(60, 42, 6).note(60, 42, 6).end(8).bytes());
}

TEST_F(ScoreCompilerTest, TheLastTempoCompiledWinsAndAScoreWithoutOneKeepsThePreviousTempo)
{
    ScoreBuilder builder;
    const int slow = builder.add(Phrase().tempo(50));
    const int fast = builder.add(Phrase().tempo(120));
    builder.channel(2, {slow, fast, slow});
    builder.channel(1, {fast});
    ASSERT_TRUE(compile(builder.build()));
    EXPECT_EQ(player.tempo, 50);

    ScoreBuilder plain;
    plain.channel(0, {plain.add(Phrase().note(1, 8))});
    ASSERT_TRUE(compile(plain.build()));
    EXPECT_EQ(player.tempo, 50);
}

}  // namespace
}  // namespace tambelo
