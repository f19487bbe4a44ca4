#pragma once

#include <tambelo/render.h>

#include <memory>
#include <string>

namespace tambelo {

struct RenderSetCloser {
    void operator()(tambelo_set* set) const { tambelo_set_close(set); }
};

// A music set opened through the renderer's C interface (tambelo/render.h),
// closed with its handle.
using RenderSetHandle = std::unique_ptr<tambelo_set, RenderSetCloser>;

// The set of the score archive `score_path` with the voice archive
// `voice_path` (empty or missing: the default voices) and no title list,
// read whole now; null with a one-line reason in `why` when the score
// archive cannot be read or is not a music set.
RenderSetHandle open_render_set(const std::string& score_path, const std::string& voice_path, std::string& why);

}  // namespace tambelo
