#include "shell/edit_controls.h"

#include <filesystem>
#include <system_error>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"
#include "shell/option_handlers.h"
#include "shell/text_options.h"
#include "shell/window_paint.h"

namespace {

constexpr ui::WParam enterKey = 13;

bool lf_isEnter(std::uint32_t message, ui::WParam wParam) { return message == ui::WM_CHAR && wParam == enterKey; }

ui::LResult lf_previous(const ParameterControl& record, ui::Handle window, std::uint32_t message, ui::WParam wParam,
                        ui::LParam lParam)
{
    return ui::callWindowProcedure(reinterpret_cast<ui::WindowProcedure>(record.previousProc()), window, message,
                                   wParam, lParam);
}

}  // namespace

ui::LResult numericEditProc(EditParameter& record, ui::Handle window, std::uint32_t message, ui::WParam wParam,
                            ui::LParam lParam)
{
    if (!lf_isEnter(message, wParam)) return lf_previous(record, window, message, wParam, lParam);
    clearMessage();
    const bool changed = lf_processTbInt(record);
    if (changed && &record != &parking_percentage)
        applyTimeShift((TIME_SHIFT_HOURS.get() + TIME_SHIFT_DAYS.get() * 24) * 60 + TIME_SHIFT_MINS.get(), false);
    return 0;
}

ui::LResult textEditProc(EditStringParameter& record, ui::Handle window, std::uint32_t message, ui::WParam wParam,
                         ui::LParam lParam)
{
    if (!lf_isEnter(message, wParam)) return lf_previous(record, window, message, wParam, lParam);
    clearMessage();
    if (&record == &BLOCK_CALLSIGN)
        blockCallsign();
    else if (&record == &DESTINATION)
        checkDestination();
    else if (&record == &ALL_INSTALL_PATH)
        applyInstallPath(lf_getTextFromId(ALL_INSTALL_PATH.controlId()));
    return 0;
}

ui::LResult floatEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam)
{
    if (!lf_isEnter(message, wParam)) return lf_previous(MAX_FIT_FL, window, message, wParam, lParam);
    clearMessage();
    // Before the park airport's file is loaded there is nothing to fit.
    if (mainCycleCallees().airportFileLoaded() && lf_processTbFloat(MAX_FIT_FL)) announceRespond();
    return 0;
}

#define VRMT_EDIT_PROC(name, family, record)                                                                   \
    ui::LResult name(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam)           \
    {                                                                                                          \
        return family(record, window, message, wParam, lParam);                                                \
    }
VRMT_EDIT_PROC(installPathEditProc, textEditProc, ALL_INSTALL_PATH)
VRMT_EDIT_PROC(blockCallsignEditProc, textEditProc, BLOCK_CALLSIGN)
VRMT_EDIT_PROC(destinationEditProc, textEditProc, DESTINATION)
VRMT_EDIT_PROC(parkingPercentageEditProc, numericEditProc, parking_percentage)
VRMT_EDIT_PROC(timeShiftDaysEditProc, numericEditProc, TIME_SHIFT_DAYS)
VRMT_EDIT_PROC(timeShiftHoursEditProc, numericEditProc, TIME_SHIFT_HOURS)
VRMT_EDIT_PROC(timeShiftMinsEditProc, numericEditProc, TIME_SHIFT_MINS)
#undef VRMT_EDIT_PROC

bool lf_processTbInt(EditParameter& record)
{
    const std::string text = lf_getTextFromId(record.controlId());
    const bool timeShift = &record == &TIME_SHIFT_DAYS || &record == &TIME_SHIFT_HOURS || &record == &TIME_SHIFT_MINS;
    const bool percentage = &record == &parking_percentage;
    bool changed = false;
    const TypedInt typed = parseTypedInt(text);
    switch (typed.kind) {
    case TypedInt::Kind::empty:
        if (!percentage) {
            record.set(record.clamped(record.defaultValue()));
            saveIntParameter(&record);
        }
        changed = true;
        break;
    case TypedInt::Kind::number:
        if (typed.value == record.get()) {
            showMessage(vr::format("Same {} value {}, no changes made", record.name(), typed.value), true);
        } else {
            record.set(record.clamped(typed.value));
            // The time shift is saved by its split; the percentage belongs to the airport's stand file.
            if (!timeShift && !percentage) saveIntParameter(&record);
            changed = true;
        }
        break;
    case TypedInt::Kind::invalid:
        showMessage(vr::format("invalid input: {}", text), true);
        break;
    case TypedInt::Kind::outOfRange:
        logLineMarked(vr::format("{}: {}, h={} ", "lf_processTbInt", "stoi", text));
        break;
    }
    if (changed) showMessage(vr::format("The new {} is {}", record.name(), record.get()), false);
    showIntParameterText(record);
    return changed;
}

