#include "shell/option_handlers.h"

#include <exception>
#include <vector>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "liveries/livery_init.h"
#include "shell/edit_controls.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/window_paint.h"
#include "simlink/sim_client.h"

namespace {

std::atomic<std::int32_t> lf_manualRange{kRangeDefaultNm};

bool lf_fileLoaded() { return mainCycleCallees().airportFileLoaded(); }

void lf_markParkChangeIfLoaded()
{
    if (lf_fileLoaded()) parkParametersChanged = true;
}

// On: the first message (empty: clear); off: the second.
void lf_onOff(bool on, const char* whenOn, const char* whenOff)
{
    const char* text = on ? whenOn : whenOff;
    if (text && *text)
        showMessage(text, false);
    else
        clearMessage();
}

// A scan asked for before the simulator connection opens runs in a restart now; later, at the next start.
void lf_scanSwitchedOn(const char* now, const std::string& later, bool liveries)
{
    if (notYetConnected.load()) {
        if (liveries) requestLiveryRescan();
        showMessage(now, true);
        requestClosing(ClosingReason::NewSettings, 2);
    } else {
        showMessage(later, false);
    }
}

void lf_toggleAutoRange(bool on)
{
    parkParametersChanged = true;
    RANGE.enable(!on);
    AR_ABOVE_HEIGHT.enable(on);
    if (on) {
        lf_manualRange = RANGE.get();
        // The user aircraft's state is the worker's: it chooses the range on its next step.
        mainCycle().request(mainCycle().autoRangeRequested);
    } else {
        RANGE.set(lf_manualRange.load());
        setRangeNm(lf_manualRange.load());
        showIntParameterText(RANGE);
        clearMessage();
    }
}

void lf_checkboxAction(CheckboxParameter& box, ui::Handle window)
{
    const bool on = box.get();
    if (&box == &LIG_AUTOMATIC) {
        lf_onOff(on, "", "The liveries defined by your lfolder parameters will be scanned");
    } else if (&box == &LIG_PRIORITIZE) {
        lf_onOff(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped", "");
    } else if (&box == &COLLISION_LIVE_PARKED_GND) {
        lf_onOff(on, "", "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
    } else if (&box == &COLLISION_USER_GND) {
        lf_onOff(on, "", "Be aware, no collision avoidance with user aircraft on the ground");
    } else if (&box == &COLLISION_USER_AIR) {
        lf_onOff(on, "", "Be aware, no collision avoidance with user aircraft in the air");
    } else if (&box == &INITIAL_LOAD_ONLY) {
        lf_onOff(on, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes", "");
        invalidateMainWindow();
        lf_markParkChangeIfLoaded();
    } else if (&box == &ALWAYS_ON_TOP) {
        if (on)
            showMessage(vr::format("{}'s window will remain visible", programId), false);
        else
            clearMessage();
        ui::setTopmost(window, on);
    } else if (&box == &SUPPRESS_STUB) {
        lf_onOff(on, "Exclude FSLTL-liveries titles ending with _STUB from scan", "");
    } else if (&box == &GUID_CHANGES) {
        lf_onOff(on, "", "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
    } else if (&box == &RT_PARKTRAFFIC_ONLY) {
        refreshParkingControls();
        parkParametersChanged = true;
        mainCycle().parkTrafficOnlyTurnedOn = on;
        announceRespond();
        invalidateMainWindow();
    } else if (&box == &SIM_TIME) {
        applySimTimeState();
    } else if (&box == &AUTO_RANGE) {
        lf_toggleAutoRange(on);
    } else if (&box == &SCAN_LIVERIES || &box == &SCAN_AIRPORTS) {
        if (!on)
            clearMessage();
        else if (&box == &SCAN_LIVERIES)
            lf_scanSwitchedOn("Your liveries will be scanned",
                              vr::format("Your liveries will be scanned at the next start of {}, recommended after "
                                         "you have add/removed AI aircraft models/liveries",
                                         programId),
                              true);
        else
            lf_scanSwitchedOn("Your airports will be scanned",
                              vr::format("Your airports will be scanned at the next start of {}, recommended after "
                                         "you have add/removed airports",
                                         programId),
                              false);
        invalidateMainWindow();
    } else if (&box == &AFG_AUTOMATIC) {
        if (on) showMessage("The airports defined by your afolder parameters will be scanned", true);
    } else if (&box == &PARK_SOFT || &box == &PARK_FAKE || &box == &WEEK) {
        announceRespond();
    } else if (&box == &NAV_LIGHTS_WHILE_PARKED) {
        // The worker switches the lights of the parked aircraft it shows.
        mainCycle().request(mainCycle().navLightsChanged);
    } else if (&box == &LEARN_SOFT) {
        lf_markParkChangeIfLoaded();
    }
}

}  // namespace

std::int32_t rememberedManualRange() { return lf_manualRange.load(); }

bool handleBlockButtons(ui::Handle, std::uint16_t id)
{
    if (id == UNBLOCK.controlId()) {
        if (BLOCK_CALLSIGN.empty())
            showMessage("Nothing to block or unblock...", false);
        else
            unblockCallsign();
        return true;
    }
    if (id == RE_READ.controlId()) {
        mainCycle().parkAirportChanged = true;
        RE_READ.enable(false);
        DESTINATION.enable(false);
        return true;
    }
    if (id == FLUSH_STATIC.controlId()) {
        showMessage("All static parked aircraft will be removed ...", false);
        mainCycle().request(mainCycle().flushStaticRequested);
        FLUSH_STATIC.enable(false);
        return true;
    }
    return false;
}

bool handleCheckboxes(ui::Handle window, std::uint16_t id)
{
    CheckboxParameter* const order[] = {
        &LIG_AUTOMATIC, &LIG_PRIORITIZE, &COLLISION_LIVE_PARKED_GND, &COLLISION_USER_GND, &COLLISION_USER_AIR,
        &INITIAL_LOAD_ONLY, &ALWAYS_ON_TOP, &SUPPRESS_STUB, &GUID_CHANGES, &RT_PARKTRAFFIC_ONLY,
        &SIM_TIME, &AUTO_RANGE, &SCAN_LIVERIES, &SCAN_AIRPORTS, &AFG_AUTOMATIC,
        &PARK_SOFT, &PARK_FAKE, &WEEK, &NAV_LIGHTS_WHILE_PARKED, &LEARN_SOFT,
        &KEEP_SIM_TIME_PAR, &STRAIGHT_PBS_ONLY, &LOG, &LIGHT_AIRCRAFT, &HELICOPTERS,
        &HIGH_PERF_AIRCRAFT,
    };
    for (CheckboxParameter* box : order) {
        if (box->controlId() != id) continue;
        // The box shows the option's new state, whatever the control did with the click.
        box->set(!box->get());
        showCheckboxState(*box);
        saveBoolParameter(box);
        lf_checkboxAction(*box, window);
        // The lights give false: the dispatcher goes on and repaints the option area.
        return box != &NAV_LIGHTS_WHILE_PARKED;
    }
    return false;
}

bool handleComboSelection(ui::Handle window, ui::WParam wParam)
{
    ComboParameter* const order[] = {&MATCHING_DEPTH,  &MAX_PARK_SEL, &RANGE,       &AIRP_RANGE,
                                     &AR_ABOVE_HEIGHT, &AIRP_HEIGHT,  &MAX_LIVE_SEL};
    for (ComboParameter* combo : order) {
        const auto selected = getItemTextUtf8(window, combo->controlId(), wParam);
        if (!selected) continue;
        const auto index = static_cast<std::size_t>(selected->first);
        if (index >= combo->choices().size()) return false;
        const std::int32_t value = combo->clamped(combo->choices()[index]);
        combo->set(value);
        saveIntParameter(combo);
        showIntParameterText(*combo);
        if (combo == &MAX_PARK_SEL) {
            announceRespond();
        } else if (combo == &RANGE) {
            setRangeNm(value);
            parkParametersChanged = true;
        } else if (combo == &MAX_LIVE_SEL) {
            if (!lf_fileLoaded())
                mainCycleCallees().setMaxLiveForParking(value);
            else
                parkParametersChanged = true;
            // The worker removes the live aircraft beyond the new limit, farthest first.
            mainCycle().request(mainCycle().liveLimitChanged);
        }
        return true;
    }
    return false;
}

bool lf_HandleWMCOMMAND(ui::Handle window, ui::WParam wParam)
{
    const auto id = static_cast<std::uint16_t>(wParam & 0xFFFF);
    try {
        if (handleBlockButtons(window, id) || handleCheckboxes(window, id) || handleComboSelection(window, wParam))
            return true;
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    }
    invalidateMainWindow();
    return false;
}

void announceRespond()
{
    if (!lf_fileLoaded()) return;
    parkParametersChanged = true;
    if (INITIAL_LOAD_ONLY.get()) {
        clearMessage();
        return;
    }
    const std::int32_t n = mainCycle().secondCount.load();
    const std::int32_t wait = 15 * (n / 15 + 1) - n;
    if (wait > 0)
        showMessage(vr::format("{} will respond in {} second{} ...", programId, wait, wait == 1 ? "" : "s"), false);
    // The renewal runs in the running flight: while it is paused the message line says so instead.
    mainCycle().request(mainCycle().renewalRequested);
}
