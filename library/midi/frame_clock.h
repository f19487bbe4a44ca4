#pragma once

#include <cstdint>

namespace tambelo {

// An audio stream's frame clock seen from our clock: up to which frame the
// stream will have pulled by a given moment, estimated from the moments at
// which its rendering callback runs and how far each one renders.
//
// A server pulls audio in bursts of its own choosing, so the frames pulled
// by a moment jump about a straight line whose slope is the stream's real
// rate on our clock. The slope comes from a least-squares fit over all
// callbacks, the older ones fading with a time constant of half a minute:
// no burst and no pattern of bursts moves it much, and a stream whose rate
// differs from the nominal one (a server at another rate, a sound card's
// clock straying from ours) is followed for ever, never ratcheted.
//
// On that slope runs the upper edge of the renderings: the line that every
// callback so far has reached at most. A message placed on or above it lands
// at or after every frame already rendered when it was posted. The edge
// rises at once when a callback reaches above it, sinks slowly when the
// bursts have stayed a little lower for a while, and drops at once when the
// callbacks show that the stream itself moved (a server that stalled or ran
// dry and went on later, a JACK client that missed cycles). On a steady
// stream a callback far below the line stays out of the fit, and callbacks
// that keep to one distance below it for 30 ms show the move; on any stream,
// the callbacks of two one-second windows do.
//
// One thread (the rendering thread); no allocation.
class FrameClock {
public:
    explicit FrameClock(double nominal_frames_per_ms);

    // The rendering callback ran at `now_ms` and was asked for frames up to
    // `end_frame` (the first frame after the ones it renders).
    void rendered(double now_ms, std::int64_t end_frame);

    bool started() const { return started_; }
    // The upper edge's frame at `moment_ms` (after the first rendering).
    double edge_frame_at(double moment_ms) const;
    // The stream's rate on our clock, as estimated.
    double frames_per_ms() const { return rate_; }
    // How far the upper edge lies above the fitted line, in frames: the
    // bursts' spread, what the server keeps ahead beyond a steady flow.
    double spread_frames() const { return spread_; }
    // Whether the last callback found the stream moved back after a stall,
    // so that the edge dropped: messages placed on the old edge now lie in
    // the past through no lateness of their sender.
    bool dropped() const { return dropped_; }
    // How long the stream has been followed, in ms of our clock.
    double followed_ms() const { return started_ ? last_ms_ - start_ms_ : 0.0; }

private:
    // How wide the band of the last window's fitted callbacks was, in frames.
    double fitted_band() const { return previous_window_fitted_high_ - previous_window_fitted_low_; }
    bool far_below_line(double now_ms, double end_frame, double step_ms) const;
    void follow_far_below(double now_ms, double end_frame, double weight_ms);
    void fit(double now_ms, double end_frame, double weight_ms);
    void follow_edge(double now_ms, double end_frame, double step_ms);
    // Lowers the edge by `drop_frames` and the fitted line by `moved_frames`,
    // how far the stream moved; `moved_exactly` when that was measured on a
    // steady stream, so that the fit's history can move with it however far.
    void drop_edge(double now_ms, double end_frame, double drop_frames, double moved_frames,
                   bool moved_exactly = false);

    double nominal_rate_;
    double rate_;
    bool started_ = false;
    bool started_again_ = false;  // after a wait before the stream ran
    double first_ms_ = 0.0;  // the first callback's moment
    double start_ms_ = 0.0;  // the fit's start
    double start_frame_ = 0.0;
    double last_ms_ = 0.0;

    // The fit, on time since the start and frames beyond the nominal rate's
    // line, so that the sums stay small; each weighted by the time it stands
    // for and fading with age.
    double sum_w_ = 0.0, sum_t_ = 0.0, sum_r_ = 0.0, sum_tt_ = 0.0, sum_tr_ = 0.0;
    double line_at_last_ = 0.0;  // the fitted line's frame at `last_ms_`
    // The slope beyond the nominal rate that stands in while the fit spans
    // too little to say: none at first, the last fitted one after a restart.
    double prior_slope_ = 0.0;
    double spread_ = 0.0;
    bool dropped_ = false;

    // The upper edge: its frame at `last_ms_`, and the highest excess of a
    // callback over it (0 or less) in the current and the previous window.
    double edge_frame_ = 0.0;
    double edge_reached_ms_ = 0.0;  // when a callback last came within the dead band of it
    double window_start_ms_ = 0.0;
    double window_excess_ = 0.0;
    double previous_window_excess_ = 0.0;
    // The callbacks' mean distance from the fitted line in the current
    // window (its sum and count) and in the previous one.
    double window_residual_sum_ = 0.0;
    int window_count_ = 0;
    double previous_window_mean_ = 0.0;
    int previous_window_count_ = 0;
    // The lowest and highest of the fitted callbacks in each window, from
    // the line: the band a steady stream keeps to.
    double window_fitted_low_ = 0.0, window_fitted_high_ = 0.0;
    double previous_window_fitted_low_ = 0.0, previous_window_fitted_high_ = 0.0;
    // Since when every callback has been far below the line (negative when
    // the last one was not), and the weighted sum of their distances from
    // it, in frames, with the sum of the weights.
    double far_below_since_ms_ = -1.0;
    double far_below_sum_ = 0.0;
    double far_below_weight_ = 0.0;
};

}  // namespace tambelo
