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

std::string TrackAudioWriter::write(OfflineTrack&, const TrackJob&, double&)
{
    return no_audio;
}

std::string audio_export_problem(const std::string&)
{
    return no_audio;
}

}  // namespace tambelo
