// gui_harness.h --
//
//     The harness of every GUI test program (the framework's, the map
//     view's, the viewer's). Each program runs its cases inside one
//     wxWidgets application on a virtual X display (`xvfb-run -a`); the
//     harness's main() starts the toolkit, runs the cases with an event
//     loop active and shuts the toolkit down. Listing the cases
//     (--gtest_list_tests, as the build does) needs no display.
//
//     What it sets up for every case:
//     - a wxWidgets assertion fails the running case instead of opening a
//       modal dialog that would hang the program;
//     - wxLog goes to stderr;
//     - every modal dialog passes a hook: message boxes and other native
//       dialogs are answered without showing, our own dialogs are shown
//       and ended with EndModal from the event loop; a dialog nobody
//       expected fails the case and is cancelled;
//     - all image handlers are installed.
//
//     What it offers: pumping the event loop until a condition holds (no
//     fixed sleeps; the time limit is only a safety net), menu states as
//     the user would see them, menu commands, clicks, typed text and a
//     held Ctrl through wxUIActionSimulator, wheel and key input injected
//     as events (wxWidgets 3.2 has no simulated wheel, and keypad keys
//     depend on NumLock), closing a popup menu, and window captures for
//     pixel probes.
//
//     Tests of code on kiv_gui start the framework and its GUI services
//     with gui_session (gui_session.h). CMake: kiv_add_gui_test in
//     tests/gui/CMakeLists.txt builds a program on this harness; GUI
//     cases take turns on the display.

#ifndef KIV_TESTS_GUI_GUI_HARNESS_H
#define KIV_TESTS_GUI_GUI_HARNESS_H

#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/string.h>
#include <wx/window.h>

#include <functional>
#include <vector>

namespace kiv_gui_test {

// --- the event loop -------------------------------------------------------

// Runs everything that is ready now: toolkit events, queued wxWidgets
// events (CallAfter, AddPendingEvent, events queued by other threads) and
// idle handling (update-UI, deferred deletions), until nothing is left.
void pump();

// Pumps until `done` holds, waiting for new events between rounds
// (the suite's time-out ends a case whose condition never comes).
void pump_until(const std::function<bool()>& done);

// Shows `window` (raised) and pumps until it is on screen with its final
// size and has been painted.
void show_and_wait(wxWindow* window);

// --- modal dialogs --------------------------------------------------------

// What the hook saw of one modal dialog.
struct dialog_record {
    wxString kind;     // the dialog's class name, such as "wxMessageDialog"
    wxString title;
    wxString message;  // message boxes only: the message text
    wxWindow* parent;  // the dialog's parent; may be dangling after the case
};

// Answers the next modal dialog with `result`: a message box (or another
// native dialog) returns it without being shown; a dialog of our own is
// shown, `act` runs on it from the event loop (fill fields, press
// buttons), and it is ended with EndModal(result) unless a button the
// act pressed ended it already. Answers are used in the order given.
void answer_next_dialog(int result, std::function<void(wxDialog&)> act = nullptr);
// Returns: every modal dialog seen since the case began, in order.
const std::vector<dialog_record>& dialogs_seen();
// Returns: how many given answers no dialog has used yet.
size_t unused_answers();

// --- menus ----------------------------------------------------------------

struct menu_state {
    bool found = false;    // the menu bar has an item of the id
    bool enabled = false;
    bool checked = false;
};

// Returns: the item's state after the frame's update-UI pass (wxGTK
//     updates menus only when they open, so the pass is run here).
menu_state menu_item_state(wxFrame* frame, int id);
// Chooses the menu item `id` of the frame's menu bar as the toolkit does
// for a click: a check item is toggled first, then wxEVT_MENU is sent.
// Returns: false when the frame has no such item or it is disabled.
bool choose_menu_item(wxFrame* frame, int id);

// --- input ----------------------------------------------------------------

// Moves the pointer to `at` (client coordinates of `window`) and clicks
// `button` (wxMOUSE_BTN_LEFT, ...) through the X server. The caller pumps
// until the effect shows. A click soon after another at the same place is
// a double click: it arrives as wxEVT_LEFT_DCLICK, not wxEVT_LEFT_DOWN.
void click(wxWindow* window, const wxPoint& at, int button = wxMOUSE_BTN_LEFT);
// Gives `window` the focus, then types the ASCII `text` into it through
// the X server. Returns: false when the simulator could not type it.
bool type_text(wxWindow* window, const char* text);
// Holds Ctrl down through the X server while it lives.
class held_ctrl {
public:
    held_ctrl();
    ~held_ctrl();
    held_ctrl(const held_ctrl&) = delete;
    held_ctrl& operator=(const held_ctrl&) = delete;
};
// Sends `window` a wheel event at `at` (client coordinates): `rotation`
// in units of the wheel delta (120 a notch; positive turns forward).
void send_wheel(wxWindow* window, const wxPoint& at, int rotation);
// Sends `window` a key press as the toolkit delivers one: key down, char
// (for keys that give one), key up. Keypad keys arrive as WXK_NUMPAD_*.
void send_key(wxWindow* window, int key_code, int modifiers = wxMOD_NONE);
// Makes the next popup menu close at once (as if Escape were pressed in
// it). Call before the code that calls PopupMenu, which only returns once
// the menu is closed.
void close_next_popup();

// --- pixels ---------------------------------------------------------------

// Returns: the client area of `window` as it is on screen, pixel for pixel.
wxImage capture(wxWindow* window);
// Returns: the pixel at (x, y) as 0xRRGGBB.
unsigned pixel(const wxImage& image, int x, int y);

}  // namespace kiv_gui_test

#endif
