#include "cli/export/audio_file.h"

#include <sndfile.h>

#include <cstdio>
#include <filesystem>

namespace tambelo {
namespace {

int sndfile_format(AudioFileType type)
{
    switch (type) {
    case AudioFileType::wav: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case AudioFileType::flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFileType::ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    }
    return 0;
}

std::string write_frames(const std::string& path, AudioFileType type, int sample_rate,
                         const std::vector<float>& frames, const AudioTags& tags)
{
    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = 2;
    info.format = sndfile_format(type);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return "cannot write " + path + ": " + sf_strerror(nullptr);
    // Strings must be set before the first frame for some types.
    if (!tags.title.empty())
        sf_set_string(file, SF_STR_TITLE, tags.title.c_str());
    if (!tags.album.empty())
        sf_set_string(file, SF_STR_ALBUM, tags.album.c_str());
    if (tags.track_number > 0)
        sf_set_string(file, SF_STR_TRACKNUMBER, std::to_string(tags.track_number).c_str());
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (type == AudioFileType::ogg) {
        double quality = 0.6;
        sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    const auto count = static_cast<sf_count_t>(frames.size() / 2);
    const sf_count_t written = count > 0 ? sf_writef_float(file, frames.data(), count) : 0;
    std::string error = written == count ? std::string() : std::string(sf_strerror(file));
    if (sf_close(file) != 0 && error.empty())
        error = "closing failed";
    return error.empty() ? std::string() : "cannot write " + path + ": " + error;
}

}  // namespace

std::string write_audio_file(const std::string& path, AudioFileType type, int sample_rate,
                             const std::vector<float>& frames, const AudioTags& tags)
{
    const std::string temporary = path + ".partial";
    std::string error = write_frames(temporary, type, sample_rate, frames, tags);
    if (error.empty()) {
        std::error_code code;
        std::filesystem::rename(temporary, path, code);
        if (code)
            error = "cannot rename " + temporary + " to " + path + ": " + code.message();
    }
    if (!error.empty())
        std::remove(temporary.c_str());
    return error;
}

}  // namespace tambelo
