// A full paint of the main window into its display list: every band, the
// status, the 54 labels, the parking band and the message line.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "core/airport_services_fake.h"
#include "core/app_services.h"
#include "core/options.h"
#include "core/parameters.h"
#include "platform/ui.h"
#include "shell/app_frame.h"
#include "shell/main_window.h"
#include "shell/window_paint.h"

static void BM_PaintWindow(benchmark::State& state)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vrmt_window_bench";
    std::filesystem::create_directories(folder);
    setParametersFile(folder / "parameters.xml");
    ui::resetUi();
    setAppServices(&shellAppServices());
    AirportServicesFake airports;
    airports.park.code = "EHAM";
    airports.park.iata = "AMS";
    airports.reservedStand = "D7";
    if (!initInstance(programId)) {
        state.SkipWithError("no window");
        return;
    }
    StatusPanel& s = statusPanel();
    s.simConnected = true;
    s.simRunning = true;
    s.userAcTitle.set("Boeing 737-800 KLM");
    s.simLabel.set("Prepar3D v5 (5.4.9.28482)");
    s.trafficLamp = 1;
    s.weatherLamp = 1;
    s.qnh = 1013;
    s.airportLoaded = true;
    s.wantedStands = 70;
    mainWindow().loggedIn = true;
    showMessage("VRMT_P3D will respond in 15 seconds ...", false);
    const ui::Handle window = mainWindow().window.load();
    for (auto _ : state) {
        ui::PaintContext pc(window);
        paintWindow(pc);
    }
    setOptionView(nullptr);
    mainWindow().window = 0;
    ui::resetUi();
    resetAppServices();
    setParametersFile({});
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PaintWindow)->Unit(benchmark::kMicrosecond);
