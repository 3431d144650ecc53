// The main window's controls at creation, what its paint draws under which
// conditions, and the message line.
#include "shell/window_fixture.h"

namespace {

class Window : public WindowFixture {};

TEST_F(Window, ControlsAtCreation)
{
    enum Kind { check, edit, button, combo };
    struct Row {
        const ParameterControl* record;
        std::uint16_t id;
        Kind kind;
        ui::Rect rect;
        bool enabled;
        std::string text;
    };
    const Row rows[] = {
        {&ALL_INSTALL_PATH, 32788, edit, {111, 119, 1311, 135}, false, ""},
        {&SCAN_LIVERIES, 32797, check, {5, 149, 17, 161}, true, ""},
        {&ALWAYS_ON_TOP, 32771, check, {748, 149, 760, 161}, true, ""},
        {&LEARN_SOFT, 32777, check, {748, 177, 760, 189}, true, ""},
        {&MATCHING_DEPTH, 32808, combo, {217, 198, 257, 318}, true, ""},
        {&RANGE, 32818, combo, {217, 226, 267, 426}, true, ""},
        {&AUTO_RANGE, 32819, check, {323, 233, 335, 245}, true, ""},
        {&AR_ABOVE_HEIGHT, 32820, combo, {455, 226, 525, 456}, true, ""},
        {&TIME_SHIFT_DAYS, 32859, edit, {748, 259, 778, 275}, false, ""},
        {&TIME_SHIFT_HOURS, 32860, edit, {748, 231, 778, 247}, false, ""},
        {&BLOCK_CALLSIGN, 32828, edit, {217, 259, 317, 275}, false, ""},
        {&UNBLOCK, 32829, button, {323, 257, 393, 277}, false, "Unblock"},
        {&MAX_PARK_SEL, 32846, combo, {323, 310, 378, 454}, true, ""},
        {&MAX_LIVE_SEL, 32847, combo, {536, 310, 591, 454}, true, ""},
        {&DESTINATION, 32839, edit, {217, 343, 267, 359}, false, ""},
        {&AIRP_HEIGHT, 32841, combo, {566, 338, 636, 568}, true, ""},
        {&parking_percentage, 32848, edit, {323, 371, 357, 387}, false, ""},
        {&MAX_FIT_FL, 32855, edit, {566, 371, 600, 387}, false, ""},
        {&RT_PARKTRAFFIC_ONLY, 32857, check, {642, 373, 654, 385}, true, ""},
        {&RE_READ, 32838, button, {758, 341, 848, 361}, false, "Re-read"},
        {&FLUSH_STATIC, 32858, button, {758, 369, 848, 389}, false, "Flush static"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        const ui::Handle h = ui::dialogItem(window, r.id);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(h, controlHandle(*r.record));
        const ui::Rect got = ui::windowRect(h);
        EXPECT_EQ(got.left, r.rect.left);
        EXPECT_EQ(got.top, r.rect.top);
        EXPECT_EQ(got.right, r.rect.right);
        EXPECT_EQ(got.bottom, r.rect.bottom);
        EXPECT_EQ(ui::isWindowEnabled(h), r.enabled);
        EXPECT_EQ(ui::windowText(h), r.text);
        if (r.kind == check) {
            EXPECT_EQ(ui::isChecked(h), dynamic_cast<const CheckboxParameter*>(r.record)->get());
        }
    }
    // 26 boxes, 7 combos, 8 edits, 3 buttons; MAX_FIT has a record but no control.
    int controls = 0;
    for (Parameter* p : allOptionRecords())
        if (auto* c = dynamic_cast<ParameterControl*>(p); c && controlHandle(*c)) ++controls;
    EXPECT_EQ(controls, 44);
    EXPECT_EQ(controlHandle(MAX_FIT), 0u);
    // The wide install path runs past the window's right edge.
    EXPECT_GT(ui::windowRect(item(ALL_INSTALL_PATH)).right, clientWidth);
    // Enter in an edit reaches its own procedure, which consumes it.
    EXPECT_EQ(ui::sendMessage(item(BLOCK_CALLSIGN), ui::WM_CHAR, 13, 0), 0);
}

TEST_F(Window, BandsLinesAndTitle)
{
    using namespace colour;
    EXPECT_TRUE(filled("0,0,880,28", black));
    EXPECT_TRUE(filled("0,28,880,112", black));
    EXPECT_TRUE(filled("0,112,880,392", lightBlue));
    EXPECT_TRUE(filled("0,392,880,448", black));
    EXPECT_TRUE(filled("0,448,880,476", green));
    EXPECT_TRUE(filled("0,449,880,450", white));
    EXPECT_TRUE(filled("642,140,643,308", black));
    EXPECT_TRUE(filled("0,168,642,169", black));
    const auto version = findText("Version 11.0.3");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->x, 3);
    EXPECT_EQ(version->y, 7);
    EXPECT_EQ(version->rgb, rgbText(green));
    ASSERT_TRUE(findText(buildNotice));
    EXPECT_EQ(findText(buildNotice)->x, 632);
    // Every one of the fixed labels is drawn once at its row.
    const auto airportParking = findText("Airport parking");
    ASSERT_TRUE(airportParking);
    EXPECT_EQ(airportParking->y, 315);
    EXPECT_EQ(airportParking->rgb, rgbText(black));
}

TEST_F(Window, StatusBandConditions)
{
    using namespace colour;
    StatusPanel& s = statusPanel();
    MainWindowState& w = mainWindow();
    struct Row {
        const char* name;
        bool connected, running, userKnown;
        std::string title;
        bool loggedIn;
        bool restartMark;
        std::int32_t weatherLamp, trafficLamp, qnh;
        std::uint32_t simColour, rtColour;
        std::optional<std::string> qnhText;  // nothing: not drawn
        bool trafficDrawn;
    };
    const Row rows[] = {
        {"not connected", false, false, false, "", false, false, 3, 3, 1013, red, red, std::nullopt, false},
        {"connected, not running", true, false, true, "B738", true, false, 1, 1, 1013, yellow, green, "qnh: 1013", true},
        {"connected, no title", true, true, true, "", true, false, 2, 3, 1013, yellow, green, "qnh: 1013", false},
        {"ready", true, true, true, "B738", true, false, 1, 2, 1013, green, green, "qnh: 1013", true},
        {"qnh below 1", true, true, true, "B738", true, false, 1, 1, 0, green, green, "", true},
        {"weather off", true, true, true, "B738", true, false, 3, 1, 1013, green, green, std::nullopt, true},
        {"not logged in", true, true, true, "B738", false, false, 1, 1, 1013, green, red, std::nullopt, false},
        {"restart mark", true, true, true, "B738", true, true, 1, 1, 1013, green, black, "qnh: 1013", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        s.simConnected = r.connected;
        s.simRunning = r.running;
        s.userAircraftKnown = r.userKnown;
        s.userAcTitle.set(r.title);
        s.simLabel.set("Prepar3D v5");
        w.loggedIn = r.loggedIn;
        w.restartMark = r.restartMark;
        s.weatherLamp = r.weatherLamp;
        s.trafficLamp = r.trafficLamp;
        s.qnh = r.qnh;
        EXPECT_TRUE(filled("397,30,425,112", r.simColour));
        EXPECT_TRUE(filled("425,30,453,112", r.rtColour));
        const auto qnh = findAll("");
        std::optional<std::string> qnhText;
        bool traffic = false;
        for (const DrawnText& t : qnh) {
            if (t.x == 642 && t.y == 63) qnhText = t.text;
            if (t.x == 642 && t.y == 91) traffic = true;
        }
        EXPECT_EQ(qnhText, r.qnhText);
        EXPECT_EQ(traffic, r.trafficDrawn);
        const auto line = findText("Prepar3D v5");
        EXPECT_EQ(line.has_value(), r.connected);
        if (line) { EXPECT_EQ(line->rgb, rgbText(r.simColour)); }
    }
    s.standText.set("GATE 12");
    EXPECT_EQ(findText("Prepar3D v5")->text, "Prepar3D v5, user stand GATE 12");
    s.trafficLamp = 1;
    s.liveCount = 7;
    EXPECT_EQ(findText("live:")->text, "live:   7");
}

TEST_F(Window, CountersOfTheStatusBand)
{
    using namespace colour;
    struct Row {
        std::int32_t liveries, simaddon, thirdp;
        bool orbxDone;
        std::string liveriesText, simaddonText, thirdpText;
        std::uint32_t liveriesColour, simaddonColour, thirdpColour;
    };
    const Row rows[] = {
        {0, 0, 0, true, "# liveries: ...", "# simaddon: ...", "# thirdp: ...", red, yellow, yellow},
        {12, 3, 4, true, "# liveries: 12", "# simaddon: 3", "# thirdp: 4", green, green, green},
        {12, 3, 4, false, "# liveries: 12", "# simaddon: 3", "# thirdp: 4", green, yellow, green},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.liveriesText + r.simaddonText);
        statusPanel().liveriesCount = r.liveries;
        statusPanel().orbxDone = r.orbxDone;
        mainWindow().myOrbxCount = r.simaddon;
        mainWindow().myThirdpartyCount = r.thirdp;
        EXPECT_EQ(findText("# liveries")->text, r.liveriesText);
        EXPECT_EQ(findText("# liveries")->rgb, rgbText(r.liveriesColour));
        EXPECT_EQ(findText("# simaddon")->text, r.simaddonText);
        EXPECT_EQ(findText("# simaddon")->rgb, rgbText(r.simaddonColour));
        EXPECT_EQ(findText("# thirdp")->text, r.thirdpText);
        EXPECT_EQ(findText("# thirdp")->rgb, rgbText(r.thirdpColour));
    }
}

TEST_F(Window, LabelColourRules)
{
    using namespace colour;
    struct Row {
        const char* name;
        std::function<void()> set;
        std::string label;
        std::optional<std::uint32_t> rgb;  // nothing: not drawn
    };
    const Row rows[] = {
        {"busy", [] { disableMainControls(); }, "Airport parking active", yellow},
        {"not busy", [] { enableMainControls(); }, "Airport parking", black},
        {"both max zero (park)", [] { MAX_PARK_SEL.set(0), MAX_LIVE_SEL.set(0); }, "Max park", red},
        {"both max zero (live)", [] { MAX_PARK_SEL.set(0), MAX_LIVE_SEL.set(0); }, "Max live", red},
        {"park zero", [] { MAX_PARK_SEL.set(0), MAX_LIVE_SEL.set(50); }, "Max park", yellow},
        {"park zero, live", [] { MAX_PARK_SEL.set(0), MAX_LIVE_SEL.set(50); }, "Max live", black},
        {"live zero", [] { MAX_PARK_SEL.set(50), MAX_LIVE_SEL.set(0); }, "Max live", yellow},
        {"next in 0", [] { mainCycle().minutesToRenewal = 0; }, "(next in", std::nullopt},
        {"next in 1", [] { mainCycle().minutesToRenewal = 1; }, "(next in 1 min)", black},
        {"next in 19", [] { mainCycle().minutesToRenewal = 19; }, "(next in 19 min)", black},
        {"next in 20", [] { mainCycle().minutesToRenewal = 20; }, "(next in", std::nullopt},
        {"PT only", [] { RT_PARKTRAFFIC_ONLY.set(true); }, "Fake", grey},
        {"PT only ILO", [] { RT_PARKTRAFFIC_ONLY.set(true), INITIAL_LOAD_ONLY.set(true); }, "ILO", grey},
        {"ILO on", [] { RT_PARKTRAFFIC_ONLY.set(false), INITIAL_LOAD_ONLY.set(true); }, "ILO", yellow},
        {"PT off", [] { RT_PARKTRAFFIC_ONLY.set(false); }, "Max fit:", black},
        {"time shift disabled", [] { enableTimeShiftControls(false); }, "Time shift:", grey},
        {"time shift disabled: minutes", [] {}, "minute", grey},
        {"time shift disabled: its edit", [] {}, "Save", grey},
        {"time shift enabled", [] { enableTimeShiftControls(true); }, "Sim Time", black},
        {"time shift enabled: minutes", [] {}, "minute", black},
        {"one hour", [] { TIME_SHIFT_HOURS.set(1); }, "hour", black},
        {"GUID off", [] { GUID_CHANGES.set(false); }, "GUID changes", yellow},
        {"scan liveries on", [] { SCAN_LIVERIES.set(true); }, "Scan for liveries", yellow},
        {"auto range off", [] { AUTO_RANGE.set(false); }, "Ah:", grey},
        {"light aircraft disabled", [] { LIGHT_AIRCRAFT.enable(false); }, "Light aircraft", grey},
        {"tblo", [] { statusPanel().tbloCount = 1; }, "1 airport in", yellow},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.set();
        const auto t = findText(r.label);
        ASSERT_EQ(t.has_value(), r.rgb.has_value());
        if (t) { EXPECT_EQ(t->rgb, rgbText(*r.rgb)); }
    }
    TIME_SHIFT_HOURS.set(1);
    EXPECT_EQ(findAll("hour").back().text, "hour");
    TIME_SHIFT_HOURS.set(2);
    EXPECT_EQ(findAll("hour").back().text, "hours");
}

TEST_F(Window, ParkingBand)
{
    using namespace colour;
    StatusPanel& s = statusPanel();
    EXPECT_FALSE(findText("# stands"));
    airports.park.code = "EHAM";
    airports.park.iata = "AMS";
    auto label = findText("EHAM");
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text, "EHAM (AMS)");
    EXPECT_EQ(label->rgb, rgbText(yellow));
    EXPECT_EQ(label->y, 399);
    EXPECT_FALSE(findText("# stands"));  // only the label until the parking is fitted
    s.airportLoaded = true;
    s.standCount = 42;
    s.wantedStands = 20;
    s.wantedPercentage = 30;
    s.staticsInSlot = 5;
    s.averageStaticAgeHours = 2.5f;
    s.meanLiveParkedSlots = 0.0f;
    airports.reservedStand = "B12";
    struct Row {
        std::string part;
        std::optional<std::string> text;
        int y = 0;
    };
    const std::vector<Row> rows = {
        {"EHAM", "EHAM (AMS)", 399},
        {"# stands", "# stands:  42", 427},
        {"parked static", "parked static:   5", 427},
        {"max park", "max park:  20 (=30 %)", 427},
        {"reserved stand", "reserved stand: B12", 399},
        {"average fit", "average fit: 2.5", 427},
        {"qf:", "qf: ", 399},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.part);
        const auto t = findText(r.part);
        ASSERT_EQ(t.has_value(), r.text.has_value());
        EXPECT_EQ(t->text, *r.text);
        EXPECT_EQ(t->y, r.y);
    }
    EXPECT_EQ(findText("reserved stand")->rgb, rgbText(red));
    s.reservedStandSet = true;
    EXPECT_EQ(findText("reserved stand")->rgb, rgbText(green));
    RT_PARKTRAFFIC_ONLY.set(true);
    EXPECT_FALSE(findText("max park"));
    EXPECT_FALSE(findText("qf:"));
    WEEK.set(true);
    EXPECT_FALSE(findText("average fit"));
    s.wantedStands = 0;
    EXPECT_FALSE(findText("parked static"));
}

