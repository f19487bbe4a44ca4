/* tambelodec: one track of a music set as raw audio.
 *
 * The score archive arrives on the sink pad and is gathered whole; at its
 * end the set is opened (with the voice archive and title list found beside
 * the file the upstream element reads, when it reads a local file) and a
 * task on the source pad renders the chosen track. Seeks are answered here:
 * the renderer goes to any moment of the track by itself. */
#include "tambelo_dec.h"

#include "score_typefind.h"

#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <string.h>
#include <tambelo/render.h>

GST_DEBUG_CATEGORY_STATIC(tambelo_dec_debug);
#define GST_CAT_DEFAULT tambelo_dec_debug

#define FRAMES_PER_BUFFER 1024
#define BYTES_PER_FRAME 4
#define PREFERRED_RATE_HZ 44100

struct _TambeloDec {
    GstElement parent;
    GstPad* sinkpad;
    GstPad* srcpad;
    GstAdapter* score; /* the score archive as it arrives */

    /* properties, under the object lock */
    gint track_number;
    gint loops;
    gdouble fade_s;
    gboolean loop_forever;
    gchar* soundfont;

    /* the rendering: the set and track are touched by the streaming task,
     * or with the task paused and its stream lock held */
    tambelo_set* set;
    tambelo_track* track;
    gint rate_hz;
    GstSegment segment;
    gboolean segment_pending;
    /* under the object lock, for queries from any thread */
    guint64 position_frames;
    GstClockTime duration_ns;
};

enum { PROP_0, PROP_TRACK, PROP_LOOPS, PROP_FADE, PROP_LOOP_FOREVER, PROP_SOUNDFONT };

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(TAMBELO_SCORE_CAPS));

static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", layout = (string) interleaved, "
                    "rate = (int) [ 8000, 192000 ], channels = (int) 2"));

G_DEFINE_TYPE(TambeloDec, tambelo_dec, GST_TYPE_ELEMENT)

static GstClockTime frames_to_ns(const TambeloDec* dec, guint64 frames)
{
    return gst_util_uint64_scale(frames, GST_SECOND, (guint64)dec->rate_hz);
}

/* The local file the upstream element reads, or NULL. */
static gchar* upstream_file(TambeloDec* dec)
{
    GstQuery* query = gst_query_new_uri();
    gchar* path = NULL;
    if (gst_pad_peer_query(dec->sinkpad, query)) {
        gchar* uri = NULL;
        gst_query_parse_uri(query, &uri);
        if (uri != NULL)
            path = g_filename_from_uri(uri, NULL, NULL);
        g_free(uri);
    }
    gst_query_unref(query);
    return path;
}

/* Opens the set from the score archive gathered, or, when upstream reads a
 * local file, from that file with the voice archive and title list the
 * library finds beside it; on failure returns why, for the caller to post. */
static GError* open_set(TambeloDec* dec)
{
    const gsize score_size = gst_adapter_available(dec->score);
    guint8* score_bytes = score_size > 0 ? gst_adapter_take(dec->score, score_size) : NULL;
    gchar* path = upstream_file(dec);
    const char* error = path ? tambelo_set_open_path(path, &dec->set)
                             : tambelo_set_open_memory(score_bytes, score_size, NULL, 0, NULL, 0, &dec->set);
    GError* failure = NULL;
    if (error != NULL)
        failure = g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "Cannot play: %s", error);
    g_free(path);
    g_free(score_bytes);
    return failure;
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

static GstTagList* track_tags(TambeloDec* dec, const tambelo_track_info* info)
{
    GstTagList* tags = gst_tag_list_new(GST_TAG_TITLE, info->title, GST_TAG_TRACK_NUMBER, (guint)info->number,
                                        GST_TAG_TRACK_COUNT, (guint)tambelo_set_track_count(dec->set), NULL);
    const char* album = tambelo_set_game_title(dec->set);
    if (album[0] != '\0')
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_ALBUM, album, NULL);
    if (GST_CLOCK_TIME_IS_VALID(dec->duration_ns))
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_DURATION, dec->duration_ns, NULL);
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_AUDIO_CODEC, "tambelo score", NULL);
    return tags;
}

static void render_loop(gpointer user_data);

/* At the end of a rendering whose length was known only within bounds (a
 * release tail), the length it turned out to have, for what shows it. */
static void tell_final_duration(TambeloDec* dec, guint64 frames)
{
    const GstClockTime duration = frames_to_ns(dec, frames);
    GST_OBJECT_LOCK(dec);
    const gboolean changed = dec->duration_ns != duration;
    dec->duration_ns = duration;
    GST_OBJECT_UNLOCK(dec);
    if (!changed)
        return;
    dec->segment.duration = duration;
    gst_pad_push_event(dec->srcpad, gst_event_new_tag(gst_tag_list_new(GST_TAG_DURATION, duration, NULL)));
    gst_element_post_message(GST_ELEMENT(dec), gst_message_new_duration_changed(GST_OBJECT(dec)));
}

