// Loads tambelo.dll as any front end written for it does: by name, binding
// every export by its name (and, to prove the two agree, by its ordinal),
// and calls the exports through standard-call pointers in the front end's
// order, checking after each call that the callee removed exactly the
// argument bytes its caller pushed.
//   dll_loader SET_FOLDER
// Prints one line per step; exits 0 when every check held.

#include "tests/windows/checked_call.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

int failures = 0;

void check(bool held, const std::string& what)
{
    std::printf("%s %s\n", held ? "ok  " : "FAIL", what.c_str());
    if (!held)
        ++failures;
}

struct Export {
    const char* name;
    WORD ordinal;
    int argument_count;  // 32-bit words
    FARPROC address = nullptr;
};

Export exports[] = {
    {"initialize", 1, 0}, {"release", 2, 0},  {"open_file", 3, 2}, {"play_music", 4, 1},
    {"stop_music", 5, 0}, {"get_next", 6, 1}, {"get_prev", 7, 1},
};

std::uintptr_t call(const char* name, std::uintptr_t first = 0, std::uintptr_t second = 0)
{
    for (const Export& entry : exports) {
        if (std::string(entry.name) != name)
            continue;
        const std::uintptr_t arguments[2] = {first, second};
        std::int32_t left = 0;
        const std::uintptr_t result = call_checked(entry.address, arguments, entry.argument_count, left);
        check(left == 0, std::string(name) + " removes its " + std::to_string(entry.argument_count * 4) +
                             " argument bytes (left " + std::to_string(left) + ")");
        return result;
    }
    check(false, std::string("no export ") + name);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dll_loader SET_FOLDER\n");
        return 2;
    }
    const HMODULE library = LoadLibraryA("tambelo.dll");
    check(library != nullptr, "LoadLibrary(\"tambelo.dll\")");
    if (library == nullptr)
        return 1;
    for (Export& entry : exports) {
        entry.address = GetProcAddress(library, entry.name);
        const FARPROC by_ordinal =
            GetProcAddress(library, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(entry.ordinal)));
        check(entry.address != nullptr && entry.address == by_ordinal,
              std::string(entry.name) + " is ordinal " + std::to_string(entry.ordinal));
    }
    if (failures != 0)
        return 1;

    const std::string folder = argv[1];
    const std::string score = folder + "\\amus.dat";
    const std::string voice = folder + "\\amus.mda";

    // Start-up, the buttons, opening a set again, and shut-down.
    check(call("initialize") != 0, "initialize answers the Player");
    call("open_file", reinterpret_cast<std::uintptr_t>(score.c_str()),
         reinterpret_cast<std::uintptr_t>(voice.c_str()));
    call("play_music", 1);
    Sleep(300);
    const auto next = static_cast<std::int32_t>(call("get_next", 1));
    check(next == 2, "get_next(1) is 2 (got " + std::to_string(next) + ")");
    call("play_music", static_cast<std::uintptr_t>(next));
    Sleep(300);
    check(static_cast<std::int32_t>(call("get_prev", 2)) == 1, "get_prev(2) is 1");
    check(static_cast<std::int32_t>(call("get_prev", static_cast<std::uintptr_t>(static_cast<std::uint32_t>(-5)))) == 1,
          "get_prev(-5) is 1");
    std::int32_t last = 1;
    for (auto step = static_cast<std::int32_t>(call("get_next", 1)); step != last;
         step = static_cast<std::int32_t>(call("get_next", static_cast<std::uintptr_t>(last))))
        last = step;
    check(last > 1, "get_next stops at the last track, " + std::to_string(last));
    call("stop_music");
    Sleep(100);
    call("open_file", reinterpret_cast<std::uintptr_t>(score.c_str()),
         reinterpret_cast<std::uintptr_t>(voice.c_str()));
    call("play_music", 1);
    Sleep(300);
    const DWORD before_ms = GetTickCount();
    call("release");
    const DWORD release_ms = GetTickCount() - before_ms;
    check(release_ms < 3000, "release returns within 3 s (" + std::to_string(release_ms) + " ms)");
    // A second life after release, as the library's states allow.
    check(call("initialize") != 0, "initialize after release answers a new Player");
    call("release");

    check(FreeLibrary(library) != 0, "FreeLibrary");
    std::printf("%s\n", failures == 0 ? "all checks held" : "some checks failed");
    return failures == 0 ? 0 : 1;
}
