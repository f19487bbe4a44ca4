#include "cli/export/audio_file.h"

#include "cli/authoring/temporary_file.h"
#include "cli/export/flac_comments.h"
#include "cli/export/ogg_vorbis_file.h"

#include <sndfile.h>

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

Comments loop_comments(const FileLoop& loop)
{
    return {{"LOOPSTART", std::to_string(loop.start_frame)},
            {"LOOPLENGTH", std::to_string(loop.length_frames)},
            {"LOOPEND", std::to_string(loop.start_frame + loop.length_frames)}};
}

Comments replay_gain_comments(const ReplayGainTags& gain)
{
    Comments comments = {{"REPLAYGAIN_TRACK_GAIN", replay_gain_text(gain.track_gain_db)},
                         {"REPLAYGAIN_TRACK_PEAK", replay_peak_text(gain.track_peak)}};
    if (gain.album_gain_db && gain.album_peak) {
        comments.emplace_back("REPLAYGAIN_ALBUM_GAIN", replay_gain_text(*gain.album_gain_db));
        comments.emplace_back("REPLAYGAIN_ALBUM_PEAK", replay_peak_text(*gain.album_peak));
    }
    return comments;
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
    if (tags.replay_gain) {
        const Comments gain = replay_gain_comments(*tags.replay_gain);
        comments.insert(comments.end(), gain.begin(), gain.end());
    }
    return comments;
}

// The `smpl` chunk's one forward loop, whose end in the chunk is the loop's
// last frame. libsndfile takes the end as the first frame after the loop and
// writes one less, so it gets start + length.
void set_wav_loop(SNDFILE* handle, const FileLoop& loop)
{
    SF_INSTRUMENT instrument{};
    instrument.basenote = 60;
    instrument.velocity_hi = 127;
    instrument.key_hi = 127;
    instrument.loop_count = 1;
    instrument.loops[0].mode = SF_LOOP_FORWARD;
    instrument.loops[0].start = static_cast<unsigned int>(loop.start_frame);
    instrument.loops[0].end = static_cast<unsigned int>(loop.start_frame + loop.length_frames);
    instrument.loops[0].count = 0;  // for ever
    sf_command(handle, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
}

}  // namespace

struct AudioFileWriter::File {
    explicit File(const std::string& path) : temporary(path) {}
    TemporaryFile temporary;  // removed with the File unless moved into place
    SNDFILE* handle = nullptr;          // WAV and FLAC
    std::unique_ptr<OggVorbisFile> ogg;  // Ogg Vorbis, with comments libsndfile cannot write
    Comments flac_comments;             // added once libsndfile has written the file
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
    if (type == AudioFileType::ogg) {
        file->ogg = OggVorbisFile::create(file->temporary.path(), sample_rate, ogg_quality, vorbis_comments(tags), why);
        if (!file->ogg)
            return nullptr;
        return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(file)));
    }
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
    if (tags.loop && type == AudioFileType::wav)
        set_wav_loop(file->handle, *tags.loop);
    if (tags.loop && type == AudioFileType::flac)
        file->flac_comments = loop_comments(*tags.loop);
    if (tags.replay_gain && type == AudioFileType::flac) {
        const Comments gain = replay_gain_comments(*tags.replay_gain);
        file->flac_comments.insert(file->flac_comments.end(), gain.begin(), gain.end());
    }
    return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(file)));
}

AudioFileWriter::AudioFileWriter(std::unique_ptr<File> file) : file_(std::move(file)) {}

AudioFileWriter::~AudioFileWriter()
{
    // The temporary file goes with file_ unless finish() moved it into place.
    if (file_ && file_->handle != nullptr)
        sf_close(file_->handle);
    if (file_)
        file_->ogg.reset();
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
            const std::string adding = add_flac_comments(file_->temporary.path(), file_->flac_comments);
            if (!adding.empty())
                return adding;
        }
    }
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
