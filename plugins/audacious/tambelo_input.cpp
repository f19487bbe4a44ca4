// The tambelo input plugin for Audacious: every track of a music set's score
// archive ("amus.dat") is a subtune, played through libtambelo-render.
#include "common/input_limit.h"

#include <libaudcore/audstrings.h>
#include <libaudcore/i18n.h>
#include <libaudcore/interface.h>
#include <libaudcore/plugin.h>
#include <libaudcore/preferences.h>
#include <libaudcore/runtime.h>

#include <tambelo/render.h>

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr const char* section = "tambelo";
constexpr int frames_per_write = 1024;

// A set opened from a file Audacious names, with the voice archive and the
// title list found beside it.
struct SetCloser {
    void operator()(tambelo_set* set) const { tambelo_set_close(set); }
};
using SetHandle = std::unique_ptr<tambelo_set, SetCloser>;

struct TrackCloser {
    void operator()(tambelo_track* track) const { tambelo_track_close(track); }
};
using TrackHandle = std::unique_ptr<tambelo_track, TrackCloser>;

// The file's name without its folder and subtune, for messages.
StringBuf display_name(const char* filename)
{
    const char* base = nullptr;
    const char* sub = nullptr;
    uri_parse(filename, &base, nullptr, &sub, nullptr);
    return uri_to_display(str_copy(base, static_cast<int>(sub - base)));
}

// The whole of `file` in `bytes`, or false with why not in `error`: a file
// larger than a set's file can be is refused before it is read. The reason
// names the file as `name` ("amus.mda"), or the score archive when it is NULL.
bool read_limited(VFSFile& file, const char* name, Index<char>& bytes, String& error)
{
    const auto too_large = [&] {
        if (name)
            error = String(str_printf(_("%s is larger than %s, more than a music set's file can be"), name,
                                      TAMBELO_SET_FILE_LIMIT_TEXT));
        else
            error = String(str_printf(_("the file is larger than %s, more than a score archive can address"),
                                      TAMBELO_SET_FILE_LIMIT_TEXT));
        return false;
    };
    if (file.fsize() > TAMBELO_SET_FILE_MOST_BYTES)
        return too_large();
    // A stream that does not tell its size is read up to the limit.
    bytes.clear();
    char chunk[65536];
    int64_t got;
    while ((got = file.fread(chunk, 1, sizeof chunk)) > 0) {
        if (bytes.len() + got > static_cast<int64_t>(TAMBELO_SET_FILE_MOST_BYTES))
            return too_large();
        bytes.insert(chunk, -1, static_cast<int>(got));
    }
    return true;
}

// The bytes of the file beside `score_uri` (no subtune part) with extension
// `extension` (".mda"), in lower or upper case; empty when there is none,
// and then `error` says why when it is refused.
Index<char> read_sibling(const char* score_uri, const char* extension, String& error)
{
    const char* ext = nullptr;
    uri_parse(score_uri, nullptr, &ext, nullptr, nullptr);
    const int stem = static_cast<int>(ext - score_uri);
    Index<char> bytes;
    for (bool upper : {false, true}) {
        StringBuf name = str_copy(extension);
        if (upper)
            str_toupper(name);
        StringBuf uri = str_concat({str_copy(score_uri, stem), name});
        if (!VFSFile::test_file(uri, VFS_IS_REGULAR))
            continue;
        VFSFile file(uri, "r");
        if (!file)
            continue;
        if (!read_limited(file, display_name(uri), bytes, error))
            bytes.clear();
        break;
    }
    return bytes;
}

// Whether the file's content is a score archive's: other files are left to
// Audacious's other plugins without a word, whatever they are called.
bool is_score_archive(VFSFile& file)
{
    if (file.fseek(0, VFS_SEEK_SET) != 0)
        return false;
    uint8_t head[TAMBELO_IDENTIFY_HEAD_BYTES];
    const int64_t got = file.fread(head, 1, sizeof head);
    const int64_t size = file.fsize();
    return got > 0 && tambelo_identify_score(head, static_cast<size_t>(got), size > 0 ? static_cast<uint64_t>(size) : 0) > 0;
}

