// The option handlers: check boxes, buttons, combos, announceRespond and the auto range.
#include <pugixml.hpp>

#include "core/fmt.h"
#include "liveries/livery_init.h"
#include "shell/window_fixture.h"
#include "simlink/sim_client.h"

namespace {

class Handlers : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        notYetConnected = false;
        clearLiveryRescanRequest();
    }
    std::string message() const { return mainWindow().message(); }
    std::string savedValue(const std::string& name) const
    {
        pugi::xml_document doc;
        if (!loadParametersDocument(doc)) return "?";
        return doc.select_node(vr::format("/parameters/parameter[@name='{}']", name).c_str())
            .node()
            .attribute("value")
            .value();
    }
};

TEST_F(Handlers, EveryCheckBoxOnAndOff)
{
    struct Row {
        CheckboxParameter* box;
        std::string messageOn;
        std::string messageOff;
        std::function<bool()> flag;  // a request the change sets (when given)
    };
    MainCycleState& s = mainCycle();
    const std::vector<Row> rows = {
        {&LIG_AUTOMATIC, "", "The liveries defined by your lfolder parameters will be scanned", {}},
        {&LIG_PRIORITIZE, "Liveries, for airl+model, in lower lfolders that are already available will be skipped", "", {}},
        {&COLLISION_LIVE_PARKED_GND, "", "Be aware, no collision avoidance with live aircraft vs parked static on the ground", {}},
        {&COLLISION_USER_GND, "", "Be aware, no collision avoidance with user aircraft on the ground", {}},
        {&COLLISION_USER_AIR, "", "Be aware, no collision avoidance with user aircraft in the air", {}},
        {&INITIAL_LOAD_ONLY, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes", "", {}},
        {&ALWAYS_ON_TOP, "VRMT_P3D's window will remain visible", "", {}},
        {&SUPPRESS_STUB, "Exclude FSLTL-liveries titles ending with _STUB from scan", "", {}},
        {&GUID_CHANGES, "", "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!", {}},
        {&RT_PARKTRAFFIC_ONLY, "", "", [&] { return s.parkTrafficOnlyTurnedOn.load(); }},
        {&AFG_AUTOMATIC, "The airports defined by your afolder parameters will be scanned", "", {}},
        {&NAV_LIGHTS_WHILE_PARKED, "", "", [&] { return s.navLightsChanged.exchange(false); }},
        {&LEARN_SOFT, "", "", {}},
        {&KEEP_SIM_TIME_PAR, "", "", {}},
        {&STRAIGHT_PBS_ONLY, "", "", {}},
        {&LOG, "", "", {}},
        {&LIGHT_AIRCRAFT, "", "", {}},
        {&HELICOPTERS, "", "", {}},
        {&HIGH_PERF_AIRCRAFT, "", "", {}},
        {&PARK_SOFT, "", "", {}},
        {&PARK_FAKE, "", "", {}},
        {&WEEK, "", "", {}},
    };
    for (const Row& r : rows) {
        for (const bool on : {true, false}) {
            SCOPED_TRACE(r.box->name() + (on ? " on" : " off"));
            r.box->set(!on);
            showMessage("before", false);
            const bool taken = handleCheckboxes(window, r.box->controlId());
            EXPECT_EQ(taken, r.box != &NAV_LIGHTS_WHILE_PARKED);
            EXPECT_EQ(r.box->get(), on);
            EXPECT_EQ(ui::isChecked(item(*r.box)), on);
            EXPECT_EQ(savedValue(r.box->name()), on ? "true" : "false");
            const std::string& want = on ? r.messageOn : r.messageOff;
            if (r.box == &AFG_AUTOMATIC && !on) {
                EXPECT_EQ(message(), "before");  // switching it off says nothing
            } else if (!want.empty() || r.box->name().find("COLL") == 0 || r.box == &LIG_AUTOMATIC ||
                       r.box == &LIG_PRIORITIZE || r.box == &INITIAL_LOAD_ONLY || r.box == &ALWAYS_ON_TOP ||
                       r.box == &SUPPRESS_STUB || r.box == &GUID_CHANGES) {
                EXPECT_EQ(message(), want);
            }
            if (r.flag && r.box == &RT_PARKTRAFFIC_ONLY) { EXPECT_EQ(r.flag(), on); }
            if (r.flag && r.box == &NAV_LIGHTS_WHILE_PARKED) { EXPECT_TRUE(r.flag()); }
            if (r.box == &ALWAYS_ON_TOP) { EXPECT_EQ(ui::isTopmost(window), on); }
        }
    }
    EXPECT_FALSE(handleCheckboxes(window, 12345));
    // Through the dispatcher: the lights fall through to the repaint and give false.
    EXPECT_FALSE(lf_HandleWMCOMMAND(window, NAV_LIGHTS_WHILE_PARKED.controlId()));
    EXPECT_TRUE(lf_HandleWMCOMMAND(window, LOG.controlId()));
}

TEST_F(Handlers, ParkingChecksMarkTheParkingChangedOnlyWithAFile)
{
    for (const bool loaded : {false, true}) {
        SCOPED_TRACE(loaded);
        fake.airportFileLoaded = loaded;
        for (CheckboxParameter* box : {&LEARN_SOFT, &INITIAL_LOAD_ONLY, &PARK_SOFT}) {
            parkParametersChanged = false;
            handleCheckboxes(window, box->controlId());
            EXPECT_EQ(parkParametersChanged.load(), loaded) << box->name();
        }
    }
}

TEST_F(Handlers, ScansBeforeAndAfterTheConnectionAndWhileClosing)
{
    struct Row {
        const char* name;
        CheckboxParameter* box;
        bool notConnected;
        bool closingBefore;
        std::string message;
        ClosingReason reason;
        std::int32_t delay;
        bool rescan;
    };
    const Row rows[] = {
        {"liveries before", &SCAN_LIVERIES, true, false, "Your liveries will be scanned", ClosingReason::NewSettings, 2,
         true},
        {"liveries after", &SCAN_LIVERIES, false, false,
         "Your liveries will be scanned at the next start of VRMT_P3D, recommended after you have add/removed AI "
         "aircraft models/liveries",
         ClosingReason::NotYetSet, 0, false},
        {"liveries while closing", &SCAN_LIVERIES, true, true, "Your liveries will be scanned",
         ClosingReason::UserClosedSim, 0, true},
        {"airports before", &SCAN_AIRPORTS, true, false, "Your airports will be scanned", ClosingReason::NewSettings,
         2, false},
        {"airports after", &SCAN_AIRPORTS, false, false,
         "Your airports will be scanned at the next start of VRMT_P3D, recommended after you have add/removed airports",
         ClosingReason::NotYetSet, 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        resetRunState();
        clearLiveryRescanRequest();
        notYetConnected = r.notConnected;
        if (r.closingBefore) requestClosing(ClosingReason::UserClosedSim, 0);
        r.box->set(false);
        EXPECT_TRUE(handleCheckboxes(window, r.box->controlId()));
        EXPECT_EQ(message(), r.message);
        EXPECT_EQ(closingReason(), r.reason);
        EXPECT_EQ(restartDelaySeconds(), r.delay);
        EXPECT_EQ(liveryRescanRequested(), r.rescan);
        // Off: the line is cleared, nothing else.
        EXPECT_TRUE(handleCheckboxes(window, r.box->controlId()));
        EXPECT_EQ(message(), "");
    }
}

TEST_F(Handlers, Buttons)
{
    EXPECT_TRUE(handleBlockButtons(window, UNBLOCK.controlId()));
    EXPECT_EQ(message(), "Nothing to block or unblock...");
    RE_READ.enable(true);
    DESTINATION.enable(true);
    EXPECT_TRUE(handleBlockButtons(window, RE_READ.controlId()));
    EXPECT_TRUE(mainCycle().parkAirportChanged.load());
    EXPECT_FALSE(ui::isWindowEnabled(item(RE_READ)));
    EXPECT_FALSE(ui::isWindowEnabled(item(DESTINATION)));
    FLUSH_STATIC.enable(true);
    EXPECT_TRUE(handleBlockButtons(window, FLUSH_STATIC.controlId()));
    EXPECT_EQ(message(), "All static parked aircraft will be removed ...");
    EXPECT_TRUE(mainCycle().flushStaticRequested.load());
    EXPECT_FALSE(ui::isWindowEnabled(item(FLUSH_STATIC)));
    EXPECT_FALSE(handleBlockButtons(window, LOG.controlId()));
}

TEST_F(Handlers, CombosClampSaveAndShow)
{
    struct Row {
        ComboParameter* combo;
        int index;
    };
    const Row rows[] = {{&MATCHING_DEPTH, 0}, {&MAX_PARK_SEL, 1}, {&RANGE, 2},       {&AIRP_RANGE, 0},
                        {&AR_ABOVE_HEIGHT, 1}, {&AIRP_HEIGHT, 2}, {&MAX_LIVE_SEL, 3}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.combo->name());
        const std::int32_t want = r.combo->clamped(r.combo->choices()[static_cast<std::size_t>(r.index)]);
        choose(*r.combo, r.index);
        EXPECT_EQ(r.combo->get(), want);
        EXPECT_EQ(savedValue(r.combo->name()), std::to_string(want));
        EXPECT_EQ(ui::selectedComboItem(item(*r.combo)), r.index);
    }
    // A command of another kind from a combo is not a choice.
    EXPECT_FALSE(handleComboSelection(window, RANGE.controlId()));
}

TEST_F(Handlers, LowerLiveLimitAsksTheWorkerToTrim)
{
    fake.airportFileLoaded = false;
    const int ten = MAX_LIVE_SEL.choiceIndex(10);
    ASSERT_GE(ten, 0);
    choose(MAX_LIVE_SEL, ten);
    EXPECT_EQ(calls.count("setMaxLiveForParking 10"), 1u);
    EXPECT_TRUE(mainCycle().liveLimitChanged.load());
    EXPECT_FALSE(parkParametersChanged.load());
    // The worker trims on its next step: the window removes nothing itself.
    EXPECT_EQ(calls.count("trimLiveAircraft"), 0u);
    applyWindowRequests();
    EXPECT_EQ(calls.count("trimLiveAircraft"), 1u);
    fake.airportFileLoaded = true;
    choose(MAX_LIVE_SEL, ten + 1);
    EXPECT_EQ(calls.count("setMaxLiveForParking"), 1u);
    EXPECT_TRUE(parkParametersChanged.load());
}

TEST_F(Handlers, AnnounceRespond)
{
    struct Row {
        bool loaded;
        bool initialLoadOnly;
        std::int32_t second;
        std::string message;
        bool renewal;
        bool paused = false;
    };
    const Row rows[] = {
        {false, false, 30, "before", false},
        {true, true, 30, "", false},
        {true, false, 30, "VRMT_P3D will respond in 15 seconds ...", true},
        {true, false, 31, "VRMT_P3D will respond in 14 seconds ...", true},
        {true, false, 44, "VRMT_P3D will respond in 1 second ...", true},
        // The renewal waits for the flight to run again: no count of seconds.
        {true, false, 30, "The flight is paused: the change applies when it resumes", true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(vr::format("{}{}", r.second, r.paused ? ", paused" : ""));
        mainCycle().flightPaused = r.paused;
        fake.airportFileLoaded = r.loaded;
        INITIAL_LOAD_ONLY.set(r.initialLoadOnly);
        mainCycle().secondCount = r.second;
        mainCycle().renewalRequested = false;
        parkParametersChanged = false;
        showMessage("before", false);
        announceRespond();
        EXPECT_EQ(message(), r.message);
        EXPECT_EQ(mainCycle().renewalRequested.load(), r.renewal);
        EXPECT_EQ(parkParametersChanged.load(), r.loaded);
    }
    mainCycle().flightPaused = false;
}

TEST_F(Handlers, AutoRangeOnKeepsTheManualRangeOffRestoresIt)
{
    AUTO_RANGE.set(false);
    RANGE.set(25);
    fake.onGround = true;
    EXPECT_TRUE(handleCheckboxes(window, AUTO_RANGE.controlId()));
    EXPECT_EQ(rememberedManualRange(), 25);
    EXPECT_EQ(RANGE.get(), 25);  // the worker chooses it, on its next step
    applyWindowRequests();
    EXPECT_EQ(RANGE.get(), 10);  // on the ground
    EXPECT_FALSE(ui::isWindowEnabled(item(RANGE)));
    EXPECT_TRUE(ui::isWindowEnabled(item(AR_ABOVE_HEIGHT)));
    EXPECT_TRUE(parkParametersChanged.load());
    EXPECT_TRUE(handleCheckboxes(window, AUTO_RANGE.controlId()));
    EXPECT_EQ(RANGE.get(), 25);
    EXPECT_EQ(ui::comboItems(item(RANGE))[static_cast<std::size_t>(ui::selectedComboItem(item(RANGE)))], "25");
    EXPECT_TRUE(ui::isWindowEnabled(item(RANGE)));
    EXPECT_FALSE(ui::isWindowEnabled(item(AR_ABOVE_HEIGHT)));
}

TEST_F(Handlers, AHandlerThatThrowsIsLoggedAndRepaints)
{
    mainCycleCallees().airportFileLoaded = []() -> bool { throw std::runtime_error("boom"); };
    EXPECT_FALSE(lf_HandleWMCOMMAND(window, LEARN_SOFT.controlId()));
    EXPECT_NE(logText().find("===> lf_HandleWMCOMMAND exception boom"), std::string::npos);
}

}  // namespace

