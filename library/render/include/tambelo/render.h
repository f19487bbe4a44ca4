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
 * Versions and growth: a binary built against an older header of the same
 * major version runs against a newer library. Minor versions add calls
 * (each marked below with the version that brought it) and may add fields
 * at the end of tambelo_track_info, which the library allocates
 * (tambelo_set_track); tambelo_render_settings, which the caller allocates,
 * keeps its layout for the whole major version, and a new setting comes
 * with a call of its own. Every call is in the symbol version
 * TAMBELO_RENDER_<major> of libtambelo-render.so.<major>.
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
 *   close call does nothing. A set may be closed while tracks of it are
 *   open: they hold it, and it is freed when the last of them closes (the
 *   texts of its information are not valid after its close, however). Rendering allocates nothing that outlives the
 *   call and never waits for I/O: the files are read whole when the set is
 *   opened, the SoundFont when the track is opened.
 */
#ifndef TAMBELO_RENDER_H
#define TAMBELO_RENDER_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__) && !defined(_WIN32)
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
#define TAMBELO_RENDER_VERSION_MINOR 4
/* Both in one number, as tambelo_render_version() answers. Since 0.2. */
#define TAMBELO_RENDER_VERSION (TAMBELO_RENDER_VERSION_MAJOR * 0x10000 + TAMBELO_RENDER_VERSION_MINOR)

/* A music set, read whole into memory. */
typedef struct tambelo_set tambelo_set;
/* One track of a set being rendered. */
typedef struct tambelo_track tambelo_track;
/* How to render (below). */
struct tambelo_render_settings;

/* The version of the library that runs, as TAMBELO_RENDER_VERSION: a
 * program may check that its minor number is at least the one of the
 * newest call it uses. Since 0.2. */
TAMBELO_RENDER_API unsigned tambelo_render_version(void);

/* ---- Music sets ------------------------------------------------------ */

/* The bytes of a file's start that tambelo_identify_score needs. Since 0.2. */
#define TAMBELO_IDENTIFY_HEAD_BYTES 4096

/* Whether a file is a music set's score archive, from its first bytes:
 * `head` holds the file's first TAMBELO_IDENTIFY_HEAD_BYTES bytes (or the
 * whole file when it is shorter), `file_size` its size (0 when unknown).
 * Returns the number of tracks its track table names, or 0 when it is not
 * a score archive; the archive has no magic number, but its table has a
 * shape that other files almost never have. Every tambelo program and
 * plugin decides by this call alone, so a file is a set everywhere or
 * nowhere. A set cut short is still a set: its tracks that lie beyond the
 * cut cannot be played (their information says so), the others play.
 * Any thread; reads nothing else. Since 0.2. */
TAMBELO_RENDER_API int tambelo_identify_score(const void* head, size_t head_size, uint64_t file_size);

/* Opens the set whose score archive is `score_path` ("…/amus.dat"); its
 * voice archive and title list are the files of the same name with the
 * extensions ".mda" and ".txt" in any case ("AMUS.MDA" too) beside it, and
 * either may be missing (the tracks then play with the default voices, or
 * have no titles). The files are read at once and may change or go away
 * afterwards.
 * On success stores the set in `*set` and returns NULL; otherwise leaves
 * `*set` NULL and returns why (the score archive cannot be read, or it "is
 * not a music set", as tambelo_identify_score decides). Any thread. */
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

/* Frees the set once no track of it is open (see Memory above). NULL does
 * nothing. */
TAMBELO_RENDER_API void tambelo_set_close(tambelo_set* set);

/* The number of tracks; they are numbered from 1. Always at least 1. */
TAMBELO_RENDER_API int tambelo_set_track_count(const tambelo_set* set);

/* The game's title from the title list (what an audio player shows as the
 * album), in UTF-8; "" when the list names none. Valid until the set is
 * closed. */
TAMBELO_RENDER_API const char* tambelo_set_game_title(const tambelo_set* set);

/* What a set says about one track. Texts are UTF-8 and stay valid until the
 * set is closed. Later minor versions may add fields at the end: get it from
 * tambelo_set_track, which allocates it. */
