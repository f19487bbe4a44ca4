#pragma once

#include <cstdint>
#include <vector>

namespace tambelo::testing {

// One voice's seven values as a voice set stores them; the defaults are those
// a player falls back on.
struct Voice {
    int bank = 0;
    int program = 0;
    int volume = 100;
    int reverb = 40;
    int chorus = 40;
    int key_offset = 64;
    int pan = 64;
};

// Lays out a voice set: tempo base at byte 7, record size, numbered record
// count and drum-map flag at 24..26, three start-voice records from 27, the
// numbered records (index byte, then the record), then the drum-map triples.
class VoiceSetBuilder {
public:
    VoiceSetBuilder& tempo_base(int value);
    // Bytes per record. Above 7 the extra bytes are filled with 0xEE; below 7
    // each record keeps only its first `size` values and the records overlap.
    VoiceSetBuilder& record_size(int size);
    VoiceSetBuilder& start_voice(int which, const Voice& voice);  // which: 0..2
    VoiceSetBuilder& numbered(int index, const Voice& voice);
    // Adds a drum-map triple and sets the drum-map flag.
    VoiceSetBuilder& drum(int kit, int key, int note);
    // Sets the drum-map flag, with no triple so far.
    VoiceSetBuilder& drum_section();

    std::vector<std::uint8_t> build() const;

private:
    struct Numbered {
        int index;
        Voice voice;
    };
    struct Triple {
        int kit, key, note;
    };
    int tempo_base_ = 64;
    int record_size_ = 7;
    Voice start_voices_[3];
    std::vector<Numbered> numbered_;
    bool drum_section_ = false;
    std::vector<Triple> triples_;
};

}  // namespace tambelo::testing
