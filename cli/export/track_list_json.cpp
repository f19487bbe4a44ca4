#include "cli/export/track_list_json.h"

#include "cli/export/render_set_handle.h"
#include "cli/export/track_export.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

using Json = nlohmann::ordered_json;

// Milliseconds to the microsecond: enough for any frame rate, and stable text.
double rounded_ms(double ms)
{
    return std::round(ms * 1000.0) / 1000.0;
}

// The frame nearest `ms`, as the renderer counts them.
std::int64_t frame_near(double ms, int sample_rate)
{
    return std::max<std::int64_t>(0, std::llround(ms * sample_rate / 1000.0));
}

Json describe_track(const MusicSetFiles& files, const tambelo_set* set, const SetTitles& titles, std::int32_t number,
                    int sample_rate, const SynthSoundFonts& soundfonts)
{
    Json entry;
    entry["number"] = number;
    entry["title_line"] = titles.title_line(number);
    entry["title"] = titles.title(number);
    // Played through first.
    std::string failure;
    const auto missing = soundfonts.missing_voices(files.score, files.voice, number, &failure);
    const tambelo_track_info* info = set ? tambelo_set_track(set, number) : nullptr;
    // The set's own reason first: it also knows the tracks that a file cut
    // short has lost.
    if (info && !info->playable)
        failure = info->problem;
    const bool compiles = missing && info && info->playable;
    entry["compiles"] = compiles;
    entry["failure"] = compiles ? Json(nullptr) : Json(failure);
    if (!compiles) {
        for (const char* key : {"loops", "ends_by_itself", "channel_loops_differ"})
            entry[key] = false;
        for (const char* key : {"intro_ms", "intro_frames", "loop_ms", "loop_frames"})
            entry[key] = nullptr;
        entry["voice_fallbacks"] = Json::array();
        return entry;
    }
    // The lengths are the renderer's.
    const Json fallbacks = voice_fallbacks_json(*missing);
    const bool loops = info->loops != 0;
    entry["loops"] = loops;
    entry["ends_by_itself"] = !loops;
    entry["channel_loops_differ"] = loops && info->loops_differ;
    entry["intro_ms"] = rounded_ms(info->intro_ms);
    if (!loops) {
        entry["intro_frames"] = frame_near(info->intro_ms, sample_rate);
        entry["loop_ms"] = nullptr;
        entry["loop_frames"] = nullptr;
        entry["voice_fallbacks"] = fallbacks;
        return entry;
    }
    // The loop points of an audio export; a loop that differs between
    // channels has none, and is counted from its longest channel's times.
    std::int64_t start_frame = 0;
    std::int64_t loop_frames = 0;
    if (!tambelo_set_track_loop_frames(set, number, sample_rate, &start_frame, &loop_frames)) {
        start_frame = frame_near(info->intro_ms, sample_rate);
        loop_frames = frame_near(info->intro_ms + info->loop_ms, sample_rate) - start_frame;
    }
    entry["intro_frames"] = start_frame;
    entry["loop_ms"] = rounded_ms(info->loop_ms);
    entry["loop_frames"] = loop_frames;
    entry["voice_fallbacks"] = fallbacks;
    return entry;
}

}  // namespace

Json soundfont_paths_json(const SynthSoundFonts& soundfonts)
{
    Json paths = Json::array();
    for (const std::string& path : soundfonts.paths())
        paths.push_back(path);
    return paths;
}

Json voice_fallbacks_json(const std::vector<MissingVoice>& fallbacks)
{
    Json list = Json::array();
    for (const MissingVoice& fallback : fallbacks) {
        Json entry;
        entry["channel"] = fallback.channel;
        entry["bank"] = fallback.bank;
        entry["program"] = fallback.program;
        entry["plays"] = fallback.played ? Json{{"bank", fallback.played->first}, {"program", fallback.played->second}}
                                         : Json(nullptr);
        list.push_back(std::move(entry));
    }
    return list;
}

std::string track_list_json(const MusicSetFiles& files, const SetTitles& titles,
                            const std::vector<std::int32_t>& tracks, int sample_rate,
                            const SynthSoundFonts& soundfonts,
                            const std::map<std::int32_t, std::string>& exported_files)
{
    Json document;
    document["format"] = "tambelo-track-list";
    document["version"] = 1;
    document["title"] = titles.game_title();
    document["sample_rate"] = sample_rate;
    document["soundfonts"] = soundfont_paths_json(soundfonts);
    std::string why;
    const RenderSetHandle set = open_render_set(files.score, files.voice, why);
    Json list = Json::array();
    for (const std::int32_t number : tracks) {
        Json entry = describe_track(files, set.get(), titles, number, sample_rate, soundfonts);
        if (const auto file = exported_files.find(number); file != exported_files.end())
            entry["file"] = file->second.empty() ? Json(nullptr) : Json(file->second);
        list.push_back(std::move(entry));
    }
    document["tracks"] = std::move(list);
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + '\n';
}

}  // namespace tambelo
