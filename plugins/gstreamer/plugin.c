/* The "tambelo" GStreamer plugin: the tambelodec element and the score
 * archive type finder. */
#include "score_typefind.h"
#include "tambelo_dec.h"

#include <gst/gst.h>

static gboolean plugin_init(GstPlugin* plugin)
{
    if (!tambelo_score_typefind_register(plugin))
        return FALSE;
    return gst_element_register(plugin, "tambelodec", GST_RANK_PRIMARY, TAMBELO_TYPE_DEC);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tambelo,
                  "Plays the tracks of old Japanese PC games' music sets (amus.dat)", plugin_init,
                  TAMBELO_VERSION, "MIT/X11", "tambelo", "tambelo")
