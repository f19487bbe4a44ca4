#ifndef TAMBELO_SCORE_TYPEFIND_H
#define TAMBELO_SCORE_TYPEFIND_H

#include <gst/gst.h>

/* The media type of a score archive ("amus.dat"). */
#define TAMBELO_SCORE_CAPS "audio/x-tambelo-score"

gboolean tambelo_score_typefind_register(GstPlugin* plugin);

#endif
