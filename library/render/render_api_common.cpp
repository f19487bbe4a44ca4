// What the C interface's calls share: their messages, settings and plans.

#include "library/render/render_api_objects.h"

#include "library/render/track_span.h"

#include <cstring>

namespace tambelo::c_api {
namespace {

// The last message of this thread; valid until its next call.
thread_local std::string last_error;

}  // namespace

const char* fail(std::string message)
{
    try {
        last_error = std::move(message);
    } catch (...) {
        return "out of memory";
    }
    return last_error.c_str();
}


const char* choose_settings(const tambelo_render_settings* settings, ChosenSettings& chosen)
{
    tambelo_render_settings given;
    tambelo_render_settings_init(&given);
    if (settings != nullptr)
        given = *settings;
    // Read as the number it holds: a value no enumerator names would be
    // undefined behaviour as a C++ enum.
    int loop_mode = 0;
    static_assert(sizeof loop_mode == sizeof given.loop_mode);
    std::memcpy(&loop_mode, &given.loop_mode, sizeof loop_mode);
    if (given.sample_rate < 8000 || given.sample_rate > 192000)
        return fail("sample rate " + std::to_string(given.sample_rate) + " Hz is outside 8000 to 192000");
    if (given.loops < 1 || given.loops > 1000)
        return fail("loop count " + std::to_string(given.loops) + " is outside 1 to 1000");
    if (!(given.fade_ms >= 0.0 && given.fade_ms <= 600000.0))
        return "fade length is outside 0 to 600000 ms";
    if (loop_mode != TAMBELO_LOOP_FADE && loop_mode != TAMBELO_LOOP_SEAMLESS && loop_mode != TAMBELO_LOOP_FOREVER)
        return fail("loop mode " + std::to_string(loop_mode) + " is not one of 0 (fade), 1 (seamless), 2 (forever)");
    chosen.sample_rate = given.sample_rate;
    chosen.soundfont = given.soundfont ? given.soundfont : "";
    chosen.render.loop_mode = loop_mode == TAMBELO_LOOP_SEAMLESS  ? LoopMode::seamless
                              : loop_mode == TAMBELO_LOOP_FOREVER ? LoopMode::forever
                                                                  : LoopMode::fade;
    chosen.render.loops = given.loops;
    chosen.render.fade_ms = given.fade_ms;
    chosen.render.release_tail = given.keep_release_tail != 0;
    return nullptr;
}

const char* no_such_track(const tambelo_set& set, int number)
{
    return fail("no track " + std::to_string(number) + " in this set (it has " +
                std::to_string(set.set->track_count()) + ")");
}

const TrackInfo& kept_info(const tambelo_set& set, int number)
{
    std::lock_guard lock(set.infos_lock);
    auto& kept = set.infos[number];
    if (!kept)
        kept = std::make_unique<TrackInfo>(set.set->info(number));
    return *kept;
}

tambelo_track_info c_info(const TrackInfo& read)
{
    tambelo_track_info info{};
    info.number = read.number;
    info.title = read.title.c_str();
    info.title_line = read.title_line.c_str();
    info.playable = read.playable ? 1 : 0;
    info.problem = read.problem.c_str();
    info.loops = read.loops ? 1 : 0;
    info.loops_differ = read.loops_differ ? 1 : 0;
    info.intro_ms = read.intro_ms;
    info.loop_ms = read.loop_ms;
    info.note_channels = read.note_channels;
    return info;
}

const char* plan_of(const tambelo_set& set, int number, const ChosenSettings& chosen, RenderingPlan& plan)
{
    const TrackInfo& info = kept_info(set, number);
    if (!info.playable)
        return fail("track " + std::to_string(number) + " cannot be played: it " + info.problem);
    plan = plan_rendering(info.length, info.tick_length_ms, chosen.render, chosen.sample_rate);
    const auto longest = static_cast<std::int64_t>(
        frame_at_ms(longest_rendering_ms, chosen.sample_rate));
    if (!plan.forever && plan.most_frames > longest)
        return fail("track " + std::to_string(number) + " cannot be played with these settings: it " +
                    too_long_reason);
    return nullptr;
}

}  // namespace tambelo::c_api
