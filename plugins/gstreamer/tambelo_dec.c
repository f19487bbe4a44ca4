/* tambelodec: a music set's tracks as raw audio.
 *
 * The score archive arrives on the sink pad and is gathered whole; at its
 * end the set is opened and a task on the source pad renders the chosen
 * track. Seeks are answered here: in time, the renderer goes to any moment
 * of the track by itself; in the "track" format, another track starts as a
 * stream of its own, as on an audio CD source. */
#include "tambelo_dec_private.h"

#include "score_typefind.h"
#include "set_input.h"
#include "track_toc.h"

#include <gst/audio/audio.h>

GST_DEBUG_CATEGORY(tambelo_dec_debug);
#define GST_CAT_DEFAULT tambelo_dec_debug

enum { PROP_0, PROP_TRACK, PROP_LOOPS, PROP_FADE, PROP_LOOP_FOREVER, PROP_SOUNDFONT, PROP_MUTED_CHANNELS };

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(TAMBELO_SCORE_CAPS));

static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", layout = (string) interleaved, "
                    "rate = (int) [ 8000, 192000 ], channels = (int) 2"));

G_DEFINE_TYPE(TambeloDec, tambelo_dec, GST_TYPE_ELEMENT)

static gboolean sink_event(GstPad* pad, GstObject* parent, GstEvent* event)
{
    TambeloDec* dec = TAMBELO_DEC(parent);
    (void)pad;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
        /* The whole score is here: the stream of our own begins. */
        gst_event_unref(event);
        if (dec->set == NULL && !dec->refused) {
            GError* failure = tambelo_dec_open_stream(dec);
            if (failure != NULL)
                tambelo_dec_fail_stream(dec, failure);
        }
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
    const gsize before = gst_adapter_available(dec->score);
    GError* refused = dec->refused ? NULL
                                   : tambelo_refuse_large_score(dec->sinkpad, before + gst_buffer_get_size(buffer),
                                                                before == 0);
    if (refused != NULL) {
        dec->refused = TRUE;
        gst_adapter_clear(dec->score);
        tambelo_dec_fail_stream(dec, refused);
    }
    if (dec->refused) {
        /* Upstream reads no more of it. */
        gst_buffer_unref(buffer);
        return GST_FLOW_EOS;
    }
    gst_adapter_push(dec->score, buffer);
    return GST_FLOW_OK;
}

static GstStateChangeReturn change_state(GstElement* element, GstStateChange transition)
{
    TambeloDec* dec = TAMBELO_DEC(element);
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(tambelo_dec_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        gst_pad_stop_task(dec->srcpad);
        tambelo_dec_close_rendering(dec);
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
    case PROP_MUTED_CHANNELS: dec->muted_channels = g_value_get_uint(value); break;
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
    case PROP_MUTED_CHANNELS: g_value_set_uint(value, dec->muted_channels); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(dec);
}

static void finalize(GObject* object)
{
    TambeloDec* dec = TAMBELO_DEC(object);
    tambelo_dec_close_rendering(dec);
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
    /* Also while playing: the next buffer has it. */
    g_object_class_install_property(
        object_class, PROP_MUTED_CHANNELS,
        g_param_spec_uint("muted-channels", "Muted channels",
                          "Channels whose notes are not played, bit k for channel k (0 to 8): 4 mutes channel 2; "
                          "the other channels and the timing stay as they are",
                          0, (1u << TAMBELO_CHANNEL_COUNT) - 1, 0,
                          (GParamFlags)(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING)));

    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(element_class, "tambelo music set decoder", "Codec/Decoder/Audio",
                                          "Plays a track of a music set's score archive (amus.dat) as raw audio",
                                          "tambelo");
    GST_DEBUG_CATEGORY_INIT(tambelo_dec_debug, "tambelodec", 0, "tambelo music set decoder");
    /* Applications look the format up by its nick once the element exists. */
    tambelo_track_format();
}

static void tambelo_dec_init(TambeloDec* dec)
{
    dec->sinkpad = gst_pad_new_from_static_template(&sink_template, "sink");
    gst_pad_set_chain_function(dec->sinkpad, sink_chain);
    gst_pad_set_event_function(dec->sinkpad, sink_event);
    gst_element_add_pad(GST_ELEMENT(dec), dec->sinkpad);
    dec->srcpad = gst_pad_new_from_static_template(&src_template, "src");
    gst_pad_set_event_function(dec->srcpad, tambelo_dec_src_event);
    gst_pad_set_query_function(dec->srcpad, tambelo_dec_src_query);
    gst_pad_use_fixed_caps(dec->srcpad);
    gst_element_add_pad(GST_ELEMENT(dec), dec->srcpad);

    dec->score = gst_adapter_new();
    dec->track_number = 1;
    dec->loops = 2;
    dec->fade_s = 8.0;
    dec->duration_ns = GST_CLOCK_TIME_NONE;
    gst_segment_init(&dec->segment, GST_FORMAT_TIME);
}
