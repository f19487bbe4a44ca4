/* tambelodec's streaming side: the set gathered opened, each track opened
 * in turn and rendered by a task on the source pad. */
#include "tambelo_dec_private.h"

#include "set_input.h"
#include "track_toc.h"


#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>
#include <gst/base/gstbasetransform.h>

#define GST_CAT_DEFAULT tambelo_dec_debug

#define FRAMES_PER_BUFFER 1024
#define BYTES_PER_FRAME 4
#define PREFERRED_RATE_HZ 44100

GstClockTime tambelo_dec_frames_to_ns(const TambeloDec* dec, guint64 frames)
{
    return gst_util_uint64_scale(frames, GST_SECOND, (guint64)dec->rate_hz);
}

/* The rate downstream takes, nearest to the usual one; 0 when it takes no
 * audio of ours. */
static gint negotiate_rate(TambeloDec* dec)
{
    GstCaps* template_caps = gst_pad_get_pad_template_caps(dec->srcpad);
    GstCaps* caps = gst_pad_peer_query_caps(dec->srcpad, template_caps);
    gst_caps_unref(template_caps);
    gint rate = 0;
    if (!gst_caps_is_empty(caps)) {
        caps = gst_caps_truncate(caps);
        caps = gst_caps_make_writable(caps);
        GstStructure* structure = gst_caps_get_structure(caps, 0);
        gst_structure_fixate_field_nearest_int(structure, "rate", PREFERRED_RATE_HZ);
        gst_structure_get_int(structure, "rate", &rate);
    }
    gst_caps_unref(caps);
    return rate;
}

gint tambelo_dec_track_count(TambeloDec* dec)
{
    GST_OBJECT_LOCK(dec);
    const gint count = dec->track_count;
    GST_OBJECT_UNLOCK(dec);
    return count;
}

/* The settings the properties ask for, at the negotiated rate; the
 * SoundFont's name is in `*soundfont`, for the caller to free. */
static void render_settings(TambeloDec* dec, tambelo_render_settings* settings, gchar** soundfont)
{
    tambelo_render_settings_init(settings);
    GST_OBJECT_LOCK(dec);
    settings->loops = dec->loops;
    settings->fade_ms = dec->fade_s * 1000.0;
    settings->loop_mode = dec->loop_forever ? TAMBELO_LOOP_FOREVER : TAMBELO_LOOP_FADE;
    *soundfont = g_strdup(dec->soundfont);
    GST_OBJECT_UNLOCK(dec);
    settings->soundfont = *soundfont;
    settings->sample_rate = dec->rate_hz;
}

/* Every track's length, for the durations and the TOC, as the library
 * answers it without rendering: exact, or for a track whose notes ring out
 * after its end, the shortest it can be (its stream's end tells the rest).
 * Forever: none. */
static void measure_tracks(TambeloDec* dec)
{
    tambelo_render_settings settings;
    gchar* soundfont;
    render_settings(dec, &settings, &soundfont);
    const gint count = tambelo_set_track_count(dec->set);
    GstClockTime* lengths = g_new(GstClockTime, count);
    for (gint number = 1; number <= count; number++) {
        gint64 frames = -1;
        if (tambelo_set_track_frames(dec->set, number, &settings, &frames, NULL) != NULL)
            frames = -1;
        lengths[number - 1] = frames >= 0 ? tambelo_dec_frames_to_ns(dec, (guint64)frames) : GST_CLOCK_TIME_NONE;
    }
    g_free(soundfont);
    GstToc* toc = tambelo_track_toc(dec->set, lengths);
    GST_OBJECT_LOCK(dec);
    dec->track_count = count;
    dec->lengths_ns = lengths;
    dec->toc = toc;
    GST_OBJECT_UNLOCK(dec);
}

