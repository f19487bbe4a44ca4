#include "cli/export/audio_track.h"

#include "cli/export/audio_file.h"
#include "cli/export/audio_render.h"
#include "cli/export/seamless_loop.h"
#include "cli/export/set_export.h"
#include "cli/safe_text.h"
#include "library/midi/fluid_synth_setup.h"
#include "library/midi/sound_system.h"

namespace tambelo {

namespace {

bool stopping(const ExportSettings& settings)
{
    return settings.stop_requested && settings.stop_requested();
}

std::vector<TimedMessage> audio_messages(OfflineTrack& track, int loops, double fade_seconds, int sample_rate,
                                         AudioEnding& ending)
{
    const ExportSpan span = plan_export_span(track.length(), track.tick_length_ms(), loops);
    ending.music_ms = span.music_ms;
    std::vector<TimedMessage> messages;
    if (span.loops) {
        // The second pass starts on the synthesizer's block as in a seamless
        // export, so that both hold the same audio.
        if (const auto loop = loop_frames(track.length(), track.tick_length_ms(), sample_rate))
            ending.loop_frame = static_cast<std::size_t>(loop->start_frame + loop->length_frames);
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
    const auto messages = audio_messages(track, loops, fade_seconds, renderer.sample_rate(), ending);
    return renderer.render(messages, ending);
}

std::optional<std::size_t> export_audio(OfflineTrack& track, AudioRenderer& renderer, int loops,
                                        double fade_seconds,
                                        const std::function<bool(const float*, std::size_t)>& sink)
{
    AudioEnding ending;
    const auto messages = audio_messages(track, loops, fade_seconds, renderer.sample_rate(), ending);
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

std::string TrackAudioWriter::write(OfflineTrack& track, const TrackJob& job, const std::optional<AudioLoop>& loop,
                                    bool seamless, double& audio_ms)
{
    if (!tools_->renderer && tools_->renderer_error.empty()) {
        tools_->renderer = AudioRenderer::create(settings_.soundfont, settings_.sample_rate, &tools_->renderer_error);
        if (!tools_->renderer && tools_->renderer_error.empty())
            tools_->renderer_error = "the synthesizer cannot be set up";
        // A SoundFont the user chose is never silently replaced.
        if (tools_->renderer && !settings_.soundfont.empty() &&
            tools_->renderer->soundfont() != settings_.soundfont) {
            tools_->renderer.reset();
            tools_->renderer_error = "the SoundFont " + settings_.soundfont + " cannot be loaded";
        }
    }
    AudioRenderer* renderer = tools_->renderer.get();
    if (renderer == nullptr)
        return tools_->renderer_error;
    std::string error;
    const AudioTags tags{job.label.title, job.label.album, job.label.track, loop};
    auto file = AudioFileWriter::open(job.path, audio_file_type(settings_.format), renderer->sample_rate(), tags,
                                      &error);
    if (!file)
        return error;
    const auto sink = [this, &file](const float* data, std::size_t count) {
        return !stopping(settings_) && file->write(data, count);
    };
    const auto frames = seamless ? export_seamless_audio(track, *renderer, sink)
                                 : export_audio(track, *renderer, settings_.loops, settings_.fade_seconds, sink);
    // An interrupted file is dropped with its writer.
    if (stopping(settings_))
        return export_interrupted_reason;
    error = file->finish();
    if (frames)
        audio_ms = static_cast<double>(*frames) * 1000.0 / renderer->sample_rate();
    return error;
}

std::string audio_export_problem(const std::string& soundfont, int sample_rate)
{
    if (!soundfont.empty()) {
        // The synth would pass over a SoundFont it cannot load and take the
        // system's; the user asked for this one. Files that are no SoundFont
        // at all are told apart first: the loader's other readers would
        // complain about them on stderr.
        silence_sound_libraries();
        const bool loaded = fluid_is_soundfont(soundfont.c_str()) && [&soundfont, sample_rate] {
            const auto synth = create_gs_synth(soundfont, sample_rate);
            return synth && synth->soundfont == soundfont;
        }();
        if (!loaded)
            return shown_path(soundfont) + " is not a SoundFont that can be loaded";
    }
    if (soundfont_candidates(soundfont).empty())
        return "no SoundFont found for audio export; install one (e.g. the fluid-soundfont-gm package) or "
               "name one with --soundfont";
    return {};
}

}  // namespace tambelo
