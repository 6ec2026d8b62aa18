// controls_time_test.cpp --
//
//     The time and date controls: list values of the hour and duration
//     pickers, the date-and-hour controls and the interval dialog, key
//     and scroll handling of the masked duration editor, and the
//     date-time picker's display format and change event.

#include "gui_harness.h"

#include <gtest/gtest.h>

#include <kiv/gui/date_time_picker.h>
#include <kiv/gui/time_ctrl.h>
#include <kiv/gui/time_interval.h>

#include <wx/combobox.h>
#include <wx/dateevt.h>
#include <wx/frame.h>
#include <wx/textctrl.h>
#include <wx/timectrl.h>

namespace {

class controls_time : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "time");
        frame->Show();
    }
    void TearDown() override {
        frame->Destroy();
        kiv_gui_test::pump();
    }
    wxFrame* frame = nullptr;
};

wxString value_of(wxComboBox* list) {
    return list != nullptr ? list->GetValue() : wxString("-");
}

wxDateTime local(int year, wxDateTime::Month month, int day, int h, int m, int s) {
    return wxDateTime(wxDateTime::wxDateTime_t(day), month, year, wxDateTime::wxDateTime_t(h),
                      wxDateTime::wxDateTime_t(m), wxDateTime::wxDateTime_t(s));
}

// Sends a key to the editor as the keyboard would.
void press(kiv::time_interval* editor, int key) {
    wxKeyEvent down(wxEVT_KEY_DOWN);
    down.m_keyCode = key;
    down.SetEventObject(editor);
    editor->GetEventHandler()->ProcessEvent(down);
}

std::pair<long, long> selection(wxTextCtrl* text) {
    long from = 0, to = 0;
    text->GetSelection(&from, &to);
    return {from, to};
}

}  // namespace

TEST_F(controls_time, duration_lists_show_and_read_their_parts) {
    struct row {
        bool days, seconds;
        unsigned set;
        const char* shown[4];  // days, hours, minutes, seconds ("-": absent)
        unsigned get;
    };
    const row rows[] = {
        {true, true, 90061, {"1", "01", "01", "01"}, 90061},
        {false, true, 90061, {"-", "01", "01", "01"}, 3661},  // whole days dropped
        {true, false, 90061, {"1", "01", "01", "-"}, 90060},
        {true, true, 364 * 86400 + 23 * 3600 + 59 * 60 + 59, {"364", "23", "59", "59"},
         364 * 86400 + 23 * 3600 + 59 * 60 + 59},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.set);
        auto* ctrl = new kiv::time_ctrl2(frame, r.days, r.seconds);
        ctrl->set(r.set);
        EXPECT_EQ(value_of(ctrl->day_list()), r.shown[0]);
        EXPECT_EQ(value_of(ctrl->hour_list()), r.shown[1]);
        EXPECT_EQ(value_of(ctrl->minute_list()), r.shown[2]);
        EXPECT_EQ(value_of(ctrl->second_list()), r.shown[3]);
        EXPECT_EQ(ctrl->get(), r.get);
        ctrl->Destroy();
    }

    auto* hours = new kiv::time_ctrl(frame);
    EXPECT_EQ(hours->get(), 0u);
    hours->set(90000);  // hour 25 is not in the list: it is added
    EXPECT_EQ(hours->hour_list()->GetValue(), "25");
    EXPECT_EQ(hours->minute_list()->GetValue(), "00");
    EXPECT_EQ(hours->get(), 90000u);
    hours->set(3 * 3600 + 7 * 60 + 59);
    EXPECT_EQ(hours->get(), 3u * 3600 + 7 * 60);
}

