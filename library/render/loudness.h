#pragma once

#include "library/render/render_settings.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace tambelo {

class FrozenClockSequencer;
class RenderSynth;

// The loudness of a rendering as EBU R128 measures it.
struct Loudness {
    // Integrated loudness in LUFS (gated: what lies 10 LU below the mean of
    // the louder blocks, and everything below -70 LUFS, is left out);
    // minus infinity for silence.
    double lufs = 0.0;
    // The largest absolute sample value (1.0 is full scale), before any
    // clipping or rounding of a file's samples.
    double peak = 0.0;
};

// Measures interleaved stereo float frames as they are rendered, with
// libebur128 (integrated loudness and sample peak; no true peak, which
// would oversample every frame). Adding frames costs little next to
// rendering them.
class LoudnessMeter {
public:
    // Throws std::bad_alloc when libebur128 cannot set up.
    explicit LoudnessMeter(int sample_rate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const float* frames, std::size_t count);
    Loudness loudness() const;

    // The loudness of all the meters' frames taken as one programme (an
    // album's); their rates need not agree. Nothing: lufs 0 and peak 0.
    static Loudness together(const std::vector<const LoudnessMeter*>& meters);

private:
    struct State;  // libebur128's
    std::unique_ptr<State> state_;
};

// Renders track `track` (of which nothing has been played yet) with `synth`
// and `settings` from its start to its end and measures it; the audio is
// dropped. Costs what rendering the track costs. A rendering that never
// ends (forever mode) is not measured: returns nothing. Nothing either when
// `keep_going` answers false between pieces.
std::unique_ptr<LoudnessMeter> measure_rendering(RenderSynth& synth, FrozenClockSequencer& track,
                                                 const RenderSettings& settings,
                                                 const std::function<bool()>& keep_going = {});

}  // namespace tambelo
