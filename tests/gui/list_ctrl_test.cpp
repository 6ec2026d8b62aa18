// list_ctrl_test.cpp --
//
//     The virtual list and its row sources (null container, rows that are
//     no strings, UTF-8 text, a new collection resetting the count, the
//     double-click gate), and the two choice dialogs run modally: single
//     and multiple picks, activation ending the single dialog, Cancel,
//     and the radio dialog starting with no button on.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>
#include <kiv/gui/list_ctrl.h>

#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/radiobut.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

const long virtual_report = wxLC_REPORT | wxLC_VIRTUAL;

// A collection of the given strings, then one plain collection (an
// object that answers no i_string) when `with_foreign` is set.
auto_ptr_t<i_object_col_x> make_rows(const std::vector<const char*>& texts, bool with_foreign = false) {
    auto_ptr_t<i_object_col_x> rows(kiv_create_col());
    for (const char* text : texts) {
        auto_ptr_t<i_string> item(kiv_create_string(text));
        rows->add_item(item.get());
    }
    if (with_foreign) {
        auto_ptr_t<i_object_col_x> foreign(kiv_create_col());
        rows->add_item(foreign.get());
    }
    return rows;
}

struct list_test : ::testing::Test {
    gui_session session{false};
    wxFrame* frame = session.open_frame({});
};

TEST_F(list_test, a_list_without_container_shows_empty_rows_without_images) {
    list_ctrl* list = new list_ctrl(frame, nullptr, wxSize(200, 200), virtual_report);
    list->InsertColumn(0, "name");
    list->SetItemCount(3);
    EXPECT_EQ(list->GetItemText(1), "");
    wxListItem item;
    item.SetId(2);
    item.SetMask(wxLIST_MASK_IMAGE);
    ASSERT_TRUE(list->GetItem(item));
    EXPECT_EQ(item.GetImage(), -1);
    EXPECT_EQ(list->get_container(), nullptr);
}

TEST_F(list_test, string_rows_show_their_utf8_text_and_foreign_rows_show_nothing) {
    string_list_container rows(4);
    list_ctrl* list = new list_ctrl(frame, &rows, wxSize(200, 200), virtual_report);
    list->InsertColumn(0, "name");
    auto_ptr_t<i_object_col_x> col(make_rows({"Москва", "Berlin"}, true));
    rows.set_objects(list, col.get());
    ASSERT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetItemText(0).utf8_str(), std::string("Москва"));
    EXPECT_EQ(list->GetItemText(1), "Berlin");
    EXPECT_EQ(list->GetItemText(2), "");
    EXPECT_EQ(rows.get_item_text(list, 99, 0), "");
    EXPECT_EQ(rows.get_item_text(list, -1, 0), "");
    EXPECT_EQ(rows.get_item_image(list, 1), 4);
    EXPECT_EQ(rows.get_item_attr(list, 1), nullptr);
    delete list;
}

TEST_F(list_test, new_objects_reset_the_count_and_null_empties_the_list) {
    string_list_container rows(-1);
    list_ctrl* list = new list_ctrl(frame, &rows, wxSize(200, 200), virtual_report);
    list->InsertColumn(0, "name");
    {
        auto_ptr_t<i_object_col_x> col(make_rows({"a", "b", "c"}));
        rows.set_objects(list, col.get());
    }
    // The container holds its own reference: the rows outlive the caller's.
    EXPECT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetItemText(2), "c");
    auto_ptr_t<i_object_col_x> other(make_rows({"x"}));
    rows.set_objects(list, other.get());
    EXPECT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0), "x");
    rows.set_objects(list, nullptr);
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_EQ(rows.get_item_text(list, 0, 0), "");
    rows.set_objects(nullptr, other.get());  // no control: only the rows change
    EXPECT_EQ(rows.get_item_text(list, 0, 0), "x");
    delete list;
}

TEST_F(list_test, double_clicks_reach_the_native_list_only_when_allowed) {
    for (bool allowed : {false, true}) {
        string_list_container rows(-1);
        list_ctrl* list = new list_ctrl(frame, &rows, wxSize(200, 200), virtual_report);
        list->InsertColumn(0, "name", wxLIST_FORMAT_LEFT, 180);
        auto_ptr_t<i_object_col_x> col(make_rows({"first", "second"}));
        rows.set_objects(list, col.get());
        list->use_db_click(allowed);
        int activated = 0;
        list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [&](wxListEvent&) { ++activated; });
        show_and_wait(frame);
        frame->Layout();
        pump();
        wxRect rect;
        ASSERT_TRUE(list->GetItemRect(0, rect));
        wxPoint at(rect.x + 20, rect.y + rect.height / 2);
        click(list, at);
        click(list, at);
        if (allowed) {
            pump_until([&] { return activated > 0; });
        } else {
            // Something the list must handle after the clicks: a selection
            // made through the native control arrives in order.
            bool done = false;
            list->CallAfter([&] { done = true; });
            pump_until([&] { return done; });
            pump();
            EXPECT_EQ(activated, 0);
        }
        delete list;
        pump();
    }
}

