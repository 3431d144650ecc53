#include "shell/app_frame.h"

#include <pugixml.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "airports/airport_services_impl.h"
#include "airports/park_airports.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/scheduling.h"
#include "engine/stand_search.h"
#include "liveries/livery_services_impl.h"
#include "platform/settings.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"
#include "shell/option_handlers.h"
#include "shell/window_paint.h"
#include "shell/startup.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/curl_client.h"
#include "traffic_service/handover.h"
#include "platform/thread_name.h"

namespace {

// The worker: started on WM_APP+1, joined by the next WM_APP+1 or at the end (UI thread only).
std::thread lf_worker;
// A worker runs (set by the UI thread before it starts, cleared by the worker as its last act).
std::atomic<bool> lf_workerRunning{false};

// The option controls as the window facade has them.
class ShellOptionView final : public OptionView {
public:
    bool isLive(ControlHandle window) const override { return ui::isWindow(reinterpret_cast<ui::Handle>(window)); }
    void setCheck(const ParameterControl& c, bool checked) override { ui::setCheck(controlHandle(c), checked); }
    void setComboItems(const ParameterControl& c, const std::vector<std::string>& items, int selected) override
    {
        ui::setComboItems(controlHandle(c), items, selected);
    }
    void selectComboItem(const ParameterControl& c, int index) override
    {
        ui::selectComboItem(controlHandle(c), index);
    }
    void setText(const ParameterControl& c, const std::string& text) override
    {
        ui::setWindowText(controlHandle(c), text);
    }
    void enable(const ParameterControl& c, bool on) override { ui::enableWindow(controlHandle(c), on); }
};

ShellOptionView& lf_optionView()
{
    static ShellOptionView& v = *new ShellOptionView;  // never destroyed
    return v;
}

void lf_startWorker(ui::Handle window)
{
    if (windowClosedFlag.load()) {
        // Closed while the restart was on its way: the close wins.
        ui::postMessage(window, WM_APP_SAVE_AND_QUIT, 0, 0);
        return;
    }
    if (lf_worker.joinable()) lf_worker.join();  // it posted this message as its last act
    lf_workerRunning = true;
    lf_worker = std::thread([] {
        platform::nameThisThread("vrmt-worker");
        workerThread();
        lf_workerRunning = false;
    });
}

void lf_userClose()
{
    setClosingReasonIfUnset(ClosingReason::UserClosedSim, 0);
    windowClosedFlag = true;
    closingFlag = true;
    notifyStop();
}

void lf_savePositionAndQuit(ui::Handle window)
{
    const ui::Rect r = ui::windowRect(window);
    const std::int32_t oldX = MAIN_WINDOW_X.get();
    const std::int32_t oldY = MAIN_WINDOW_Y.get();
    MAIN_WINDOW_X.set(std::clamp(r.left, -30000, 30000));
    saveIntParameter(&MAIN_WINDOW_X);
    MAIN_WINDOW_Y.set(std::clamp(r.top, -30000, 30000));
    saveIntParameter(&MAIN_WINDOW_Y);
    resetWindowPosAtBound(oldX, oldY);
    logLine(formatTime(wallClockSeconds()));
    if (lf_workerRunning.load()) lf_userClose();
    if (lf_worker.joinable()) lf_worker.join();
    mainWindow().window = 0;
    ui::destroyWindow(window);
}

ui::Handle lf_makeControl(ParameterControl& record, ui::Handle parent, const char* className, const std::string& text,
                          std::uint32_t style, int x, int y, int width, int height)
{
    ui::CreateParams p;
    p.className = className;
    p.text = text;
    p.style = style;
    p.x = x;
    p.y = y;
    p.width = width;
    p.height = height;
    p.parent = parent;
    p.id = record.controlId();
    const ui::Handle h = ui::createWindow(p);
    record.setWindow(reinterpret_cast<ControlHandle>(h));
    return h;
}

}  // namespace

std::string configuredServiceUrl()
{
    const std::string url = platform::setting("VRMT_SERVICE_URL");
    return url.empty() ? std::string(defaultServiceUrl) : url;
}

std::string configuredServiceKey()
{
    const std::string key = platform::setting("VRMT_SERVICE_KEY");
    return key.empty() ? RT_LICENSE.get() : key;
}

void resetWindowPosAtBound(std::int32_t x, std::int32_t y)
{
    for (auto [record, value] : {std::pair{&MAIN_WINDOW_X, x}, std::pair{&MAIN_WINDOW_Y, y}}) {
        if (record->get() == record->min() || record->get() == record->max()) {
            record->set(record->clamped(value));
            saveIntParameter(record);
        }
    }
}

ui::Handle createCheckbox(CheckboxParameter& record, ui::Handle parent, int x)
{
    const ui::Handle h = lf_makeControl(record, parent, "button", "", ui::WS_CHILD | ui::WS_VISIBLE | ui::BS_CHECKBOX,
                                        x, static_cast<int>(record.row()) + 2, 12, 12);
    ui::setCheck(h, record.get());
    ui::enableWindow(h, true);
    return h;
}

