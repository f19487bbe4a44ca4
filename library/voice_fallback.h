#pragma once

#include "library/midi/soundfont_presets.h"
#include "library/frozen_clock_sequencer.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tambelo {

// A voice a track asks the synthesizer for: a program change on a MIDI
// channel (0 to 15, as the message carries it), in the bank the last bank
// select (controller 0) on that channel chose since the GS reset. The drum
// channel 9 asks for drum kits, bank 128, whatever its bank select says.
struct AskedVoice {
    int channel = 0;
    PresetNumber preset;

    bool operator==(const AskedVoice&) const = default;
};

// Collects the voices that messages ask for, each once, in the order first
// asked.
class VoiceCollector {
public:
    void take(std::span<const TimedMessage> messages);
    const std::vector<AskedVoice>& voices() const { return voices_; }

private:
    int banks_[16] = {};
    std::vector<AskedVoice> voices_;
};

// Every voice `track` asks for, playing it from where it stands through its
// end, or through one whole loop (after which it asks for nothing new).
std::vector<AskedVoice> track_voices(FrozenClockSequencer& track);

// A voice that no SoundFont of a stack has at its bank and program, and the
// preset FluidSynth plays for it instead: the drum kit 0 for a drum kit,
// otherwise the program in bank 0, else bank 0's program 0; nothing (the
// voice is silent) when the stack has none of those either.
struct VoiceFallback {
    AskedVoice asked;
    std::optional<PresetNumber> played;
};

// The voices of `voices` that fall back in a stack of SoundFonts holding
// `presets` (one list per SoundFont, in any order), in the order given.
// With no SoundFont at all nothing is said to fall back.
std::vector<VoiceFallback> voice_fallbacks(std::span<const AskedVoice> voices,
                                           std::span<const std::vector<PresetNumber>> presets);

// "ch3 bank 8 program 25 → bank 0 program 25", or "... → silent".
std::string describe(const VoiceFallback& fallback);

}  // namespace tambelo
