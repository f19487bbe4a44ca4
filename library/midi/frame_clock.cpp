#include "library/midi/frame_clock.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

// Older callbacks fade from the fit with this time constant: long enough
// that the pattern of bursts averages out (a slope error of a few parts per
// million), short enough to follow a clock that wanders with temperature.
constexpr double fit_memory_ms = 30000.0;

// A gap between callbacks counts for at most this much in the fit, so that
// a stall does not outweigh the steady flow around it.
constexpr double max_weight_ms = 100.0;

// Before the callbacks span this much the fitted slope means little; the
// nominal rate stands in, or after a restart of the fit the rate found
// before it.
constexpr double min_fit_span_ms = 500.0;

// The estimated rate stays within this share of the nominal one: real
// streams stray by a few hundred parts per million at most, and a rate read
// wrongly by more than this is better left as it is than chased.
constexpr double max_rate_error = 0.05;

// The callbacks are judged over the last two windows of this length: long
// enough to hold dozens of them, so that their mean says where the stream
// lies, short enough that a stream that moved is followed within a second
// or two.
constexpr double edge_window_ms = 1000.0;

// Callbacks that stayed within this band below the edge for two windows
// are taken for the scheduling's jitter: the edge sinks towards them only
// at this pace (0.2 ms a second: a note moves 0.025 ms against one 125 ms
// before it, far below hearing).
constexpr double edge_dead_band_ms = 1.0;
constexpr double edge_sink_per_ms = 2e-4;

// When the callbacks of two whole windows lay further below the fitted line
// than this on average, and all of them below the edge, the stream itself
// has moved (the burst pattern alone changes their highest points, never
// their mean): a server that stalled or ran dry (a null sink fills an
// underrun with silence) and went on from where it stopped plays every
// later frame that much later. The edge then
// drops to them at once, as the sound did, rather than hold every later
// note late for many seconds.
constexpr double edge_drop_ms = 3.0;

// A stream often takes its first callbacks before it runs: a PulseAudio
// stream's first write returns only once the server has started it, a
// quarter of a second later. An edge set by them would lie that far above
// the running stream for good. For this long after the first callback, the
// edge comes down to the callbacks whenever none has reached it for
// `settling_reach_ms`.
constexpr double settling_ms = 1000.0;
constexpr double settling_reach_ms = 100.0;

// A stream that called back at least this often in the last window, all
// its fitted callbacks within a band this narrow about the line, is steady
// enough that a callback far below that band means something went wrong.
// FluidSynth's PulseAudio driver on PipeWire writes in bursts that keep to
// 5 ms; judged by the windows instead, a 26 ms move was followed only 3 s
// later and bent the rate 0.05 % meanwhile.
constexpr int regular_callbacks_per_window = 20;
constexpr double steady_band_ms = 8.0;

// On a steady stream a callback further below its band than this (or than
// half the band's width) is far below it: a late wake-up or a stream that
// moved. A JACK client that missed half a cycle moved 2.8 ms;
// fitted, such a step bent the slope for seconds.
constexpr double far_below_ms = 1.5;

// A steady stream whose callbacks have all stayed far below its line, at one
// distance, for this long has moved: the edge drops then, rather than after
// two windows. Late wake-ups are caught up within a few callbacks.
constexpr double moved_after_ms = 30.0;

// After a drop longer than this, judged from whole windows of an uneven
// stream, the fit starts afresh, because a history moved by a distance
// read that roughly would bend the slope for half a minute; the rate then
// rests on the one found before until the callbacks span `min_fit_span_ms`
// again. Shorter drops, far more common, and the moves of a steady stream
// keep their history instead.
constexpr double fit_restart_ms = 20.0;

}  // namespace

FrameClock::FrameClock(double nominal_frames_per_ms)
    : nominal_rate_(nominal_frames_per_ms), rate_(nominal_frames_per_ms)
{
}

double FrameClock::edge_frame_at(double moment_ms) const
{
    return edge_frame_ + (moment_ms - last_ms_) * rate_;
}

