#include "platform/fltk/fltk_ui.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

namespace ui::fltk {
namespace {

constexpr std::uint32_t editBackground = 0xFFCC99;  // the option area's light blue

Fl_Color lf_colour(std::uint32_t colorref)
{
    return fl_rgb_color(static_cast<uchar>(colorref & 0xFF), static_cast<uchar>((colorref >> 8) & 0xFF),
                        static_cast<uchar>((colorref >> 16) & 0xFF));
}

// "#bbggrr" of the display list.
std::uint32_t lf_parseColour(const std::string& text)
{
    return text.size() == 7 ? static_cast<std::uint32_t>(std::strtoul(text.c_str() + 1, nullptr, 16)) : 0;
}

WParam lf_command(std::uint32_t code, std::uint16_t id) { return (WParam{code} << 16) | id; }

class TopWindow : public Fl_Double_Window {
public:
    TopWindow(Handle handle, int x, int y, int w, int h, const char* title)
        : Fl_Double_Window(x, y, w, h, title), handle_(handle)
    {
    }
    void setDisplayList(std::vector<std::string> list)
    {
        list_ = std::move(list);
        redraw();
    }
    Handle handle() const { return handle_; }

protected:
    void draw() override
    {
        fl_font(FL_HELVETICA, 13);
        fl_push_clip(0, 0, w(), h());
        fl_color(FL_BLACK);
        fl_rectf(0, 0, w(), h());
        for (const std::string& item : list_) replay(item);
        fl_pop_clip();
        draw_children();
    }

private:
    void replay(const std::string& item)
    {
        std::istringstream in(item);
        std::string kind;
        in >> kind;
        int a = 0, b = 0;
        char comma = 0;
        in >> a >> comma >> b;
        if (kind == "fill") {
            int c = 0, d = 0;
            std::string colour;
            in >> comma >> c >> comma >> d >> colour;
            fl_color(lf_colour(lf_parseColour(colour)));
            fl_rectf(a, b, c - a, d - b);
        } else if (kind == "text") {
            std::string colour;
            in >> colour;
            in.get();
            std::string text;
            std::getline(in, text);
            fl_color(lf_colour(lf_parseColour(colour)));
            // A text's y is its top; FLTK draws on the base line.
            fl_draw(text.c_str(), a, b + fl_height() - fl_descent());
        }
    }

    Handle handle_;
    std::vector<std::string> list_;
};

class EnterInput : public Fl_Input {
public:
    EnterInput(Handle handle, int x, int y, int w, int h) : Fl_Input(x, y, w, h), handle_(handle) {}
    int handle(int event) override
    {
        if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            postMessage(handle_, WM_CHAR, 13, 0);
            return 1;
        }
        return Fl_Input::handle(event);
    }

private:
    Handle handle_;
};

struct Shown {
    Fl_Widget* widget = nullptr;
    WindowState state;  // as last applied
    bool fresh = true;
};

void lf_setAbove(TopWindow* w, bool above);

class FltkPresenter final : public Presenter {
public:
    // At most one wake is on its way, so a busy UI thread never fills FLTK's
    // wake pipe and a thread that wakes it never blocks.
    void wake() override
    {
        if (!woken_.exchange(true)) Fl::awake();
    }
    void waitForEvents() override
    {
        sync();
        Fl::wait(0.25);
        woken_ = false;
        sync();
    }
    void clearWake() { woken_ = false; }

    void sync()
    {
        const std::vector<WindowState> states = windowStates();
        std::map<Handle, const WindowState*> byHandle;
        for (const WindowState& s : states) byHandle[s.handle] = &s;
        // Gone from the store: gone from the screen.
        for (auto it = shown_.begin(); it != shown_.end();) {
            if (byHandle.contains(it->first)) {
                ++it;
                continue;
            }
            if (auto* top = dynamic_cast<TopWindow*>(it->second.widget)) {
                top->hide();
                Fl::delete_widget(top);
                for (auto& [h, s] : shown_)
                    if (h != it->first && s.widget && s.widget->window() == top) s.widget = nullptr;
            }
            it = shown_.erase(it);
        }
        for (const WindowState& s : states)
            if (s.parent == 0) syncTop(s);
        for (const WindowState& s : states)
            if (s.parent != 0) syncChild(s);
    }

    TopWindow* top(Handle h)
    {
        auto it = shown_.find(h);
        return it == shown_.end() ? nullptr : dynamic_cast<TopWindow*>(it->second.widget);
    }

    Fl_Widget* widget(Handle h)
    {
        auto it = shown_.find(h);
        return it == shown_.end() ? nullptr : it->second.widget;
    }

