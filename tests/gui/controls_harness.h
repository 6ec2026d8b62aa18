// controls_harness.h --
//
//     What the control tests need of wxWidgets under Xvfb: one GUI
//     application for the whole test program (set up by a GoogleTest
//     environment, so listing the tests needs no display), assertions of
//     wxWidgets that fail the test instead of opening a dialog, log
//     output on stderr, and a bounded pump of the event loop until a
//     condition holds.

#ifndef KIV_TESTS_GUI_CONTROLS_HARNESS_H
#define KIV_TESTS_GUI_CONTROLS_HARNESS_H

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/toplevel.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// Leaks of the toolkit's own libraries at exit (font cache, session bus,
// accessibility bridge) are not ours: the leak checker of the sanitizer
// builds skips them. Each test program has one source including this.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libatk-bridge-2.0.so\n";
}
// The toolkit's own threads (session bus, settings) share GLib state with
// the GUI thread through atomics the uninstrumented libraries hide from
// the thread checker; those reports say nothing about our code.
extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so\nrace:libgio-2.0.so\nrace:libgobject-2.0.so\n"
           "race:libfontconfig.so\nrace:libgtk-3.so\nrace:libgdk-3.so\nrace:libdbus-1.so\n";
}
// The toolkit's libraries have no frame pointers: only the slow unwinder
// sees which library a leaked block came from.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace kiv_test {

inline void wx_assert_fails(const wxString& file, int line, const wxString& func,
                            const wxString& cond, const wxString& msg) {
    ADD_FAILURE() << "wxWidgets assertion at " << file.utf8_str().data() << ":" << line << " in "
                  << func.utf8_str().data() << ": " << cond.utf8_str().data() << " "
                  << msg.utf8_str().data();
}

class wx_environment : public ::testing::Environment {
public:
    void SetUp() override {
        wxSetAssertHandler(wx_assert_fails);
        static char name[] = "controls_test";
        static char* argv[] = {name, nullptr};
        int argc = 1;
        wxApp::SetInstance(new wxApp);
        started_ = wxEntryStart(argc, argv);
        ASSERT_TRUE(started_) << "no display: run the GUI tests under xvfb-run -a";
        wxTheApp->CallOnInit();
        wxInitAllImageHandlers();
        delete wxLog::SetActiveTarget(new wxLogStderr);
        loop_ = new wxGUIEventLoop;
        wxEventLoopBase::SetActive(loop_);
    }
    void TearDown() override {
        if (!started_)
            return;
        std::vector<wxWindow*> windows(wxTopLevelWindows.begin(), wxTopLevelWindows.end());
        for (wxWindow* window : windows)
            window->Destroy();
        pump();
        wxEventLoopBase::SetActive(nullptr);
        delete loop_;
        wxTheApp->OnExit();
        wxEntryCleanup();
    }

    // Handles everything the GUI has waiting, without blocking.
    static void pump() {
        wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        for (int round = 0; round < 4; round++) {
            while (loop != nullptr && loop->Pending())
                loop->Dispatch();
            if (wxTheApp != nullptr)
                wxTheApp->ProcessPendingEvents();
            if (wxTheApp != nullptr)
                wxTheApp->ProcessIdle();  // deletes windows whose Destroy was delayed
        }
    }

private:
    bool started_ = false;
    wxGUIEventLoop* loop_ = nullptr;
};

inline ::testing::Environment* const wx_env = ::testing::AddGlobalTestEnvironment(new wx_environment);

// Pumps the GUI until pred() holds, at most `limit_ms` of real time (a
// safety bound, never the thing measured). Returns: pred() at the end.
template <class Pred>
bool pump_until(Pred pred, int limit_ms = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        wx_environment::pump();
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The first top-level window named `name`, or null.
inline wxWindow* find_top_level(const wxString& name) {
    for (wxWindow* window : wxTopLevelWindows)
        if (window->GetName() == name && !window->IsBeingDeleted())
            return window;
    return nullptr;
}

}  // namespace kiv_test

#endif
