// The headless backend of the window facade: a store of windows and controls
// and one message queue, both under one mutex, never held while a window
// procedure runs.
#include "platform/ui.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "platform/clock.h"

namespace ui {
namespace {

struct Window {
    std::string className;
    std::string text;
    std::uint32_t style = 0;
    Rect rect;
    Handle parent = 0;
    std::uint16_t id = 0;
    WindowProcedure procedure = nullptr;
    bool enabled = true;
    bool checked = false;
    bool topmost = false;
    std::vector<std::string> items;
    int selected = -1;
    std::vector<std::string> displayList;
};

struct Message {
    Handle window = 0;
    std::uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

struct Store {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<Handle, Window> windows;
    std::deque<Message> queue;
    std::set<Handle> invalid;
    Handle next = 0x100;
    bool waiting = false;  // the loop waits for messages
};

Store& lf_store()
{
    static Store& s = *new Store;  // never destroyed: posters may outlive main
    return s;
}

template <class F>
auto lf_with(Handle window, F f, decltype(f(std::declval<Window&>())) otherwise)
{
    Store& s = lf_store();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    return it == s.windows.end() ? otherwise : f(it->second);
}

void lf_forget(Store& s, Handle window)
{
    std::vector<Handle> children;
    for (const auto& [h, w] : s.windows)
        if (w.parent == window) children.push_back(h);
    for (Handle c : children) lf_forget(s, c);
    s.windows.erase(window);
    s.invalid.erase(window);
}

}  // namespace

Handle createWindow(const CreateParams& p)
{
    Store& s = lf_store();
    std::lock_guard lock(s.mutex);
    if (p.parent != 0 && !s.windows.contains(p.parent)) return 0;
    Window w;
    w.className = p.className;
    w.text = p.text;
    w.style = p.style;
    w.rect = {p.x, p.y, p.x + p.width, p.y + p.height};
    w.parent = p.parent;
    w.id = p.id;
    w.procedure = p.procedure;
    const Handle h = s.next++;
    s.windows.emplace(h, std::move(w));
    return h;
}

bool destroyWindow(Handle window)
{
    if (!isWindow(window)) return false;
    sendMessage(window, WM_DESTROY, 0, 0);
    Store& s = lf_store();
    std::lock_guard lock(s.mutex);
    lf_forget(s, window);
    return true;
}

bool isWindow(Handle window)
{
    return lf_with(window, [](Window&) { return true; }, false);
}

bool postMessage(Handle window, std::uint32_t message, WParam wParam, LParam lParam)
{
    Store& s = lf_store();
    {
        std::lock_guard lock(s.mutex);
        if (!s.windows.contains(window)) return false;
        s.queue.push_back({window, message, wParam, lParam});
    }
    s.changed.notify_all();
    return true;
}

LResult sendMessage(Handle window, std::uint32_t message, WParam wParam, LParam lParam)
{
    const WindowProcedure proc = lf_with(window, [](Window& w) { return w.procedure; }, WindowProcedure{nullptr});
    return callWindowProcedure(proc, window, message, wParam, lParam);
}

void postQuitMessage(int exitCode)
{
    Store& s = lf_store();
    {
        std::lock_guard lock(s.mutex);
        s.queue.push_back({0, WM_QUIT, static_cast<WParam>(exitCode), 0});
    }
    s.changed.notify_all();
}

int runMessageLoop()
{
    Store& s = lf_store();
    for (;;) {
        Message m;
        {
            std::unique_lock lock(s.mutex);
            // Waiting for the user or another thread is unbounded by nature,
            // as GetMessage is: every poster notifies.
            s.waiting = true;
            s.changed.notify_all();
            s.changed.wait(lock, [&] { return !s.queue.empty() || !s.invalid.empty(); });
            s.waiting = false;
            if (!s.queue.empty()) {
                m = s.queue.front();
                s.queue.pop_front();
            } else {
                m = {*s.invalid.begin(), WM_PAINT, 0, 0};
                s.invalid.erase(s.invalid.begin());
            }
        }
        if (m.message == WM_QUIT) return static_cast<int>(m.wParam);
        sendMessage(m.window, m.message, m.wParam, m.lParam);
    }
}

WindowProcedure setWindowProcedure(Handle window, WindowProcedure procedure)
{
    return lf_with(
        window,
        [procedure](Window& w) {
            const WindowProcedure old = w.procedure;
            w.procedure = procedure;
            return old;
        },
        WindowProcedure{nullptr});
}

LResult callWindowProcedure(WindowProcedure procedure, Handle window, std::uint32_t message, WParam wParam,
                            LParam lParam)
{
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

Handle dialogItem(Handle parent, std::uint16_t id)
{
    Store& s = lf_store();
    std::lock_guard lock(s.mutex);
    for (const auto& [h, w] : s.windows)
        if (w.parent == parent && w.id == id) return h;
    return 0;
}

std::uint16_t controlId(Handle window)
{
    return lf_with(window, [](Window& w) { return w.id; }, std::uint16_t{0});
}

void setWindowText(Handle window, const std::string& text)
{
    lf_with(window, [&](Window& w) { return (w.text = text, 0); }, 0);
}

std::string windowText(Handle window)
{
    return lf_with(window, [](Window& w) { return w.text; }, std::string{});
}

void enableWindow(Handle window, bool enable)
{
    lf_with(window, [&](Window& w) { return (w.enabled = enable, 0); }, 0);
}

bool isWindowEnabled(Handle window)
{
    return lf_with(window, [](Window& w) { return w.enabled; }, false);
}

void setCheck(Handle window, bool checked)
{
    lf_with(window, [&](Window& w) { return (w.checked = checked, 0); }, 0);
}

bool isChecked(Handle window)
{
    return lf_with(window, [](Window& w) { return w.checked; }, false);
}

void setComboItems(Handle window, const std::vector<std::string>& items, int selected)
{
    lf_with(
        window,
        [&](Window& w) {
            w.items = items;
            w.selected = selected >= 0 && selected < static_cast<int>(items.size()) ? selected : -1;
            return 0;
        },
        0);
}

void selectComboItem(Handle window, int index)
{
    lf_with(
        window,
        [&](Window& w) {
            w.selected = index >= 0 && index < static_cast<int>(w.items.size()) ? index : -1;
            return 0;
        },
        0);
}

int selectedComboItem(Handle window)
{
    return lf_with(window, [](Window& w) { return w.selected; }, -1);
}

std::vector<std::string> comboItems(Handle window)
{
    return lf_with(window, [](Window& w) { return w.items; }, std::vector<std::string>{});
}

void setTopmost(Handle window, bool topmost)
{
    lf_with(window, [&](Window& w) { return (w.topmost = topmost, 0); }, 0);
}

bool isTopmost(Handle window)
{
    return lf_with(window, [](Window& w) { return w.topmost; }, false);
}

Rect windowRect(Handle window)
{
    return lf_with(window, [](Window& w) { return w.rect; }, Rect{});
}

void moveWindow(Handle window, int x, int y)
{
    lf_with(
        window,
        [&](Window& w) {
            const int width = w.rect.right - w.rect.left;
            const int height = w.rect.bottom - w.rect.top;
            w.rect = {x, y, x + width, y + height};
            return 0;
        },
        0);
}

void invalidate(Handle window)
{
    Store& s = lf_store();
    {
        std::lock_guard lock(s.mutex);
        if (!s.windows.contains(window)) return;
        s.invalid.insert(window);
    }
    s.changed.notify_all();
}

PaintContext::PaintContext(Handle window) : window_(window) {}

PaintContext::~PaintContext()
{
    lf_with(window_, [this](Window& w) { return (w.displayList = std::move(items_), 0); }, 0);
}

namespace {
std::string lf_rgb(std::uint32_t rgb)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string t = "#000000";
    for (int i = 0; i < 6; ++i) t[static_cast<std::size_t>(6 - i)] = digits[(rgb >> (4 * i)) & 0xF];
    return t;
}
}  // namespace

void PaintContext::fillRect(const Rect& r, std::uint32_t rgb)
{
    items_.push_back("fill " + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
                     "," + std::to_string(r.bottom) + " " + lf_rgb(rgb));
}

void PaintContext::text(int x, int y, const std::string& text, std::uint32_t rgb)
{
    items_.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " + lf_rgb(rgb) + " " + text);
}

std::vector<std::string> displayList(Handle window)
{
    return lf_with(window, [](Window& w) { return w.displayList; }, std::vector<std::string>{});
}

void resetUi()
{
    Store& s = lf_store();
    std::lock_guard lock(s.mutex);
    s.windows.clear();
    s.queue.clear();
    s.invalid.clear();
}

namespace driver {

void close(Handle window) { postMessage(window, WM_CLOSE, 0, 0); }

void click(Handle parent, std::uint16_t id)
{
    const Handle c = dialogItem(parent, id);
    if (!c) return;
    lf_with(
        c,
        [](Window& w) {
            if (w.style & BS_CHECKBOX) w.checked = !w.checked;
            return 0;
        },
        0);
    postMessage(parent, WM_COMMAND, (WParam{BN_CLICKED} << 16) | id, static_cast<LParam>(c));
}

void select(Handle parent, std::uint16_t id, int index)
{
    const Handle c = dialogItem(parent, id);
    if (!c) return;
    selectComboItem(c, index);
    postMessage(parent, WM_COMMAND, (WParam{CBN_SELCHANGE} << 16) | id, static_cast<LParam>(c));
}

void type(Handle parent, std::uint16_t id, const std::string& text) { setWindowText(dialogItem(parent, id), text); }

void pressEnter(Handle parent, std::uint16_t id) { postMessage(dialogItem(parent, id), WM_CHAR, 13, 0); }

void paint(Handle window) { sendMessage(window, WM_PAINT, 0, 0); }

bool waitIdle(int limitMs)
{
    Store& s = lf_store();
    std::unique_lock lock(s.mutex);
    const auto deadline = platform::steadyNow() + std::chrono::milliseconds(limitMs);
    return platform::clock().waitUntil(s.changed, lock, deadline, [&] {
        return s.waiting && s.queue.empty() && s.invalid.empty();
    });
}

}  // namespace driver
}  // namespace ui
