#include "tests/support/message_texts.h"

#include "library/midi/recording_device.h"

namespace tambelo::testing {

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
