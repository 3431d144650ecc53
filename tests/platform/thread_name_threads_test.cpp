// A thread's name as the system lists it: long names are cut, not refused.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/thread_name.h"

namespace {

std::string listedName()
{
    std::ifstream comm("/proc/self/task/" + std::to_string(::syscall(SYS_gettid)) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

TEST(ThreadName, TheSystemListsTheNameCutToFifteenBytes)
{
    struct Row {
        const char* given;
        const char* listed;
    };
    for (const Row& row : {Row{"vrmt-io", "vrmt-io"}, Row{"vrmt-flightplans", "vrmt-flightplan"},
                           Row{"Traffic Reader", "Traffic Reader"}, Row{"", ""}}) {
        SCOPED_TRACE(row.given);
        std::string seen;
        std::thread([&] {
            platform::nameThisThread(row.given);
            seen = listedName();
        }).join();
        EXPECT_EQ(seen, row.listed);
    }
}

}  // namespace
