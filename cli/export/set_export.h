#pragma once

#include "cli/export/replay_gain.h"
#include "cli/export/track_export.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// One track to export and where its file goes.
struct TrackJob {
    TrackLabel label;
    std::string path;
};

// The reason given for tracks left unwritten because the export was asked
// to stop.
inline constexpr const char* export_interrupted_reason = "interrupted";

struct TrackOutcome {
    TrackLabel label;
    std::string path;
    bool written = false;
    std::string reason;      // why it was not written
    double audio_ms = 0.0;   // length of what was written
    std::optional<FileLoop> loop;  // the loop points an audio file carries
    std::string note;        // something the user should know about a written file
    std::optional<Normalization> normalization;  // what a normalized export reached
};

// Exports `jobs` of the music set (score and voice archive) with `settings`,
// on up to `threads` threads; tracks are independent, each thread plays its
// own Player and, for audio, its own synthesizer. A track that fails is
// skipped with its reason (also one that would play for more than three
// hours); the others are still written. Audio files of looping tracks
// carry their loop points unless the track's channel loops differ. FLAC
// and Ogg files carry ReplayGain tags, and normalized files are scaled:
// both need each track's loudness first, so every track is rendered twice
// (a first pass measures, the second writes). `on_done` is
// called once per track as it finishes, one call at a time, from any of the
// threads. Returns the outcomes in the order of `jobs`.
std::vector<TrackOutcome> export_tracks(const std::string& score_path, const std::string& voice_path,
                                        const std::vector<TrackJob>& jobs, const ExportSettings& settings,
                                        int threads,
                                        const std::function<void(const TrackOutcome&)>& on_done = {});

}  // namespace tambelo
