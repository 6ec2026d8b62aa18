// tab_control_test.cpp --
//
//     The toggle-button notebook: the indexes through inserts and
//     removals, the notebook events of a button click (vetoed, refused,
//     repeated), scrolling the strip, and the stopped GUI.

#include <kiv/gui/gui_lib.h>
#include <kiv/gui/tab_control.h>

#include "gui_harness.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/notebook.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

struct notebook_event {
    wxEventType type;
    int selection, old_selection;
    bool operator==(const notebook_event& o) const {
        return type == o.type && selection == o.selection && old_selection == o.old_selection;
    }
};

// A tab control that refuses the tabs it is told to. It answers without
// the base: its true alone must have the tab activated.
class refusing_tabs : public tab_control {
public:
    using tab_control::tab_control;
    int refused = -1;

protected:
    bool tab_changed(unsigned int index) override { return static_cast<int>(index) != refused; }
};

class tab_control_case : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "tabs", wxPoint(0, 0), wxSize(400, 300));
        tabs = new refusing_tabs(frame, 7, wxPoint(0, 0), wxSize(400, 300), true);
        tabs->Bind(wxEVT_NOTEBOOK_PAGE_CHANGING, [this](wxBookCtrlEvent& e) {
            events.push_back({e.GetEventType(), e.GetSelection(), e.GetOldSelection()});
            if (veto)
                e.Veto();
        });
        tabs->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, [this](wxBookCtrlEvent& e) {
            events.push_back({e.GetEventType(), e.GetSelection(), e.GetOldSelection()});
        });
        show_and_wait(frame);
    }
    void TearDown() override {
        frame->Destroy();
        pump();
    }
    wxWindow* page() { return new wxWindow(tabs, wxID_ANY); }
    void add(int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(tabs->add_tab(wxString::Format("tab %d", tabs->get_page_count()), page(), false));
    }
    // The user's click on tab `index`'s button.
    void click_tab(unsigned index) {
        wxToggleButton* button = tabs->get_tab_button(index);
        button->SetValue(!button->GetValue());
        wxCommandEvent click(wxEVT_TOGGLEBUTTON, button->GetId());
        click.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(click);
    }
    std::vector<bool> pressed() {
        std::vector<bool> out;
        for (unsigned i = 0; i < tabs->get_page_count(); ++i)
            out.push_back(tabs->get_tab_button(i)->GetValue());
        return out;
    }

    wxFrame* frame = nullptr;
    refusing_tabs* tabs = nullptr;
    std::vector<notebook_event> events;
    bool veto = false;
};

TEST_F(tab_control_case, pages_are_refused_when_they_cannot_belong_here) {
    EXPECT_FALSE(tabs->insert_tab(1, "past the end", page(), false));
    EXPECT_FALSE(tabs->add_tab("null", nullptr, false));
    wxWindow* stranger = new wxWindow(frame, wxID_ANY);
    EXPECT_FALSE(tabs->add_tab("other parent", stranger, false));
    wxWindow* first = page();
    EXPECT_TRUE(tabs->add_tab("first", first, false));
    EXPECT_FALSE(tabs->add_tab("again", first, false));
    EXPECT_EQ(tabs->get_page_count(), 1u);
    EXPECT_EQ(tabs->get_active_tab(), 0);  // the first page, even without activate
    EXPECT_TRUE(first->IsShown());
    EXPECT_EQ(tabs->get_tab_name(0), "first");
    EXPECT_EQ(tabs->get_tab_name(1), "");
    EXPECT_EQ(tabs->get_page(1), nullptr);
    EXPECT_TRUE(events.empty());
}