// Opens the set from `file` (a score archive) and the files beside it;
// stores why not in `error` when it cannot.
SetHandle open_set(const char* filename, VFSFile& file, String& error)
{
    const char* sub = nullptr;
    uri_parse(filename, nullptr, nullptr, &sub, nullptr);
    StringBuf score_uri = str_copy(filename, static_cast<int>(sub - filename));
    // Read here, bounded, rather than by the library from the path: no file
    // of a set over 16 MiB is read at all.
    tambelo_set* set = nullptr;
    if (file.fseek(0, VFS_SEEK_SET) != 0) {
        error = String(_("cannot read the file"));
        return nullptr;
    }
    Index<char> score;
    if (!read_limited(file, nullptr, score, error))
        return nullptr;
    const Index<char> voices = read_sibling(score_uri, ".mda", error);
    const Index<char> titles = error ? Index<char>() : read_sibling(score_uri, ".txt", error);
    if (error)
        return nullptr;
    if (const char* why = tambelo_set_open_memory(score.begin(), score.len(), voices.begin(), voices.len(),
                                                  titles.begin(), titles.len(), &set)) {
        error = String(why);
        return nullptr;
    }
    return SetHandle(set);
}

// Opens track `number` in `opened`; returns why not, in words that leave
// naming the track to the message they go into.
String open_track(const tambelo_set* set, int number, const tambelo_render_settings& settings,
                  tambelo_track*& opened)
{
    const int count = tambelo_set_track_count(set);
    if (number > count)
        return String(str_printf(_("the set has %d tracks"), count));
    tambelo_track_info info;
    if (tambelo_set_track_info(set, number, &info) == nullptr && !info.playable)
        return String(info.problem);
    if (const char* why = tambelo_track_open(set, number, &settings, &opened))
        return String(why);
    return String();
}

// What Audacious lets a seek reach of a track that loops for ever: it seeks
// only within a length, which it never stops at. The intro and one pass of
// the loop hold every place of the music.
int seekable_ms(const tambelo_track_info& track)
{
    return static_cast<int>(std::lround(track.intro_ms + track.loop_ms));
}

void settings_from_preferences(tambelo_render_settings& settings, String& soundfont)
{
    tambelo_render_settings_init(&settings);
    settings.sample_rate = aud_get_int(section, "sample_rate");
    settings.loops = aud_get_int(section, "loops");
    settings.fade_ms = aud_get_double(section, "fade_s") * 1000.0;
    settings.loop_mode = aud_get_bool(section, "loop_forever") ? TAMBELO_LOOP_FOREVER : TAMBELO_LOOP_FADE;
    soundfont = aud_get_str(section, "soundfont");
    settings.soundfont = soundfont;
}

// The channels the preferences mute (bit k: channel k), read again while a
// track plays so that a change is heard at once.
unsigned muted_from_preferences()
{
    unsigned muted = 0;
    for (int channel = 0; channel < TAMBELO_CHANNEL_COUNT; ++channel)
        if (aud_get_bool(section, str_printf("mute_%d", channel)))
            muted |= 1u << channel;
    return muted;
}

// ReplayGain, measured by rendering the track whole (about a second per
// minute of music) on a thread of its own while it plays, and handed to
// Audacious when known: it takes the values at any time. A track that loops
// for ever has no end to measure: its fade-out rendering with the same loops
// stands for it. The library cannot stop a measurement half-way, so a track
// left early lets its thread finish with the set; the plugin's cleanup waits
// for such threads, whose code it holds.
class GainMeasurement {
public:
    GainMeasurement(std::shared_ptr<tambelo_set> set, int number, const tambelo_render_settings& settings)
    {
        auto shared = std::make_shared<Shared>();
        state = shared;
        tambelo_render_settings measured = settings;
        if (measured.loop_mode == TAMBELO_LOOP_FOREVER)
            measured.loop_mode = TAMBELO_LOOP_FADE;
        std::string soundfont = settings.soundfont != nullptr ? settings.soundfont : "";
        {
            std::lock_guard<std::mutex> hold(running_lock);
            ++running;
        }
        std::thread([shared, set = std::move(set), number, measured, soundfont]() mutable {
            measured.soundfont = soundfont.c_str();
            double lufs = 0.0, peak = 0.0;
            const char* error = tambelo_set_track_loudness(set.get(), number, &measured, &lufs, &peak);
            set.reset();
            {
                std::lock_guard<std::mutex> hold(shared->lock);
                // Silence has no gain that would bring it to the reference.
                if (error == nullptr && std::isfinite(lufs) && peak > 0.0) {
                    const auto gain = static_cast<float>(TAMBELO_REPLAY_GAIN_REFERENCE_LUFS - lufs);
                    const auto linear_peak = static_cast<float>(peak);
                    // No album measured: album mode plays each track at its own gain.
                    shared->result = ReplayGainInfo{gain, linear_peak, gain, linear_peak};
                }
            }
            std::lock_guard<std::mutex> hold(running_lock);
            --running;
            running_changed.notify_all();
        }).detach();
    }

