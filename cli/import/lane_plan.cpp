#include "cli/import/lane_plan.h"


#include <algorithm>
#include <map>

namespace tambelo {
namespace {

bool is_note_on(const MidiEvent& e) { return e.kind() == 0x90 && e.data[1] != 0; }
bool is_note_off(const MidiEvent& e) { return e.kind() == 0x80 || (e.kind() == 0x90 && e.data[1] == 0); }

LanePlan plan_player_file(const SongTimeline& timeline)
{
    LanePlan plan;
    std::array<bool, midi_channel_count> used{};
    for (const auto& e : timeline.events)
        if (e.event.is_channel_message())
            used[static_cast<std::size_t>(e.event.channel())] = true;
    for (int k = 0; k < score_channel_count; ++k) {
        if (used[static_cast<std::size_t>(k)])
            plan[static_cast<std::size_t>(k)].push_back(k);
        else
            plan[drum_midi_channel].push_back(k);
    }
    return plan;
}

// The most notes each MIDI channel holds at once, and when it first plays.
struct ChannelNeed {
    int channel = 0;
    int most_at_once = 0;
    std::int64_t first_note = -1;
    std::int64_t notes = 0;
};

std::vector<ChannelNeed> channel_needs(const SongTimeline& timeline)
{
    std::array<ChannelNeed, midi_channel_count> needs{};
    std::array<std::map<int, int>, midi_channel_count> sounding{};
    std::array<int, midi_channel_count> at_once{};
    for (int c = 0; c < midi_channel_count; ++c)
        needs[static_cast<std::size_t>(c)].channel = c;
    for (const auto& e : timeline.events) {
        if (!e.event.is_channel_message())
            continue;
        const auto c = static_cast<std::size_t>(e.event.channel());
        if (is_note_on(e.event)) {
            ++sounding[c][e.event.data[0]];
            needs[c].most_at_once = std::max(needs[c].most_at_once, ++at_once[c]);
            if (needs[c].first_note < 0)
                needs[c].first_note = e.tick;
            ++needs[c].notes;
        } else if (is_note_off(e.event)) {
            auto found = sounding[c].find(e.event.data[0]);
            if (found != sounding[c].end()) {
                --at_once[c];
                if (--found->second == 0)
                    sounding[c].erase(found);
            }
        }
    }
    std::vector<ChannelNeed> playing;
    for (const auto& need : needs)
        if (need.notes > 0)
            playing.push_back(need);
    std::stable_sort(playing.begin(), playing.end(),
                     [](const ChannelNeed& a, const ChannelNeed& b) { return a.first_note < b.first_note; });
    return playing;
}

LanePlan plan_other_file(const SongTimeline& timeline)
{
    LanePlan plan;
    const std::vector<ChannelNeed> needs = channel_needs(timeline);
    int next_lane = 0;
    for (const auto& need : needs) {
        if (next_lane == score_channel_count)
            break;  // its notes find no channel, and are counted as left out
        plan[static_cast<std::size_t>(need.channel)].push_back(next_lane++);
    }
    // The channels left over go to the chords, one round at a time.
    for (bool added = true; added && next_lane < score_channel_count;) {
        added = false;
        for (const auto& need : needs) {
            auto& lanes = plan[static_cast<std::size_t>(need.channel)];
            if (!lanes.empty() && static_cast<int>(lanes.size()) < need.most_at_once && next_lane < score_channel_count) {
                lanes.push_back(next_lane++);
                added = true;
            }
        }
    }
    for (auto& lanes : plan)
        std::sort(lanes.begin(), lanes.end());
    return plan;
}

}  // namespace

LanePlan plan_lanes(const SongTimeline& timeline)
{
    return timeline.from_player ? plan_player_file(timeline) : plan_other_file(timeline);
}

}  // namespace tambelo
