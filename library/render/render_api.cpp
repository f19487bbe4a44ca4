// The C interface of tambelo/render.h over the track renderer. Nothing
// thrown inside gets out: each call catches and turns it into its message.

#include "tambelo/render.h"

#include "library/render/render_set.h"
#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"
#include "library/midi/sound_system.h"

#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

struct tambelo_set {
    std::unique_ptr<tambelo::RenderSet> set;
    // The track information handed out, whose texts live until the set closes.
    mutable std::map<int, std::unique_ptr<tambelo::TrackInfo>> infos;
    mutable std::mutex infos_lock;
};

struct tambelo_track {
    std::string soundfont_asked;  // as the settings named it ("" for the system's)
    std::unique_ptr<tambelo::RenderSynth> synth;
    std::unique_ptr<tambelo::OfflineTrack> played;
    std::unique_ptr<tambelo::TrackRenderer> renderer;
};

namespace {

// The last message of this thread; valid until its next call.
thread_local std::string last_error;

const char* fail(std::string message)
{
    try {
        last_error = std::move(message);
    } catch (...) {
        return "out of memory";
    }
    return last_error.c_str();
}

// Runs `body`, which returns NULL or a message, turning anything it throws
// into a message.
template <typename Body>
const char* guarded(Body&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return "unexpected failure";
    }
}

std::vector<std::uint8_t> copy_bytes(const void* data, std::size_t size)
{
    if (data == nullptr || size == 0)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

// The synthesizer of the track closed last, kept so that its SoundFont's
// samples stay in FluidSynth's cache: the next track with the same SoundFont
// and rate then opens in milliseconds instead of loading it again.
std::mutex kept_lock;
std::string kept_soundfont;
std::unique_ptr<tambelo::RenderSynth> kept_synth;

std::unique_ptr<tambelo::RenderSynth> take_kept(const std::string& soundfont, int sample_rate)
{
    std::lock_guard lock(kept_lock);
    if (kept_synth && kept_soundfont == soundfont && kept_synth->sample_rate() == sample_rate)
        return std::move(kept_synth);
    return nullptr;
}

void keep(tambelo_track& track)
{
    if (!track.synth)
        return;
    std::unique_ptr<tambelo::RenderSynth> old;
    std::lock_guard lock(kept_lock);
    old = std::move(kept_synth);
    kept_synth = std::move(track.synth);
    kept_soundfont = track.soundfont_asked;
}

const char* adopt(std::unique_ptr<tambelo::RenderSet> opened, const std::string& why, tambelo_set** set)
{
    if (!opened)
        return fail(why);
    auto made = std::make_unique<tambelo_set>();
    made->set = std::move(opened);
    *set = made.release();
    return nullptr;
}

}  // namespace

