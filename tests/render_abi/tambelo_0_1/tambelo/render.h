/*
 * tambelo/render.h - a music set's tracks as PCM audio, pulled.
 *
 * libtambelo-render plays the tracks of a music set (a score archive
 * "amus.dat", a voice archive "amus.mda" and an optional title list
 * "amus.txt") with the embedded General MIDI / GS synthesizer and hands out
 * the sound as interleaved stereo frames, as many as the caller asks for at
 * a time: the way an audio player's input plugin or a media framework's
 * element takes its audio.
 *
 * Typical use:
 *
 *     tambelo_set* set = NULL;
 *     const char* error = tambelo_set_open_path("amus.dat", &set);
 *     if (error) { report(error); return; }
 *     tambelo_render_settings settings;
 *     tambelo_render_settings_init(&settings);
 *     settings.sample_rate = 48000;
 *     tambelo_track* track = NULL;
 *     error = tambelo_track_open(set, 1, &settings, &track);
 *     if (!error) {
 *         float buffer[2 * 1024];
 *         size_t frames;
 *         while ((frames = tambelo_track_render_float(track, buffer, 1024)) > 0)
 *             play(buffer, frames);
 *         tambelo_track_close(track);
 *     }
 *     tambelo_set_close(set);
 *
 * Conventions that hold for every call:
 * - Errors: a call that can fail returns a `const char*`: NULL on success,
 *   otherwise a one-line English message in UTF-8 saying what went wrong.
 *   The message stays valid until the same thread makes its next call into
 *   this library; copy it to keep it. Nothing here ever exits the process,
 *   throws across the boundary, or writes to stdout or stderr.
 * - Times are in milliseconds (double), frames are stereo sample pairs, and
 *   rates are in Hz.
 * - Threads: a tambelo_set may be read (track count, track information,
 *   opening tracks) from any number of threads at once. A tambelo_track
 *   belongs to one thread at a time: calls on the same track must not
 *   overlap, while different tracks may render on different threads at the
 *   same moment. Nothing here starts threads of its own or blocks on a
 *   lock held by another call.
 * - Memory: objects are freed by their close call only; passing NULL to a
 *   close call does nothing. Rendering allocates nothing that outlives the
 *   call and never waits for I/O: the files are read whole when the set is
 *   opened, the SoundFont when the track is opened.
 */