    void closeAll()
    {
        for (auto& [h, s] : shown_)
            if (auto* top = dynamic_cast<TopWindow*>(s.widget)) {
                top->hide();
                Fl::delete_widget(top);
            }
        shown_.clear();
    }

private:
    void syncTop(const WindowState& s)
    {
        Shown& shown = shown_[s.handle];
        auto* w = dynamic_cast<TopWindow*>(shown.widget);
        if (!w) {
            title_[s.handle] = s.text;
            w = new TopWindow(s.handle, s.rect.left, s.rect.top, s.rect.right - s.rect.left,
                              s.rect.bottom - s.rect.top, title_[s.handle].c_str());
            w->end();
            w->callback([](Fl_Widget* widget, void*) {
                // The close box asks; the program decides.
                postMessage(static_cast<TopWindow*>(widget)->handle(), WM_CLOSE, 0, 0);
            });
            shown.widget = w;
            w->show();
        }
        if (shown.fresh || s.paintCount != shown.state.paintCount) w->setDisplayList(displayList(s.handle));
        if (shown.fresh || s.topmost != shown.state.topmost) lf_setAbove(w, s.topmost);
        // The store follows the frame where the window manager put it.
        if (!shown.fresh && (w->x() != shown.state.rect.left || w->y() != shown.state.rect.top))
            moveWindow(s.handle, w->x(), w->y());
        shown.state = s;
        shown.state.rect.left = w->x();
        shown.state.rect.top = w->y();
        shown.fresh = false;
    }

    void syncChild(const WindowState& s)
    {
        TopWindow* parent = top(s.parent);
        if (!parent) return;
        Shown& shown = shown_[s.handle];
        if (!shown.widget) {
            shown.widget = make(s, parent);
            shown.fresh = true;
        }
        Fl_Widget* w = shown.widget;
        const WindowState& was = shown.state;
        if (shown.fresh || s.enabled != was.enabled) s.enabled ? w->activate() : w->deactivate();
        if (auto* check = dynamic_cast<Fl_Check_Button*>(w)) {
            if (shown.fresh || s.checked != was.checked) check->value(s.checked ? 1 : 0);
        } else if (auto* input = dynamic_cast<Fl_Input*>(w)) {
            if (s.text != input->value()) input->value(s.text.c_str());
        } else if (auto* choice = dynamic_cast<Fl_Choice*>(w)) {
            if (shown.fresh || s.items != was.items) {
                choice->clear();
                for (const std::string& item : s.items) choice->add(item.c_str());
            }
            if (choice->value() != s.selected) choice->value(s.selected);
        } else if (shown.fresh || s.text != was.text) {
            label_[s.handle] = s.text;
            w->label(label_[s.handle].c_str());
        }
        shown.state = s;
        shown.fresh = false;
        parent->redraw();
    }

