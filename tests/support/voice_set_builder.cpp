#include "tests/support/voice_set_builder.h"

namespace tambelo::testing {
namespace {

void append_record(std::vector<std::uint8_t>& bytes, const Voice& voice, int size)
{
    const int values[] = {voice.bank,   voice.program,    voice.volume, voice.reverb,
                          voice.chorus, voice.key_offset, voice.pan};
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i < 7 ? values[i] : 0xEE));
}

}  // namespace

VoiceSetBuilder& VoiceSetBuilder::tempo_base(int value)
{
    tempo_base_ = value;
    return *this;
}

VoiceSetBuilder& VoiceSetBuilder::record_size(int size)
{
    record_size_ = size;
    return *this;
}

VoiceSetBuilder& VoiceSetBuilder::start_voice(int which, const Voice& voice)
{
    start_voices_[which] = voice;
    return *this;
}

VoiceSetBuilder& VoiceSetBuilder::numbered(int index, const Voice& voice)
{
    numbered_.push_back({index, voice});
    return *this;
}

VoiceSetBuilder& VoiceSetBuilder::drum(int kit, int key, int note)
{
    drum_section_ = true;
    triples_.push_back({kit, key, note});
    return *this;
}

VoiceSetBuilder& VoiceSetBuilder::drum_section()
{
    drum_section_ = true;
    return *this;
}

std::vector<std::uint8_t> VoiceSetBuilder::build() const
{
    std::vector<std::uint8_t> bytes(27, 0);
    bytes[7] = static_cast<std::uint8_t>(tempo_base_);
    bytes[24] = static_cast<std::uint8_t>(record_size_);
    bytes[25] = static_cast<std::uint8_t>(numbered_.size());
    bytes[26] = drum_section_ ? 1 : 0;
    for (const Voice& voice : start_voices_)
        append_record(bytes, voice, record_size_);
    for (const Numbered& record : numbered_) {
        bytes.push_back(static_cast<std::uint8_t>(record.index));
        append_record(bytes, record.voice, record_size_);
    }
    if (drum_section_) {
        bytes.push_back(static_cast<std::uint8_t>(triples_.size()));
        for (const Triple& triple : triples_)
            for (const int value : {triple.kit, triple.key, triple.note})
                bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

}  // namespace tambelo::testing