TEST_F(controls_time, date_and_hour_controls_give_the_hour_start_or_its_last_second) {
    const wxDateTime morning = local(2026, wxDateTime::Mar, 5, 7, 20, 41);

    auto* plain = new kiv::date_time_ctrl(frame);
    EXPECT_EQ(plain->date_picker()->GetName(), "datectrl");
    plain->set_dt(morning);
    EXPECT_EQ(plain->hour_list()->GetValue(), "07");
    EXPECT_EQ(plain->minute_list()->GetValue(), "20");
    EXPECT_EQ(plain->get_dt(), local(2026, wxDateTime::Mar, 5, 7, 20, 0));
    plain->set(plain->get());
    EXPECT_EQ(plain->get_dt(), local(2026, wxDateTime::Mar, 5, 7, 20, 0));

    auto* ending = new kiv::date_time_ctrl2(frame, false);
    ending->set_dt(morning);
    EXPECT_EQ(ending->hour_list()->GetValue(), "07:59");
    EXPECT_EQ(ending->get_dt(), local(2026, wxDateTime::Mar, 5, 7, 59, 59));
    ending->hour_list()->SetSelection(13);
    EXPECT_EQ(ending->get_dt(), local(2026, wxDateTime::Mar, 5, 13, 59, 59));

    auto* starting = new kiv::date_time_ctrl2(frame, true);
    starting->set(static_cast<unsigned>(morning.GetTicks()));
    EXPECT_EQ(starting->hour_list()->GetValue(), "07:00");
    EXPECT_EQ(starting->get(), static_cast<unsigned>(local(2026, wxDateTime::Mar, 5, 7, 0, 0).GetTicks()));

    kiv::select_time_interval_dlg dialog(frame, local(2026, wxDateTime::Jan, 2, 13, 5, 0),
                                         local(2026, wxDateTime::Jan, 3, 13, 5, 0));
    EXPECT_EQ(dialog.get_from_dt(), local(2026, wxDateTime::Jan, 2, 13, 0, 0));
    EXPECT_EQ(dialog.get_to_dt(), local(2026, wxDateTime::Jan, 3, 13, 59, 59));
    EXPECT_EQ(dialog.get_to(), static_cast<unsigned>(dialog.get_to_dt().GetTicks()));
}

