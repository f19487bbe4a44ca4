#include "cli/authoring/voice_set_source.h"

namespace tambelo {
namespace {

constexpr std::uint8_t record_size = 7;
constexpr std::size_t header_size = 27;
constexpr int drum_key_offset = 12;  // the file stores the key 12 below the note it serves

void put_record(std::vector<std::uint8_t>& out, const VoiceRecord& voice)
{
    for (const int value : {voice.bank, voice.program, voice.volume, voice.reverb, voice.chorus,
                            voice.key_offset, voice.pan})
        out.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

std::vector<std::uint8_t> encode_voice_set(const VoiceSetSource& voices, const std::string& file)
{
    if (voices.voices.size() > 255)
        throw SourceError(file, {}, "a voice set holds at most 255 numbered voices");
    if (voices.drums.size() > 255)
        throw SourceError(file, {}, "a voice set holds at most 255 drum map entries");

    std::vector<std::uint8_t> out(header_size, 0);
    out[7] = static_cast<std::uint8_t>(voices.tempo_base);
    out[24] = record_size;
    out[25] = static_cast<std::uint8_t>(voices.voices.size());
    out[26] = voices.drums.empty() ? 0 : 1;
    for (const auto& voice : voices.start_voices)
        put_record(out, voice);
    for (const auto& [number, voice] : voices.voices) {
        out.push_back(static_cast<std::uint8_t>(number));
        put_record(out, voice);
    }
    if (!voices.drums.empty()) {
        out.push_back(static_cast<std::uint8_t>(voices.drums.size()));
        for (const auto& drum : voices.drums)
            out.insert(out.end(), {static_cast<std::uint8_t>(drum.kit),
                                   static_cast<std::uint8_t>(drum.note - drum_key_offset),
                                   static_cast<std::uint8_t>(drum.drum_note)});
    }
    return out;
}

}  // namespace tambelo