ui::Handle createCheckboxUnchecked(ButtonParameter& record, ui::Handle parent, int x, int width)
{
    const ui::Handle h = lf_makeControl(record, parent, "button", record.name(),
                                        ui::WS_CHILD | ui::WS_VISIBLE | ui::BS_DEFPUSHBUTTON, x,
                                        static_cast<int>(record.row()), width, 20);
    ui::enableWindow(h, false);
    return h;
}

ui::Handle createEdit(ParameterControl& record, ui::Handle parent, int x, int width, ui::WindowProcedure procedure)
{
    const ui::Handle h = lf_makeControl(record, parent, "Edit", "", ui::WS_CHILD | ui::WS_VISIBLE | ui::WS_BORDER, x,
                                        static_cast<int>(record.row()), width, 16);
    record.setPreviousProc(reinterpret_cast<WindowProc>(ui::setWindowProcedure(h, procedure)));
    ui::enableWindow(h, false);
    return h;
}

ui::Handle createCombo(ComboParameter& record, ui::Handle parent, int x, int width)
{
    const ui::Handle h = lf_makeControl(record, parent, "ComboBox", "", ui::WS_CHILD | ui::WS_VISIBLE, x,
                                        static_cast<int>(record.row()), width, 200);
    record.fillControl();
    ui::enableWindow(h, false);
    return h;
}

ui::LResult mainWindowProcedure(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam)
{
    (void)lParam;
    switch (message) {
    case ui::WM_CLOSE:
        showMessage(vr::format("Close window button clicked, closing {} ...", programId), false);
        lf_userClose();
        if (!lf_workerRunning.load()) ui::postMessage(window, WM_APP_SAVE_AND_QUIT, 0, 0);
        return 0;
    case WM_APP_START_WORKER:
        lf_startWorker(window);
        return 0;
    case WM_APP_SAVE_AND_QUIT:
        lf_savePositionAndQuit(window);
        return 0;
    case ui::WM_DESTROY:
        ui::postQuitMessage(0);
        return 0;
    case ui::WM_PAINT: {
        ui::PaintContext pc(window);
        paintWindow(pc);
        return 0;
    }
    case ui::WM_COMMAND:
        lf_HandleWMCOMMAND(window, wParam);
        return 0;
    default:
        return 0;
    }
}

bool initInstance(const std::string& title)
{
    pugi::xml_document doc;
    if (loadParametersDocument(doc)) {
        readIntParameter(&MAIN_WINDOW_X, doc, false);
        readIntParameter(&MAIN_WINDOW_Y, doc, false);
        resetWindowPosAtBound(MAIN_WINDOW_X.get(), MAIN_WINDOW_Y.get());
    }
    ui::CreateParams p;
    p.className = title;
    p.text = title;
    p.x = MAIN_WINDOW_X.get();
    p.y = MAIN_WINDOW_Y.get();
    p.width = 880;
    p.height = clientHeight;
    p.procedure = mainWindowProcedure;
    const ui::Handle window = ui::createWindow(p);
    if (!window) return false;
    mainWindow().window = window;
    setOptionView(&lf_optionView());
    createControls(window);
    return true;
}

void requestWindowClose()
{
    const ui::Handle w = mainWindow().window.load();
    // Before the window exists the flags alone end the start: its first WM_APP+1 then quits.
    if (!w || !ui::postMessage(w, ui::WM_CLOSE, 0, 0)) lf_userClose();
}

void installSeams()
{
    setAppServices(&shellAppServices());
    installLiveryServices();
    static AirportServicesImpl& airports = *new AirportServicesImpl;  // never destroyed
    setAirportServices(&airports);
    ServiceHandover h = defaultServiceHandover();
    wireEngineHandover(h);
    h.userAircraft = [] {
        const UserAcState s = userAcSnapshot();
        return ServiceUserAircraft{s.latitude, s.longitude, s.altitude};
    };
    h.userStandAirport = [] { return userStandAirport(); };
    h.serviceKey = [] { return configuredServiceKey(); };
    setServiceHandover(h);
    setServiceBaseUrl(configuredServiceUrl());
    UserAcNeighbours n;
    n.nearestStandAirport = [](const LatLon& p) { return nearestStandAirport(p); };
    n.firstParkAirport = [] { return parkListHead(); };
    setUserAcNeighbours(n);
}

int appMain()
{
    const std::string title = programId;
    installSeams();
    if (!initInstance(title)) {
        logLine("initInstance failed");
        return 0;
    }
    try {
        std::filesystem::create_directories(dataFolderPath());
    } catch (const std::filesystem::filesystem_error& e) {
        logLine(vr::format("Failed to create directory: {}", e.what()));
    } catch (const std::runtime_error&) {
        // No AppData folder (logged): the worker's start-up shows it as its error.
    }
    ui::postMessage(mainWindow().window.load(), WM_APP_START_WORKER, 0, 0);
    const int code = ui::runMessageLoop();
    if (lf_worker.joinable()) lf_worker.join();
    mainWindow().window = 0;
    setOptionView(nullptr);
    return code;
}
