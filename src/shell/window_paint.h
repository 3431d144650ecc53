#pragma once
// The main window's content: its child controls, its painting into the
// window's display list, and the reading of control texts.
//
// Threads: createControls, paintWindow and the text readers run on the UI
// thread (the window procedure). Painting reads the status panel, the main
// window state and the option records, all atomics or copies under their locks.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui.h"

// Colours as the window system takes them: 0x00BBGGRR.
namespace colour {
inline constexpr std::uint32_t red = 0x0000FF;
inline constexpr std::uint32_t lightBlue = 0xFFCC99;
inline constexpr std::uint32_t black = 0x000000;
inline constexpr std::uint32_t green = 0x32CD32;
inline constexpr std::uint32_t yellow = 0x00FFFF;
inline constexpr std::uint32_t white = 0xFFFFFF;
inline constexpr std::uint32_t grey = 0xA0A0A0;
}  // namespace colour

// The size of the client area.
inline constexpr int clientWidth = 880;
inline constexpr int clientHeight = 488;
// The short note of the build in the title band.
inline constexpr const char* buildNotice = "Linux test build";

// Creates the 44 option controls in their places, keeps each handle in its
// record and invalidates the window. The combo boxes are filled later.
void createControls(ui::Handle window);
// The whole client area: bands, lines, status, labels, parking band, message line.
void paintWindow(ui::PaintContext& pc);
void textOutColored(ui::PaintContext& pc, int x, int y, const std::string& text, std::uint32_t rgb);
// Black when enabled, else grey.
void textOutEnabled(ui::PaintContext& pc, int x, int y, const std::string& text, bool enabled);

// The text of the main window's child control with that id (UTF-8); empty when
// there is none (logged) or its text is not valid UTF-8 (logged).
std::string lf_getTextFromId(std::uint16_t id);
std::string getItemTextWide(std::uint16_t id);
// For a WM_COMMAND of the combo `id` that reports a changed selection: the
// selected index and its item text; nothing otherwise.
std::optional<std::pair<int, std::string>> getItemTextUtf8(ui::Handle window, std::uint16_t id, ui::WParam wParam);
// Empties the text of the control with that id.
void clearItemText(std::uint16_t id);
