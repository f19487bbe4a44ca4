#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tambelo {

// One event of a Standard MIDI File, with running status resolved.
struct MidiEvent {
    std::int64_t tick = 0;      // absolute file tick within its track
    int track = 0;              // 0-based
    std::uint8_t status = 0;    // 0x80..0xEF a channel message, 0xF0/0xF7 System Exclusive, 0xFF meta
    std::uint8_t meta_type = 0; // meta events only
    // A channel message's data bytes; the bytes after F0 (or F7) for System
    // Exclusive; a meta event's data.
    std::vector<std::uint8_t> data;

    bool is_channel_message() const { return status >= 0x80 && status < 0xF0; }
    int channel() const { return status & 0x0F; }
    int kind() const { return status & 0xF0; }
    std::string text() const { return std::string(data.begin(), data.end()); }
};

struct MidiSong {
    int format = 0;    // 0 or 1
    int division = 0;  // file ticks per quarter note
    std::vector<std::vector<MidiEvent>> tracks;
    // The tick of each track's end-of-track event.
    std::vector<std::int64_t> track_ends;
};

// A file that cannot be read as a song: what() is one line naming the place
// ("track 2, byte 1234: ...", byte offsets counted in the whole file).
class MidiFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a Standard MIDI File of format 0 or 1 with metrical time. Refuses,
// with MidiFileError, anything else: a file that is not one, format 2 (whose
// tracks are independent songs), SMPTE time, a track that runs past the end
// of the file or lacks its end-of-track event, a data byte where running
// status has been cancelled by a meta or System Exclusive event. Chunks of
// other types are skipped, as the format asks.
MidiSong parse_midi_file(std::span<const std::uint8_t> bytes);

}  // namespace tambelo
