#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/options.h"
#include "core/parameters.h"
#include "platform/clock.h"
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

// Stands for the window code: each control update waits for the UI thread (as
// SendMessage does), and the UI thread is busy saving an option the user just
// clicked. The start-up load must not hold the file while it waits.
class UiThreadView : public OptionView {
public:
    ~UiThreadView() override { joinUiThreads(); }

    bool isLive(ControlHandle) const override { return true; }
    void setCheck(const ParameterControl&, bool) override { waitForUiThread(); }
    void setComboItems(const ParameterControl&, const std::vector<std::string>&, int) override {}
    void selectComboItem(const ParameterControl&, int) override { waitForUiThread(); }
    void setText(const ParameterControl&, const std::string&) override { waitForUiThread(); }
    void enable(const ParameterControl&, bool) override {}

    void joinUiThreads()
    {
        for (auto& t : uiThreads_) t.join();
        uiThreads_.clear();
    }

    int updates = 0;
    bool stuck = false;

private:
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };

    void waitForUiThread()
    {
        ++updates;
        if (stuck) return;  // one time-out tells it all
        auto state = std::make_shared<Done>();
        uiThreads_.emplace_back([state] {
            ALWAYS_ON_TOP.set(true);
            saveBoolParameter(&ALWAYS_ON_TOP);
            std::lock_guard lock(state->mutex);
            state->done = true;
            state->cv.notify_all();
        });
        std::unique_lock lock(state->mutex);
        if (!platform::clock().waitFor(state->cv, lock, std::chrono::seconds(10), [&] { return state->done; }))
            stuck = true;  // the UI thread waits for the file the load still holds
    }

    std::vector<std::thread> uiThreads_;
};

TEST_F(ParametersThreadsTest, ControlsAreUpdatedWithoutHoldingTheFile)
{
    UiThreadView view;
    setOptionView(&view);
    for (ParameterControl* c : std::initializer_list<ParameterControl*>{&LOG, &MAX_FIT, &RANGE, &BLOCK_CALLSIGN})
        c->setWindow(reinterpret_cast<ControlHandle>(1));

    for (bool fileExists : {false, true}) {
        SCOPED_TRACE(fileExists ? "existing file" : "new file");
        view.updates = 0;
        loadStored();
        view.joinUiThreads();
        EXPECT_FALSE(view.stuck);
        EXPECT_EQ(view.updates, 4);
        EXPECT_EQ(valueOf("ALWAYS_ON_TOP"), "true");
    }
    setOptionView(nullptr);
}

}  // namespace