/* Opens the track, announces the stream and starts rendering; on failure
 * returns why, for the caller to post. */
static GError* start_track(TambeloDec* dec)
{
    tambelo_render_settings settings;
    tambelo_render_settings_init(&settings);
    GST_OBJECT_LOCK(dec);
    const gint number = dec->track_number;
    settings.loops = dec->loops;
    settings.fade_ms = dec->fade_s * 1000.0;
    settings.loop_mode = dec->loop_forever ? TAMBELO_LOOP_FOREVER : TAMBELO_LOOP_FADE;
    gchar* soundfont = g_strdup(dec->soundfont);
    GST_OBJECT_UNLOCK(dec);
    settings.soundfont = soundfont;

    tambelo_track_info info;
    const char* error = tambelo_set_track_info(dec->set, number, &info);
    if (error == NULL) {
        dec->rate_hz = negotiate_rate(dec);
        if (dec->rate_hz == 0) {
            g_free(soundfont);
            return g_error_new(GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION,
                               "Cannot play track %d: downstream takes no stereo 16-bit audio", number);
        }
        settings.sample_rate = dec->rate_hz;
        error = tambelo_track_open(dec->set, number, &settings, &dec->track);
    }
    if (error != NULL) {
        g_free(soundfont);
        return g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "Cannot play track %d: %s", number, error);
    }

    /* Answered at once, without rendering; with a release tail, the
     * shortest the rendering can be (the stream's end says the rest). */
    gint64 length_frames = -1;
    tambelo_set_track_frames(dec->set, number, &settings, &length_frames, NULL);
    g_free(soundfont);
    const GstClockTime duration = length_frames >= 0 ? frames_to_ns(dec, (guint64)length_frames) : GST_CLOCK_TIME_NONE;
    GST_OBJECT_LOCK(dec);
    dec->duration_ns = duration;
    dec->position_frames = 0;
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
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
    dec->segment.duration = duration;
    dec->segment_pending = TRUE;
    gst_pad_push_event(dec->srcpad, gst_event_new_tag(track_tags(dec, &info)));
    gst_element_post_message(GST_ELEMENT(dec), gst_message_new_duration_changed(GST_OBJECT(dec)));
    if (!gst_pad_start_task(dec->srcpad, render_loop, dec, NULL))
        return g_error_new(GST_CORE_ERROR, GST_CORE_ERROR_THREAD, "Cannot play track %d: no thread to render in",
                           number);
    return NULL;
}

static void render_loop(gpointer user_data)
{
    TambeloDec* dec = TAMBELO_DEC(user_data);
    if (dec->segment_pending) {
        dec->segment_pending = FALSE;
        gst_pad_push_event(dec->srcpad, gst_event_new_segment(&dec->segment));
    }
    GstBuffer* buffer = gst_buffer_new_allocate(NULL, FRAMES_PER_BUFFER * BYTES_PER_FRAME, NULL);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const guint64 start_frames = tambelo_track_position_frames(dec->track);
    const size_t frames = tambelo_track_render_s16(dec->track, (int16_t*)map.data, FRAMES_PER_BUFFER);
    gst_buffer_unmap(buffer, &map);
    const GstClockTime pts = frames_to_ns(dec, start_frames);
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
        GST_BUFFER_DURATION(buffer) = frames_to_ns(dec, start_frames + frames) - pts;
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

/* Ends our stream at once and then posts `failure`. The empty stream lets the
 * sinks preroll, so that the pipeline reaches its state whatever the
 * application does: gst-launch-1.0 misses an error posted before its main
 * loop runs, and would wait for the preroll for ever. Posted while the
 * pipeline is still changing state, the error would stop that change. */
static void fail_stream(TambeloDec* dec, GError* failure)
{
    gchar* stream_id = gst_pad_create_stream_id(dec->srcpad, GST_ELEMENT(dec), "failed");
    gst_pad_push_event(dec->srcpad, gst_event_new_stream_start(stream_id));
    g_free(stream_id);
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_push_event(dec->srcpad, gst_event_new_segment(&segment));
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
    gst_element_message_full(GST_ELEMENT(dec), GST_MESSAGE_ERROR, failure->domain, failure->code,
                             g_strdup(failure->message), NULL, __FILE__, GST_FUNCTION, __LINE__);
    g_error_free(failure);
}

static gboolean sink_event(GstPad* pad, GstObject* parent, GstEvent* event)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    (void)pad;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
        /* The whole score is here: the stream of our own begins. */
        gst_event_unref(event);
        if (dec->set != NULL)
            return TRUE;
        GError* failure = open_set(dec);
        if (failure == NULL)
            failure = start_track(dec);
        if (failure != NULL)
            fail_stream(dec, failure);
        return TRUE;
    case GST_EVENT_STREAM_START:
    case GST_EVENT_CAPS:
    case GST_EVENT_SEGMENT:
    case GST_EVENT_TAG:
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_FLUSH_STOP:
        /* The upstream stream is the archive's bytes; ours is described
         * when it starts. */
        gst_event_unref(event);
        return TRUE;
    default:
        return gst_pad_event_default(pad, parent, event);
    }
}