#ifndef TAMBELO_RENDER_H
#define TAMBELO_RENDER_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define TAMBELO_RENDER_API __attribute__((visibility("default")))
#else
#define TAMBELO_RENDER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The interface's version: the major number changes when a call changes
 * incompatibly (the library's file name changes with it), the minor number
 * when calls or fields are added. */
#define TAMBELO_RENDER_VERSION_MAJOR 0
#define TAMBELO_RENDER_VERSION_MINOR 1

/* A music set, read whole into memory. */
typedef struct tambelo_set tambelo_set;
/* One track of a set being rendered. */
typedef struct tambelo_track tambelo_track;

/* ---- Music sets ------------------------------------------------------ */

/* Opens the set whose score archive is `score_path` ("…/amus.dat"); its
 * voice archive and title list are the files of the same name with the
 * extensions ".mda" and ".txt" beside it, and either may be missing (the
 * tracks then play with the default voices, or have no titles). The files
 * are read at once and may change or go away afterwards.
 * On success stores the set in `*set` and returns NULL; otherwise leaves
 * `*set` NULL and returns why (the score archive cannot be read, or holds no
 * track). Any thread. */
TAMBELO_RENDER_API const char* tambelo_set_open_path(const char* score_path, tambelo_set** set);

/* Opens a set from the three files' contents in memory, for hosts that read
 * files their own way (a virtual file system, a network stream). `voices`
 * and `titles` may be NULL with size 0. The bytes are copied: the caller may
 * free them when the call returns. Title lists in UTF-8 or in the Japanese
 * Windows code page (CP932) are both read. Returns as tambelo_set_open_path.
 * Any thread. */
TAMBELO_RENDER_API const char* tambelo_set_open_memory(const void* score, size_t score_size, const void* voices,
                                                       size_t voices_size, const void* titles, size_t titles_size,
                                                       tambelo_set** set);

/* Frees the set. Every track opened from it must be closed first. NULL does
 * nothing. */
TAMBELO_RENDER_API void tambelo_set_close(tambelo_set* set);

/* The number of tracks; they are numbered from 1. Always at least 1. */
TAMBELO_RENDER_API int tambelo_set_track_count(const tambelo_set* set);

/* The game's title from the title list (what an audio player shows as the
 * album), in UTF-8; "" when the list names none. Valid until the set is
 * closed. */
TAMBELO_RENDER_API const char* tambelo_set_game_title(const tambelo_set* set);

/* What a set says about one track. Texts are UTF-8 and stay valid until the
 * set is closed. */
typedef struct tambelo_track_info {
    int number;             /* 1 to the track count */
    const char* title;      /* the title alone, or "Track N" when the list has none */
    const char* title_line; /* the title list's line for the track as written, number
                               included; "" when the list has none */
    int playable;           /* 1 when the track can be played */
    const char* problem;    /* when it cannot: why, in a few words ("does not compile");
                               "" otherwise */
    int loops;              /* 1: it repeats a loop for ever; 0: it ends by itself */
    int loops_differ;       /* 1: its channels loop over stretches of different
                               lengths, so it never repeats exactly (no loop points,
                               no seamless loop) */
    double intro_ms;        /* looping: from the start to the loop's start;
                               ending: the whole track, up to its last event */
    double loop_ms;         /* looping: one pass of the loop; 0 otherwise */
} tambelo_track_info;

/* Fills `*info` for track `number`. Compiles the track to find its lengths
 * (a few milliseconds). Returns NULL, or why not (no such track); a track
 * that cannot be played is not an error: see `playable`. Any thread. */
TAMBELO_RENDER_API const char* tambelo_set_track_info(const tambelo_set* set, int number,
                                                      tambelo_track_info* info);

/* How long a rendering of the track lasts in ms with `loops` passes of its
 * loop and a fade of `fade_ms` (the length of the fade mode below). A track
 * that ends by itself: its music, without the release tail that may follow
 * (at most 10 s more). 0 for a track that cannot be played. */
TAMBELO_RENDER_API double tambelo_track_info_play_length_ms(const tambelo_track_info* info, int loops,
                                                            double fade_ms);

/* ---- Rendering ------------------------------------------------------- */

/* What a rendering makes of a looping track. */
typedef enum tambelo_loop_mode {
    /* The intro, `loops` passes of the loop, then a linear fade-out of
     * `fade_ms`: what an export to a file holds. */
    TAMBELO_LOOP_FADE = 0,
    /* The intro and one pass of the loop, its end blended so that the
     * audio repeats from the loop's start without a seam (for hosts that
     * loop the audio themselves). A track whose channel loops differ is
     * rendered as in fade mode. */
    TAMBELO_LOOP_SEAMLESS = 1,
    /* The loop again and again: the rendering never ends. */
    TAMBELO_LOOP_FOREVER = 2
} tambelo_loop_mode;

typedef struct tambelo_render_settings {
    int sample_rate;         /* Hz, 8000 to 192000; default 44100 */
    const char* soundfont;   /* a SoundFont (.sf2) file; NULL or "": the system's
                                default (such as the fluid-soundfont-gm package's).
                                A file named here is never replaced by another. */
    int loops;               /* fade mode: passes of the loop, at least 1; default 2 */
    double fade_ms;          /* fade mode: the fade-out, 0 for none; default 8000 */
    tambelo_loop_mode loop_mode;  /* default TAMBELO_LOOP_FADE */
    int keep_release_tail;   /* a track that ends by itself: 1 keeps what still sounds
                                after its end until it has died away (at most 10 s);
                                0 stops at the end. Default 1 */
} tambelo_render_settings;

/* Fills `*settings` with the defaults above. */
TAMBELO_RENDER_API void tambelo_render_settings_init(tambelo_render_settings* settings);

/* Opens track `number` of `set` for rendering with `settings` (NULL: the
 * defaults): loads the SoundFont (the first time in the process may take a
 * second; the SoundFont of the track closed last stays loaded, so that the
 * next track with it opens quickly), compiles the track and stands at its
 * start. On success stores the track in `*track` and returns NULL;
 * otherwise leaves `*track` NULL and returns why: no such track, the track
 * cannot be played (the same words as its info's `problem`), a setting out
 * of range, or no SoundFont that can be loaded. Any thread. */
TAMBELO_RENDER_API const char* tambelo_track_open(const tambelo_set* set, int number,
                                                  const tambelo_render_settings* settings,
                                                  tambelo_track** track);

/* Frees the track and its synthesizer. NULL does nothing. */
TAMBELO_RENDER_API void tambelo_track_close(tambelo_track* track);

/* Renders up to `frames` frames into `out` (room for 2 x frames floats,
 * left and right interleaved, nominally within -1..1) and returns how many it
 * wrote: `frames` until the end, fewer only at the end, 0 once the end has
 * been reached (never, in forever mode). The same settings give the same
 * samples every time, however many frames each call asks for. Costs about
 * the time of rendering those frames; never blocks otherwise. */
TAMBELO_RENDER_API size_t tambelo_track_render_float(tambelo_track* track, float* out, size_t frames);

/* The same as signed 16-bit samples (x 32768, rounded towards minus
 * infinity, clipped), exactly the samples of a 16-bit WAV export of the
 * track. */
TAMBELO_RENDER_API size_t tambelo_track_render_s16(tambelo_track* track, int16_t* out, size_t frames);

/* Goes to `ms` from the track's start, forwards or backwards: the
 * synthesizer is silenced, everything the track set up before that moment
 * (voices, pan, fine tune, controllers) is put in place, and rendering goes
 * on from there; notes that began before it do not sound. A seek beyond the
 * end goes to the end. Costs about what making a synthesizer with the
 * SoundFont already loaded costs (FluidSynth scans the SoundFont's samples
 * for each new synthesizer; see bench/README.md for measured figures) plus
 * playing the track's events up to there; in seamless mode the track is
 * rendered up to the target instead. Returns NULL, or why not. */
TAMBELO_RENDER_API const char* tambelo_track_seek(tambelo_track* track, double ms);

/* The position: frames handed out since the start (a seek sets it). */
TAMBELO_RENDER_API uint64_t tambelo_track_position_frames(const tambelo_track* track);

/* The rendering's whole length in frames when it is known in advance;
 * -1 in forever mode and for a track that ends with its release tail (its
 * end is found while rendering: tambelo_track_ended). */
TAMBELO_RENDER_API int64_t tambelo_track_length_frames(const tambelo_track* track);

/* 1 once the last frame has been handed out, else 0. */
TAMBELO_RENDER_API int tambelo_track_ended(const tambelo_track* track);

/* The loop of the rendering, where it has one that a player may repeat:
 * seamless mode, a track whose channel loops agree. Stores its first frame
 * and its length in frames and returns 1; otherwise returns 0. */
TAMBELO_RENDER_API int tambelo_track_loop_frames(const tambelo_track* track, int64_t* start_frame,
                                                 int64_t* length_frames);

#ifdef __cplusplus
}
#endif

#endif /* TAMBELO_RENDER_H */
