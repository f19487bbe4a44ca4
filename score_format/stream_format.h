#pragma once

#include <cstdint>

namespace tambelo {

// The two byte formats the player works with: the score commands that the
// score compiler reads, and the records of a compiled event stream that the
// sequencer reads. Both the player and the authoring tools use these names.

// Score commands. Note commands carry their step (0 = rest, 1..12 the
// semitones of the octave from its lowest) in the code.
inline constexpr std::uint8_t SC_NOTE = 0;             // + step; one length byte
inline constexpr std::uint8_t SC_NOTE_WORD = 13;       // + step; 16-bit length
inline constexpr std::uint8_t SC_NOTE_DEFAULT = 128;   // + step; the default length
inline constexpr std::uint8_t SC_TIE = 233;
inline constexpr std::uint8_t SC_RELEASE = 234;
inline constexpr std::uint8_t SC_OCTAVE_UP = 238;
inline constexpr std::uint8_t SC_OCTAVE_DOWN = 239;
inline constexpr std::uint8_t SC_OCTAVE = 240;
inline constexpr std::uint8_t SC_GATE = 242;
inline constexpr std::uint8_t SC_LENGTH = 243;
inline constexpr std::uint8_t SC_TEMPO = 244;
inline constexpr std::uint8_t SC_NEXT_OCTAVE_DOWN = 247;
inline constexpr std::uint8_t SC_NEXT_OCTAVE_UP = 248;
inline constexpr std::uint8_t SC_PHRASE_END = 255;

// Event records. A note record's code is the note number itself (0..127).
// The control events are copied from the score command of the same code.
inline constexpr std::uint8_t EV_REST = 128;           // 16-bit wait
inline constexpr std::uint8_t EV_SKIP = 224;           // 1 byte, no effect
inline constexpr std::uint8_t EV_VELOCITY_ADD = 225;   // signed byte
inline constexpr std::uint8_t EV_PAN = 235;
inline constexpr std::uint8_t EV_NO_LOOP = 236;        // no operand
inline constexpr std::uint8_t EV_VOICE = 245;
inline constexpr std::uint8_t EV_VELOCITY = 249;
inline constexpr std::uint8_t EV_FINE_TUNE = 252;      // signed byte
inline constexpr std::uint8_t EV_END = 255;            // 24-bit loop position

inline constexpr int end_record_size = 4;

// Size of the record that starts with `code`, the code included. The
// sequencer steps over codes it does not know one byte at a time.
constexpr int event_record_size(std::uint8_t code)
{
    if (code <= EV_REST)
        return 3;
    switch (code) {
    case EV_SKIP:
    case EV_VELOCITY_ADD:
    case EV_PAN:
    case EV_VOICE:
    case EV_VELOCITY:
    case EV_FINE_TUNE:
        return 2;
    case EV_END:
        return end_record_size;
    default:
        return 1;
    }
}

}  // namespace tambelo