TEST_F(tab_control_case, indexes_follow_their_pages_through_inserts_and_removals) {
    add(3);
    ASSERT_TRUE(tabs->activate_tab(1));
    ASSERT_TRUE(tabs->activate_tab(2));
    wxWindow* active = tabs->get_page(2);
    wxWindow* previous = tabs->get_page(1);
    struct row {
        const char* what;
        bool insert;
        unsigned index;
        int active, previous;
    } rows[] = {
        {"insert at 0 while 2 is active", true, 0, 3, 2},
        {"insert after the active one", true, 4, 3, 2},
        {"remove before the active one", false, 0, 2, 1},
        {"remove after the active one", false, 3, 2, 1},
    };
    for (const row& r : rows) {
        if (r.insert)
            ASSERT_TRUE(tabs->insert_tab(r.index, "new", page(), false)) << r.what;
        else
            ASSERT_TRUE(tabs->remove_tab(r.index)) << r.what;
        EXPECT_EQ(tabs->get_active_tab(), r.active) << r.what;
        EXPECT_EQ(tabs->get_previous_tab(), r.previous) << r.what;
        EXPECT_EQ(tabs->get_page(static_cast<unsigned>(r.active)), active) << r.what;
        EXPECT_EQ(tabs->get_page(static_cast<unsigned>(r.previous)), previous) << r.what;
    }
    EXPECT_EQ(pressed(), (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(events.empty());
}

TEST_F(tab_control_case, removing_the_active_tab_activates_the_first_and_the_last_leaves_none) {
    add(3);
    ASSERT_TRUE(tabs->activate_tab(2));
    EXPECT_FALSE(tabs->remove_tab(3));
    ASSERT_TRUE(tabs->remove_tab(2));
    EXPECT_EQ(tabs->get_active_tab(), 0);
    EXPECT_EQ(events, (std::vector<notebook_event>{{wxEVT_NOTEBOOK_PAGE_CHANGED, 0, 2}}));
    EXPECT_TRUE(tabs->get_page(0)->IsShown());
    ASSERT_TRUE(tabs->remove_tab(1));
    events.clear();
    ASSERT_TRUE(tabs->remove_tab(0));
    EXPECT_EQ(tabs->get_active_tab(), -1);
    EXPECT_EQ(tabs->get_page_count(), 0u);
    EXPECT_TRUE(events.empty());
}

TEST_F(tab_control_case, a_click_sends_changing_then_changed_and_a_refusal_keeps_the_buttons_in_step) {
    add(3);
    click_tab(1);
    EXPECT_EQ(events, (std::vector<notebook_event>{{wxEVT_NOTEBOOK_PAGE_CHANGING, 1, 0},
                                                   {wxEVT_NOTEBOOK_PAGE_CHANGED, 1, 0}}));
    EXPECT_EQ(tabs->get_active_tab(), 1);
    EXPECT_EQ(tabs->get_previous_tab(), 0);
    EXPECT_EQ(pressed(), (std::vector<bool>{false, true, false}));

    struct row {
        const char* what;
        unsigned clicked;
        bool veto;
        int refused;
        size_t events;
    } rows[] = {
        {"vetoed by the listener", 2, true, -1, 1},
        {"refused by the control", 2, false, 2, 2},
        {"a click on the active tab", 1, false, -1, 2},
    };
    for (const row& r : rows) {
        events.clear();
        veto = r.veto;
        tabs->refused = r.refused;
        click_tab(r.clicked);
        EXPECT_EQ(events.size(), r.events) << r.what;
        EXPECT_EQ(tabs->get_active_tab(), 1) << r.what;
        EXPECT_EQ(pressed(), (std::vector<bool>{false, true, false})) << r.what;
    }
}

TEST_F(tab_control_case, many_tabs_scroll_one_button_per_click) {
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(tabs->add_tab(wxString::Format("a long tab name %d", i), page(), false));
    wxButton* left = tabs->get_left_button();
    wxButton* right = tabs->get_right_button();
    EXPECT_FALSE(left->IsEnabled());
    ASSERT_TRUE(right->IsEnabled());
    EXPECT_TRUE(tabs->get_tab_button(0)->IsShown());
    EXPECT_FALSE(tabs->get_tab_button(29)->IsShown());
    for (unsigned clicks = 1; clicks <= 2; ++clicks) {
        wxCommandEvent click(wxEVT_BUTTON, right->GetId());
        click.SetEventObject(right);
        right->GetEventHandler()->ProcessEvent(click);
        EXPECT_FALSE(tabs->get_tab_button(clicks - 1)->IsShown()) << clicks;
        EXPECT_TRUE(tabs->get_tab_button(clicks)->IsShown()) << clicks;
        EXPECT_EQ(tabs->get_tab_button(clicks)->GetPosition().x, 52) << clicks;
        EXPECT_TRUE(left->IsEnabled()) << clicks;
    }
    wxCommandEvent back(wxEVT_BUTTON, left->GetId());
    back.SetEventObject(left);
    left->GetEventHandler()->ProcessEvent(back);
    EXPECT_TRUE(tabs->get_tab_button(1)->IsShown());
    EXPECT_FALSE(tabs->get_tab_button(0)->IsShown());
}

// GTK pads a button's label by more than the scroll buttons' 20 by 20
// pixels leave: the arrows must still show, inside the strip and clear of
// the pages, also where a larger font needs larger buttons.
TEST_F(tab_control_case, the_scroll_buttons_show_their_arrows_inside_the_strip_at_any_font_size) {
    wxFrame* large = new wxFrame(nullptr, wxID_ANY, "large", wxPoint(0, 0), wxSize(400, 300));
    wxFont font = large->GetFont();
    font.SetPointSize(font.GetPointSize() * 2);
    large->SetFont(font);
    struct row {
        const char* what;
        tab_control* tabs;
    } rows[] = {
        {"the default font", tabs},
        {"a font twice as large", new tab_control(large, wxID_ANY, wxPoint(0, 0), wxSize(400, 300), true)},
    };
    for (const row& r : rows) {
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(r.tabs->add_tab(wxString::Format("tab %d", i), new wxWindow(r.tabs, wxID_ANY), false));
        show_and_wait(r.tabs->GetParent());
        wxWindow* strip = r.tabs->get_left_button()->GetParent();
        const wxImage shot = capture(strip);
        for (wxButton* button : {r.tabs->get_left_button(), r.tabs->get_right_button()}) {
            const std::string what = std::string(r.what) + ", " + button->GetLabel().utf8_str().data();
            const wxRect box = button->GetRect();
            const wxSize label = button->GetTextExtent(button->GetLabel());
            EXPECT_GE(box.width, std::max(20, label.x)) << what;
            EXPECT_GE(box.height, std::max(20, label.y)) << what;
            EXPECT_TRUE(wxRect(strip->GetClientSize()).Contains(box)) << what;
            EXPECT_LE(box.GetBottom(), r.tabs->get_page(0)->GetPosition().y) << what;
            // The arrow (grey while the button is disabled) is darker than
            // the button's face and border, and lies well inside them.
            int ink = 0;
            for (int y = box.y + 3; y < box.GetBottom() - 2; ++y)
                for (int x = box.x + 3; x < box.GetRight() - 2; ++x) {
                    const unsigned p = pixel(shot, x, y);
                    if ((p >> 16) < 0xB0 && ((p >> 8) & 0xFF) < 0xB0 && (p & 0xFF) < 0xB0)
                        ++ink;
                }
            EXPECT_GT(ink, 5) << what;
        }
        EXPECT_GT(r.tabs->get_tab_button(0)->GetPosition().x, r.tabs->get_right_button()->GetRect().GetRight())
            << r.what;
    }
    large->Destroy();
}

// Runs last in this program: the GUI running flag never comes back.
TEST_F(tab_control_case, zz_after_the_gui_stopped_every_operation_does_nothing) {
    add(2);
    kiv_gui_terminate();
    EXPECT_FALSE(tabs->add_tab("late", page(), true));
    EXPECT_FALSE(tabs->activate_tab(1));
    EXPECT_FALSE(tabs->remove_tab(0));
    EXPECT_EQ(tabs->get_active_tab(), -1);
    EXPECT_EQ(tabs->get_page_count(), 0u);
    EXPECT_EQ(tabs->get_tab_name(0), "");
    EXPECT_EQ(tabs->get_page(0), nullptr);
}

}  // namespace
