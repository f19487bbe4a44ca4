#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fluidsynth.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// What a host does when it closes the window: load the library, start it on
// the default device, release it and unload it. The sound libraries stay
// loaded in the host, and their handlers must not point into the unloaded
// library afterwards. Runs `host_after_unload` in a child process after that
// sequence and answers the child's exit status. `device` names the output
// device (TAMBELO_MIDI_OUT); empty for the default one.
template <typename Host>
int status_after_unloading(Host host_after_unload, const char* device = "")
{
    const pid_t child = fork();
    if (child == 0) {
        setenv("TAMBELO_MIDI_OUT", device, 1);
        if (*device == '\0')
            unsetenv("TAMBELO_MIDI_OUT");
        void* handle = dlopen(TAMBELO_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            _exit(3);
        auto initialize = reinterpret_cast<void* (*)()>(dlsym(handle, "initialize"));
        auto release = reinterpret_cast<void (*)()>(dlsym(handle, "release"));
        if (initialize == nullptr || release == nullptr || initialize() == nullptr)
            _exit(4);
        release();
        dlclose(handle);
        _exit(host_after_unload());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

int host_errors = 0;
void count_host_error(const char*, int, const char*, int, const char*, ...)
{
    ++host_errors;
}

int open_bogus_pcm()
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "tambelo-no-such-device", SND_PCM_STREAM_PLAYBACK, 0) == 0)
        snd_pcm_close(pcm);
    return 0;
}

TEST(SharedLibraryUnloading, TheHostsOwnAlsaCallsWorkAfterReleaseAndUnload)
{
    const int status = status_after_unloading(open_bogus_pcm);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                : "exit status " + std::to_string(WEXITSTATUS(status)));
}

TEST(SharedLibraryUnloading, TheHostsOwnAlsaErrorHandlerIsBackAfterRelease)
{
    // Installed before the library is loaded; the child inherits it.
    snd_lib_error_set_handler(count_host_error);
    const int status = status_after_unloading([] {
        host_errors = 0;
        open_bogus_pcm();
        return host_errors > 0 ? 0 : 10;
    });
    snd_lib_error_set_handler(nullptr);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A host's FluidSynth log function and the data it set with it.
struct HostLog {
    int messages = 0;
} host_log;

void log_for_host(int, const char*, void* data)
{
    if (data != &host_log)
        _exit(20);  // the host's data pointer was lost
    ++host_log.messages;
}

TEST(SharedLibraryUnloading, TheHostsOwnFluidSynthLogFunctionKeepsItsData)
{
    // Set before the library is loaded, with data; the child inherits it.
    // FluidSynth hands back a replaced function but not its data, so a
    // library that replaced it could only put it back with none.
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, log_for_host, &host_log);
    const int status = status_after_unloading(
        [] {
            host_log.messages = 0;
            fluid_log(FLUID_ERR, "the host's own message");
            return host_log.messages == 1 ? 0 : 10;
        },
        "synth");
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, fluid_default_log_function, nullptr);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                : "exit status " + std::to_string(WEXITSTATUS(status)));
}

}  // namespace
