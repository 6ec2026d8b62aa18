// gui_harness_test.cpp --
//
//     The GUI test harness on this toolkit and display: what the other
//     GUI tests rely on must really happen here, or they would pass or
//     hang for the wrong reasons. Assertions and unexpected dialogs fail
//     the case, dialogs are answered, the loop delivers work queued from
//     other threads, simulated clicks, text and Ctrl reach the windows,
//     injected wheel and key events arrive, a popup menu closes, menu
//     states follow update handlers, and captures show the painted pixels.

#include "gui_harness.h"

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include <atomic>
#include <thread>

using namespace kiv_gui_test;

namespace {

// A shown top frame holding one panel that fills it; destroyed with the case.
class test_frame {
public:
    test_frame() {
        frame = new wxFrame(nullptr, wxID_ANY, "harness", wxPoint(0, 0), wxSize(320, 240));
        panel = new wxPanel(frame, wxID_ANY);
        wxTheApp->SetTopWindow(frame);
    }
    ~test_frame() {
        frame->Destroy();
        pump();
    }
    wxFrame* frame;
    wxPanel* panel;
};

TEST(gui_harness, a_toolkit_assertion_fails_the_case_instead_of_opening_a_dialog) {
    EXPECT_NONFATAL_FAILURE(wxFAIL_MSG("the harness sees this"), "the harness sees this");
}

TEST(gui_harness, message_boxes_are_answered_unseen_and_recorded) {
    answer_next_dialog(wxID_NO);
    answer_next_dialog(wxID_OK);
    EXPECT_EQ(wxMessageBox("Save the layout?", "Viewer", wxYES_NO), wxNO);
    EXPECT_EQ(wxMessageBox("Done", "Second"), wxOK);
    ASSERT_EQ(dialogs_seen().size(), 2u);
    EXPECT_EQ(dialogs_seen()[0].message, "Save the layout?");
    EXPECT_EQ(dialogs_seen()[0].title, "Viewer");
    EXPECT_EQ(dialogs_seen()[1].message, "Done");
    EXPECT_EQ(unused_answers(), 0u);
}

TEST(gui_harness, an_unexpected_dialog_fails_the_case_and_is_cancelled) {
    int result = 0;
    EXPECT_NONFATAL_FAILURE(result = wxMessageBox("Surprise", "Nobody asked", wxYES_NO), "unexpected modal dialog");
    EXPECT_EQ(result, wxCANCEL);
}

TEST(gui_harness, our_own_dialogs_are_shown_filled_in_and_ended) {
    test_frame top;
    wxDialog dialog(top.frame, wxID_ANY, "Name");
    wxTextCtrl* text = new wxTextCtrl(&dialog, wxID_ANY);
    bool was_shown = false;
    answer_next_dialog(wxID_OK, [&](wxDialog& shown) {
        was_shown = shown.IsShown();
        text->ChangeValue("Minsk");
    });
    EXPECT_EQ(dialog.ShowModal(), wxID_OK);
    EXPECT_TRUE(was_shown);
    EXPECT_EQ(text->GetValue(), "Minsk");
    ASSERT_EQ(dialogs_seen().size(), 1u);
    EXPECT_EQ(dialogs_seen()[0].title, "Name");
    EXPECT_EQ(dialogs_seen()[0].parent, top.frame);
}

TEST(gui_harness, work_queued_from_another_thread_runs_while_pumping) {
    std::atomic<int> ran{0};
    std::thread worker([&ran] { wxTheApp->CallAfter([&ran] { ran = wxThread::IsMain() ? 1 : 2; }); });
    worker.join();
    EXPECT_EQ(ran.load(), 0);
    pump_until([&] { return ran.load() != 0; });
    EXPECT_EQ(ran.load(), 1);
}

TEST(gui_harness, simulated_clicks_text_and_a_held_ctrl_reach_the_windows) {
    test_frame top;
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    wxButton* button = new wxButton(top.panel, wxID_ANY, "Press", wxDefaultPosition, wxSize(100, 40));
    wxTextCtrl* text = new wxTextCtrl(top.panel, wxID_ANY);
    wxPanel* area = new wxPanel(top.panel, wxID_ANY, wxDefaultPosition, wxSize(100, 60));
    sizer->Add(button);
    sizer->Add(text, 0, wxEXPAND);
    sizer->Add(area, 1, wxEXPAND);
    top.panel->SetSizer(sizer);
    show_and_wait(top.frame);

    int pressed = 0;
    button->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { ++pressed; });
    click(button, wxPoint(50, 20));
    pump_until([&] { return pressed == 1; });

    ASSERT_TRUE(type_text(text, "Gomel 12"));
    pump_until([&] { return text->GetValue() == "Gomel 12"; });

    int downs = 0;
    bool with_ctrl = false;
    // A second click soon after the first is the toolkit's double click:
    // it arrives as wxEVT_LEFT_DCLICK instead of a second wxEVT_LEFT_DOWN.
    auto on_press = [&](wxMouseEvent& event) {
        ++downs;
        with_ctrl = event.ControlDown();
    };
    area->Bind(wxEVT_LEFT_DOWN, on_press);
    area->Bind(wxEVT_LEFT_DCLICK, on_press);
    {
        held_ctrl ctrl;
        click(area, wxPoint(10, 10));
        pump_until([&] { return downs == 1; });
    }
    EXPECT_TRUE(with_ctrl);
    click(area, wxPoint(12, 12));
    pump_until([&] { return downs == 2; });
    EXPECT_FALSE(with_ctrl);
}

