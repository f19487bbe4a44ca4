#pragma once

#include <string>
#include <vector>

namespace tambelo::testing {

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
