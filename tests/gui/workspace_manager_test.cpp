// workspace_manager_test.cpp --
//
//     The workspace pane: creating the manager (and refusing to without
//     its services), workspaces over their own object tree or a given
//     window, switching with the two panel events exactly once each (and
//     none for the current one), removal (of the current one, the first,
//     the only one, one of another manager), a real click on a caption,
//     the timer-driven growth of a clicked panel (also when the panel goes
//     away while growing), the layout of the captions, and the manager
//     and the frame's windows going in either order.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_string.h>
#include <kiv/core/object.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/image_manager.h>
#include <kiv/gui/workspace_manager.h>

#include "gui_harness.h"
#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/aui/framemanager.h>
#include <wx/bitmap.h>
#include <wx/panel.h>

#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

const char* const before_event = "KIV_WORKSPACE_PANEL_BEFORE_CHANGE";
const char* const changed_event = "KIV_WORKSPACE_PANEL_CHANGED";

// Records the panel events as "B(x)" and "C(y)": x and y the name of the
// workspace active when the event came ("-" for none).
class panel_event_log : public object {
public:
    panel_event_log() {
        kiv_install_handler(before_event, 0, this, callback(&panel_event_log::on_before));
        kiv_install_handler(changed_event, 0, this, callback(&panel_event_log::on_changed));
    }
    ~panel_event_log() override {
        kiv_uninstall_handler(before_event, 0, this, callback(&panel_event_log::on_before));
        kiv_uninstall_handler(changed_event, 0, this, callback(&panel_event_log::on_changed));
    }
    std::string take() {
        std::string out = log;
        log.clear();
        return out;
    }
    std::string log;

private:
    static kiv_event_function callback(bool (panel_event_log::*f)(i_event*)) {
        return static_cast<kiv_event_function>(f);
    }
    std::string active() {
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gui_workspace_manager"));
        i_workspace_manager* manager = kiv_cast_i_workspace_manager(svc);
        auto_ptr_t<i_workspace> shown(manager != nullptr ? manager->get_active_workspace() : nullptr);
        return shown ? shown->get_name() : "-";
    }
    bool on_before(i_event*) {
        log += "B(" + active() + ")";
        return true;
    }
    bool on_changed(i_event*) {
        log += "C(" + active() + ")";
        return true;
    }
};

class workspace_case : public ::testing::Test {
protected:
    // With `images`: "svc_gui_image_manager" is registered, holding one icon.
    void start(bool images = true, bool frame = true) {
        if (frame)
            session.open_frame();
        if (images) {
            auto_ptr_t<image_manager> list(new image_manager);
            list->addref();
            wxBitmap icon(16, 16);
            EXPECT_EQ(list->register_image("ws", &icon), 0);
            kiv_core()->register_service(list.get(), "svc_gui_image_manager");
        }
    }
    // The registered manager, no reference added (the registry keeps it).
    i_workspace_manager* manager() {
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gui_workspace_manager"));
        return kiv_cast_i_workspace_manager(svc);
    }
    shortcuts_bar* bar() { return dynamic_cast<shortcuts_bar*>(manager()->get_pane_window()); }
    // Makes the manager and workspaces of `names` over new trees.
    void make(const std::vector<std::string>& names) {
        ASSERT_TRUE(kiv_gui_create_workspace_manager("workspace", "Workspace", wxSize(200, 300)));
        for (const std::string& name : names) {
            auto_ptr_t<i_workspace> created(manager()->create_workspace(name.c_str(), 0, nullptr, 0));
            ASSERT_TRUE(created) << name;
        }
        pump_until([this] { return bar()->IsShownOnScreen() && bar()->GetClientSize().y > 100; });
    }
    std::string active() {
        auto_ptr_t<i_workspace> shown(manager()->get_active_workspace());
        return shown ? shown->get_name() : "-";
    }
    i_workspace* find(const char* name) {
        auto_ptr_t<i_object_col> all(manager()->get_workspaces());
        auto_ptr_t<i_object> item(all->get_item_by_name(name));
        return kiv_cast_i_workspace(item);  // the manager's collection keeps it
    }

    gui_session session;
    panel_event_log events;  // goes before the session ends the core
};

TEST_F(workspace_case, is_not_created_without_its_frame_or_image_service) {
    struct {
        bool images;
        bool frame;
    } cases[] = {{false, true}, {true, false}};
    for (auto& c : cases) {
        start(c.images, c.frame);
        EXPECT_FALSE(kiv_gui_create_workspace_manager("workspace", "Workspace", wxSize(200, 300)));
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gui_workspace_manager"));
        EXPECT_EQ(svc.get(), nullptr);
        if (c.frame) {
            EXPECT_FALSE(session.frame_service->get_frame_manager()->GetPane("workspace").IsOk());
        }
        kiv_core()->unregister_service("svc_gui_image_manager");
        session.close_frame();
    }
}

