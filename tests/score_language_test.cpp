#include "cli/authoring/score_encoder.h"
#include "cli/authoring/score_parser.h"
#include "cli/authoring/tempo_conversion.h"
#include "tests/support/score_builder.h"

#include <gtest/gtest.h>

#include <ctime>

namespace tambelo {
namespace {

using testing::Bytes;
using testing::ScoreBuilder;
using Commands = testing::Phrase;

// A phrase's bytes with its end byte, as the packer writes them.
Bytes code(const Commands& commands)
{
    Bytes bytes = commands.bytes();
    bytes.push_back(255);
    return bytes;
}

// The bytes of the first phrase of `source`, packed on its own (so no
// default length is known when the phrase begins).
Bytes first_phrase(const std::string& source, int tempo_base = 64)
{
    const ScoreSource score = parse_score(source + "\nchannel 0: p", "test.mml");
    return encode_phrase(score.phrases.at(0), tempo_base, "test.mml");
}

Bytes phrase_of(const std::string& commands)
{
    return first_phrase("phrase p { " + commands + " }");
}

// The message of the SourceError that packing `source` throws, or "".
std::string pack_error(const std::string& source, int tempo_base = 64)
{
    try {
        encode_score(parse_score(source, "song.mml"), tempo_base);
    } catch (const SourceError& error) {
        return error.what();
    }
    return "";
}

TEST(ScoreLanguage, NotesNameTheirStepsAndAccidentalsMoveThem)
{
    EXPECT_EQ(phrase_of("c d e f g a b"), code(Commands()
                                                  .note_default(1)
                                                  .note_default(3)
                                                  .note_default(5)
                                                  .note_default(6)
                                                  .note_default(8)
                                                  .note_default(10)
                                                  .note_default(12)));
    EXPECT_EQ(phrase_of("c+ c# d- e-- f++"), code(Commands()
                                                     .note_default(2)
                                                     .note_default(2)
                                                     .note_default(2)
                                                     .note_default(3)
                                                     .note_default(8)));
}

TEST(ScoreLanguage, AccidentalsAcrossTheOctaveAndOneNoteShiftsBecomeNextOctaveCommands)
{
    EXPECT_EQ(phrase_of("b+ c- c' c,, b+,"), code(Commands()
                                                     .next_octave_up()
                                                     .note_default(1)
                                                     .next_octave_down()
                                                     .note_default(12)
                                                     .next_octave_up()
                                                     .note_default(1)
                                                     .next_octave_down()
                                                     .next_octave_down()
                                                     .note_default(1)
                                                     .note_default(1)));
}

TEST(ScoreLanguage, LengthsTakeTheShortestForm)
{
    // 192 ticks make a whole note; dots add half of the previous part; ^ adds lengths.
    EXPECT_EQ(phrase_of("c4 c4. c8.. c12 c%255 c%256 c1^1 r16 r"), code(Commands()
                                                                           .note(1, 48)
                                                                           .note(1, 72)
                                                                           .note(1, 42)
                                                                           .note(1, 16)
                                                                           .note(1, 255)
                                                                           .note_word(1, 256)
                                                                           .note_word(1, 384)
                                                                           .rest(12)
                                                                           .note_default(0)));
    // After an l in the phrase a note of that length needs no length bytes.
    EXPECT_EQ(phrase_of("l8 c8 d e4 l%127 l%128 l%32767 r%32767"), code(Commands()
                                                                           .default_length(24)
                                                                           .note_default(1)
                                                                           .note_default(3)
                                                                           .note(5, 48)
                                                                           .default_length(127)
                                                                           .default_length(128)
                                                                           .default_length(32767)
                                                                           .note_default(0)));
    EXPECT_EQ(phrase_of("l%128"), (Bytes{243, 128, 128, 255}));
}

TEST(ScoreLanguage, ControlsMapOntoTheirCommands)
{
    EXPECT_EQ(phrase_of("c4& d o5 > < q8 q1 Q10 @3 p0 v100 v+10 v-10 k-64 k63 !"),
              code(Commands()
                       .note(1, 48)
                       .tie()
                       .note_default(3)
                       .octave(5)
                       .octave_up()
                       .octave_down()
                       .gate(7)
                       .gate(0)
                       .release(10)
                       .voice(3)
                       .pan(0)
                       .velocity(100)
                       .velocity_add(10)
                       .velocity_add(-10)
                       .fine_tune(-64)
                       .fine_tune(63)
                       .no_loop()));
}

TEST(ScoreLanguage, BarLinesCommentsAndLineBreaksAreForTheReader)
{
    EXPECT_EQ(first_phrase("\xEF\xBB\xBFphrase p {  // the tune\n  c d | e\n\tf // end\n}"),
              code(Commands().note_default(1).note_default(3).note_default(5).note_default(6)));
}

TEST(ScoreLanguage, TempoInBeatsPerMinuteBecomesTheTempoValueAtTheTempoBase)
{
    // 120 BPM: 48 ticks in 500 ms, a tick of 10.4 ms, divisor 109.
    EXPECT_EQ(phrase_of("t120"), code(Commands().tempo(109)));
    EXPECT_EQ(first_phrase("phrase p { t120 }", 80), code(Commands().tempo(125)));
    EXPECT_EQ(phrase_of("t60.5"), code(Commands().tempo(55)));
    EXPECT_NEAR(bpm_for_tempo(109, 64), 119.9, 0.05);
    EXPECT_NEAR(bpm_for_tempo(125, 80), 119.9, 0.05);
    EXPECT_EQ(tempo_for_bpm(280, 64), 255);
    EXPECT_EQ(tempo_for_bpm(300, 64), std::nullopt);
    EXPECT_EQ(tempo_for_bpm(0.3, 64), std::nullopt);  // the divisor would round to 0
    EXPECT_EQ(lowest_tempo(200), 137);
}

TEST(ScorePacking, AScoreIsHeaderPhraseListsAndEachPhraseOnce)
{
    const auto bytes = encode_score(parse_score("phrase intro { t120 c }\n"
                                                "phrase tune { d }\n"
                                                "channel 2: intro | tune*2\n",
                                                "song.mml"),
                                    64);
    ScoreBuilder expected;
    const int intro = expected.add(Commands().tempo(109).note_default(1));
    const int tune = expected.add(Commands().note_default(3));
    expected.channel(2, {intro, tune, tune}, 1);
    EXPECT_EQ(bytes, expected.build());
}

TEST(ScorePacking, AScoreWithoutTempoPlaysItsLowestChannelFirstAtTheDefaultTempo)
{
    const auto bytes =
        encode_score(parse_score("phrase a { c }\nchannel 5: | a\nchannel 1: a | a", "song.mml"), 64);
    // Channel 1, the lowest, plays the tempo phrase first; its loop start moves by one.
    ScoreBuilder expected;
    const int tempo = expected.add(Commands().tempo(109));
    const int a = expected.add(Commands().note_default(1));
    expected.channel(5, {a}, 0).channel(1, {tempo, a, a}, 2);
    EXPECT_EQ(bytes, expected.build());
}

TEST(ScorePacking, ADefaultLengthCarriedIntoAPhraseSavesItsLengthBytes)
{
    const auto bytes = encode_score(parse_score("phrase a { t120 l8 c }\nphrase b { c8 c4 }\n"
                                                "phrase c { c4 }\nchannel 0: a b c\nchannel 1: c",
                                                "song.mml"),
                                    64);
    // b always starts after a's l8; c starts with 24 ticks on channel 0 and
    // 48 on channel 1, so its length stays written.
    ScoreBuilder expected;
    const int a = expected.add(Commands().tempo(109).default_length(24).note_default(1));
    const int b = expected.add(Commands().note_default(1).note(1, 48));
    const int c = expected.add(Commands().note(1, 48));
    expected.channel(0, {a, b, c}).channel(1, {c});
    EXPECT_EQ(bytes, expected.build());
}

TEST(ScoreLanguage, ManyPhrasesAreFoundInTimeLinearInTheirNumber)
{
    // Each definition and each use looks its name up: searched along the
    // list, 200,000 phrases took minutes.
    constexpr int count = 200000;
    std::string source;
    std::string uses = "channel 0:";
    for (int i = 0; i < count; ++i) {
        source += "phrase p" + std::to_string(i) + " { c }\n";
        uses += " p" + std::to_string(count - 1 - i);
    }
    // Processor time, so that a busy machine does not fail the test.
    const std::clock_t start = std::clock();
    const ScoreSource score = parse_score(source + uses, "song.mml");
    const double took_s = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    ASSERT_EQ(score.phrases.size(), std::size_t{count});
    EXPECT_EQ(score.find_phrase("p12345"), &score.phrases[12345]);
    EXPECT_EQ(score.find_phrase("p200000"), nullptr);
    EXPECT_LT(took_s, 5.0);
}

TEST(ScoreErrors, PointAtTheMistake)
{
    EXPECT_EQ(pack_error("phrase a { c4 x }"), "song.mml:1:15: unknown command 'x'");
    EXPECT_EQ(pack_error("phrase a {\n  c5 }"),
              "song.mml:2:4: note value 5 is not a whole number of ticks (192 ticks make a whole "
              "note; write %ticks instead)");
    EXPECT_EQ(pack_error("phrase a { c64. }"),
              "song.mml:1:13: this dotted length is not a whole number of ticks");
    EXPECT_EQ(pack_error("phrase a { c }\nchannel 0: a nope"), "song.mml:2:14: no phrase is named nope");
    EXPECT_EQ(pack_error("phrase a { & c }"), "song.mml:1:12: a tie & must follow a note");
    EXPECT_EQ(pack_error("channel 9: a"), "song.mml:1:9: a channel number must be 0 to 8, not 9");
    EXPECT_EQ(pack_error("phrase a { c"), "song.mml:1:10: phrase a is not closed with }");
    EXPECT_EQ(pack_error("phrase a { c\nphrase b { d }\nchannel 0: a b"),
              "song.mml:1:10: phrase a is not closed with }");
    EXPECT_EQ(pack_error("phrase a {\n  c\nchannel 0: a"), "song.mml:1:10: phrase a is not closed with }");
    constexpr char with_nul[] = "phrase a { c \0 \xFF }";
    EXPECT_EQ(pack_error(std::string(with_nul, sizeof with_nul - 1)), "song.mml:1:14: unknown command '\\x00'");
    EXPECT_EQ(pack_error("phrase a { c \xFF }"), "song.mml:1:14: unknown command '\\xff'");
    EXPECT_EQ(pack_error("phrase a { c }\nchannel 0: a |"),
              "song.mml:2:14: the loop start | must stand before a phrase");
    EXPECT_EQ(pack_error("phrase a { v130 }"), "song.mml:1:13: a velocity must be 0 to 127, not 130");
    EXPECT_EQ(pack_error("phrase a { c%0 }"), "song.mml:1:13: a length must be at least 1 tick");
    EXPECT_EQ(pack_error("phrase a { c }"), "song.mml: the score has no channel");
    EXPECT_EQ(pack_error("phrase a { c }\nphrase a { d }\nchannel 0: a"),
              "song.mml:2:1: phrase a is defined twice");
    EXPECT_EQ(pack_error("phrase channel { c }"),
              "song.mml:1:8: 'channel' cannot name a phrase; it begins a definition");
}

TEST(ScoreErrors, ScoresThatWouldNotPlayAsWrittenAreRefused)
{
    EXPECT_EQ(pack_error("phrase a { o9 g a }\nchannel 0: a"),
              "song.mml:1:17: this note lies outside the MIDI notes 0..127 (it is note 129, at "
              "octave 9)");
    // The octave carries from phrase to phrase within a channel.
    EXPECT_EQ(pack_error("phrase a { o0 < }\nphrase b { c c, }\nchannel 0: a b"),
              "song.mml:2:14: this note lies outside the MIDI notes 0..127 (it is note -12, at "
              "octave -2)");
    EXPECT_EQ(pack_error("phrase a { c }\nphrase e { }\nchannel 0: a | e"),
              "song.mml:3:1: channel 0 loops over phrases that take no time; the loop needs a "
              "note or a rest");
    EXPECT_EQ(pack_error("phrase a { t120 c }\nphrase b { t90 c }\nchannel 0: a\nchannel 1: b"),
              "song.mml:2:12: this tempo differs from the one at 1:12; a track plays at one tempo "
              "throughout");
    EXPECT_EQ(pack_error("phrase a { t300 c }\nchannel 0: a"),
              "song.mml:1:12: tempo 300.0 BPM cannot be played at tempo base 64 (it allows 1.1 to "
              "280.5 BPM)");
    // 255 uses of a phrase of 100 notes: 153,000 bytes of events.
    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred += "c ";
    EXPECT_EQ(pack_error("phrase a { " + hundred + "}\nchannel 4: a*255"),
              "song.mml:2:1: channel 4 is too long: its events take 153004 bytes, and a channel "
              "holds at most 131072");
}

}  // namespace
}  // namespace tambelo