    // The gain once, when it is known.
    std::optional<ReplayGainInfo> take()
    {
        std::lock_guard<std::mutex> hold(state->lock);
        std::optional<ReplayGainInfo> result = state->result;
        state->result.reset();
        return result;
    }

    static void wait_for_all()
    {
        std::unique_lock<std::mutex> hold(running_lock);
        running_changed.wait(hold, [] { return running == 0; });
    }

private:
    struct Shared {
        std::mutex lock;
        std::optional<ReplayGainInfo> result;
    };
    std::shared_ptr<Shared> state;

    static inline std::mutex running_lock;
    static inline std::condition_variable running_changed;
    static inline int running = 0;
};

}  // namespace

class TambeloInput : public InputPlugin {
public:
    static const char about[];
    static const char* const extensions[];
    static const char* const defaults[];
    static const PreferencesWidget widgets[];
    static const PluginPreferences preferences;

    static constexpr PluginInfo info = {N_("tambelo music sets"), PACKAGE, about, &preferences, 0};

    constexpr TambeloInput() : InputPlugin(info, InputInfo(FlagSubtunes).with_exts(extensions)) {}

    bool init() override
    {
        aud_config_set_defaults(section, defaults);
        return true;
    }

    void cleanup() override { GainMeasurement::wait_for_all(); }

    bool is_our_file(const char* filename, VFSFile& file) override
    {
        (void)filename;
        return is_score_archive(file);
    }

    bool read_tag(const char* filename, VFSFile& file, Tuple& tuple, Index<char>* image) override
    {
        (void)image;
        // Audacious picks a plugin by the file's extension alone when only
        // one claims it, so a ".dat" file of another kind comes here too.
        if (!is_score_archive(file))
            return false;
        String error;
        const SetHandle set = open_set(filename, file, error);
        if (!set) {
            // A damaged archive: listed as one entry that says why.
            tuple.set_str(Tuple::Title, str_printf(_("%s (cannot play: %s)"), (const char*)display_name(filename),
                                                   (const char*)error));
            return true;
        }
        const char* album = tambelo_set_game_title(set.get());
        if (album[0] != '\0')
            tuple.set_str(Tuple::Album, album);
        tuple.set_str(Tuple::Codec, _("tambelo score"));
        const int number = tuple.get_int(Tuple::Subtune);
        if (number <= 0) {
            // The file itself: a list of its tracks.
            tuple.set_subtunes(static_cast<short>(tambelo_set_track_count(set.get())), nullptr);
            return true;
        }
        tambelo_track_info track;
        if (tambelo_set_track_info(set.get(), number, &track) != nullptr)
            return false;
        tuple.set_int(Tuple::Track, track.number);
        if (!track.playable) {
            tuple.set_str(Tuple::Title, str_printf(_("%s (cannot play: %s)"), track.title, track.problem));
            return true;
        }
        tuple.set_str(Tuple::Title, track.title);
        tambelo_render_settings settings;
        String soundfont;
        settings_from_preferences(settings, soundfont);
        // The library answers at once; every rendering lasts at most
        // TAMBELO_LONGEST_RENDERING_MS, so the milliseconds fit an int. A
        // release tail's length is known only once it is rendered: the
        // shortest it can be is shown.
        int64_t least = -1;
        if (const char* why = tambelo_set_track_frames(set.get(), number, &settings, &least, nullptr)) {
            tuple.set_str(Tuple::Title, str_printf(_("%s (cannot play: %s)"), track.title, why));
            return true;
        }
        if (least >= 0)
            tuple.set_int(Tuple::Length, static_cast<int>(least * 1000 / settings.sample_rate));
        else if (track.loops && settings.loop_mode == TAMBELO_LOOP_FOREVER)
            tuple.set_int(Tuple::Length, seekable_ms(track));
        return true;
    }

