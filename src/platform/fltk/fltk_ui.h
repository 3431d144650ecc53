#pragma once
// The window facade on screen: an FLTK presenter of the facade's store. Each
// top-level window becomes a double-buffered FLTK window that replays its
// display list in draw(); each control becomes a check button, input, choice
// or button at the control's own coordinates. The user's actions go back as
// the messages the program expects: a click is WM_COMMAND BN_CLICKED, a choice
// CBN_SELCHANGE, Enter in an input WM_CHAR 13 to the input's procedure, the
// close box WM_CLOSE (the window stays until the program destroys it).
//
// Threads: widgets are touched only on the thread that called start() (the
// thread of the message loop). Other threads change the store and wake the
// loop with Fl::awake; nothing here waits on the UI thread.

#include <cstdint>
#include <vector>

#include "platform/ui.h"

namespace ui::fltk {

// An X display can be opened.
bool displayAvailable();
// Makes the calling thread the UI thread and installs the presenter; false
// when there is no display.
bool start();
// Uninstalls the presenter and closes every window.
void stop();
// Brings the widgets up to date with the store and handles pending events
// for at most `seconds` (the screenshot's own loop).
void pump(double seconds);
// Plays the user on a control's widget as FLTK would deliver it: a check box
// or button is clicked, a choice takes its next item, an input gets Enter,
// a top-level window's close box is pressed. False when it is not shown.
bool actOn(Handle control);
// The client area of a top-level window as drawn on screen: RGB rows, top first.
std::vector<std::uint8_t> capture(Handle window, int& width, int& height);

}  // namespace ui::fltk