TEST(gui_harness, injected_wheel_and_keypad_events_arrive_as_the_toolkit_sends_them) {
    test_frame top;
    show_and_wait(top.frame);
    int rotation = 0;
    wxPoint at;
    std::vector<int> keys;
    top.panel->Bind(wxEVT_MOUSEWHEEL, [&](wxMouseEvent& event) {
        rotation += event.GetWheelRotation();
        at = event.GetPosition();
        EXPECT_EQ(event.GetWheelDelta(), 120);
    });
    top.panel->Bind(wxEVT_KEY_DOWN, [&](wxKeyEvent& event) {
        keys.push_back(event.GetKeyCode());
        event.Skip();
    });
    top.panel->Bind(wxEVT_CHAR, [&](wxKeyEvent& event) { keys.push_back(-event.GetKeyCode()); });
    send_wheel(top.panel, wxPoint(30, 40), -120);
    send_wheel(top.panel, wxPoint(31, 41), 240);
    EXPECT_EQ(rotation, 120);
    EXPECT_EQ(at, wxPoint(31, 41));
    send_key(top.panel, WXK_NUMPAD_DOWN);
    send_key(top.panel, 'a');
    EXPECT_EQ(keys, (std::vector<int>{WXK_NUMPAD_DOWN, -WXK_NUMPAD_DOWN, 'a', -'a'}));
}

TEST(gui_harness, a_popup_menu_queued_to_close_returns_without_a_choice) {
    test_frame top;
    show_and_wait(top.frame);
    wxMenu menu;
    menu.Append(wxID_HIGHEST + 1, "First");
    int chosen = 0;
    top.frame->Bind(wxEVT_MENU, [&](wxCommandEvent&) { ++chosen; });
    close_next_popup();
    EXPECT_TRUE(top.frame->PopupMenu(&menu, wxPoint(20, 20)));
    pump();
    EXPECT_EQ(chosen, 0);
}

TEST(gui_harness, menu_states_follow_update_handlers_and_choices_toggle_check_items) {
    test_frame top;
    wxMenuBar* bar = new wxMenuBar;
    wxMenu* menu = new wxMenu;
    const int plain = wxID_HIGHEST + 10, check = wxID_HIGHEST + 11;
    menu->Append(plain, "Plain");
    menu->AppendCheckItem(check, "Check");
    bar->Append(menu, "&Test");
    top.frame->SetMenuBar(bar);
    show_and_wait(top.frame);

    bool allow = false;
    std::vector<int> ints;
    top.frame->Bind(wxEVT_UPDATE_UI, [&](wxUpdateUIEvent& event) { event.Enable(allow); }, plain);
    top.frame->Bind(wxEVT_MENU, [&](wxCommandEvent& event) { ints.push_back(event.GetInt()); }, check);
    top.frame->Bind(wxEVT_MENU, [&](wxCommandEvent&) { ints.push_back(100); }, plain);

    EXPECT_FALSE(menu_item_state(top.frame, plain).enabled);
    EXPECT_FALSE(choose_menu_item(top.frame, plain));
    allow = true;
    EXPECT_TRUE(menu_item_state(top.frame, plain).enabled);
    EXPECT_TRUE(choose_menu_item(top.frame, plain));

    EXPECT_TRUE(choose_menu_item(top.frame, check));
    EXPECT_TRUE(menu_item_state(top.frame, check).checked);
    EXPECT_TRUE(choose_menu_item(top.frame, check));
    EXPECT_FALSE(menu_item_state(top.frame, check).checked);
    EXPECT_EQ(ints, (std::vector<int>{100, 1, 0}));
    EXPECT_FALSE(menu_item_state(top.frame, wxID_HIGHEST + 99).found);
}

TEST(gui_harness, a_capture_holds_the_painted_pixels) {
    test_frame top;
    top.panel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    top.panel->Bind(wxEVT_PAINT, [&](wxPaintEvent&) {
        wxPaintDC dc(top.panel);
        dc.SetBackground(wxBrush(wxColour(255, 0, 0)));
        dc.Clear();
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(wxColour(0, 0, 255)));
        dc.DrawRectangle(20, 30, 10, 10);
    });
    show_and_wait(top.frame);
    wxImage image = capture(top.panel);
    ASSERT_TRUE(image.IsOk());
    EXPECT_EQ(image.GetSize(), top.panel->GetClientSize());
    EXPECT_EQ(pixel(image, 5, 5), 0xFF0000u);
    EXPECT_EQ(pixel(image, 20, 30), 0x0000FFu);
    EXPECT_EQ(pixel(image, 29, 39), 0x0000FFu);
    EXPECT_EQ(pixel(image, 30, 40), 0xFF0000u);
    EXPECT_EQ(pixel(image, 19, 35), 0xFF0000u);
}

}  // namespace