GError* tambelo_dec_open_track(TambeloDec* dec, gint number)
{
    const gint count = tambelo_dec_track_count(dec);
    if (number > count)
        return g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "Cannot play track %d: the set has %d tracks",
                           number, count);
    tambelo_track_info info;
    const char* error = tambelo_set_track_info(dec->set, number, &info);
    if (error == NULL && !info.playable)
        error = info.problem;
    tambelo_track* track = NULL;
    if (error == NULL) {
        tambelo_render_settings settings;
        gchar* soundfont;
        render_settings(dec, &settings, &soundfont);
        error = tambelo_track_open(dec->set, number, &settings, &track);
        if (error == NULL)
            tambelo_gain_request(dec->gain, number, &settings);
        g_free(soundfont);
    }
    if (error != NULL)
        return g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "Cannot play track %d: %s", number, error);

    tambelo_track_close(dec->track);
    dec->track = track;
    const GstClockTime duration = dec->lengths_ns[number - 1];
    GST_OBJECT_LOCK(dec);
    dec->track_number = number;
    dec->duration_ns = duration;
    dec->position_frames = 0;
    GST_OBJECT_UNLOCK(dec);
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
    dec->segment.duration = duration;
    if (dec->pending_tags != NULL)
        gst_tag_list_unref(dec->pending_tags);
    dec->pending_tags = tambelo_track_tags(dec->set, &info, duration);
    dec->stream_pending = TRUE;
    dec->segment_pending = TRUE;
    gst_element_post_message(GST_ELEMENT(dec), gst_message_new_duration_changed(GST_OBJECT(dec)));
    return NULL;
}

GError* tambelo_dec_open_stream(TambeloDec* dec)
{
    GError* failure = tambelo_open_set(dec->sinkpad, dec->score, &dec->set);
    if (failure != NULL)
        return failure;
    dec->gain = tambelo_gain_start(dec->set);
    dec->rate_hz = negotiate_rate(dec);
    if (dec->rate_hz == 0)
        return g_error_new(GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION,
                           "Cannot play this music set: downstream takes no stereo 16-bit audio");
    measure_tracks(dec);
    GST_OBJECT_LOCK(dec);
    const gint number = dec->track_number;
    GST_OBJECT_UNLOCK(dec);
    failure = tambelo_dec_open_track(dec, number);
    if (failure == NULL && !gst_pad_start_task(dec->srcpad, tambelo_dec_render_loop, dec, NULL))
        failure = g_error_new(GST_CORE_ERROR, GST_CORE_ERROR_THREAD, "Cannot play track %d: no thread to render in",
                              number);
    return failure;
}

/* The events that start a track's stream, sent from the streaming task:
 * while a seek flushes, nothing may be sent downstream. */
static void announce_stream(TambeloDec* dec)
{
    GST_OBJECT_LOCK(dec);
    const gint number = dec->track_number;
    GstToc* toc = gst_toc_ref(dec->toc);
    GST_OBJECT_UNLOCK(dec);
    gchar* stream_id = gst_pad_create_stream_id_printf(dec->srcpad, GST_ELEMENT(dec), "track-%d", number);
    gst_pad_push_event(dec->srcpad, gst_event_new_stream_start(stream_id));
    g_free(stream_id);
    GstAudioInfo audio;
    gst_audio_info_init(&audio);
    gst_audio_info_set_format(&audio, GST_AUDIO_FORMAT_S16, dec->rate_hz, 2, NULL);
    GstCaps* caps = gst_audio_info_to_caps(&audio);
    gst_pad_set_caps(dec->srcpad, caps);
    gst_caps_unref(caps);
    if (dec->stream_tags != NULL)
        gst_tag_list_unref(dec->stream_tags);
    dec->stream_tags = gst_tag_list_ref(dec->pending_tags);
    gst_pad_push_event(dec->srcpad, gst_event_new_tag(dec->pending_tags));
    dec->pending_tags = NULL;
    gst_pad_push_event(dec->srcpad, gst_event_new_toc(toc, FALSE));
    gst_toc_unref(toc);
}

/* Adds `more` (taken) to the stream's tags and sends them all again: a tag
 * event replaces the stream's tags sent before. */
static void push_more_stream_tags(TambeloDec* dec, GstTagList* more)
{
    GstTagList* tags = gst_tag_list_merge(dec->stream_tags, more, GST_TAG_MERGE_REPLACE);
    gst_tag_list_unref(more);
    if (dec->stream_tags != NULL)
        gst_tag_list_unref(dec->stream_tags);
    dec->stream_tags = gst_tag_list_ref(tags);
    gst_pad_push_event(dec->srcpad, gst_event_new_tag(tags));
}

