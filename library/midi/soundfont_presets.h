#pragma once

#include <compare>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// A preset's place in a SoundFont: the bank (128 holds drum kits) and the
// program, as a bank select and a program change ask for it.
struct PresetNumber {
    int bank = 0;
    int program = 0;

    auto operator<=>(const PresetNumber&) const = default;
};

// The presets a SoundFont file (.sf2, or .sf3, which lays out its headers
// alike) holds, read from its preset headers alone: the samples are neither
// read nor checked, so this takes a few milliseconds where loading takes
// seconds. Sorted, each once. Nothing when the file cannot be read or its
// RIFF chunks do not lead to a preset header list. Never throws but for
// lack of memory.
std::optional<std::vector<PresetNumber>> read_soundfont_presets(const std::string& path);

}  // namespace tambelo
