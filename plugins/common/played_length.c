#include "played_length.h"

#define SCRATCH_FRAMES 1024

int64_t tambelo_played_frames(const tambelo_set* set, int number, const tambelo_render_settings* settings)
{
    tambelo_track_info info;
    if (tambelo_set_track_info(set, number, &info) != NULL || !info.playable)
        return -1;
    if (info.loops && settings->loop_mode == TAMBELO_LOOP_FOREVER)
        return -1;
    tambelo_track* track = NULL;
    if (tambelo_track_open(set, number, settings, &track) != NULL)
        return -1;
    int64_t frames = tambelo_track_length_frames(track);
    if (frames < 0) {
        /* Its end is found by rendering up to it. */
        float scratch[2 * SCRATCH_FRAMES];
        frames = 0;
        size_t got;
        while ((got = tambelo_track_render_float(track, scratch, SCRATCH_FRAMES)) > 0)
            frames += (int64_t)got;
    }
    tambelo_track_close(track);
    return frames;
}