typedef struct tambelo_track_info {
    int number;             /* 1 to the track count */
    const char* title;      /* the title alone, or "Track N" when the list has none */
    const char* title_line; /* the title list's line for the track as written, number
                               included; "" when the list has none */
    int playable;           /* 1 when the track can be played */
    const char* problem;    /* when it cannot: why, in a few words ("does not compile",
                               "is missing: the score archive ends before it", "would
                               play for more than 3 hours"); "" otherwise */
    int loops;              /* 1: it repeats a loop for ever; 0: it ends by itself */
    int loops_differ;       /* 1: its channels loop over stretches of different
                               lengths, so it never repeats exactly (no loop points,
                               no seamless loop) */
    double intro_ms;        /* looping: from the start to the loop's start;
                               ending: the whole track, up to its last event */
    double loop_ms;         /* looping: one pass of the loop; 0 otherwise */
    /* Since 0.3 (tambelo_set_track only): */
    unsigned note_channels; /* the channels that have notes, bit k for channel k
                               (0 to TAMBELO_CHANNEL_COUNT - 1): the ones a
                               mute or a stem can take out */
} tambelo_track_info;

/* A track's score has nine channels, numbered 0 to 8 as the score language
 * and tambelo-cli number them. Since 0.3. */
#define TAMBELO_CHANNEL_COUNT 9

/* No rendering lasts longer than this, and no track plays whose shortest
 * rendering (the whole of a track that ends, the intro and one loop of a
 * looping one) would: a damaged or hostile set can describe music that
 * plays for years. A longer track's information says it cannot be played,
 * and settings that would render longer are refused by tambelo_track_open,
 * so that nothing a file says makes a host work for longer. Since 0.2. */
#define TAMBELO_LONGEST_RENDERING_MS (3.0 * 3600.0 * 1000.0)

/* Track `number`'s information, kept by the set until it is closed; NULL
 * when there is no such track. Compiles the track the first time (a few
 * milliseconds). A track that cannot be played has information too: see
 * `playable`. Any thread. Since 0.2. */
TAMBELO_RENDER_API const tambelo_track_info* tambelo_set_track(const tambelo_set* set, int number);

/* Copies the fields of tambelo_track_info that version 0.1 had into `*info`
 * (a caller's copy has only those). Returns NULL, or why not (no such
 * track). Any thread. */
TAMBELO_RENDER_API const char* tambelo_set_track_info(const tambelo_set* set, int number,
                                                      tambelo_track_info* info);

/* How long a rendering of track `number` with `settings` (NULL: the
 * defaults) lasts in frames, found without rendering it (as quickly as
 * tambelo_set_track answers):
 * what tambelo_track_render_float hands out from the start to the end. A
 * track that ends by itself with its release tail kept: the tail's length
 * depends on the sound, so `*least_frames` and `*most_frames` hold its
 * bounds (the music and 100 ms of quiet; the music and 10 s); otherwise
 * both hold the exact length. Both are -1 for a rendering that never ends
 * (forever mode). Returns NULL, or why not, as tambelo_track_open would say
 * it: no such track, it cannot be played, a setting out of range or a
 * rendering too long. Any thread. Since 0.2. */
TAMBELO_RENDER_API const char* tambelo_set_track_frames(const tambelo_set* set, int number,
                                                        const struct tambelo_render_settings* settings,
                                                        int64_t* least_frames, int64_t* most_frames);

/* How long a rendering of the track lasts in ms with `loops` passes of its
 * loop and a fade of `fade_ms` (the length of the fade mode below). A track
 * that ends by itself: its music, without the release tail that may follow
 * (at most 10 s more). 0 for a track that cannot be played, and for
 * a negative `loops`, and a `fade_ms` negative or not finite. For lengths in frames, exact
 * for a rendering's settings, see tambelo_set_track_frames. */
TAMBELO_RENDER_API double tambelo_track_info_play_length_ms(const tambelo_track_info* info, int loops,
                                                            double fade_ms);

/* ReplayGain 2.0's reference: a track's gain in dB is this minus its
 * loudness from tambelo_set_track_loudness; its peak is the sample peak.
 * Since 0.3. */
#define TAMBELO_REPLAY_GAIN_REFERENCE_LUFS -18.0

/* The EBU R128 loudness of the rendering of track `number` with `settings`
 * (NULL: the defaults), what tambelo_track_render_float hands out from the
 * start to the end: stores its integrated loudness in LUFS in `*lufs` (minus
 * infinity, -HUGE_VAL, for a silent rendering) and its sample peak, the
 * largest absolute sample value (1.0 is full scale), in `*peak`; either may
 * be NULL. A ReplayGain 2.0 gain is -18 - *lufs dB. Renders the whole
 * track to measure it, so it costs what opening the track and rendering it
 * cost (measured at under 1 s per minute of audio at 44.1 kHz on a busy
 * two-core machine; the measurement itself adds little): call it where
 * that may take time, not where playing should start at once. The same settings
 * give the same answer every time. Returns NULL, or why not, as
 * tambelo_track_open would say it, or because the rendering never ends
 * (forever mode). Any thread. Since 0.3. */
