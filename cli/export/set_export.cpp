#include "cli/export/set_export.h"

#include "cli/authoring/page_archive_writer.h"
#include "cli/export/audio_track.h"
#include "cli/export/export_names.h"
#include "cli/export/render_set_handle.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace tambelo {
namespace {

// Why a track is not exported whose rendering with the export's settings
// would pass the renderer's bound.
constexpr const char* too_long_reason = "would play for more than 3 hours";

bool stopping(const ExportSettings& settings)
{
    return settings.stop_requested && settings.stop_requested();
}

// Whether the audio files need each track's loudness before they are
// written: ReplayGain goes into FLAC and Ogg comments (the Ogg header comes
// first), and normalization scales the samples by it. Those exports render
// every track twice: once to measure it, once to write it.
bool measures_first(const ExportSettings& settings)
{
    return settings.format == ExportFormat::flac || settings.format == ExportFormat::ogg ||
           (settings.format != ExportFormat::mid && settings.normalize_lufs);
}

// One thread's tools: the set as the renderer reads it, and the audio writer.
class Worker {
public:
    Worker(const ExportSettings& settings, const std::string& score_path, const std::string& voice_path)
        : settings_(settings), score_path_(score_path), voice_path_(voice_path),
          audio_(settings, score_path, voice_path)
    {
    }

    // Renders the track of `job` to measure its loudness into `meter`; the
    // outcome holds the reason when it cannot.
    TrackOutcome measure(const TrackJob& job, std::shared_ptr<TrackLoudnessMeter>& meter, AudioLoudness& loudness)
    {
        TrackOutcome outcome;
        const Prepared prepared = prepare(job, outcome);
        if (prepared.ready)
            outcome.reason =
                audio_.measure(job.label.track, prepared.seamless, settings_.muted_channels, meter, loudness);
        return outcome;
    }

    TrackOutcome run(const TrackJob& job, const MeasuredTrack* measured)
    {
        TrackOutcome outcome;
        const Prepared prepared = prepare(job, outcome);
        if (!prepared.ready)
            return outcome;
        std::string error;
        if (!settings_.stems) {
            error = write_part(job, prepared, measured, settings_.muted_channels, std::nullopt, outcome);
        } else {
            // One file per channel that has notes, the others muted, each as
            // long as the mix: a mix that ends with its release tail is
            // rendered first to learn its length. The stems take the mix's
            // loudness, so that they keep its gain and sum to it.
            const unsigned stems = prepared.note_channels & ~unsigned{settings_.muted_channels};
            std::optional<std::size_t> frames;
            const bool tail = settings_.format != ExportFormat::mid && prepared.ends;
            if (stems != 0 && tail) {
                frames = audio_.count_frames(job.label.track, prepared.seamless, settings_.muted_channels);
                if (!frames)
                    error = stopping(settings_) ? export_interrupted_reason : "the synthesizer cannot be set up";
            }
            std::string channels;
            for (int k = 0; k < TAMBELO_CHANNEL_COUNT && error.empty(); ++k) {
                if ((stems >> k & 1U) == 0)
                    continue;
                TrackJob stem = job;
                stem.path = stem_file_path(job.path, k);
                const auto alone = static_cast<std::uint16_t>(((1U << TAMBELO_CHANNEL_COUNT) - 1) & ~(1U << k));
                error = write_part(stem, prepared, measured, alone, frames, outcome);
                if (error.empty()) {
                    if (outcome.path == job.path)
                        outcome.path = stem.path;
                    channels += (channels.empty() ? "" : ", ") + std::to_string(k);
                }
            }
            if (stems == 0 && error.empty())
                error = "no channel that is not muted has notes";
            if (!channels.empty())
                outcome.note += std::string(outcome.note.empty() ? "" : "; ") + "stems of channels " + channels;
        }
        outcome.written = error.empty();
        outcome.reason = error;
        return outcome;
    }

private:
    // What the export needs to know of a track before it writes it.
    struct Prepared {
        bool ready = false;  // false when it cannot be exported (outcome.reason says why)
        std::optional<FileLoop> loop;
        bool seamless = false;
        int loops = 0;
        bool ends = false;  // it ends by itself
        unsigned note_channels = 0;
    };

    // Writes one file of the track: the mix, or a stem.
    std::string write_part(const TrackJob& job, const Prepared& prepared, const MeasuredTrack* measured,
                           std::uint16_t muted, std::optional<std::size_t> frames, TrackOutcome& outcome)
    {
        if (settings_.format == ExportFormat::mid) {
            const auto messages =
                play_track_messages(score_path_, voice_path_, job.label.track, prepared.loops);
            if (!messages)
                return "it no longer opens";
            outcome.audio_ms = messages->end_ms;
            return write_file_atomically(job.path, export_midi_file(*messages, job.label, muted));
        }
        WrittenLevel level;
        std::string error = audio_.write(job.label.track, job, prepared.loop, prepared.seamless, measured,
                                         outcome.audio_ms, level, muted, frames);
        if (error.empty()) {
            outcome.loop = prepared.loop;
            outcome.normalization = level.normalization;
        }
        return error;
    }

