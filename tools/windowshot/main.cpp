// vrmt-windowshot OUT.png [--check]: builds the main window on screen with a
// fixed scene (lamps, counters, a park airport, a message), reads it back and
// writes OUT.png, then the same with an error on the message line as
// OUT_error.png. With --check it also tests the band colours at fixed points.
#include <stdlib.h>  // mkdtemp

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/airport_services_fake.h"
#include "core/app_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "platform/fltk/fltk_ui.h"
#include "png_image.h"
#include "shell/app_frame.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/window_paint.h"

namespace {

struct Probe {
    const char* name;
    int x;
    int y;
    std::uint32_t colour;  // 0x00BBGGRR
};

bool lf_near(const std::uint8_t* p, std::uint32_t c)
{
    const int want[3] = {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                         static_cast<int>((c >> 16) & 0xFF)};
    for (int i = 0; i < 3; ++i)
        if (std::abs(p[i] - want[i]) > 8) return false;
    return true;
}

// Writes the window's picture; with probes, false when one does not hold.
bool lf_shoot(ui::Handle window, const std::filesystem::path& out, const std::vector<Probe>& probes)
{
    ui::driver::paint(window);
    for (int i = 0; i < 20; ++i) ui::fltk::pump(0.05);
    int w = 0;
    int h = 0;
    const std::vector<std::uint8_t> rgb = ui::fltk::capture(window, w, h);
    if (rgb.empty()) {
        std::fprintf(stderr, "vrmt-windowshot: the window could not be read\n");
        return false;
    }
    PngImage image(w, h, {});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                                          static_cast<std::size_t>(x)) * 3];
            image.set(x, y, {p[0], p[1], p[2]});
        }
    if (!image.save(out)) {
        std::fprintf(stderr, "vrmt-windowshot: cannot write %s\n", out.c_str());
        return false;
    }
    bool ok = true;
    if (!probes.empty() && (w != clientWidth || h != clientHeight)) {
        std::fprintf(stderr, "size %dx%d, expected %dx%d\n", w, h, clientWidth, clientHeight);
        ok = false;
    }
    for (const Probe& p : probes) {
        if (p.x >= w || p.y >= h) continue;
        const std::uint8_t* at = &rgb[(static_cast<std::size_t>(p.y) * static_cast<std::size_t>(w) +
                                       static_cast<std::size_t>(p.x)) * 3];
        if (!lf_near(at, p.colour)) {
            std::fprintf(stderr, "%s at (%d, %d): %02x%02x%02x\n", p.name, p.x, p.y, at[0], at[1], at[2]);
            ok = false;
        }
    }
    std::printf("%s\n", out.c_str());
    return ok;
}

void lf_scene(AirportServicesFake& airports)
{
    StatusPanel& s = statusPanel();
    s.simConnected = true;
    s.simRunning = true;
    s.userAircraftKnown = true;
    s.simLabel.set("Prepar3D v5 (5.4.9.28482)");
    s.userAcTitle.set("Boeing 737-800 KLM");
    s.standText.set("GATE D7");
    s.trafficLamp = 1;
    s.weatherLamp = 1;
    s.qnh = 1013;
    s.liveCount = 37;
    s.liveriesCount = 5312;
    s.orbxDone = true;
    s.airportLoaded = true;
    s.softPositionsUsed = true;
    s.weekNumber = 50;
    s.standCount = 212;
    s.liveParkedCount = 9;
    s.staticsInSlot = 64;
    s.wantedStands = 70;
    s.wantedPercentage = 30;
    s.averageStaticAgeHours = 3.5f;
    s.airportPublisher.set("Orbx");
    s.airportQuality.set("12/ 9");
    MainWindowState& w = mainWindow();
    w.loggedIn = true;
    w.restartMark = false;
    w.myOrbxCount = 4;
    w.myThirdpartyCount = 17;
    airports.park.code = "EHAM";
    airports.park.iata = "AMS";
    airports.reservedStand = "D7";
}

