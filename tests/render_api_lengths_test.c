/* What the rendering library says of a set before rendering it, checked
 * against what it renders, from a plain C program:
 *
 *   render_api_lengths_test SAMPLE_SET.dat LONG_SET.dat
 *
 * - every track's length in frames, in each loop mode, at two rates, equals
 *   the frames rendered (a release tail: within the bounds given);
 * - a set of tracks that last hours and years is answered at once, and
 *   what would render for longer than the bound is refused;
 * - identification, settings out of range, a set closed before its track.
 * Renders the sample set's tracks 24 times in all: about 12 s.
 * Exits 0 when everything holds, 1 with a line on stderr when not. */

#define _POSIX_C_SOURCE 200809L

#include <tambelo/render.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int failures = 0;

static void check(int holds, const char* what, int track)
{
    if (!holds) {
        fprintf(stderr, "FAILED (track %d): %s\n", track, what);
        ++failures;
    }
}

static double seconds_now(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static int64_t rendered_frames(const tambelo_set* set, int number, const tambelo_render_settings* settings)
{
    static float buffer[2 * 4096];
    tambelo_track* track = NULL;
    int64_t frames = 0;
    size_t got;
    if (tambelo_track_open(set, number, settings, &track) != NULL)
        return -2;
    while ((got = tambelo_track_render_float(track, buffer, 4096)) > 0)
        frames += (int64_t)got;
    tambelo_track_close(track);
    return frames;
}

static void lengths_equal_renderings(const tambelo_set* set)
{
    static const int rates[] = {44100, 48000};
    int count = tambelo_set_track_count(set), number, r, mode, tail;
    for (number = 1; number <= count; ++number) {
        const tambelo_track_info* info = tambelo_set_track(set, number);
        check(info != NULL && info->playable, "every sample track plays", number);
        if (info == NULL)
            continue;
        for (r = 0; r < 2; ++r)
            for (mode = 0; mode < 3; ++mode)
                for (tail = 0; tail < 2; ++tail) {
                    tambelo_render_settings settings;
                    int64_t least = 0, most = 0;
                    if ((info->loops && tail) || (!info->loops && mode > 0))
                        continue; /* the same renderings as others */
                    tambelo_render_settings_init(&settings);
                    settings.sample_rate = rates[r];
                    settings.loops = 1;
                    settings.fade_ms = 1500.0;
                    settings.loop_mode = (tambelo_loop_mode)mode;
                    settings.keep_release_tail = tail;
                    check(tambelo_set_track_frames(set, number, &settings, &least, &most) == NULL,
                          "the length is answered", number);
                    if (mode == TAMBELO_LOOP_FOREVER) {
                        check(least == -1 && most == -1, "forever never ends", number);
                        continue;
                    }
                    {
                        const int64_t frames = rendered_frames(set, number, &settings);
                        if (!(least <= frames && frames <= most) || (!tail && least != most)) {
                            fprintf(stderr, "mode %d, tail %d, %d Hz: %lld frames rendered, told %lld to %lld\n",
                                    mode, tail, rates[r], (long long)frames, (long long)least, (long long)most);
                            check(0, "the length told is the length rendered", number);
                        }
                    }
                }
    }
}

static void long_set_answers_at_once(const char* path)
{
    tambelo_set* set = NULL;
    tambelo_track* track = NULL;
    const tambelo_track_info* info;
    tambelo_render_settings settings;
    int64_t least = 0, most = 0;
    const double started = seconds_now();
    int number;
    if (tambelo_set_open_path(path, &set) != NULL) {
        check(0, "the long set opens", 0);
        return;
    }
    tambelo_render_settings_init(&settings);
    /* Track 1 ends after about twenty hours: it cannot be played. */
    info = tambelo_set_track(set, 1);
    check(info && !info->playable && strstr(info->problem, "more than 3 hours"), "twenty hours are refused", 1);
    check(tambelo_set_track_frames(set, 1, &settings, &least, &most) != NULL, "no length for it", 1);
    check(tambelo_track_open(set, 1, &settings, &track) != NULL && track == NULL, "it does not open", 1);
    /* Track 2 ends after an hour: told exactly without rendering it. */
    settings.keep_release_tail = 0;
    check(tambelo_set_track_frames(set, 2, &settings, &least, &most) == NULL && least == most &&
              least > (int64_t)3600 * 44100 && least < (int64_t)3 * 3600 * 44100,
          "an hour is told in frames", 2);
    /* Track 3 loops for an hour: two loops fit the bound, forty do not. */
    check(tambelo_set_track_frames(set, 3, &settings, &least, &most) == NULL, "two loops of an hour fit", 3);
    settings.loops = 40;
    check(tambelo_set_track_frames(set, 3, &settings, &least, &most) != NULL, "forty loops do not", 3);
    check(tambelo_track_open(set, 3, &settings, &track) != NULL && track == NULL, "forty loops do not open", 3);
    settings.loop_mode = TAMBELO_LOOP_FOREVER;
    check(tambelo_set_track_frames(set, 3, &settings, &least, &most) == NULL && least == -1,
          "for ever is no length", 3);
    for (number = 1; number <= 3; ++number)
        tambelo_set_track(set, number);
    check(seconds_now() - started < 1.0, "every answer on the long set comes within a second", 0);
    tambelo_set_close(set);
}

static void odd_calls(const tambelo_set* sample_path_set, const char* sample_path)
{
    unsigned char head[TAMBELO_IDENTIFY_HEAD_BYTES];
    tambelo_render_settings settings;
    tambelo_track* track = NULL;
    tambelo_set* set = NULL;
    tambelo_track_info info;
    float buffer[2 * 256];
    const char* error;
    int mode = 7;
    size_t got;
    FILE* file = fopen(sample_path, "rb");

    check(tambelo_render_version() == TAMBELO_RENDER_VERSION, "the version is the header's", 0);
    got = file ? fread(head, 1, sizeof head, file) : 0;
    if (file)
        fclose(file);
    check(tambelo_identify_score(head, got, 0) == tambelo_set_track_count(sample_path_set),
          "the sample set is identified with its tracks", 0);
    /* Cut short: the tracks before the cut still play, the others say why. */
    if (tambelo_set_open_memory(head, 1200, NULL, 0, NULL, 0, &set) == NULL) {
        const tambelo_track_info* first = tambelo_set_track(set, 1);
        const tambelo_track_info* last = tambelo_set_track(set, tambelo_set_track_count(set));
        check(tambelo_set_track_count(set) == tambelo_set_track_count(sample_path_set),
              "a set cut short keeps its track count", 0);
        check(first && first->playable, "track 1 of a set cut short plays", 1);
        check(last && !last->playable && strstr(last->problem, "the score archive ends before it"),
              "the last track of a set cut short is missing", 0);
        tambelo_set_close(set);
        set = NULL;
    } else {
        check(0, "a set cut short opens", 0);
    }
    memset(head, 0xff, sizeof head);
    check(tambelo_identify_score(head, sizeof head, 16u << 20) == 0, "16 MiB of 0xff are not a set", 0);
    error = tambelo_set_open_memory("root:x:0:0:root:/root:/bin/bash\n", 32, NULL, 0, NULL, 0, &set);
    check(error && strstr(error, "is not a music set") && set == NULL, "a text is not a set", 0);

    /* A loop mode no enumerator names is refused, not read as a mode. */
    tambelo_render_settings_init(&settings);
    memcpy(&settings.loop_mode, &mode, sizeof mode);
    error = tambelo_track_open(sample_path_set, 1, &settings, &track);
    check(error && strstr(error, "loop mode 7") && track == NULL, "loop mode 7 is refused", 1);
    check(tambelo_set_track_frames(sample_path_set, 1, &settings, NULL, NULL) != NULL,
          "loop mode 7 has no length", 1);
    check(tambelo_set_track_info(sample_path_set, 1, &info) == NULL, "track 1 has its information", 1);
    check(tambelo_track_info_play_length_ms(&info, -1, 8000.0) == 0.0 &&
              tambelo_track_info_play_length_ms(&info, 2, -1.0) == 0.0,
          "negative loops or fades give no length", 1);

    /* A track outlives the set it came from: the set goes with it. */
    if (tambelo_set_open_path(sample_path, &set) == NULL) {
        check(tambelo_track_open(set, 1, NULL, &track) == NULL, "track 1 opens", 1);
        tambelo_set_close(set);
        check(tambelo_track_seek(track, 20000.0) == NULL, "a seek after the set's close works", 1);
        check(tambelo_track_seek(track, 1000.0) == NULL, "so does one backwards", 1);
        check(tambelo_track_render_float(track, buffer, 256) == 256, "and so does rendering", 1);
        tambelo_track_close(track);
    }
}

int main(int argc, char** argv)
{
    tambelo_set* set = NULL;
    const char* error;
    if (argc != 3) {
        fprintf(stderr, "usage: render_api_lengths_test SAMPLE_SET.dat LONG_SET.dat\n");
        return 2;
    }
    error = tambelo_set_open_path(argv[1], &set);
    if (error) {
        fprintf(stderr, "FAILED: the sample set does not open: %s\n", error);
        return 1;
    }
    odd_calls(set, argv[1]);
    long_set_answers_at_once(argv[2]);
    lengths_equal_renderings(set);
    tambelo_set_close(set);
    return failures ? 1 : 0;
}
