#include "cli/export/audio_track.h"

#include "cli/export/audio_file.h"
#include "cli/export/set_export.h"
#include "cli/safe_text.h"
#include "library/midi/fluid_synth_setup.h"
#include "library/midi/sound_system.h"
#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace tambelo {

namespace {

bool stopping(const ExportSettings& settings)
{
    return settings.stop_requested && settings.stop_requested();
}

// The synthesizer that audio_export_problem made to try the user's
// SoundFont, kept for the first track: loading a large SoundFont a second
// time costs as much as rendering a short track. Once one synthesizer holds
// the SoundFont, the others made while it lives find its samples in
// FluidSynth's cache.
std::mutex spare_lock;
std::unique_ptr<RenderSynth> spare_synth;

std::unique_ptr<RenderSynth> synth_for(const std::string& soundfont, int sample_rate, std::string* why)
{
    {
        std::lock_guard lock(spare_lock);
        if (spare_synth && spare_synth->soundfont() == soundfont && spare_synth->sample_rate() == sample_rate)
            return std::move(spare_synth);
    }
    return RenderSynth::create(soundfont, sample_rate, why);
}

}  // namespace

std::optional<std::size_t> export_audio(OfflineTrack& track, RenderSynth& synth, const RenderSettings& settings,
                                        const FrameSink& sink)
{
    TrackRenderer renderer(synth, track, settings);
    constexpr std::size_t piece_frames = 4096;
    std::vector<float> piece(2 * piece_frames);
    std::size_t total = 0;
    while (const std::size_t frames = renderer.render(piece.data(), piece_frames)) {
        if (!sink(piece.data(), frames))
            return std::nullopt;
        total += frames;
    }
    return total;
}

std::vector<float> export_audio(OfflineTrack& track, RenderSynth& synth, int loops, double fade_seconds)
{
    RenderSettings settings;
    settings.loops = loops;
    settings.fade_ms = fade_seconds * 1000.0;
    std::vector<float> out;
    export_audio(track, synth, settings, [&out](const float* frames, std::size_t count) {
        out.insert(out.end(), frames, frames + 2 * count);
        return true;
    });
    return out;
}

struct TrackAudioWriter::Tools {
    std::unique_ptr<RenderSynth> renderer;
    std::string renderer_error;
};

TrackAudioWriter::TrackAudioWriter(const ExportSettings& settings)
    : settings_(settings), tools_(std::make_unique<Tools>())
{
}

TrackAudioWriter::~TrackAudioWriter() = default;

RenderSynth* TrackAudioWriter::synth(std::string& error)
{
    if (!tools_->renderer && tools_->renderer_error.empty()) {
        tools_->renderer = synth_for(settings_.soundfont, settings_.sample_rate, &tools_->renderer_error);
        if (!tools_->renderer && tools_->renderer_error.empty())
            tools_->renderer_error = "the synthesizer cannot be set up";
        // A SoundFont the user chose is never silently replaced.
        if (tools_->renderer && !settings_.soundfont.empty() &&
            tools_->renderer->soundfont() != settings_.soundfont) {
            tools_->renderer.reset();
            tools_->renderer_error = "the SoundFont " + settings_.soundfont + " cannot be loaded";
        }
    }
    error = tools_->renderer_error;
    return tools_->renderer.get();
}

RenderSettings TrackAudioWriter::render_settings(bool seamless, std::uint16_t muted) const
{
    RenderSettings render;
    render.loop_mode = seamless ? LoopMode::seamless : LoopMode::fade;
    // A file has no listener waiting for the loop's first frames.
    render.longest_seamless_loop_ms = std::numeric_limits<double>::infinity();
    render.loops = settings_.loops;
    render.fade_ms = settings_.fade_seconds * 1000.0;
    render.muted_channels = muted;
    return render;
}

std::optional<std::size_t> TrackAudioWriter::count_frames(OfflineTrack& track, bool seamless, std::uint16_t muted)
{
    std::string error;
    RenderSynth* renderer = synth(error);
    if (renderer == nullptr)
        return std::nullopt;
    return export_audio(track, *renderer, render_settings(seamless, muted),
                        [this](const float*, std::size_t) { return !stopping(settings_); });
}