// The once-a-second count of the engine's parked aircraft is what the band shows.
TEST_F(Window, ParkingBandCountsComeFromTheEngine)
{
    StatusPanel& s = statusPanel();
    airports.park.code = "EHAM";
    s.airportLoaded = true;
    s.wantedStands = 20;
    s.weekNumber = 23;
    std::uint32_t statics = 4;
    std::uint64_t parked = 2;
    mainCycleCallees().countStaticsInSlot = [&statics](bool) { return statics; };
    mainCycleCallees().averageLiveParked = [&parked](bool) { return parked; };
    refreshParkingCounters();
    EXPECT_EQ(findText("parked static")->text, "parked static:   4");
    EXPECT_EQ(findText("parked live")->text, "parked live:   2");
    EXPECT_NE(findText("wk=")->text.find("wk=23"), std::string::npos);
    statics = 0;
    parked = 3;
    refreshParkingCounters();
    EXPECT_EQ(findText("parked static")->text, "parked static:   0");
    EXPECT_EQ(findText("parked live")->text, "parked live:   3");
}

TEST_F(Window, MessageLine)
{
    using namespace colour;
    showMessage("first", true);
    auto m = findText("first");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->x, 3);
    EXPECT_EQ(m->y, 455);
    EXPECT_EQ(m->rgb, rgbText(yellow));
    EXPECT_NE(logText().find("first"), std::string::npos);
    EXPECT_EQ(mainWindow().shownMessage(), "first");  // the headless status line's message field
    showError("broken");
    EXPECT_TRUE(filled("0,448,880,476", red));
    EXPECT_EQ(mainWindow().shownMessage(), "Error broken");
    EXPECT_FALSE(findText("first"));
    // While the error stands a message is neither shown nor logged, and clearing keeps the error.
    showMessage("hidden", true);
    clearMessage();
    EXPECT_FALSE(findText("hidden"));
    EXPECT_EQ(logText().find("hidden"), std::string::npos);
    EXPECT_EQ(findText("broken")->rgb, rgbText(yellow));
    EXPECT_TRUE(filled("0,448,880,476", red));
    EXPECT_EQ(mainWindow().shownMessage(), "Error broken");
    mainWindow().clearError();
    EXPECT_EQ(mainWindow().shownMessage(), "");
    // A message goes 25 seconds after it was shown.
    for (int i = 0; i < 3; ++i) advanceMessageClock();
    showMessage("short lived", false);
    for (int i = 0; i < 24; ++i) advanceMessageClock();
    EXPECT_TRUE(findText("short lived"));
    advanceMessageClock();
    EXPECT_FALSE(findText("short lived"));
}