TEST_F(workspace_case, is_registered_once_with_its_bar_docked_on_the_left) {
    start();
    ASSERT_TRUE(kiv_gui_create_workspace_manager("workspace", "Workspace", wxSize(200, 300)));
    EXPECT_FALSE(kiv_gui_create_workspace_manager("other", "Other", wxSize(200, 300)));
    wxAuiPaneInfo& pane = session.frame_service->get_frame_manager()->GetPane("workspace");
    ASSERT_TRUE(pane.IsOk());
    EXPECT_EQ(pane.window, manager()->get_pane_window());
    EXPECT_EQ(pane.dock_direction, wxAUI_DOCK_LEFT);
    EXPECT_EQ(pane.caption, "Workspace");
    EXPECT_FALSE(pane.IsTopDockable() || pane.IsBottomDockable());
    EXPECT_FALSE(session.frame_service->get_frame_manager()->GetPane("other").IsOk());

    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gui_workspace_manager"));
    EXPECT_STREQ(kiv_cast_i_named_object(svc)->get_name(), "GUI workspace manager");
    EXPECT_EQ(kiv_cast_i_workspace(svc), nullptr);
}

TEST_F(workspace_case, makes_a_tree_for_a_null_window_and_uses_a_given_one) {
    start();
    make({});
    auto_ptr_t<i_workspace> tree(manager()->create_workspace("tree", 0, nullptr, 0));
    ASSERT_TRUE(tree);
    ASSERT_NE(tree->get_tree(), nullptr);
    EXPECT_EQ(static_cast<wxWindow*>(tree->get_tree()), tree->get_window());
    EXPECT_EQ(tree->get_window()->GetParent(), bar());
    EXPECT_EQ(kiv_cast_i_workspace(tree.get()), tree.get());

    wxPanel* own = new wxPanel(bar());
    auto_ptr_t<i_workspace> given(manager()->create_workspace("given", -1, own, 0));
    ASSERT_TRUE(given);
    EXPECT_EQ(given->get_window(), own);
    EXPECT_EQ(given->get_tree(), nullptr);

    // Refused: no name, a name in use, a window showing another workspace.
    EXPECT_EQ(manager()->create_workspace(nullptr, 0, nullptr, 0), nullptr);
    EXPECT_EQ(manager()->create_workspace("", 0, nullptr, 0), nullptr);
    EXPECT_EQ(manager()->create_workspace("tree", 0, nullptr, 0), nullptr);
    EXPECT_EQ(manager()->create_workspace("again", 0, own, 0), nullptr);

    auto_ptr_t<i_object_col> all(manager()->get_workspaces());
    ASSERT_EQ(all->get_count(), 2u);
    auto_ptr_t<i_object> first(all->get_item_by_pos(0));
    EXPECT_EQ(kiv_cast_i_workspace(first), tree.get());
    EXPECT_EQ(bar()->get_count(), 2);
    EXPECT_EQ(active(), "tree");
    // Later workspaces do not take over the one shown.
    EXPECT_TRUE(manager()->select_workspace("given"));
    auto_ptr_t<i_workspace> later(manager()->create_workspace("later", 0, nullptr, 0));
    EXPECT_EQ(active(), "given");
}

