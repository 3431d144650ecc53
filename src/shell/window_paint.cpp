#include "shell/window_paint.h"

#include "core/app_services.h"
#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text_convert.h"
#include "core/time.h"
#include "core/utils.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"

namespace {

// The parking band's first text line; the second is 28 below it.
constexpr int parkingBandY = 399;

const char* lf_plural(std::int64_t n) { return n == 1 || n < 0 ? "" : "s"; }

int lf_row(const ParameterControl& c) { return static_cast<int>(c.row()); }

std::uint32_t lf_enabledColour(const ParameterControl& c)
{
    return ui::isWindowEnabled(controlHandle(c)) ? colour::black : colour::grey;
}

void lf_line(ui::PaintContext& pc, int x1, int y1, int x2, int y2, std::uint32_t rgb)
{
    pc.fillRect({x1, y1, x2 == x1 ? x1 + 1 : x2, y2 == y1 ? y1 + 1 : y2}, rgb);
}

void lf_paintStatusBand(ui::PaintContext& pc)
{
    const StatusPanel& s = statusPanel();
    const MainWindowState& w = mainWindow();
    const bool connected = s.simConnected.load();
    const std::string detail = s.userAcTitle.get();
    const std::uint32_t simColour = !connected                             ? colour::red
                                    : s.simRunning.load() && !detail.empty() ? colour::green
                                                                             : colour::yellow;
    pc.fillRect({397, 30, 425, 112}, simColour);
    textOutColored(pc, 398, 63, "Sim", colour::green);
    const bool loggedIn = w.loggedIn.load();
    const std::uint32_t rtColour = w.restartMark.load() ? colour::black : loggedIn ? colour::green : colour::red;
    pc.fillRect({425, 30, 453, 112}, rtColour);
    textOutColored(pc, 430, 63, "RT", colour::green);
    if (connected) {
        std::string line = s.simLabel.get();
        const std::string stand = s.standText.get();
        if (!stand.empty()) line += ", user stand " + stand;
        textOutColored(pc, 5, 35, line, simColour);
        textOutColored(pc, 5, 63, detail, s.userAircraftKnown.load() ? simColour : colour::yellow);
    }
    const std::int32_t liveries = s.liveriesCount.load();
    textOutColored(pc, 5, 91, liveries == 0 ? "# liveries: ..." : vr::format("# liveries: {}", liveries),
                   liveries == 0 ? colour::red : colour::green);
    const std::int32_t simaddon = w.myOrbxCount.load();
    textOutColored(pc, 141, 91, simaddon == 0 ? "# simaddon: ..." : vr::format("# {}: {}", "simaddon", simaddon),
                   simaddon != 0 && s.orbxDone.load() ? colour::green : colour::yellow);
    const std::int32_t thirdp = w.myThirdpartyCount.load();
    textOutColored(pc, 278, 91, thirdp == 0 ? "# thirdp: ..." : vr::format("# thirdp: {}", thirdp),
                   thirdp == 0 ? colour::yellow : colour::green);
    const std::int32_t weather = s.weatherLamp.load();
    const std::int32_t traffic = s.trafficLamp.load();
    if (loggedIn && weather != 3) textOutColored(pc, 458, 63, "Weather", weather == 1 ? colour::green : colour::yellow);
    if (loggedIn && traffic != 3) textOutColored(pc, 458, 91, "Traffic", traffic == 1 ? colour::green : colour::yellow);
    if (loggedIn && (weather == 1 || weather == 2)) {
        const std::int32_t qnh = s.qnh.load();
        textOutColored(pc, 642, 63, qnh < 1 ? std::string() : vr::format("qnh: {:4}", qnh), colour::green);
    }
    if (loggedIn && (traffic == 1 || traffic == 2))
        textOutColored(pc, 642, 91, vr::format("live: {:3}", s.liveCount.load()), colour::green);
}

void lf_paintLabels(ui::PaintContext& pc)
{
    using namespace colour;
    const MainWindowState& w = mainWindow();
    const std::uint32_t timeShift = w.timeShiftControlsEnabled.load() ? black : grey;
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.get();
    const std::uint32_t pt = ptOnly ? grey : black;
    auto on = [](const CheckboxParameter& c, std::uint32_t yes, std::uint32_t no) { return c.get() ? yes : no; };
    struct Label {
        const char* text;
        int x;
        const ParameterControl& row;
        std::uint32_t rgb;
    };
    const Label fixed[] = {
        {"Install path:", 5, ALL_INSTALL_PATH, black},
        {"Scan for liveries", 25, SCAN_LIVERIES, on(SCAN_LIVERIES, yellow, black)},
        {"Automatic", 237, LIG_AUTOMATIC, black},
        {"Prioritize", 470, LIG_PRIORITIZE, black},
        {"Stub", 556, SUPPRESS_STUB, black},
        {"Log", 672, LOG, black},
        {"Stay on top", 768, ALWAYS_ON_TOP, on(ALWAYS_ON_TOP, yellow, black)},
        {"Scan for addon airports", 25, SCAN_AIRPORTS, on(SCAN_AIRPORTS, yellow, black)},
        {"Automatic", 237, AFG_AUTOMATIC, black},
        {"Nav lights", 672, NAV_LIGHTS_WHILE_PARKED, black},
        {"Learn Soft", 768, LEARN_SOFT, black},
        {"Max aircraft matching depth", 5, MATCHING_DEPTH, black},
        {"Optional:", 258, LIGHT_AIRCRAFT, black},
        {"Light aircraft", 343, LIGHT_AIRCRAFT, lf_enabledColour(LIGHT_AIRCRAFT)},
        {"Helicopters", 450, HELICOPTERS, lf_enabledColour(HELICOPTERS)},
        {"FighterJets", 556, HIGH_PERF_AIRCRAFT, lf_enabledColour(HIGH_PERF_AIRCRAFT)},
        {"GUID changes", 768, GUID_CHANGES, on(GUID_CHANGES, black, yellow)},
        {"Traffic injection", 5, RANGE, black},
        {"Radius:", 163, RANGE, black},
        {"nm, or", 270, RANGE, black},
        {"Auto range", 343, AUTO_RANGE, black},
        {"Ah:", 430, AR_ABOVE_HEIGHT, on(AUTO_RANGE, black, grey)},
        {"ft", 536, AR_ABOVE_HEIGHT, on(AUTO_RANGE, black, grey)},
        {"Sim Time", 672, TIME_SHIFT_HOURS, timeShift},
        {"Callsigns", 5, BLOCK_CALLSIGN, black},
        {"Block:", 172, BLOCK_CALLSIGN, black},
        {"Time shift:", 652, TIME_SHIFT_DAYS, timeShift},
        {"Collision avoidance", 5, COLLISION_USER_GND, black},
        {"User ground", 237, COLLISION_USER_GND, black},
        {"User air", 343, COLLISION_USER_AIR, black},
        {"Live X parked", 450, COLLISION_LIVE_PARKED_GND, black},
        {"Save", 672, KEEP_SIM_TIME_PAR, timeShift},
        {"Straight push backs only", 672, STRAIGHT_PBS_ONLY, on(STRAIGHT_PBS_ONLY, black, grey)},
        {"Destination:", 137, DESTINATION, black},
        {"Range:", 303, AIRP_RANGE, black},
        {"nm", 403, AIRP_RANGE, black},
        {"Height above gnd:", 440, AIRP_HEIGHT, black},
        {"ft", 646, AIRP_HEIGHT, black},
        {"Fake", 25, PARK_FAKE, pt},
        {"Week", 91, WEEK, pt},
        {"Soft", 171, PARK_SOFT, pt},
        {"Target: ", 264, parking_percentage, pt},
        {"%", 363, parking_percentage, pt},
        {"ILO", 450, INITIAL_LOAD_ONLY, ptOnly ? grey : on(INITIAL_LOAD_ONLY, yellow, black)},
        {"Max fit:", 506, MAX_FIT_FL, pt},
        {"PT only", 662, RT_PARKTRAFFIC_ONLY, black},
    };
    for (const Label& l : fixed) textOutColored(pc, l.x, lf_row(l.row), l.text, l.rgb);

    if (const std::int32_t tblo = statusPanel().tbloCount.load(); tblo != 0)
        textOutColored(pc, 323, lf_row(SCAN_AIRPORTS),
                       vr::format("{} airport{} in {} folder", tblo, lf_plural(tblo), tbloFolder.string()), yellow);
    textOutColored(pc, 788, lf_row(TIME_SHIFT_HOURS), vr::format("hour{}", lf_plural(TIME_SHIFT_HOURS.get())),
                   timeShift);
    textOutColored(pc, 788, lf_row(TIME_SHIFT_DAYS), vr::format("day{}", lf_plural(TIME_SHIFT_DAYS.get())), timeShift);
    textOutColored(pc, 788, lf_row(TIME_SHIFT_MINS), vr::format("minute{}", lf_plural(TIME_SHIFT_MINS.get())),
                   timeShift);
    const bool busy = mainControlsDisabled();
    textOutColored(pc, 5, lf_row(MAX_PARK_SEL), vr::format("Airport parking{}", busy ? " active" : ""),
                   busy ? yellow : black);
    const bool parkZero = MAX_PARK_SEL.get() == 0;
    const bool liveZero = MAX_LIVE_SEL.get() == 0;
    textOutColored(pc, 171, lf_row(MAX_PARK_SEL), "Max park (static+live):",
                   parkZero && liveZero ? red : parkZero ? yellow : black);
    textOutColored(pc, 401, lf_row(MAX_LIVE_SEL), "Max live (park incl):",
                   parkZero && liveZero ? red : liveZero ? yellow : black);
    if (const std::int32_t m = mainCycle().minutesToRenewal.load(); m >= 1 && m <= 19)
        textOutColored(pc, 5, lf_row(AIRP_RANGE), vr::format("(next in {} min)", m), black);
}

void lf_paintParkingBand(ui::PaintContext& pc)
{
    const ParkAirportInfo park = airportServices().parkAirport();
    if (park.code.empty()) return;
    const StatusPanel& s = statusPanel();
    const int y1 = parkingBandY;
    const int y2 = y1 + 28;
    const std::uint32_t g = colour::green;
    const bool fitted = s.airportLoaded.load();
    const std::string label = park.iata.empty() ? park.code : vr::format("{} ({})", park.code, park.iata);
    textOutColored(pc, 5, y1, label, fitted ? g : colour::yellow);
    if (!fitted) return;
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.get();
    textOutColored(pc, 85, y1,
                   vr::format(" {}, {}{}, wk={}", s.airportPublisher.get(), s.airportHandmade.load() ? "handmade" : "learned",
                              s.hourlyParking.load() ? " (h)" : "", s.weekNumber.load()),
                   g);
    textOutColored(pc, 370, y1, s.softPositionsUsed.load() ? "*S*" : "", g);
    if (!ptOnly) textOutColored(pc, 430, y1, vr::format("qf: {}", s.airportQuality.get()), g);
    if (const std::string reserved = airportServices().reservedStandName(); !reserved.empty())
        textOutColored(pc, 571, y1, vr::format("reserved stand: {}", reserved),
                       s.reservedStandSet.load() ? g : colour::red);
    textOutColored(pc, 748, y1, vr::format("# updates: {:4}", s.standUpdates.load()), g);
    textOutColored(pc, 5, y2, vr::format("# stands: {:3}", s.standCount.load()), g);
    textOutColored(pc, 111, y2, vr::format("parked live: {:3}", s.liveParkedCount.load()), g);
    if (const float a = s.meanLiveParkedSlots.load(); a > 0.0f)
        textOutColored(pc, 249, y2, vr::format("average fit: {}", gf_numberToText(a)), g);
    const std::int32_t maxPark = s.wantedStands.load();
    if (maxPark > 0) {
        textOutColored(pc, 430, y2, vr::format("parked static: {:3}", s.staticsInSlot.load()), g);
        if (const float a = s.averageStaticAgeHours.load(); !WEEK.get() && a > 0.0f)
            textOutColored(pc, 571, y2, vr::format("average fit: {}", gf_numberToText(a)), g);
    }
    if (!ptOnly)
        textOutColored(pc, 708, y2,
                       maxPark != 0 ? vr::format("max park: {:3} (={} %)", maxPark, s.wantedPercentage.load())
                                    : std::string("no max park live"),
                       g);
}

}  // namespace