TEST_F(controls_time, duration_editor_keys) {
    struct row {
        const char* name;
        long select_from, select_to;  // the selection before the keys
        long hours;                   // the hours value before the keys
        std::vector<int> keys;
        long days, hours_after;
        std::pair<long, long> selected;  // the selection afterwards
    };
    // "00 days 00:00:00": days 0-2, hours 8-10, minutes 11-13, seconds 14-16.
    const row rows[] = {
        {"1,5 moves on", 8, 10, 0, {'1', '5'}, 0, 15, {11, 13}},
        {"9,9 stops at 23", 8, 10, 0, {'9', '9'}, 0, 23, {11, 13}},
        {"keypad digits", 8, 10, 0, {WXK_NUMPAD0, WXK_NUMPAD7}, 0, 7, {11, 13}},
        {"down at 0 wraps to 23", 8, 10, 0, {WXK_DOWN}, 0, 23, {8, 10}},
        {"up at 23 wraps to 0", 8, 10, 23, {WXK_UP}, 0, 0, {8, 10}},
        {"left from days selects seconds", 0, 2, 4, {WXK_LEFT}, 0, 4, {14, 16}},
        {"right from seconds selects days", 14, 16, 4, {WXK_RIGHT}, 0, 4, {0, 2}},
        {"other keys do nothing", 8, 10, 4, {'a', WXK_SPACE}, 0, 4, {8, 10}},
        {"typing days", 0, 2, 0, {'4', '2'}, 42, 0, {8, 10}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto* editor = new kiv::time_interval(frame, wxString());
        ASSERT_EQ(editor->get_field_count(), 4u);
        editor->set_param(1, 0, 23, 2, r.hours);
        EXPECT_EQ(editor->GetValue(), wxString::Format("00 days %02ld:00:00", r.hours));
        int events = 0;
        unsigned carried = 0;
        editor->Bind(wxEVT_DATE_CHANGED, [&](wxDateEvent& event) {
            events++;
            carried = static_cast<unsigned>(event.GetDate().GetTicks());
        });
        editor->SetSelection(r.select_from, r.select_to);
        for (int key : r.keys)
            press(editor, key);
        EXPECT_EQ(editor->get_param(0), r.days);
        EXPECT_EQ(editor->get_param(1), r.hours_after);
        EXPECT_EQ(selection(editor), r.selected);
        EXPECT_EQ(events, int(r.keys.size()));  // every key, even ignored ones
        EXPECT_EQ(carried, editor->get());
        editor->Destroy();
    }
}

TEST_F(controls_time, duration_editor_values_masks_and_scrolling) {
    auto* editor = new kiv::time_interval(frame, wxString());
    editor->set(90061);
    EXPECT_EQ(editor->GetValue(), "01 days 01:01:01");
    EXPECT_EQ(editor->get(), 90061u);
    EXPECT_GT(editor->best_width(), editor->GetTextExtent("99 days 23:59:59").x);

    // The window's scroll arrows step the field at the caret.
    editor->SetSelection(11, 13);
    wxScrollWinEvent up(wxEVT_SCROLLWIN_LINEUP);
    editor->GetEventHandler()->ProcessEvent(up);
    EXPECT_EQ(editor->get_param(2), 2);
    wxScrollWinEvent down(wxEVT_SCROLLWIN_PAGEDOWN);
    editor->GetEventHandler()->ProcessEvent(down);
    editor->GetEventHandler()->ProcessEvent(down);
    EXPECT_EQ(editor->get_param(2), 0);
    EXPECT_EQ(selection(editor), std::make_pair(11L, 13L));

    // A caller's mask: runs of X are one field, quoted text is literal,
    // and fields the mask lacks are neither written nor counted.
    auto* hours = new kiv::time_interval(frame, "XX' X:'XXX");
    ASSERT_EQ(hours->get_field_count(), 2u);
    hours->set_param(0, 0, 99, 0, 5);
    hours->set_param(1, 0, 59, 3, 7);
    hours->set_param(7, 0, 1, 1, 1);  // no such field
    EXPECT_EQ(hours->GetValue(), "5 X:007");
    EXPECT_EQ(hours->get(), 5u * 86400 + 7u * 3600);
    EXPECT_EQ(hours->get_param(2), 0);
    hours->set(3 * 86400 + 4 * 3600 + 5 * 60 + 6);
    EXPECT_EQ(hours->GetValue(), "3 X:004");

    // A natural-width field grows with its value and the caret finds it.
    hours->set_param(0, 0, 200, 0, 150);
    EXPECT_EQ(hours->GetValue(), "150 X:004");
    hours->SetSelection(7, 7);  // inside "004"
    press(hours, WXK_UP);
    EXPECT_EQ(hours->get_param(1), 5);
    EXPECT_EQ(selection(hours), std::make_pair(6L, 9L));
    hours->SetSelection(0, 0);
    press(hours, WXK_UP);
    EXPECT_EQ(hours->get_param(0), 151);
    EXPECT_EQ(selection(hours), std::make_pair(0L, 3L));

    auto* plain = new kiv::time_interval(frame, "'no fields'");
    EXPECT_EQ(plain->get_field_count(), 0u);
    press(plain, '5');
    EXPECT_EQ(plain->GetValue(), "no fields");
    EXPECT_EQ(plain->get(), 0u);
}

TEST_F(controls_time, picker_format_codes) {
    const wxDateTime morning = local(2026, wxDateTime::Mar, 5, 7, 8, 9);
    const wxDateTime evening = local(2026, wxDateTime::Dec, 28, 19, 40, 0);
    struct row {
        const char* format;
        const wxDateTime* value;
        const char* text;
    };
    const row rows[] = {
        {"dd.MM.yyyy HH:mm:ss", &morning, "05.03.2026 07:08:09"},
        {"d/M/yy h:m:s tt", &morning, "5/3/26 7:8:9 AM"},
        {"'Day' dddd, MMMM d", &morning, "Day Thursday, March 5"},
        {"ddd MMM y", &evening, "Mon Dec 6"},
        {"hh 'o''clock' t", &evening, "07 o'clock P"},
        {"HH:mm 'h' -", &evening, "19:40 h -"},
        {"'unclosed dd", &evening, "unclosed dd"},
        {"''", &evening, "'"},
    };
    for (const row& r : rows)
        EXPECT_EQ(kiv::date_time_picker::format_value(r.format, *r.value), r.text) << r.format;
    EXPECT_EQ(kiv::date_time_picker::format_value("dd", wxDateTime()), "");
}

TEST_F(controls_time, picker_shows_its_format_and_reports_changes) {
    auto* picker = new kiv::date_time_picker(frame, "dd.MM.yyyy HH:mm");
    EXPECT_EQ(picker->GetName(), "datectrl");
    ASSERT_NE(picker->date_picker(), nullptr);
    ASSERT_NE(picker->time_picker(), nullptr);
    const wxDateTime morning = local(2026, wxDateTime::Mar, 5, 7, 8, 9);
    picker->SetValue(morning);
    EXPECT_EQ(picker->text()->GetValue(), "05.03.2026 07:08");
    EXPECT_EQ(picker->get(), static_cast<unsigned>(morning.GetTicks()));
    EXPECT_GE(picker->text()->GetBestSize().x, picker->text()->GetTextExtent("28.12.2000 23:58").x);

    picker->SetValue(wxDateTime());  // refused without "allow none"
    EXPECT_EQ(picker->GetValue(), morning);

    int events = 0;
    wxDateTime carried;
    picker->Bind(wxEVT_DATE_CHANGED, [&](wxDateEvent& event) {
        events++;
        carried = event.GetDate();
    });
    const wxDateTime next_day = local(2026, wxDateTime::Mar, 6, 0, 0, 0);
    picker->date_picker()->SetValue(next_day);
    wxDateEvent changed(picker->date_picker(), next_day, wxEVT_DATE_CHANGED);
    picker->date_picker()->GetEventHandler()->ProcessEvent(changed);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(carried, local(2026, wxDateTime::Mar, 6, 7, 8, 9));
    EXPECT_EQ(picker->text()->GetValue(), "06.03.2026 07:08");
    picker->date_picker()->GetEventHandler()->ProcessEvent(changed);  // no change: no event
    EXPECT_EQ(events, 1);

    wxDateTime low, high;
    EXPECT_FALSE(picker->GetRange(&low, &high));
    picker->SetRange(local(2020, wxDateTime::Jan, 1, 0, 0, 0), wxDateTime());
    EXPECT_TRUE(picker->GetRange(&low, &high));
    EXPECT_TRUE(low.IsValid());
    EXPECT_FALSE(high.IsValid());
    // A value before the range is held at its start, as a picker would.
    picker->SetValue(local(2019, wxDateTime::Jun, 1, 12, 0, 0));
    EXPECT_EQ(picker->GetValue(), local(2020, wxDateTime::Jan, 1, 0, 0, 0));
    EXPECT_EQ(picker->date_picker()->GetValue().GetYear(), 2020);

    auto* optional = new kiv::date_time_picker(frame, "HH:mm", wxDP_ALLOWNONE);
    EXPECT_EQ(optional->date_picker(), nullptr);  // the format shows no date
    ASSERT_NE(optional->time_picker(), nullptr);
    optional->SetValue(wxDateTime());
    EXPECT_FALSE(optional->GetValue().IsValid());
    EXPECT_EQ(optional->text()->GetValue(), "");
    EXPECT_EQ(optional->get(), 0u);
}
