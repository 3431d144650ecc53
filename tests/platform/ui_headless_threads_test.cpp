#include "platform/ui.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<std::string> lf_log;

ui::LResult lf_procedure(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam)
{
    switch (message) {
    case ui::WM_PAINT: {
        lf_log.push_back("paint");
        ui::PaintContext pc(window);
        pc.text(3, 455, "hello", 0xFFFF00);
        return 0;
    }
    case ui::WM_COMMAND:
        lf_log.push_back("command " + std::to_string(wParam & 0xFFFF));
        return 0;
    case ui::WM_DESTROY:
        lf_log.push_back("destroy");
        ui::postQuitMessage(7);
        return 0;
    default:
        lf_log.push_back("message " + std::to_string(message));
        return 0;
    }
}

// An edit's own procedure and the one that replaces it.
ui::LResult lf_editOwn(ui::Handle, std::uint32_t message, ui::WParam wParam, ui::LParam)
{
    lf_log.push_back("edit own " + std::to_string(message) + " " + std::to_string(wParam));
    return 0;
}
ui::WindowProcedure lf_previous = nullptr;
ui::LResult lf_editSubclass(ui::Handle h, std::uint32_t message, ui::WParam wParam, ui::LParam lParam)
{
    if (message == ui::WM_CHAR && wParam == 13) {
        lf_log.push_back("enter: " + ui::windowText(h));
        return 0;
    }
    return ui::callWindowProcedure(lf_previous, h, message, wParam, lParam);
}

class Ui : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::resetUi();
        lf_log.clear();
        ui::CreateParams p;
        p.className = "main";
        p.procedure = lf_procedure;
        p.width = 880;
        p.height = 520;
        main = ui::createWindow(p);
    }
    void TearDown() override { ui::resetUi(); }
    ui::Handle main = 0;
};

TEST_F(Ui, PaintComesAfterEveryQueuedMessageAndTheLoopEndsOnQuit)
{
    ui::invalidate(main);
    ui::invalidate(main);  // one paint for both
    ui::postMessage(main, ui::WM_APP + 1, 0, 0);
    ui::postMessage(main, ui::WM_APP + 2, 0, 0);
    std::thread poster([this] { ui::postMessage(main, ui::WM_CLOSE, 0, 0); });
    poster.join();
    // The quit after the paint: destroy the window once it has painted.
    std::thread ender([this] {
        ASSERT_TRUE(ui::driver::waitIdle());
        ui::postMessage(main, ui::WM_APP + 3, 0, 0);
    });
    ui::setWindowProcedure(main, [](ui::Handle w, std::uint32_t m, ui::WParam wp, ui::LParam lp) -> ui::LResult {
        if (m == ui::WM_APP + 3) {
            ui::destroyWindow(w);
            return 0;
        }
        return lf_procedure(w, m, wp, lp);
    });
    EXPECT_EQ(ui::runMessageLoop(), 7);
    ender.join();
    EXPECT_EQ(lf_log, (std::vector<std::string>{"message 32769", "message 32770", "message 16", "paint", "destroy"}));
    EXPECT_FALSE(ui::isWindow(main));
}

TEST_F(Ui, ControlsAndTheDriver)
{
    ui::CreateParams box;
    box.className = "button";
    box.style = ui::WS_CHILD | ui::BS_CHECKBOX;
    box.parent = main;
    box.id = 0x801D;
    const ui::Handle check = ui::createWindow(box);
    ui::CreateParams edit;
    edit.className = "Edit";
    edit.parent = main;
    edit.id = 0x8030;
    edit.procedure = lf_editOwn;
    const ui::Handle e = ui::createWindow(edit);
    lf_previous = ui::setWindowProcedure(e, lf_editSubclass);
    ui::CreateParams combo;
    combo.className = "ComboBox";
    combo.parent = main;
    combo.id = 0x8040;
    const ui::Handle c = ui::createWindow(combo);
    ui::setComboItems(c, {"10", "20", "40"}, 2);
    EXPECT_EQ(ui::dialogItem(main, 0x8030), e);

    ui::driver::click(main, 0x801D);
    ui::driver::type(main, 0x8030, "EHAM");
    ui::driver::pressEnter(main, 0x8030);
    ui::postMessage(e, ui::WM_CHAR, 'x', 0);
    ui::driver::select(main, 0x8040, 1);
    ui::postQuitMessage(0);
    ui::runMessageLoop();
    EXPECT_TRUE(ui::isChecked(check));
    EXPECT_EQ(ui::selectedComboItem(c), 1);
    EXPECT_EQ(lf_log, (std::vector<std::string>{"command 32797", "enter: EHAM", "edit own 258 120", "command 32832"}));

    ui::driver::paint(main);
    EXPECT_EQ(ui::displayList(main), (std::vector<std::string>{"text 3,455 #ffff00 hello"}));
    ui::enableWindow(e, false);
    EXPECT_FALSE(ui::isWindowEnabled(e));
    ui::CreateParams orphan;
    orphan.parent = 12345;
    EXPECT_EQ(ui::createWindow(orphan), 0u) << "no such parent";
}

}  // namespace
