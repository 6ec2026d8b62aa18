// gui_harness.cpp --
//
//     The GUI test programs' main() and the harness helpers
//     (gui_harness.h). The toolkit starts once per program; each case runs
//     with the program's event loop active, so CallAfter, queued events
//     and modal dialogs behave as in the application.

#include "gui_harness.h"
#include "display_hold.h"

#include <kiv/core/ascii_case.h>

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/uiaction.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

namespace kiv_gui_test {

namespace {

// A wxWidgets assertion is a failure of the running case (from any
// thread); the program goes on.
void fail_on_assert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "wxWidgets assertion \"" << cond.utf8_str().data() << "\" failed in " << func.utf8_str().data() << "(): "
        << msg.utf8_str().data();
}

struct dialog_answer {
    int result;
    std::function<void(wxDialog&)> act;
};

// Dialogs whose ShowModal runs the toolkit's own loop: they are answered
// without being shown, since EndModal cannot reach them.
bool is_native(wxDialog* dialog) {
    // The base classes have no class info of their own, so wxDynamicCast
    // would take every dialog for one of them.
    return dynamic_cast<wxMessageDialogBase*>(dialog) != nullptr || dynamic_cast<wxFileDialogBase*>(dialog) != nullptr ||
           dynamic_cast<wxDirDialogBase*>(dialog) != nullptr;
}

class dialog_hook : public wxModalDialogHook {
public:
    std::deque<dialog_answer> answers;  // given by the running case, used in order
    std::vector<dialog_record> seen;    // since the case began

protected:
    int Enter(wxDialog* dialog) override {
        dialog_record record{dialog->GetClassInfo()->GetClassName(), dialog->GetTitle(), wxString(),
                             dialog->GetParent()};
        if (wxMessageDialogBase* box = dynamic_cast<wxMessageDialogBase*>(dialog))
            record.message = box->GetMessage();
        seen.push_back(record);
        if (answers.empty()) {
            ADD_FAILURE() << "an unexpected modal dialog \"" << record.title.utf8_str().data() << "\" ("
                          << record.message.utf8_str().data() << ") was cancelled";
            return wxID_CANCEL;
        }
        dialog_answer answer = answers.front();
        answers.pop_front();
        if (is_native(dialog))
            return answer.result;
        dialog->CallAfter([dialog, answer] {
            if (answer.act)
                answer.act(*dialog);
            // A button the act pressed may have ended the dialog already.
            if (dialog->IsModal())
                dialog->EndModal(answer.result);
        });
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}
};

dialog_hook* hook = nullptr;  // lives while the cases run

// Forgets the dialogs of the previous case and runs what it left queued.
class case_listener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        hook->seen.clear();
        hook->answers.clear();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { pump(); }
};

// One round: toolkit events, queued events, idle handling.
// Returns: whether anything was there to do.
bool pump_round() {
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    bool busy = false;
    for (int n = 0; loop != nullptr && loop->Pending() && n < 1000; ++n) {
        loop->Dispatch();
        busy = true;
    }
    if (wxTheApp->HasPendingEvents()) {
        wxTheApp->ProcessPendingEvents();
        busy = true;
    }
    if (loop != nullptr && loop->ProcessIdle())
        busy = true;
    return busy;
}

class test_app : public wxApp {
public:
    bool OnInit() override {
        wxSetAssertHandler(fail_on_assert);
        delete wxLog::SetActiveTarget(new wxLogStderr);
        wxInitAllImageHandlers();
        return true;
    }

    // Runs the cases with `loop` as the application's main loop.
    int run_cases() {
        wxGUIEventLoop loop;
        m_mainLoop = &loop;
        int result;
        {
            wxEventLoopActivator active(&loop);
            dialog_hook dialogs;
            dialogs.Register();
            hook = &dialogs;
            result = RUN_ALL_TESTS();
            pump();
            hook = nullptr;
        }
        m_mainLoop = nullptr;
        return result;
    }
};

}  // namespace

void pump() {
    for (int round = 0; round < 100 && pump_round(); ++round) {
    }
}

void pump_until(const std::function<bool()>& done) {
    while (!done()) {
        if (!pump_round()) {
            // Nothing ready: wait for the next event (a bounded wait,
            // woken early by any input, timer or queued event).
            if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
                loop->DispatchTimeout(10);
        }
    }
}

