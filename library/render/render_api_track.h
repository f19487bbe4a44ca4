#pragma once

// What the C interface's tracks hold: the builds with the embedded
// synthesizer only. Private to libtambelo-render.

#include "library/render/render_api_objects.h"
#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"

struct tambelo_track {
    std::shared_ptr<const tambelo::RenderSet> set;  // destroyed last
    std::string soundfont_asked;  // as the settings named it ("" for the system's)
    std::unique_ptr<tambelo::RenderSynth> synth;
    std::unique_ptr<tambelo::FrozenClockSequencer> played;
    std::unique_ptr<tambelo::TrackRenderer> renderer;
};
