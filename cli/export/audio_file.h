#pragma once

#include "cli/export/replay_gain.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

enum class AudioFileType { wav, flac, ogg };

// A loop in sample frames: playback that reaches frame start + length goes
// on at frame start.
struct FileLoop {
    std::int64_t start_frame = 0;
    std::int64_t length_frames = 0;

    bool operator==(const FileLoop&) const = default;
};

// Tags written where the file type has them (WAV: INFO chunk; FLAC and Ogg:
// comments). Empty texts and a track number of 0 are left out. A loop goes
// into a WAV file's `smpl` chunk (one forward loop whose end is its last
// frame) and into FLAC and Ogg comments: LOOPSTART and LOOPLENGTH, as most
// players and engines read them, and LOOPEND = LOOPSTART + LOOPLENGTH, the
// first frame after the loop. ReplayGain goes into FLAC and Ogg comments
// (REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_TRACK_PEAK and, when given, the album's);
// WAV files have no place for it.
struct AudioTags {
    std::string title;
    std::string album;
    std::int32_t track_number = 0;
    std::optional<FileLoop> loop;
    std::optional<ReplayGainTags> replay_gain;
};

// An audio file written piece by piece under a temporary name beside its
// final one, and renamed into place by finish(). Dropped unfinished, it
// removes the temporary file, so a failure never leaves a partial file
// under the final name. Formats as for write_audio_file below.
class AudioFileWriter {
public:
    // Null when the temporary file cannot be made, with a one-line reason in `why`.
    static std::unique_ptr<AudioFileWriter> open(const std::string& path, AudioFileType type, int sample_rate,
                                                 const AudioTags& tags, std::string* why = nullptr);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends interleaved stereo frames; false (with the reason kept for
    // finish) when they cannot be written.
    bool write(const float* frames, std::size_t count);
    // Closes the file and renames it to its final name. Returns an empty
    // string on success, else a one-line reason (the temporary file is gone).
    std::string finish();

private:
    struct File;
    explicit AudioFileWriter(std::unique_ptr<File> file);
    std::unique_ptr<File> file_;
};

// Writes interleaved stereo float frames as 16-bit PCM WAV, 16-bit FLAC or
// Ogg Vorbis (quality 0.6, from the same input always the same bytes),
// clipping at full scale. The file is written under
// a temporary name beside `path` and renamed over it when complete, so a
// failure never leaves a partial file under the final name. Returns an empty
// string on success, else a one-line reason.
std::string write_audio_file(const std::string& path, AudioFileType type, int sample_rate,
                             const std::vector<float>& frames, const AudioTags& tags);

}  // namespace tambelo
