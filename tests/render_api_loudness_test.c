/* The loudness the rendering library measures, printed for a script that
 * checks it against an independent measurement of the WAV export:
 *
 *   render_api_loudness_test SET.dat
 *
 * prints "NUMBER LUFS PEAK" for every track with the default settings and
 * exits 0; 1 with a line on stderr when a call fails or a rendering that
 * never ends is measured. */

#include <tambelo/render.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    tambelo_set* set = NULL;
    tambelo_render_settings forever;
    const char* error;
    double lufs = 0.0, peak = 0.0;
    int number, count, failures = 0;

    if (argc != 2) {
        fprintf(stderr, "usage: render_api_loudness_test SET.dat\n");
        return 2;
    }
    if (tambelo_render_version() < 0x3) {
        fprintf(stderr, "FAILED: the library says it is older than 0.3\n");
        return 1;
    }
    error = tambelo_set_open_path(argv[1], &set);
    if (error) {
        fprintf(stderr, "FAILED: the set does not open: %s\n", error);
        return 1;
    }
    tambelo_render_settings_init(&forever);
    forever.loop_mode = TAMBELO_LOOP_FOREVER;
    if (tambelo_set_track_loudness(set, 1, &forever, &lufs, &peak) == NULL) {
        fprintf(stderr, "FAILED: a rendering that never ends has a loudness\n");
        ++failures;
    }
    count = tambelo_set_track_count(set);
    if (tambelo_set_track_loudness(set, count + 1, NULL, &lufs, &peak) == NULL) {
        fprintf(stderr, "FAILED: a track beyond the last has a loudness\n");
        ++failures;
    }
    for (number = 1; number <= count; ++number) {
        error = tambelo_set_track_loudness(set, number, NULL, &lufs, &peak);
        if (error) {
            fprintf(stderr, "FAILED: track %d: %s\n", number, error);
            ++failures;
            continue;
        }
        printf("%d %.4f %.6f\n", number, lufs, peak);
    }
    tambelo_set_close(set);
    return failures ? 1 : 0;
}
