#include "library/midi/sound_system.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fluidsynth.h>
#include <glib.h>
#include <jack/jack.h>
#include <link.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace tambelo {
namespace {

thread_local std::string fluid_error;
// Set while this library asks which log function FluidSynth calls.
thread_local bool probing_fluid_log = false;
thread_local bool probe_answered = false;

void keep_fluid_error(int level, const char* message, void*)
{
    if (probing_fluid_log) {
        probe_answered = true;
        return;
    }
    if ((level == FLUID_PANIC || level == FLUID_ERR) && message)
        fluid_error = message;
}

void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}
void ignore_jack_message(const char*) {}

// The ALSA and JACK handlers found when ours went in, to be put back at
// restore. Both libraries keep their handler in a variable anyone can read,
// and a handler carries no data, so putting one back is exact.
struct HostHandlers {
    snd_lib_error_handler_t alsa_error;
    void (*jack_error)(const char*);
    void (*jack_info)(const char*);
};

std::mutex handlers_lock;
bool ours_installed = false;
HostHandlers host_handlers;

// FluidSynth's log functions can only be set, never read: setting one
// answers the old function but not the data pointer that went with it, so a
// host's function, once replaced, could never be put back whole. Ours go in
// only when nothing but FluidSynth's own default can be there: when
// FluidSynth came into the process with this code, and before any code of
// the host's has run (at load). Otherwise FluidSynth's log is left alone.
bool fluid_log_ours = false;

// The position in the dynamic linker's load order of the object holding
// `address`, or -1.
int load_position(const void* address)
{
    struct Search {
        std::uintptr_t address;
        int index;
        int found;
    } search{reinterpret_cast<std::uintptr_t>(address), 0, -1};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (segment.p_type == PT_LOAD && s->address >= start && s->address - start < segment.p_memsz) {
                    s->found = s->index;
                    return 1;
                }
            }
            ++s->index;
            return 0;
        },
        &search);
    return search.found;
}

__attribute__((constructor)) void quiet_fluid_log_at_load()
{
    const int ours = load_position(reinterpret_cast<const void*>(&keep_fluid_error));
    const int fluidsynth = load_position(reinterpret_cast<const void*>(&fluid_set_log_function));
    if (ours < 0 || fluidsynth <= ours)
        return;  // the host had FluidSynth before us and may have set its own
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, keep_fluid_error, nullptr);
    fluid_log_ours = true;
}

// Whether FluidSynth calls our function for `level`: it answers a probe
// message that no other function sees as long as ours is in place.
bool fluid_log_is_ours(int level)
{
    probing_fluid_log = true;
    probe_answered = false;
    fluid_log(level, "%s", "");
    probing_fluid_log = false;
    return probe_answered;
}

// At unload (dlclose, or the end of a program holding this code), every log
// function of ours still in place gives way to FluidSynth's default, which
// is what was there before: a host that keeps FluidSynth loaded must not
// call into unmapped code. A host that has set its own since is left alone;
// the debug level is asked first, so such a host sees at most one empty
// debug message.
__attribute__((destructor)) void restore_fluid_log_at_unload()
{
    if (!fluid_log_ours || !fluid_log_is_ours(FLUID_DBG))
        return;
    fluid_set_log_function(FLUID_DBG, fluid_default_log_function, nullptr);
    for (int level : {FLUID_INFO, FLUID_WARN, FLUID_ERR})
        if (fluid_log_is_ours(level)) {
            fluid_set_log_function(level, fluid_default_log_function, nullptr);
            if (level == FLUID_ERR)
                fluid_set_log_function(FLUID_PANIC, fluid_default_log_function, nullptr);
        }
    fluid_log_ours = false;
}

}  // namespace

void silence_sound_libraries()
{
    std::lock_guard lock(handlers_lock);
    if (ours_installed)
        return;
    ours_installed = true;
    host_handlers.alsa_error = snd_lib_error;
    host_handlers.jack_error = jack_error_callback;
    host_handlers.jack_info = jack_info_callback;
    snd_lib_error_set_handler(ignore_alsa_error);
    jack_set_error_function(ignore_jack_message);
    jack_set_info_function(ignore_jack_message);
}

void restore_sound_libraries()
{
    std::lock_guard lock(handlers_lock);
    if (!ours_installed)
        return;
    ours_installed = false;
    // A handler the host has set since ours went in stays.
    if (snd_lib_error == ignore_alsa_error)
        snd_lib_error_set_handler(host_handlers.alsa_error);
    if (jack_error_callback == ignore_jack_message)
        jack_set_error_function(host_handlers.jack_error);
    if (jack_info_callback == ignore_jack_message)
        jack_set_info_function(host_handlers.jack_info);
}

namespace {

void ignore_glib_message(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

std::mutex quiet_loading_lock;
int quiet_loadings = 0;
guint quiet_handler = 0;

}  // namespace

QuietSoundFontLoading::QuietSoundFontLoading()
{
    std::lock_guard lock(quiet_loading_lock);
    if (quiet_loadings++ == 0)
        quiet_handler = g_log_set_handler(nullptr,
                                          static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR),
                                          ignore_glib_message, nullptr);
}

QuietSoundFontLoading::~QuietSoundFontLoading()
{
    std::lock_guard lock(quiet_loading_lock);
    if (--quiet_loadings == 0 && quiet_handler != 0) {
        g_log_remove_handler(nullptr, quiet_handler);
        quiet_handler = 0;
    }
}

const char* last_fluid_error()
{
    return fluid_error.c_str();
}

void clear_fluid_error()
{
    fluid_error.clear();
}

bool jack_server_running()
{
    silence_sound_libraries();
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("tambelo-probe", JackNoStartServer, &status);
    if (!probe)
        return false;
    jack_client_close(probe);
    return true;
}

double jack_server_sample_rate()
{
    silence_sound_libraries();
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("tambelo-probe", JackNoStartServer, &status);
    if (!probe)
        return 0.0;
    const double rate = jack_get_sample_rate(probe);
    jack_client_close(probe);
    return rate;
}

bool alsa_sequencer_available()
{
    silence_sound_libraries();
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0)
        return false;
    snd_seq_close(sequencer);
    return true;
}

}  // namespace tambelo
