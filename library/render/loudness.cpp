#include "library/render/loudness.h"

#include "library/render/render_synth.h"
#include "library/render/track_renderer.h"

#include <ebur128.h>

#include <algorithm>
#include <new>

namespace tambelo {

struct LoudnessMeter::State {
    explicit State(int sample_rate)
        : meter(ebur128_init(2, static_cast<unsigned long>(sample_rate), EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK))
    {
        if (meter == nullptr)
            throw std::bad_alloc();
    }
    ~State() { ebur128_destroy(&meter); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    ebur128_state* meter;
};

LoudnessMeter::LoudnessMeter(int sample_rate) : state_(std::make_unique<State>(sample_rate)) {}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* frames, std::size_t count)
{
    if (count > 0 && ebur128_add_frames_float(state_->meter, frames, count) != EBUR128_SUCCESS)
        throw std::bad_alloc();  // the only way it fails once set up
}

Loudness LoudnessMeter::loudness() const
{
    Loudness measured;
    ebur128_loudness_global(state_->meter, &measured.lufs);
    for (unsigned channel = 0; channel < 2; ++channel) {
        double peak = 0.0;
        ebur128_sample_peak(state_->meter, channel, &peak);
        measured.peak = std::max(measured.peak, peak);
    }
    return measured;
}

Loudness LoudnessMeter::together(const std::vector<const LoudnessMeter*>& meters)
{
    Loudness measured;
    if (meters.empty())
        return measured;
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* meter : meters) {
        states.push_back(meter->state_->meter);
        measured.peak = std::max(measured.peak, meter->loudness().peak);
    }
    ebur128_loudness_global_multiple(states.data(), states.size(), &measured.lufs);
    return measured;
}

std::unique_ptr<LoudnessMeter> measure_rendering(RenderSynth& synth, FrozenClockSequencer& track,
                                                 const RenderSettings& settings,
                                                 const std::function<bool()>& keep_going)
{
    if (settings.loop_mode == LoopMode::forever)
        return nullptr;
    TrackRenderer renderer(synth, track, settings);
    auto meter = std::make_unique<LoudnessMeter>(renderer.sample_rate());
    constexpr std::size_t piece_frames = 4096;
    std::vector<float> piece(2 * piece_frames);
    while (const std::size_t frames = renderer.render(piece.data(), piece_frames)) {
        if (keep_going && !keep_going())
            return nullptr;
        meter->add(piece.data(), frames);
    }
    return meter;
}

}  // namespace tambelo
