/* seek_check SCORE TRACK SECONDS: plays TRACK of the score archive SCORE into
 * a sink that keeps what it receives, seeks to SECONDS and checks that the
 * position query answers the target and that the first audio after the seek
 * is stamped with it. Exits 0 when both hold. */
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <stdio.h>
#include <stdlib.h>

/* A seek lands on a whole frame; a millisecond covers any rate. */
#define TOLERANCE_NS GST_MSECOND

static int fail(const char* what)
{
    fprintf(stderr, "seek_check: %s\n", what);
    return 1;
}

static gboolean near(gint64 a, gint64 b)
{
    return a - b < (gint64)TOLERANCE_NS && b - a < (gint64)TOLERANCE_NS;
}

int main(int argc, char** argv)
{
    if (argc != 4)
        return fail("usage: seek_check SCORE TRACK SECONDS");
    gst_init(&argc, &argv);
    gchar* description =
        g_strdup_printf("filesrc location=\"%s\" ! tambelodec name=dec track=%s ! appsink name=out sync=false",
                        argv[1], argv[2]);
    GError* error = NULL;
    GstElement* pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (pipeline == NULL)
        return fail(error->message);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    GstElement* dec = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
    const gint64 target = (gint64)(atof(argv[3]) * GST_SECOND);

    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    if (gst_element_get_state(pipeline, NULL, NULL, 30 * GST_SECOND) != GST_STATE_CHANGE_SUCCESS)
        return fail("the pipeline did not preroll");
    if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE, target))
        return fail("the seek was refused");
    if (gst_element_get_state(pipeline, NULL, NULL, 30 * GST_SECOND) != GST_STATE_CHANGE_SUCCESS)
        return fail("the pipeline did not preroll after the seek");

    gint64 position = -1;
    if (!gst_element_query_position(dec, GST_FORMAT_TIME, &position) || position < target ||
        position > target + (gint64)GST_SECOND) {
        fprintf(stderr, "seek_check: the element stands at %" GST_TIME_FORMAT " after a seek to %" GST_TIME_FORMAT "\n",
                GST_TIME_ARGS((GstClockTime)position), GST_TIME_ARGS((GstClockTime)target));
        return 1;
    }
    GstSample* sample = gst_app_sink_pull_preroll(GST_APP_SINK(sink));
    if (sample == NULL)
        return fail("no audio after the seek");
    const GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!near((gint64)GST_BUFFER_PTS(buffer), target)) {
        fprintf(stderr, "seek_check: first audio after the seek at %" GST_TIME_FORMAT ", asked %" GST_TIME_FORMAT "\n",
                GST_TIME_ARGS(GST_BUFFER_PTS(buffer)), GST_TIME_ARGS((GstClockTime)target));
        return 1;
    }
    gst_sample_unref(sample);
    if (!gst_element_query_position(pipeline, GST_FORMAT_TIME, &position) || !near(position, target))
        return fail("the pipeline's position after the seek is not the target");

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(dec);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return 0;
}
