// The page's way into the library's track renderer: plain C functions over
// TrackRenderer, whose synthesizer is the page's own FluidSynth
// (js-synthesizer). The renderer sequences the track, places each message on
// its synthesizer block, loops, fades, finds the end of the release tail,
// seeks and converts to 16 bits, exactly as in a native export; the page
// only pulls frames. The module's `tambeloSynth` object (page/synth-bridge.js)
// is the synthesizer: it must be set before a rendering is opened, and it
// serves every rendering of the module (one at a time is rendering).

#include "library/frozen_clock_sequencer.h"
#include "library/render/render_settings.h"
#include "library/render/rendering_length.h"
#include "library/render/synthesizer.h"
#include "library/render/track_renderer.h"
#include "library/render/track_span.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <emscripten/emscripten.h>

// The page's synthesizer; pointers are offsets into this module's memory.
EM_JS(void, js_synth_start_fresh, (), { Module['tambeloSynth'].startFresh(); });
EM_JS(void, js_synth_reset, (), { Module['tambeloSynth'].reset(); });
EM_JS(void, js_synth_send, (const unsigned char* bytes, int length), { Module['tambeloSynth'].send(bytes, length); });
// Writes `frames` interleaved stereo frames (floats) at `out`.
EM_JS(void, js_synth_write, (float* out, int frames), { Module['tambeloSynth'].write(out, frames); });

namespace {

using tambelo::TrackOpenFailure;
using tambelo::FrozenClockSequencer;
using tambelo::TrackRenderer;

constexpr std::int64_t block_frames = 64;  // FluidSynth's processing block

// The Synthesizer over the page's FluidSynth, which renders and times
// messages as the native one does (the same FluidSynth, built for the web).
class WebSynth final : public tambelo::Synthesizer {
public:
    explicit WebSynth(int sample_rate) : sample_rate_(sample_rate) {}

    int sample_rate() const override { return sample_rate_; }
    // The page keeps a synthesizer that has not played yet and makes a new
    // one (reading the same SoundFont) otherwise.
    void start_fresh() override
    {
        js_synth_start_fresh();
        frames_ = 0;
    }
    void silence() override
    {
        js_synth_reset();
        // The synth renders whole blocks and hands them out piece by piece:
        // the rest of the block under way was made before the reset, so it goes.
        const auto rest = static_cast<std::size_t>((block_frames - frames_ % block_frames) % block_frames);
        std::vector<float> dropped(2 * rest);
        write(dropped.data(), rest);
    }
    void send(const tambelo::TimedMessage& message) override
    {
        if (!message.bytes.empty())
            js_synth_send(message.bytes.data(), static_cast<int>(message.bytes.size()));
    }
    void write(float* out, std::size_t frames) override
    {
        if (frames > 0)
            js_synth_write(out, static_cast<int>(frames));
        frames_ += static_cast<std::int64_t>(frames);
    }

private:
    int sample_rate_;
    std::int64_t frames_ = 0;
};

struct Rendering {
    explicit Rendering(int sample_rate) : synth(sample_rate) {}

    WebSynth synth;
    std::unique_ptr<FrozenClockSequencer> track;
    std::unique_ptr<TrackRenderer> renderer;
    std::int64_t most_frames = 0;
    std::vector<std::int16_t> pcm;
    std::vector<float> floats;
};

std::map<int, std::unique_ptr<Rendering>> renderings;
int last_rendering = 0;

Rendering* find(int handle)
{
    const auto found = renderings.find(handle);
    return found == renderings.end() ? nullptr : found->second.get();
}

// Refusals beyond the open track's: the rendering would last too long.
constexpr int too_long = 4;

}  // namespace

