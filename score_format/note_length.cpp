#include "score_format/note_length.h"

namespace tambelo {

NoteSplit split_note_length(std::uint16_t length_ticks, std::uint16_t release_ticks,
                            std::uint16_t gate_eighths)
{
    const std::uint32_t length = length_ticks;
    if (length == 0)
        return {0, 0};

    std::uint32_t sounding = 0;
    if (release_ticks != 256) {
        sounding = length > release_ticks ? length - release_ticks : 1;
    } else if (length == 1) {
        sounding = 1;
    } else if (gate_eighths == 8) {
        sounding = length - 1;
    } else if (length < 8) {
        sounding = 1;
    } else {
        // Computed wide: a gate above 8 gives more than the whole length.
        sounding = (length / 8) * std::uint32_t{gate_eighths};
    }
    if (sounding > length)
        sounding = length;
    return {static_cast<std::uint16_t>(sounding), static_cast<std::uint16_t>(length - sounding)};
}

}  // namespace tambelo
