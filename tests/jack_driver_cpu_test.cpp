#include "library/midi/jack_driver_cpu.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <string>

namespace tambelo {
namespace {

// A stat line as the kernel writes it: pid, (command), then fields 3 to 52,
// with the CPU, real-time priority and policy at fields 39, 40 and 41.
std::string stat_line(const std::string& command, int cpu, int rt_priority, int policy)
{
    std::string line = "4242 (" + command + ")";
    for (int field = 3; field <= 52; ++field) {
        int value = field;
        if (field == 39)
            value = cpu;
        else if (field == 40)
            value = rt_priority;
        else if (field == 41)
            value = policy;
        line += field == 3 ? " S" : " " + std::to_string(value);
    }
    return line;
}

TEST(JackDriverCpu, ReadsTheScheduleAfterACommandNameOfAnyShape)
{
    const auto plain = parse_thread_stat(stat_line("jackd", 1, 10, SCHED_FIFO));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->cpu, 1);
    EXPECT_EQ(plain->rt_priority, 10);
    EXPECT_EQ(plain->policy, SCHED_FIFO);
    // Spaces and parentheses in the name do not shift the fields.
    const auto odd = parse_thread_stat(stat_line("a) (b 7 8", 3, 0, SCHED_OTHER));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->cpu, 3);
    EXPECT_EQ(odd->rt_priority, 0);
    EXPECT_FALSE(parse_thread_stat("4242 (jackd) S 1 2 3"));
    EXPECT_FALSE(parse_thread_stat("no name at all"));
}

TEST(JackDriverCpu, TheDriverIsTheRealTimeThreadOfHighestPriority)
{
    EXPECT_EQ(driver_thread_cpu({{0, 0, SCHED_OTHER}, {1, 10, SCHED_FIFO}, {0, 5, SCHED_RR}}), 1);
    EXPECT_EQ(driver_thread_cpu({{0, 0, SCHED_OTHER}, {1, 0, SCHED_OTHER}}), -1);
    EXPECT_EQ(driver_thread_cpu({}), -1);
}

TEST(JackDriverCpu, KnowsAJackSocketByItsName)
{
    EXPECT_TRUE(is_jack_server_socket("/dev/shm/jack_default_0_0"));
    EXPECT_TRUE(is_jack_server_socket("jack_livecheck_1000_0"));
    EXPECT_FALSE(is_jack_server_socket("/run/user/1000/pulse/native"));
    EXPECT_FALSE(is_jack_server_socket("/tmp/myjack_0"));
}

}  // namespace
}  // namespace tambelo