extern "C" {

const char* tambelo_set_open_path(const char* score_path, tambelo_set** set)
{
    if (set == nullptr)
        return "no place for the set given";
    *set = nullptr;
    if (score_path == nullptr || *score_path == '\0')
        return "no score archive named";
    return guarded([&]() -> const char* {
        const std::string score = score_path;
        const std::string base = score.size() >= 4 ? score.substr(0, score.size() - 4) : score;
        std::string why;
        auto opened = tambelo::RenderSet::open_files(score, base + ".mda", base + ".txt", &why);
        return adopt(std::move(opened), why, set);
    });
}

const char* tambelo_set_open_memory(const void* score, size_t score_size, const void* voices, size_t voices_size,
                                    const void* titles, size_t titles_size, tambelo_set** set)
{
    if (set == nullptr)
        return "no place for the set given";
    *set = nullptr;
    if (score == nullptr || score_size == 0)
        return "no score archive given";
    return guarded([&]() -> const char* {
        std::string title_text;
        if (titles != nullptr)
            title_text.assign(static_cast<const char*>(titles), titles_size);
        std::string why;
        auto opened = tambelo::RenderSet::open_bytes(copy_bytes(score, score_size), copy_bytes(voices, voices_size),
                                                     title_text, &why);
        return adopt(std::move(opened), why, set);
    });
}

void tambelo_set_close(tambelo_set* set)
{
    delete set;
}

int tambelo_set_track_count(const tambelo_set* set)
{
    return set ? set->set->track_count() : 0;
}

const char* tambelo_set_game_title(const tambelo_set* set)
{
    return set ? set->set->game_title().c_str() : "";
}

const char* tambelo_set_track_info(const tambelo_set* set, int number, tambelo_track_info* info)
{
    if (set == nullptr || info == nullptr)
        return "no set or no place for the information given";
    if (number < 1 || number > set->set->track_count())
        return fail("no track " + std::to_string(number) + " in this set (it has " +
                    std::to_string(set->set->track_count()) + ")");
    return guarded([&]() -> const char* {
        const tambelo::TrackInfo* found = nullptr;
        {
            std::lock_guard lock(set->infos_lock);
            auto& kept = set->infos[number];
            if (!kept)
                kept = std::make_unique<tambelo::TrackInfo>(set->set->info(number));
            found = kept.get();
        }
        const tambelo::TrackInfo& read = *found;
        info->number = read.number;
        info->title = read.title.c_str();
        info->title_line = read.title_line.c_str();
        info->playable = read.playable ? 1 : 0;
        info->problem = read.problem.c_str();
        info->loops = read.loops ? 1 : 0;
        info->loops_differ = read.loops_differ ? 1 : 0;
        info->intro_ms = read.intro_ms;
        info->loop_ms = read.loop_ms;
        return nullptr;
    });
}

double tambelo_track_info_play_length_ms(const tambelo_track_info* info, int loops, double fade_ms)
{
    if (info == nullptr || !info->playable)
        return 0.0;
    if (!info->loops)
        return info->intro_ms;
    return info->intro_ms + loops * info->loop_ms + fade_ms;
}

void tambelo_render_settings_init(tambelo_render_settings* settings)
{
    if (settings == nullptr)
        return;
    settings->sample_rate = 44100;
    settings->soundfont = nullptr;
    settings->loops = 2;
    settings->fade_ms = 8000.0;
    settings->loop_mode = TAMBELO_LOOP_FADE;
    settings->keep_release_tail = 1;
}

const char* tambelo_track_open(const tambelo_set* set, int number, const tambelo_render_settings* settings,
                               tambelo_track** track)
{
    if (track == nullptr)
        return "no place for the track given";
    *track = nullptr;
    if (set == nullptr)
        return "no set given";
    tambelo_render_settings chosen;
    tambelo_render_settings_init(&chosen);
    if (settings != nullptr)
        chosen = *settings;
    if (chosen.sample_rate < 8000 || chosen.sample_rate > 192000)
        return fail("sample rate " + std::to_string(chosen.sample_rate) + " Hz is outside 8000 to 192000");
    if (chosen.loops < 1 || chosen.loops > 1000)
        return fail("loop count " + std::to_string(chosen.loops) + " is outside 1 to 1000");
    if (!(chosen.fade_ms >= 0.0 && chosen.fade_ms <= 600000.0))
        return "fade length is outside 0 to 600000 ms";
    if (chosen.loop_mode != TAMBELO_LOOP_FADE && chosen.loop_mode != TAMBELO_LOOP_SEAMLESS &&
        chosen.loop_mode != TAMBELO_LOOP_FOREVER)
        return "unknown loop mode";
    if (number < 1 || number > set->set->track_count())
        return fail("no track " + std::to_string(number) + " in this set (it has " +
                    std::to_string(set->set->track_count()) + ")");
    return guarded([&]() -> const char* {
        auto made = std::make_unique<tambelo_track>();
        tambelo::OfflineFailure failure = tambelo::OfflineFailure::none;
        made->played = set->set->open_track(number, &failure);
        if (!made->played)
            return fail("track " + std::to_string(number) + " cannot be played: it " + tambelo::describe(failure));
        const std::string soundfont = chosen.soundfont ? chosen.soundfont : "";
        // The synthesizer's libraries would print their complaints.
        tambelo::silence_sound_libraries();
        std::string why;
        made->soundfont_asked = soundfont;
        made->synth = take_kept(soundfont, chosen.sample_rate);
        if (!made->synth)
            made->synth = tambelo::RenderSynth::create(soundfont, chosen.sample_rate, &why);
        if (!made->synth)
            return fail(why.empty() ? "no SoundFont could be loaded" : why);
        if (!soundfont.empty() && made->synth->soundfont() != soundfont)
            return fail("the SoundFont " + soundfont + " cannot be loaded");
        tambelo::RenderSettings render;
        render.loop_mode = chosen.loop_mode == TAMBELO_LOOP_SEAMLESS  ? tambelo::LoopMode::seamless
                           : chosen.loop_mode == TAMBELO_LOOP_FOREVER ? tambelo::LoopMode::forever
                                                                      : tambelo::LoopMode::fade;
        render.loops = chosen.loops;
        render.fade_ms = chosen.fade_ms;
        render.release_tail = chosen.keep_release_tail != 0;
        const tambelo::RenderSet* source = set->set.get();
        made->renderer = std::make_unique<tambelo::TrackRenderer>(
            *made->synth, *made->played, render, [source, number] { return source->open_track(number); });
        *track = made.release();
        return nullptr;
    });
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