    Prepared prepare(const TrackJob& job, TrackOutcome& outcome)
    {
        Prepared prepared;
        outcome.label = job.label;
        outcome.path = job.path;
        if (stopping(settings_)) {
            outcome.reason = export_interrupted_reason;
            return prepared;
        }
        if (!set_ && set_error_.empty())
            set_ = open_render_set(score_path_, voice_path_, set_error_);
        if (!set_) {
            outcome.reason = set_error_.empty() ? "the set cannot be read" : set_error_;
            return prepared;
        }
        const tambelo_track_info* info = tambelo_set_track(set_.get(), job.label.track);
        if (info == nullptr) {
            outcome.reason = "is not in the set";
            return prepared;
        }
        if (!info->playable) {
            outcome.reason = info->problem;
            return prepared;
        }
        std::int64_t start = 0;
        std::int64_t length = 0;
        if (tambelo_set_track_loop_frames(set_.get(), job.label.track, settings_.sample_rate, &start, &length))
            prepared.loop = FileLoop{start, length};
        prepared.seamless = settings_.loop_mode == ExportLoopMode::seamless && prepared.loop;
        // A seamless export renders two passes and keeps one; MIDI holds one.
        prepared.loops =
            prepared.seamless ? (settings_.format == ExportFormat::mid ? 1 : 2) : settings_.loops;
        const double fade_ms = info->loops && !prepared.seamless && settings_.format != ExportFormat::mid
                                   ? settings_.fade_seconds * 1000.0
                                   : 0.0;
        // The library's one bound: a damaged or hostile set can describe
        // music that plays for years, which would take as long to render
        // and fill the disk.
        if (!(tambelo_track_info_play_length_ms(info, prepared.loops, fade_ms) <= TAMBELO_LONGEST_RENDERING_MS)) {
            outcome.reason = too_long_reason;
            return prepared;
        }
        if (info->loops && info->loops_differ)
            outcome.note = settings_.loop_mode == ExportLoopMode::seamless
                               ? "its channel loops differ in length, so it never repeats exactly: exported with " +
                                     std::to_string(settings_.loops) + " loops and a fade, without loop points"
                               : "its channel loops differ in length: no loop points";
        prepared.ends = !info->loops;
        prepared.note_channels = info->note_channels;
        prepared.ready = true;
        return prepared;
    }

    const ExportSettings& settings_;
    const std::string& score_path_;
    const std::string& voice_path_;
    RenderSetHandle set_;
    std::string set_error_;
    TrackAudioWriter audio_;
};

// Runs `step(worker, index)` for every index below `count` on up to
// `threads` threads, each with a Worker of its own.
void run_on_threads(std::size_t count, const ExportSettings& settings, const std::string& score_path,
                    const std::string& voice_path, int threads, const std::function<void(Worker&, std::size_t)>& step)
{
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        Worker worker(settings, score_path, voice_path);
        for (std::size_t index = next++; index < count; index = next++)
            step(worker, index);
    };
    const int used = std::clamp(threads, 1, static_cast<int>(std::max<std::size_t>(count, 1)));
    std::vector<std::thread> pool;
    for (int i = 1; i < used; ++i) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads; the calling thread still works
        }
    }
    work();
    for (auto& thread : pool)
        thread.join();
}

}  // namespace

std::vector<TrackOutcome> export_tracks(const std::string& score_path, const std::string& voice_path,
                                        const std::vector<TrackJob>& jobs, const ExportSettings& settings,
                                        int threads, const std::function<void(const TrackOutcome&)>& on_done)
{
    std::vector<TrackOutcome> outcomes(jobs.size());
    std::mutex report_lock;
    auto failed = [&jobs](std::size_t index, const char* reason) {
        TrackOutcome outcome;
        outcome.label = jobs[index].label;
        outcome.path = jobs[index].path;
        outcome.reason = reason;
        return outcome;
    };

    // The first pass: each track's loudness, and the album's.
    const bool measuring = measures_first(settings);
    std::vector<std::shared_ptr<TrackLoudnessMeter>> meters(jobs.size());
    std::vector<bool> measure_failed(jobs.size(), false);
    std::vector<MeasuredTrack> measured(jobs.size());
    if (measuring) {
        run_on_threads(jobs.size(), settings, score_path, voice_path, threads, [&](Worker& worker, std::size_t index) {
            TrackOutcome outcome;
            try {
                outcome = worker.measure(jobs[index], meters[index], measured[index].track);
            } catch (const std::bad_alloc&) {
                outcome = failed(index, "out of memory");
            }
            if (!outcome.reason.empty()) {
                std::lock_guard lock(report_lock);
                outcomes[index] = outcome;
                measure_failed[index] = true;
            }
        });
    }
    std::optional<AudioLoudness> album;
    if (measuring) {
        std::vector<const TrackLoudnessMeter*> album_meters;
        for (const auto& meter : meters)
            if (meter)
                album_meters.push_back(meter.get());
        if (settings.album && !settings.normalize_lufs && !album_meters.empty())
            album = album_loudness(album_meters);
        for (auto& track : measured)
            track.album = album;
        meters.clear();
    }

    run_on_threads(jobs.size(), settings, score_path, voice_path, threads, [&](Worker& worker, std::size_t index) {
        TrackOutcome outcome;
        if (measuring && measure_failed[index]) {
            outcome = outcomes[index];
        } else {
            try {
                outcome = worker.run(jobs[index], measuring ? &measured[index] : nullptr);
            } catch (const std::bad_alloc&) {
                outcome = failed(index, "out of memory");
            }
        }
        std::lock_guard lock(report_lock);
        outcomes[index] = outcome;
        if (on_done)
            on_done(outcome);
    });
    return outcomes;
}

}  // namespace tambelo
