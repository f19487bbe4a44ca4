#include "cli/authoring/voice_set_source.h"

#include <gtest/gtest.h>

namespace tambelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pack_voices(const std::string& toml_text)
{
    return encode_voice_set(parse_voice_set(toml::parse(toml_text), "voices.toml"), "voices.toml");
}

std::string voice_error(const std::string& toml_text)
{
    try {
        pack_voices(toml_text);
    } catch (const SourceError& error) {
        return error.what();
    }
    return "";
}

// The 27-byte header of a voice set.
Bytes header(int tempo_base, int voice_count, bool drums)
{
    Bytes out(27, 0);
    out[7] = static_cast<std::uint8_t>(tempo_base);
    out[24] = 7;
    out[25] = static_cast<std::uint8_t>(voice_count);
    out[26] = drums ? 1 : 0;
    return out;
}

// bank, program, volume, reverb, chorus, key offset (64 = none), pan
Bytes record(int bank, int program, int volume = 100, int reverb = 40, int chorus = 40,
             int key_offset = 64, int pan = 64)
{
    return {static_cast<std::uint8_t>(bank),       static_cast<std::uint8_t>(program),
            static_cast<std::uint8_t>(volume),     static_cast<std::uint8_t>(reverb),
            static_cast<std::uint8_t>(chorus),     static_cast<std::uint8_t>(key_offset),
            static_cast<std::uint8_t>(pan)};
}

Bytes operator+(Bytes first, const Bytes& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(VoiceSetSource, AnEmptySetHoldsTheDefaults)
{
    const Bytes defaults = record(0, 0);
    EXPECT_EQ(pack_voices(""), header(64, 0, false) + defaults + defaults + defaults);
}

TEST(VoiceSetSource, VoicesStartVoicesAndDrumMapLandInTheirRecords)
{
    const auto bytes = pack_voices(R"(
tempo_base = 70
[start]
3 = 9                       # the same as voice 9
5 = { program = 33, key_offset = -12 }
[voice.9]
bank = 8
program = 48
volume = 90
reverb = 60
chorus = 10
key_offset = 12
pan = 30
[voice.1]
kit = 0
volume = 110
[voice.255]
program = 1
[drums.0]
c2 = 36
"f#2" = 42
40 = 40
[drums.7]
c8 = 81
)");
    const Bytes strings = record(8, 48, 90, 60, 10, 76, 30);
    const Bytes expected =
        header(70, 3, true) + strings + record(0, 0) + record(0, 33, 100, 40, 40, 52) +
        Bytes{1} + record(255, 0, 110) + Bytes{9} + strings + Bytes{255} + record(0, 1) +
        // Each drum entry is kit, the note 12 lower, drum note; kit by kit, note by note.
        Bytes{4, 0, 24, 36, 0, 28, 40, 0, 30, 42, 7, 96, 81};
    EXPECT_EQ(bytes, expected);
}

TEST(VoiceSetSource, MistakesPointAtTheirKey)
{
    EXPECT_EQ(voice_error("[voice.1]\nprogramm = 3"),
              "voices.toml:2:1: unknown key 'programm' (known keys: bank, kit, program, volume, "
              "reverb, chorus, key_offset, pan)");
    EXPECT_EQ(voice_error("[voice.1]\nbank = 0\nkit = 1"),
              "voices.toml:3:7: a voice has either a bank (melodic) or a kit (drums), not both");
    EXPECT_EQ(voice_error("[voice.1]\nbank = 128"), "voices.toml:2:8: bank must be 0 to 127, not 128");
    EXPECT_EQ(voice_error("[voice.256]\nprogram = 1"),
              "voices.toml:1:8: a voice number must be a number from 0 to 255, not '256'");
    EXPECT_EQ(voice_error("[drums.0]\n\"c-0\" = 35"),
              "voices.toml:2:1: 'c-0' is not a note from 12 to 127 (write a number or a name such "
              "as c2 or f#2)");
    EXPECT_EQ(voice_error("[drums.0]\nc2 = 36\n36 = 35"),
              "voices.toml:2:1: note 36 of kit 0 is mapped twice");
    EXPECT_EQ(voice_error("[drums.8]\nc2 = 36"),
              "voices.toml:1:8: a drum kit must be a number from 0 to 7, not '8'");
    EXPECT_EQ(voice_error("[start]\n6 = 1"),
              "voices.toml:2:1: a start voice's channel must be a number from 3 to 5, not '6'");
    EXPECT_EQ(voice_error("[start]\n3 = 2"), "voices.toml:2:5: there is no [voice.2]");
    EXPECT_EQ(voice_error("tempo_base = \"fast\""), "voices.toml:1:14: tempo_base must be a whole number");
}

}  // namespace
}  // namespace tambelo
