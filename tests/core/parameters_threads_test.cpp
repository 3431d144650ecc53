#include <gtest/gtest.h>

#include <thread>

#include "core/options.h"
#include "core/parameters.h"
#include "support/parameters_fixture.h"

namespace {

class ParametersThreadsTest : public ParametersFixture {};

// The UI thread saves what the user changes while the worker saves its own
// options: no save may lose another's entry, and the file is never seen half-written.
TEST_F(ParametersThreadsTest, ConcurrentSavesKeepEveryFinalValue)
{
    loadStored();
    const std::size_t entryCount = entries().size();
    constexpr int kRounds = 200;

    std::thread ui([] {
        for (int i = 1; i <= kRounds; ++i) {
            MAX_FIT.set(i % 48);
            saveIntParameter(&MAX_FIT);
            setStringParameter(&BLOCK_CALLSIGN, "CS" + std::to_string(i));
        }
    });
    std::thread worker([] {
        for (int i = 1; i <= kRounds; ++i) {
            WEEK.set(i % 2 == 0);
            saveBoolParameter(&WEEK);
            PROGRAM_VERSION.set("11.0." + std::to_string(i));
            saveStringParameter(&PROGRAM_VERSION);
        }
    });
    std::thread reader([this] {
        // A reader of the file never meets a broken one.
        for (int i = 0; i < kRounds; ++i) {
            EXPECT_GE(entries().size(), 1u);
            (void)BLOCK_CALLSIGN.get();  // the traffic reader compares it meanwhile
        }
    });
    ui.join();
    worker.join();
    reader.join();

    EXPECT_EQ(entries().size(), entryCount);
    EXPECT_EQ(valueOf("MAX_FIT"), std::to_string(kRounds % 48));
    EXPECT_EQ(valueOf("BLOCK_CALLSIGN"), "CS" + std::to_string(kRounds));
    EXPECT_EQ(valueOf("WEEK"), "true");
    EXPECT_EQ(valueOf("PROGRAM_VERSION"), "11.0." + std::to_string(kRounds));
    EXPECT_EQ(valueOf("RANGE"), "40");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "parameters.xml.tmp"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "parameters.xml.bak"));
}

}  // namespace