TAMBELO_RENDER_API const char* tambelo_set_track_loudness(const tambelo_set* set, int number,
                                                          const struct tambelo_render_settings* settings,
                                                          double* lufs, double* peak);

/* The SoundFonts that play for the setting `soundfont` (as in
 * tambelo_render_settings: NULL or "" for the system's), as a person reads
 * them: each path in quotes, the one searched first first
 * ("/usr/share/sounds/sf2/FluidR3_GS.sf2" over
 * "/usr/share/sounds/sf2/default-GM.sf2"); "" when none can be read. The
 * live synthesizer of the playback library chooses by the same rule, so a
 * player may show it for the sound it plays too. Reads the SoundFonts'
 * preset headers, not their samples. The text stays valid until the same
 * thread's next call into this library. Any thread. Since 0.3. */
TAMBELO_RENDER_API const char* tambelo_played_soundfonts(const char* soundfont);

/* Track `number`'s loop in frames at `sample_rate` (8000 to 192000), where
 * the track repeats exactly (its channels' loops agree): the first pass,
 * from the frame nearest the loop's start to the one nearest its end, which
 * a file's loop points mark whatever its loop mode. Stores its first frame
 * and its length and returns 1; returns 0 for a track that ends by itself,
 * whose channel loops differ or that cannot be played, for no such track
 * and for a rate out of range. Any thread. Since 0.4. */
TAMBELO_RENDER_API int tambelo_set_track_loop_frames(const tambelo_set* set, int number, int sample_rate,
                                                     int64_t* start_frame, int64_t* length_frames);

/* ---- Loudness of any frames -------------------------------------------- */

/* Measures interleaved stereo float frames as EBU R128 does, as
 * tambelo_set_track_loudness measures a rendering: for a caller that renders
 * a track once and measures it on the way (with channels muted, say), or
 * that needs the loudness of several renderings taken together (an album's
 * ReplayGain). Adding frames costs little next to rendering them. A meter
 * belongs to one thread at a time. Since 0.4. */
typedef struct tambelo_loudness_meter tambelo_loudness_meter;

/* A meter for frames at `sample_rate` (8000 to 192000). Returns NULL with
 * the meter in `*meter`, or why not (leaving `*meter` NULL). Since 0.4. */
TAMBELO_RENDER_API const char* tambelo_loudness_meter_open(int sample_rate, tambelo_loudness_meter** meter);

/* Frees the meter. NULL does nothing. Since 0.4. */
TAMBELO_RENDER_API void tambelo_loudness_meter_close(tambelo_loudness_meter* meter);

/* Adds `count` frames (2 x count floats). Since 0.4. */
TAMBELO_RENDER_API void tambelo_loudness_meter_add(tambelo_loudness_meter* meter, const float* frames,
                                                   size_t count);

/* The loudness of everything added so far, as tambelo_set_track_loudness
 * gives it: the integrated loudness in LUFS in `*lufs` (-HUGE_VAL for
 * silence) and the sample peak in `*peak`; either may be NULL. Since 0.4. */
TAMBELO_RENDER_API void tambelo_loudness_meter_read(const tambelo_loudness_meter* meter, double* lufs,
                                                    double* peak);

/* The loudness of the frames of `count` meters taken as one programme, an
 * album's (their rates need not agree); a NULL meter among them counts for
 * nothing, and no meter at all gives 0 and 0. Since 0.4. */
TAMBELO_RENDER_API void tambelo_loudness_meters_together(const tambelo_loudness_meter* const* meters, size_t count,
                                                         double* lufs, double* peak);

/* ---- Rendering ------------------------------------------------------- */

/* What a rendering makes of a looping track. */
typedef enum tambelo_loop_mode {
    /* The intro, `loops` passes of the loop, then a linear fade-out of
     * `fade_ms`: what an export to a file holds. */
    TAMBELO_LOOP_FADE = 0,
    /* The intro and one pass of the loop, its end blended so that the
     * audio repeats from the loop's start without a seam (for hosts that
     * loop the audio themselves). A track whose channel loops differ is
     * rendered as in fade mode, and so is one whose loop lasts more than
     * 5 minutes: the call that reaches the loop renders its first pass,
     * which is dropped, before it returns (about 1.5 s for five minutes at
     * 44.1 kHz on a busy machine; tambelo_track_loop_frames tells). */
    TAMBELO_LOOP_SEAMLESS = 1,
    /* The loop again and again: the rendering never ends. */
    TAMBELO_LOOP_FOREVER = 2
} tambelo_loop_mode;

