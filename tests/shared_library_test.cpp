#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

// The shared library as the window program sees it: loaded by path, each
// export found by its name.

std::string run_command(const std::string& command)
{
    std::string output;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return output;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe.get()))
        output += buffer.data();
    return output;
}

TEST(SharedLibrary, ExportsExactlyTheSevenFunctions)
{
    const std::string listing =
        run_command(std::string("nm -D --defined-only ") + TAMBELO_SHARED_LIBRARY);
    ASSERT_FALSE(listing.empty()) << "nm printed nothing";
    std::set<std::string> names;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        fields >> address >> kind >> name;
        names.insert(name);
    }
    const std::set<std::string> expected{"initialize", "release",  "open_file", "play_music",
                                         "stop_music", "get_next", "get_prev"};
    EXPECT_EQ(names, expected) << listing;
}

class BoundLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TAMBELO_MIDI_OUT", "none", 1);
        handle = dlopen(TAMBELO_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (handle)
            dlclose(handle);
    }

    template <typename Function>
    Function bind(const char* name)
    {
        void* address = dlsym(handle, name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<Function>(address);
    }

    void* handle = nullptr;
};

TEST_F(BoundLibrary, ExportsCanBeBoundByNameAndCalledInTheirOrder)
{
    auto initialize = bind<void* (*)()>("initialize");
    auto release = bind<void (*)()>("release");
    auto open_file = bind<void (*)(const char*, const char*)>("open_file");
    auto play_music = bind<void (*)(std::int32_t)>("play_music");
    auto stop_music = bind<void (*)()>("stop_music");
    auto get_next = bind<std::int32_t (*)(std::int32_t)>("get_next");
    auto get_prev = bind<std::int32_t (*)(std::int32_t)>("get_prev");
    ASSERT_FALSE(HasFailure());

    // Without a Player every call is harmless.
    EXPECT_EQ(get_next(1), 0);
    EXPECT_EQ(get_prev(3), 2);
    play_music(1);
    stop_music();
    release();

    void* player = initialize();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(initialize(), player);  // a second call starts nothing new
    open_file("/nonexistent/amus.dat", "/nonexistent/amus.mda");
    play_music(1);
    EXPECT_EQ(get_next(1), 0);
    EXPECT_EQ(get_prev(1), 1);
    stop_music();
    release();
    EXPECT_EQ(get_next(1), 0);
    release();
}

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
