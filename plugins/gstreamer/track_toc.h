/* A music set as an album for GStreamer applications, by the convention of
 * audio CD sources: a "track" format and a table of contents. */
#ifndef TAMBELO_TRACK_TOC_H
#define TAMBELO_TRACK_TOC_H

#include <gst/gst.h>
#include <tambelo/render.h>

/* The "track" format, shared with every element that registers it: its
 * values count tracks from 0 (track 1 is 0). A duration query in it answers
 * the track count, a position query the track playing, a seek changes the
 * track. */
GstFormat tambelo_track_format(void);

/* The tags of track `info`, whose rendering lasts `length` (NONE when it
 * never ends or cannot be played). */
GstTagList* tambelo_track_tags(const tambelo_set* set, const tambelo_track_info* info, GstClockTime length);

/* One entry per track with its tags (title, number, count, duration), in
 * order, placed one after the other as on a disc for as long as their
 * lengths are known; `lengths` has one per track. */
GstToc* tambelo_track_toc(const tambelo_set* set, const GstClockTime* lengths);

/* The track a TOC entry's UID names, or 0 when it names none of ours. */
gint tambelo_track_toc_number(const gchar* uid);

#endif
