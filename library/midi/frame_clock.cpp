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
// nominal rate stands in.
constexpr double min_fit_span_ms = 500.0;

// The estimated rate stays within this share of the nominal one: real
// streams stray by a few hundred parts per million at most, and a rate read
// wrongly by more than this is better left as it is than chased.
constexpr double max_rate_error = 0.05;

// The upper edge is compared with the callbacks' highest excess over the
// last two windows of this length, so that the burst pattern's highest
// points, which come only now and then, do not make it move.
constexpr double edge_window_ms = 5000.0;

// It sinks only when the callbacks have stayed more than this below it, and
// then at this pace (0.2 ms a second: a note moves 0.025 ms against one
// 125 ms before it, far below hearing).
constexpr double edge_dead_band_ms = 1.0;
constexpr double edge_sink_per_ms = 2e-4;

// Callbacks that stayed this far below the edge for two whole windows mean
// the stream itself has moved (a server that stalled and went on from where
// it stopped): the edge then drops to them at once, as the sound did,
// rather than hold every later note that much too late for minutes.
constexpr double edge_drop_ms = 20.0;

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
    if (!started_) {
        started_ = true;
        start_ms_ = last_ms_ = window_start_ms_ = now_ms;
        start_frame_ = edge_frame_ = line_at_last_ = end;
        fit(now_ms, end, 1.0);
        return;
    }
    const double step_ms = std::max(now_ms - last_ms_, 0.0);
    // The edge first moves along the old slope to now, so that a change of
    // slope turns it about the last callback instead of shifting it.
    edge_frame_ += step_ms * rate_;
    fit(now_ms, end, std::min(std::max(step_ms, 1e-3), max_weight_ms));
    follow_edge(now_ms, end, step_ms);
    last_ms_ = std::max(now_ms, last_ms_);
    spread_ = edge_frame_ - line_at_last_;
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
    double slope = 0.0;  // frames per ms beyond the nominal rate
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
    if (excess > 0.0)
        edge_frame_ = end_frame;  // never below a frame already asked for
    const double excess_now = std::min(excess, 0.0);
    if (now_ms - window_start_ms_ >= edge_window_ms) {
        previous_window_excess_ = window_excess_;
        window_excess_ = excess_now;
        window_start_ms_ = now_ms;
    } else {
        window_excess_ = std::max(window_excess_, excess_now);
    }
    const double highest = std::max(window_excess_, previous_window_excess_);
    const double dead_band = edge_dead_band_ms * nominal_rate_;
    if (highest < -edge_drop_ms * nominal_rate_) {
        const double drop = -highest - dead_band;
        edge_frame_ -= drop;
        window_excess_ += drop;
        previous_window_excess_ += drop;
        dropped_ = true;
        // The fit straddles the step and would bend the slope for half a
        // minute: it starts again from here.
        sum_w_ = sum_t_ = sum_r_ = sum_tt_ = sum_tr_ = 0.0;
        start_ms_ = now_ms;
        start_frame_ = end_frame;
        fit(now_ms, end_frame, 1.0);
    } else if (highest < -dead_band) {
        const double sink = std::min(edge_sink_per_ms * step_ms * nominal_rate_, -highest - dead_band);
        edge_frame_ -= sink;
        // The windows' excesses were measured against the higher edge.
        window_excess_ += sink;
        previous_window_excess_ += sink;
    }
}

}  // namespace tambelo
