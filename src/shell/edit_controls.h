#pragma once
// The main window's edit controls: a typed value takes effect when the user
// presses Enter in the control. Each control is subclassed with one of the
// procedures below; every message but Enter goes on to the control's own.
// Every path ends by writing the value in force back into the control.
//
// Threads: the UI thread. What touches the traffic (the removals of a new time
// shift, a new destination in the park-airport list) is asked of the worker
// through the main cycle's requests.

#include <string>

#include "core/options.h"
#include "platform/ui.h"

ui::LResult installPathEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult blockCallsignEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult destinationEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult parkingPercentageEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult timeShiftDaysEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult timeShiftHoursEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult timeShiftMinsEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
ui::LResult floatEditProc(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);

ui::LResult numericEditProc(EditParameter& record, ui::Handle window, std::uint32_t message, ui::WParam wParam,
                            ui::LParam lParam);
ui::LResult textEditProc(EditStringParameter& record, ui::Handle window, std::uint32_t message, ui::WParam wParam,
                         ui::LParam lParam);

// The typed integer of the record's control into the record; whether it changed.
bool lf_processTbInt(EditParameter& record);
// The typed hours of MAX_FIT_FL into it and MAX_FIT; whether they changed.
bool lf_processTbFloat(FloatEditParameter& record);
void applyInstallPath(const std::string& text);
void blockCallsign();
void unblockCallsign();
void checkDestination();
