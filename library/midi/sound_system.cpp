#include "library/midi/sound_system.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <jack/jack.h>

#include <mutex>
#include <string>

namespace tambelo {
namespace {

thread_local std::string fluid_error;

void keep_fluid_error(int level, const char* message, void*)
{
    if ((level == FLUID_PANIC || level == FLUID_ERR) && message)
        fluid_error = message;
}

void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}
void ignore_jack_message(const char*) {}

// The handlers found when ours went in, to be put back at restore.
struct HostHandlers {
    snd_lib_error_handler_t alsa_error;
    void (*jack_error)(const char*);
    void (*jack_info)(const char*);
    fluid_log_function_t fluid_log[LAST_LOG_LEVEL];
};

std::mutex handlers_lock;
bool ours_installed = false;
HostHandlers host_handlers;

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
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        host_handlers.fluid_log[level] = fluid_set_log_function(level, keep_fluid_error, nullptr);
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
    snd_lib_error_set_handler(host_handlers.alsa_error);
    jack_set_error_function(host_handlers.jack_error);
    jack_set_info_function(host_handlers.jack_info);
    // FluidSynth hands back a log function but not its data pointer; the
    // host's functions get null data back (its default function needs none).
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, host_handlers.fluid_log[level], nullptr);
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
