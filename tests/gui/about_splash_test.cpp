// about_splash_test.cpp --
//
//     The splash window and the about box: which lines a layout holds,
//     the shared contact row with its "," separators, plain text in a
//     splash against links in the about box, a splash painted when show()
//     returns, the about box run modally, a splash deleted exactly once
//     whether the user, its owner or its parent's end closes it first,
//     and one made by the default constructor.

#include <kiv/gui/splash_screen.h>

#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <algorithm>
#include <string>
#include <vector>
#include <wx/weakref.h>
#include <wx/hyperlink.h>
#include <wx/stattext.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// A 60 x 40 picture of one colour.
wxBitmap picture(const wxColour& colour) {
    wxBitmap bitmap(60, 40, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(colour));
    dc.Clear();
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

// The labels of the window's static texts, in creation order.
std::vector<wxString> texts(wxWindow* window) {
    std::vector<wxString> result;
    for (wxWindow* child : window->GetChildren())
        if (wxStaticText* text = dynamic_cast<wxStaticText*>(child))
            result.push_back(text->GetLabel());
    return result;
}

size_t links(wxWindow* window) {
    size_t count = 0;
    for (wxWindow* child : window->GetChildren())
        count += dynamic_cast<wxHyperlinkCtrl*>(child) != nullptr ? 1 : 0;
    return count;
}

struct splash_test : ::testing::Test {
    gui_session session;
    wxFrame* frame = session.open_frame({});
};

TEST_F(splash_test, a_splash_with_only_a_header_shows_the_header_the_picture_and_the_closing_line) {
    splash_screen splash(picture(*wxRED), frame, false);
    splash.set_header("Starting");
    splash.show();
    wxTopLevelWindow* window = splash.get_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(texts(window), (std::vector<wxString>{"Starting", " "}));
    EXPECT_EQ(window->GetTitle(), "Starting");
    EXPECT_TRUE(window->IsShown());
}

TEST_F(splash_test, contacts_share_one_row_with_separators_and_links_only_in_the_about_box) {
    for (bool about : {false, true}) {
        splash_screen box(picture(*wxBLUE), frame, "", "ozm viewer", "1.0", "", "example.org", "team@example.org",
                          "+1 555 0100", about);
        box.set_website("example.org", false);
        box.set_email("team@example.org", false);
        box.set_tel("+1 555 0100", false, true);
        box.set_close(false);  // lay out and show without a modal loop
        box.show();
        std::vector<wxString> all = texts(box.get_window());
        EXPECT_EQ(std::count(all.begin(), all.end(), wxString(",")), 2) << "about " << about;
        EXPECT_NE(std::find(all.begin(), all.end(), wxString::FromUTF8("Тел/факс:")), all.end());
        bool site_as_text = std::find(all.begin(), all.end(), wxString("example.org")) != all.end();
        EXPECT_EQ(site_as_text, !about);
        EXPECT_EQ(links(box.get_window()), about ? 2u : 1u);
    }
}

TEST_F(splash_test, a_splash_is_painted_when_show_returns) {
    splash_screen splash(picture(wxColour(0, 200, 0)), frame, false);
    splash.show();
    show_and_wait(splash.get_window());
    wxWindow* picture_wnd = nullptr;
    for (wxWindow* child : splash.get_window()->GetChildren())
        if (dynamic_cast<splash_screen_wnd*>(child) != nullptr)
            picture_wnd = child;
    ASSERT_NE(picture_wnd, nullptr);
    EXPECT_EQ(picture_wnd->GetSize(), wxSize(60, 40));
    EXPECT_EQ(pixel(capture(picture_wnd), 30, 20), 0x00C800u);
}

TEST_F(splash_test, the_about_box_runs_modally_until_ok) {
    splash_screen about(picture(*wxRED), frame, true);
    about.set_title("ozm viewer");
    about.set_version("Version 1.0");
    answer_next_dialog(wxID_OK);
    about.show();
    ASSERT_EQ(dialogs_seen().size(), 1u);
    EXPECT_EQ(dialogs_seen()[0].title, "About...");
    EXPECT_EQ(unused_answers(), 0u);
}

TEST_F(splash_test, a_splash_goes_once_whoever_closes_it_first_and_in_either_order) {
    // Under the sanitizers with leak detection: a splash left behind is a
    // leak, one deleted twice or used after it went is a use after free.
    enum step { user_closes, owner_closes, owner_deletes, parent_goes };
    struct row {
        const char* name;
        std::vector<step> steps;
    } rows[] = {
        {"the user closes it, then the owner", {user_closes, owner_closes}},
        {"the owner closes it, then the user", {owner_closes, user_closes}},
        {"the user closes it, then the owner deletes it", {user_closes, owner_deletes}},
        {"the owner deletes it, then the user closes it", {owner_deletes, user_closes}},
        {"the owner closes it and never deletes it", {owner_closes}},
        {"the parent window goes first", {parent_goes, owner_closes}},
    };
    for (const row& r : rows) {
        for (bool settle : {false, true}) {  // events run between the steps, or not
            SCOPED_TRACE(std::string(r.name) + (settle ? ", events between" : ", at once"));
            wxWeakRef<wxFrame> parent = new wxFrame(frame, wxID_ANY, "parent");
            wxWeakRef<splash_screen> splash = new splash_screen(picture(*wxRED), parent, false);
            splash->show();
            wxWeakRef<wxTopLevelWindow> window = splash->get_window();
            ASSERT_NE(window.get(), nullptr);
            for (step s : r.steps) {
                if (s == user_closes && window)
                    window->Close(false);  // as the window manager's close button does
                else if (s == owner_closes && splash)
                    splash->close();
                else if (s == owner_deletes && splash)
                    delete splash.get();
                else if (s == parent_goes && parent)
                    parent->Destroy();
                if (settle)
                    pump();
            }
            pump_until([&] { return window.get() == nullptr && splash.get() == nullptr; });
            if (parent)
                parent->Destroy();
            pump();
        }
    }
}

TEST_F(splash_test, a_splash_made_without_a_picture_has_no_window_and_belongs_to_its_creator) {
    splash_screen empty;
    empty.set_header("Starting");
    empty.set_tel("+1 555 0100", true, false);
    empty.show();
    empty.close();
    EXPECT_EQ(empty.get_window(), nullptr);
}

TEST_F(splash_test, deleting_the_owner_closes_a_splash_still_open) {
    wxWeakRef<wxTopLevelWindow> window;
    {
        splash_screen splash(picture(*wxRED), frame, false);
        splash.show();
        window = splash.get_window();
    }
    pump_until([&] { return window.get() == nullptr; });
}

}  // namespace
