#pragma once

#include "cli/authoring/voice_set_source.h"

#include <vector>

namespace tambelo {

// The numbered voices of an imported song. The player sends a voice only
// when the number changes, so a channel that changes to a voice equal to the
// one it has gets a second number for it.
class VoiceNumbers {
public:
    static constexpr int none = -1;

    // A number for `voice` other than `current`; none when all 255 are taken.
    int number_for(const VoiceRecord& voice, int current);

    // By number, from 1 (0 stays unused: it is what a stray `@0` would pick).
    const std::vector<VoiceRecord>& voices() const { return voices_; }

private:
    std::vector<VoiceRecord> voices_;
};

bool same_voice(const VoiceRecord& a, const VoiceRecord& b);

}  // namespace tambelo
