#include "library/midi/fluid_synth_setup.h"

#include "library/midi/sound_system.h"
#include "library/midi/soundfont_presets.h"
#include "library/midi/soundfont_reading.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace tambelo {
namespace {

namespace fs = std::filesystem;

bool file_exists(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// SoundFonts directly in `folder`, in name order.
std::vector<fs::path> soundfonts_in(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if ((extension == ".sf2" || extension == ".sf3") && file_exists(it->path()))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// One name for a file reached by several (a link, a folder listed twice).
fs::path real_path(const fs::path& path)
{
    std::error_code error;
    fs::path real = fs::weakly_canonical(path, error);
    return error ? path : real;
}

}  // namespace

SoundFontSearch system_soundfont_search()
{
    SoundFontSearch search;
    search.default_files = {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
                            "/usr/share/soundfonts/default.sf2"};
    if (const char* data_home = std::getenv("XDG_DATA_HOME"); data_home && *data_home)
        search.folders.push_back((fs::path(data_home) / "soundfonts").string());
    else if (const char* home = std::getenv("HOME"); home && *home)
        search.folders.push_back((fs::path(home) / ".local/share/soundfonts").string());
    for (const char* folder : {"/usr/share/sounds/sf2", "/usr/share/sounds/sf3",
                               "/usr/share/soundfonts", "/usr/local/share/soundfonts"})
        search.folders.emplace_back(folder);
    search.supplements = {"/usr/share/sounds/sf2/FluidR3_GS.sf2"};
    return search;
}

std::vector<std::string> soundfont_candidates(const std::string& chosen, const SoundFontSearch& search)
{
    // The same file may be reached by several names (the default link, a
    // folder listed twice); keep its first. Supplements are passed over
    // where the search finds them.
    std::vector<fs::path> seen;
    for (const std::string& supplement : search.supplements)
        seen.push_back(real_path(supplement));
    std::vector<std::string> unique;
    auto add = [&](const fs::path& path) {
        const fs::path real = real_path(path);
        if (std::find(seen.begin(), seen.end(), real) != seen.end())
            return;
        seen.push_back(real);
        unique.push_back(path.string());
    };
    if (!chosen.empty() && file_exists(chosen)) {
        unique.push_back(chosen);
        seen.push_back(real_path(chosen));
    }
    for (const std::string& file : search.default_files)
        if (file_exists(file))
            add(file);
    for (const std::string& folder : search.folders)
        for (const fs::path& found : soundfonts_in(folder))
            add(found);
    return unique;
}

std::vector<std::string> soundfont_supplements(const std::string& chosen, const SoundFontSearch& search)
{
    std::vector<std::string> installed;
    if (!chosen.empty())
        return installed;
    std::vector<fs::path> seen;
    for (const std::string& supplement : search.supplements) {
        const fs::path real = real_path(supplement);
        if (!file_exists(supplement) || std::find(seen.begin(), seen.end(), real) != seen.end())
            continue;
        seen.push_back(real);
        installed.push_back(supplement);
    }
    return installed;
}

std::vector<std::string> soundfonts_to_play(const std::string& chosen, const SoundFontSearch& search)
{
    std::vector<std::string> stack;
    for (const std::string& candidate : soundfont_candidates(chosen, search))
        if (read_soundfont_presets(candidate)) {
            stack.push_back(candidate);
            break;
        }
    if (stack.empty())
        return stack;
    for (std::string& supplement : soundfont_supplements(chosen, search))
        if (read_soundfont_presets(supplement))
            stack.push_back(std::move(supplement));
    return stack;
}

std::string soundfont_stack_text(const std::vector<std::string>& soundfonts)
{
    std::string text;
    for (auto it = soundfonts.rbegin(); it != soundfonts.rend(); ++it)
        text += (text.empty() ? "\"" : " over \"") + *it + "\"";
    return text;
}

namespace {

std::mutex& synth_lifecycle_lock()
{
    static std::mutex lock;
    return lock;
}

}  // namespace

void FluidSynthDeleter::operator()(fluid_synth_t* synth) const
{
    std::lock_guard lock(synth_lifecycle_lock());
    delete_fluid_synth(synth);
}

namespace {

// Settings and synthesizer of a GS sound module without a SoundFont; false
// (with the reason in `why`) when FluidSynth fails.
bool make_empty_gs_synth(GsSynth& result, double sample_rate, std::string* why)
{
    auto fail = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return false;
    };
    result.sample_rate = sample_rate;
    result.settings.reset(new_fluid_settings());
    if (!result.settings)
        return fail("the synthesizer's settings could not be created");
    fluid_settings_t* settings = result.settings.get();
    fluid_settings_setnum(settings, "synth.sample-rate", sample_rate);
    fluid_settings_setstr(settings, "synth.midi-bank-select", "gs");
    fluid_settings_setint(settings, "synth.device-id", gs_device_id);
    fluid_settings_setint(settings, "synth.midi-channels", 16);
    // Locking sample memory needs privileges a player does not have.
    fluid_settings_setint(settings, "synth.lock-memory", 0);

    clear_fluid_error();
    {
        // FluidSynth's first synth fills process-wide tables (interpolation,
        // default modulators), and a synth created on another thread meanwhile
        // does not wait for them: it could render with half of them, so that
        // two exports of the same track differed. Synths are made (and
        // deleted, see FluidSynthDeleter) one at a time.
        std::lock_guard lock(synth_lifecycle_lock());
        result.synth.reset(new_fluid_synth(settings));
    }
    if (!result.synth)
        return fail("the synthesizer could not be created" +
                    (*last_fluid_error() ? std::string(": ") + last_fluid_error() : std::string()));
    return true;
}

// The SoundFont that `lent` lends.
fluid_sfont_t* of(fluid_sfont_t* lent)
{
    return static_cast<fluid_sfont_t*>(fluid_sfont_get_data(lent));
}

// A SoundFont that lends another synthesizer's loaded SoundFont: its presets
// are that SoundFont's own, and letting it go leaves that one alone.
fluid_sfont_t* lend_soundfont(fluid_sfont_t* loaded)
{
    fluid_sfont_t* lent = new_fluid_sfont(
        [](fluid_sfont_t* self) { return fluid_sfont_get_name(of(self)); },
        [](fluid_sfont_t* self, int bank, int program) { return fluid_sfont_get_preset(of(self), bank, program); },
        [](fluid_sfont_t* self) { fluid_sfont_iteration_start(of(self)); },
        [](fluid_sfont_t* self) { return fluid_sfont_iteration_next(of(self)); },
        [](fluid_sfont_t* self) {
            delete_fluid_sfont(self);
            return 0;
        });
    if (lent)
        fluid_sfont_set_data(lent, loaded);
    return lent;
}

}  // namespace

std::optional<GsSynth> create_gs_synth(const std::string& chosen_soundfont, double sample_rate,
                                       std::string* why, const SoundFontSearch& search)
{
    silence_sound_libraries();
    auto fail = [why](std::string reason) -> std::optional<GsSynth> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };

