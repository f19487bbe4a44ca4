#pragma once

#include "library/player.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tambelo::testing {

// Writes event records into one of a Player's streams, laid out as the
// score compiler writes them, so that a test reads like the events it
// plays: StreamWriter(player, 0).voice(3).note(60, 42).rest(6).end(0).
class StreamWriter {
public:
    StreamWriter(Player& player, int channel);

    StreamWriter& note(int number, int wait_ticks);
    StreamWriter& rest(int wait_ticks);
    StreamWriter& voice(int number);
    StreamWriter& velocity(int value);
    StreamWriter& velocity_add(int delta);
    StreamWriter& pan(int value);
    StreamWriter& fine_tune(int amount);
    StreamWriter& skip(int operand);
    StreamWriter& no_loop();
    StreamWriter& end(int loop_position = 0);
    StreamWriter& bytes(std::initializer_list<int> values);

    // Where the next record goes: a loop position for end().
    std::int32_t position() const { return stream_.position; }

private:
    StreamWriter& put(int value);

    EventStream& stream_;
};

// Every stream holds only its end record: a track without music.
void write_empty_streams(Player& player);

// Message texts as the recording device formats them: "B3 07 64".
std::string control_text(int channel, int controller, int value);
std::string program_text(int channel, int program);
std::string note_text(int channel, int note, int velocity);
// The twenty messages that silence the device.
std::vector<std::string> silence_texts();
// What the device reset sends when all three start voices are the default
// voice (a track without a voice set).
std::vector<std::string> reset_texts_with_default_voices();

}  // namespace tambelo::testing