void show_and_wait(wxWindow* window) {
    // Pushed in front of every other handler of the window (a docking
    // manager paints its frame without passing the event on).
    struct paint_watch : wxEvtHandler {
        bool painted = false;
        paint_watch() {
            Bind(wxEVT_PAINT, [this](wxPaintEvent& event) {
                painted = true;
                event.Skip();
            });
        }
    } watch;
    window->PushEventHandler(&watch);
    window->Show();
    window->Raise();
    pump_until([&] { return window->IsShownOnScreen() && watch.painted; });
    window->RemoveEventHandler(&watch);
    // Later configure events (size, position) come right after the first
    // paint on a display without a window manager.
    pump();
}

void answer_next_dialog(int result, std::function<void(wxDialog&)> act) {
    hook->answers.push_back(dialog_answer{result, std::move(act)});
}

const std::vector<dialog_record>& dialogs_seen() {
    return hook->seen;
}

size_t unused_answers() {
    return hook->answers.size();
}

menu_state menu_item_state(wxFrame* frame, int id) {
    menu_state state;
    wxMenuBar* bar = frame->GetMenuBar();
    if (bar == nullptr)
        return state;
    frame->UpdateWindowUI();
    wxMenuItem* item = bar->FindItem(id);
    if (item == nullptr)
        return state;
    state.found = true;
    state.enabled = item->IsEnabled();
    state.checked = item->IsCheckable() && item->IsChecked();
    return state;
}

bool choose_menu_item(wxFrame* frame, int id) {
    wxMenuBar* bar = frame->GetMenuBar();
    wxMenu* menu = nullptr;
    wxMenuItem* item = bar != nullptr ? bar->FindItem(id, &menu) : nullptr;
    if (item == nullptr || menu == nullptr)
        return false;
    frame->UpdateWindowUI();
    if (!item->IsEnabled())
        return false;
    int checked = -1;
    if (item->IsCheckable()) {
        item->Check(!item->IsChecked());
        checked = item->IsChecked() ? 1 : 0;
    }
    menu->SendEvent(id, checked);
    return true;
}

void click(wxWindow* window, const wxPoint& at, int button) {
    wxUIActionSimulator simulator;
    simulator.MouseMove(window->ClientToScreen(at));
    pump();
    simulator.MouseClick(button);
}

bool type_text(wxWindow* window, const char* text) {
    window->SetFocus();
    pump_until([window] { return wxWindow::FindFocus() == window; });
    wxUIActionSimulator simulator;
    return simulator.Text(text);
}

held_ctrl::held_ctrl() {
    wxUIActionSimulator().KeyDown(WXK_CONTROL);
}

held_ctrl::~held_ctrl() {
    wxUIActionSimulator().KeyUp(WXK_CONTROL);
}

void send_wheel(wxWindow* window, const wxPoint& at, int rotation) {
    wxMouseEvent event(wxEVT_MOUSEWHEEL);
    event.SetEventObject(window);
    event.SetId(window->GetId());
    event.SetPosition(at);
    event.m_wheelRotation = rotation;
    event.m_wheelDelta = 120;
    event.m_linesPerAction = 3;
    event.m_wheelAxis = wxMOUSE_WHEEL_VERTICAL;
    window->GetEventHandler()->ProcessEvent(event);
}

void send_key(wxWindow* window, int key_code, int modifiers) {
    auto make = [&](wxEventType type) {
        wxKeyEvent event(type);
        event.SetEventObject(window);
        event.SetId(window->GetId());
        event.m_keyCode = key_code;
        event.m_controlDown = (modifiers & wxMOD_CONTROL) != 0;
        event.m_shiftDown = (modifiers & wxMOD_SHIFT) != 0;
        event.m_altDown = (modifiers & wxMOD_ALT) != 0;
        if (key_code >= 32 && key_code < 127)
            event.m_uniChar = key_code;
        return event;
    };
    wxKeyEvent down = make(wxEVT_KEY_DOWN);
    if (!window->GetEventHandler()->ProcessEvent(down) || down.GetSkipped()) {
        wxKeyEvent chr = make(wxEVT_CHAR);
        window->GetEventHandler()->ProcessEvent(chr);
    }
    wxKeyEvent up = make(wxEVT_KEY_UP);
    window->GetEventHandler()->ProcessEvent(up);
}

void close_next_popup() {
    // Runs inside the popup's own loop, once the menu has the grab.
    wxTheApp->CallAfter([] {
        wxUIActionSimulator simulator;
        simulator.Char(WXK_ESCAPE);
    });
}

wxImage capture(wxWindow* window) {
    window->Update();
    pump();
    wxSize size = window->GetClientSize();
    wxBitmap bitmap(size.x > 0 ? size.x : 1, size.y > 0 ? size.y : 1, 24);
    {
        wxMemoryDC memory(bitmap);
        wxClientDC screen(window);
        memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
    }
    return bitmap.ConvertToImage();
}

