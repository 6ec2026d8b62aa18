// display_hold.h --
//
//     Holding the test program's display open while the toolkit starts
//     (display_hold.cpp).

#ifndef KIV_TESTS_GUI_DISPLAY_HOLD_H
#define KIV_TESTS_GUI_DISPLAY_HOLD_H

namespace kiv_gui_test {

// Waits until the display of DISPLAY takes a connection. Returns: that
//     connection, null when DISPLAY names none.
void* hold_display();
// Closes a connection from hold_display; null does nothing.
void release_display(void* held);

}  // namespace kiv_gui_test

#endif