void FrameClock::rendered(double now_ms, std::int64_t end_frame)
{
    const auto end = static_cast<double>(end_frame);
    // A stream that takes its first stretch of sound and then waits long
    // before it runs (PulseAudio fills its buffer, then may take a second
    // and more to start the stream) has not started yet: the clock starts
    // again from the callback after the wait, as it would from a first one.
    // Only once: a stream that keeps waiting like that has no usable clock.
    // Messages placed on the old start now lie in the past through no
    // lateness of their sender, as after a drop.
    if (started_ && !started_again_ && last_ms_ - first_ms_ < settling_ms &&
        now_ms - last_ms_ > settling_reach_ms) {
        *this = FrameClock(nominal_rate_);
        started_again_ = true;
        dropped_ = true;
    }
    if (!started_) {
        started_ = true;
        first_ms_ = start_ms_ = last_ms_ = window_start_ms_ = edge_reached_ms_ = now_ms;
        start_frame_ = edge_frame_ = line_at_last_ = end;
        fit(now_ms, end, 1.0);
        return;
    }
    const double step_ms = std::max(now_ms - last_ms_, 0.0);
    // The edge first moves along the old slope to now, so that a change of
    // slope turns it about the last callback instead of shifting it.
    edge_frame_ += step_ms * rate_;
    // A callback far below the line of a steady stream is a late wake-up or
    // a stream that moved (a JACK client that missed cycles lost their
    // frames for good). Neither says anything about the rate; fitted, a
    // moved stream would bend the slope towards it for many seconds, and the
    // move would never be seen for what it is (see `follow_edge`). Such a
    // callback only lets the older ones fade.
    const bool fitted = !far_below_line(now_ms, end, step_ms);
    const double weight_ms = std::min(std::max(step_ms, 1e-3), max_weight_ms);
    fit(now_ms, end, fitted ? weight_ms : 0.0);
    if (fitted) {
        window_fitted_low_ = std::min(window_fitted_low_, end - line_at_last_);
        window_fitted_high_ = std::max(window_fitted_high_, end - line_at_last_);
    }
    follow_edge(now_ms, end, step_ms);
    if (fitted)
        far_below_since_ms_ = -1.0;
    else
        follow_far_below(now_ms, end, weight_ms);
    last_ms_ = std::max(now_ms, last_ms_);
    spread_ = edge_frame_ - line_at_last_;
}

bool FrameClock::far_below_line(double now_ms, double end_frame, double step_ms) const
{
    // Only on a steady stream: one that calls back often, all its fitted
    // callbacks within a few milliseconds of its line (JACK, a PipeWire
    // stream of small writes). On one that pulls in uneven bursts, callbacks
    // far below the line are its pattern or a pull that catches up bit by
    // bit, and the fit must see all of them. Judged from the stream's first
    // half second on, whenever the fit last started again: on a machine
    // whose every core is busy the stream stalls again and again within a
    // second, and a moved stream fitted right after a restart bent the
    // slope as far as it may.
    const double scatter = fitted_band();
    if (now_ms - first_ms_ < min_fit_span_ms || previous_window_count_ < regular_callbacks_per_window ||
        scatter > steady_band_ms * nominal_rate_)
        return false;
    // Below the band's lower edge, by more than its jitter: a stream that
    // writes in bursts keeps its line at the bursts' first callbacks (the
    // fit weighs each by the time since the one before), the rest of a
    // burst above it.
    const double predicted = line_at_last_ + step_ms * rate_;
    return end_frame - predicted <
           previous_window_fitted_low_ - std::max(far_below_ms * nominal_rate_, 0.5 * scatter);
}

void FrameClock::fit(double now_ms, double end_frame, double weight_ms)
{
    const double t = now_ms - start_ms_;
    const double r = end_frame - start_frame_ - nominal_rate_ * t;
    const double fade = std::exp(-std::max(now_ms - last_ms_, 0.0) / fit_memory_ms);
    sum_w_ = sum_w_ * fade + weight_ms;
    sum_t_ = sum_t_ * fade + weight_ms * t;
    sum_r_ = sum_r_ * fade + weight_ms * r;
    sum_tt_ = sum_tt_ * fade + weight_ms * t * t;
    sum_tr_ = sum_tr_ * fade + weight_ms * t * r;

    const double mean_t = sum_t_ / sum_w_, mean_r = sum_r_ / sum_w_;
    const double spread_tt = sum_tt_ / sum_w_ - mean_t * mean_t;
    double slope = prior_slope_;  // frames per ms beyond the nominal rate
    if (t >= min_fit_span_ms && spread_tt > 0.0) {
        slope = (sum_tr_ / sum_w_ - mean_t * mean_r) / spread_tt;
        const double limit = max_rate_error * nominal_rate_;
        slope = std::clamp(slope, -limit, limit);
    }
    rate_ = nominal_rate_ + slope;
    line_at_last_ = start_frame_ + nominal_rate_ * t + mean_r + slope * (t - mean_t);
}

