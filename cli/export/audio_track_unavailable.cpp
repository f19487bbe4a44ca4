#include "cli/export/audio_track.h"

// Builds without the embedded synthesizer (the Windows build: Debian has no
// Windows FluidSynth or libsndfile) export MIDI files only.
namespace tambelo {
namespace {

constexpr const char* no_audio =
    "audio export needs the Linux build (this build has no synthesizer); use --format mid";

}  // namespace

class TrackLoudnessMeter {};

struct TrackAudioWriter::Tools {};
struct TrackAudioWriter::OpenTrack {};

TrackAudioWriter::TrackAudioWriter(const ExportSettings& settings, const std::string&, const std::string&)
    : settings_(settings)
{
}

TrackAudioWriter::~TrackAudioWriter() = default;

std::string TrackAudioWriter::write(std::int32_t, const TrackJob&, const std::optional<FileLoop>&, bool,
                                    const MeasuredTrack*, double&, WrittenLevel&, std::uint16_t,
                                    std::optional<std::size_t>)
{
    return no_audio;
}

std::string TrackAudioWriter::measure(std::int32_t, bool, std::uint16_t, std::shared_ptr<TrackLoudnessMeter>&,
                                      AudioLoudness&)
{
    return no_audio;
}

std::optional<std::size_t> TrackAudioWriter::count_frames(std::int32_t, bool, std::uint16_t)
{
    return std::nullopt;
}

AudioLoudness album_loudness(const std::vector<const TrackLoudnessMeter*>&)
{
    return {};
}

std::string audio_export_problem(const std::string&, int)
{
    return no_audio;
}

}  // namespace tambelo