TEST_F(Window, CloseKeepsTheWindow)
{
    ui::sendMessage(window, ui::WM_CLOSE, 0, 0);
    EXPECT_TRUE(ui::isWindow(window));
    EXPECT_TRUE(closingFlag.load());
    EXPECT_TRUE(findText("Close window button clicked, closing VRMT_P3D ..."));
}

TEST_F(Window, ParkingControlsBusyAndBack)
{
    const ParameterControl* parking[] = {&parking_percentage, &INITIAL_LOAD_ONLY, &PARK_FAKE, &PARK_SOFT,
                                         &MAX_PARK_SEL,       &MAX_LIVE_SEL,      &RT_PARKTRAFFIC_ONLY,
                                         &MAX_FIT_FL,         &WEEK,              &FLUSH_STATIC,
                                         &RE_READ};
    disableMainControls();
    for (const ParameterControl* c : parking) EXPECT_FALSE(ui::isWindowEnabled(item(*c))) << c->controlId();
    enableMainControls();
    for (const ParameterControl* c : parking) EXPECT_TRUE(ui::isWindowEnabled(item(*c))) << c->controlId();
    EXPECT_EQ(text(parking_percentage), "30");
    EXPECT_EQ(text(MAX_FIT_FL), "24");
}

}  // namespace