    Fl_Widget* make(const WindowState& s, TopWindow* parent)
    {
        const int x = s.rect.left;
        const int y = s.rect.top;
        const int w = s.rect.right - s.rect.left;
        int h = s.rect.bottom - s.rect.top;
        parent->begin();
        Fl_Widget* widget = nullptr;
        const Handle handle = s.handle;
        const void* data = reinterpret_cast<void*>(handle);
        if (s.className == "button" && (s.style & BS_CHECKBOX) && !(s.style & BS_DEFPUSHBUTTON)) {
            auto* b = new Fl_Check_Button(x, y, w, h);
            b->callback([](Fl_Widget* widget, void* d) {
                const auto h = reinterpret_cast<Handle>(d);
                setCheck(h, static_cast<Fl_Check_Button*>(widget)->value() != 0);
                postMessage(lf_parentOf(h), WM_COMMAND, lf_command(BN_CLICKED, controlId(h)), static_cast<LParam>(h));
            }, const_cast<void*>(data));
            widget = b;
        } else if (s.className == "button") {
            auto* b = new Fl_Button(x, y, w, h);
            b->labelsize(12);
            b->callback([](Fl_Widget*, void* d) {
                const auto h = reinterpret_cast<Handle>(d);
                postMessage(lf_parentOf(h), WM_COMMAND, lf_command(BN_CLICKED, controlId(h)), static_cast<LParam>(h));
            }, const_cast<void*>(data));
            widget = b;
        } else if (s.className == "Edit") {
            auto* in = new EnterInput(handle, x, y, w, h);
            in->textsize(12);
            in->box(FL_BORDER_BOX);
            in->color(lf_colour(editBackground));
            in->when(FL_WHEN_CHANGED);
            in->callback([](Fl_Widget* widget, void* d) {
                setWindowText(reinterpret_cast<Handle>(d), static_cast<Fl_Input*>(widget)->value());
            }, const_cast<void*>(data));
            widget = in;
        } else if (s.className == "ComboBox") {
            h = 21;  // the closed box; the list opens on its own
            auto* c = new Fl_Choice(x, y, w, h);
            c->textsize(12);
            c->callback([](Fl_Widget* widget, void* d) {
                const auto h = reinterpret_cast<Handle>(d);
                selectComboItem(h, static_cast<Fl_Choice*>(widget)->value());
                postMessage(lf_parentOf(h), WM_COMMAND, lf_command(CBN_SELCHANGE, controlId(h)),
                            static_cast<LParam>(h));
            }, const_cast<void*>(data));
            widget = c;
        } else {
            widget = new Fl_Box(x, y, w, h);
        }
        parent->end();
        parents_[handle] = s.parent;
        return widget;
    }

public:
    static Handle lf_parentOf(Handle h);

private:
    std::atomic<bool> woken_{false};
    std::map<Handle, Shown> shown_;
    std::map<Handle, std::string> title_;
    std::map<Handle, std::string> label_;
    static std::map<Handle, Handle> parents_;
};

std::map<Handle, Handle> FltkPresenter::parents_;
Handle FltkPresenter::lf_parentOf(Handle h)
{
    auto it = parents_.find(h);
    return it == parents_.end() ? 0 : it->second;
}

FltkPresenter* lf_presenter = nullptr;

// The window manager's "above" state (X11, EWMH).
void lf_setAbove(TopWindow* w, bool above)
{
    if (!w->shown() || !fl_display) return;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = fl_xid(w);
    e.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = above ? 1 : 0;
    e.xclient.data.l[1] = static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False));
    e.xclient.data.l[2] = 0;
    e.xclient.data.l[3] = 1;
    XSendEvent(fl_display, DefaultRootWindow(fl_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XFlush(fl_display);
}

}  // namespace

namespace {

// The program's one connection to the X server. A probe closed again would be
// the server's last client: a server started without -noreset then resets,
// and the real connection, made during the reset, fails.
Display* lf_openDisplay()
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    return XOpenDisplay(nullptr);
}

}  // namespace

bool displayAvailable()
{
    if (fl_display) return true;
    Display* d = lf_openDisplay();
    if (!d) return false;
    XCloseDisplay(d);
    return true;
}

bool start()
{
    if (lf_presenter) return true;
    Display* display = lf_openDisplay();
    if (!display) return false;
    fl_open_display(display);  // FLTK takes this connection: Fl::visual would open one of its own
    Fl::lock();                // from here on other threads may Fl::awake
    Fl::visual(FL_DOUBLE | FL_RGB);
    lf_presenter = new FltkPresenter;
    setPresenter(lf_presenter);
    return true;
}

void stop()
{
    if (!lf_presenter) return;
    setPresenter(nullptr);
    lf_presenter->closeAll();
    Fl::wait(0.0);
    delete lf_presenter;
    lf_presenter = nullptr;
}

void pump(double seconds)
{
    if (!lf_presenter) return;
    lf_presenter->sync();
    Fl::wait(seconds);
    lf_presenter->clearWake();
    lf_presenter->sync();
    Fl::flush();
}

bool actOn(Handle control)
{
    if (!lf_presenter) return false;
    lf_presenter->sync();
    Fl_Widget* w = lf_presenter->widget(control);
    if (!w) return false;
    if (auto* check = dynamic_cast<Fl_Check_Button*>(w)) {
        check->value(check->value() ? 0 : 1);
        check->do_callback();
    } else if (auto* choice = dynamic_cast<Fl_Choice*>(w)) {
        if (choice->size() <= 1) return false;
        choice->value((choice->value() + 1) % (choice->size() - 1));
        choice->do_callback();
    } else if (auto* input = dynamic_cast<Fl_Input*>(w)) {
        Fl::e_keysym = FL_Enter;
        input->handle(FL_KEYBOARD);
    } else {
        w->do_callback();
    }
    return true;
}

std::vector<std::uint8_t> capture(Handle window, int& width, int& height)
{
    width = height = 0;
    if (!lf_presenter) return {};
    TopWindow* w = lf_presenter->top(window);
    if (!w || !w->shown()) return {};
    w->make_current();
    width = w->w();
    height = w->h();
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    fl_read_image(rgb.data(), 0, 0, width, height);
    return rgb;
}

}  // namespace ui::fltk
