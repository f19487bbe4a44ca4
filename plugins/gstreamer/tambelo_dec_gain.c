/* tambelodec's ReplayGain: the loudness of the playing track, measured by
 * rendering it whole on a thread of its own (about a second per minute of
 * music), so that streaming never waits for it. A track that loops for ever
 * has no end to measure: its fade-out rendering with the same loops stands
 * for it, as loud as the music it repeats.
 *
 * The library cannot stop a measurement half-way, and an hour of music takes
 * a minute: rather than have the element wait for it when it stops, the
 * thread keeps the set and closes it when the measurement under way ends. */
#include "tambelo_dec_private.h"

#include <math.h>

#define GST_CAT_DEFAULT tambelo_dec_debug

/* rgvolume's reference: 89 dB SPL, the level a ReplayGain 2.0 gain to
 * TAMBELO_REPLAY_GAIN_REFERENCE_LUFS plays at, so it applies the gain as it is. */
#define REFERENCE_LEVEL_DB 89.0

struct TambeloGain {
    gint refs; /* the element's and the thread's */
    tambelo_set* set;
    GMutex lock;
    GCond wake;
    /* under the lock */
    gboolean quit;
    guint wanted;   /* counts the requests: one per track opened */
    guint answered; /* the request last measured */
    gint number;    /* the track of request `wanted` */
    tambelo_render_settings settings;
    gchar* soundfont;
    GstTagList* tags; /* measured, not yet taken */
};

static void gain_unref(TambeloGain* gain)
{
    if (!g_atomic_int_dec_and_test(&gain->refs))
        return;
    tambelo_set_close(gain->set);
    g_free(gain->soundfont);
    if (gain->tags != NULL)
        gst_tag_list_unref(gain->tags);
    g_mutex_clear(&gain->lock);
    g_cond_clear(&gain->wake);
    g_free(gain);
}

static gpointer measure_gains(gpointer data)
{
    TambeloGain* gain = data;
    g_mutex_lock(&gain->lock);
    while (!gain->quit) {
        if (gain->answered == gain->wanted) {
            g_cond_wait(&gain->wake, &gain->lock);
            continue;
        }
        const guint request = gain->wanted;
        const gint number = gain->number;
        tambelo_render_settings settings = gain->settings;
        gchar* soundfont = g_strdup(gain->soundfont);
        settings.soundfont = soundfont;
        g_mutex_unlock(&gain->lock);
        double lufs = 0.0, peak = 0.0;
        const char* error = tambelo_set_track_loudness(gain->set, number, &settings, &lufs, &peak);
        if (error != NULL)
            GST_INFO("track %d has no ReplayGain: %s", number, error);
        g_free(soundfont);
        g_mutex_lock(&gain->lock);
        gain->answered = request;
        /* Silence has no gain that would bring it to the reference. */
        if (request == gain->wanted && error == NULL && isfinite(lufs) && peak > 0.0) {
            if (gain->tags != NULL)
                gst_tag_list_unref(gain->tags);
            gain->tags = gst_tag_list_new(GST_TAG_TRACK_GAIN, TAMBELO_REPLAY_GAIN_REFERENCE_LUFS - lufs,
                                          GST_TAG_TRACK_PEAK, peak, GST_TAG_REFERENCE_LEVEL, REFERENCE_LEVEL_DB,
                                          NULL);
        }
    }
    g_mutex_unlock(&gain->lock);
    gain_unref(gain);
    return NULL;
}

TambeloGain* tambelo_gain_start(tambelo_set* set)
{
    TambeloGain* gain = g_new0(TambeloGain, 1);
    gain->refs = 2;
    gain->set = set;
    g_mutex_init(&gain->lock);
    g_cond_init(&gain->wake);
    GError* error = NULL;
    GThread* thread = g_thread_try_new("tambelo-gain", measure_gains, gain, &error);
    if (thread == NULL) {
        GST_WARNING("no thread to measure ReplayGain in: %s", error->message);
        g_error_free(error);
        gain->refs = 1;
    } else {
        g_thread_unref(thread);
    }
    return gain;
}

void tambelo_gain_request(TambeloGain* gain, gint number, const tambelo_render_settings* settings)
{
    g_mutex_lock(&gain->lock);
    gain->wanted++;
    gain->number = number;
    gain->settings = *settings;
    if (gain->settings.loop_mode == TAMBELO_LOOP_FOREVER)
        gain->settings.loop_mode = TAMBELO_LOOP_FADE;
    gain->settings.soundfont = NULL;
    g_free(gain->soundfont);
    gain->soundfont = g_strdup(settings->soundfont);
    if (gain->tags != NULL)
        gst_tag_list_unref(gain->tags);
    gain->tags = NULL;
    g_cond_signal(&gain->wake);
    g_mutex_unlock(&gain->lock);
}

GstTagList* tambelo_gain_take(TambeloGain* gain)
{
    g_mutex_lock(&gain->lock);
    GstTagList* tags = gain->tags;
    gain->tags = NULL;
    g_mutex_unlock(&gain->lock);
    return tags;
}

void tambelo_gain_stop(TambeloGain* gain)
{
    if (gain == NULL)
        return;
    g_mutex_lock(&gain->lock);
    gain->quit = TRUE;
    g_cond_signal(&gain->wake);
    g_mutex_unlock(&gain->lock);
    gain_unref(gain);
}
