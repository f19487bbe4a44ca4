#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo {

enum class AudioFileType { wav, flac, ogg };

// Tags written where the file type has them (WAV: INFO chunk; FLAC and Ogg:
// comments). Empty texts and a track number of 0 are left out.
struct AudioTags {
    std::string title;
    std::string album;
    std::int32_t track_number = 0;
};

// Writes interleaved stereo float frames as 16-bit PCM WAV, 16-bit FLAC or
// Ogg Vorbis (quality 0.6), clipping at full scale. The file is written under
// a temporary name beside `path` and renamed over it when complete, so a
// failure never leaves a partial file under the final name. Returns an empty
// string on success, else a one-line reason.
std::string write_audio_file(const std::string& path, AudioFileType type, int sample_rate,
                             const std::vector<float>& frames, const AudioTags& tags);

}  // namespace tambelo
