// The C interface of tambelo/render.h: the loudness of a rendering.

#include "library/render/render_api_track.h"

#include "library/render/loudness.h"

#include <cstring>
#include <vector>

using namespace tambelo::c_api;

struct tambelo_loudness_meter {
    explicit tambelo_loudness_meter(int sample_rate) : meter(sample_rate) {}
    tambelo::LoudnessMeter meter;
};

namespace {

void store(const tambelo::Loudness& measured, double* lufs, double* peak)
{
    if (lufs)
        *lufs = measured.lufs;
    if (peak)
        *peak = measured.peak;
}

}  // namespace

extern "C" {

const char* tambelo_set_track_loudness(const tambelo_set* set, int number, const tambelo_render_settings* settings,
                                       double* lufs, double* peak)
{
    if (set == nullptr)
        return "no set given";
    return guarded([&]() -> const char* {
        ChosenSettings chosen;
        if (const char* why = choose_settings(settings, chosen))
            return why;
        if (chosen.render.loop_mode == tambelo::LoopMode::forever)
            return "a rendering in forever mode never ends, so it has no loudness";
        tambelo_track* track = nullptr;
        if (const char* why = tambelo_track_open(set, number, settings, &track))
            return why;
        struct Closer {
            tambelo_track* track;
            ~Closer() { tambelo_track_close(track); }
        } closer{track};
        tambelo::LoudnessMeter meter(chosen.sample_rate);
        constexpr std::size_t piece_frames = 4096;
        std::vector<float> piece(2 * piece_frames);
        while (const std::size_t frames = track->renderer->render(piece.data(), piece_frames))
            meter.add(piece.data(), frames);
        const tambelo::Loudness measured = meter.loudness();
        if (lufs)
            *lufs = measured.lufs;
        if (peak)
            *peak = measured.peak;
        return nullptr;
    });
}

const char* tambelo_loudness_meter_open(int sample_rate, tambelo_loudness_meter** meter)
{
    if (meter == nullptr)
        return "no place for the meter given";
    *meter = nullptr;
    if (sample_rate < 8000 || sample_rate > 192000)
        return fail("sample rate " + std::to_string(sample_rate) + " Hz is outside 8000 to 192000");
    return guarded([&]() -> const char* {
        *meter = new tambelo_loudness_meter(sample_rate);
        return nullptr;
    });
}

void tambelo_loudness_meter_close(tambelo_loudness_meter* meter)
{
    delete meter;
}

void tambelo_loudness_meter_add(tambelo_loudness_meter* meter, const float* frames, size_t count)
{
    if (meter == nullptr || frames == nullptr)
        return;
    try {
        meter->meter.add(frames, count);
    } catch (...) {
        // libebur128 fails only when it cannot grow its block list: the
        // frames go unmeasured, as a caller that cannot be told expects.
    }
}

void tambelo_loudness_meter_read(const tambelo_loudness_meter* meter, double* lufs, double* peak)
{
    store(meter ? meter->meter.loudness() : tambelo::Loudness{}, lufs, peak);
}

void tambelo_loudness_meters_together(const tambelo_loudness_meter* const* meters, size_t count, double* lufs,
                                      double* peak)
{
    tambelo::Loudness measured;
    try {
        std::vector<const tambelo::LoudnessMeter*> taken;
        for (size_t i = 0; meters != nullptr && i < count; ++i)
            if (meters[i] != nullptr)
                taken.push_back(&meters[i]->meter);
        measured = tambelo::LoudnessMeter::together(taken);
    } catch (...) {
        measured = {};
    }
    store(measured, lufs, peak);
}

}  // extern "C"
