#include "cli/authoring/toml_reading.h"
#include "cli/authoring/voice_set_source.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

namespace tambelo {
namespace {

constexpr int drum_kit_count = 8;
constexpr int lowest_drum_note = 12;  // the file stores keys from 0, 12 below the note

// "36", or a note name as the score writes it: "c2", "f#2", "b-3" (a flat
// is written with -, a sharp with # or +). Octave 4's c is note 60.
std::optional<int> note_from_key(std::string_view key)
{
    if (key.empty())
        return std::nullopt;
    std::size_t at = 0;
    int base = 0;
    if (key[0] >= 'a' && key[0] <= 'g') {
        static constexpr int steps[] = {10, 12, 1, 3, 5, 6, 8};  // a b c d e f g
        base = steps[key[0] - 'a'] + 11;
        for (at = 1; at < key.size() && (key[at] == '#' || key[at] == '+' || key[at] == '-'); ++at)
            base += key[at] == '-' ? -1 : 1;
    }
    if (at == key.size() || key.size() - at > 3)
        return std::nullopt;
    int number = 0;
    for (; at < key.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(key[at])))
            return std::nullopt;
        number = number * 10 + (key[at] - '0');
    }
    return key[0] >= 'a' ? base + 12 * number : number;
}

int number_key(const toml::key& key, int low, int high, const std::string& what,
               const std::string& file)
{
    const std::string text(key.str());
    const bool digits = !text.empty() && text.size() <= 3 &&
                        std::all_of(text.begin(), text.end(),
                                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    const int number = digits ? std::stoi(text) : -1;
    if (number < low || number > high)
        throw SourceError(file, location_of(key.source()),
                          what + " must be a number from " + std::to_string(low) + " to " +
                              std::to_string(high) + ", not '" + text + "'");
    return number;
}

VoiceRecord parse_voice(const toml::table& table, const std::string& file)
{
    check_keys(table, {"bank", "kit", "program", "volume", "reverb", "chorus", "key_offset", "pan"},
               file);
    VoiceRecord voice;
    if (const auto* bank = table.get("bank"))
        voice.bank = integer_in_range(*bank, 0, 127, "bank", file);
    if (const auto* kit = table.get("kit")) {
        if (table.get("bank"))
            throw SourceError(file, location_of(kit->source()),
                              "a voice has either a bank (melodic) or a kit (drums), not both");
        voice.bank = 255 - integer_in_range(*kit, 0, drum_kit_count - 1, "kit", file);
    }
    if (const auto* node = table.get("program"))
        voice.program = integer_in_range(*node, 0, 127, "program", file);
    if (const auto* node = table.get("volume"))
        voice.volume = integer_in_range(*node, 0, 127, "volume", file);
    if (const auto* node = table.get("reverb"))
        voice.reverb = integer_in_range(*node, 0, 127, "reverb", file);
    if (const auto* node = table.get("chorus"))
        voice.chorus = integer_in_range(*node, 0, 127, "chorus", file);
    if (const auto* node = table.get("key_offset"))
        voice.key_offset = 64 + integer_in_range(*node, -64, 63, "key_offset (semitones)", file);
    if (const auto* node = table.get("pan"))
        voice.pan = integer_in_range(*node, 0, 127, "pan", file);
    return voice;
}

void parse_drums(const toml::table& kits, VoiceSetSource& voices, const std::string& file)
{
    std::set<std::pair<int, int>> seen;
    for (auto&& [kit_key, kit_node] : kits) {
        const int kit = number_key(kit_key, 0, drum_kit_count - 1, "a drum kit", file);
        for (auto&& [note_key, drum_node] : table_value(kit_node, "drum kit", file)) {
            const auto note = note_from_key(note_key.str());
            if (!note || *note < lowest_drum_note || *note > 127)
                throw SourceError(file, location_of(note_key.source()),
                                  "'" + std::string(note_key.str()) +
                                      "' is not a note from 12 to 127 (write a number or a name "
                                      "such as c2 or f#2)");
            if (!seen.insert({kit, *note}).second)
                throw SourceError(file, location_of(note_key.source()),
                                  "note " + std::to_string(*note) + " of kit " +
                                      std::to_string(kit) + " is mapped twice");
            voices.drums.push_back(
                {kit, *note, integer_in_range(drum_node, 0, 127, "a drum note", file)});
        }
    }
    std::sort(voices.drums.begin(), voices.drums.end(), [](const DrumEntry& a, const DrumEntry& b) {
        return std::pair(a.kit, a.note) < std::pair(b.kit, b.note);
    });
}

}  // namespace

VoiceSetSource parse_voice_set(const toml::table& table, const std::string& file)
{
    check_keys(table, {"tempo_base", "start", "voice", "drums"}, file);
    VoiceSetSource voices;
    if (const auto* node = table.get("tempo_base"))
        voices.tempo_base = integer_in_range(*node, 0, 255, "tempo_base", file);
    if (const auto* node = table.get("voice"))
        for (auto&& [key, value] : table_value(*node, "voice", file))
            voices.voices[number_key(key, 0, 255, "a voice number", file)] =
                parse_voice(table_value(value, "voice " + std::string(key.str()), file), file);
    if (const auto* node = table.get("start")) {
        for (auto&& [key, value] : table_value(*node, "start", file)) {
            const int channel = number_key(key, 3, 5, "a start voice's channel", file);
            VoiceRecord& voice = voices.start_voices[static_cast<std::size_t>(channel - 3)];
            if (value.is_integer()) {
                const int number = integer_in_range(value, 0, 255, "a voice number", file);
                const auto found = voices.voices.find(number);
                if (found == voices.voices.end())
                    throw SourceError(file, location_of(value.source()),
                                      "there is no [voice." + std::to_string(number) + "]");
                voice = found->second;
            } else {
                voice = parse_voice(table_value(value, "a start voice", file), file);
            }
        }
    }
    if (const auto* node = table.get("drums"))
        parse_drums(table_value(*node, "drums", file), voices, file);
    return voices;
}

VoiceSetSource read_voice_set_file(const std::filesystem::path& path)
{
    return parse_voice_set(read_toml_file(path), path.string());
}

}  // namespace tambelo
