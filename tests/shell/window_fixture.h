#pragma once
// The main window on the headless facade with its 44 controls, the shell's
// message line, a fake park airport and a Log.txt of its own; display-list
// queries for what the paint drew.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "core/airport_services_fake.h"
#include "core/log.h"
#include "platform/ui.h"
#include "shell/app_frame.h"
#include "shell/option_handlers.h"
#include "shell/shell_fixture.h"
#include "shell/window_paint.h"

struct DrawnText {
    int x = 0;
    int y = 0;
    std::string rgb;  // "#bbggrr"
    std::string text;
};

// "#bbggrr" as the display list writes a colour.
inline std::string rgbText(std::uint32_t c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%06x", c & 0xFFFFFFu);
    return buffer;
}

class WindowFixture : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        ui::resetUi();
        gf_openLog(folder_);
        setAppServices(&shellAppServices());
        ASSERT_TRUE(initInstance(programId));
        window = mainWindow().window.load();
        for (ComboParameter* c : {&RANGE, &MAX_LIVE_SEL, &MAX_PARK_SEL, &MATCHING_DEPTH, &AR_ABOVE_HEIGHT, &AIRP_RANGE,
                                  &AIRP_HEIGHT})
            c->fillControl();
        parkParametersChanged = false;
    }
    void TearDown() override
    {
        setOptionView(nullptr);
        mainWindow().window = 0;
        ui::resetUi();
        resetAppServices();
        closeLog();
        ShellFixture::TearDown();
    }

    ui::Handle item(const ParameterControl& c) const { return ui::dialogItem(window, c.controlId()); }

    std::vector<std::string> paint()
    {
        ui::driver::paint(window);
        return ui::displayList(window);
    }
    // Every drawn text that contains `part`.
    std::vector<DrawnText> findAll(const std::string& part)
    {
        std::vector<DrawnText> found;
        for (const std::string& line : paint()) {
            if (line.rfind("text ", 0) != 0) continue;
            DrawnText t;
            std::istringstream in(line.substr(5));
            char comma = 0;
            in >> t.x >> comma >> t.y >> t.rgb;
            in.get();
            std::getline(in, t.text);
            if (t.text.find(part) != std::string::npos) found.push_back(t);
        }
        return found;
    }
    std::optional<DrawnText> findText(const std::string& part)
    {
        auto all = findAll(part);
        if (all.empty()) return std::nullopt;
        return all.front();
    }
    bool filled(const std::string& rect, std::uint32_t c)
    {
        const std::string want = "fill " + rect + " " + rgbText(c);
        for (const std::string& line : paint())
            if (line == want) return true;
        return false;
    }
    std::string logText() const
    {
        std::ifstream in(folder_ / "Log.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A user action as the window procedure gets it.
    void click(const ParameterControl& c) { lf_HandleWMCOMMAND(window, c.controlId()); }
    void choose(const ComboParameter& c, int index)
    {
        ui::selectComboItem(item(c), index);
        lf_HandleWMCOMMAND(window, (ui::WParam{ui::CBN_SELCHANGE} << 16) | c.controlId());
    }
    void enter(const ParameterControl& c, const std::string& text)
    {
        ui::setWindowText(item(c), text);
        ui::sendMessage(item(c), ui::WM_CHAR, 13, 0);
    }
    std::string text(const ParameterControl& c) const { return ui::windowText(item(c)); }

    AirportServicesFake airports;
    ui::Handle window = 0;
};
