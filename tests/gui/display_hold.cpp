// display_hold.cpp --
//
//     A connection of the test program's own to its display, opened before
//     the toolkit starts and closed once it runs. An X server resets itself
//     when its last client leaves: a case that starts right after another
//     on the same display could meet it mid-reset and find no display. Kept
//     apart from the harness because the X headers define names (Bool,
//     None, Status) that the toolkit's and the test framework's use too.

#include "display_hold.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace kiv_gui_test {

void* hold_display() {
    // The reset takes a few milliseconds, more on a loaded machine: the
    // display is asked for again until it answers.
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return nullptr;
    for (;;) {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void release_display(void* held) {
    if (held != nullptr)
        XCloseDisplay(static_cast<Display*>(held));
}

}  // namespace kiv_gui_test
