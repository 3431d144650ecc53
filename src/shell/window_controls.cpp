// The main window's child controls and the reading of their texts.
#include <cstddef>

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/text_convert.h"
#include "shell/app_frame.h"
#include "shell/edit_controls.h"
#include "shell/main_window.h"
#include "shell/window_paint.h"

namespace {

constexpr std::uint32_t WS_VSCROLL = 0x00200000;
constexpr std::uint32_t CBS_DROPDOWNLIST = 0x0003;
// The longest text read from a control, in UTF-16 units.
constexpr std::size_t maxItemText = 1023;

ui::Handle lf_parent() { return mainWindow().window.load(); }

void lf_combo(ComboParameter& record, ui::Handle parent, int x, int width, int listHeight)
{
    ui::CreateParams p;
    p.className = "ComboBox";
    p.style = ui::WS_CHILD | ui::WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST;
    p.x = x;
    p.y = static_cast<int>(record.row()) - 5;
    p.width = width;
    p.height = listHeight;
    p.parent = parent;
    p.id = record.controlId();
    record.setWindow(reinterpret_cast<ControlHandle>(ui::createWindow(p)));
    // Its choices at once; the start of every run fills it again.
    record.fillControl();
}

// Cuts a text after `maxItemText` UTF-16 units, at a character boundary.
std::string lf_clip(const std::string& text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        units += length == 4 ? 2 : 1;
        if (units > maxItemText) return text.substr(0, i);
        i += length;
    }
    return text;
}

}  // namespace

void createControls(ui::Handle w)
{
    createEdit(ALL_INSTALL_PATH, w, 111, 1200, installPathEditProc);
    createCheckbox(SCAN_LIVERIES, w, 5);
    createCheckbox(LIG_AUTOMATIC, w, 217);
    createCheckbox(LIG_PRIORITIZE, w, 450);
    createCheckbox(SUPPRESS_STUB, w, 536);
    createCheckbox(LOG, w, 652);
    createCheckbox(ALWAYS_ON_TOP, w, 748);
    createCheckbox(SCAN_AIRPORTS, w, 5);
    createCheckbox(AFG_AUTOMATIC, w, 217);
    createCheckbox(NAV_LIGHTS_WHILE_PARKED, w, 652);
    createCheckbox(LEARN_SOFT, w, 748);
    lf_combo(MATCHING_DEPTH, w, 217, 40, 120);
    createCheckbox(LIGHT_AIRCRAFT, w, 323);
    createCheckbox(HELICOPTERS, w, 430);
    createCheckbox(HIGH_PERF_AIRCRAFT, w, 536);
    createCheckbox(GUID_CHANGES, w, 748);
    lf_combo(RANGE, w, 217, 50, 200);
    createCheckbox(AUTO_RANGE, w, 323);
    lf_combo(AR_ABOVE_HEIGHT, w, 455, 70, 230);
    createEdit(TIME_SHIFT_DAYS, w, 748, 30, timeShiftDaysEditProc);
    createCheckbox(COLLISION_USER_GND, w, 217);
    createCheckbox(COLLISION_USER_AIR, w, 323);
    createCheckbox(COLLISION_LIVE_PARKED_GND, w, 430);
    createCheckbox(SIM_TIME, w, 652);
    createEdit(TIME_SHIFT_HOURS, w, 748, 30, timeShiftHoursEditProc);
    createEdit(BLOCK_CALLSIGN, w, 217, 100, blockCallsignEditProc);
    createCheckboxUnchecked(UNBLOCK, w, 323, 70);
    createCheckbox(KEEP_SIM_TIME_PAR, w, 652);
    createEdit(TIME_SHIFT_MINS, w, 748, 30, timeShiftMinsEditProc);
    lf_combo(MAX_PARK_SEL, w, 323, 55, 144);
    lf_combo(MAX_LIVE_SEL, w, 536, 55, 144);
    createEdit(DESTINATION, w, 217, 50, destinationEditProc);
    lf_combo(AIRP_RANGE, w, 353, 45, 144);
    lf_combo(AIRP_HEIGHT, w, 566, 70, 230);
    createCheckbox(STRAIGHT_PBS_ONLY, w, 652);
    createCheckbox(PARK_FAKE, w, 5);
    createCheckbox(WEEK, w, 71);
    createCheckbox(PARK_SOFT, w, 151);
    createEdit(parking_percentage, w, 323, 34, parkingPercentageEditProc);
    createCheckbox(INITIAL_LOAD_ONLY, w, 430);
    createEdit(MAX_FIT_FL, w, 566, 34, floatEditProc);
    createCheckbox(RT_PARKTRAFFIC_ONLY, w, 642);
    createCheckboxUnchecked(RE_READ, w, 758, 90);
    createCheckboxUnchecked(FLUSH_STATIC, w, 758, 90);
    ui::invalidate(w);
}

std::string getItemTextWide(std::uint16_t id)
{
    const ui::Handle item = ui::dialogItem(lf_parent(), id);
    if (!item) {
        logLine(vr::format("GetDlgItem failed for ID {}", id));
        return {};
    }
    return lf_clip(ui::windowText(item));
}

std::string lf_getTextFromId(std::uint16_t id)
{
    const std::string text = getItemTextWide(id);
    try {
        (void)win32::Utf8ToUtf16(text);
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{} {}", "lf_getTextFromId", e.what()));
        return {};
    }
    return text;
}

std::optional<std::pair<int, std::string>> getItemTextUtf8(ui::Handle window, std::uint16_t id, ui::WParam wParam)
{
    if ((wParam & 0xFFFF) != id || ((wParam >> 16) & 0xFFFF) != ui::CBN_SELCHANGE) return std::nullopt;
    const ui::Handle combo = ui::dialogItem(window, id);
    if (!combo) return std::nullopt;
    const int index = ui::selectedComboItem(combo);
    const std::vector<std::string> items = ui::comboItems(combo);
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return std::nullopt;
    return std::pair{index, items[static_cast<std::size_t>(index)]};
}

void clearItemText(std::uint16_t id)
{
    if (const ui::Handle item = ui::dialogItem(lf_parent(), id)) ui::setWindowText(item, "");
}