extern "C" {

// Opens track `track` of the set for rendering at `sample_rate`: `forever`
// 1 loops a looping track for ever (playing), 0 plays its loop `loops` times
// and fades it over `fade_ms` (a file); a track that ends by itself keeps its
// release tail. A handle above 0, or the failure negated (1: does not
// compile, 2: tempo out of range, 3: out of memory, 4: it would play for
// more than web_render_too_long_reason() says; only without `forever`).
EMSCRIPTEN_KEEPALIVE int web_render_open(const char* score_path, const char* voice_path, std::int32_t track,
                                         int sample_rate, int forever, int loops, double fade_ms)
{
    TrackOpenFailure failure = TrackOpenFailure::none;
    const std::string score = score_path;
    const std::string voices = voice_path;
    auto opened = FrozenClockSequencer::open_set_track(score, voices, track, &failure);
    if (!opened)
        return -static_cast<int>(failure);
    tambelo::RenderSettings settings;
    settings.loop_mode = forever != 0 ? tambelo::LoopMode::forever : tambelo::LoopMode::fade;
    settings.loops = loops;
    settings.fade_ms = fade_ms;
    // The bound the library's renderer holds every rendering to, counted as
    // it counts it.
    const tambelo::RenderingPlan plan =
        tambelo::plan_rendering(opened->length(), opened->tick_length_ms(), settings, sample_rate);
    const auto longest = static_cast<std::int64_t>(tambelo::frame_at_ms(tambelo::longest_rendering_ms, sample_rate));
    if (!plan.forever && plan.most_frames > longest)
        return -too_long;
    auto made = std::make_unique<Rendering>(sample_rate);
    made->most_frames = plan.most_frames;
    made->track = std::move(opened);
    made->renderer = std::make_unique<TrackRenderer>(made->synth, *made->track, settings, [score, voices, track] {
        return FrozenClockSequencer::open_set_track(score, voices, track);
    });
    renderings[++last_rendering] = std::move(made);
    return last_rendering;
}

EMSCRIPTEN_KEEPALIVE const char* web_render_too_long_reason()
{
    return tambelo::too_long_reason;
}

EMSCRIPTEN_KEEPALIVE void web_render_close(int handle)
{
    renderings.erase(handle);
}

// The longest the rendering can last in frames (with a release tail, its
// longest), for progress; 0 when it never ends.
EMSCRIPTEN_KEEPALIVE double web_render_most_frames(int handle)
{
    const Rendering* rendering = find(handle);
    if (!rendering || rendering->most_frames >= tambelo::never_ending_frames)
        return 0.0;
    return static_cast<double>(rendering->most_frames);
}

// Renders up to `frames` frames as 16-bit samples (as a WAV export holds
// them) into the buffer at web_render_pcm16_data(); returns how many: fewer
// only at the end, 0 after it.
EMSCRIPTEN_KEEPALIVE int web_render_pcm16(int handle, int frames)
{
    Rendering* rendering = find(handle);
    if (!rendering || frames <= 0)
        return 0;
    rendering->pcm.resize(2 * static_cast<std::size_t>(frames));
    return static_cast<int>(rendering->renderer->render(rendering->pcm.data(), static_cast<std::size_t>(frames)));
}

EMSCRIPTEN_KEEPALIVE const std::int16_t* web_render_pcm16_data(int handle)
{
    const Rendering* rendering = find(handle);
    return rendering ? rendering->pcm.data() : nullptr;
}

// The same as interleaved floats, at web_render_float_data().
EMSCRIPTEN_KEEPALIVE int web_render_float(int handle, int frames)
{
    Rendering* rendering = find(handle);
    if (!rendering || frames <= 0)
        return 0;
    rendering->floats.resize(2 * static_cast<std::size_t>(frames));
    return static_cast<int>(rendering->renderer->render(rendering->floats.data(), static_cast<std::size_t>(frames)));
}

EMSCRIPTEN_KEEPALIVE const float* web_render_float_data(int handle)
{
    const Rendering* rendering = find(handle);
    return rendering ? rendering->floats.data() : nullptr;
}

// Goes to `ms` from the track's start (see TrackRenderer::seek); 1 when it could.
EMSCRIPTEN_KEEPALIVE int web_render_seek(int handle, double ms)
{
    Rendering* rendering = find(handle);
    return rendering && rendering->renderer->seek(ms) ? 1 : 0;
}

// Mutes the score channels of `mask` (bit k: channel k) from the next note on.
EMSCRIPTEN_KEEPALIVE void web_render_mute(int handle, int mask)
{
    if (Rendering* rendering = find(handle))
        rendering->renderer->set_muted_channels(static_cast<std::uint16_t>(mask));
}

// Frames handed out since the track's start (a seek sets it).
EMSCRIPTEN_KEEPALIVE double web_render_position(int handle)
{
    const Rendering* rendering = find(handle);
    return rendering ? static_cast<double>(rendering->renderer->position_frames()) : 0.0;
}

EMSCRIPTEN_KEEPALIVE int web_render_ended(int handle)
{
    const Rendering* rendering = find(handle);
    return rendering == nullptr || rendering->renderer->ended() ? 1 : 0;
}

}  // extern "C"
