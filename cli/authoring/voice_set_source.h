#pragma once

#include "cli/authoring/source_error.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <toml++/toml.h>

namespace tambelo {

// One voice as the voice archive stores it: seven bytes.
struct VoiceRecord {
    int bank = 0;  // 0..127 for a melodic voice, 255 - kit for a drum voice
    int program = 0;
    int volume = 100;
    int reverb = 40;
    int chorus = 40;
    int key_offset = 64;  // 64 + semitones
    int pan = 64;
};

// A drum map entry: when a drum voice of `kit` plays stream note `note`,
// the device hears `drum_note`.
struct DrumEntry {
    int kit = 0;
    int note = 0;  // 12..127
    int drum_note = 0;
};

struct VoiceSetSource {
    int tempo_base = 64;
    std::array<VoiceRecord, 3> start_voices;  // of channels 3, 4 and 5
    std::map<int, VoiceRecord> voices;        // by voice number 0..255
    std::vector<DrumEntry> drums;
};

// Reads a voice set from a TOML table (docs/score-language.md shows its
// keys). `file` names the source in messages. Throws SourceError.
VoiceSetSource parse_voice_set(const toml::table& table, const std::string& file);

// Reads a voice set from a TOML file.
VoiceSetSource read_voice_set_file(const std::filesystem::path& path);

// The voice archive entry: a 27-byte header (tempo base at byte 7, record
// size 7 at byte 24, record count at 25, drum-map flag at 26), the three
// start voices, the numbered voices each after its number, then the drum
// map's count and (kit, note - 12, drum note) triples. Throws SourceError
// (naming `file`) when the set holds more than 255 numbered voices or drum
// map entries, which the format cannot count.
std::vector<std::uint8_t> encode_voice_set(const VoiceSetSource& voices, const std::string& file);

}  // namespace tambelo
