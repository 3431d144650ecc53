#pragma once
// The application frame: the main window with its window procedure's frame
// (close, start a worker, save the position and quit, destroy), appMain (the
// window, the data folder, the first worker, the message loop), the creation
// of the option controls, and the one function that installs every seam of the
// earlier subsystems.
//
// Threads: the window procedure and appMain run on the UI thread (the thread of
// main). Workers are std::threads held by the frame and joined, never detached:
// the previous worker posted WM_APP+1 or WM_APP+2 as its last act, so each join
// returns at once; the end of the message loop joins the last one.

#include <cstdint>

#include "core/options.h"
#include "platform/ui.h"

// The window procedure of the main window.
ui::LResult mainWindowProcedure(ui::Handle window, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
// Creates the main window (its position from parameters.xml) with the option
// controls; false when it cannot be made.
bool initInstance(const std::string& title);
// The window, the data folder, WM_APP+1, the message loop; returns the exit
// code of WM_QUIT, 0 when a start step failed.
int appMain();
// For a user close from outside the window (a signal): a WM_CLOSE to the main window.
void requestWindowClose();

// MAIN_WINDOW_X and MAIN_WINDOW_Y: an option that stands on its min or max
// takes the given value (clamped) instead, and is saved.
void resetWindowPosAtBound(std::int32_t x, std::int32_t y);

ui::Handle createCheckbox(CheckboxParameter& record, ui::Handle parent, int x);
ui::Handle createCheckboxUnchecked(ButtonParameter& record, ui::Handle parent, int x, int width);
ui::Handle createEdit(ParameterControl& record, ui::Handle parent, int x, int width, ui::WindowProcedure procedure);
ui::Handle createCombo(ComboParameter& record, ui::Handle parent, int x, int width);

// Installs the shell's message line, the liveries' and airports' services, the
// traffic client's and the simulator link's hand-over entries, and the
// service's address (VRMT_SERVICE_URL, else the real service's).
void installSeams();
// The service's address and key as the program uses them.
std::string configuredServiceUrl();
std::string configuredServiceKey();
inline constexpr const char* defaultServiceUrl = "https://rtw.flyrealtraffic.com";
