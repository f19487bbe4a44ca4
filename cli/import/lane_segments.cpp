#include "cli/import/lane_segments.h"

#include "cli/import/voice_numbers.h"

#include <algorithm>

namespace tambelo {
namespace {

bool same_action(const LaneAction& a, const LaneAction& b)
{
    return a.kind == b.kind && a.value == b.value && (a.kind != LaneAction::Kind::voice || same_voice(a.voice, b.voice));
}

}  // namespace

std::int64_t lane_end(const Lane& lane)
{
    std::int64_t end = 0;
    for (const auto& action : lane.actions)
        end = std::max(end, action.kind == LaneAction::Kind::note ? action.end : action.tick);
    return end;
}

std::int64_t quiet_tick(const Lane& lane, std::int64_t from)
{
    for (bool moved = true; moved;) {
        moved = false;
        for (const auto& a : lane.actions)
            if (a.kind == LaneAction::Kind::note && a.tick < from && a.end > from) {
                from = a.end;
                moved = true;
            }
    }
    return from;
}


std::vector<bool> played_once(const Lane& lane, std::int64_t at, std::int64_t period, std::int64_t file_end)
{
    std::vector<bool> once(lane.actions.size(), false);
    if (at + period > file_end)
        return once;  // the file does not say what comes a loop later
    for (std::size_t k = 0; k < lane.actions.size(); ++k) {
        const LaneAction& a = lane.actions[k];
        if (a.tick != at || a.kind == LaneAction::Kind::note)
            continue;
        once[k] = std::none_of(lane.actions.begin(), lane.actions.end(), [&](const LaneAction& b) {
            return b.tick == at + period && same_action(a, b);
        });
    }
    return once;
}

std::vector<LaneAction> played_at_seam(const Lane& lane, std::int64_t at, std::int64_t period)
{
    std::vector<LaneAction> seam;
    for (const LaneAction& a : lane.actions)
        if (a.tick == at + period && a.kind != LaneAction::Kind::note &&
            std::none_of(lane.actions.begin(), lane.actions.end(),
                         [&](const LaneAction& b) { return b.tick == at && same_action(a, b); }))
            seam.push_back(a);
    return seam;
}

Segment segment_of(const Lane& lane, std::int64_t from, std::int64_t to, std::int64_t shift,
                   const std::vector<bool>* skip)
{
    Segment segment{from + shift, to + shift, {}};
    for (std::size_t k = 0; k < lane.actions.size(); ++k) {
        LaneAction action = lane.actions[k];
        if (skip && (*skip)[k])
            continue;
        if (action.tick >= from && action.tick < to) {
            action.tick += shift;
            action.end += shift;
            segment.actions.push_back(action);
        }
    }
    return segment;
}

}  // namespace tambelo
