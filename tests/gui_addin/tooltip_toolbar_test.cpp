// tooltip_toolbar_test.cpp --
//
//     The tooltip popup's line layout, its hiding on clicks (which go
//     through to the window under it) and on leaving its bounding
//     rectangle, and the tool bar's tool offsets.

#include <kiv/gui_addin/toolbar.h>
#include <kiv/gui_addin/tooltip_wnd.h>

#include "../gui/gui_harness.h"

#include <gtest/gtest.h>

#include <wx/artprov.h>
#include <wx/frame.h>

using namespace kiv_gui_test;

namespace {

struct frame_holder {
    frame_holder() {
        frame = new wxFrame(nullptr, wxID_ANY, "tooltip", wxPoint(0, 0), wxSize(400, 300));
        show_and_wait(frame);
    }
    ~frame_holder() {
        frame->Destroy();
        pump();
    }
    wxFrame* frame;
};

TEST(tooltip_wnd, text_is_broken_at_line_feeds_and_long_lines_at_blanks) {
    frame_holder f;
    kiv::tooltip_wnd* tip = new kiv::tooltip_wnd(f.frame, "", 100, nullptr);
    struct layout {
        const char* text;
        int max;
        size_t lines;
    } layouts[] = {
        {"", 100, 1},
        {"one\ntwo\nthree", 100, 3},
        {"a\n\n", 100, 3},
        {"averyveryverylonglinewithoutanyblankatallthatgoesonandonandon", 20, 1},
        {"word word word word word word word word word word word word", 40, 0},  // 0: several
    };
    for (const layout& l : layouts) {
        tip->set_text(wxString::FromUTF8(l.text), l.max);
        if (l.lines == 0) {
            EXPECT_GT(tip->get_lines().GetCount(), 1u) << l.text;
        } else {
            EXPECT_EQ(tip->get_lines().GetCount(), l.lines) << l.text;
        }
        EXPECT_GT(tip->get_line_height(), 0);
        wxSize size = tip->GetClientSize();
        EXPECT_EQ(size.y, int(tip->get_lines().GetCount()) * tip->get_line_height() + 8) << l.text;
    }
    tip->set_text("word word word word word word", 40);
    for (const wxString& line : tip->get_lines())
        EXPECT_FALSE(line.StartsWith(" ")) << line;  // the breaking blank is dropped
    tip->Destroy();
}

TEST(tooltip_wnd, a_click_hides_it_and_reaches_the_window_under_it) {
    frame_holder f;
    wxPoint clicked(-1, -1);
    f.frame->Bind(wxEVT_LEFT_DOWN, [&](wxMouseEvent& event) { clicked = event.GetPosition(); });
    kiv::tooltip_wnd* tip = new kiv::tooltip_wnd(f.frame, "hello\nworld", 100, nullptr);
    wxPoint screen = f.frame->ClientToScreen(wxPoint(50, 60));
    tip->move(screen.x, screen.y);
    pump_until([&] { return tip->IsShownOnScreen(); });
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.SetEventObject(tip);
    down.SetPosition(wxPoint(4, 4));
    tip->GetEventHandler()->ProcessEvent(down);
    EXPECT_FALSE(tip->IsShown());
    pump_until([&] { return clicked.x >= 0; });
    wxPoint expected = f.frame->ScreenToClient(tip->ClientToScreen(wxPoint(4, 4)));
    EXPECT_EQ(clicked, expected);
    tip->Destroy();
}

TEST(tooltip_wnd, leaving_the_bounding_rectangle_hides_it) {
    frame_holder f;
    wxRect nowhere(5000, 5000, 10, 10);  // the pointer is never there
    kiv::tooltip_wnd* tip = new kiv::tooltip_wnd(f.frame, "tip", 100, &nowhere);
    wxPoint screen = f.frame->ClientToScreen(wxPoint(20, 20));
    tip->move(screen.x, screen.y);
    pump_until([&] { return tip->IsShownOnScreen(); });
    wxWindow* view = tip->GetChildren().GetFirst()->GetData();
    wxMouseEvent motion(wxEVT_MOTION);
    motion.SetEventObject(view);
    view->GetEventHandler()->ProcessEvent(motion);
    EXPECT_FALSE(tip->IsShown());

    // Without a rectangle a motion keeps it.
    tip->set_bounding_rect(wxRect());
    tip->move(screen.x, screen.y);
    pump_until([&] { return tip->IsShownOnScreen(); });
    view->GetEventHandler()->ProcessEvent(motion);
    EXPECT_TRUE(tip->IsShown());
    tip->hide();
    tip->Destroy();
}

TEST(toolbar, the_offset_of_a_tool_is_its_left_edge_at_the_bottom_line) {
    frame_holder f;
    kiv::toolbar* bar = new kiv::toolbar(f.frame, wxID_ANY, wxTB_HORIZONTAL);
    wxBitmap icon = wxArtProvider::GetBitmap(wxART_NEW, wxART_TOOLBAR, wxSize(16, 16));
    bar->AddTool(101, "one", icon);
    bar->AddSeparator();
    bar->AddTool(102, "two", icon);
    bar->Realize();
    f.frame->SetToolBar(bar);
    pump();
    wxRect r = bar->GetRect();
    wxSize t = bar->GetToolSize();
    int sep = bar->GetToolSeparation();
    EXPECT_EQ(bar->GetTools()->GetCount(), 3u);
    EXPECT_EQ(bar->get_toolbar_offset(101), wxPoint(r.x, r.y + r.height - 1));
    EXPECT_EQ(bar->get_toolbar_offset(102), wxPoint(r.x + t.x + sep, r.y + r.height - 1));
    EXPECT_EQ(bar->get_toolbar_offset(999), wxPoint(0, 0));
}

}  // namespace
