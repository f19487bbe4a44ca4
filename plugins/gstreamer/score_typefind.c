/* Recognises a score archive by its page table, so that players hand the
 * file to tambelodec whatever it is called. */
#include "score_typefind.h"

#include <gst/gst.h>
#include <tambelo/render.h>

static void find_score_archive(GstTypeFind* find, gpointer user_data)
{
    (void)user_data;
    const guint64 length = gst_type_find_get_length(find);
    guint want = length != 0 && length < TAMBELO_IDENTIFY_HEAD_BYTES ? (guint)length : TAMBELO_IDENTIFY_HEAD_BYTES;
    const guint8* head = gst_type_find_peek(find, 0, want);
    /* A stream of unknown length may hold fewer bytes; most tables are short. */
    while (head == NULL && want > 256) {
        want /= 2;
        head = gst_type_find_peek(find, 0, want);
    }
    if (head == NULL)
        return;
    const int tracks = tambelo_identify_score(head, want, length);
    if (tracks <= 0)
        return;
    /* A short table is a weaker sign than a long one. */
    const guint probability = tracks >= 3 ? GST_TYPE_FIND_LIKELY : GST_TYPE_FIND_POSSIBLE;
    gst_type_find_suggest_empty_simple(find, probability, TAMBELO_SCORE_CAPS);
}

gboolean tambelo_score_typefind_register(GstPlugin* plugin)
{
    return gst_type_find_register(plugin, "tambelo_score", GST_RANK_SECONDARY, find_score_archive, "dat",
                                  gst_caps_new_empty_simple(TAMBELO_SCORE_CAPS), NULL, NULL);
}
