/* Recognises a score archive by its page table, so that players hand the
 * file to tambelodec whatever it is called. */
#include "score_typefind.h"

#include "common/score_table.h"

#include <gst/gst.h>

static void find_score_archive(GstTypeFind* find, gpointer user_data)
{
    (void)user_data;
    const guint8* start = gst_type_find_peek(find, 0, 2);
    if (start == NULL)
        return;
    const size_t table_bytes = tambelo_score_table_bytes(start);
    const guint8* table = table_bytes ? gst_type_find_peek(find, 0, (guint)table_bytes) : NULL;
    if (table == NULL)
        return;
    const unsigned tracks = tambelo_score_table_tracks(table, table_bytes, gst_type_find_get_length(find));
    if (tracks == 0)
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