/* At the end of a rendering whose length was known only within bounds (a
 * release tail), the length it turned out to have, for what shows it. */
static void tell_final_duration(TambeloDec* dec, guint64 frames)
{
    const GstClockTime duration = tambelo_dec_frames_to_ns(dec, frames);
    GST_OBJECT_LOCK(dec);
    const gboolean changed = dec->duration_ns != duration;
    dec->duration_ns = duration;
    GST_OBJECT_UNLOCK(dec);
    if (!changed)
        return;
    dec->segment.duration = duration;
    push_more_stream_tags(dec, gst_tag_list_new(GST_TAG_DURATION, duration, NULL));
    gst_element_post_message(GST_ELEMENT(dec), gst_message_new_duration_changed(GST_OBJECT(dec)));
}

void tambelo_dec_render_loop(gpointer user_data)
{
    TambeloDec* dec = TAMBELO_DEC(user_data);
    if (dec->stream_pending) {
        dec->stream_pending = FALSE;
        announce_stream(dec);
    }
    if (dec->segment_pending) {
        dec->segment_pending = FALSE;
        gst_pad_push_event(dec->srcpad, gst_event_new_segment(&dec->segment));
    }
    GstTagList* gain = tambelo_gain_take(dec->gain);
    if (gain != NULL)
        push_more_stream_tags(dec, gain);
    GST_OBJECT_LOCK(dec);
    const guint muted = dec->muted_channels;
    GST_OBJECT_UNLOCK(dec);
    tambelo_track_mute_channels(dec->track, muted);
    GstBuffer* buffer = gst_buffer_new_allocate(NULL, FRAMES_PER_BUFFER * BYTES_PER_FRAME, NULL);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const guint64 start_frames = tambelo_track_position_frames(dec->track);
    const size_t frames = tambelo_track_render_s16(dec->track, (int16_t*)map.data, FRAMES_PER_BUFFER);
    gst_buffer_unmap(buffer, &map);
    const GstClockTime pts = tambelo_dec_frames_to_ns(dec, start_frames);
    GstFlowReturn flow;
    if (frames == 0 ||
        (GST_CLOCK_TIME_IS_VALID(dec->segment.stop) && pts >= dec->segment.stop)) {
        gst_buffer_unref(buffer);
        if (frames == 0)
            tell_final_duration(dec, start_frames);
        flow = GST_FLOW_EOS;
    } else {
        gst_buffer_set_size(buffer, (gssize)(frames * BYTES_PER_FRAME));
        GST_BUFFER_PTS(buffer) = pts;
        GST_BUFFER_DURATION(buffer) = tambelo_dec_frames_to_ns(dec, start_frames + frames) - pts;
        GST_BUFFER_OFFSET(buffer) = start_frames;
        GST_BUFFER_OFFSET_END(buffer) = start_frames + frames;
        GST_OBJECT_LOCK(dec);
        dec->position_frames = start_frames + frames;
        GST_OBJECT_UNLOCK(dec);
        flow = gst_pad_push(dec->srcpad, buffer);
    }
    if (flow == GST_FLOW_OK)
        return;
    gst_pad_pause_task(dec->srcpad);
    if (flow == GST_FLOW_EOS) {
        if (dec->segment.flags & GST_SEEK_FLAG_SEGMENT) {
            gst_element_post_message(GST_ELEMENT(dec),
                                     gst_message_new_segment_done(GST_OBJECT(dec), GST_FORMAT_TIME, pts));
            gst_pad_push_event(dec->srcpad, gst_event_new_segment_done(GST_FORMAT_TIME, pts));
        } else {
            gst_pad_push_event(dec->srcpad, gst_event_new_eos());
        }
    } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
        GST_ELEMENT_FLOW_ERROR(dec, flow);
        gst_pad_push_event(dec->srcpad, gst_event_new_eos());
    }
}

/* Whether what `srcpad` sends reaches a sink in this very thread, through
 * the ghost pads of bins and the converters on the way: an end of stream
 * sent there waits in the sink until the pipeline plays. */