TEST_F(list_test, multi_choice_returns_all_selected_rows_in_order) {
    wxArrayString choices;
    for (const char* name : {"zero", "one", "two", "three"})
        choices.Add(name);
    answer_next_dialog(wxID_OK, [](wxDialog& dialog) {
        multi_choice_dlg& dlg = dynamic_cast<multi_choice_dlg&>(dialog);
        dlg.get_list()->SetItemState(3, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        dlg.get_list()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    });
    wxArrayInt chosen = kiv_get_multi_choice(frame, "Pick", "Pick some", choices, false, -1, -1);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0], 1);
    EXPECT_EQ(chosen[1], 3);

    answer_next_dialog(wxID_CANCEL, [](wxDialog& dialog) {
        dynamic_cast<multi_choice_dlg&>(dialog).get_list()->SetItemState(0, wxLIST_STATE_SELECTED,
                                                                         wxLIST_STATE_SELECTED);
    });
    EXPECT_TRUE(kiv_get_multi_choice(frame, "Pick", "", choices, false, -1, -1).empty());
    EXPECT_TRUE(kiv_get_multi_choice(frame, "Pick", "", wxArrayString(), true, 0, -1).empty());
    EXPECT_EQ(dialogs_seen().size(), 2u);
}

// Records how the dialog would end instead of ending a modal loop.
struct probe_dlg : multi_choice_dlg {
    using multi_choice_dlg::multi_choice_dlg;
    void EndModal(int code) override { ended = code; }
    int ended = wxID_NONE;
};

TEST_F(list_test, activation_ends_only_the_single_choice_list_with_ok) {
    wxArrayString choices;
    for (const char* name : {"zero", "one", "two"})
        choices.Add(name);
    for (bool single : {true, false}) {
        probe_dlg dialog(frame, "Pick", "Pick one", choices, single, -1);
        EXPECT_EQ(dialog.get_list()->HasFlag(wxLC_SINGLE_SEL), single);
        dialog.set_selection(1);
        dialog.set_selection(3);  // past the end: nothing changes
        wxArrayInt at_start = dialog.get_selections();
        ASSERT_EQ(at_start.size(), 1u);
        EXPECT_EQ(at_start[0], 1);
        wxListEvent activate(wxEVT_LIST_ITEM_ACTIVATED, dialog.get_list()->GetId());
        activate.SetEventObject(dialog.get_list());
        activate.m_itemIndex = 1;
        dialog.get_list()->GetEventHandler()->ProcessEvent(activate);
        EXPECT_EQ(dialog.ended, single ? wxID_OK : wxID_NONE) << "single " << single;
    }
}

TEST_F(list_test, single_choice_list_answers_the_preselected_row) {
    wxArrayString choices;
    for (const char* name : {"zero", "one", "two"})
        choices.Add(name);
    answer_next_dialog(wxID_OK);
    wxArrayInt chosen = kiv_get_multi_choice(frame, "Pick", "Pick one", choices, true, 2, -1);
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0], 2);
}

TEST_F(list_test, radio_choice_answers_the_button_that_is_on) {
    wxArrayString choices;
    for (const char* name : {"north", "south", "east"})
        choices.Add(name);
    struct row {
        unsigned start;   // selection given to the dialog
        int press;        // button the user presses; -1: none
        int answer;       // how the dialog ends
        int expected;
    } rows[] = {
        {1, -1, wxID_OK, 1},
        {1, 2, wxID_OK, 2},
        {0, 2, wxID_CANCEL, -1},
        {7, -1, wxID_OK, -1},  // no valid start: no button on
        {7, 0, wxID_OK, 0},
    };
    for (const row& r : rows) {
        int on_at_start = 0;
        answer_next_dialog(r.answer, [&](wxDialog& dialog) {
            choice_dlg& dlg = dynamic_cast<choice_dlg&>(dialog);
            for (wxRadioButton* button : dlg.get_buttons())
                on_at_start += button->GetValue() ? 1 : 0;
            if (r.press >= 0) {
                wxRadioButton* button = dlg.get_buttons()[static_cast<size_t>(r.press)];
                button->SetValue(true);
                wxCommandEvent pressed(wxEVT_RADIOBUTTON, button->GetId());
                pressed.SetEventObject(button);
                button->GetEventHandler()->ProcessEvent(pressed);
            }
        });
        EXPECT_EQ(kiv_get_single_choice(frame, "Way", "Which way?", choices, r.start), r.expected)
            << "start " << r.start << " press " << r.press;
        EXPECT_EQ(on_at_start, r.start < choices.size() ? 1 : 0) << "start " << r.start;
    }
    EXPECT_EQ(kiv_get_single_choice(frame, "Way", "", wxArrayString(), 0), -1);
}

}  // namespace
