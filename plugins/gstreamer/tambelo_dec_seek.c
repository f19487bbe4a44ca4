/* tambelodec's source pad: seeks in time within a track and in the "track"
 * format to another track, and the queries applications ask. */
#include "tambelo_dec_private.h"

#include "track_toc.h"

#define GST_CAT_DEFAULT tambelo_dec_debug

/* The segment goes on from where the renderer stands, as the running time
 * starts again after a flush. */
static void restart_segment_here(TambeloDec* dec)
{
    const guint64 frames = tambelo_track_position_frames(dec->track);
    const GstClockTime now = tambelo_dec_frames_to_ns(dec, frames);
    dec->segment.start = dec->segment.position = dec->segment.time = now;
    dec->segment_pending = TRUE;
    GST_OBJECT_LOCK(dec);
    dec->position_frames = frames;
    GST_OBJECT_UNLOCK(dec);
}

/* Stops the streaming task for a seek; returns with its stream lock held. */
static void begin_seek(TambeloDec* dec, gboolean flush, guint32 seqnum)
{
    if (flush) {
        GstEvent* flush_start = gst_event_new_flush_start();
        gst_event_set_seqnum(flush_start, seqnum);
        gst_pad_push_event(dec->srcpad, flush_start);
    } else {
        gst_pad_pause_task(dec->srcpad);
    }
    GST_PAD_STREAM_LOCK(dec->srcpad);
}

static void end_seek(TambeloDec* dec, gboolean flush, guint32 seqnum)
{
    if (flush) {
        GstEvent* flush_stop = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(flush_stop, seqnum);
        gst_pad_push_event(dec->srcpad, flush_stop);
    }
    if (dec->segment.flags & GST_SEEK_FLAG_SEGMENT)
        gst_element_post_message(GST_ELEMENT(dec), gst_message_new_segment_start(
                                                       GST_OBJECT(dec), GST_FORMAT_TIME, (gint64)dec->segment.start));
    gst_pad_start_task(dec->srcpad, tambelo_dec_render_loop, dec, NULL);
    GST_PAD_STREAM_UNLOCK(dec->srcpad);
}

static gboolean seek_time(TambeloDec* dec, GstEvent* event)
{
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
    const guint32 seqnum = gst_event_get_seqnum(event);
    begin_seek(dec, flush, seqnum);
    GstSegment segment = dec->segment;
    gboolean update;
    gboolean done = gst_segment_do_seek(&segment, rate, format, flags, start_type, (guint64)start, stop_type,
                                        (guint64)stop, &update);
    const char* error = done ? tambelo_track_seek(dec->track, (gdouble)segment.position / GST_MSECOND) : NULL;
    if (error != NULL) {
        GST_WARNING_OBJECT(dec, "seek failed: %s", error);
        done = FALSE;
    }
    if (done)
        dec->segment = segment;
    restart_segment_here(dec);
    end_seek(dec, flush, seqnum);
    return done;
}

/* Plays track `number` from its start instead of the one playing; when it
 * cannot, says why and goes on with the one playing. */
static gboolean seek_track(TambeloDec* dec, gint number, gboolean flush, guint32 seqnum)
{
    begin_seek(dec, flush, seqnum);
    GError* failure = tambelo_dec_open_track(dec, number);
    const gboolean done = failure == NULL;
    if (!done) {
        GST_ELEMENT_WARNING(dec, STREAM, DECODE, ("%s", failure->message), (NULL));
        g_error_free(failure);
        restart_segment_here(dec);
    }
    end_seek(dec, flush, seqnum);
    return done;
}

static gboolean do_seek(TambeloDec* dec, GstEvent* event)
{
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    if (rate <= 0.0 || dec->track == NULL)
        return FALSE;
    if (format == GST_FORMAT_TIME)
        return seek_time(dec, event);
    if (format != tambelo_track_format())
        return FALSE;
    /* A track counted from the first (SET) or from the last (END). */
    if (start_type == GST_SEEK_TYPE_NONE)
        return TRUE;
    const gint count = tambelo_dec_track_count(dec);
    const gint64 index = start_type == GST_SEEK_TYPE_END ? count - 1 - start : start;
    if (index < 0 || index >= count)
        return FALSE;
    return seek_track(dec, (gint)index + 1, (flags & GST_SEEK_FLAG_FLUSH) != 0, gst_event_get_seqnum(event));
}

gboolean tambelo_dec_src_event(GstPad* pad, GstObject* parent, GstEvent* event)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    (void)pad;
    gboolean done = FALSE;
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        done = do_seek(dec, event);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_TOC_SELECT && dec->track != NULL) {
        gchar* uid = NULL;
        gst_event_parse_toc_select(event, &uid);
        const gint number = tambelo_track_toc_number(uid);
        g_free(uid);
        done = number >= 1 && number <= tambelo_dec_track_count(dec) &&
               seek_track(dec, number, TRUE, gst_event_get_seqnum(event));
    }
    /* Nothing upstream can act on events about the audio. */
    gst_event_unref(event);
    return done;
}

/* Queries in the "track" format: how many tracks, which one plays. */
static gboolean track_query(TambeloDec* dec, GstQuery* query)
{
    GST_OBJECT_LOCK(dec);
    const gint count = dec->track_count;
    const gint index = dec->track_number - 1;
    GST_OBJECT_UNLOCK(dec);
    if (count == 0)
        return FALSE;
    const GstFormat format = tambelo_track_format();
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_POSITION: gst_query_set_position(query, format, index); return TRUE;
    case GST_QUERY_DURATION: gst_query_set_duration(query, format, count); return TRUE;
    case GST_QUERY_SEEKING: gst_query_set_seeking(query, format, TRUE, 0, count - 1); return TRUE;
    default: return FALSE;
    }
}

gboolean tambelo_dec_src_query(GstPad* pad, GstObject* parent, GstQuery* query)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    GstFormat format = GST_FORMAT_UNDEFINED;
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_POSITION: gst_query_parse_position(query, &format, NULL); break;
    case GST_QUERY_DURATION: gst_query_parse_duration(query, &format, NULL); break;
    case GST_QUERY_SEEKING: gst_query_parse_seeking(query, &format, NULL, NULL, NULL); break;
    default: break;
    }
    if (format == tambelo_track_format())
        return track_query(dec, query);
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_POSITION: {
        if (format != GST_FORMAT_TIME || dec->rate_hz == 0)
            return FALSE;
        GST_OBJECT_LOCK(dec);
        const GstClockTime position = tambelo_dec_frames_to_ns(dec, dec->position_frames);
        GST_OBJECT_UNLOCK(dec);
        gst_query_set_position(query, GST_FORMAT_TIME, (gint64)position);
        return TRUE;
    }
    case GST_QUERY_DURATION: {
        GST_OBJECT_LOCK(dec);
        const GstClockTime duration = dec->duration_ns;
        GST_OBJECT_UNLOCK(dec);
        if (format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(duration))
            return FALSE;
        gst_query_set_duration(query, GST_FORMAT_TIME, (gint64)duration);
        return TRUE;
    }
    case GST_QUERY_SEEKING:
        if (format != GST_FORMAT_TIME)
            return FALSE;
        GST_OBJECT_LOCK(dec);
        gst_query_set_seeking(query, GST_FORMAT_TIME, TRUE, 0,
                              GST_CLOCK_TIME_IS_VALID(dec->duration_ns) ? (gint64)dec->duration_ns : -1);
        GST_OBJECT_UNLOCK(dec);
        return TRUE;
    default:
        return gst_pad_query_default(pad, parent, query);
    }
}

