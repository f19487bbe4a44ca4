/* How long a rendering of a track plays, for the lengths the plugins' hosts
 * show: what they show must be what they play. */
#ifndef TAMBELO_PLAYED_LENGTH_H
#define TAMBELO_PLAYED_LENGTH_H

#include <stdint.h>
#include <tambelo/render.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The frames a rendering of track `number` with `settings` hands out, or -1
 * when it never ends (loop forever) or the track cannot be opened. A track
 * that ends by itself is followed by its release tail, whose length only the
 * sound can tell: it is rendered once to find it (a few hundred times faster
 * than it plays). Any thread. */
int64_t tambelo_played_frames(const tambelo_set* set, int number, const tambelo_render_settings* settings);

#ifdef __cplusplus
}
#endif

#endif
