#include "cli/import/lane_builder.h"

#include "cli/import/lane_choice.h"
#include "cli/import/lane_plan.h"
#include "cli/import/voice_numbers.h"

#include <algorithm>
#include <map>
#include <optional>

namespace tambelo {
namespace {

using namespace import_lanes;

// A voice change that the controllers right after it, at the same tick,
// still belong to.
struct OpenGroup {
    int channel = -1;
    std::int64_t tick = -1;
    int rank = 0;
    std::vector<std::pair<int, std::size_t>> actions;  // (lane, action)
};

class LaneBuilder {
public:
    LaneBuilder(const SongTimeline& timeline, ImportReport& report)
        : timeline_(timeline), report_(report), plan_(plan_lanes(timeline))
    {
        for (int k = 0; k < score_channel_count; ++k)
            song_.lanes.push_back(Lane{k, false, {}});
        for (auto& channel : channels_)
            channel.chorus = 0;  // what the device holds after its reset
        rpn_.fill({127, 127});  // no parameter selected
        for (int j = 0; j < 3; ++j) {
            const auto& start = timeline.start_voices[static_cast<std::size_t>(j)];
            song_.start_voices[static_cast<std::size_t>(j)] = start.value_or(VoiceRecord{});
            song_.start_voice_is_drum[static_cast<std::size_t>(j)] = start && start->bank >= 128;
            LaneState& lane = choice_[3 + j];
            lane.held = song_.start_voices[static_cast<std::size_t>(j)];
            lane.drum_voice = song_.start_voice_is_drum[static_cast<std::size_t>(j)];
            if (start && !lane.drum_voice)
                channels_[static_cast<std::size_t>(3 + j)] = lane.held;
        }
        for (int k : {0, 1, 2, 6, 7, 8})
            choice_[k].held = {not_held, not_held, not_held, not_held, not_held, 64, not_held};
    }

    ImportedSong build()
    {
        const auto& events = timeline_.events;
        for (std::size_t k = 0; k < events.size(); ++k) {
            if (events[k].tick != tick_) {
                tick_ = events[k].tick;
                choice_.start_tick(tick_);
            }
            handle(k);
        }
        for (int k = 0; k < score_channel_count; ++k) {
            auto& actions = song_.lanes[static_cast<std::size_t>(k)].actions;
            for (auto& action : actions)
                if (action.kind == LaneAction::Kind::note && action.end <= action.tick)
                    action.end = std::max(timeline_.end_tick, action.tick + 1);
        }
        song_.end_tick = timeline_.end_tick;
        if (timeline_.loop_start) {
            song_.loop_start = *timeline_.loop_start;
            song_.loop_ticks = *timeline_.loop_end - *timeline_.loop_start;
        }
        for (auto& lane : song_.lanes)
            lane.drums = std::ranges::find(plan_[drum_midi_channel], lane.channel) != plan_[drum_midi_channel].end();
        return std::move(song_);
    }

private:
    void handle(std::size_t index)
    {
        const MidiEvent& e = timeline_.events[index].event;
        if (e.status == 0xF0 || e.status == 0xF7) {
            report_.count("System Exclusive messages left out", tick_);
            return;
        }
        const int c = e.channel();
        switch (e.kind()) {
        case 0x90:
            if (e.data[1] != 0) {
                note_on(c, e.data[0], e.data[1]);
                return;
            }
            [[fallthrough]];
        case 0x80:
            if (e.kind() == 0x80 && e.data[1] != 0 && e.data[1] != 64)
                report_.count("release velocities left out", tick_);
            note_off(c, e.data[0]);
            return;
        case 0xB0: control(index, c, e.data[0], e.data[1]); return;
        case 0xC0: program_change(c, e.data[0]); return;
        case 0xE0: report_.count("pitch bends left out", tick_); return;
        case 0xA0: report_.count("key pressure messages left out", tick_); return;
        case 0xD0: report_.count("channel pressure messages left out", tick_); return;
        default: return;
        }
    }

    std::vector<int>& lanes_of(int c) { return plan_[static_cast<std::size_t>(c)]; }
    LaneState& state(int lane) { return choice_[lane]; }
    std::vector<LaneAction>& actions(int lane) { return song_.lanes[static_cast<std::size_t>(lane)].actions; }

    // The drum note that follows the drum channel's controllers from
    // `index` at the same tick, if one does: the controllers are its lane's.
    std::optional<std::pair<int, int>> next_drum_note(std::size_t index) const
    {
        for (std::size_t k = index + 1; k < timeline_.events.size(); ++k) {
            const TimedEvent& e = timeline_.events[k];
            if (e.tick != tick_ || !e.event.is_channel_message() || e.event.channel() != drum_midi_channel)
                return std::nullopt;
            if (e.event.kind() == 0x90 && e.event.data[1] != 0)
                return std::pair<int, int>{e.event.data[0], e.event.data[1]};
            if (e.event.kind() != 0xB0)
                return std::nullopt;
        }
        return std::nullopt;
    }