void FrameClock::follow_edge(double now_ms, double end_frame, double step_ms)
{
    dropped_ = false;
    const double excess = end_frame - edge_frame_;
    if (excess >= -edge_dead_band_ms * nominal_rate_)
        edge_reached_ms_ = now_ms;
    if (excess > 0.0) {
        edge_frame_ = end_frame;  // never below a frame already asked for
    } else if (now_ms - first_ms_ < settling_ms && now_ms - edge_reached_ms_ > settling_reach_ms) {
        // Still starting: the edge comes down to where the stream runs now.
        edge_frame_ = end_frame;
        edge_reached_ms_ = now_ms;
        return;
    }
    const double excess_now = std::min(excess, 0.0);
    const double dead_band = edge_dead_band_ms * nominal_rate_;
    if (now_ms - window_start_ms_ >= edge_window_ms && window_count_ > 0) {
        const double window_mean = window_residual_sum_ / window_count_;
        const double moved_below = -edge_drop_ms * nominal_rate_;
        const double highest = std::max(window_excess_, previous_window_excess_);
        double drop = 0.0, moved = 0.0;
        if (window_mean < moved_below && previous_window_mean_ < moved_below && highest < -dead_band) {
            drop = -highest;
            moved = -window_mean;
        } else if (highest < moved_below) {
            // Every callback of two windows stayed well below the edge while
            // the line did not move: the edge alone lies too high (left there
            // by a stream that slipped in steps the line has followed).
            drop = -highest;
        }
        previous_window_excess_ = window_excess_ + drop;
        previous_window_mean_ = window_mean + moved;
        previous_window_count_ = window_count_;
        previous_window_fitted_low_ = window_fitted_low_;
        previous_window_fitted_high_ = window_fitted_high_;
        window_excess_ = excess_now + drop;
        window_residual_sum_ = 0.0;
        window_count_ = 0;
        window_fitted_low_ = window_fitted_high_ = 0.0;
        window_start_ms_ = now_ms;
        if (drop > 0.0)
            drop_edge(now_ms, end_frame, drop, moved);
    } else {
        window_excess_ = std::max(window_excess_, excess_now);
    }
    window_residual_sum_ += end_frame - line_at_last_;
    ++window_count_;

    const double highest = std::max(window_excess_, previous_window_excess_);
    if (!dropped_ && highest < -dead_band) {
        const double sink = std::min(edge_sink_per_ms * step_ms * nominal_rate_, -highest - dead_band);
        edge_frame_ -= sink;
        // The windows' excesses were measured against the higher edge.
        window_excess_ += sink;
        previous_window_excess_ += sink;
    }
}

void FrameClock::follow_far_below(double now_ms, double end_frame, double weight_ms)
{
    const double below = line_at_last_ - end_frame;
    // The run counts only while the callbacks keep to one distance: while
    // the stream is still slipping (a server that stalls bit by bit) it
    // starts again, and the windows judge.
    const double steady_band = std::max(edge_dead_band_ms * nominal_rate_, 2.0 * fitted_band());
    if (far_below_since_ms_ < 0.0 || std::abs(below - far_below_sum_ / far_below_weight_) > steady_band) {
        far_below_since_ms_ = now_ms;
        far_below_sum_ = 0.0;
        far_below_weight_ = 0.0;
    }
    // Weighted as the fit weighs them, so that the move is measured from
    // the same point of a burst the line runs through.
    far_below_sum_ += below * weight_ms;
    far_below_weight_ += weight_ms;
    if (now_ms - far_below_since_ms_ < moved_after_ms)
        return;
    // Every callback has stayed far below the line, at one distance, for a
    // while: the stream moved, by their mean distance (the line runs through
    // the callbacks as the fit weighs them). The windows' figures were taken
    // against the old line and edge; they move down with them.
    const double moved = far_below_sum_ / far_below_weight_;
    far_below_since_ms_ = -1.0;
    window_residual_sum_ += moved * window_count_;
    previous_window_mean_ += moved;
    window_excess_ += moved;
    previous_window_excess_ += moved;
    drop_edge(now_ms, end_frame, moved, moved, true);
}

void FrameClock::drop_edge(double now_ms, double end_frame, double drop_frames, double moved_frames,
                           bool moved_exactly)
{
    edge_frame_ -= drop_frames;
    dropped_ = true;
    if (!moved_exactly && moved_frames > fit_restart_ms * nominal_rate_) {
        // The fit straddles a long step and would bend the slope for half a
        // minute: it starts again from here, keeping the rate it had found
        // until the new one means something (the stream moved; its rate did
        // not change).
        prior_slope_ = rate_ - nominal_rate_;
        sum_w_ = sum_t_ = sum_r_ = sum_tt_ = sum_tr_ = 0.0;
        start_ms_ = now_ms;
        start_frame_ = end_frame;
        fit(now_ms, end_frame, 1.0);
    } else {
        // A short step, or one measured to a fraction of a millisecond: the
        // callbacks before it move down with it, so that the slope keeps
        // what they say about the rate (restarted, a fit spanning a second
        // on a JACK stream that kept stalling read the rate 0.07 % wrong).
        sum_r_ -= moved_frames * sum_w_;
        sum_tr_ -= moved_frames * sum_t_;
        line_at_last_ -= moved_frames;
    }
}

}  // namespace tambelo