unsigned pixel(const wxImage& image, int x, int y) {
    if (!image.IsOk() || x < 0 || y < 0 || x >= image.GetWidth() || y >= image.GetHeight())
        return 0xFFFFFFFF;
    return (unsigned(image.GetRed(x, y)) << 16) | (unsigned(image.GetGreen(x, y)) << 8) | image.GetBlue(x, y);
}

}  // namespace kiv_gui_test

namespace {

// Returns: an open file to lock for display `display` (":0"), or -1.
// The X server of a local display keeps the file /tmp/.X<number>-lock
// while it runs: locking that one ties the lock to the display's life
// and leaves nothing behind. Another display (or a server started
// without that file, as one started with -displayfd is) gets a lock
// file named after it and the account, in the folder
// KIV_TEST_DISPLAY_LOCKS names (scripts/test gives one that it removes
// with its displays), else in /tmp, where it stays. Not under TMPDIR:
// every test program has a TMPDIR of its own (private_tmpdir.cpp), and
// the lock must be one for all of them. The account is in the name
// because a file another account left in /tmp (mode 0600) cannot be
// opened: that account's displays are its own.
int open_display_lock(const std::string& display) {
    if (display.size() > 1 && display[0] == ':') {
        std::string number = display.substr(1, display.find('.', 1) - 1);
        if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) {
            int fd = open(("/tmp/.X" + number + "-lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd >= 0)
                return fd;
        }
    }
    std::string name = display;
    for (char& c : name)
        if (!kiv::ascii_isalnum(static_cast<unsigned char>(c)))
            c = '_';
    const char* folder = std::getenv("KIV_TEST_DISPLAY_LOCKS");
    std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/kiv_display" + name +
                       "-" + std::to_string(geteuid()) + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        std::fprintf(stderr, "warning: no display lock %s; cases of other programs may share the display\n",
                     path.c_str());
    return fd;
}

// Waits for the lock and points DISPLAY at its display. Returns: `fd`.
int take_display(int fd, const std::string& display) {
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    setenv("DISPLAY", display.c_str(), 1);
    return fd;
}

// A case uses its display's pointer, keyboard focus and screen area (frames
// open at the top left), so one case at a time may use a display: the
// program holds a lock on a file named after its display until it ends.
// KIV_TEST_DISPLAYS may list display numbers to choose from (scripts/test
// starts one virtual display per job): the program takes the first whose
// lock is free, and waits for one of them when none is. Otherwise it waits
// for the display it is given. Returns: the lock's descriptor, -1 when
// none is held.
int claim_display() {
    std::vector<std::string> pool;
    if (const char* listed = std::getenv("KIV_TEST_DISPLAYS")) {
        std::istringstream numbers(listed);
        for (unsigned number; numbers >> number;)
            pool.push_back(":" + std::to_string(number));
    }
    if (pool.empty()) {
        const char* given = std::getenv("DISPLAY");
        const std::string display = given != nullptr ? given : "";
        int fd = open_display_lock(display);
        return fd >= 0 ? take_display(fd, display) : -1;
    }
    for (const std::string& display : pool) {
        int fd = open_display_lock(display);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            setenv("DISPLAY", display.c_str(), 1);
            return fd;
        }
        close(fd);
    }
    // Every display is in use: more programs run than there are displays.
    const std::string& display = pool[static_cast<size_t>(getpid()) % pool.size()];
    int fd = open_display_lock(display);
    return fd >= 0 ? take_display(fd, display) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The build lists the cases without a display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    const int display_lock = claim_display();

    using kiv_gui_test::test_app;
    test_app* app = new test_app;
    wxApp::SetInstance(app);
    int toolkit_argc = 1;
    char* toolkit_argv[] = {argv[0], nullptr};
    void* held = kiv_gui_test::hold_display();
    const bool started = wxEntryStart(toolkit_argc, toolkit_argv);
    kiv_gui_test::release_display(held);
    if (!started) {
        std::fprintf(stderr, "%s: the toolkit cannot start (no display? run under xvfb-run -a)\n", argv[0]);
        return 1;
    }
    int result = 1;
    if (app->CallOnInit()) {
        ::testing::UnitTest::GetInstance()->listeners().Append(new kiv_gui_test::case_listener);
        result = app->run_cases();
        app->OnExit();
    }
    wxEntryCleanup();
    if (display_lock >= 0)
        close(display_lock);
    return result;
}
