/* The rendering library from a plain C program, as a player plugin uses it:
 * open the sample set, list its tracks, render track 1 (its two loops and
 * the fade, pulled in pieces of an odd size) and compare the samples with
 * the 16-bit WAV file that `tambelo-cli export --format wav` wrote of it.
 *
 * Built against 0.3 or later, it also renders track 1 one channel at a time:
 * the channels' renderings add up to the full mix, muting every channel
 * leaves silence, and a mute made part-way takes effect and keeps the length.
 * Built against 0.4 or later, it checks the calls a file export makes.
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

#if TAMBELO_RENDER_VERSION_MINOR >= 3
/* The float samples of track 1, one loop and a 1 s fade, with `muted`
 * channels muted (after `mute_at` frames when that is not 0); the frame
 * count in *frames. */
static float* render_muted(const tambelo_set* set, unsigned muted, size_t mute_at, size_t* frames)
{
    tambelo_render_settings settings;
    tambelo_track* track = NULL;
    size_t capacity = 1 << 20;
    size_t got;
    float* samples = malloc(2 * capacity * sizeof *samples);

    tambelo_render_settings_init(&settings);
    settings.loops = 1;
    settings.fade_ms = 1000.0;
    if (tambelo_track_open(set, 1, &settings, &track) != NULL) {
        fprintf(stderr, "FAILED: track 1 does not open\n");
        exit(1);
    }
    if (mute_at == 0)
        check(tambelo_track_mute_channels(track, muted) == NULL, "a mute is taken");
    check(tambelo_track_muted_channels(track) == (mute_at == 0 ? muted : 0), "the track tells its mute");
    *frames = 0;
    for (;;) {
        size_t piece = 1000;
        if (mute_at > *frames && mute_at - *frames < piece)
            piece = mute_at - *frames;
        if (mute_at != 0 && *frames == mute_at)
            tambelo_track_mute_channels(track, muted);
        got = tambelo_track_render_float(track, samples + 2 * *frames, piece);
        if (got == 0)
            break;
        *frames += got;
        if (*frames + 1000 > capacity) {
            capacity *= 2;
            samples = realloc(samples, 2 * capacity * sizeof *samples);
        }
    }
    tambelo_track_close(track);
    return samples;
}

/* The largest difference between two renderings of `frames` frames. */
static double largest_difference(const float* a, const float* b, size_t frames)
{
    double worst = 0.0;
    size_t i;
    for (i = 0; i < 2 * frames; ++i) {
        const double difference = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
        if (difference > worst)
            worst = difference;
    }
    return worst;
}

static void check_channels(const tambelo_set* set)
{
    /* The channels' renderings of the sample track sum to its mix within
     * this (measured: 0.0045, at drum hits: two of its channels play drums
     * on the shared MIDI channel 9, where in the mix a hit of one ends the
     * other's sounding hit of the same key or hi-hat group). A channel left
     * out, or one shifted in time, misses it by far more. */
    const double sum_bound = 0.01;
    /* FluidSynth's reverb keeps a tiny offset in its loop against
     * denormals: "silent" is below -120 dBFS. */
    const float quiet_level = 1e-6f;
    const tambelo_track_info* info = tambelo_set_track(set, 1);
    const unsigned all = (1u << TAMBELO_CHANNEL_COUNT) - 1;
    size_t frames = 0, other_frames = 0, i;
    float* mix = render_muted(set, 0, 0, &frames);
    float* sum = calloc(2 * frames, sizeof *sum);
    float* part;
    int channel, stems = 0;
    tambelo_track* track = NULL;

    check(info != NULL && info->note_channels != 0 && (info->note_channels & ~all) == 0,
          "track 1 tells which of its channels have notes");
    for (channel = 0; info && channel < TAMBELO_CHANNEL_COUNT; ++channel) {
        if (!(info->note_channels >> channel & 1u))
            continue;
        ++stems;
        part = render_muted(set, all & ~(1u << channel), 0, &other_frames);
        check(other_frames == frames, "a channel alone lasts as long as the mix");
        check(largest_difference(part, mix, frames < other_frames ? frames : other_frames) > 0.0,
              "a channel alone differs from the mix");
        for (i = 0; i < 2 * frames && i < 2 * other_frames; ++i)
            sum[i] += part[i];
        free(part);
    }
    check(stems >= 2, "track 1 has notes on two channels at least");
    printf("track 1: %d channels add up to the mix within %.2g\n", stems, largest_difference(sum, mix, frames));
    check(largest_difference(sum, mix, frames) <= sum_bound, "the channels add up to the mix");

    part = render_muted(set, all, 0, &other_frames);
    check(other_frames == frames, "a track with every channel muted lasts as long as the mix");
    for (i = 0; i < 2 * other_frames && part[i] < quiet_level && part[i] > -quiet_level; ++i) {
    }
    check(i == 2 * other_frames, "with every channel muted nothing sounds");
    free(part);

    part = render_muted(set, all, frames / 2, &other_frames);
    check(other_frames == frames, "a mute part-way keeps the length");
    check(largest_difference(part + frames, mix + frames, frames - frames / 2) > 0.0,
          "a mute part-way changes what follows");
    free(part);

    if (tambelo_track_open(set, 1, NULL, &track) == NULL) {
        static float piece[2 * 1000], quiet[2 * 1000];
        check(tambelo_track_mute_channels(track, 1u << TAMBELO_CHANNEL_COUNT) != NULL,
              "a channel beyond the last is refused");
        check(tambelo_track_mute_channels(track, all) == NULL, "every channel can be muted");
        check(tambelo_track_seek(track, 10000.0) == NULL, "a muted track seeks");
        check(tambelo_track_muted_channels(track) == all, "a seek keeps the mute");
        tambelo_track_render_float(track, piece, 1000);
        check(largest_difference(piece, quiet, 1000) < quiet_level, "after a seek the muted channels stay silent");
        tambelo_track_close(track);
    }
    free(mix);
    free(sum);
}
#endif

