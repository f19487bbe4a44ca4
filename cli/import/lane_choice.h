#pragma once

#include "cli/authoring/voice_set_source.h"
#include "cli/import/import_model.h"

#include <array>
#include <cstdint>
#include <vector>

// Pieces of the lane builder, in a namespace of their own.
namespace tambelo::import_lanes {

constexpr int not_held = 255;  // what a channel holds before its first voice

// The order in which a voice change sends its controllers; 0 for others.
inline int control_rank(int controller)
{
    switch (controller) {
    case 7: return 1;
    case 91: return 2;
    case 93: return 3;
    case 10: return 4;
    default: return 0;
    }
}

inline int& voice_field(VoiceRecord& voice, int controller)
{
    switch (controller) {
    case 7: return voice.volume;
    case 91: return voice.reverb;
    case 93: return voice.chorus;
    default: return voice.pan;
    }
}

inline VoiceRecord drum_voice_record() { VoiceRecord voice; voice.bank = 255; return voice; }

struct LaneState {
    int sounding = -1;              // the sounding note's action, or -1
    std::int64_t last_on_tick = -1;
    std::int64_t busy_until = 0;
    bool drum_voice = false;
    bool has_voice = false;
    int last_pitch = -1;
    int last_velocity = -1;
    VoiceRecord held;               // what the player's channel holds
};

// The score channels' states while a song's messages are spread over
// them, and the choice of the channel a message came from.
class LaneChoice {
public:
    LaneState& operator[](int lane) { return lanes_[static_cast<std::size_t>(lane)]; }

    void start_tick(std::int64_t tick)
    {
        tick_ = tick;
        last_lane_ = -1;
    }
    // `lane` sent the last message: a controller, or a note.
    void acted(int lane, bool control)
    {
        last_lane_ = lane;
        last_was_control_ = control;
    }

    // The lane of `candidates` that `usable` accepts, keeping the order of
    // the tick's messages where it can: after the lane that sent the last
    // one. Of those, the lane that sent controllers just now (its note comes
    // after them), else the one whose last note had this pitch and velocity:
    // a channel of the score tends to keep its drum and its velocity.
    template <class Usable>
    int pick(const std::vector<int>& candidates, Usable usable, int pitch = -1, int velocity = -1)
    {
        int best = -1, best_score = -1, any = -1;
        for (int lane : candidates) {
            if (!usable(lane))
                continue;
            if (any < 0)
                any = lane;
            const LaneState& s = lanes_[static_cast<std::size_t>(lane)];
            const bool after = lane > last_lane_ || (lane == last_lane_ && s.last_on_tick != tick_);
            if (!after)
                continue;
            const int score = lane == last_lane_ && last_was_control_ ? 4
                              : s.last_velocity == velocity && s.last_pitch == pitch ? 3
                              : s.last_velocity == velocity ? 2
                              : s.last_pitch == pitch ? 1
                                                      : 0;
            if (score > best_score) {
                best = lane;
                best_score = score;
            }
        }
        return best >= 0 ? best : any;
    }

    bool free_at_tick(int lane) const
    {
        const LaneState& s = lanes_[static_cast<std::size_t>(lane)];
        return s.sounding < 0 && s.last_on_tick != tick_ && s.busy_until <= tick_;
    }

private:
    std::array<LaneState, score_channel_count> lanes_{};
    std::int64_t tick_ = -1;
    int last_lane_ = -1;
    bool last_was_control_ = false;
};

}  // namespace tambelo::import_lanes
