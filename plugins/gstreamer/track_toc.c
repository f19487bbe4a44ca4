#include "track_toc.h"

#include <stdio.h>

#define TOC_UID_FORMAT "tambelo-track-%03d"

GstFormat tambelo_track_format(void)
{
    /* Registering again hands back the format already registered by that
     * nick, so audio CD sources and we agree on one value. */
    return gst_format_register("track", "Track of an album");
}

GstTagList* tambelo_track_tags(const tambelo_set* set, const tambelo_track_info* info, GstClockTime length)
{
    GstTagList* tags = gst_tag_list_new(GST_TAG_TITLE, info->title, GST_TAG_TRACK_NUMBER, (guint)info->number,
                                        GST_TAG_TRACK_COUNT, (guint)tambelo_set_track_count(set), NULL);
    const char* album = tambelo_set_game_title(set);
    if (album[0] != '\0')
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_ALBUM, album, NULL);
    if (GST_CLOCK_TIME_IS_VALID(length))
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_DURATION, length, NULL);
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_AUDIO_CODEC, "tambelo score", NULL);
    return tags;
}

GstToc* tambelo_track_toc(const tambelo_set* set, const GstClockTime* lengths)
{
    GstToc* toc = gst_toc_new(GST_TOC_SCOPE_GLOBAL);
    const char* album = tambelo_set_game_title(set);
    if (album[0] != '\0')
        gst_toc_set_tags(toc, gst_tag_list_new(GST_TAG_ALBUM, album, NULL));
    /* Each track is a stream of its own from 0; the entries' times place
     * them as a disc would, which is how chapter lists show them. */
    GstClockTime start = 0;
    const int count = tambelo_set_track_count(set);
    for (int number = 1; number <= count; number++) {
        gchar uid[32];
        g_snprintf(uid, sizeof uid, TOC_UID_FORMAT, number);
        GstTocEntry* entry = gst_toc_entry_new(GST_TOC_ENTRY_TYPE_TRACK, uid);
        tambelo_track_info info;
        if (tambelo_set_track_info(set, number, &info) == NULL)
            gst_toc_entry_set_tags(entry, tambelo_track_tags(set, &info, lengths[number - 1]));
        const GstClockTime length = lengths[number - 1];
        if (GST_CLOCK_TIME_IS_VALID(start) && GST_CLOCK_TIME_IS_VALID(length)) {
            gst_toc_entry_set_start_stop_times(entry, (gint64)start, (gint64)(start + length));
            start += length;
        } else {
            start = GST_CLOCK_TIME_NONE;
        }
        gst_toc_append_entry(toc, entry);
    }
    return toc;
}

gint tambelo_track_toc_number(const gchar* uid)
{
    int number = 0;
    char rest;
    if (uid == NULL || sscanf(uid, TOC_UID_FORMAT "%c", &number, &rest) != 1)
        return 0;
    return number;
}
