#include <gtest/gtest.h>

#include <fstream>

#include "platform/ui.h"
#include "shell/app_frame.h"
#include "shell_fixture.h"

namespace {

class Frame : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        ui::resetUi();
    }
    void TearDown() override
    {
        mainWindow().window = 0;
        setOptionView(nullptr);
        ui::resetUi();
        ShellFixture::TearDown();
    }
    ui::Handle control(const ParameterControl& c) { return controlHandle(c); }
};

TEST_F(Frame, ControlsAreMadeFromTheirRecords)
{
    SIM_TIME.set(true);
    LOG.set(false);
    ASSERT_TRUE(initInstance(programId));
    const ui::Handle window = mainWindow().window.load();
    EXPECT_EQ(ui::windowRect(window).left, 400);
    struct Row {
        const ParameterControl* record;
        bool checked;
        bool enabled;
        std::string text;
    };
    const Row rows[] = {
        {&SIM_TIME, true, true, ""},
        {&LOG, false, true, ""},
        {&TIME_SHIFT_DAYS, false, false, ""},
        {&BLOCK_CALLSIGN, false, false, ""},
        {&FLUSH_STATIC, false, false, "Flush static"},
        {&RE_READ, false, false, "Re-read"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.record->controlId());
        const ui::Handle h = control(*r.record);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(ui::dialogItem(window, r.record->controlId()), h);
        EXPECT_EQ(ui::isChecked(h), r.checked);
        EXPECT_EQ(ui::isWindowEnabled(h), r.enabled);
        EXPECT_EQ(ui::windowText(h), r.text);
    }
    // The combo boxes hold their choices, the current one selected.
    const auto items = ui::comboItems(control(RANGE));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.at(static_cast<std::size_t>(ui::selectedComboItem(control(RANGE)))),
              std::to_string(RANGE.get()));
    // The core's control calls reach them.
    BLOCK_CALLSIGN.set("KLM1");
    showStringParameterText(BLOCK_CALLSIGN);
    EXPECT_EQ(ui::windowText(control(BLOCK_CALLSIGN)), "KLM1");
    UNBLOCK.enable(true);
    EXPECT_TRUE(ui::isWindowEnabled(control(UNBLOCK)));
}

TEST_F(Frame, ACloseWithoutAWorkerSavesThePositionAndQuits)
{
    ASSERT_TRUE(initInstance(programId));
    const ui::Handle window = mainWindow().window.load();
    ui::moveWindow(window, -40000, 77);  // off every screen: the left edge is kept as it was
    ui::driver::close(window);
    EXPECT_EQ(ui::runMessageLoop(), 0);
    EXPECT_FALSE(ui::isWindow(window));
    EXPECT_EQ(closingReason(), ClosingReason::UserClosedSim);
    EXPECT_TRUE(windowClosedFlag.load());
    EXPECT_TRUE(closingFlag.load());
    EXPECT_EQ(MAIN_WINDOW_X.get(), 400);
    EXPECT_EQ(MAIN_WINDOW_Y.get(), 77);
    std::ifstream in(parametersFile());
    const std::string stored{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(stored.find("name=\"MAIN_WINDOW_Y\" value=\"77\""), std::string::npos);
}

TEST_F(Frame, AnEarlierReasonWinsOverTheClose)
{
    ASSERT_TRUE(initInstance(programId));
    requestClosing(ClosingReason::ReaderError, 15);
    ui::driver::close(mainWindow().window.load());
    ui::runMessageLoop();
    EXPECT_EQ(closingReason(), ClosingReason::ReaderError);
    EXPECT_TRUE(windowClosedFlag.load());
}

TEST_F(Frame, ARestartThatMeetsACloseQuits)
{
    ASSERT_TRUE(initInstance(programId));
    windowClosedFlag = true;
    ui::postMessage(mainWindow().window.load(), WM_APP_START_WORKER, 0, 0);
    EXPECT_EQ(ui::runMessageLoop(), 0);
    EXPECT_EQ(calls.count("readDbase"), 0u) << "no worker started";
}

TEST_F(Frame, PositionAtABound)
{
    struct Row {
        std::int32_t stored;
        std::int32_t given;
        std::int32_t after;
    };
    const Row rows[] = {{-30000, 120, 120}, {30000, -5, -5}, {500, 120, 500}, {-30000, 99999, 30000}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.stored);
        MAIN_WINDOW_X.set(r.stored);
        resetWindowPosAtBound(r.given, MAIN_WINDOW_Y.get());
        EXPECT_EQ(MAIN_WINDOW_X.get(), r.after);
    }
}

TEST_F(Frame, ServiceAddressAndKey)
{
    ::unsetenv("VRMT_SERVICE_URL");
    ::unsetenv("VRMT_SERVICE_KEY");
    EXPECT_EQ(configuredServiceUrl(), "https://rtw.flyrealtraffic.com");
    RT_LICENSE.set("from-file");
    EXPECT_EQ(configuredServiceKey(), "from-file");
    ::setenv("VRMT_SERVICE_URL", "http://127.0.0.1:9", 1);
    ::setenv("VRMT_SERVICE_KEY", "from-env", 1);
    EXPECT_EQ(configuredServiceUrl(), "http://127.0.0.1:9");
    EXPECT_EQ(configuredServiceKey(), "from-env");
    ::unsetenv("VRMT_SERVICE_URL");
    ::unsetenv("VRMT_SERVICE_KEY");
}

}  // namespace
