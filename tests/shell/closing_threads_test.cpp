// The closing down on its own thread, as the worker runs it: a system error
// keeps the program open until the user closes the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/ui.h"
#include "core/errors.h"
#include "shell/closing.h"
#include "shell/edit_controls.h"
#include "shell_fixture.h"

namespace {

std::atomic<std::uint32_t> lf_posted{0};
ui::LResult lf_recorder(ui::Handle, std::uint32_t message, ui::WParam, ui::LParam)
{
    lf_posted = message;
    return 0;
}

class ClosingThreads : public ShellFixture {};

TEST_F(ClosingThreads, ASystemErrorWaitsForTheUsersClose)
{
    platform::ScopedClock fast(std::make_shared<platform::ScaledClock>(0.01));
    ui::resetUi();
    ui::CreateParams p;
    p.procedure = lf_recorder;
    const ui::Handle window = ui::createWindow(p);
    mainWindow().window = window;
    AppServicesFake app;
    requestClosing(ClosingReason::SystemError, 0);
    std::atomic<bool> ended{false};
    std::thread worker([&ended] {
        lf_closingDown();
        ended = true;
    });
    std::thread loop([] { ui::runMessageLoop(); });
    // Twenty seconds of program time pass: still open.
    platform::sleepFor(std::chrono::seconds(20));
    EXPECT_FALSE(ended.load());
    EXPECT_EQ(lf_posted.load(), 0u);
    windowClosedFlag = true;  // the user closes
    worker.join();
    EXPECT_TRUE(ui::driver::waitIdle());
    ui::postQuitMessage(0);
    loop.join();
    EXPECT_EQ(lf_posted.load(), WM_APP_SAVE_AND_QUIT);
    mainWindow().window = 0;
    ui::resetUi();
}

// After start-up error 151 (no install path) the user types one that exists:
// the run restarts, as the message line promises.
TEST_F(ClosingThreads, AnInstallPathTypedAfterError151Restarts)
{
    platform::ScopedClock fast(std::make_shared<platform::ScaledClock>(0.01));
    ui::resetUi();
    ui::CreateParams p;
    p.procedure = lf_recorder;
    lf_posted = 0;
    const ui::Handle window = ui::createWindow(p);
    mainWindow().window = window;
    AppServicesFake app;
    runWithExceptionLadder([] { throw qxv::UserErrorException(151, "No P3D install path detected"); });
    ASSERT_EQ(closingReason(), ClosingReason::SystemError);
    std::atomic<bool> ended{false};
    std::thread worker([&ended] {
        lf_closingDown();
        ended = true;
    });
    std::thread loop([] { ui::runMessageLoop(); });
    platform::sleepFor(std::chrono::seconds(5));
    EXPECT_FALSE(ended.load());
    applyInstallPath(folder_.string());  // the UI thread's handler of the edit field
    worker.join();
    EXPECT_TRUE(ui::driver::waitIdle());
    ui::postQuitMessage(0);
    loop.join();
    EXPECT_EQ(lf_posted.load(), WM_APP_START_WORKER);
    EXPECT_EQ(SIM_INSTALL_PATH.get(), folder_.string());
    const auto messages = app.messages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const AppServicesFake::Message& m) {
        return m.text == "Install path exists, VRMT_P3D will restart";
    }));
    mainWindow().window = 0;
    ui::resetUi();
}

}  // namespace
