// gui_event_test.cpp --
//
//     GUI events and "svc_gui_event": the event's two faces and its
//     payload references, command ids by name, the update-UI rule that
//     disables commands without a handler of their own, the order and
//     matching of bindings on the application object, and events queued
//     from other threads.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_event_proc.h>

#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/thread.h>

#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

const char* const test_event = "KIV_GUI_TEST_EVT";

// What a handler saw of one event.
struct seen_event {
    std::string by;
    uint32_t type;
    int64_t id;
    int wx_type;
    int wx_id;
    i_object* payload;
    bool on_gui_thread;
};

// A sink whose handlers record into a shared log.
class recorder : public wxEvtHandler {
public:
    recorder(const char* name, std::vector<seen_event>& log) : name_(name), log_(log) {}

    void on_event(i_gui_event& event) {
        auto_ptr_t<i_object> payload(event.get_event_object());
        log_.push_back(seen_event{name_, event.get_event_type(), event.get_event_id(), event.GetEventType(),
                                  event.GetId(), payload.get(), wxThread::IsMain()});
        if (skip)
            event.Skip();
    }
    void on_update_enable(wxUpdateUIEvent& event) { event.Enable(true); }

    bool skip = false;  // let earlier bindings see the event too

private:
    std::string name_;
    std::vector<seen_event>& log_;
};

wxObjectEventFunction on_event() {
    return kiv_gui_event_handler(recorder::on_event);
}

// A reference-counted payload, held by the test.
auto_ptr_t<kiv::string> make_payload() {
    kiv::string* text = new kiv::string("payload");
    text->addref();
    return auto_ptr_t<kiv::string>(text);
}

uint32_t type_of(const char* name) {
    auto_ptr_t<i_object> service(kiv_core()->get_service("svc_event"));
    return kiv_cast_i_event_proc(service)->get_event_type(name);
}

TEST(gui_event, both_faces_carry_the_core_type_and_id_and_copies_hold_their_own_payload_reference) {
    gui_session session;
    auto_ptr_t<kiv::string> payload = make_payload();
    {
        gui_event event(test_event, 0x1234u, payload);
        EXPECT_GE(event.get_event_type(), 100000u);
        EXPECT_EQ(event.get_event_type(), type_of(test_event));
        EXPECT_EQ(event.GetEventType(), static_cast<int>(event.get_event_type()));
        EXPECT_EQ(event.get_event_id(), 0x1234);
        EXPECT_EQ(event.GetId(), 0x1234);
        EXPECT_EQ(payload->get_ref_count(), 2);

        // An unsigned id keeps a zero high half in the core id.
        event.set_event_id(0xFFFFFFFEu);
        EXPECT_EQ(event.get_event_id(), int64_t(0xFFFFFFFEu));
        EXPECT_EQ(event.GetId(), -2);
        EXPECT_EQ(event.get_event_type(), type_of(test_event));

        gui_event copy(event);
        std::unique_ptr<wxEvent> clone(event.Clone());
        EXPECT_EQ(payload->get_ref_count(), 4);
        gui_event* cloned = dynamic_cast<gui_event*>(clone.get());
        ASSERT_NE(cloned, nullptr);
        for (gui_event* other : {&copy, cloned}) {
            EXPECT_EQ(other->get_event_type(), event.get_event_type());
            EXPECT_EQ(other->GetEventType(), event.GetEventType());
            EXPECT_EQ(other->get_event_id(), event.get_event_id());
            EXPECT_EQ(other->GetId(), event.GetId());
            auto_ptr_t<i_object> held(other->get_event_object());
            EXPECT_EQ(held.get(), static_cast<i_object*>(payload.get()));
        }

        event.init_event(7, 8, nullptr);
        EXPECT_EQ(event.GetEventType(), 7);
        EXPECT_EQ(event.GetId(), 8);
        EXPECT_EQ(payload->get_ref_count(), 3);
    }
    EXPECT_EQ(payload->get_ref_count(), 1);
}

TEST(gui_event, an_event_named_before_the_event_service_exists_has_type_zero_on_both_faces) {
    {
        gui_event no_core(test_event, 3, nullptr);
        EXPECT_EQ(no_core.get_event_type(), 0u);
        EXPECT_EQ(no_core.GetEventType(), 0);
        EXPECT_EQ(no_core.GetId(), 3);
    }
    kiv_test::core_session core(false);
    gui_event no_service(test_event, 4, nullptr);
    EXPECT_EQ(no_service.get_event_type(), 0u);
    EXPECT_EQ(no_service.GetEventType(), 0);
    EXPECT_EQ(no_service.get_event_id(), 4);
}

