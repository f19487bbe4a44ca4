/* What the files of tambelodec share: the element's state, the streaming
 * side (opening tracks, rendering) and the source pad's seeks and queries. */
#ifndef TAMBELO_DEC_PRIVATE_H
#define TAMBELO_DEC_PRIVATE_H

#include "tambelo_dec.h"

#include <gst/base/gstadapter.h>
#include <tambelo/render.h>

GST_DEBUG_CATEGORY_EXTERN(tambelo_dec_debug);

typedef struct TambeloGain TambeloGain;

struct _TambeloDec {
    GstElement parent;
    GstPad* sinkpad;
    GstPad* srcpad;
    GstAdapter* score; /* the score archive as it arrives */
    gboolean refused;  /* the input was refused: the rest of it is dropped */

    /* properties, under the object lock; "track" follows track changes */
    gint track_number;
    gint loops;
    gdouble fade_s;
    gboolean loop_forever;
    gchar* soundfont;
    guint muted_channels; /* bit k: channel k's notes are not played */

    /* the rendering: the set and track are touched by the streaming task,
     * or with the task paused and its stream lock held */
    tambelo_set* set;
    tambelo_track* track;
    gint rate_hz;
    GstSegment segment;
    gboolean stream_pending; /* a track opened: its stream is to be announced */
    gboolean segment_pending;
    GstTagList* pending_tags;
    /* under the object lock, for queries from any thread */
    guint64 position_frames;
    GstClockTime duration_ns;
    gint track_count;
    GstClockTime* lengths_ns; /* every track's, NONE when endless or unplayable */
    GstToc* toc;

    /* the playing track's ReplayGain, measured on a thread of its own that
     * holds the set: the set is closed by tambelo_gain_stop */
    TambeloGain* gain;
    GstTagList* stream_tags; /* the playing stream's, for the task */
};

GstClockTime tambelo_dec_frames_to_ns(const TambeloDec* dec, guint64 frames);
gint tambelo_dec_track_count(TambeloDec* dec);

/* Opens the set gathered and its first track and starts rendering; on
 * failure returns why, for the caller to post. Upstream's streaming thread. */
GError* tambelo_dec_open_stream(TambeloDec* dec);

/* Opens track `number` in place of the one playing, for the task to
 * announce and render from its start; on failure leaves the one playing as
 * it is and returns why. With the task stopped. */
GError* tambelo_dec_open_track(TambeloDec* dec, gint number);

/* The streaming task on the source pad. */
void tambelo_dec_render_loop(gpointer user_data);

/* Ends our stream at once and posts `failure` (taken). */
void tambelo_dec_fail_stream(TambeloDec* dec, GError* failure);

/* Starts measuring on a thread that takes `set` (closed by tambelo_gain_stop,
 * or once the measurement under way ends). */
TambeloGain* tambelo_gain_start(tambelo_set* set);

/* Measures track `number` with `settings` in place of what was asked
 * before (a measurement under way for another track ends unheard). */
void tambelo_gain_request(TambeloGain* gain, gint number, const tambelo_render_settings* settings);

/* The gain measured for the track last asked for since the last call, as
 * tags, or NULL. */
GstTagList* tambelo_gain_take(TambeloGain* gain);

/* Asks for no more and lets go of the set; returns at once. NULL: nothing. */
void tambelo_gain_stop(TambeloGain* gain);

/* Back to no set, with the task stopped. */
void tambelo_dec_close_rendering(TambeloDec* dec);

gboolean tambelo_dec_src_event(GstPad* pad, GstObject* parent, GstEvent* event);
gboolean tambelo_dec_src_query(GstPad* pad, GstObject* parent, GstQuery* query);

#endif
