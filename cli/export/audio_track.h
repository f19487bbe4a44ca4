#pragma once

#include "cli/export/track_export.h"

#include <memory>
#include <string>

namespace tambelo {

struct TrackJob;

// Writing a track's audio file with the embedded synthesizer. The Linux
// build renders (audio_track.cpp); a build without the synthesizer, such as
// the Windows one, has only the answer that it cannot
// (audio_track_unavailable.cpp).
class TrackAudioWriter {
public:
    // One per export thread: the synthesizer is made at the first track and
    // reused, since loading a SoundFont costs far more than resetting it.
    explicit TrackAudioWriter(const ExportSettings& settings);
    ~TrackAudioWriter();
    TrackAudioWriter(const TrackAudioWriter&) = delete;
    TrackAudioWriter& operator=(const TrackAudioWriter&) = delete;

    // Writes the audio of `track` to `job.path`. Returns an empty string on
    // success, else a one-line reason; `audio_ms` receives the length written.
    std::string write(OfflineTrack& track, const TrackJob& job, double& audio_ms);

private:
    struct Tools;
    const ExportSettings& settings_;
    std::unique_ptr<Tools> tools_;
};

// Why this build cannot export audio with `soundfont` (empty: the system's),
// in one line for the user; empty when it can.
std::string audio_export_problem(const std::string& soundfont);

}  // namespace tambelo
