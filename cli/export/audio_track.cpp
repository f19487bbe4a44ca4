#include "cli/export/audio_track.h"

#include "cli/export/audio_file.h"
#include "cli/export/audio_render.h"
#include "cli/export/set_export.h"
#include "library/midi/fluid_synth_setup.h"

#include <filesystem>

namespace tambelo {

namespace {

std::vector<TimedMessage> audio_messages(OfflineTrack& track, int loops, double fade_seconds, AudioEnding& ending)
{
    const ExportSpan span = plan_export_span(track.length(), track.tick_length_ms(), loops);
    ending.music_ms = span.music_ms;
    std::vector<TimedMessage> messages;
    if (span.loops) {
        ending.fade_ms = fade_seconds * 1000.0;
        track.play_until_ms(span.music_ms + ending.fade_ms, messages);
    } else {
        ending.release_tail = true;
        track.play_until_tick(span.end_tick, messages);
    }
    return messages;
}

}  // namespace

std::vector<float> export_audio(OfflineTrack& track, AudioRenderer& renderer, int loops, double fade_seconds)
{
    AudioEnding ending;
    const auto messages = audio_messages(track, loops, fade_seconds, ending);
    return renderer.render(messages, ending);
}

std::optional<std::size_t> export_audio(OfflineTrack& track, AudioRenderer& renderer, int loops,
                                        double fade_seconds,
                                        const std::function<bool(const float*, std::size_t)>& sink)
{
    AudioEnding ending;
    const auto messages = audio_messages(track, loops, fade_seconds, ending);
    return renderer.render(messages, ending, sink);
}

struct TrackAudioWriter::Tools {
    std::unique_ptr<AudioRenderer> renderer;
    std::string renderer_error;
};

TrackAudioWriter::TrackAudioWriter(const ExportSettings& settings)
    : settings_(settings), tools_(std::make_unique<Tools>())
{
}

TrackAudioWriter::~TrackAudioWriter() = default;

std::string TrackAudioWriter::write(OfflineTrack& track, const TrackJob& job, double& audio_ms)
{
    if (!tools_->renderer && tools_->renderer_error.empty()) {
        tools_->renderer = AudioRenderer::create(settings_.soundfont, settings_.sample_rate, &tools_->renderer_error);
        if (!tools_->renderer && tools_->renderer_error.empty())
            tools_->renderer_error = "the synthesizer cannot be set up";
    }
    AudioRenderer* renderer = tools_->renderer.get();
    if (renderer == nullptr)
        return tools_->renderer_error;
    std::string error;
    auto file = AudioFileWriter::open(job.path, audio_file_type(settings_.format), renderer->sample_rate(),
                                      {job.label.title, job.label.album, job.label.track}, &error);
    if (!file)
        return error;
    const auto frames = export_audio(track, *renderer, settings_.loops, settings_.fade_seconds,
                                     [&file](const float* data, std::size_t count) {
                                         return file->write(data, count);
                                     });
    error = file->finish();
    if (frames)
        audio_ms = static_cast<double>(*frames) * 1000.0 / renderer->sample_rate();
    return error;
}

std::string audio_export_problem(const std::string& soundfont)
{
    if (!soundfont.empty() && !std::filesystem::is_regular_file(soundfont))
        return "no such SoundFont: " + soundfont;
    if (soundfont_candidates(soundfont).empty())
        return "no SoundFont found for audio export; install one (e.g. the fluid-soundfont-gm package) or "
               "name one with --soundfont";
    return {};
}

}  // namespace tambelo
