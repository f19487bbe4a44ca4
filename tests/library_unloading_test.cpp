#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// What a host does when it closes the window: load the library, start it on
// the default device, release it and unload it. The sound libraries stay
// loaded in the host, and their handlers must not point into the unloaded
// library afterwards. Runs `host_after_unload` in a child process after that
// sequence and answers the child's exit status.
template <typename Host>
int status_after_unloading(Host host_after_unload)
{
    const pid_t child = fork();
    if (child == 0) {
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

}  // namespace