void textOutColored(ui::PaintContext& pc, int x, int y, const std::string& text, std::uint32_t rgb)
{
    // The window system takes UTF-16: a text that does not convert is logged and not drawn.
    try {
        (void)win32::Utf8ToUtf16(text);
    } catch (const win32::Utf8ConversionException& e) {
        logLineIfRunning(vr::format("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode()));
        return;
    } catch (const std::overflow_error& e) {
        logLineIfRunning(vr::format("{} {}", text, e.what()));
        return;
    }
    pc.text(x, y, text, rgb);
}

void textOutEnabled(ui::PaintContext& pc, int x, int y, const std::string& text, bool enabled)
{
    textOutColored(pc, x, y, text, enabled ? colour::black : colour::grey);
}

void paintWindow(ui::PaintContext& pc)
{
    using namespace colour;
    pc.fillRect({0, 0, 880, 28}, black);
    pc.fillRect({0, 28, 880, 112}, black);
    pc.fillRect({0, 112, 880, 392}, lightBlue);
    pc.fillRect({0, 392, 880, 448}, black);
    pc.fillRect({0, 448, 880, 476}, green);
    for (int y : {28, 113, 392, 449}) lf_line(pc, 0, y, 880, y, white);
    textOutColored(pc, 3, 7, vr::format("Version {}", versionToString(programVersion)), green);
    textOutColored(pc, 390, 7, programId, green);
    textOutColored(pc, 632, 7, buildNotice, green);
    for (int y : {140, 224, 308}) lf_line(pc, 0, y, 880, y, black);
    for (int y : {168, 196, 252, 280}) lf_line(pc, 0, y, 642, y, black);
    lf_line(pc, 642, 140, 642, 308, black);
    lf_line(pc, 425, 29, 425, 112, black);
    lf_paintStatusBand(pc);
    lf_paintLabels(pc);
    lf_paintParkingBand(pc);
    const MainWindowState& w = mainWindow();
    const std::string error = w.error();
    if (!error.empty()) {
        pc.fillRect({0, 448, 880, 476}, red);
        textOutColored(pc, 3, 455, error, yellow);
    } else {
        pc.fillRect({0, 448, 880, 476}, green);
        if (const std::string message = w.message(); !message.empty()) textOutColored(pc, 3, 455, message, yellow);
    }
}