std::string TrackAudioWriter::measure(OfflineTrack& track, bool seamless, std::uint16_t muted,
                                      std::shared_ptr<LoudnessMeter>& meter, Loudness& loudness)
{
    std::string error;
    RenderSynth* renderer = synth(error);
    if (renderer == nullptr)
        return error;
    meter = measure_rendering(*renderer, track, render_settings(seamless, muted),
                              [this] { return !stopping(settings_); });
    if (!meter)
        return export_interrupted_reason;
    loudness = meter->loudness();
    return {};
}

std::string TrackAudioWriter::write(OfflineTrack& track, const TrackJob& job, const std::optional<AudioLoop>& loop,
                                    bool seamless, const MeasuredTrack* measured, double& audio_ms,
                                    WrittenLevel& level, std::uint16_t muted, std::optional<std::size_t> frames)
{
    std::string error;
    RenderSynth* renderer = synth(error);
    if (renderer == nullptr)
        return error;
    AudioTags tags{job.label.title, job.label.album, job.label.track, loop, std::nullopt};
    // The gain applied to every sample, and the loudness of what is written.
    float gain = 1.0f;
    if (measured) {
        Loudness written = measured->track;
        if (settings_.normalize_lufs) {
            const Normalization normalization =
                normalization_for(measured->track.lufs, measured->track.peak, *settings_.normalize_lufs);
            level.normalization = normalization;
            gain = static_cast<float>(normalization.gain);
            written.lufs = normalization.lufs_reached;
            written.peak = measured->track.peak * gain;
        }
        // A silent track has no gain to tell.
        if (std::isfinite(written.lufs)) {
            ReplayGainTags replay_gain;
            replay_gain.track_gain_db = replay_gain_reference_lufs - written.lufs;
            replay_gain.track_peak = written.peak;
            if (measured->album && std::isfinite(measured->album->lufs)) {
                replay_gain.album_gain_db = replay_gain_reference_lufs - measured->album->lufs;
                replay_gain.album_peak = measured->album->peak;
            }
            tags.replay_gain = replay_gain;
        }
    }
    auto file = AudioFileWriter::open(job.path, audio_file_type(settings_.format), renderer->sample_rate(), tags,
                                      &error);
    if (!file)
        return error;
    std::vector<float> scaled;
    std::size_t written = 0;
    const auto write_scaled = [&file, gain, &scaled](const float* data, std::size_t count) {
        if (gain == 1.0f)
            return file->write(data, count);
        scaled.assign(data, data + 2 * count);
        for (float& sample : scaled)
            sample *= gain;
        return file->write(scaled.data(), count);
    };
    const auto sink = [this, &write_scaled, &written, frames](const float* data, std::size_t count) {
        if (stopping(settings_))
            return false;
        if (frames)
            count = std::min(count, *frames - written);
        written += count;
        return count == 0 || write_scaled(data, count);
    };
    auto done = export_audio(track, *renderer, render_settings(seamless, muted), sink);
    if (done && frames && written < *frames) {
        const std::vector<float> quiet(2 * 4096, 0.0f);
        while (written < *frames && !stopping(settings_)) {
            const std::size_t count = std::min<std::size_t>(4096, *frames - written);
            if (!file->write(quiet.data(), count)) {
                done.reset();
                break;
            }
            written += count;
        }
    }
    // An interrupted file is dropped with its writer.
    if (stopping(settings_))
        return export_interrupted_reason;
    error = file->finish();
    if (done)
        audio_ms = static_cast<double>(written) * 1000.0 / renderer->sample_rate();
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
        auto synth = fluid_is_soundfont(soundfont.c_str()) ? RenderSynth::create(soundfont, sample_rate) : nullptr;
        if (!synth || synth->soundfont() != soundfont)
            return shown_path(soundfont) + " is not a SoundFont that can be loaded";
        std::lock_guard lock(spare_lock);
        spare_synth = std::move(synth);
    }
    if (soundfont_candidates(soundfont).empty())
        return "no SoundFont found for audio export; install one (e.g. the fluid-soundfont-gm package) or "
               "name one with --soundfont";
    return {};
}

}  // namespace tambelo

namespace tambelo {

Loudness album_loudness(const std::vector<const LoudnessMeter*>& meters)
{
    return LoudnessMeter::together(meters);
}

}  // namespace tambelo
