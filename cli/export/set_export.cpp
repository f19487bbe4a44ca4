#include "cli/export/set_export.h"

#include "cli/authoring/page_archive_writer.h"
#include "cli/export/audio_track.h"
#include "cli/export/export_names.h"
#include "library/render/rendering_length.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace tambelo {
namespace {

bool stopping(const ExportSettings& settings)
{
    return settings.stop_requested && settings.stop_requested();
}

// One thread's tools: the audio writer keeps its synthesizer between tracks.
class Worker {
public:
    explicit Worker(const ExportSettings& settings) : settings_(settings), audio_(settings) {}

    TrackOutcome run(const std::string& score_path, const std::string& voice_path, const TrackJob& job)
    {
        TrackOutcome outcome;
        outcome.label = job.label;
        outcome.path = job.path;
        if (stopping(settings_)) {
            outcome.reason = export_interrupted_reason;
            return outcome;
        }
        OfflineFailure failure = OfflineFailure::none;
        auto track = OfflineTrack::open_set_track(score_path, voice_path, job.label.track, &failure);
        if (!track) {
            outcome.reason = describe(failure);
            return outcome;
        }
        const TrackLength& length = track->length();
        const auto loop = loop_frames(length, track->tick_length_ms(), settings_.sample_rate);
        const bool seamless = settings_.loop_mode == LoopMode::seamless && loop;
        // A seamless export renders two passes and keeps one; MIDI holds one.
        const int loops = seamless ? (settings_.format == ExportFormat::mid ? 1 : 2) : settings_.loops;
        const TrackSpan span = plan_track_span(length, track->tick_length_ms(), loops);
        const double fade_ms =
            span.loops && !seamless && settings_.format != ExportFormat::mid ? settings_.fade_seconds * 1000.0 : 0.0;
        // The library's one bound: a damaged or hostile set can describe
        // music that plays for years, which would take as long to render
        // and fill the disk.
        if (!(span.music_ms + fade_ms <= longest_rendering_ms)) {
            outcome.reason = too_long_reason;
            return outcome;
        }
        if (length.kind == TrackLength::Kind::loops && length.cycles_differ)
            outcome.note = settings_.loop_mode == LoopMode::seamless
                               ? "its channel loops differ in length, so it never repeats exactly: exported with " +
                                     std::to_string(settings_.loops) + " loops and a fade, without loop points"
                               : "its channel loops differ in length: no loop points";
        std::string error;
        if (!settings_.stems) {
            error = write_part(*track, job, loop, seamless, loops, span, settings_.muted_channels, std::nullopt,
                               outcome);
        } else {
            // One file per channel that has notes, the others muted, each as
            // long as the mix: a mix that ends with its release tail is
            // rendered first to learn its length.
            const unsigned stems = track->note_channels() & ~unsigned{settings_.muted_channels};
            std::optional<std::size_t> frames;
            const bool tail = settings_.format != ExportFormat::mid && length.kind == TrackLength::Kind::ends;
            if (stems != 0 && tail) {
                frames = audio_.count_frames(*track, seamless, settings_.muted_channels);
                if (!frames)
                    error = stopping(settings_) ? export_interrupted_reason : "the synthesizer cannot be set up";
            }
            std::string channels;
            for (int k = 0; k < channel_count && error.empty(); ++k) {
                if ((stems >> k & 1U) == 0)
                    continue;
                auto part = OfflineTrack::open_set_track(score_path, voice_path, job.label.track);
                if (!part) {
                    error = "it no longer opens";
                    break;
                }
                TrackJob stem = job;
                stem.path = stem_file_path(job.path, k);
                const auto alone = static_cast<std::uint16_t>(((1U << channel_count) - 1) & ~(1U << k));
                error = write_part(*part, stem, loop, seamless, loops, span, alone, frames, outcome);
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
    // Writes one file of the track: the mix, or a stem.
    std::string write_part(OfflineTrack& track, const TrackJob& job, const std::optional<AudioLoop>& loop,
                           bool seamless, int loops, const TrackSpan& span, std::uint16_t muted,
                           std::optional<std::size_t> frames, TrackOutcome& outcome)
    {
        if (settings_.format == ExportFormat::mid) {
            outcome.audio_ms = span.music_ms;
            return write_file_atomically(job.path, export_midi_file(track, job.label, loops, muted));
        }
        std::string error = audio_.write(track, job, loop, seamless, outcome.audio_ms, muted, frames);
        if (error.empty())
            outcome.loop = loop;
        return error;
    }

    const ExportSettings& settings_;
    TrackAudioWriter audio_;
};

}  // namespace

std::vector<TrackOutcome> export_tracks(const std::string& score_path, const std::string& voice_path,
                                        const std::vector<TrackJob>& jobs, const ExportSettings& settings,
                                        int threads, const std::function<void(const TrackOutcome&)>& on_done)
{
    std::vector<TrackOutcome> outcomes(jobs.size());
    std::atomic<std::size_t> next{0};
    std::mutex report_lock;

    auto work = [&] {
        Worker worker(settings);
        for (std::size_t index = next++; index < jobs.size(); index = next++) {
            TrackOutcome outcome;
            try {
                outcome = worker.run(score_path, voice_path, jobs[index]);
            } catch (const std::bad_alloc&) {
                outcome.label = jobs[index].label;
                outcome.path = jobs[index].path;
                outcome.reason = "out of memory";
            }
            std::lock_guard lock(report_lock);
            outcomes[index] = outcome;
            if (on_done)
                on_done(outcome);
        }
    };

    const int count = std::clamp(threads, 1, static_cast<int>(std::max<std::size_t>(jobs.size(), 1)));
    std::vector<std::thread> pool;
    for (int i = 1; i < count; ++i) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads; the calling thread still works
        }
    }
    work();
    for (auto& thread : pool)
        thread.join();
    return outcomes;
}

}  // namespace tambelo
