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

}  // namespace

void silence_sound_libraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, keep_fluid_error, nullptr);
        snd_lib_error_set_handler(ignore_alsa_error);
        jack_set_error_function(ignore_jack_message);
        jack_set_info_function(ignore_jack_message);
    });
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
