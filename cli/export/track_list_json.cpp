#include "cli/export/track_list_json.h"

#include "library/render/track_span.h"
#include "cli/export/track_export.h"
#include "library/offline_render.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace tambelo {
namespace {

using Json = nlohmann::ordered_json;

// Milliseconds to the microsecond: enough for any frame rate, and stable text.
double rounded_ms(double ms)
{
    return std::round(ms * 1000.0) / 1000.0;
}

Json describe_track(const MusicSetFiles& files, const SetTitles& titles, std::int32_t number, int sample_rate,
                    const std::vector<PlayedSoundFont>& soundfonts)
{
    Json entry;
    entry["number"] = number;
    entry["title_line"] = titles.title_line(number);
    entry["title"] = titles.title(number);
    OfflineFailure failure = OfflineFailure::none;
    const auto track = OfflineTrack::open_set_track(files.score, files.voice, number, &failure);
    entry["compiles"] = track != nullptr;
    entry["failure"] = track ? Json(nullptr) : Json(describe(failure));
    if (!track) {
        for (const char* key : {"loops", "ends_by_itself", "channel_loops_differ"})
            entry[key] = false;
        for (const char* key : {"intro_ms", "intro_frames", "loop_ms", "loop_frames"})
            entry[key] = nullptr;
        entry["voice_fallbacks"] = Json::array();
        return entry;
    }
    // Played through first; its lengths were measured when it was opened.
    const Json fallbacks = voice_fallbacks_json(track_voice_fallbacks(*track, soundfonts));
    const TrackLength& length = track->length();
    const double tick_ms = track->tick_length_ms();
    const bool loops = length.kind == TrackLength::Kind::loops;
    entry["loops"] = loops;
    entry["ends_by_itself"] = !loops;
    entry["channel_loops_differ"] = loops && length.cycles_differ;
    if (!loops) {
        const double end_ms = tick_time_ms(length.end_tick, tick_ms);
        entry["intro_ms"] = rounded_ms(end_ms);
        entry["intro_frames"] = frame_at_ms(end_ms, sample_rate);
        entry["loop_ms"] = nullptr;
        entry["loop_frames"] = nullptr;
        entry["voice_fallbacks"] = fallbacks;
        return entry;
    }
    const double start_ms = tick_time_ms(length.loop_start_tick, tick_ms);
    const double end_ms = tick_time_ms(length.loop_start_tick + length.loop_ticks, tick_ms);
    const std::size_t start_frame = frame_at_ms(start_ms, sample_rate);
    entry["intro_ms"] = rounded_ms(start_ms);
    entry["intro_frames"] = start_frame;
    entry["loop_ms"] = rounded_ms(end_ms - start_ms);
    entry["loop_frames"] = frame_at_ms(end_ms, sample_rate) - start_frame;
    entry["voice_fallbacks"] = fallbacks;
    return entry;
}

}  // namespace

std::vector<VoiceFallback> track_voice_fallbacks(OfflineTrack& track, const std::vector<PlayedSoundFont>& soundfonts)
{
    if (soundfonts.empty())
        return {};
    std::vector<std::vector<PresetNumber>> presets;
    for (const PlayedSoundFont& soundfont : soundfonts)
        presets.push_back(soundfont.presets);
    return voice_fallbacks(track_voices(track), presets);
}

Json soundfont_paths_json(const std::vector<PlayedSoundFont>& soundfonts)
{
    Json paths = Json::array();
    for (const PlayedSoundFont& soundfont : soundfonts)
        paths.push_back(soundfont.path);
    return paths;
}

Json voice_fallbacks_json(const std::vector<VoiceFallback>& fallbacks)
{
    Json list = Json::array();
    for (const VoiceFallback& fallback : fallbacks) {
        Json entry;
        entry["channel"] = fallback.asked.channel;
        entry["bank"] = fallback.asked.preset.bank;
        entry["program"] = fallback.asked.preset.program;
        entry["plays"] = fallback.played ? Json{{"bank", fallback.played->bank}, {"program", fallback.played->program}}
                                         : Json(nullptr);
        list.push_back(std::move(entry));
    }
    return list;
}

std::string track_list_json(const MusicSetFiles& files, const SetTitles& titles,
                            const std::vector<std::int32_t>& tracks, int sample_rate,
                            const std::vector<PlayedSoundFont>& soundfonts,
                            const std::map<std::int32_t, std::string>& exported_files)
{
    Json document;
    document["format"] = "tambelo-track-list";
    document["version"] = 1;
    document["title"] = titles.game_title();
    document["sample_rate"] = sample_rate;
    document["soundfonts"] = soundfont_paths_json(soundfonts);
    Json list = Json::array();
    for (const std::int32_t number : tracks) {
        Json entry = describe_track(files, titles, number, sample_rate, soundfonts);
        if (const auto file = exported_files.find(number); file != exported_files.end())
            entry["file"] = file->second.empty() ? Json(nullptr) : Json(file->second);
        list.push_back(std::move(entry));
    }
    document["tracks"] = std::move(list);
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + '\n';
}

}  // namespace tambelo
