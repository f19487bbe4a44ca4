// Reads arbitrary bytes as a SoundFont's preset headers: every preset found
// must be a 16-bit bank and program, listed sorted and once.
#include "library/midi/soundfont_presets.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reader takes a file, as the synthesizer's loader does.
    static const std::string path = "/tmp/fuzz_soundfont_presets." + std::to_string(getpid()) + ".sf2";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    const auto presets = tambelo::read_soundfont_presets(path);
    if (presets) {
        for (const tambelo::PresetNumber& preset : *presets)
            if (preset.bank < 0 || preset.bank > 0xFFFF || preset.program < 0 || preset.program > 0xFFFF)
                std::abort();
        if (std::adjacent_find(presets->begin(), presets->end(), std::greater_equal<>()) != presets->end())
            std::abort();
    }
    return 0;
}