static GstFlowReturn sink_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    (void)pad;
    gst_adapter_push(dec->score, buffer);
    return GST_FLOW_OK;
}

static gboolean do_seek(TambeloDec* dec, GstEvent* event)
{
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    if (format != GST_FORMAT_TIME || rate <= 0.0 || dec->track == NULL)
        return FALSE;
    const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
    const guint32 seqnum = gst_event_get_seqnum(event);
    if (flush) {
        GstEvent* flush_start = gst_event_new_flush_start();
        gst_event_set_seqnum(flush_start, seqnum);
        gst_pad_push_event(dec->srcpad, flush_start);
    } else {
        gst_pad_pause_task(dec->srcpad);
    }
    GST_PAD_STREAM_LOCK(dec->srcpad);

    GstSegment segment = dec->segment;
    gboolean update;
    gboolean done = gst_segment_do_seek(&segment, rate, format, flags, start_type, (guint64)start, stop_type,
                                        (guint64)stop, &update);
    const char* error = done ? tambelo_track_seek(dec->track, (gdouble)segment.position / GST_MSECOND) : NULL;
    if (done && error == NULL) {
        /* Start the new segment where the renderer now stands. */
        const guint64 frames = tambelo_track_position_frames(dec->track);
        const GstClockTime now = frames_to_ns(dec, frames);
        segment.start = segment.position = segment.time = now;
        dec->segment = segment;
        GST_OBJECT_LOCK(dec);
        dec->position_frames = frames;
        GST_OBJECT_UNLOCK(dec);
    } else if (error != NULL) {
        GST_WARNING_OBJECT(dec, "seek failed: %s", error);
        done = FALSE;
    }
    dec->segment_pending = TRUE;
    if (flush) {
        GstEvent* flush_stop = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(flush_stop, seqnum);
        gst_pad_push_event(dec->srcpad, flush_stop);
    }
    if (dec->segment.flags & GST_SEEK_FLAG_SEGMENT)
        gst_element_post_message(GST_ELEMENT(dec), gst_message_new_segment_start(
                                                       GST_OBJECT(dec), GST_FORMAT_TIME, (gint64)dec->segment.start));
    gst_pad_start_task(dec->srcpad, render_loop, dec, NULL);
    GST_PAD_STREAM_UNLOCK(dec->srcpad);
    return done;
}

static gboolean src_event(GstPad* pad, GstObject* parent, GstEvent* event)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    (void)pad;
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        const gboolean done = do_seek(dec, event);
        gst_event_unref(event);
        return done;
    }
    /* Nothing upstream can act on events about the audio. */
    gst_event_unref(event);
    return FALSE;
}

static gboolean src_query(GstPad* pad, GstObject* parent, GstQuery* query)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    GstFormat format;
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_POSITION: {
        gst_query_parse_position(query, &format, NULL);
        if (format != GST_FORMAT_TIME || dec->rate_hz == 0)
            return FALSE;
        GST_OBJECT_LOCK(dec);
        const GstClockTime position = frames_to_ns(dec, dec->position_frames);
        GST_OBJECT_UNLOCK(dec);
        gst_query_set_position(query, GST_FORMAT_TIME, (gint64)position);
        return TRUE;
    }
    case GST_QUERY_DURATION: {
        gst_query_parse_duration(query, &format, NULL);
        GST_OBJECT_LOCK(dec);
        const GstClockTime duration = dec->duration_ns;
        GST_OBJECT_UNLOCK(dec);
        if (format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(duration))
            return FALSE;
        gst_query_set_duration(query, GST_FORMAT_TIME, (gint64)duration);
        return TRUE;
    }
    case GST_QUERY_SEEKING:
        gst_query_parse_seeking(query, &format, NULL, NULL, NULL);
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

