#pragma once
// What a click or a choice in the main window does: the option record changes,
// it is saved at once, the message line tells the user, and what the running
// traffic must do is asked of the worker through the main cycle's requests (or
// a restart). Handlers never walk the engine's containers, the livery indexes
// or the park-airport list.
//
// Threads: the UI thread (the window procedure's WM_COMMAND).

#include <cstdint>

#include "airports/park_airports.h"  // parkParametersChanged
#include "platform/ui.h"

// Buttons, then check boxes, then combos; false when none took the command.
bool lf_HandleWMCOMMAND(ui::Handle window, ui::WParam wParam);
bool handleBlockButtons(ui::Handle window, std::uint16_t id);
bool handleCheckboxes(ui::Handle window, std::uint16_t id);
bool handleComboSelection(ui::Handle window, ui::WParam wParam);
// Tells when the next 15-second step takes a parking change up, and asks for it.
void announceRespond();
// RANGE as the user chose it, kept while AUTO_RANGE chooses.
std::int32_t rememberedManualRange();
