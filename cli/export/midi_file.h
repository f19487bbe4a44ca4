#pragma once

#include <tambelo/track_messages.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// How a Standard MIDI File measures time: `division` file ticks per quarter
// note and `tempo_us` microseconds per quarter note.
struct MidiTiming {
    int division = 0;
    std::uint32_t tempo_us = 0;

    // The file tick nearest to `time_ms`.
    std::int64_t file_tick(double time_ms) const;
    // The moment a file tick stands for, in milliseconds.
    double time_ms(std::int64_t file_tick) const;
};

// Division and tempo for music whose events fall on multiples of
// `tick_length_ms`: a quarter note spans 48 sequencer ticks where the format
// allows (fewer for very slow tempos), and every sequencer tick is split into
// whole file ticks of at most 1 ms, so that rounding any moment to the
// nearest file tick moves it by at most half a millisecond however long the
// file is. Expects a positive, finite tick length below about 1.4 s.
MidiTiming choose_midi_timing(double tick_length_ms);

// What goes into one exported file: a single track (format 0).
struct MidiFileContent {
    std::string track_name;  // sequence/track name meta event; empty for none
    std::string text;        // text meta event; empty for none
    MidiTiming timing;
    std::vector<TimedMessage> messages;  // in time order
    // Marker "loopStart" with controller 111 (value 0, channel 0) and marker
    // "loopEnd", placed before the messages of their moment.
    std::optional<double> loop_start_ms;
    std::optional<double> loop_end_ms;
    double end_ms = 0.0;  // end of track; never before the last message
};

// The bytes of a Standard MIDI File of format 0 holding `content`. System
// Exclusive messages are written as F0 events; short messages without
// running status; anything else (a short message without a channel status
// byte, an empty message) is left out.
std::vector<std::uint8_t> build_midi_file(const MidiFileContent& content);

}  // namespace tambelo
