// The C interface of tambelo/render.h: tracks being rendered. Nothing
// thrown inside gets out: each call catches and turns it into its message.

#include "library/render/render_api_track.h"

#include "library/midi/fluid_synth_setup.h"
#include "library/midi/sound_system.h"

#include <limits>

using namespace tambelo::c_api;

namespace {

// The synthesizer of the track closed last, kept so that its SoundFont's
// samples stay in FluidSynth's cache: the next track with the same SoundFont
// and rate then opens in milliseconds instead of loading it again.
struct KeptSynth {
    std::mutex lock;
    std::string soundfont;
    std::unique_ptr<tambelo::RenderSynth> synth;
};

// Never destroyed: a host's thread may still be rendering when the program
// ends (a plugin measuring loudness in the background), and it keeps its
// synthesizer here when it closes its track. Destroyed among the program's
// exit handlers, the kept one was deleted twice, by the exit and by that
// thread, and the program crashed as it ended.
KeptSynth& kept()
{
    static KeptSynth* const kept = new KeptSynth;
    return *kept;
}

std::unique_ptr<tambelo::RenderSynth> take_kept(const std::string& soundfont, int sample_rate)
{
    KeptSynth& k = kept();
    std::lock_guard lock(k.lock);
    if (k.synth && k.soundfont == soundfont && k.synth->sample_rate() == sample_rate)
        return std::move(k.synth);
    return nullptr;
}

void keep(tambelo_track& track)
{
    if (!track.synth)
        return;
    KeptSynth& k = kept();
    std::unique_ptr<tambelo::RenderSynth> old;
    std::lock_guard lock(k.lock);
    old = std::move(k.synth);
    k.synth = std::move(track.synth);
    k.soundfont = track.soundfont_asked;
}

const char* open_track(const tambelo_set* set, int number, const tambelo_render_settings* settings,
                       bool for_file, tambelo_track** track)
{
    if (track == nullptr)
        return "no place for the track given";
    *track = nullptr;
    if (set == nullptr)
        return "no set given";
    return guarded([&]() -> const char* {
        ChosenSettings chosen;
        if (const char* why = choose_settings(settings, chosen))
            return why;
        // A file has no listener waiting for the loop's first frames.
        if (for_file)
            chosen.render.longest_seamless_loop_ms = std::numeric_limits<double>::infinity();
        if (number < 1 || number > set->set->track_count())
            return no_such_track(*set, number);
        tambelo::RenderingPlan plan;
        if (const char* why = plan_of(*set, number, chosen, plan))
            return why;
        auto made = std::make_unique<tambelo_track>();
        made->set = set->set;
        tambelo::TrackOpenFailure failure = tambelo::TrackOpenFailure::none;
        made->played = made->set->open_track(number, &failure);
        if (!made->played)
            return fail("track " + std::to_string(number) + " cannot be played: it " + tambelo::describe(failure));
        // The synthesizer's libraries would print their complaints.
        tambelo::silence_sound_libraries();
        std::string why;
        made->soundfont_asked = chosen.soundfont;
        made->synth = take_kept(chosen.soundfont, chosen.sample_rate);
        if (!made->synth)
            made->synth = tambelo::RenderSynth::create(chosen.soundfont, chosen.sample_rate, &why);
        if (!made->synth)
            return fail(why.empty() ? "no SoundFont could be loaded" : why);
        if (!chosen.soundfont.empty() && made->synth->soundfont() != chosen.soundfont)
            return fail("the SoundFont " + chosen.soundfont + " cannot be loaded");
        const std::shared_ptr<const tambelo::RenderSet> source = made->set;
        made->renderer = std::make_unique<tambelo::TrackRenderer>(
            *made->synth, *made->played, chosen.render, [source, number] { return source->open_track(number); });
        *track = made.release();
        return nullptr;
    });
}

}  // namespace

extern "C" {

const char* tambelo_played_soundfonts(const char* soundfont)
{
    thread_local std::string shown;
    try {
        shown = tambelo::soundfont_stack_text(tambelo::soundfonts_to_play(soundfont ? soundfont : ""));
    } catch (...) {
        shown.clear();
    }
    return shown.c_str();
}

const char* tambelo_track_open(const tambelo_set* set, int number, const tambelo_render_settings* settings,
                               tambelo_track** track)
{
    return open_track(set, number, settings, false, track);
}

const char* tambelo_track_open_for_file(const tambelo_set* set, int number, const tambelo_render_settings* settings,
                                        tambelo_track** track)
{
    return open_track(set, number, settings, true, track);
}

void tambelo_track_close(tambelo_track* track)
{
    if (track == nullptr)
        return;
    track->renderer.reset();
    try {
        keep(*track);
    } catch (...) {
    }
    delete track;
}

size_t tambelo_track_render_float(tambelo_track* track, float* out, size_t frames)
{
    if (track == nullptr || out == nullptr)
        return 0;
    try {
        return track->renderer->render(out, frames);
    } catch (...) {
        return 0;  // out of memory: the rendering ends here
    }
}

size_t tambelo_track_render_s16(tambelo_track* track, int16_t* out, size_t frames)
{
    if (track == nullptr || out == nullptr)
        return 0;
    try {
        return track->renderer->render(out, frames);
    } catch (...) {
        return 0;
    }
}

const char* tambelo_track_seek(tambelo_track* track, double ms)
{
    if (track == nullptr)
        return "no track given";
    if (!(ms >= 0.0))
        return "a seek needs a time of 0 ms or more";
    return guarded([&]() -> const char* {
        return track->renderer->seek(ms) ? nullptr : "the track cannot be opened again to seek";
    });
}

uint64_t tambelo_track_position_frames(const tambelo_track* track)
{
    return track ? track->renderer->position_frames() : 0;
}

int64_t tambelo_track_length_frames(const tambelo_track* track)
{
    if (track == nullptr)
        return -1;
    const auto length = track->renderer->length_frames();
    return length ? static_cast<int64_t>(*length) : -1;
}

const char* tambelo_track_mute_channels(tambelo_track* track, unsigned muted)
{
    if (track == nullptr)
        return "no track given";
    if (muted >> TAMBELO_CHANNEL_COUNT != 0)
        return "a track has channels 0 to 8 only";
    track->renderer->set_muted_channels(static_cast<std::uint16_t>(muted));
    return nullptr;
}

unsigned tambelo_track_muted_channels(const tambelo_track* track)
{
    return track ? track->renderer->muted_channels() : 0U;
}

int tambelo_track_ended(const tambelo_track* track)
{
    return track && track->renderer->ended() ? 1 : 0;
}

int tambelo_track_loop_frames(const tambelo_track* track, int64_t* start_frame, int64_t* length_frames)
{
    if (track == nullptr)
        return 0;
    const auto loop = track->renderer->seamless_loop();
    if (!loop)
        return 0;
    if (start_frame)
        *start_frame = loop->start_frame;
    if (length_frames)
        *length_frames = loop->length_frames;
    return 1;
}

}  // extern "C"

