#include <gtest/gtest.h>

#include <dlfcn.h>

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

}  // namespace