TEST_F(workspace_case, a_switch_fires_each_panel_event_once_and_reselecting_fires_none) {
    start();
    make({"a", "b", "c"});
    EXPECT_EQ(active(), "a");
    events.take();
    struct {
        const char* select;  // by name; null: by object "c"
        bool result;
        const char* events;
        const char* active;
    } steps[] = {
        {"b", true, "B(a)C(b)", "b"},
        {"b", true, "", "b"},
        {nullptr, true, "B(b)C(c)", "c"},
        {"unknown", false, "", "c"},
        {"a", true, "B(c)C(a)", "a"},
    };
    for (auto& step : steps) {
        bool result = step.select != nullptr ? manager()->select_workspace(step.select)
                                             : manager()->select_workspace(find("c"));
        EXPECT_EQ(result, step.result) << (step.select ? step.select : "object c");
        EXPECT_EQ(events.take(), step.events) << (step.select ? step.select : "object c");
        EXPECT_EQ(active(), step.active);
    }
    EXPECT_FALSE(manager()->select_workspace(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(manager()->select_workspace(static_cast<i_workspace*>(nullptr)));
    EXPECT_EQ(events.take(), "");
}

TEST_F(workspace_case, removal_moves_to_the_entry_before_and_the_last_leaves_none) {
    start();
    make({"a", "b", "c", "d"});
    ASSERT_TRUE(manager()->select_workspace("c"));
    events.take();
    struct {
        const char* remove;
        const char* events;
        const char* active;
    } steps[] = {
        {"c", "B(c)C(b)", "b"},  // current: the one before takes over
        {"d", "", "b"},          // not current: nothing switches
        {"a", "", "b"},
        {"b", "B(b)C(-)", "-"},  // the only one: none is left active
    };
    for (auto& step : steps) {
        auto_ptr_t<i_workspace> gone(find(step.remove));
        ASSERT_TRUE(gone) << step.remove;
        gone->addref();
        EXPECT_TRUE(manager()->remove_workspace(gone.get())) << step.remove;
        EXPECT_EQ(events.take(), step.events) << step.remove;
        EXPECT_EQ(active(), step.active) << step.remove;
        EXPECT_EQ(gone->get_window(), nullptr) << step.remove << ": its panel is destroyed";
        EXPECT_FALSE(manager()->remove_workspace(gone.get())) << step.remove;
    }
    EXPECT_EQ(bar()->get_count(), 0);
    EXPECT_EQ(bar()->get_current(), -1);
    auto_ptr_t<i_workspace> fresh(manager()->create_workspace("e", 0, nullptr, 0));
    EXPECT_EQ(active(), "e");
}

TEST_F(workspace_case, removing_the_current_first_entry_makes_the_next_one_current) {
    start();
    make({"a", "b"});
    events.take();
    EXPECT_TRUE(manager()->remove_workspace(find("a")));
    EXPECT_EQ(events.take(), "B(a)C(b)");
    EXPECT_EQ(active(), "b");
    EXPECT_EQ(bar()->get_current(), 0);
}

TEST_F(workspace_case, refuses_to_remove_a_workspace_it_does_not_hold) {
    start();
    make({"a"});
    auto_ptr_t<workspace> stranger(new workspace(nullptr, nullptr));
    stranger->addref();
    stranger->set_name("a");
    EXPECT_FALSE(manager()->remove_workspace(stranger.get()));
    EXPECT_FALSE(manager()->remove_workspace(nullptr));
    EXPECT_EQ(bar()->get_count(), 1);
    EXPECT_EQ(active(), "a");
}

TEST_F(workspace_case, the_name_history_has_no_step_before_its_first_position) {
    start();
    make({"a", "b"});
    EXPECT_FALSE(manager()->has_previous());
    EXPECT_FALSE(manager()->has_next());
    EXPECT_FALSE(manager()->select_previous());
    EXPECT_FALSE(manager()->select_next());
    EXPECT_EQ(active(), "a");
}

TEST_F(workspace_case, a_click_on_a_caption_switches_and_one_on_the_current_does_not) {
    start();
    make({"a", "b", "c"});
    events.take();
    const panel_info* a = bar()->get_entry(0);
    const panel_info* b = bar()->get_entry(1);
    const panel_info* c = bar()->get_entry(2);
    click(b->caption, wxPoint(10, 10));
    pump_until([&] { return active() == "b"; });
    EXPECT_EQ(events.take(), "B(a)C(b)");
    EXPECT_TRUE(b->caption->is_selected());
    EXPECT_FALSE(a->caption->is_selected());

    // The current caption first, then another: only the second switches.
    click(b->caption, wxPoint(30, 10));
    click(c->caption, wxPoint(10, 10));
    pump_until([&] { return active() == "c"; });
    EXPECT_EQ(events.take(), "B(b)C(c)");
    EXPECT_FALSE(bar()->is_clicked());
}

// Sends a caption the release of the left button and lets the bar handle
// what the caption queued to it.
void release_on(shortcuts_bar* bar, caption_bar* caption) {
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetEventObject(caption);
    caption->GetEventHandler()->ProcessEvent(up);
    static_cast<wxEvtHandler*>(bar)->ProcessPendingEvents();
}

TEST_F(workspace_case, a_clicked_panel_grows_to_its_full_height) {
    start();
    make({"a", "b"});
    shortcuts_bar* shortcuts = bar();
    shortcuts->set_stacked(true);
    shortcuts->set_animate(true);
    shortcuts->layout();
    const int full = shortcuts->GetClientSize().y - 2 * caption_bar::height - 2;
    ASSERT_GT(full, 50);
    wxWindow* panel = shortcuts->get_entry(1)->panel.get();

    release_on(shortcuts, shortcuts->get_entry(1)->caption);
    EXPECT_EQ(active(), "b");
    EXPECT_TRUE(shortcuts->is_clicked());
    EXPECT_TRUE(shortcuts->is_animating());
    EXPECT_EQ(panel->GetSize().y, 0) << "it starts closed";
    EXPECT_TRUE(panel->IsShown());

    std::vector<int> heights;
    pump_until([&] {
        heights.push_back(panel->GetSize().y);
        return !shortcuts->is_animating();
    });
    EXPECT_EQ(panel->GetRect(), wxRect(1, 1 + caption_bar::height, shortcuts->GetClientSize().x - 1, full));
    EXPECT_FALSE(shortcuts->is_clicked());
    for (size_t i = 1; i < heights.size(); ++i)
        EXPECT_LE(heights[i - 1], heights[i]) << "it never shrinks";
    // Selecting without a click shows the panel at once.
    ASSERT_TRUE(manager()->select_workspace("a"));
    EXPECT_FALSE(shortcuts->is_animating());
    EXPECT_EQ(shortcuts->get_entry(0)->panel->GetSize().y, full);
}

TEST_F(workspace_case, growth_ends_when_the_growing_panel_goes_away) {
    start();
    make({"a", "b", "c"});
    shortcuts_bar* shortcuts = bar();
    shortcuts->set_stacked(true);
    shortcuts->set_animate(true);

    // Destroyed by someone else: the next tick ends the growth.
    release_on(shortcuts, shortcuts->get_entry(2)->caption);
    ASSERT_TRUE(shortcuts->is_animating());
    shortcuts->get_entry(2)->panel->Destroy();
    pump_until([&] { return !shortcuts->is_animating(); });
    EXPECT_FALSE(shortcuts->is_clicked());
    // Its workspace still takes its caption away.
    EXPECT_TRUE(manager()->remove_workspace(find("c")));
    EXPECT_EQ(shortcuts->get_count(), 2);
    EXPECT_EQ(shortcuts->find_caption("c"), -1);

    // Removed with its workspace: the growth stops at once.
    ASSERT_EQ(active(), "b");
    release_on(shortcuts, shortcuts->get_entry(0)->caption);
    ASSERT_TRUE(shortcuts->is_animating());
    EXPECT_TRUE(manager()->remove_workspace(find("a")));
    EXPECT_FALSE(shortcuts->is_animating());
    EXPECT_FALSE(shortcuts->is_clicked());
    EXPECT_EQ(active(), "b");
}

TEST_F(workspace_case, captions_follow_each_other_with_the_current_panel_below_its_caption) {
    start();
    make({"a", "b", "c"});
    shortcuts_bar* shortcuts = bar();
    const wxSize size = shortcuts->GetClientSize();
    const int h = caption_bar::height;
    const int free = size.y - 3 * h;
    for (int current = 0; current < 3; ++current) {
        shortcuts->set_current(current);
        for (int i = 0; i < 3; ++i) {
            const panel_info* entry = shortcuts->get_entry(i);
            const int y = h * i + (i <= current ? 1 : free + 1);
            EXPECT_EQ(entry->caption->GetRect(), wxRect(1, y, size.x - 2, h)) << current << " " << i;
            EXPECT_EQ(entry->panel->IsShown(), i == current) << current << " " << i;
            if (i == current) {
                EXPECT_EQ(entry->panel->GetRect(), wxRect(1, y + h, size.x - 1, free - 1)) << current;
            }
        }
    }
}

TEST_F(workspace_case, the_manager_and_the_frame_windows_may_go_in_either_order) {
    start();
    make({"a", "b"});
    auto_ptr_t<i_workspace> a(find("a"));
    a->addref();

    // The manager first: the bar stays usable, and tree selections no
    // longer reach the released manager.
    shortcuts_bar* shortcuts = bar();
    kiv_core()->unregister_service("svc_gui_workspace_manager");
    gui_event select("KIV_GUI_SELECT_TREE_ITEM", 0, nullptr);
    kiv_fire_gui_event(&select, true);
    release_on(shortcuts, shortcuts->get_entry(1)->caption);
    EXPECT_EQ(shortcuts->get_current(), 1);

    // The bar first: a new manager's operations fail cleanly.
    ASSERT_TRUE(kiv_gui_create_workspace_manager("workspace2", "Workspace", wxSize(200, 300)));
    auto_ptr_t<i_workspace> c(manager()->create_workspace("c", 0, nullptr, 0));
    ASSERT_TRUE(c);
    session.close_frame();
    EXPECT_EQ(manager()->get_pane_window(), nullptr);
    EXPECT_EQ(c->get_window(), nullptr);
    EXPECT_EQ(c->get_tree(), nullptr);
    EXPECT_EQ(manager()->create_workspace("d", 0, nullptr, 0), nullptr);
    EXPECT_FALSE(manager()->select_workspace("c"));
    EXPECT_EQ(manager()->get_active_workspace(), nullptr);
    EXPECT_TRUE(manager()->remove_workspace(c.get()));
    EXPECT_EQ(a->get_window(), nullptr);
}

}  // namespace
