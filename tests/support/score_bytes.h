#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tambelo::testing {

// Score bytecode written by command name, for comparing packed phrases:
//   phrase({note(1, 48), tie(), octave(5)}) == 1, 48, 233, 240, 5, 255
using Code = std::vector<std::uint8_t>;

inline Code note(int step, int length)  // one length byte below 256, else two
{
    if (length < 256)
        return {static_cast<std::uint8_t>(step), static_cast<std::uint8_t>(length)};
    return {static_cast<std::uint8_t>(13 + step), static_cast<std::uint8_t>(length & 0xFF),
            static_cast<std::uint8_t>(length >> 8)};
}
inline Code rest(int length) { return note(0, length); }
inline Code note_default(int step) { return {static_cast<std::uint8_t>(128 + step)}; }
inline Code rest_default() { return note_default(0); }
inline Code with_arg(int code, int argument)
{
    return {static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(argument & 0xFF)};
}
inline Code velocity_add(int delta) { return with_arg(225, delta); }
inline Code tie() { return {233}; }
inline Code release(int ticks) { return with_arg(234, ticks); }
inline Code pan(int value) { return with_arg(235, value); }
inline Code no_loop() { return {236}; }
inline Code octave_up() { return {238}; }
inline Code octave_down() { return {239}; }
inline Code octave(int value) { return with_arg(240, value); }
inline Code gate_argument(int argument) { return with_arg(242, argument); }
inline Code length(int ticks)
{
    if (ticks < 128)
        return with_arg(243, ticks);
    return {243, static_cast<std::uint8_t>(128 + (ticks >> 8)), static_cast<std::uint8_t>(ticks & 0xFF)};
}
inline Code tempo(int value) { return with_arg(244, value); }
inline Code voice(int number) { return with_arg(245, number); }
inline Code next_octave_down() { return {247}; }
inline Code next_octave_up() { return {248}; }
inline Code velocity(int value) { return with_arg(249, value); }
inline Code fine_tune(int value) { return with_arg(252, value); }

// The commands in order, closed with the phrase end byte 255.
inline Code phrase(std::initializer_list<Code> commands)
{
    Code out;
    for (const auto& command : commands)
        out.insert(out.end(), command.begin(), command.end());
    out.push_back(255);
    return out;
}

inline Code operator+(Code first, const Code& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace tambelo::testing
