#include "cli/export/audio_track.h"

// Builds without the embedded synthesizer (the Windows build: Debian has no
// Windows FluidSynth or libsndfile) export MIDI files only.
namespace tambelo {
namespace {

constexpr const char* no_audio =
    "audio export needs the Linux build (this build has no synthesizer); use --format mid";

}  // namespace

struct TrackAudioWriter::Tools {};

TrackAudioWriter::TrackAudioWriter(const ExportSettings& settings) : settings_(settings) {}

TrackAudioWriter::~TrackAudioWriter() = default;

std::string TrackAudioWriter::write(OfflineTrack&, const TrackJob&, const std::optional<AudioLoop>&, bool,
                                    const MeasuredTrack*, double&, WrittenLevel&, std::uint16_t,
                                    std::optional<std::size_t>)
{
    return no_audio;
}

std::string TrackAudioWriter::measure(OfflineTrack&, bool, std::uint16_t, std::shared_ptr<LoudnessMeter>&, Loudness&)
{
    return no_audio;
}

std::optional<std::size_t> TrackAudioWriter::count_frames(OfflineTrack&, bool, std::uint16_t)
{
    return std::nullopt;
}

Loudness album_loudness(const std::vector<const LoudnessMeter*>&)
{
    return {};
}

std::string audio_export_problem(const std::string&, int)
{
    return no_audio;
}

}  // namespace tambelo