static gboolean feeds_a_sink_directly(GstPad* srcpad)
{
    gboolean sink = FALSE;
    GstPad* pad = gst_pad_get_peer(srcpad);
    while (pad != NULL) {
        GstPad* next = NULL;
        GstObject* parent = gst_object_get_parent(GST_OBJECT(pad));
        if (GST_IS_GHOST_PAD(pad)) {
            /* A bin's sink: on to the pad inside it. */
            next = gst_ghost_pad_get_target(GST_GHOST_PAD(pad));
        } else if (GST_IS_GHOST_PAD(parent)) {
            /* The inside of a bin's source: on to what the bin feeds. */
            next = gst_pad_get_peer(GST_PAD(parent));
        } else if (GST_IS_BASE_TRANSFORM(parent)) {
            /* A converter passes everything on in the thread that brings it. */
            next = gst_pad_get_peer(GST_BASE_TRANSFORM_SRC_PAD(parent));
        } else {
            sink = GST_IS_BASE_SINK(parent);
        }
        if (parent != NULL)
            gst_object_unref(parent);
        gst_object_unref(pad);
        pad = next;
    }
    return sink;
}

static void post_failure(TambeloDec* dec, GError* failure)
{
    gst_element_message_full(GST_ELEMENT(dec), GST_MESSAGE_ERROR, failure->domain, failure->code,
                             g_strdup(failure->message), NULL, __FILE__, GST_FUNCTION, __LINE__);
    g_error_free(failure);
}

/* An empty stream follows the error, so that the sinks preroll and the
 * pipeline reaches its state whatever the application does with the error:
 * gst-launch-1.0 loses the quit an error asks for before its main loop runs,
 * and its sinks would otherwise wait for ever.
 *
 * Which goes first depends on what lies downstream. An error posted before
 * the sinks preroll fails the state change, so the pipeline could then never
 * preroll at all. Straight into a sink, the end of stream waits there until
 * the pipeline plays, when every application's main loop runs: the error
 * follows it. Behind a queue the sinks may preroll at once, and an
 * application that reads the bus only until then, as gst-discoverer-1.0
 * does, would never see an error sent after: the error goes first. */
void tambelo_dec_fail_stream(TambeloDec* dec, GError* failure)
{
    const gboolean error_last = feeds_a_sink_directly(dec->srcpad);
    GST_DEBUG_OBJECT(dec, "failing: the error goes %s the empty stream", error_last ? "after" : "before");
    if (!error_last)
        post_failure(dec, failure);
    gchar* stream_id = gst_pad_create_stream_id(dec->srcpad, GST_ELEMENT(dec), "failed");
    gst_pad_push_event(dec->srcpad, gst_event_new_stream_start(stream_id));
    g_free(stream_id);
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_push_event(dec->srcpad, gst_event_new_segment(&segment));
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
    if (error_last)
        post_failure(dec, failure);
}

void tambelo_dec_close_rendering(TambeloDec* dec)
{
    if (dec->stream_tags != NULL)
        gst_tag_list_unref(dec->stream_tags);
    dec->stream_tags = NULL;
    tambelo_track_close(dec->track);
    dec->track = NULL;
    if (dec->gain != NULL)
        tambelo_gain_stop(dec->gain);
    else
        tambelo_set_close(dec->set);
    dec->gain = NULL;
    dec->set = NULL;
    gst_adapter_clear(dec->score);
    dec->refused = FALSE;
    dec->stream_pending = FALSE;
    if (dec->pending_tags != NULL)
        gst_tag_list_unref(dec->pending_tags);
    dec->pending_tags = NULL;
    GST_OBJECT_LOCK(dec);
    dec->position_frames = 0;
    dec->duration_ns = GST_CLOCK_TIME_NONE;
    dec->track_count = 0;
    g_free(dec->lengths_ns);
    dec->lengths_ns = NULL;
    if (dec->toc != NULL)
        gst_toc_unref(dec->toc);
    dec->toc = NULL;
    GST_OBJECT_UNLOCK(dec);
    dec->rate_hz = 0;
}

