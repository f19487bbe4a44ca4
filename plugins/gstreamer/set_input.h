/* The music set tambelodec plays: the score archive arriving on its sink
 * pad, with the voice archive and title list found beside the local file
 * the upstream element reads. */
#ifndef TAMBELO_SET_INPUT_H
#define TAMBELO_SET_INPUT_H

#include <gst/base/gstadapter.h>
#include <gst/gst.h>
#include <tambelo/render.h>

/* Why the score archive upstream of `sinkpad` is refused for its size, or
 * NULL: for the `gathered_bytes` it has sent so far, and with `ask_upstream`
 * for the size upstream tells in advance. Streaming thread. */
GError* tambelo_refuse_large_score(GstPad* sinkpad, guint64 gathered_bytes, gboolean ask_upstream);

/* Opens the set from the score archive gathered in `score` (which it
 * empties); on failure returns why, for the caller to post. Streaming
 * thread. */
GError* tambelo_open_set(GstPad* sinkpad, GstAdapter* score, tambelo_set** set);

#endif