    bool play(const char* filename, VFSFile& file) override
    {
        int number = -1;
        uri_parse(filename, nullptr, nullptr, nullptr, &number);
        if (number <= 0)
            number = 1;
        if (!is_score_archive(file))
            return false;
        String error;
        const std::shared_ptr<tambelo_set> set = open_set(filename, file, error);
        tambelo_track* opened = nullptr;
        tambelo_render_settings settings;
        String soundfont;
        settings_from_preferences(settings, soundfont);
        if (set)
            error = open_track(set.get(), number, settings, opened);
        if (!opened) {
            aud_ui_show_error(str_printf(_("Cannot play track %d of %s: %s"), number,
                                         (const char*)display_name(filename), (const char*)error));
            return false;
        }
        const TrackHandle track(opened);
        // Only when Audacious applies it: the measurement renders the track again.
        std::optional<GainMeasurement> gain;
        if (aud_get_bool(nullptr, "enable_replay_gain"))
            gain.emplace(set, number, settings);
        set_stream_bitrate(settings.sample_rate * 2 * 16);
        open_audio(FMT_S16_NE, settings.sample_rate, 2);
        int16_t buffer[2 * frames_per_write];
        unsigned muted = 0;
        while (!check_stop()) {
            if (const unsigned wanted = muted_from_preferences(); wanted != muted) {
                muted = wanted;
                if (const char* error = tambelo_track_mute_channels(track.get(), muted))
                    AUDWARN("mute: %s\n", error);
            }
            if (gain) {
                if (const std::optional<ReplayGainInfo> measured = gain->take())
                    set_replay_gain(*measured);
            }
            const int seek_ms = check_seek();
            if (seek_ms >= 0) {
                if (const char* error = tambelo_track_seek(track.get(), seek_ms))
                    AUDWARN("seek: %s\n", error);
            }
            const size_t frames = tambelo_track_render_s16(track.get(), buffer, frames_per_write);
            if (frames == 0)
                break;
            write_audio(buffer, static_cast<int>(frames * 2 * sizeof(int16_t)));
        }
        return true;
    }
};

const char TambeloInput::about[] =
    N_("Plays the background music of old Japanese PC games from their music sets (amus.dat, with amus.mda "
       "and amus.txt beside it): every track is a subtune, played on a General MIDI / GS synthesizer.");

const char* const TambeloInput::extensions[] = {"dat", nullptr};

const char* const TambeloInput::defaults[] = {
    "loops", "2", "fade_s", "8", "loop_forever", "FALSE", "soundfont", "", "sample_rate", "44100",
    "mute_0", "FALSE", "mute_1", "FALSE", "mute_2", "FALSE", "mute_3", "FALSE", "mute_4", "FALSE",
    "mute_5", "FALSE", "mute_6", "FALSE", "mute_7", "FALSE", "mute_8", "FALSE", nullptr};

// Nine boxes in a row: a ticked channel starts no more notes (those sounding
// end as they would), from the next buffer on.
static const PreferencesWidget mute_widgets[] = {
    WidgetCheck("0", WidgetBool(section, "mute_0")), WidgetCheck("1", WidgetBool(section, "mute_1")),
    WidgetCheck("2", WidgetBool(section, "mute_2")), WidgetCheck("3", WidgetBool(section, "mute_3")),
    WidgetCheck("4", WidgetBool(section, "mute_4")), WidgetCheck("5", WidgetBool(section, "mute_5")),
    WidgetCheck("6", WidgetBool(section, "mute_6")), WidgetCheck("7", WidgetBool(section, "mute_7")),
    WidgetCheck("8", WidgetBool(section, "mute_8")),
};

const PreferencesWidget TambeloInput::widgets[] = {
    WidgetSpin(N_("Loops before the fade-out:"), WidgetInt(section, "loops"), {1, 100, 1, nullptr}),
    WidgetSpin(N_("Fade-out:"), WidgetFloat(section, "fade_s"), {0, 60, 0.5, N_("seconds")}),
    WidgetCheck(N_("Loop forever"), WidgetBool(section, "loop_forever")),
    WidgetFileEntry(N_("SoundFont (empty: the system's):"), WidgetString(section, "soundfont"),
                    {FileSelectMode::File}),
    WidgetSpin(N_("Sample rate:"), WidgetInt(section, "sample_rate"), {8000, 192000, 50, N_("Hz")}),
    WidgetLabel(N_("Mute channels (their notes are not played):")),
    WidgetBox({{mute_widgets}, true, false}),
};

const PluginPreferences TambeloInput::preferences = {{widgets}, nullptr, nullptr, nullptr};

// The one symbol Audacious looks up in a plugin.
__attribute__((visibility("default"))) TambeloInput aud_plugin_instance;
