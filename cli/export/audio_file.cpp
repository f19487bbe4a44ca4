#include "cli/export/audio_file.h"

#include "cli/export/flac_comments.h"
#include "cli/export/ogg_vorbis_file.h"

#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

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

constexpr float ogg_quality = 0.6f;

using Comments = std::vector<std::pair<std::string, std::string>>;

Comments loop_comments(const AudioLoop& loop)
{
    return {{"LOOPSTART", std::to_string(loop.start_frame)},
            {"LOOPLENGTH", std::to_string(loop.length_frames)},
            {"LOOPEND", std::to_string(loop.start_frame + loop.length_frames)}};
}

// The tags as Vorbis comments, under the names libsndfile gives them.
Comments vorbis_comments(const AudioTags& tags)
{
    Comments comments;
    if (!tags.title.empty())
        comments.emplace_back("TITLE", tags.title);
    if (!tags.album.empty())
        comments.emplace_back("ALBUM", tags.album);
    if (tags.track_number > 0)
        comments.emplace_back("TRACKNUMBER", std::to_string(tags.track_number));
    if (tags.loop) {
        const Comments loop = loop_comments(*tags.loop);
        comments.insert(comments.end(), loop.begin(), loop.end());
    }
    return comments;
}

// The `smpl` chunk's one forward loop; its end is the loop's last frame.
void set_wav_loop(SNDFILE* handle, const AudioLoop& loop)
{
    SF_INSTRUMENT instrument{};
    instrument.basenote = 60;
    instrument.velocity_hi = 127;
    instrument.key_hi = 127;
    instrument.loop_count = 1;
    instrument.loops[0].mode = SF_LOOP_FORWARD;
    instrument.loops[0].start = static_cast<unsigned int>(loop.start_frame);
    instrument.loops[0].end = static_cast<unsigned int>(loop.start_frame + loop.length_frames - 1);
    instrument.loops[0].count = 0;  // for ever
    sf_command(handle, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
}

}  // namespace

struct AudioFileWriter::File {
    std::string path;
    std::string temporary;
    SNDFILE* handle = nullptr;          // WAV and FLAC
    std::unique_ptr<OggVorbisFile> ogg;  // Ogg Vorbis, with comments libsndfile cannot write
    Comments flac_comments;             // added once libsndfile has written the file
    std::string error;
};

std::unique_ptr<AudioFileWriter> AudioFileWriter::open(const std::string& path, AudioFileType type,
                                                       int sample_rate, const AudioTags& tags, std::string* why)
{
    auto file = std::make_unique<File>();
    file->path = path;
    file->temporary = path + ".partial";
    if (type == AudioFileType::ogg) {
        file->ogg = OggVorbisFile::create(file->temporary, sample_rate, ogg_quality, vorbis_comments(tags), why);
        if (!file->ogg) {
            std::remove(file->temporary.c_str());
            return nullptr;
        }
        return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(file)));
    }
    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = 2;
    info.format = sndfile_format(type);
    file->handle = sf_open(file->temporary.c_str(), SFM_WRITE, &info);
    if (file->handle == nullptr) {
        if (why)
            *why = "cannot write " + file->temporary + ": " + sf_strerror(nullptr);
        std::remove(file->temporary.c_str());
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
    if (tags.loop && type == AudioFileType::wav)
        set_wav_loop(file->handle, *tags.loop);
    if (tags.loop && type == AudioFileType::flac)
        file->flac_comments = loop_comments(*tags.loop);
    return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(file)));
}

AudioFileWriter::AudioFileWriter(std::unique_ptr<File> file) : file_(std::move(file)) {}

AudioFileWriter::~AudioFileWriter()
{
    if (file_ && (file_->handle != nullptr || file_->ogg)) {
        if (file_->handle != nullptr)
            sf_close(file_->handle);
        file_->ogg.reset();
        std::remove(file_->temporary.c_str());
    }
}

bool AudioFileWriter::write(const float* frames, std::size_t count)
{
    if (!file_->error.empty())
        return false;
    if (file_->ogg) {
        if (!file_->ogg->write(frames, count))
            file_->error = "the disk refused the data";
        return file_->error.empty();
    }
    const auto wanted = static_cast<sf_count_t>(count);
    if (count > 0 && sf_writef_float(file_->handle, frames, wanted) != wanted)
        file_->error = sf_strerror(file_->handle);
    return file_->error.empty();
}

std::string AudioFileWriter::finish()
{
    std::string error = file_->error;
    if (file_->ogg) {
        const std::string closing = file_->ogg->close();
        if (error.empty())
            error = closing;
        file_->ogg.reset();
    } else {
        if (sf_close(file_->handle) != 0 && error.empty())
            error = "closing failed";
        file_->handle = nullptr;
        if (error.empty() && !file_->flac_comments.empty()) {
            const std::string adding = add_flac_comments(file_->temporary, file_->flac_comments);
            if (!adding.empty()) {
                std::remove(file_->temporary.c_str());
                return adding;
            }
        }
    }
    if (error.empty()) {
        std::error_code code;
        std::filesystem::rename(file_->temporary, file_->path, code);
        if (!code)
            return {};
        std::remove(file_->temporary.c_str());
        return "cannot rename " + file_->temporary + " to " + file_->path + ": " + code.message();
    }
    std::remove(file_->temporary.c_str());
    return "cannot write " + file_->temporary + ": " + error;
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
