#include "library/render/rendering_length.h"

#include "library/render/track_span.h"

namespace tambelo {
namespace {

std::int64_t frame_of(double time_ms, int rate)
{
    return static_cast<std::int64_t>(frame_at_ms(time_ms, rate));
}

}  // namespace

RenderingPlan plan_rendering(const TrackLength& length, double tick_length_ms, const RenderSettings& settings,
                             int sample_rate)
{
    RenderingPlan plan;
    const bool loops = length.kind == TrackLength::Kind::loops;
    const auto loop = loop_frames(length, tick_length_ms, sample_rate);
    // A loop too long to render twice before its first frame is handed out
    // is rendered as in fade mode.
    plan.seamless = settings.loop_mode == LoopMode::seamless && loop &&
                    loop->length_frames <= frame_of(settings.longest_seamless_loop_ms, sample_rate);
    plan.forever = settings.loop_mode == LoopMode::forever && loops;
    plan.tail = !loops && settings.release_tail;
    double music_ms = 0.0;
    if (plan.seamless) {
        // Two passes are rendered and the second one kept (SeamlessCut).
        music_ms = static_cast<double>(loop->start_frame + 2 * loop->length_frames) * 1000.0 / sample_rate;
        plan.output_frames = loop->start_frame + loop->length_frames;
    } else {
        music_ms = plan_track_span(length, tick_length_ms, settings.loops).music_ms;
    }
    plan.music_frames = frame_of(music_ms, sample_rate);
    plan.fade_frames = loops && !plan.seamless && !plan.forever ? frame_of(settings.fade_ms, sample_rate) : 0;
    plan.planned = plan.forever ? never_ending_frames : plan.music_frames + plan.fade_frames;
    if (!plan.seamless)
        plan.output_frames = plan.planned;
    plan.least_frames = plan.output_frames;
    plan.most_frames = plan.output_frames;
    if (plan.tail) {
        // The tail goes on until its sound has stayed quiet for a while,
        // and no further than its longest.
        plan.least_frames += frame_of(quiet_end_ms, sample_rate);
        plan.most_frames += frame_of(max_release_tail_ms, sample_rate);
    }
    return plan;
}

}  // namespace tambelo
