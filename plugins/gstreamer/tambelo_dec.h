#ifndef TAMBELO_DEC_H
#define TAMBELO_DEC_H

#include <gst/gst.h>

G_BEGIN_DECLS

#define TAMBELO_TYPE_DEC (tambelo_dec_get_type())
G_DECLARE_FINAL_TYPE(TambeloDec, tambelo_dec, TAMBELO, DEC, GstElement)

G_END_DECLS

#endif
