/* The rendering library from a plain C program, as a player plugin uses it:
 * open the sample set, list its tracks, render track 1 (its two loops and
 * the fade, pulled in pieces of an odd size) and compare the samples with
 * the 16-bit WAV file that `tambelo-cli export --format wav` wrote of it.
 *
 *   render_api_test SET.dat EXPORTED.wav
 *
 * Exits 0 when everything holds, 1 with a line on stderr when not. */

#define _POSIX_C_SOURCE 200809L

#include <tambelo/render.h>

#include <sndfile.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int failures = 0;

static void check(int holds, const char* what)
{
    if (!holds) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

/* Track 1 as 16-bit samples; the frame count in *frames. */
static int16_t* render_track(const tambelo_set* set, size_t* frames)
{
    tambelo_render_settings settings;
    tambelo_track* track = NULL;
    const size_t piece = 1000; /* not a multiple of the synthesizer's block */
    size_t capacity = 1 << 20;
    size_t got;
    int16_t* samples = malloc(2 * capacity * sizeof *samples);
    const char* error;

    tambelo_render_settings_init(&settings);
    error = tambelo_track_open(set, 1, &settings, &track);
    if (error) {
        fprintf(stderr, "FAILED: track 1 does not open: %s\n", error);
        exit(1);
    }
    *frames = 0;
    while ((got = tambelo_track_render_s16(track, samples + 2 * *frames, piece)) > 0) {
        *frames += got;
        if (*frames + piece > capacity) {
            capacity *= 2;
            samples = realloc(samples, 2 * capacity * sizeof *samples);
        }
    }
    check(tambelo_track_ended(track), "the track says it has ended after its last frame");
    check(tambelo_track_length_frames(track) == (int64_t)*frames, "the length given is the length rendered");
    tambelo_track_close(track);
    return samples;
}

int main(int argc, char** argv)
{
    tambelo_set* set = NULL;
    tambelo_track* track = NULL;
    const char* error;
    int count, number;
    size_t frames = 0;
    int16_t* rendered;
    int16_t* exported;
    SF_INFO info;
    SNDFILE* wav;

    if (argc != 3) {
        fprintf(stderr, "usage: render_api_test SET.dat EXPORTED.wav\n");
        return 2;
    }
    check(tambelo_set_open_path("/nonexistent/amus.dat", &set) != NULL && set == NULL,
          "a missing set is an error, with no set");
    {
        /* A named pipe where the score archive should be: refused at once,
         * where reading it would wait for a writer for ever. */
        char folder[] = "/tmp/render_api_test.XXXXXX";
        char pipe_path[64];
        if (mkdtemp(folder) != NULL) {
            snprintf(pipe_path, sizeof pipe_path, "%s/amus.dat", folder);
            if (mkfifo(pipe_path, 0600) == 0) {
                check(tambelo_set_open_path(pipe_path, &set) != NULL && set == NULL,
                      "a named pipe is no set, and is not waited on");
                unlink(pipe_path);
            }
            rmdir(folder);
        }
    }
    error = tambelo_set_open_path(argv[1], &set);
    if (error) {
        fprintf(stderr, "FAILED: the set does not open: %s\n", error);
        return 1;
    }
    count = tambelo_set_track_count(set);
    check(count >= 1, "the set has tracks");
    printf("%s: %d tracks\n", tambelo_set_game_title(set), count);
    for (number = 1; number <= count; ++number) {
        tambelo_track_info track_info;
        error = tambelo_set_track_info(set, number, &track_info);
        check(error == NULL, "every track has its information");
        if (error)
            continue;
        check(track_info.number == number && track_info.playable, "every sample track plays");
        printf("%2d  %-24s %8.0f ms  %s\n", number, track_info.title,
               tambelo_track_info_play_length_ms(&track_info, 2, 8000.0), track_info.title_line);
    }
    check(tambelo_track_open(set, count + 1, NULL, &track) != NULL && track == NULL,
          "a track beyond the last is an error, with no track");

    rendered = render_track(set, &frames);
    memset(&info, 0, sizeof info);
    wav = sf_open(argv[2], SFM_READ, &info);
    if (wav == NULL) {
        fprintf(stderr, "FAILED: cannot read %s: %s\n", argv[2], sf_strerror(NULL));
        return 1;
    }
    check(info.channels == 2 && info.samplerate == 44100, "the export is stereo at 44.1 kHz");
    check((size_t)info.frames == frames, "the rendering is as long as the export");
    exported = malloc(2 * (size_t)info.frames * sizeof *exported);
    check(sf_readf_short(wav, exported, info.frames) == info.frames, "the export reads back whole");
    sf_close(wav);
    if ((size_t)info.frames == frames) {
        size_t i, differ = 0;
        for (i = 0; i < 2 * frames; ++i)
            differ += rendered[i] != exported[i];
        if (differ)
            fprintf(stderr, "%zu of %zu samples differ\n", differ, 2 * frames);
        check(differ == 0, "the rendering holds the export's samples");
    }
    printf("track 1: %zu frames, %s\n", frames, failures ? "different" : "equal to the export");
    free(rendered);
    free(exported);
    tambelo_set_close(set);
    return failures ? 1 : 0;
}
