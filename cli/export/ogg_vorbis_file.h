#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tambelo {

// A stereo Ogg Vorbis file encoded with libvorbis, for the comments that
// libsndfile cannot write (loop points). Encoding is deterministic: the
// same frames and comments always give the same bytes.
class OggVorbisFile {
public:
    using Comments = std::vector<std::pair<std::string, std::string>>;  // name, value

    // Null when the file cannot be made or the encoder refuses the rate,
    // with a one-line reason in `why`.
    static std::unique_ptr<OggVorbisFile> create(const std::string& path, int sample_rate, float quality,
                                                 const Comments& comments, std::string* why);
    ~OggVorbisFile();
    OggVorbisFile(const OggVorbisFile&) = delete;
    OggVorbisFile& operator=(const OggVorbisFile&) = delete;

    // Encodes interleaved stereo frames, clipped at full scale; false when
    // the file cannot be written.
    bool write(const float* frames, std::size_t count);
    // Ends the stream and closes the file; an empty string, or a one-line reason.
    std::string close();

private:
    struct Encoder;
    explicit OggVorbisFile(std::unique_ptr<Encoder> encoder);
    std::unique_ptr<Encoder> encoder_;
};

}  // namespace tambelo
