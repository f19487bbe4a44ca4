// The C interface of tambelo/render.h: the loudness of a rendering.

#include "library/render/render_api_objects.h"

#include "library/render/loudness.h"

#include <cstring>
#include <vector>

using namespace tambelo::c_api;

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

}  // extern "C"