static void close_rendering(TambeloDec* dec)
{
    tambelo_track_close(dec->track);
    dec->track = NULL;
    tambelo_set_close(dec->set);
    dec->set = NULL;
    gst_adapter_clear(dec->score);
    GST_OBJECT_LOCK(dec);
    dec->position_frames = 0;
    dec->duration_ns = GST_CLOCK_TIME_NONE;
    GST_OBJECT_UNLOCK(dec);
    dec->rate_hz = 0;
}

static GstStateChangeReturn change_state(GstElement* element, GstStateChange transition)
{
    TambeloDec* dec = TAMBELO_DEC(element);
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(tambelo_dec_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        gst_pad_stop_task(dec->srcpad);
        close_rendering(dec);
    }
    return result;
}

static void set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    TambeloDec* dec = TAMBELO_DEC(object);
    GST_OBJECT_LOCK(dec);
    switch (id) {
    case PROP_TRACK: dec->track_number = g_value_get_int(value); break;
    case PROP_LOOPS: dec->loops = g_value_get_int(value); break;
    case PROP_FADE: dec->fade_s = g_value_get_double(value); break;
    case PROP_LOOP_FOREVER: dec->loop_forever = g_value_get_boolean(value); break;
    case PROP_SOUNDFONT:
        g_free(dec->soundfont);
        dec->soundfont = g_value_dup_string(value);
        break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(dec);
}

static void get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    TambeloDec* dec = TAMBELO_DEC(object);
    GST_OBJECT_LOCK(dec);
    switch (id) {
    case PROP_TRACK: g_value_set_int(value, dec->track_number); break;
    case PROP_LOOPS: g_value_set_int(value, dec->loops); break;
    case PROP_FADE: g_value_set_double(value, dec->fade_s); break;
    case PROP_LOOP_FOREVER: g_value_set_boolean(value, dec->loop_forever); break;
    case PROP_SOUNDFONT: g_value_set_string(value, dec->soundfont); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(dec);
}

static void finalize(GObject* object)
{
    TambeloDec* dec = TAMBELO_DEC(object);
    close_rendering(dec);
    g_object_unref(dec->score);
    g_free(dec->soundfont);
    G_OBJECT_CLASS(tambelo_dec_parent_class)->finalize(object);
}

static void tambelo_dec_class_init(TambeloDecClass* klass)
{
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    object_class->set_property = set_property;
    object_class->get_property = get_property;
    object_class->finalize = finalize;
    element_class->change_state = change_state;

    const GParamFlags flags = (GParamFlags)(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
    g_object_class_install_property(
        object_class, PROP_TRACK,
        g_param_spec_int("track", "Track", "The track to play, from 1", 1, 65535, 1, flags));
    g_object_class_install_property(
        object_class, PROP_LOOPS,
        g_param_spec_int("loops", "Loops", "Passes of a looping track's loop before the fade-out", 1, 100, 2, flags));
    g_object_class_install_property(
        object_class, PROP_FADE,
        g_param_spec_double("fade", "Fade", "Fade-out after the loops of a looping track, in seconds", 0.0, 60.0, 8.0,
                            flags));
    g_object_class_install_property(object_class, PROP_LOOP_FOREVER,
                                    g_param_spec_boolean("loop-forever", "Loop forever",
                                                         "Repeat a looping track's loop without end", FALSE, flags));
    g_object_class_install_property(
        object_class, PROP_SOUNDFONT,
        g_param_spec_string("soundfont", "SoundFont", "The SoundFont (.sf2) to play with; empty: the system's",
                            NULL, flags));

    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(element_class, "tambelo music set decoder", "Codec/Decoder/Audio",
                                          "Plays a track of a music set's score archive (amus.dat) as raw audio",
                                          "tambelo");
    GST_DEBUG_CATEGORY_INIT(tambelo_dec_debug, "tambelodec", 0, "tambelo music set decoder");
}

static void tambelo_dec_init(TambeloDec* dec)
{
    dec->sinkpad = gst_pad_new_from_static_template(&sink_template, "sink");
    gst_pad_set_chain_function(dec->sinkpad, sink_chain);
    gst_pad_set_event_function(dec->sinkpad, sink_event);
    gst_element_add_pad(GST_ELEMENT(dec), dec->sinkpad);
    dec->srcpad = gst_pad_new_from_static_template(&src_template, "src");
    gst_pad_set_event_function(dec->srcpad, src_event);
    gst_pad_set_query_function(dec->srcpad, src_query);
    gst_pad_use_fixed_caps(dec->srcpad);
    gst_element_add_pad(GST_ELEMENT(dec), dec->srcpad);

    dec->score = gst_adapter_new();
    dec->track_number = 1;
    dec->loops = 2;
    dec->fade_s = 8.0;
    dec->duration_ns = GST_CLOCK_TIME_NONE;
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
}
