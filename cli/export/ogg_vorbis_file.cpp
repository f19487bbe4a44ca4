#include "cli/export/ogg_vorbis_file.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tambelo {
namespace {

// One logical stream per file: any fixed serial number will do, and a fixed
// one keeps the output reproducible.
constexpr int stream_serial = 0x74616d62;
constexpr std::size_t piece_frames = 1024;

}  // namespace

struct OggVorbisFile::Encoder {
    std::FILE* file = nullptr;
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    ogg_stream_state stream{};
    bool started = false;  // dsp, block and stream need clearing
    bool failed = false;

    ~Encoder()
    {
        if (started) {
            ogg_stream_clear(&stream);
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
        if (file != nullptr)
            std::fclose(file);
    }

    void write_page(const ogg_page& page)
    {
        if (std::fwrite(page.header, 1, static_cast<std::size_t>(page.header_len), file) !=
                static_cast<std::size_t>(page.header_len) ||
            std::fwrite(page.body, 1, static_cast<std::size_t>(page.body_len), file) !=
                static_cast<std::size_t>(page.body_len))
            failed = true;
    }

    // Moves every finished block through the encoder into pages on disk.
    void drain()
    {
        ogg_packet packet;
        ogg_page page;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0)
                    write_page(page);
            }
        }
    }
};

std::unique_ptr<OggVorbisFile> OggVorbisFile::create(const std::string& path, int sample_rate, float quality,
                                                     const Comments& comments, std::string* why)
{
    auto encoder = std::make_unique<Encoder>();
    vorbis_info_init(&encoder->info);
    vorbis_comment_init(&encoder->comment);
    if (vorbis_encode_init_vbr(&encoder->info, 2, sample_rate, quality) != 0) {
        if (why)
            *why = "the Vorbis encoder does not take a sample rate of " + std::to_string(sample_rate) + " Hz";
        return nullptr;
    }
    for (const auto& [name, value] : comments)
        vorbis_comment_add_tag(&encoder->comment, name.c_str(), value.c_str());
    encoder->file = std::fopen(path.c_str(), "wb");
    if (encoder->file == nullptr) {
        if (why)
            *why = "cannot write " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    vorbis_analysis_init(&encoder->dsp, &encoder->info);
    vorbis_block_init(&encoder->dsp, &encoder->block);
    ogg_stream_init(&encoder->stream, stream_serial);
    encoder->started = true;

    // The three header packets, on pages of their own as the format asks.
    ogg_packet identification, comment_packet, codebooks;
    vorbis_analysis_headerout(&encoder->dsp, &encoder->comment, &identification, &comment_packet, &codebooks);
    ogg_stream_packetin(&encoder->stream, &identification);
    ogg_stream_packetin(&encoder->stream, &comment_packet);
    ogg_stream_packetin(&encoder->stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&encoder->stream, &page) != 0)
        encoder->write_page(page);
    return std::unique_ptr<OggVorbisFile>(new OggVorbisFile(std::move(encoder)));
}

OggVorbisFile::OggVorbisFile(std::unique_ptr<Encoder> encoder) : encoder_(std::move(encoder)) {}

OggVorbisFile::~OggVorbisFile() = default;

bool OggVorbisFile::write(const float* frames, std::size_t count)
{
    Encoder& encoder = *encoder_;
    for (std::size_t done = 0; done < count && !encoder.failed;) {
        const std::size_t piece = std::min(count - done, piece_frames);
        float** buffer = vorbis_analysis_buffer(&encoder.dsp, static_cast<int>(piece));
        for (std::size_t i = 0; i < piece; ++i) {
            buffer[0][i] = std::clamp(frames[2 * (done + i)], -1.0f, 1.0f);
            buffer[1][i] = std::clamp(frames[2 * (done + i) + 1], -1.0f, 1.0f);
        }
        vorbis_analysis_wrote(&encoder.dsp, static_cast<int>(piece));
        encoder.drain();
        done += piece;
    }
    return !encoder.failed;
}

std::string OggVorbisFile::close()
{
    Encoder& encoder = *encoder_;
    if (encoder.file == nullptr)
        return "already closed";
    if (!encoder.failed) {
        vorbis_analysis_wrote(&encoder.dsp, 0);  // marks the end of the stream
        encoder.drain();
    }
    const bool closed = std::fclose(encoder.file) == 0;
    encoder.file = nullptr;
    return encoder.failed || !closed ? "the disk refused the data" : "";
}

}  // namespace tambelo