bool lf_processTbFloat(FloatEditParameter& record)
{
    const std::string text = lf_getTextFromId(record.controlId());
    bool changed = false;
    const TypedFloat typed = parseTypedFloat(text);
    switch (typed.kind) {
    case TypedFloat::Kind::empty:
        record.set(record.clamped(record.defaultValue()));
        MAX_FIT.set(MAX_FIT.clamped(MAX_FIT.defaultValue()));
        saveIntParameter(&MAX_FIT);
        changed = true;
        break;
    case TypedFloat::Kind::number:
        if (typed.value == record.get()) {
            showMessage(vr::format("Same {} value {}, no changes made", record.name(), typed.value), true);
        } else {
            MAX_FIT.set(MAX_FIT.clamped(maxFitSlots(record.clamped(typed.value))));
            saveIntParameter(&MAX_FIT);
            record.set(record.clamped(maxFitHours(MAX_FIT.get())));
            changed = true;
        }
        break;
    case TypedFloat::Kind::invalid:
    case TypedFloat::Kind::outOfRange:
        logLine(vr::format("{}: {}, h={}", "lf_processTbFloat", "stof", text));
        break;
    }
    if (changed) showMessage(vr::format("The new {} is {:.1F}", record.name(), record.get()), false);
    showFloatParameterText(record);
    return changed;
}

void applyInstallPath(const std::string& text)
{
    mainWindow().clearError();
    clearMessage();
    std::error_code ec;
    const std::filesystem::file_status status =
        text.empty() ? std::filesystem::file_status{} : std::filesystem::status(text, ec);
    if (text.empty()) {
        if (!SIM_INSTALL_PATH.empty()) {
            SIM_INSTALL_PATH.set("");
            saveStringParameter(&SIM_INSTALL_PATH);
        }
    } else if (ec && status.type() != std::filesystem::file_type::not_found) {
        showMessage(vr::format("This install path cannot be read: {}", text), true);
    } else if (std::filesystem::exists(status)) {
        setStringParameter(&SIM_INSTALL_PATH, text);
        showMessage(vr::format("Install path exists, {} will restart", programId), true);
        requestClosing(ClosingReason::NewSettings, 3);
    } else {
        showMessage(vr::format("This install path does not exist: {}", text), true);
    }
    // The control shows the install path in force.
    if (const ui::Handle h = controlHandle(ALL_INSTALL_PATH)) ui::setWindowText(h, SIM_INSTALL_PATH.get());
}

void unblockCallsign()
{
    const std::string blocked = BLOCK_CALLSIGN.get();
    if (blocked.empty()) return;
    BLOCK_CALLSIGN.set("");
    saveStringParameter(&BLOCK_CALLSIGN);
    showStringParameterText(BLOCK_CALLSIGN);
    UNBLOCK.enable(false);
    showMessage(vr::format("no more blocking of live aircraft '{}'", blocked), true);
    mainCycle().request(mainCycle().blockCallsignChanged);
}

void blockCallsign()
{
    clearMessage();
    const std::string text = lf_getTextFromId(BLOCK_CALLSIGN.controlId());
    if (text.empty()) {
        unblockCallsign();
        return;
    }
    const std::optional<std::string> callsign = normalizeCallsign(text);
    if (!callsign) {
        showMessage(vr::format("callsign '{}' is not valid", text), true);
    } else if (BLOCK_CALLSIGN.get() == *callsign) {
        showMessage(vr::format("callsign '{}' was already set ...", *callsign), true);
    } else {
        BLOCK_CALLSIGN.set(*callsign);
        saveStringParameter(&BLOCK_CALLSIGN);
        UNBLOCK.enable(true);
        showMessage(vr::format("live aircraft with callsign '{}' will be blocked", *callsign), true);
        mainCycle().request(mainCycle().blockCallsignChanged);
    }
    showStringParameterText(BLOCK_CALLSIGN);
}

void checkDestination()
{
    clearMessage();
    const std::string text = lf_getTextFromId(DESTINATION.controlId());
    if (text.empty()) {
        DESTINATION.set("");  // for this run only
        RE_READ.enable(true);
        showMessage("destination set to empty", true);
        return;
    }
    const std::optional<std::string> ident = normalizeDestination(text);
    if (!ident) {
        showMessage(vr::format("destination '{}' is not valid", text), true);
    } else if (DESTINATION.get() == *ident) {
        showMessage(vr::format("destination '{}' was already set ...", *ident), true);
    } else if (const std::optional<LatLon> at = mainCycleCallees().findAirport(*ident)) {
        // The park-airport list is the worker's: it applies the destination on its next step.
        mainCycle().requestDestination(*ident, *at);
        if (const ui::Handle h = controlHandle(DESTINATION)) ui::setWindowText(h, *ident);
        return;
    } else {
        showMessage(vr::format("destination '{}' is unknown ...", *ident), true);
    }
    showStringParameterText(DESTINATION);
}
