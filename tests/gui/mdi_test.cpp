// mdi_test.cpp --
//
//     MDI child frames under a wxMDIParentFrame (a notebook on GTK) and
//     the MDI service: activation, a vetoed close, a close that drops
//     the service's last reference inside the handler, a child destroyed
//     without a close, and a top frame that is not an MDI parent.

#include <kiv/gui/mdi.h>

#include "gui_harness.h"
#include "gui_session.h"

#include <gtest/gtest.h>

#include <string>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// A child that logs its handler calls and may refuse to close.
class logged_child : public mdi_child_frame {
public:
    logged_child(const char* title, std::string* log) : mdi_child_frame(title, wxNullIcon), log_(log), name_(title) {}
    ~logged_child() override { *log_ += "~" + name_ + " "; }
    bool close() override {
        *log_ += "close " + name_ + " ";
        return may_close;
    }
    void install_global_handlers() override { *log_ += "on " + name_ + " "; }
    void uninstall_global_handlers() override { *log_ += "off " + name_ + " "; }
    bool may_close = true;

private:
    std::string* log_;
    std::string name_;
};

class mdi_case : public ::testing::Test {
protected:
    void SetUp() override {
        parent = new wxMDIParentFrame(nullptr, wxID_ANY, "mdi", wxPoint(0, 0), wxSize(500, 400));
        wxTheApp->SetTopWindow(parent);
        service.reset(new mdi_service);
        service->addref();
        kiv_core()->register_service(service.get(), "svc_gui_mdi");
        show_and_wait(parent);
    }
    void TearDown() override {
        parent->Destroy();
        pump();
        // The children still open leave the service as their windows go,
        // and are released once the destroy events are through.
        pump_until([] { return !wxTheApp->HasPendingEvents(); });
        kiv_core()->unregister_service("svc_gui_mdi");
        service.reset();  // the children still open go with it
    }
    // A new child, held by the service only.
    logged_child* open(const char* title) {
        auto_ptr_t<logged_child> child(new logged_child(title, &log));
        child->addref();
        EXPECT_NE(child->get_child_wnd(), nullptr);
        child->initialize();
        service->add_child_frame(child.get());
        return child.get();
    }
    i_mdi_child_frame* active() {
        auto_ptr_t<i_mdi_child_frame> frame(service->get_active_child_frame());
        return frame.get();
    }

    std::string log;  // outlives every child
    gui_session session;
    wxMDIParentFrame* parent = nullptr;
    auto_ptr_t<mdi_service> service;
};

TEST_F(mdi_case, activating_a_child_deactivates_the_other_and_makes_it_the_active_frame) {
    logged_child* a = open("a");
    logged_child* b = open("b");
    pump_until([&] { return active() == b; });
    log.clear();
    a->get_child_wnd()->Activate();
    pump_until([&] { return active() == a; });
    pump();
    // The child active before gives up its handlers before the new one
    // installs its own.
    EXPECT_EQ(log, "off a off b on a ");
    auto_ptr_t<i_mdi_child_frame> held(service->get_active_child_frame());
    EXPECT_EQ(a->get_ref_count(), 3);  // the collection, the active slot and ours
    auto_ptr_t<i_object_col> frames(service->get_child_frames());
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->get_count(), 2u);
    EXPECT_EQ(kiv_cast_mdi_child_frame(a), a);
}

TEST_F(mdi_case, a_vetoed_close_keeps_the_child_and_its_activation) {
    logged_child* a = open("a");
    pump_until([&] { return active() == a; });
    a->may_close = false;
    log.clear();
    EXPECT_FALSE(a->get_child_wnd()->Close(false));
    pump();
    EXPECT_EQ(log, "close a ");
    EXPECT_EQ(active(), a);
    auto_ptr_t<i_object_col> frames(service->get_child_frames());
    EXPECT_EQ(frames->get_count(), 1u);
    a->may_close = true;
}

TEST_F(mdi_case, a_close_that_drops_the_last_reference_ends_the_child_after_its_handler) {
    logged_child* a = open("a");
    pump_until([&] { return active() == a; });
    log.clear();
    // Through the service: it asks the window to close; the handler
    // removes the child, whose last reference the service held.
    service->remove_child_frame(a, true);
    EXPECT_EQ(log, "close a off a ~a ");
    EXPECT_EQ(active(), nullptr);
    auto_ptr_t<i_object_col> frames(service->get_child_frames());
    EXPECT_EQ(frames->get_count(), 0u);
}

TEST_F(mdi_case, removing_another_child_still_clears_the_active_frame) {
    logged_child* a = open("a");
    logged_child* b = open("b");
    pump_until([&] { return active() == b; });
    auto_ptr_t<logged_child> keep(a);
    a->addref();
    service->remove_child_frame(a, false);
    EXPECT_EQ(active(), nullptr);
    EXPECT_NE(a->get_child_wnd(), nullptr);  // not closed
}

TEST_F(mdi_case, a_child_destroyed_without_a_close_leaves_the_service) {
    logged_child* a = open("a");
    logged_child* b = open("b");
    pump_until([&] { return active() == b; });
    log.clear();
    // The window goes as its parent would take it: no close event.
    b->get_child_wnd()->Destroy();
    auto_ptr_t<i_object_col> frames;
    pump_until([&] {
        frames.reset(service->get_child_frames());
        return frames && frames->get_count() == 1u && log.find("~b ") != std::string::npos;
    });
    auto_ptr_t<i_object> left(frames->get_item_by_pos(0));
    EXPECT_EQ(kiv_cast_mdi_child_frame(left), a);
    EXPECT_NE(a->get_child_wnd(), nullptr);
    // The service held b's last reference; b gave up its handlers first.
    EXPECT_NE(log.find("off b ~b "), std::string::npos) << log;
}

TEST(mdi, under_a_plain_frame_no_child_window_is_made_and_the_service_ignores_it) {
    gui_session session;
    session.open_frame();
    std::string log;
    auto_ptr_t<logged_child> child(new logged_child("x", &log));
    child->addref();
    EXPECT_EQ(child->get_child_wnd(), nullptr);
    auto_ptr_t<mdi_service> service(new mdi_service);
    service->addref();
    service->add_child_frame(child.get());
    service->set_active_child_frame(child.get());
    service->remove_child_frame(child.get(), true);
    auto_ptr_t<i_object_col> frames(service->get_child_frames());
    EXPECT_EQ(frames->get_count(), 1u);
    auto_ptr_t<i_mdi_child_frame> still(service->get_active_child_frame());
    EXPECT_EQ(still.get(), child.get());
}

}  // namespace
