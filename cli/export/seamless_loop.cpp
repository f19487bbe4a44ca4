#include "cli/export/seamless_loop.h"

#include "cli/export/audio_render.h"

#include <algorithm>
#include <vector>

namespace tambelo {
namespace {

// Cuts a rendering of the intro and two passes into the seamless file: the
// intro and the second pass, the last frames of each blended into the last
// frames of the first pass, which the second pass continues. Frames arrive
// in order and leave in order; only the blends are held.
class SeamlessCut {
public:
    SeamlessCut(std::size_t intro, std::size_t loop, std::size_t blend,
                const std::function<bool(const float*, std::size_t)>& sink)
        : intro_(intro), loop_(loop), blend_(blend), intro_blend_(std::min(blend, intro)), sink_(sink),
          first_end_(2 * blend), intro_end_(2 * intro_blend_)
    {
    }

    bool take(const float* frames, std::size_t count)
    {
        const std::size_t second = intro_ + loop_;
        const std::size_t blend_start = second + loop_ - blend_;
        for (std::size_t i = 0; i < count;) {
            const std::size_t frame = at_ + i;
            const float* here = frames + 2 * i;
            std::size_t run = count - i;  // frames up to the next change of role
            bool fine = true;
            if (frame < intro_ - intro_blend_) {
                run = std::min(run, intro_ - intro_blend_ - frame);
                fine = sink_(here, run);
            } else if (frame < intro_) {
                run = std::min(run, intro_ - frame);
                std::copy(here, here + 2 * run, intro_end_.begin() + 2 * (frame - (intro_ - intro_blend_)));
            } else if (frame < second - blend_) {
                run = std::min(run, second - blend_ - frame);
            } else if (frame < second) {
                run = std::min(run, second - frame);
                std::copy(here, here + 2 * run, first_end_.begin() + 2 * (frame - (second - blend_)));
                if (frame + run == second)
                    fine = send_blended(intro_end_, intro_blend_);
            } else if (frame < blend_start) {
                run = std::min(run, blend_start - frame);
                fine = sink_(here, run);
            } else if (frame < second + loop_) {
                run = std::min(run, second + loop_ - frame);
                pass_end_.insert(pass_end_.end(), here, here + 2 * run);
                if (frame + run == second + loop_)
                    fine = send_blended(pass_end_, blend_);
            }
            if (!fine)
                return false;
            i += run;
        }
        at_ += count;
        return true;
    }

private:
    // Sends `frames` (the last `count` before a joint) faded linearly into
    // the same number of frames at the end of the first pass.
    bool send_blended(std::vector<float>& frames, std::size_t count)
    {
        const float* target = first_end_.data() + 2 * (blend_ - count);
        for (std::size_t k = 0; k < count; ++k) {
            const float weight = static_cast<float>(k + 1) / static_cast<float>(count);
            for (std::size_t side = 0; side < 2; ++side)
                frames[2 * k + side] += weight * (target[2 * k + side] - frames[2 * k + side]);
        }
        return count == 0 || sink_(frames.data(), count);
    }

    std::size_t intro_, loop_, blend_, intro_blend_;
    const std::function<bool(const float*, std::size_t)>& sink_;
    std::vector<float> first_end_;  // the last `blend_` frames of the first pass
    std::vector<float> intro_end_;  // the last `intro_blend_` frames of the intro
    std::vector<float> pass_end_;   // the last `blend_` frames of the second pass
    std::size_t at_ = 0;            // frames of the rendering seen so far
};

}  // namespace

std::optional<std::size_t> export_seamless_audio(OfflineTrack& track, AudioRenderer& renderer,
                                                 const std::function<bool(const float*, std::size_t)>& sink)
{
    const TrackLength& length = track.length();
    const auto loop = loop_frames(length, track.tick_length_ms(), renderer.sample_rate());
    if (!loop)
        return 0;
    // The second pass rather than the first with its overhang folded back
    // onto its start: the second pass is what every later pass sounds like
    // (the overhang meets the new pass's notes and controller changes in
    // the synthesizer, which a sum of two renderings would not), and the
    // intro's own overhang does not repeat with every pass.
    const auto intro = static_cast<std::size_t>(loop->start_frame);
    const auto body = static_cast<std::size_t>(loop->length_frames);
    const std::size_t blend = std::min(body / 4, frame_at_ms(seamless_blend_ms, renderer.sample_rate()));
    std::vector<TimedMessage> messages;
    track.play_until_tick(length.loop_start_tick + 2 * length.loop_ticks, messages);
    AudioEnding ending;
    ending.music_ms = static_cast<double>(intro + 2 * body) * 1000.0 / renderer.sample_rate();
    ending.loop_frame = intro + body;

    SeamlessCut cut(intro, body, blend, sink);
    const auto rendered =
        renderer.render(messages, ending, [&cut](const float* frames, std::size_t count) { return cut.take(frames, count); });
    if (!rendered)
        return std::nullopt;
    return intro + body;
}

}  // namespace tambelo