    // The lane that a drum channel's controller at `index` came from:
    // `usable` first among the lanes free to act at this tick.
    template <class Usable>
    int drum_control_lane(std::size_t index, Usable usable)
    {
        const auto note = next_drum_note(index);
        const int pitch = note ? note->first : -1, velocity = note ? note->second : -1;
        const auto& lanes = lanes_of(drum_midi_channel);
        for (auto choice : {+[](bool u, bool f) { return u && f; }, +[](bool u, bool) { return u; },
                            +[](bool, bool f) { return f; }, +[](bool, bool) { return true; }}) {
            const int lane = choice_.pick(lanes, [&](int l) { return choice(usable(l), choice_.free_at_tick(l)); }, pitch, velocity);
            if (lane >= 0)
                return lane;
        }
        return -1;
    }

    void note_on(int c, int pitch, int velocity)
    {
        group_ = {};
        if (c == drum_midi_channel && pitch < 12) {
            report_.count("drum notes below 12 left out (a drum map names notes from 12)", tick_);
            return;
        }
        auto free = [&](int l) { return choice_.free_at_tick(l); };
        int lane = -1;
        if (timeline_.from_player && c == drum_midi_channel)
            lane = choice_.pick(lanes_of(c), [&](int l) { return free(l) && state(l).drum_voice; }, pitch, velocity);
        if (lane < 0)
            lane = choice_.pick(lanes_of(c), free, pitch, velocity);
        if (lane < 0) {
            report_.count(lanes_of(c).empty()
                              ? "notes left out, as the score has nine channels (MIDI channel " + std::to_string(c + 1) + ")"
                              : "notes left out, more at once than the channels of MIDI channel " +
                                    std::to_string(c + 1) + " hold",
                          tick_);
            return;
        }
        if (!timeline_.from_player)
            select_wanted_voice(c, lane);
        LaneState& s = state(lane);
        LaneAction note;
        note.kind = LaneAction::Kind::note;
        note.tick = tick_;
        note.pitch = pitch;
        note.velocity = velocity;
        note.end = -1;
        s.sounding = static_cast<int>(actions(lane).size());
        s.last_on_tick = tick_;
        s.last_pitch = pitch;
        s.last_velocity = velocity;
        actions(lane).push_back(note);
        choice_.acted(lane, false);
    }

    void note_off(int c, int pitch)
    {
        int found = -1;
        for (int lane : lanes_of(c)) {
            const LaneState& s = state(lane);
            if (s.sounding >= 0 && actions(lane)[static_cast<std::size_t>(s.sounding)].pitch == pitch &&
                (found < 0 || actions(lane)[static_cast<std::size_t>(s.sounding)].tick <
                                  actions(found)[static_cast<std::size_t>(state(found).sounding)].tick))
                found = lane;
        }
        if (found < 0)
            return;
        LaneState& s = state(found);
        LaneAction& note = actions(found)[static_cast<std::size_t>(s.sounding)];
        note.end = tick_;
        if (note.end <= note.tick) {
            note.end = note.tick + 1;
            report_.count("notes shorter than a tick lengthened to one tick", note.tick);
        }
        s.busy_until = note.end;
        s.sounding = -1;
        choice_.acted(found, false);
    }

    void end_all_notes(int c)
    {
        for (int lane : lanes_of(c))
            if (state(lane).sounding >= 0)
                note_off(c, actions(lane)[static_cast<std::size_t>(state(lane).sounding)].pitch);
    }

    // Another file's voice: the program and controllers its channel holds
    // when a note begins.
    void select_wanted_voice(int c, int lane)
    {
        VoiceRecord wanted = c == drum_midi_channel ? drum_voice_record() : channels_[static_cast<std::size_t>(c)];
        if (c == drum_midi_channel)
            for (int controller : {7, 91, 93, 10})
                voice_field(wanted, controller) = voice_field(channels_[static_cast<std::size_t>(c)], controller);
        LaneState& s = state(lane);
        if (s.has_voice && same_voice(wanted, s.held))
            return;
        add_voice(lane, wanted);
    }

    std::size_t add_voice(int lane, const VoiceRecord& voice)
    {
        LaneAction action;
        action.kind = LaneAction::Kind::voice;
        action.tick = tick_;
        action.voice = voice;
        LaneState& s = state(lane);
        s.has_voice = true;
        s.held = voice;
        s.drum_voice = voice.bank >= 128;
        actions(lane).push_back(action);
        choice_.acted(lane, true);
        return actions(lane).size() - 1;
    }

    void add_value(int lane, LaneAction::Kind kind, int value)
    {
        LaneAction action;
        action.kind = kind;
        action.tick = tick_;
        action.value = value;
        actions(lane).push_back(action);
        choice_.acted(lane, true);
    }

    void program_change(int c, int program)
    {
        if (c == drum_midi_channel) {
            report_.count("program changes on the drum channel left out (drums play through the drum map)", tick_);
            return;
        }
        VoiceRecord& channel = channels_[static_cast<std::size_t>(c)];
        channel.program = program;
        group_ = {c, tick_, 0, {}};
        for (int lane : lanes_of(c))
            group_.actions.emplace_back(lane, add_voice(lane, channel));
    }

