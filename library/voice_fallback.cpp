#include "library/voice_fallback.h"

#include <algorithm>

namespace tambelo {
namespace {

constexpr int drum_channel = 9;
constexpr int drum_bank = 128;
// Ticks played at a time while collecting, so that a long track's messages
// do not pile up.
constexpr std::int64_t collected_ticks = 4096;

bool has(std::span<const std::vector<PresetNumber>> presets, PresetNumber wanted)
{
    return std::any_of(presets.begin(), presets.end(), [wanted](const std::vector<PresetNumber>& soundfont) {
        return std::find(soundfont.begin(), soundfont.end(), wanted) != soundfont.end();
    });
}

std::string preset_text(PresetNumber preset)
{
    return "bank " + std::to_string(preset.bank) + " program " + std::to_string(preset.program);
}

}  // namespace

void VoiceCollector::take(std::span<const TimedMessage> messages)
{
    for (const TimedMessage& message : messages) {
        const auto& bytes = message.bytes;
        if (bytes.empty())
            continue;
        if (bytes[0] == 0xF0) {
            // The only System Exclusive the player sends is the GS reset,
            // which sets every channel to bank 0.
            std::fill(std::begin(banks_), std::end(banks_), 0);
            continue;
        }
        const int channel = bytes[0] & 0x0F;
        const int kind = bytes[0] & 0xF0;
        if (kind == 0xB0 && bytes.size() >= 3 && bytes[1] == 0) {
            banks_[channel] = bytes[2];
        } else if (kind == 0xC0 && bytes.size() >= 2) {
            const AskedVoice voice{channel, {channel == drum_channel ? drum_bank : banks_[channel], bytes[1]}};
            if (std::find(voices_.begin(), voices_.end(), voice) == voices_.end())
                voices_.push_back(voice);
        }
    }
}

std::vector<AskedVoice> track_voices(FrozenClockSequencer& track)
{
    const TrackLength& length = track.length();
    const std::int64_t end_tick = length.kind == TrackLength::Kind::loops
                                      ? length.loop_start_tick + length.loop_ticks
                                      : length.end_tick + 1;
    VoiceCollector collector;
    std::vector<TimedMessage> messages;
    do {
        messages.clear();
        track.play_until_tick(std::min(end_tick, track.next_tick() + collected_ticks), messages);
        collector.take(messages);
    } while (!track.ended() && track.next_tick() < end_tick);
    return collector.voices();
}

std::vector<VoiceFallback> voice_fallbacks(std::span<const AskedVoice> voices,
                                           std::span<const std::vector<PresetNumber>> presets)
{
    std::vector<VoiceFallback> fallbacks;
    if (presets.empty())
        return fallbacks;
    for (const AskedVoice& voice : voices) {
        if (has(presets, voice.preset))
            continue;
        // FluidSynth's own substitutes, in its order.
        const std::vector<PresetNumber> substitutes =
            voice.channel == drum_channel
                ? std::vector<PresetNumber>{{drum_bank, 0}}
                : std::vector<PresetNumber>{{0, voice.preset.program}, {0, 0}};
        VoiceFallback fallback{voice, std::nullopt};
        for (const PresetNumber substitute : substitutes)
            if (has(presets, substitute)) {
                fallback.played = substitute;
                break;
            }
        fallbacks.push_back(fallback);
    }
    return fallbacks;
}

std::string describe(const VoiceFallback& fallback)
{
    return "ch" + std::to_string(fallback.asked.channel) + " " + preset_text(fallback.asked.preset) + " → " +
           (fallback.played ? preset_text(*fallback.played) : std::string("silent"));
}

}  // namespace tambelo
