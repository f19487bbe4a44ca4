#pragma once

#include "tests/support/event_records.h"  // Bytes

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tambelo::testing {

// The commands of one phrase, in score order. The phrase's end byte is added
// when the score is built.
class Phrase {
public:
    // Step 0 is a rest, 1..12 the semitones of the octave from its lowest.
    Phrase& note(int step, int length_ticks);       // one length byte
    Phrase& note_word(int step, int length_ticks);  // a 16-bit length
    Phrase& note_default(int step);                 // the channel's default length
    Phrase& rest(int length_ticks) { return note(0, length_ticks); }
    Phrase& tie();
    Phrase& octave(int value);
    Phrase& octave_up();
    Phrase& octave_down();
    Phrase& next_octave_up();
    Phrase& next_octave_down();
    Phrase& default_length(int ticks);  // one byte below 128, else two
    Phrase& gate(int argument);         // gate of argument + 1 eighths
    Phrase& release(int ticks);
    Phrase& tempo(int value);
    Phrase& voice(int index);
    Phrase& pan(int value);
    Phrase& velocity(int value);
    Phrase& velocity_add(int delta);
    Phrase& fine_tune(int value);
    Phrase& skip_event(int value);
    Phrase& no_loop();
    // Any bytes, for commands without a helper and for malformed phrases.
    Phrase& raw(std::initializer_list<int> bytes);

    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// Lays out a score: the header with its check bytes at 41..46, the channel
// table, then every channel's phrase list in channel order, then the phrases
// in the order they were added, each ended by its end byte.
class ScoreBuilder {
public:
    // Returns the phrase's number for use in phrase lists.
    int add(const Phrase& phrase);
    // Channel `channel` plays these phrases in order and loops from the one
    // at index `loop_start`. A channel not given has no phrase list.
    ScoreBuilder& channel(int channel, std::vector<int> phrases, int loop_start = 0);

    Bytes build() const;

private:
    struct ChannelList {
        int channel;
        std::vector<int> phrases;
        int loop_start;
    };
    std::vector<Phrase> phrases_;
    std::vector<ChannelList> lists_;
};

}  // namespace tambelo::testing