typedef struct tambelo_render_settings {
    int sample_rate;         /* Hz, 8000 to 192000; default 44100 */
    const char* soundfont;   /* a SoundFont (.sf2) file; NULL or "": the system's
                                default (such as the fluid-soundfont-gm package's),
                                with fluid-soundfont-gs's GS variation tones stacked
                                over it when installed. A file named here is never
                                replaced by another nor supplemented. */
    int loops;               /* fade mode: passes of the loop, at least 1; default 2 */
    double fade_ms;          /* fade mode: the fade-out, 0 for none; default 8000 */
    tambelo_loop_mode loop_mode;  /* default TAMBELO_LOOP_FADE; any other value is
                                     refused by tambelo_track_open */
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
 * of range, a rendering that would last longer than
 * TAMBELO_LONGEST_RENDERING_MS, or no SoundFont that can be loaded. Any
 * thread. */
TAMBELO_RENDER_API const char* tambelo_track_open(const tambelo_set* set, int number,
                                                  const tambelo_render_settings* settings,
                                                  tambelo_track** track);

/* As tambelo_track_open, for a caller that writes the audio away rather
 * than playing it as it comes (to a file): in seamless mode a loop of any
 * length is rendered seamless, however long the call that reaches the loop
 * then takes, where tambelo_track_open renders a loop of more than 5
 * minutes as in fade mode. Since 0.4. */
TAMBELO_RENDER_API const char* tambelo_track_open_for_file(const tambelo_set* set, int number,
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
 * on from there; notes that began before it do not sound. A seek to the
 * end or beyond (up to infinity) goes to the end of the music at once. In
 * forever mode a time beyond the loop's second pass goes to the same moment
 * of that pass (the position still says the time asked), so a far seek costs
 * no more than a near one; a track whose channel loops differ goes no
 * further than 3 hours. Costs about what making a synthesizer with the
 * SoundFont already loaded costs (FluidSynth scans the SoundFont's samples
 * for each new synthesizer; see bench/README.md for measured figures) plus
 * playing the track's events up to there; in seamless mode, past the
 * intro, plus rendering from the intro's end up to the target (at most two
 * passes of a loop of at most 5 minutes). Returns NULL, or why not. */
TAMBELO_RENDER_API const char* tambelo_track_seek(tambelo_track* track, double ms);

/* The position: frames handed out since the start (a seek sets it). */
TAMBELO_RENDER_API uint64_t tambelo_track_position_frames(const tambelo_track* track);

/* The rendering's whole length in frames when it is known in advance;
 * -1 in forever mode and for a track that ends with its release tail (its
 * end is found while rendering: tambelo_track_ended). */
TAMBELO_RENDER_API int64_t tambelo_track_length_frames(const tambelo_track* track);

/* Mutes channels of the track (bit k: channel k, 0 to TAMBELO_CHANNEL_COUNT
 * - 1; 0 mutes none, the default). It takes effect from the next render:
 * no note of a muted channel starts that has not been synthesized yet (the
 * renderer works up to 4096 frames ahead of what it has handed out, so a
 * change while playing is heard within about 93 ms at 44.1 kHz), while a
 * note already sounding ends when it would have, with its release: nothing
 * is cut, so nothing clicks. Unmuting lets the channel's next notes sound.
 * Everything else a muted channel does still happens (its voices, volume,
 * pan, reverb and chorus sends, fine tune, its loop), so the timing, the
 * length and the other channels' sound are those of the full mix.
 * Renderings with one channel each add up to the mix within about -60 dBFS,
 * except where two channels play drums, which share one MIDI channel: in
 * the mix a hit of one ends the other's sounding hit of the same key (or
 * hi-hat group), which each alone keeps (-47 dBFS at such hits in the
 * bundled sample set). Only a release tail, which lasts until the sound has
 * died away, may end sooner. Seeks keep the mute. Returns NULL, or why not (a
 * bit beyond the channels). Since 0.3. */
TAMBELO_RENDER_API const char* tambelo_track_mute_channels(tambelo_track* track, unsigned muted);

/* The channels muted now (0 when none). Since 0.3. */
TAMBELO_RENDER_API unsigned tambelo_track_muted_channels(const tambelo_track* track);

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
