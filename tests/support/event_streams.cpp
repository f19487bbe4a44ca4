#include "tests/support/event_streams.h"

#include "library/midi/recording_device.h"

namespace tambelo::testing {

StreamWriter::StreamWriter(Player& player, int channel) : stream_(player.streams[channel])
{
    stream_.position = 0;
}

StreamWriter& StreamWriter::put(int value)
{
    stream_.bytes[stream_.position++] = static_cast<std::uint8_t>(value);
    return *this;
}

StreamWriter& StreamWriter::note(int number, int wait_ticks)
{
    return put(number).put(wait_ticks & 0xFF).put(wait_ticks >> 8);
}

StreamWriter& StreamWriter::rest(int wait_ticks)
{
    return put(128).put(wait_ticks & 0xFF).put(wait_ticks >> 8);
}

StreamWriter& StreamWriter::voice(int number) { return put(245).put(number); }
StreamWriter& StreamWriter::velocity(int value) { return put(249).put(value); }
StreamWriter& StreamWriter::velocity_add(int delta) { return put(225).put(delta & 0xFF); }
StreamWriter& StreamWriter::pan(int value) { return put(235).put(value); }
StreamWriter& StreamWriter::fine_tune(int amount) { return put(252).put(amount & 0xFF); }
StreamWriter& StreamWriter::skip(int operand) { return put(224).put(operand); }
StreamWriter& StreamWriter::no_loop() { return put(236); }

StreamWriter& StreamWriter::end(int loop_position)
{
    return put(255).put(loop_position & 0xFF).put((loop_position >> 8) & 0xFF).put(loop_position >> 16);
}

StreamWriter& StreamWriter::bytes(std::initializer_list<int> values)
{
    for (int value : values)
        put(value);
    return *this;
}

void write_empty_streams(Player& player)
{
    for (int channel = 0; channel < channel_count; ++channel)
        StreamWriter(player, channel).end(0);
}

std::string control_text(int channel, int controller, int value)
{
    return format_message_bytes({static_cast<std::uint8_t>(0xB0 + channel),
                                 static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value)});
}

std::string program_text(int channel, int program)
{
    return format_message_bytes({static_cast<std::uint8_t>(0xC0 + channel), static_cast<std::uint8_t>(program)});
}

std::string note_text(int channel, int note, int velocity)
{
    return format_message_bytes({static_cast<std::uint8_t>(0x90 + channel),
                                 static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity)});
}

std::vector<std::string> silence_texts()
{
    std::vector<std::string> texts;
    for (int controller : {120, 121})
        for (int channel = 0; channel < 10; ++channel)
            texts.push_back(control_text(channel, controller, 0));
    return texts;
}

std::vector<std::string> reset_texts_with_default_voices()
{
    std::vector<std::string> texts{"F0 41 20 42 12 40 00 7F 00 41 F7"};
    for (int channel = 0; channel < 10; ++channel)
        texts.push_back(control_text(channel, 121, 0));
    for (int channel = 0; channel < 10; ++channel)
        texts.push_back(control_text(channel, 7, 100));
    for (int channel = 3; channel <= 5; ++channel)
        for (const std::string& text :
             {control_text(channel, 0, 0), control_text(channel, 32, 0), program_text(channel, 0),
              control_text(channel, 7, 100), control_text(channel, 91, 40), control_text(channel, 93, 40),
              control_text(channel, 10, 64)})
            texts.push_back(text);
    return texts;
}

}  // namespace tambelo::testing
