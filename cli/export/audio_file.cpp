#include "cli/export/audio_file.h"

#include "cli/authoring/temporary_file.h"
#include "cli/export/ogg_serial.h"

#include <sndfile.h>


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

// The same tags give the same serial number; different tracks get
// different ones, so that their files may still be chained. FNV-1a.
std::uint32_t stream_serial_for(const AudioTags& tags)
{
    std::uint32_t hash = 2166136261u;
    const std::string text = tags.album + '\n' + tags.title + '\n' + std::to_string(tags.track_number);
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

}  // namespace

struct AudioFileWriter::File {
    explicit File(const std::string& path) : temporary(path) {}
    TemporaryFile temporary;
    AudioFileType type = AudioFileType::wav;
    std::uint32_t stream_serial = 0;  // Ogg only
    SNDFILE* handle = nullptr;
    std::string error;
};

std::unique_ptr<AudioFileWriter> AudioFileWriter::open(const std::string& path, AudioFileType type,
                                                       int sample_rate, const AudioTags& tags, std::string* why)
{
    auto file = std::make_unique<File>(path);
    if (!file->temporary.reserved()) {
        if (why)
            *why = file->temporary.error();
        return nullptr;
    }
    file->type = type;
    file->stream_serial = stream_serial_for(tags);
    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = 2;
    info.format = sndfile_format(type);
    file->handle = sf_open(file->temporary.path().c_str(), SFM_WRITE, &info);
    if (file->handle == nullptr) {
        if (why)
            *why = "cannot write " + file->temporary.path() + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    // Some types take their strings only before the first frame.
    if (!tags.title.empty())
        sf_set_string(file->handle, SF_STR_TITLE, tags.title.c_str());
    if (!tags.album.empty())
        sf_set_string(file->handle, SF_STR_ALBUM, tags.album.c_str());
    if (tags.track_number > 0)
        sf_set_string(file->handle, SF_STR_TRACKNUMBER, std::to_string(tags.track_number).c_str());
    sf_command(file->handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (type == AudioFileType::ogg) {
        double quality = 0.6;
        sf_command(file->handle, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(file)));
}

AudioFileWriter::AudioFileWriter(std::unique_ptr<File> file) : file_(std::move(file)) {}

AudioFileWriter::~AudioFileWriter()
{
    // The temporary file goes with file_ unless finish() moved it into place.
    if (file_ && file_->handle != nullptr)
        sf_close(file_->handle);
}

bool AudioFileWriter::write(const float* frames, std::size_t count)
{
    if (!file_->error.empty())
        return false;
    const auto wanted = static_cast<sf_count_t>(count);
    if (count > 0 && sf_writef_float(file_->handle, frames, wanted) != wanted)
        file_->error = sf_strerror(file_->handle);
    return file_->error.empty();
}

std::string AudioFileWriter::finish()
{
    std::string error = file_->error;
    if (sf_close(file_->handle) != 0 && error.empty())
        error = "closing failed";
    file_->handle = nullptr;
    if (error.empty() && file_->type == AudioFileType::ogg)
        error = set_ogg_serial_number(file_->temporary.path(), file_->stream_serial);
    if (error.empty())
        return file_->temporary.commit();
    return "cannot write " + file_->temporary.path() + ": " + error;
}

std::string write_audio_file(const std::string& path, AudioFileType type, int sample_rate,
                             const std::vector<float>& frames, const AudioTags& tags)
{
    std::string why;
    auto writer = AudioFileWriter::open(path, type, sample_rate, tags, &why);
    if (!writer)
        return why;
    writer->write(frames.data(), frames.size() / 2);
    return writer->finish();
}

}  // namespace tambelo
