#include "tests/support/score_builder.h"

#include <stdexcept>

namespace tambelo::testing {
namespace {

std::uint8_t byte(int value)
{
    if (value < 0 || value > 255)
        throw std::out_of_range("a score byte must be 0..255");
    return static_cast<std::uint8_t>(value);
}

void append_word(Bytes& bytes, int value)
{
    if (value < 0 || value > 0xFFFF)
        throw std::out_of_range("a score word must be 0..65535");
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

Phrase& Phrase::note(int step, int length_ticks) { return raw({step, length_ticks}); }

Phrase& Phrase::note_word(int step, int length_ticks)
{
    bytes_.push_back(byte(13 + step));
    append_word(bytes_, length_ticks);
    return *this;
}

Phrase& Phrase::note_default(int step) { return raw({128 + step}); }
Phrase& Phrase::tie() { return raw({233}); }
Phrase& Phrase::octave(int value) { return raw({240, value}); }
Phrase& Phrase::octave_up() { return raw({238}); }
Phrase& Phrase::octave_down() { return raw({239}); }
Phrase& Phrase::next_octave_up() { return raw({248}); }
Phrase& Phrase::next_octave_down() { return raw({247}); }

Phrase& Phrase::default_length(int ticks)
{
    if (ticks < 128)
        return raw({243, ticks});
    return raw({243, 128 + ticks / 256, ticks % 256});
}

Phrase& Phrase::gate(int argument) { return raw({242, argument}); }
Phrase& Phrase::release(int ticks) { return raw({234, ticks}); }
Phrase& Phrase::tempo(int value) { return raw({244, value}); }
Phrase& Phrase::voice(int index) { return raw({245, index}); }
Phrase& Phrase::pan(int value) { return raw({235, value}); }
Phrase& Phrase::velocity(int value) { return raw({249, value}); }
Phrase& Phrase::velocity_add(int delta) { return raw({225, delta & 0xFF}); }
Phrase& Phrase::fine_tune(int value) { return raw({252, value & 0xFF}); }
Phrase& Phrase::skip_event(int value) { return raw({224, value}); }
Phrase& Phrase::no_loop() { return raw({236}); }

Phrase& Phrase::raw(std::initializer_list<int> bytes)
{
    for (const int value : bytes)
        bytes_.push_back(byte(value));
    return *this;
}

int ScoreBuilder::add(const Phrase& phrase)
{
    phrases_.push_back(phrase);
    return static_cast<int>(phrases_.size()) - 1;
}

ScoreBuilder& ScoreBuilder::channel(int channel, std::vector<int> phrases, int loop_start)
{
    lists_.push_back({channel, std::move(phrases), loop_start});
    return *this;
}

Bytes ScoreBuilder::build() const
{
    constexpr std::size_t header_size = 48;
    Bytes score(header_size, 0);
    score[0] = 40;  // check bytes at 41..46
    score[41] = 15;

    std::size_t lists_size = 0;
    for (const auto& list : lists_)
        lists_size += 2 * list.phrases.size() + 2;
    std::vector<int> phrase_offsets;
    std::size_t next_phrase = header_size + lists_size;
    for (const auto& phrase : phrases_) {
        phrase_offsets.push_back(static_cast<int>(next_phrase));
        next_phrase += phrase.bytes().size() + 1;
    }

    for (const auto& list : lists_) {
        const std::size_t entry = 4 + 4 * static_cast<std::size_t>(list.channel);
        score[entry] = static_cast<std::uint8_t>(score.size());
        score[entry + 1] = static_cast<std::uint8_t>(score.size() >> 8);
        for (const int phrase : list.phrases)
            append_word(score, phrase_offsets.at(static_cast<std::size_t>(phrase)));
        score.push_back(byte(list.loop_start));
        score.push_back(255);
    }
    for (const auto& phrase : phrases_) {
        score.insert(score.end(), phrase.bytes().begin(), phrase.bytes().end());
        score.push_back(255);
    }
    return score;
}

}  // namespace tambelo::testing
