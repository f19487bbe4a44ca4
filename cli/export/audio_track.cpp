#include "cli/export/audio_track.h"

#include "cli/export/audio_file.h"
#include "cli/export/render_set_handle.h"
#include "cli/export/set_export.h"
#include "cli/safe_text.h"

#include <tambelo/render.h>

#include <algorithm>
#include <cmath>

namespace tambelo {

namespace {

bool stopping(const ExportSettings& settings)
{
    return settings.stop_requested && settings.stop_requested();
}

constexpr std::size_t piece_frames = 4096;

struct TrackCloser {
    void operator()(tambelo_track* track) const { tambelo_track_close(track); }
};
struct MeterCloser {
    void operator()(tambelo_loudness_meter* meter) const { tambelo_loudness_meter_close(meter); }
};

// Renders all of `track` piece by piece into `sink`; the number of frames,
// or nothing when the sink refused some.
template <typename Sink>
std::optional<std::size_t> render_all(tambelo_track* track, const Sink& sink)
{
    std::vector<float> piece(2 * piece_frames);
    std::size_t total = 0;
    while (const std::size_t frames = tambelo_track_render_float(track, piece.data(), piece_frames)) {
        if (!sink(piece.data(), frames))
            return std::nullopt;
        total += frames;
    }
    return total;
}

}  // namespace

class TrackLoudnessMeter {
public:
    explicit TrackLoudnessMeter(tambelo_loudness_meter* meter) : meter_(meter) {}
    const tambelo_loudness_meter* get() const { return meter_.get(); }
    tambelo_loudness_meter* get() { return meter_.get(); }

private:
    std::unique_ptr<tambelo_loudness_meter, MeterCloser> meter_;
};

struct TrackAudioWriter::Tools {
    std::string score_path;
    std::string voice_path;
    RenderSetHandle set;
    std::string set_error;  // why the set cannot be read, once tried
};

struct TrackAudioWriter::OpenTrack {
    std::unique_ptr<tambelo_track, TrackCloser> track;
};

TrackAudioWriter::TrackAudioWriter(const ExportSettings& settings, const std::string& score_path,
                                   const std::string& voice_path)
    : settings_(settings), tools_(std::make_unique<Tools>())
{
    tools_->score_path = score_path;
    tools_->voice_path = voice_path;
}

TrackAudioWriter::~TrackAudioWriter() = default;

std::unique_ptr<TrackAudioWriter::OpenTrack> TrackAudioWriter::open(std::int32_t track, bool seamless,
                                                                    std::uint16_t muted, std::string& error)
{
    if (!tools_->set && tools_->set_error.empty()) {
        tools_->set = open_render_set(tools_->score_path, tools_->voice_path, tools_->set_error);
        if (!tools_->set && tools_->set_error.empty())
            tools_->set_error = "the set cannot be read";
    }
    if (!tools_->set) {
        error = tools_->set_error;
        return nullptr;
    }
    tambelo_render_settings render;
    tambelo_render_settings_init(&render);
    render.sample_rate = settings_.sample_rate;
    render.soundfont = settings_.soundfont.empty() ? nullptr : settings_.soundfont.c_str();
    render.loop_mode = seamless ? TAMBELO_LOOP_SEAMLESS : TAMBELO_LOOP_FADE;
    render.loops = settings_.loops;
    render.fade_ms = settings_.fade_seconds * 1000.0;
    auto opened = std::make_unique<OpenTrack>();
    tambelo_track* made = nullptr;
    if (const char* why = tambelo_track_open_for_file(tools_->set.get(), track, &render, &made)) {
        error = why;
        return nullptr;
    }
    opened->track.reset(made);
    if (const char* why = tambelo_track_mute_channels(made, muted)) {
        error = why;
        return nullptr;
    }
    return opened;
}

std::optional<std::size_t> TrackAudioWriter::count_frames(std::int32_t track, bool seamless, std::uint16_t muted)
{
    std::string error;
    const auto opened = open(track, seamless, muted, error);
    if (!opened)
        return std::nullopt;
    return render_all(opened->track.get(), [this](const float*, std::size_t) { return !stopping(settings_); });
}

std::string TrackAudioWriter::measure(std::int32_t track, bool seamless, std::uint16_t muted,
                                      std::shared_ptr<TrackLoudnessMeter>& meter, AudioLoudness& loudness)
{
    std::string error;
    const auto opened = open(track, seamless, muted, error);
    if (!opened)
        return error;
    tambelo_loudness_meter* made = nullptr;
    if (const char* why = tambelo_loudness_meter_open(settings_.sample_rate, &made))
        return why;
    auto measuring = std::make_shared<TrackLoudnessMeter>(made);
    const auto done = render_all(opened->track.get(), [this, &measuring](const float* frames, std::size_t count) {
        if (stopping(settings_))
            return false;
        tambelo_loudness_meter_add(measuring->get(), frames, count);
        return true;
    });
    if (!done)
        return export_interrupted_reason;
    tambelo_loudness_meter_read(measuring->get(), &loudness.lufs, &loudness.peak);
    meter = std::move(measuring);
    return {};
}

std::string TrackAudioWriter::write(std::int32_t track, const TrackJob& job, const std::optional<FileLoop>& loop,
                                    bool seamless, const MeasuredTrack* measured, double& audio_ms,
                                    WrittenLevel& level, std::uint16_t muted, std::optional<std::size_t> frames)
{
    std::string error;
    const auto opened = open(track, seamless, muted, error);
    if (!opened)
        return error;
    AudioTags tags{job.label.title, job.label.album, job.label.track, loop, std::nullopt};
    // The gain applied to every sample, and the loudness of what is written.
    float gain = 1.0f;
    if (measured) {
        AudioLoudness written = measured->track;
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
    auto file =
        AudioFileWriter::open(job.path, audio_file_type(settings_.format), settings_.sample_rate, tags, &error);
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
    auto done = render_all(opened->track.get(), sink);
    if (done && frames && written < *frames) {
        const std::vector<float> quiet(2 * piece_frames, 0.0f);
        while (written < *frames && !stopping(settings_)) {
            const std::size_t count = std::min(piece_frames, *frames - written);
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
        audio_ms = static_cast<double>(written) * 1000.0 / settings_.sample_rate;
    return error;
}

std::string audio_export_problem(const std::string& soundfont, int)
{
    // A SoundFont the user names plays alone; when its preset headers cannot
    // be read the renderer would take the system's instead, and the user
    // asked for this one.
    if (!soundfont.empty() && std::string(tambelo_played_soundfonts(soundfont.c_str())) != '"' + soundfont + '"')
        return shown_path(soundfont) + " is not a SoundFont that can be loaded";
    if (*tambelo_played_soundfonts(nullptr) == '\0' && soundfont.empty())
        return "no SoundFont found for audio export; install one (e.g. the fluid-soundfont-gm package) or "
               "name one with --soundfont";
    return {};
}

AudioLoudness album_loudness(const std::vector<const TrackLoudnessMeter*>& meters)
{
    std::vector<const tambelo_loudness_meter*> taken;
    for (const TrackLoudnessMeter* meter : meters)
        taken.push_back(meter->get());
    AudioLoudness album;
    tambelo_loudness_meters_together(taken.data(), taken.size(), &album.lufs, &album.peak);
    return album;
}

}  // namespace tambelo