TEST(gui_event, the_cast_answers_gui_events_only) {
    gui_session session;
    gui_event event(test_event, 1, nullptr);
    EXPECT_EQ(kiv_cast_i_gui_event(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_gui_event(static_cast<i_event*>(&event)), static_cast<i_gui_event*>(&event));
    EXPECT_EQ(kiv_cast_i_event(static_cast<i_event*>(&event)), static_cast<i_event*>(&event));
    kiv::event plain(test_event, 1, nullptr);
    EXPECT_EQ(kiv_cast_i_gui_event(&plain), nullptr);
    EXPECT_EQ(kiv_cast_i_gui_event(session.event_service), nullptr);
}

TEST(gui_event_proc, names_get_fixed_ids_from_6100_and_empty_names_a_new_one_every_time) {
    gui_session session;
    i_gui_event_proc* proc = session.event_service;
    EXPECT_EQ(proc->get_cmd_id("ID_VIEW_MAPS"), 6100);
    EXPECT_EQ(proc->get_cmd_id("ID_VIEW_MAPS"), 6100);
    EXPECT_EQ(proc->get_cmd_id("ID_VIEW_LAYERS"), 6101);
    EXPECT_EQ(proc->get_cmd_id(nullptr), 6102);
    EXPECT_EQ(proc->get_cmd_id(""), 6103);
    EXPECT_EQ(proc->get_cmd_id(nullptr), 6104);
    EXPECT_EQ(proc->get_cmd_id("ID_VIEW_MAPS"), 6100);
    EXPECT_EQ(proc->get_cmd_id("id_view_maps"), 6105);

    EXPECT_STREQ(proc->get_cmd_str(6100), "ID_VIEW_MAPS");
    EXPECT_STREQ(proc->get_cmd_str(6101), "ID_VIEW_LAYERS");
    EXPECT_STREQ(proc->get_cmd_str(6105), "id_view_maps");
    for (int unnamed : {6099, 6102, 6103, 6104, 6106, 0, -1})
        EXPECT_STREQ(proc->get_cmd_str(unnamed), "") << unnamed;

    i_named_object* named = nullptr;
    ASSERT_TRUE(session.event_service->get_interface("i_named_object", reinterpret_cast<void**>(&named)));
    EXPECT_STREQ(named->get_name(), "gui_event_proc");
    EXPECT_EQ(kiv_cast_i_gui_event_proc(session.event_service), proc);
    EXPECT_EQ(kiv_cast_i_gui_event_proc(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_gui_event_proc(session.frame_service), nullptr);
}

TEST(gui_event_proc, a_command_is_disabled_until_its_own_update_handler_decides) {
    gui_session session;
    wxFrame* frame = session.open_frame();
    i_gui_event_proc* proc = session.event_service;
    wxMenu* file = session.menu("&File");
    const int help = proc->get_cmd_id("ID_FILE_HELP");
    const int outside = 5000;
    file->Append(help, "Help");
    file->Append(outside, "Not ours");
    // Ids past the covered range are still handed out, never disabled.
    int late = 0;
    while (late <= gui_event_proc::last_update_id)
        late = proc->get_cmd_id(nullptr);
    EXPECT_EQ(late, 16100);
    file->Append(late, "Late");
    file->Append(gui_event_proc::first_update_id, "First of the range");

    EXPECT_FALSE(menu_item_state(frame, help).enabled);
    EXPECT_FALSE(menu_item_state(frame, gui_event_proc::first_update_id).enabled);
    EXPECT_TRUE(menu_item_state(frame, outside).enabled);
    EXPECT_TRUE(menu_item_state(frame, late).enabled);

    std::vector<seen_event> log;
    recorder owner("owner", log);
    proc->install_gui_handler(help, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(recorder::on_update_enable), &owner);
    EXPECT_TRUE(menu_item_state(frame, help).enabled);
    EXPECT_FALSE(menu_item_state(frame, gui_event_proc::first_update_id).enabled);
    proc->uninstall_gui_handler(help, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(recorder::on_update_enable), &owner);
    EXPECT_FALSE(menu_item_state(frame, help).enabled);
}

TEST(gui_event_proc, once_the_service_is_gone_its_range_no_longer_disables_anything) {
    gui_session session;
    wxFrame* frame = session.open_frame();
    const int maps = session.event_service->get_cmd_id("ID_VIEW_MAPS");
    ASSERT_EQ(maps, 6100);
    session.menu("&View")->Append(maps, "Maps");
    EXPECT_FALSE(menu_item_state(frame, maps).enabled);
    session.drop_event_service();
    // Nothing enables an item by itself: enabled once more, it stays so.
    frame->GetMenuBar()->Enable(maps, true);
    EXPECT_TRUE(menu_item_state(frame, maps).enabled);
    EXPECT_TRUE(menu_item_state(frame, maps).enabled);
}

TEST(gui_event_proc, a_service_made_before_the_frame_service_disables_nothing) {
    gui_session session(false);
    session.register_event_service();
    session.register_frame_service();
    wxFrame* frame = session.open_frame();
    const int maps = session.event_service->get_cmd_id("ID_VIEW_MAPS");
    session.menu("&View")->Append(maps, "Maps");
    EXPECT_TRUE(menu_item_state(frame, maps).enabled);
}

TEST(gui_event_proc, later_bindings_are_tried_first_and_ids_select_their_events) {
    gui_session session;
    std::vector<seen_event> log;
    recorder early("early", log), late("late", log), any("any", log), five("five", log);
    kiv_install_gui_handler(0, test_event, on_event(), &early);
    kiv_install_gui_handler(0, test_event, on_event(), &late);

    gui_event event(test_event, 0, nullptr);
    kiv_fire_gui_event(&event, true);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].by, "late");

    log.clear();
    late.skip = true;
    kiv_fire_gui_event(&event, true);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].by, "late");
    EXPECT_EQ(log[1].by, "early");

    // Id -1 takes every id; id 5 only its own.
    log.clear();
    early.skip = true;
    kiv_install_gui_handler(-1, test_event, on_event(), &any);
    kiv_install_gui_handler(5, test_event, on_event(), &five);
    any.skip = five.skip = true;
    kiv_fire_gui_event(&event, true);
    event.set_event_id(5);
    kiv_fire_gui_event(&event, true);
    std::vector<std::string> order;
    for (const seen_event& seen : log)
        order.push_back(seen.by + ":" + std::to_string(seen.wx_id));
    EXPECT_EQ(order, (std::vector<std::string>{"any:0", "late:0", "early:0", "five:5", "any:5"}));

    // Unbinding by name removes exactly that binding.
    log.clear();
    kiv_uninstall_gui_handler(-1, test_event, on_event(), &any);
    kiv_uninstall_gui_handler(0, test_event, on_event(), &late);
    event.set_event_id(0);
    kiv_fire_gui_event(&event, true);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].by, "early");

    // Null names and null events do nothing.
    log.clear();
    kiv_install_gui_handler(0, nullptr, on_event(), &any);
    kiv_fire_gui_event(nullptr, true);
    kiv_fire_gui_event(&event, true);
    EXPECT_EQ(log.size(), 1u);
    kiv_uninstall_gui_handler(0, test_event, on_event(), &early);
    kiv_uninstall_gui_handler(5, test_event, on_event(), &five);
}

