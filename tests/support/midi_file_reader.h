#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tambelo::testing {

// One event of a Standard MIDI File, as an independent reader sees it.
struct MidiFileEvent {
    std::int64_t tick = 0;            // absolute file tick
    std::uint8_t status = 0;          // channel status, 0xF0 (System Exclusive) or 0xFF (meta)
    std::uint8_t meta_type = 0;       // meta events only
    std::vector<std::uint8_t> data;   // data bytes; for System Exclusive the bytes after F0
    std::string text() const { return std::string(data.begin(), data.end()); }
};

struct MidiFileData {
    int format = 0;
    int division = 0;
    std::vector<std::vector<MidiFileEvent>> tracks;

    // Events of every track, in tick order.
    std::vector<MidiFileEvent> all_events() const;
    // Milliseconds at `tick`, following the tempo events (120 bpm before the first).
    double time_ms(std::int64_t tick) const;
};

// Reads a file written by anyone, with running status; nothing when the
// bytes are not a well-formed file (with `why` set).
std::optional<MidiFileData> read_midi_file(const std::vector<std::uint8_t>& bytes, std::string* why = nullptr);

}  // namespace tambelo::testing