    // A controller that the open voice change of channel `c` takes in.
    bool amend_group(int c, int controller, int value)
    {
        const int rank = control_rank(controller);
        if (group_.channel != c || group_.tick != tick_ || rank <= group_.rank)
            return false;
        group_.rank = rank;
        for (auto [lane, index] : group_.actions) {
            voice_field(actions(lane)[index].voice, controller) = value;
            voice_field(state(lane).held, controller) = value;
        }
        return true;
    }

    // The player's drum voice change: the controllers it sends at one tick
    // on the drum channel, those it leaves out being what the channel held.
    void drum_voice_change(std::size_t index, int controller, int value)
    {
        // The run of controllers this voice change sends; those it leaves
        // out equal what the channel held, those it sends differ from it.
        std::vector<std::pair<int, int>> sent{{controller, value}};
        for (std::size_t k = index + 1; k < timeline_.events.size(); ++k) {
            const TimedEvent& e = timeline_.events[k];
            if (e.tick != tick_ || e.event.kind() != 0xB0 || e.event.channel() != drum_midi_channel ||
                control_rank(e.event.data[0]) <= control_rank(sent.back().first))
                break;
            sent.emplace_back(e.event.data[0], e.event.data[1]);
        }
        auto consistent = [&](int l) {
            for (auto [k, v] : sent)
                if (voice_field(state(l).held, k) == v)
                    return false;
            return true;
        };
        const int lane = drum_control_lane(index, consistent);
        if (lane < 0)
            return;
        VoiceRecord voice = drum_voice_record();
        for (int k : {7, 91, 93, 10}) {
            const int held = voice_field(state(lane).held, k);
            voice_field(voice, k) = held == not_held ? voice_field(voice, k) : held;
        }
        voice_field(voice, controller) = value;
        group_ = {drum_midi_channel, tick_, control_rank(controller), {{lane, add_voice(lane, voice)}}};
    }

    void control(std::size_t index, int c, int controller, int value)
    {
        VoiceRecord& channel = channels_[static_cast<std::size_t>(c)];
        if (amend_group(c, controller, value)) {
            voice_field(channel, controller) = value;
            return;
        }
        group_ = {};
        const bool player_drums = timeline_.from_player && c == drum_midi_channel;
        switch (controller) {
        case 0: channel.bank = value; return;
        case 32:
            if (value != 0)
                report_.count("bank select LSB (controller 32) left out", tick_);
            return;
        case 7: case 91: case 93:
            voice_field(channel, controller) = value;
            if (player_drums)
                drum_voice_change(index, controller, value);
            return;  // another file's notes take it with their voice
        case 10:
            channel.pan = value;
            if (player_drums) {
                if (const int lane = drum_control_lane(index, [&](int l) { return state(l).drum_voice; }); lane >= 0)
                    add_pan(lane, value);
            } else if (c != drum_midi_channel) {
                for (int lane : lanes_of(c))
                    add_pan(lane, value);
            }
            return;
        case 101: rpn_[static_cast<std::size_t>(c)].first = value; return;
        case 100: rpn_[static_cast<std::size_t>(c)].second = value; return;
        case 98: case 99: rpn_[static_cast<std::size_t>(c)] = {-1, -1}; return;
        case 6: fine_tune_data(index, c, value); return;
        case 120: case 123: end_all_notes(c); return;
        default:
            report_.count("controller " + std::to_string(controller) + " messages left out", tick_);
            return;
        }
    }

    void add_pan(int lane, int value)
    {
        add_value(lane, LaneAction::Kind::pan, value);
        state(lane).held.pan = value;
    }

    void fine_tune_data(std::size_t index, int c, int value)
    {
        if (rpn_[static_cast<std::size_t>(c)] != std::pair{0, 1}) {
            report_.count("parameter data (controller 6) other than fine tune left out", tick_);
            return;
        }
        if (value == 0)
            report_.count("fine tune raised from the lowest data value 0 to 1", tick_);
        const int amount = std::max(value, 1) - 64;
        if (timeline_.from_player && c == drum_midi_channel) {
            if (const int lane = drum_control_lane(index, [&](int l) { return state(l).drum_voice; }); lane >= 0)
                add_value(lane, LaneAction::Kind::fine_tune, amount);
        } else if (c != drum_midi_channel) {
            for (int lane : lanes_of(c))
                add_value(lane, LaneAction::Kind::fine_tune, amount);
        } else {
            report_.count("fine tune of the drum channel left out", tick_);
        }
    }

    const SongTimeline& timeline_;
    ImportReport& report_;
    LanePlan plan_;
    ImportedSong song_;
    LaneChoice choice_;
    std::array<VoiceRecord, 16> channels_{};
    std::array<std::pair<int, int>, 16> rpn_{};
    OpenGroup group_;
    std::int64_t tick_ = -1;
};

}  // namespace

ImportedSong build_lanes(const SongTimeline& timeline, ImportReport& report)
{
    ImportedSong song = LaneBuilder(timeline, report).build();
    song.title = timeline.title;
    song.bpm = timeline.bpm;
    song.tick_ms = timeline.tick_ms;
    song.bar_ticks = timeline.bar_ticks;
    return song;
}

}  // namespace tambelo
