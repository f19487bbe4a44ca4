// The C interface of tambelo/render.h: music sets and what they say.
// Nothing thrown inside gets out: each call catches and turns it into its
// message.

#include "library/render/render_api_objects.h"

#include "library/render/track_span.h"
#include "tambelo/music_set.h"

#include <cmath>
#include <vector>

static_assert(TAMBELO_IDENTIFY_HEAD_BYTES == tambelo::score_identity_head_bytes);
static_assert(TAMBELO_LONGEST_RENDERING_MS == tambelo::longest_rendering_ms);

using namespace tambelo::c_api;

namespace {

std::vector<std::uint8_t> copy_bytes(const void* data, std::size_t size)
{
    if (data == nullptr || size == 0)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
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

unsigned tambelo_render_version(void)
{
    return TAMBELO_RENDER_VERSION;
}

int tambelo_identify_score(const void* head, size_t head_size, uint64_t file_size)
{
    if (head == nullptr)
        return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(head);
    return tambelo::identify_score({bytes, head_size}, file_size).tracks;
}

const char* tambelo_set_open_path(const char* score_path, tambelo_set** set)
{
    if (set == nullptr)
        return "no place for the set given";
    *set = nullptr;
    if (score_path == nullptr || *score_path == '\0')
        return "no score archive named";
    return guarded([&]() -> const char* {
        const tambelo::SetFileNames files = tambelo::set_files_of_utf8(score_path);
        std::string why;
        auto opened = tambelo::RenderSet::open_files(files.score, files.voices, files.titles, &why);
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

const tambelo_track_info* tambelo_set_track(const tambelo_set* set, int number)
{
    if (set == nullptr || number < 1 || number > set->set->track_count())
        return nullptr;
    try {
        const tambelo::TrackInfo& read = kept_info(*set, number);
        std::lock_guard lock(set->infos_lock);
        auto& kept = set->c_infos[number];
        if (!kept)
            kept = std::make_unique<tambelo_track_info>(c_info(read));
        return kept.get();
    } catch (...) {
        return nullptr;
    }
}

const char* tambelo_set_track_info(const tambelo_set* set, int number, tambelo_track_info* info)
{
    if (set == nullptr || info == nullptr)
        return "no set or no place for the information given";
    if (number < 1 || number > set->set->track_count())
        return no_such_track(*set, number);
    return guarded([&]() -> const char* {
        // Only the fields of 0.1: a caller's struct may be that short.
        const tambelo_track_info read = c_info(kept_info(*set, number));
        info->number = read.number;
        info->title = read.title;
        info->title_line = read.title_line;
        info->playable = read.playable;
        info->problem = read.problem;
        info->loops = read.loops;
        info->loops_differ = read.loops_differ;
        info->intro_ms = read.intro_ms;
        info->loop_ms = read.loop_ms;
        return nullptr;
    });
}

const char* tambelo_set_track_frames(const tambelo_set* set, int number, const tambelo_render_settings* settings,
                                     int64_t* least_frames, int64_t* most_frames)
{
    if (set == nullptr)
        return "no set given";
    if (number < 1 || number > set->set->track_count())
        return no_such_track(*set, number);
    return guarded([&]() -> const char* {
        ChosenSettings chosen;
        if (const char* why = choose_settings(settings, chosen))
            return why;
        tambelo::RenderingPlan plan;
        if (const char* why = plan_of(*set, number, chosen, plan))
            return why;
        if (least_frames)
            *least_frames = plan.forever ? -1 : plan.least_frames;
        if (most_frames)
            *most_frames = plan.forever ? -1 : plan.most_frames;
        return nullptr;
    });
}

int tambelo_set_track_loop_frames(const tambelo_set* set, int number, int sample_rate, int64_t* start_frame,
                                  int64_t* length_frames)
{
    if (set == nullptr || number < 1 || number > set->set->track_count() || sample_rate < 8000 ||
        sample_rate > 192000)
        return 0;
    try {
        const tambelo::TrackInfo& info = kept_info(*set, number);
        if (!info.playable)
            return 0;
        const auto loop = tambelo::loop_frames(info.length, info.tick_length_ms, sample_rate);
        if (!loop)
            return 0;
        if (start_frame)
            *start_frame = loop->start_frame;
        if (length_frames)
            *length_frames = loop->length_frames;
        return 1;
    } catch (...) {
        return 0;
    }
}

double tambelo_track_info_play_length_ms(const tambelo_track_info* info, int loops, double fade_ms)
{
    if (info == nullptr || !info->playable || loops < 0 || !(fade_ms >= 0.0) || !std::isfinite(fade_ms))
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

}  // extern "C"
