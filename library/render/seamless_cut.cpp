#include "library/render/seamless_cut.h"

#include <algorithm>

namespace tambelo {

SeamlessCut::SeamlessCut(std::size_t intro, std::size_t loop, std::size_t blend, FrameSink sink,
                         std::size_t first_frame)
    : intro_(intro), loop_(loop), blend_(blend), intro_blend_(std::min(blend, intro)), sink_(std::move(sink)),
      first_end_(2 * blend), intro_end_(2 * intro_blend_), at_(std::min(first_frame, intro_ - intro_blend_))
{
}

bool SeamlessCut::take(const float* frames, std::size_t count)
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

// Sends `frames` (the last `count` before a joint) faded linearly into the
// same number of frames at the end of the first pass.
bool SeamlessCut::send_blended(std::vector<float>& frames, std::size_t count)
{
    const float* target = first_end_.data() + 2 * (blend_ - count);
    for (std::size_t k = 0; k < count; ++k) {
        const float weight = static_cast<float>(k + 1) / static_cast<float>(count);
        for (std::size_t side = 0; side < 2; ++side)
            frames[2 * k + side] += weight * (target[2 * k + side] - frames[2 * k + side]);
    }
    return count == 0 || sink_(frames.data(), count);
}

}  // namespace tambelo