#if TAMBELO_RENDER_VERSION_MINOR >= 3
/* What a player shows of the SoundFonts: the system's, with the GS
 * supplement over it when it is installed, and a named one alone. */
static void check_played_soundfonts(void)
{
    const char* gm = "/usr/share/sounds/sf2/default-GM.sf2";
    const char* gs = "/usr/share/sounds/sf2/FluidR3_GS.sf2";
    char expected[512];
    const char* shown = tambelo_played_soundfonts(NULL);
    if (access(gm, R_OK) != 0)
        return;
    if (access(gs, R_OK) == 0)
        snprintf(expected, sizeof expected, "\"%s\" over \"%s\"", gs, gm);
    else
        snprintf(expected, sizeof expected, "\"%s\"", gm);
    check(strcmp(shown, expected) == 0, "the system's SoundFonts are told as they stack");
    snprintf(expected, sizeof expected, "\"%s\"", gm);
    check(strcmp(tambelo_played_soundfonts(gm), expected) == 0, "a SoundFont named plays alone");
}
#endif

#if TAMBELO_RENDER_VERSION_MINOR >= 4
/* The calls a file export makes: the loop points a file of any loop mode
 * carries are the seamless rendering's loop, and a meter fed a rendering in
 * pieces of any size measures what tambelo_set_track_loudness does. */
static void check_file_export_calls(const tambelo_set* set)
{
    tambelo_render_settings settings;
    tambelo_track* track = NULL;
    tambelo_loudness_meter* meter = NULL;
    const tambelo_loudness_meter* meters[2];
    int64_t start = -1, length = -1, seamless_start = -2, seamless_length = -2;
    double lufs = 0.0, peak = 0.0, set_lufs = 1.0, set_peak = 1.0, album_lufs = 1.0, album_peak = 1.0;
    size_t frames = 0, done;
    float* samples;

    tambelo_render_settings_init(&settings);
    settings.loop_mode = TAMBELO_LOOP_SEAMLESS;
    check(tambelo_track_open_for_file(set, 1, &settings, &track) == NULL, "track 1 opens for a file");
    check(tambelo_set_track_loop_frames(set, 1, 44100, &start, &length) == 1, "track 1 has loop points");
    check(tambelo_track_loop_frames(track, &seamless_start, &seamless_length) == 1 && start == seamless_start &&
              length == seamless_length,
          "the loop points are the seamless rendering's loop");
    tambelo_track_close(track);
    check(tambelo_set_track_loop_frames(set, 1, 7999, &start, &length) == 0, "a rate out of range has no loop");

    check(tambelo_loudness_meter_open(44100, &meter) == NULL, "a meter opens");
    samples = render_muted(set, 0, 0, &frames);
    for (done = 0; done < frames; done += 777)
        tambelo_loudness_meter_add(meter, samples + 2 * done, frames - done < 777 ? frames - done : 777);
    tambelo_loudness_meter_read(meter, &lufs, &peak);
    settings.loop_mode = TAMBELO_LOOP_FADE;
    settings.loops = 1;
    settings.fade_ms = 1000.0;
    check(tambelo_set_track_loudness(set, 1, &settings, &set_lufs, &set_peak) == NULL, "track 1 is measured");
    check(lufs == set_lufs && peak == set_peak && lufs < -5.0 && lufs > -60.0,
          "a meter measures a rendering as the set does");
    meters[0] = meter;
    meters[1] = NULL;
    tambelo_loudness_meters_together(meters, 2, &album_lufs, &album_peak);
    check(album_lufs == lufs && album_peak == peak, "one meter's album is its track");
    tambelo_loudness_meter_close(meter);
    free(samples);
}
#endif

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
#if TAMBELO_RENDER_VERSION_MINOR >= 3
    check_channels(set);
    check_played_soundfonts();
#endif
#if TAMBELO_RENDER_VERSION_MINOR >= 4
    check_file_export_calls(set);
#endif
    free(rendered);
    free(exported);
    tambelo_set_close(set);
    return failures ? 1 : 0;
}
