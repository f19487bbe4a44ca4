#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

namespace tambelo {

// Renders from `position` towards `until` by `render(frames)`, in pieces of
// at most `piece_frames`, and moves `position` to where it stopped. Nothing
// is rendered when the position is already there or beyond. With
// `one_piece`, renders only the first piece, so that a caller can do
// something with each piece before the next. Returns the frames rendered.
template <typename Render>
std::int64_t render_up_to(std::int64_t& position, std::int64_t until, std::int64_t piece_frames, bool one_piece,
                          Render&& render)
{
    std::int64_t done = 0;
    while (position < until) {
        const std::int64_t count = std::min(until - position, piece_frames);
        render(count);
        position += count;
        done += count;
        if (one_piece)
            break;
    }
    return done;
}

// How far a synthesizer's sound has been rendered, in frames, and the step
// that brings it up to the frame of the next message. A synthesizer takes a
// message only between two renderings, so playing a message at its frame
// means: render everything before that frame, then apply the message. Live
// playback and the off-line renderer both move through time this way.
class FrameCursor {
public:
    std::int64_t position() const { return position_; }
    // Stands at `frame` without rendering (a new synthesizer, a seek).
    void place(std::int64_t frame) { position_ = frame; }

    // render_up_to from the cursor's position.
    template <typename Render>
    std::int64_t render_to(std::int64_t until, std::int64_t piece_frames, bool one_piece, Render&& render)
    {
        return render_up_to(position_, until, piece_frames, one_piece, std::forward<Render>(render));
    }

private:
    std::int64_t position_ = 0;
};

}  // namespace tambelo
