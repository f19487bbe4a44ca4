#include "cli/import/voice_numbers.h"

namespace tambelo {

bool same_voice(const VoiceRecord& a, const VoiceRecord& b)
{
    return a.bank == b.bank && a.program == b.program && a.volume == b.volume && a.reverb == b.reverb &&
           a.chorus == b.chorus && a.key_offset == b.key_offset && a.pan == b.pan;
}

int VoiceNumbers::number_for(const VoiceRecord& voice, int current)
{
    for (std::size_t k = 0; k < voices_.size(); ++k) {
        const int number = static_cast<int>(k) + 1;
        if (number != current && same_voice(voices_[k], voice))
            return number;
    }
    if (voices_.size() == 255)
        return none;
    voices_.push_back(voice);
    return static_cast<int>(voices_.size());
}

}  // namespace tambelo
