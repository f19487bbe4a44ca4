#pragma once

#include "cli/export/track_export.h"
#include "cli/export/replay_gain.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

struct TrackJob;

// The loudness of a rendering as EBU R128 measures it.
struct AudioLoudness {
    double lufs = 0.0;  // integrated loudness; minus infinity for silence
    double peak = 0.0;  // the largest absolute sample value (1.0 is full scale)
};

// What the measuring pass found of a track, for the pass that writes it.
struct MeasuredTrack {
    AudioLoudness track;
    std::optional<AudioLoudness> album;  // when the file carries the album's ReplayGain
};

// What write() did to the level, for the user.
struct WrittenLevel {
    std::optional<Normalization> normalization;  // when the export normalizes
};

// A track's loudness measured on the way, kept for the album's loudness.
class TrackLoudnessMeter;

// Writing a track's audio file with the embedded synthesizer, through the
// renderer's C interface (tambelo/render.h). The Linux build renders
// (audio_track.cpp); a build without the synthesizer, such as the Windows
// one, has only the answer that it cannot (audio_track_unavailable.cpp).
class TrackAudioWriter {
public:
    // One per export thread, for the set of the score and voice archive,
    // which it reads at its first track. The renderer keeps the
    // synthesizer of the track closed last for the next one, since loading
    // a SoundFont costs far more than resetting it.
    TrackAudioWriter(const ExportSettings& settings, const std::string& score_path, const std::string& voice_path);
    ~TrackAudioWriter();
    TrackAudioWriter(const TrackAudioWriter&) = delete;
    TrackAudioWriter& operator=(const TrackAudioWriter&) = delete;

    // Writes the audio of track `track` to `job.path`, carrying `loop`'s
    // points when given; `seamless`: the intro and one pass of the loop that
    // repeats without a seam, else the export's loops and fade. Returns an
    // empty string on success, else a one-line reason
    // (`export_interrupted_reason` when the export was asked to stop: the
    // unfinished file is dropped); `audio_ms` receives the length written.
    // `measured`: the track's loudness from measure(), which ReplayGain
    // tags and normalization need (left out without it); `level` receives
    // what the normalization reached. The notes of the score channels in
    // `muted` are left out; `frames`, when given, makes the file exactly
    // that long (a stem as long as its mix, whose release tail may last
    // longer), silence added or the tail cut. A stem is given its mix's
    // measurement, so that the stems keep their mix's gain and sum to it.
    std::string write(std::int32_t track, const TrackJob& job, const std::optional<FileLoop>& loop, bool seamless,
                      const MeasuredTrack* measured, double& audio_ms, WrittenLevel& level, std::uint16_t muted = 0,
                      std::optional<std::size_t> frames = std::nullopt);
    // The frames a write of `track` without `muted` channels would write, or
    // nothing when the track cannot be rendered or the export is to stop.
    std::optional<std::size_t> count_frames(std::int32_t track, bool seamless, std::uint16_t muted);

    // Renders `track` as write() would and measures it into `meter` (kept
    // for the album's loudness) and `loudness`, without writing anything:
    // the first pass of an export whose files carry their loudness in their
    // header or are scaled by it. Returns as write() does.
    std::string measure(std::int32_t track, bool seamless, std::uint16_t muted,
                        std::shared_ptr<TrackLoudnessMeter>& meter, AudioLoudness& loudness);

private:
    struct Tools;
    // Opens `track` for rendering with `muted` channels; null with the
    // reason in `error` when it cannot be.
    struct OpenTrack;
    std::unique_ptr<OpenTrack> open(std::int32_t track, bool seamless, std::uint16_t muted, std::string& error);

    const ExportSettings& settings_;
    std::unique_ptr<Tools> tools_;
};

// Why this build cannot export audio with `soundfont` (empty: the system's;
// else a file that exists) at `sample_rate`, in one line for the user; empty
// when it can. A SoundFont the user names is never silently replaced by
// another.
std::string audio_export_problem(const std::string& soundfont, int sample_rate);

// The loudness of the meters' renderings taken together, as an album's.
AudioLoudness album_loudness(const std::vector<const TrackLoudnessMeter*>& meters);

}  // namespace tambelo