// The user on the real widgets: a check box, Enter in an edit, a choice, the close box.
bool lf_interact(ui::Handle window)
{
    const bool log = LOG.get();
    const std::int32_t park = MAX_PARK_SEL.get();
    ui::setWindowText(controlHandle(BLOCK_CALLSIGN), "klm123");
    const bool acted = ui::fltk::actOn(controlHandle(LOG)) && ui::fltk::actOn(controlHandle(BLOCK_CALLSIGN)) &&
                       ui::fltk::actOn(controlHandle(MAX_PARK_SEL)) && ui::fltk::actOn(window);
    ui::postQuitMessage(0);
    ui::runMessageLoop();
    struct Check {
        const char* what;
        bool ok;
    };
    const Check checks[] = {
        {"widgets found", acted},
        {"LOG switched", LOG.get() != log},
        {"callsign blocked", BLOCK_CALLSIGN.get() == "KLM123"},
        {"MAX_PARK_SEL chosen", MAX_PARK_SEL.get() != park},
        {"close asked", closingFlag.load()},
        {"window kept after the close", ui::isWindow(window)},
    };
    bool ok = true;
    for (const Check& c : checks) {
        if (!c.ok) std::fprintf(stderr, "interaction: %s failed\n", c.what);
        ok = ok && c.ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    bool check = false;
    std::filesystem::path out;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            check = true;
        else
            out = argv[i];
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: vrmt-windowshot OUT.png [--check]\n");
        return 2;
    }
    std::error_code ec;
    if (out.has_parent_path()) std::filesystem::create_directories(out.parent_path(), ec);
    // The options at their defaults, in a folder of this run's own (runs side by side never share one).
    std::string pattern = (std::filesystem::temp_directory_path() / "vrmt_windowshot.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "vrmt-windowshot: no settings folder: %s\n", std::strerror(errno));
        return 1;
    }
    const std::filesystem::path folder = pattern;
    struct RemoveAtEnd {
        std::filesystem::path folder;
        ~RemoveAtEnd()
        {
            std::error_code e;
            std::filesystem::remove_all(folder, e);
        }
    } removeAtEnd{folder};
    setParametersFile(folder / "parameters.xml");
    if (!ui::fltk::start()) {
        std::fprintf(stderr, "vrmt-windowshot: no display\n");
        return 1;
    }
    setAppServices(&shellAppServices());
    AirportServicesFake airports;
    if (!initInstance(programId)) return 1;
    const ui::Handle window = mainWindow().window.load();
    enableStartupControls();
    for (ComboParameter* c : {&RANGE, &MAX_LIVE_SEL, &MAX_PARK_SEL, &MATCHING_DEPTH, &AR_ABOVE_HEIGHT, &AIRP_RANGE,
                              &AIRP_HEIGHT})
        c->fillControl();
    showIntParameterText(parking_percentage);
    showFloatParameterText(MAX_FIT_FL);
    lf_scene(airports);
    showMessage("VRMT_P3D will respond in 15 seconds ...", false);

    using namespace colour;
    const std::vector<Probe> common = {
        {"title band", 300, 3, black},      {"status band", 300, 50, black},  {"sim lamp", 411, 100, green},
        {"rt lamp", 439, 100, green},       {"option area", 875, 160, lightBlue},
        {"parking band", 875, 396, black}, {"white line", 300, 392, white},
    };
    std::vector<Probe> first = common;
    first.push_back({"message line", 870, 470, green});
    std::vector<Probe> second = common;
    second.push_back({"error line", 870, 470, red});

    bool ok = lf_shoot(window, out, check ? first : std::vector<Probe>{});
    showError("SimConnect request error");
    std::filesystem::path errorOut = out;
    errorOut.replace_filename(out.stem().string() + "_error" + out.extension().string());
    ok = lf_shoot(window, errorOut, check ? second : std::vector<Probe>{}) && ok;
    if (check) ok = lf_interact(window) && ok;
    ui::fltk::stop();
    setOptionView(nullptr);
    setParametersFile({});
    return ok ? 0 : 1;
}
