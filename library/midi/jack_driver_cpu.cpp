#include "library/midi/jack_driver_cpu.h"

#include <sched.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include <charconv>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace tambelo {
namespace {

// The server's pid, from the peer of this process's connection to a JACK
// server's socket; 0 when there is none.
pid_t jack_server_pid()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int fd = -1;
        const std::string name = entry.path().filename().string();
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc())
            continue;
        sockaddr_un address{};
        socklen_t length = sizeof address;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sun_family != AF_UNIX)
            continue;
        const std::size_t path_length = length > offsetof(sockaddr_un, sun_path)
                                            ? length - offsetof(sockaddr_un, sun_path)
                                            : 0;
        // An unnamed peer (JACK's notification connection) has no path.
        if (path_length == 0 || address.sun_path[0] == '\0')
            continue;
        const std::string_view path(address.sun_path, strnlen(address.sun_path, path_length));
        if (!is_jack_server_socket(path))
            continue;
        ucred peer{};
        socklen_t peer_length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peer_length) == 0 && peer.pid > 0)
            return peer.pid;
    }
    return 0;
}

std::vector<ThreadSchedule> thread_schedules(pid_t pid)
{
    std::vector<ThreadSchedule> threads;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (std::getline(stat, line))
            if (auto schedule = parse_thread_stat(line))
                threads.push_back(*schedule);
    }
    return threads;
}

}  // namespace

std::optional<ThreadSchedule> parse_thread_stat(std::string_view line)
{
    // The command name, in parentheses, may hold spaces and parentheses of
    // its own: the fields go on after the last closing one.
    const std::size_t name_end = line.rfind(')');
    if (name_end == std::string_view::npos)
        return std::nullopt;
    std::istringstream fields(std::string(line.substr(name_end + 1)));
    // After the name: state is field 3; processor is 39, rt_priority 40, policy 41.
    const std::vector<std::string> words{std::istream_iterator<std::string>(fields),
                                         std::istream_iterator<std::string>()};
    constexpr std::size_t processor_at = 39 - 3;
    if (words.size() <= processor_at + 2)
        return std::nullopt;
    ThreadSchedule schedule;
    const auto read = [&](std::size_t at, int& value) {
        const std::string& word = words[at];
        return std::from_chars(word.data(), word.data() + word.size(), value).ec == std::errc();
    };
    if (!read(processor_at, schedule.cpu) || !read(processor_at + 1, schedule.rt_priority) ||
        !read(processor_at + 2, schedule.policy))
        return std::nullopt;
    return schedule;
}

int driver_thread_cpu(const std::vector<ThreadSchedule>& threads)
{
    const ThreadSchedule* driver = nullptr;
    for (const ThreadSchedule& thread : threads) {
        const bool real_time = thread.policy == SCHED_FIFO || thread.policy == SCHED_RR;
        if (real_time && thread.rt_priority > 0 && (!driver || thread.rt_priority > driver->rt_priority))
            driver = &thread;
    }
    return driver ? driver->cpu : -1;
}

bool is_jack_server_socket(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.starts_with("jack_");
}

int jack_driver_cpu()
{
    const pid_t server = jack_server_pid();
    return server > 0 ? driver_thread_cpu(thread_schedules(server)) : -1;
}

}  // namespace tambelo
