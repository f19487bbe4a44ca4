#include "library/render/render_set.h"

#include "library/render/rendering_length.h"

#include "library/page_archive.h"
#include "files/regular_file.h"
#include "library/player.h"
#include "library/score_compiler.h"
#include "tambelo/music_set.h"
#include "library/voice_set.h"
#include "titles/plain_titles.h"
#include "titles/title_list.h"

#include <cstdio>

namespace tambelo {
namespace {

// The whole of an ordinary file; nothing for anything else (a FIFO would
// block the reader, a folder reads as empty) or when a read fails.
std::optional<std::vector<std::uint8_t>> read_whole(const std::string& path)
{
    std::FILE* file = open_regular_file(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return bytes;
}

}  // namespace

std::unique_ptr<RenderSet> RenderSet::open_files(const std::string& score_path, const std::string& voice_path,
                                                 const std::string& titles_path, std::string* why)
{
    std::unique_ptr<RenderSet> set(new RenderSet());
    auto score = read_whole(score_path);
    if (!score) {
        if (why)
            *why = "cannot read " + score_path;
        return nullptr;
    }
    set->score_ = std::move(*score);
    if (!voice_path.empty())
        set->voices_ = read_whole(voice_path).value_or(std::vector<std::uint8_t>{});
    if (!titles_path.empty())
        set->titles_ = read_title_list(titles_path);
    if (!set->finish(why)) {
        if (why)
            *why = score_path + " " + *why;
        return nullptr;
    }
    return set;
}

std::unique_ptr<RenderSet> RenderSet::open_bytes(std::vector<std::uint8_t> score, std::vector<std::uint8_t> voices,
                                                 const std::string& titles, std::string* why)
{
    std::unique_ptr<RenderSet> set(new RenderSet());
    set->score_ = std::move(score);
    set->voices_ = std::move(voices);
    set->titles_ = decode_title_list(titles);
    if (!set->finish(why)) {
        if (why)
            *why = "the score archive given " + *why;
        return nullptr;
    }
    return set;
}

bool RenderSet::finish(std::string* why)
{
    const ScoreIdentity identity = identify_score(score_, score_.size());
    if (!identity.is_set()) {
        if (why)
            *why = not_a_set_reason;
        return false;
    }
    track_count_ = identity.tracks;
    intact_count_ = identity.intact;
    game_title_ = without_surrounding_blanks(game_title_of(titles_).value_or(std::string()));
    return true;
}

std::unique_ptr<FrozenClockSequencer> RenderSet::open_track(std::int32_t track, TrackOpenFailure* failure) const
{
    if (track < 1 || track > track_count_) {
        if (failure)
            *failure = TrackOpenFailure::does_not_compile;
        return nullptr;
    }
    return FrozenClockSequencer::open(
        [&](Player& player) {
            const auto score = PageArchive::read_entry(score_, track);
            if (!score || !compile_score_bytes(player, *score))
                return false;
            if (const auto voices = PageArchive::read_entry(voices_, track))
                load_voice_set_bytes(player, *voices);
            else
                reset_voice_set(player);
            // The sequencer reports the end of a track against the one it plays.
            set_playing_track(player, track);
            return true;
        },
        failure);
}

TrackInfo RenderSet::info(std::int32_t track) const
{
    TrackInfo info;
    info.number = track;
    info.title_line = title_line_of(titles_, track).value_or(std::string());
    info.title = track_title_of(titles_, track);
    if (track > intact_count_) {
        info.problem = cut_off_reason;
        return info;
    }
    TrackOpenFailure failure = TrackOpenFailure::none;
    const auto played = open_track(track, &failure);
    if (!played) {
        info.problem = describe(failure);
        return info;
    }
    const TrackLength& length = played->length();
    info.length = length;
    info.note_channels = played->note_channels();
    info.tick_length_ms = played->tick_length_ms();
    if (length.kind == TrackLength::Kind::ends) {
        info.ends = true;
        info.intro_ms = tick_time_ms(length.end_tick, info.tick_length_ms);
    } else {
        info.loops = true;
        info.loops_differ = length.cycles_differ;
        info.intro_ms = tick_time_ms(length.loop_start_tick, info.tick_length_ms);
        info.loop_ms = static_cast<double>(length.loop_ticks) * info.tick_length_ms;
    }
    // A damaged or hostile set can describe music that plays for years:
    // its shortest rendering (the whole track, or its intro and one loop)
    // must fit in the bound, or no host could play it to its end.
    info.playable = info.intro_ms + info.loop_ms <= longest_rendering_ms;
    if (!info.playable)
        info.problem = too_long_reason;
    return info;
}

}  // namespace tambelo