    const std::vector<std::string> candidates = soundfont_candidates(chosen_soundfont, search);
    if (candidates.empty()) {
        if (!chosen_soundfont.empty())
            return fail("no SoundFont found: \"" + chosen_soundfont +
                        "\" does not exist and no system SoundFont is installed");
        return fail("no SoundFont found (install a General MIDI SoundFont such as "
                    "timgm6mb-soundfont or fluid-soundfont-gm)");
    }

    GsSynth result;
    if (!make_empty_gs_synth(result, sample_rate, why))
        return std::nullopt;
    // Tried before FluidSynth's own loader, which stays as the fallback.
    if (fluid_sfloader_t* loader = new_soundfont_loader(result.settings.get()))
        fluid_synth_add_sfloader(result.synth.get(), loader);

    std::string first_failure;
    for (const std::string& path : candidates) {
        clear_fluid_error();
        const QuietSoundFontLoading quiet;
        if (fluid_synth_sfload(result.synth.get(), path.c_str(), 1) != FLUID_FAILED) {
            result.soundfont = path;
            result.soundfonts = {path};
            break;
        }
        if (first_failure.empty())
            first_failure = "\"" + path + "\" is not a usable SoundFont";
    }
    if (result.soundfont.empty())
        return fail("no SoundFont could be loaded: " + first_failure);
    // Loaded last, searched first: a supplement answers for the presets it
    // has, the SoundFont under it for all the others. One that cannot be
    // loaded is left out; the music still plays, falling back as before.
    for (const std::string& path : soundfont_supplements(chosen_soundfont, search)) {
        clear_fluid_error();
        const QuietSoundFontLoading quiet;
        if (fluid_synth_sfload(result.synth.get(), path.c_str(), 1) != FLUID_FAILED)
            result.soundfonts.push_back(path);
    }
    return result;
}

std::optional<GsSynth> create_gs_synth_sharing(const GsSynth& loaded, std::string* why)
{
    const int count = fluid_synth_sfcount(loaded.synth.get());
    if (count <= 0) {
        if (why)
            *why = "the synthesizer to share with has no SoundFont";
        return std::nullopt;
    }
    GsSynth result;
    if (!make_empty_gs_synth(result, loaded.sample_rate, why))
        return std::nullopt;
    // FluidSynth counts its stack from the top (the one searched first);
    // the bottom is added first, so that the stack is the same.
    for (int index = count - 1; index >= 0; --index) {
        fluid_sfont_t* lent = lend_soundfont(fluid_synth_get_sfont(loaded.synth.get(), index));
        if (!lent || fluid_synth_add_sfont(result.synth.get(), lent) == FLUID_FAILED) {
            if (lent)
                delete_fluid_sfont(lent);
            if (why)
                *why = "the SoundFont could not be shared";
            return std::nullopt;
        }
    }
    result.soundfont = loaded.soundfont;
    result.soundfonts = loaded.soundfonts;
    return result;
}

}  // namespace tambelo
