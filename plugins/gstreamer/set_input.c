#include "set_input.h"

#include "common/input_limit.h"

#include <glib/gstdio.h>
#include <string.h>

/* The local file the upstream element reads, or NULL. */
static gchar* upstream_file(GstPad* sinkpad)
{
    GstQuery* query = gst_query_new_uri();
    gchar* path = NULL;
    if (gst_pad_peer_query(sinkpad, query)) {
        gchar* uri = NULL;
        gst_query_parse_uri(query, &uri);
        if (uri != NULL)
            path = g_filename_from_uri(uri, NULL, NULL);
        g_free(uri);
    }
    gst_query_unref(query);
    return path;
}

/* Why a file of the set is refused for its size: `what` names it
 * ("amus.mda"), or the score archive itself when it is NULL. */
static GError* too_large(const gchar* score_path, const gchar* what)
{
    const gchar* set = score_path ? score_path : "this music set";
    if (what == NULL)
        return g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT,
                           "Cannot play %s: the file is larger than " TAMBELO_SET_FILE_LIMIT_TEXT
                           ", more than a score archive can address",
                           set);
    return g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT,
                       "Cannot play %s: %s is larger than " TAMBELO_SET_FILE_LIMIT_TEXT
                       ", more than a music set's file can be",
                       set, what);
}

GError* tambelo_refuse_large_score(GstPad* sinkpad, guint64 gathered_bytes, gboolean ask_upstream)
{
    gint64 size = -1;
    if (gathered_bytes <= TAMBELO_SET_FILE_MOST_BYTES &&
        !(ask_upstream && gst_pad_peer_query_duration(sinkpad, GST_FORMAT_BYTES, &size) &&
          size > (gint64)TAMBELO_SET_FILE_MOST_BYTES))
        return NULL;
    gchar* path = upstream_file(sinkpad);
    GError* refused = too_large(path, NULL);
    g_free(path);
    return refused;
}

/* The regular file beside `score_path` with extension `extension` (".mda"),
 * in either case; NULL when there is none, or when it is too large (then
 * `*refused` says so). */
static GBytes* read_sibling(const gchar* score_path, const gchar* extension, GError** refused)
{
    const gchar* base = strrchr(score_path, '/');
    const gchar* dot = strrchr(base ? base : score_path, '.');
    const gsize stem = dot ? (gsize)(dot - score_path) : strlen(score_path);
    gchar* lower = g_ascii_strdown(extension, -1);
    gchar* upper = g_ascii_strup(extension, -1);
    const gchar* spellings[] = {lower, upper};
    GBytes* bytes = NULL;
    for (guint i = 0; i < G_N_ELEMENTS(spellings) && bytes == NULL && *refused == NULL; i++) {
        gchar* path = g_strdup_printf("%.*s%s", (int)stem, score_path, spellings[i]);
        GStatBuf status;
        /* Only a regular file: reading a pipe or a device could wait for ever. */
        if (g_stat(path, &status) == 0 && S_ISREG(status.st_mode)) {
            gchar* contents = NULL;
            gsize length = 0;
            if ((guint64)status.st_size > TAMBELO_SET_FILE_MOST_BYTES) {
                gchar* name = g_path_get_basename(path);
                *refused = too_large(score_path, name);
                g_free(name);
            } else if (g_file_get_contents(path, &contents, &length, NULL)) {
                bytes = g_bytes_new_take(contents, length);
            }
        }
        g_free(path);
    }
    g_free(lower);
    g_free(upper);
    return bytes;
}

GError* tambelo_open_set(GstPad* sinkpad, GstAdapter* score_adapter, tambelo_set** set)
{
    const gsize score_size = gst_adapter_available(score_adapter);
    guint8* score_bytes = score_size > 0 ? gst_adapter_take(score_adapter, score_size) : NULL;
    GBytes* score = score_bytes ? g_bytes_new_take(score_bytes, score_size) : NULL;
    gchar* path = upstream_file(sinkpad);
    GError* failure = NULL;
    GBytes* voices = path ? read_sibling(path, ".mda", &failure) : NULL;
    GBytes* titles = path && failure == NULL ? read_sibling(path, ".txt", &failure) : NULL;
    if (failure == NULL) {
        gsize voices_size = 0, titles_size = 0, size = 0;
        const void* voices_data = voices ? g_bytes_get_data(voices, &voices_size) : NULL;
        const void* titles_data = titles ? g_bytes_get_data(titles, &titles_size) : NULL;
        const void* score_data = score ? g_bytes_get_data(score, &size) : NULL;
        const char* error =
            tambelo_set_open_memory(score_data, size, voices_data, voices_size, titles_data, titles_size, set);
        if (error != NULL)
            failure = g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "Cannot play %s: %s",
                                  path ? path : "this music set", error);
    }
    g_free(path);
    if (score)
        g_bytes_unref(score);
    if (voices)
        g_bytes_unref(voices);
    if (titles)
        g_bytes_unref(titles);
    return failure;
}
