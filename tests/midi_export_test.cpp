#include "cli/export/midi_file.h"
#include "cli/export/track_export.h"
#include "library/frozen_clock_sequencer.h"
#include "library/player.h"
#include "library/render/track_span.h"
#include "library/voice_set.h"
#include "tests/support/midi_file_reader.h"
#include "tests/support/event_records.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tambelo {
namespace {

using testing::MidiFileData;
using testing::MidiFileEvent;
using testing::StreamSet;

std::unique_ptr<FrozenClockSequencer> open_streams(const StreamSet& set, int tempo = 64)
{
    return FrozenClockSequencer::open([&set, tempo](Player& player) {
        set.copy_into(player);
        reset_voice_set(player);
        player.tempo = tempo;
        return true;
    });
}

MidiFileData read_back(const std::vector<std::uint8_t>& bytes)
{
    std::string why;
    auto file = testing::read_midi_file(bytes, &why);
    EXPECT_TRUE(file) << why;
    return file ? *file : MidiFileData{};
}

std::vector<const MidiFileEvent*> find(const MidiFileData& file, auto&& matches)
{
    std::vector<const MidiFileEvent*> found;
    for (const auto& track : file.tracks)
        for (const auto& event : track)
            if (matches(event))
                found.push_back(&event);
    return found;
}

bool is_note_on(const MidiFileEvent& event, int note)
{
    return (event.status & 0xF0) == 0x90 && event.data[0] == note && event.data[1] != 0;
}

bool is_marker(const MidiFileEvent& event, const std::string& text)
{
    return event.status == 0xFF && event.meta_type == 0x06 && event.text() == text;
}

TEST(MidiTiming, NoMomentIsMovedByMoreThanHalfAMillisecondOverHours)
{
    // Every tempo divisor a score and voice set can give, events up to three
    // hours into the file.
    for (int divisor = 1; divisor <= 319; divisor += 3) {
        const double tick_ms = 1136.364583333333257542108185589313507080078125 / divisor;
        const MidiTiming timing = choose_midi_timing(tick_ms);
        ASSERT_GT(timing.division, 0);
        ASSERT_LE(timing.division, 0x7FFF);
        ASSERT_LE(timing.tempo_us, 0xFFFFFFu);
        const auto last_tick = static_cast<std::int64_t>(3 * 3600 * 1000.0 / tick_ms);
        for (std::int64_t tick = 1; tick <= last_tick; tick += 997) {
            const double ideal = tick_time_ms(tick, tick_ms);
            ASSERT_NEAR(timing.time_ms(timing.file_tick(ideal)), ideal, 0.5) << "divisor " << divisor;
        }
    }
}

TEST(MidiExport, ALoopingTrackIsUnrolledWithItsLoopPointsMarked)
{
    StreamSet set;
    set.channel(0).note(60, 20, 4).loop_here().note(62, 40, 8).end();
    set.channel(1).rest(24).loop_here().note(43, 30, 18).end();
    auto track = open_streams(set);
    const double tick_ms = track->tick_length_ms();
    ASSERT_EQ(track->length(), (TrackLength{TrackLength::Kind::loops, 0, 40, 48}));

    const auto bytes = export_midi_file(play_messages(*track, 3), {3, "Battle", "A Game"});
    const MidiFileData file = read_back(bytes);
    ASSERT_EQ(file.format, 0);
    ASSERT_EQ(file.tracks.size(), 1u);
    const MidiTiming timing = choose_midi_timing(tick_ms);
    EXPECT_EQ(file.division, timing.division);
    auto file_tick = [&](std::int64_t tick) { return timing.file_tick(tick_time_ms(tick, tick_ms)); };

    // Note 62 starts every cycle: ticks 40, 88 and 136.
    const auto notes = find(file, [](const MidiFileEvent& e) { return is_note_on(e, 62); });
    ASSERT_EQ(notes.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(notes[i]->tick, file_tick(40 + 48 * i));
        EXPECT_NEAR(file.time_ms(notes[i]->tick), tick_time_ms(40 + 48 * i, tick_ms), 1.0);
    }
    const auto starts = find(file, [](const MidiFileEvent& e) { return is_marker(e, "loopStart"); });
    const auto ends = find(file, [](const MidiFileEvent& e) { return is_marker(e, "loopEnd"); });
    const auto cc111 = find(file, [](const MidiFileEvent& e) {
        return (e.status & 0xF0) == 0xB0 && e.data[0] == 111;
    });
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(ends.size(), 1u);
    ASSERT_EQ(cc111.size(), 1u);
    EXPECT_EQ(starts[0]->tick, file_tick(40));
    EXPECT_EQ(cc111[0]->tick, file_tick(40));
    EXPECT_EQ(ends[0]->tick, file_tick(88));
    // The marker comes before the notes of its moment, so a player that
    // jumps there plays them.
    EXPECT_LT(starts[0], notes[0]);
    EXPECT_LT(ends[0], notes[1]);

    // The end: intro and three loops, every note released.
    const MidiFileEvent& last = file.tracks[0].back();
    EXPECT_EQ(last.meta_type, 0x2F);
    EXPECT_EQ(last.tick, file_tick(40 + 3 * 48));
    int sounding = 0;
    for (const auto& event : file.tracks[0])
        if ((event.status & 0xF0) == 0x90)
            sounding += event.data[1] != 0 ? 1 : -1;
    EXPECT_EQ(sounding, 0);

    // Names, tempo and the GS reset come first.
    const auto& events = file.tracks[0];
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0].meta_type, 0x03);
    EXPECT_EQ(events[0].text(), "Battle");
    EXPECT_EQ(events[1].meta_type, 0x01);
    EXPECT_EQ(events[1].text(), "A Game");
    EXPECT_EQ(events[2].meta_type, 0x51);
    EXPECT_EQ(events[3].status, 0xF0);
    EXPECT_EQ(events[3].data, (std::vector<std::uint8_t>{0x41, 0x20, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(events[3].tick, 0);
}

TEST(MidiExport, ATrackThatEndsIsWrittenOnceWithoutLoopPoints)
{
    StreamSet set;
    set.channel(0).note(60, 20, 4).note(64, 20, 4).no_loop().end();
    auto track = open_streams(set, 90);
    const auto file = read_back(export_midi_file(play_messages(*track, 5), {1, "Fanfare", ""}));
    EXPECT_EQ(find(file, [](const MidiFileEvent& e) { return is_note_on(e, 60); }).size(), 1u);
    EXPECT_TRUE(find(file, [](const MidiFileEvent& e) { return e.meta_type == 0x06; }).empty());
    EXPECT_TRUE(find(file, [](const MidiFileEvent& e) { return e.meta_type == 0x01; }).empty());
    const double tick_ms = track->tick_length_ms();
    EXPECT_NEAR(file.time_ms(file.tracks[0].back().tick), tick_time_ms(64, tick_ms), 0.5);
    // The device is silenced at the end, as the player does.
    const auto silencing = find(file, [](const MidiFileEvent& e) {
        return (e.status & 0xF0) == 0xB0 && e.data[0] == 120;
    });
    EXPECT_EQ(silencing.size(), 10u);
}

TEST(MidiExport, LoopsOfDifferentLengthsGetNoLoopPoints)
{
    StreamSet set;
    set.channel(0).note(60, 40, 8).end();
    set.channel(1).note(48, 60, 12).end();
    auto track = open_streams(set);
    ASSERT_TRUE(track->length().cycles_differ);
    const auto file = read_back(export_midi_file(play_messages(*track, 2), {2, "Town", ""}));
    EXPECT_TRUE(find(file, [](const MidiFileEvent& e) { return e.meta_type == 0x06; }).empty());
    EXPECT_TRUE(find(file, [](const MidiFileEvent& e) {
                    return (e.status & 0xF0) == 0xB0 && e.data[0] == 111;
                }).empty());
    const MidiTiming timing = choose_midi_timing(track->tick_length_ms());
    // Two of the longest cycle: 16 + 2 x 72 ticks.
    EXPECT_EQ(file.tracks[0].back().tick, timing.file_tick(tick_time_ms(16 + 144, track->tick_length_ms())));
}

TEST(MidiFile, LongDeltasAndSystemExclusiveLengthsAreWrittenAsVariableLengthNumbers)
{
    MidiFileContent content;
    content.timing = {1000, 1000000};  // one file tick per millisecond
    content.messages = {{0.0, {0xC3, 5}},
                        {200000.0, std::vector<std::uint8_t>(200, 0x10)},  // not a message: left out
                        {300000.0, [] {
                             std::vector<std::uint8_t> sysex(300, 0x11);
                             sysex.front() = 0xF0;
                             sysex.back() = 0xF7;
                             return sysex;
                         }()}};
    content.end_ms = 300001.0;
    const auto file = read_back(build_midi_file(content));
    ASSERT_EQ(file.tracks.size(), 1u);
    const auto& events = file.tracks[0];
    ASSERT_EQ(events.size(), 4u);  // tempo, program change, sysex, end
    EXPECT_EQ(events[1].status, 0xC3);
    EXPECT_EQ(events[1].data, (std::vector<std::uint8_t>{5}));
    EXPECT_EQ(events[2].tick, 300000);
    EXPECT_EQ(events[2].data.size(), 299u);
    EXPECT_EQ(events[3].tick, 300001);
}

}  // namespace
}  // namespace tambelo
