#pragma once
// The window system as the program uses it: window handles, the message values
// it sends itself, a message queue per process that any thread may post to, a
// message loop on the UI thread that delivers WM_PAINT only when nothing else
// waits and ends on WM_QUIT, child controls (buttons, check boxes, edits, combo
// boxes) with subclassing, and a paint context that draws into a display list.
//
// On Linux the backend is headless: every control is an entry of a store kept
// under one lock, painting appends to a display list, and a test driver plays
// the user (close, click, select, type + pressEnter, paint, waitIdle).
//
// Threads: postMessage, invalidate and every control call may come from any
// thread; window procedures run only on the thread in runMessageLoop (or in a
// driver call made while no loop runs). No lock is held while a window
// procedure runs, so a procedure may call back into this facade.
// resetUi() forgets every window and message (tests, never while a loop runs).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ui {

using Handle = std::uintptr_t;  // 0: none
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
using WindowProcedure = LResult (*)(Handle, std::uint32_t, WParam, LParam);

inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_CHAR = 0x0102;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_APP = 0x8000;
// WM_COMMAND notification codes (high word of wParam).
inline constexpr std::uint32_t BN_CLICKED = 0;
inline constexpr std::uint32_t CBN_SELCHANGE = 1;

inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_BORDER = 0x00800000;
inline constexpr std::uint32_t BS_CHECKBOX = 0x00000002;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x00000001;

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct CreateParams {
    std::string className;  // "button", "Edit", "ComboBox", or the program's window class
    std::string text;
    std::uint32_t style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    Handle parent = 0;
    std::uint16_t id = 0;                  // child-window id
    WindowProcedure procedure = nullptr;   // null: the class's own (controls)
};

// 0 when the parent is given but is not a window.
Handle createWindow(const CreateParams& params);
// Sends WM_DESTROY to the window and forgets it with its children.
bool destroyWindow(Handle window);
bool isWindow(Handle window);
// Queues a message for the loop; false when the window does not exist.
bool postMessage(Handle window, std::uint32_t message, WParam wParam, LParam lParam);
// Calls the window's procedure at once, on the calling thread.
LResult sendMessage(Handle window, std::uint32_t message, WParam wParam, LParam lParam);
// Queues WM_QUIT with the exit code.
void postQuitMessage(int exitCode);
// Delivers messages until WM_QUIT; returns its exit code. Queued messages go
// first, then one WM_PAINT per invalidated window.
int runMessageLoop();

// Replaces the window's procedure; returns the one it had.
WindowProcedure setWindowProcedure(Handle window, WindowProcedure procedure);
// Calls `procedure` (the default handling when null: nothing, 0).
LResult callWindowProcedure(WindowProcedure procedure, Handle window, std::uint32_t message, WParam wParam,
                            LParam lParam);

Handle dialogItem(Handle parent, std::uint16_t id);
std::uint16_t controlId(Handle window);
void setWindowText(Handle window, const std::string& text);
std::string windowText(Handle window);
void enableWindow(Handle window, bool enable);
bool isWindowEnabled(Handle window);
void setCheck(Handle window, bool checked);
bool isChecked(Handle window);
void setComboItems(Handle window, const std::vector<std::string>& items, int selected);
void selectComboItem(Handle window, int index);
int selectedComboItem(Handle window);
std::vector<std::string> comboItems(Handle window);
void setTopmost(Handle window, bool topmost);
bool isTopmost(Handle window);
Rect windowRect(Handle window);
void moveWindow(Handle window, int x, int y);
// Marks the window for painting (any thread).
void invalidate(Handle window);

// What a window procedure draws on WM_PAINT: appended to the window's display list.
class PaintContext {
public:
    explicit PaintContext(Handle window);
    ~PaintContext();
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;
    void fillRect(const Rect& r, std::uint32_t rgb);
    void text(int x, int y, const std::string& text, std::uint32_t rgb);

private:
    Handle window_;
    std::vector<std::string> items_;
};
// The display list of the last finished paint.
std::vector<std::string> displayList(Handle window);

// Forgets every window and message (tests).
void resetUi();

// The user, played by a test (any thread; the loop delivers what they post).
namespace driver {
// WM_CLOSE to the top window.
void close(Handle window);
// A click of the child control with that id: its check box toggles, then WM_COMMAND BN_CLICKED to the parent.
void click(Handle parent, std::uint16_t id);
// Selects an item of a combo box, then WM_COMMAND CBN_SELCHANGE to the parent.
void select(Handle parent, std::uint16_t id, int index);
// Replaces the text of an edit control.
void type(Handle parent, std::uint16_t id, const std::string& text);
// WM_CHAR 13 to the edit control's procedure.
void pressEnter(Handle parent, std::uint16_t id);
// WM_PAINT at once.
void paint(Handle window);
// Waits until the loop has nothing queued and waits for messages; false after
// `limitMs` on the program clock.
bool waitIdle(int limitMs = 10000);
}  // namespace driver

}  // namespace ui
