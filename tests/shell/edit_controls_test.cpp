// The typed-text parsers and the edit controls' Enter.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "core/fmt.h"
#include "shell/edit_controls.h"
#include "shell/main_cycle.h"
#include "shell/text_options.h"
#include "shell/window_fixture.h"

namespace {

TEST(TypedText, Integers)
{
    using K = TypedInt::Kind;
    struct Row {
        std::string text;
        K kind;
        std::int32_t value;
    };
    const Row rows[] = {
        {"", K::empty, 0},          {"150", K::number, 150},       {"42abc", K::number, 42},
        {"  -7", K::number, -7},    {"+5", K::number, 5},          {"abc", K::invalid, 0},
        {"-", K::invalid, 0},       {" ", K::invalid, 0},          {"99999999999", K::outOfRange, 0},
        {"2147483647", K::number, 2147483647}, {"-2147483648", K::number, -2147483647 - 1},
        {"2147483648", K::outOfRange, 0}, {"0000000000000000000012", K::number, 12},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const TypedInt t = parseTypedInt(r.text);
        EXPECT_EQ(t.kind, r.kind);
        if (r.kind == K::number) { EXPECT_EQ(t.value, r.value); }
    }
}

TEST(TypedText, FloatsAndMaxFit)
{
    using K = TypedFloat::Kind;
    struct Row {
        std::string text;
        K kind;
        std::int32_t slots;  // for numbers
        float hours;
    };
    const Row rows[] = {
        {"0.2", K::number, 0, 0.5f},  {"3.2", K::number, 6, 3.5f},  {"24", K::number, 47, 24.0f},
        {"3.5", K::number, 6, 3.5f},  {"3", K::number, 5, 3.0f},    {"99", K::number, 47, 24.0f},
        {"-4", K::number, 0, 0.5f},   {" 2.5h", K::number, 4, 2.5f}, {"", K::empty, 0, 0.0f},
        {"abc", K::invalid, 0, 0.0f}, {"nan", K::invalid, 0, 0.0f}, {"inf", K::invalid, 0, 0.0f},
        {"1e99", K::outOfRange, 0, 0.0f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const TypedFloat t = parseTypedFloat(r.text);
        EXPECT_EQ(t.kind, r.kind);
        if (r.kind != K::number) continue;
        EXPECT_EQ(maxFitSlots(t.value), r.slots);
        EXPECT_EQ(maxFitHours(maxFitSlots(t.value)), r.hours);
    }
}

TEST(TypedText, CallsignsAndDestinations)
{
    struct Row {
        std::string text;
        std::optional<std::string> callsign;
        std::optional<std::string> destination;
    };
    const Row rows[] = {
        {"abc", std::nullopt, std::nullopt},
        {"eham", "EHAM", "EHAM"},
        {"klm123", "KLM123", std::nullopt},
        {"abcdefgh", "ABCDEFGH", std::nullopt},
        {"abcdefghi", std::nullopt, std::nullopt},
        {"k\xc3\xa4x1", "K\xc3\xa4X1", "K\xc3\xa4X"},  // bytes beyond ASCII stay
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(normalizeCallsign(r.text), r.callsign);
        if (r.text.size() == 4) { EXPECT_EQ(normalizeDestination(r.text), r.destination); }
    }
    EXPECT_EQ(normalizeDestination("abc"), std::nullopt);
}

class Edits : public WindowFixture {
protected:
    std::string message() const { return mainWindow().message(); }
};

TEST_F(Edits, IntegerEdit)
{
    struct Row {
        std::string typed;
        std::int32_t before;
        bool changed;
        std::int32_t after;
        std::string message;
        std::string shown;
    };
    const Row rows[] = {
        {"", 55, true, 55, "The new parking_percentage is 55", "55"},  // the percentage keeps its value
        {"150", 30, true, 100, "The new parking_percentage is 100", "100"},
        {"42abc", 30, true, 42, "The new parking_percentage is 42", "42"},
        {"abc", 30, false, 30, "invalid input: abc", "30"},
        {"30", 30, false, 30, "Same parking_percentage value 30, no changes made", "30"},
        {"99999999999", 30, false, 30, "", "30"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        parking_percentage.set(r.before);
        clearMessage();
        ui::setWindowText(item(parking_percentage), r.typed);
        EXPECT_EQ(lf_processTbInt(parking_percentage), r.changed);
        EXPECT_EQ(parking_percentage.get(), r.after);
        EXPECT_EQ(message(), r.message);
        EXPECT_EQ(text(parking_percentage), r.shown);
    }
    EXPECT_NE(logText().find("===> lf_processTbInt: stoi, h=99999999999 "), std::string::npos);
    EXPECT_NE(logText().find("invalid input: abc"), std::string::npos);
}

// The worker applies the window's requests in the running flight: while it is
// paused the message line says that they wait.
TEST_F(Edits, RequestsWhileTheFlightIsPausedSayTheyWait)
{
    const std::string waits = "The flight is paused: the change applies when it resumes";
    struct Row {
        const char* name;
        std::function<void()> act;
        std::atomic<bool>* flag;
    };
    const Row rows[] = {
        {"time shift",
         [this] {
             TIME_SHIFT_DAYS.set(0);
             enter(TIME_SHIFT_DAYS, "1");
         },
         &mainCycle().timeShiftRemovalRequested},
        {"unblock",
         [] {
             BLOCK_CALLSIGN.set("KLM1");
             unblockCallsign();
         },
         &mainCycle().blockCallsignChanged},
    };
    for (const bool paused : {false, true}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(vr::format("{}{}", r.name, paused ? ", paused" : ""));
            mainCycle().flightPaused = paused;
            clearMessage();
            r.act();
            EXPECT_TRUE(r.flag->exchange(false));
            EXPECT_EQ(message() == waits, paused) << message();
        }
    }
    mainCycle().flightPaused = false;
}

TEST_F(Edits, TimeShift)
{
    // Enter in an empty hours edit: its default, saved, the shift applied.
    TIME_SHIFT_HOURS.set(5);
    enter(TIME_SHIFT_HOURS, "");
    EXPECT_EQ(TIME_SHIFT_HOURS.get(), 0);
    EXPECT_EQ(message(), "Time shift = 0");
    EXPECT_EQ(text(TIME_SHIFT_HOURS), "");
    EXPECT_TRUE(mainCycle().timeShiftRemovalRequested.exchange(false));
    // 29 days is capped at four weeks.
    enter(TIME_SHIFT_DAYS, "29");
    EXPECT_EQ(TIME_SHIFT_DAYS.get(), 28);
    EXPECT_EQ(TIME_SHIFT_HOURS.get(), 0);
    EXPECT_EQ(TIME_SHIFT_MINS.get(), 0);
    EXPECT_EQ(message(), "Time shifted 40320 minutes");
    EXPECT_EQ(calls.count("setTimeOffsets 40320"), 1u);
    enter(TIME_SHIFT_HOURS, "30");
    EXPECT_EQ(TIME_SHIFT_DAYS.get(), 28);  // 28 days and 23 hours is still more than four weeks
    EXPECT_EQ(TIME_SHIFT_HOURS.get(), 0);
    EXPECT_NE(logText().find("Time shifting is limited to 4 weeks"), std::string::npos);
    // The removals of the shown traffic are the worker's.
    EXPECT_TRUE(mainCycle().timeShiftRemovalRequested.load());
    EXPECT_EQ(calls.count("removeAircraftFromSim"), 0u);
}

TEST_F(Edits, FloatEdit)
{
    struct Row {
        std::string typed;
        bool changed;
        float hours;
        std::int32_t slots;
        std::string shown;
    };
    const Row rows[] = {
        {"0.2", true, 0.5f, 0, "0.5"},   {"3.2", true, 3.5f, 6, "3.5"}, {"24", true, 24.0f, 47, "24"},
        {"24", false, 24.0f, 47, "24"},  {"", true, 24.0f, 47, "24"},   {"letters", false, 24.0f, 47, "24"},
    };
    fake.airportFileLoaded = true;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        ui::setWindowText(item(MAX_FIT_FL), r.typed);
        EXPECT_EQ(lf_processTbFloat(MAX_FIT_FL), r.changed);
        EXPECT_EQ(MAX_FIT_FL.get(), r.hours);
        EXPECT_EQ(MAX_FIT.get(), r.slots);
        EXPECT_EQ(text(MAX_FIT_FL), r.shown);
    }
    EXPECT_NE(logText().find("lf_processTbFloat: stof, h=letters"), std::string::npos);
    // Before the airport file is loaded Enter changes nothing.
    fake.airportFileLoaded = false;
    enter(MAX_FIT_FL, "3.2");
    EXPECT_EQ(MAX_FIT_FL.get(), 24.0f);
}

TEST_F(Edits, Callsigns)
{
    struct Row {
        std::string typed;
        std::string blocked;
        std::string message;
        bool request;
    };
    const Row rows[] = {
        {"abc", "", "callsign 'abc' is not valid", false},
        {"klm123", "KLM123", "live aircraft with callsign 'KLM123' will be blocked", true},
        {"KLM123", "KLM123", "callsign 'KLM123' was already set ...", false},
        {"abcdefghi", "KLM123", "callsign 'abcdefghi' is not valid", false},
        {"", "", "no more blocking of live aircraft 'KLM123'", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        mainCycle().blockCallsignChanged = false;
        enter(BLOCK_CALLSIGN, r.typed);
        EXPECT_EQ(BLOCK_CALLSIGN.get(), r.blocked);
        EXPECT_EQ(text(BLOCK_CALLSIGN), r.blocked);
        EXPECT_EQ(message(), r.message);
        EXPECT_EQ(mainCycle().blockCallsignChanged.load(), r.request);
        EXPECT_EQ(ui::isWindowEnabled(item(UNBLOCK)), !r.blocked.empty());
    }
}

TEST_F(Edits, Destinations)
{
    struct Row {
        std::string typed;
        std::optional<LatLon> known;
        std::string destination;
        std::string message;
    };
    const Row rows[] = {
        {"ams", LatLon{52.3, 4.76}, "", "destination 'ams' is not valid"},
        {"eham", LatLon{52.3, 4.76}, "EHAM", "New destination: EHAM"},
        {"EHAM", LatLon{52.3, 4.76}, "EHAM", "destination 'EHAM' was already set ..."},
        {"zzzz", std::nullopt, "EHAM", "destination 'ZZZZ' is unknown ..."},
        {"", std::nullopt, "", "destination set to empty"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        fake.airport = r.known;
        enter(DESTINATION, r.typed);
        applyWindowRequests();  // the worker's step applies a new destination
        EXPECT_EQ(DESTINATION.get(), r.destination);
        EXPECT_EQ(message(), r.message);
        if (!r.typed.empty()) { EXPECT_EQ(text(DESTINATION), r.destination); }
    }
    EXPECT_EQ(calls.count("addDestination EHAM"), 1u);
    EXPECT_TRUE(ui::isWindowEnabled(item(RE_READ)));  // enabled by the empty destination
}

TEST_F(Edits, InstallPath)
{
    const std::filesystem::path exists = folder_ / "P3D v5";
    std::filesystem::create_directories(exists);
    const std::filesystem::path locked = folder_ / "locked";
    std::filesystem::create_directories(locked);
    ::chmod(locked.c_str(), 0);
    const bool rootReadsAll = ::access((locked / "x").c_str(), F_OK) == 0 || ::geteuid() == 0;
    struct Row {
        std::string typed;
        std::string message;
        std::string saved;
        bool restart;
    };
    const std::vector<Row> rows = {
        {(folder_ / "missing").string(), "This install path does not exist: " + (folder_ / "missing").string(), "",
         false},
        {(locked / "inner").string(), "This install path cannot be read: " + (locked / "inner").string(), "", false},
        {exists.string(), "Install path exists, VRMT_P3D will restart", exists.string(), true},
        {"", "", "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        if (r.typed.find("locked") != std::string::npos && rootReadsAll) continue;
        resetRunState();
        mainWindow().setError("old error");
        enter(ALL_INSTALL_PATH, r.typed);
        EXPECT_EQ(mainWindow().error(), "");
        EXPECT_EQ(mainWindow().message(), r.message);
        EXPECT_EQ(SIM_INSTALL_PATH.get(), r.saved);
        EXPECT_EQ(text(ALL_INSTALL_PATH), r.saved);
        EXPECT_EQ(closingReason() == ClosingReason::NewSettings, r.restart);
        if (r.restart) { EXPECT_EQ(restartDelaySeconds(), 3); }
    }
    ::chmod(locked.c_str(), 0755);
}

TEST_F(Edits, OtherMessagesGoToThePreviousProcedure)
{
    static int seen = 0;
    seen = 0;
    BLOCK_CALLSIGN.setPreviousProc(reinterpret_cast<WindowProc>(
        +[](ui::Handle, std::uint32_t message, ui::WParam, ui::LParam) -> ui::LResult {
            ++seen;
            return message;
        }));
    EXPECT_EQ(ui::sendMessage(item(BLOCK_CALLSIGN), ui::WM_CHAR, 'a', 0), static_cast<ui::LResult>(ui::WM_CHAR));
    EXPECT_EQ(ui::sendMessage(item(BLOCK_CALLSIGN), ui::WM_CHAR, 13, 0), 0);
    EXPECT_EQ(seen, 1);
}

}  // namespace

namespace {

class TypedBytes : public WindowFixture {};

TEST_F(TypedBytes, InvalidUtf8ReadsAsTheEmptyText)
{
    BLOCK_CALLSIGN.set("KLM123");
    enter(BLOCK_CALLSIGN, "KL\xff\xfe" "12");
    // The empty text unblocks: the bytes were logged and read as nothing.
    EXPECT_EQ(BLOCK_CALLSIGN.get(), "");
    EXPECT_NE(logText().find("===> lf_getTextFromId"), std::string::npos);
}

TEST_F(TypedBytes, SimTimeSwitch)
{
    SIM_TIME.set(false);
    for (EditParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) p->enable(true);
    EXPECT_TRUE(handleCheckboxes(window, SIM_TIME.controlId()));
    for (EditParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS})
        EXPECT_FALSE(ui::isWindowEnabled(item(*p))) << p->name();
    TIME_SHIFT_HOURS.set(3);
    EXPECT_TRUE(handleCheckboxes(window, SIM_TIME.controlId()));
    EXPECT_EQ(TIME_SHIFT_HOURS.get(), 0);
    EXPECT_EQ(mainWindow().message(), "Time shift = 0");
    for (EditParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS})
        EXPECT_TRUE(ui::isWindowEnabled(item(*p))) << p->name();
}

}  // namespace