TEST(gui_event_proc, an_event_queued_from_a_worker_arrives_intact_on_the_gui_thread_after_the_original_is_gone) {
    gui_session session;
    std::vector<seen_event> log;
    recorder sink("sink", log);
    kiv_install_gui_handler(-1, test_event, on_event(), &sink);
    auto_ptr_t<kiv::string> payload = make_payload();

    // The second one asks for "now", which a worker may not have: it is
    // queued as well.
    std::thread worker([&payload] {
        gui_event queued(test_event, 42u, payload);
        kiv_fire_gui_event(&queued, false);
        gui_event urgent(test_event, 43u, payload);
        kiv_fire_gui_event(&urgent, true);
    });
    worker.join();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(payload->get_ref_count(), 3);  // the two queued clones

    pump_until([&] { return log.size() == 2; });
    ASSERT_EQ(log.size(), 2u);
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(log[n].type, type_of(test_event));
        EXPECT_EQ(log[n].wx_type, static_cast<int>(type_of(test_event)));
        EXPECT_EQ(log[n].id, 42 + n);
        EXPECT_EQ(log[n].payload, static_cast<i_object*>(payload.get()));
        EXPECT_TRUE(log[n].on_gui_thread);
    }
    EXPECT_EQ(payload->get_ref_count(), 1);
    kiv_uninstall_gui_handler(-1, test_event, on_event(), &sink);
}

TEST(gui_event_proc, an_event_queued_on_the_gui_thread_is_delivered_by_the_loop_not_at_once) {
    gui_session session;
    std::vector<seen_event> log;
    recorder sink("sink", log);
    kiv_install_gui_handler(0, test_event, on_event(), &sink);
    {
        gui_event event(test_event, 0, nullptr);
        kiv_fire_gui_event(&event, false);
    }
    EXPECT_TRUE(log.empty());
    pump_until([&] { return log.size() == 1; });
    kiv_uninstall_gui_handler(0, test_event, on_event(), &sink);
}

TEST(gui_event_proc, without_the_frame_service_firing_and_binding_do_nothing) {
    gui_session session;
    std::vector<seen_event> log;
    recorder sink("sink", log);
    session.drop_frame_service();
    kiv_install_gui_handler(0, test_event, on_event(), &sink);
    gui_event event(test_event, 0, nullptr);
    kiv_fire_gui_event(&event, true);
    kiv_fire_gui_event(&event, false);
    pump();
    // Bound straight on the application, the handler would see an event
    // that still got through.
    wxTheApp->Connect(0, wxID_ANY, event.GetEventType(), on_event(), nullptr, &sink);
    kiv_fire_gui_event(&event, true);
    kiv_fire_gui_event(&event, false);
    pump();
    EXPECT_TRUE(log.empty());
    wxTheApp->Disconnect(0, wxID_ANY, event.GetEventType(), on_event(), nullptr, &sink);

    // Without "svc_gui_event" the plain functions do nothing either.
    session.register_frame_service();
    session.drop_event_service();
    kiv_install_gui_handler(0, test_event, on_event(), &sink);
    kiv_fire_gui_event(&event, true);
    EXPECT_TRUE(log.empty());
}

}  // namespace
