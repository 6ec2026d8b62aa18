// controls_status_test.cpp --
//
//     The status control in a real status bar: layout with overflow into
//     the pop-up, the animation thread's schedule and its end, schedule
//     entries following inserted and removed statuses, pictures (XPM,
//     highlighted and grey copies), tooltip bounds and the double-click
//     action; the status events reaching a handler installed by name as
//     real GUI events. The framework runs as an application runs it, with
//     the frame and GUI event services.

#include "gui_harness.h"
#include "gui_session.h"

#include <gtest/gtest.h>

#include <kiv/gui/i_gui_event.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/status_ctrl.h>
#include <kiv/image/image_lib.h>

#include <wx/app.h>
#include <wx/bmpbuttn.h>
#include <wx/frame.h>
#include <wx/statusbr.h>

#include <memory>

using kiv_gui_test::pump_until;

namespace {

// Opaque colours as the image library keeps them: bytes R, G, B, A.
unsigned rgba(unsigned char r, unsigned char g, unsigned char b) {
    return unsigned(r) | unsigned(g) << 8 | unsigned(b) << 16 | 0xFFu << 24;
}

auto_ptr_t<kiv::i_image> solid(unsigned w, unsigned h, unsigned colour) {
    return auto_ptr_t<kiv::i_image>(kiv_image_create(w, h, colour));
}

// A status of one solid picture per colour; picture i moves on to
// nexts[i] after periods[i] ms.
auto_ptr_t<kiv::status_item> make_status(std::vector<unsigned> colours, std::vector<unsigned> nexts,
                                         std::vector<unsigned> periods) {
    auto_ptr_t<kiv::status_item> status(new kiv::status_item("s", nullptr, 0, 0));
    status->addref();
    for (size_t i = 0; i < colours.size(); i++) {
        auto_ptr_t<kiv::i_image> picture = solid(16, 16, colours[i]);
        status->add_image(picture.get(), 0, nexts[i], periods[i]);
    }
    return status;
}

wxColour pixel(const wxBitmap& bitmap, int x, int y) {
    wxImage image = bitmap.ConvertToImage();
    return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

class controls_status : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "status", wxPoint(0, 0), wxSize(700, 300));
        bar = frame->CreateStatusBar(2);
        wxTheApp->SetTopWindow(frame);
        frame->Show();
        pump_until([&]() { return bar->GetSize().x > 0; });
        statuses.reset(kiv_create_col());
    }
    void TearDown() override {
        ctrl.reset();
        statuses.reset();
        frame->Destroy();
        kiv_gui_test::pump();
    }
    void make_ctrl() {
        ctrl.reset(new kiv::status_ctrl(bar, 1, statuses.get()));
        ctrl->addref();
    }
    // Waits until the animation thread has ended by itself.
    void wait_idle() { pump_until([&]() { return !ctrl->is_animating(); }); }

    kiv_gui_test::gui_session session;
    wxFrame* frame = nullptr;
    wxStatusBar* bar = nullptr;
    auto_ptr_t<kiv::i_object_col_x> statuses;
    auto_ptr_t<kiv::status_ctrl> ctrl;
};

}  // namespace

TEST_F(controls_status, icons_that_do_not_fit_go_into_the_popup_behind_more) {
    std::vector<auto_ptr_t<kiv::status_item>> items;
    for (int i = 0; i < 12; i++) {
        items.push_back(make_status({rgba(0, 0, 255)}, {0}, {0}));
        statuses->add_item(items.back().get());
    }
    make_ctrl();
    const int icon_w = items[0]->get_ctrl()->GetSize().x;
    ASSERT_GT(icon_w, 0);

    // Make the field exactly wide enough for three icons.
    int widths[2] = {-1, 200};
    bar->SetStatusWidths(2, widths);
    wxRect field;
    bar->GetFieldRect(1, field);
    widths[1] = 200 - field.width + 3 * icon_w + 11;
    bar->SetStatusWidths(2, widths);
    bar->GetFieldRect(1, field);
    ASSERT_EQ(field.width, 3 * icon_w + 11);
    ctrl->resize();

    for (int i = 0; i < 12; i++) {
        wxWindow* icon = items[size_t(i)]->get_ctrl();
        if (i < 3) {
            EXPECT_EQ(icon->GetParent(), bar) << i;
            EXPECT_EQ(icon->GetPosition().x, field.x + i * icon_w) << i;
        } else {
            EXPECT_EQ(icon->GetParent(), ctrl->get_popup()) << i;
        }
    }
    wxWindow* more = ctrl->get_more_button();
    EXPECT_TRUE(more->IsShown());
    EXPECT_EQ(more->GetPosition().x, field.x + 3 * icon_w + 2);

    // "more" opens the pop-up, a second click closes it.
    wxWindow* popup = ctrl->get_popup();
    wxCommandEvent click(wxEVT_BUTTON, more->GetId());
    click.SetEventObject(more);
    more->GetEventHandler()->ProcessEvent(click);
    EXPECT_TRUE(popup->IsShown());
    EXPECT_GE(popup->GetSize().x, 9 * icon_w);  // nine icons in one row of ten
    more->GetEventHandler()->ProcessEvent(click);
    EXPECT_FALSE(popup->IsShown());

    // Hiding nine icons leaves room for all: no "more" button.
    for (int i = 3; i < 12; i++)
        items[size_t(i)]->hide();
    pump_until([&]() { return !more->IsShown(); });
    EXPECT_FALSE(items[5]->get_ctrl()->IsShown());
}

TEST_F(controls_status, a_bar_too_low_for_the_pictures_grows) {
    auto_ptr_t<kiv::status_item> tall(new kiv::status_item("tall", nullptr, 0, 0));
    tall->addref();
    auto_ptr_t<kiv::i_image> picture = solid(16, 40, rgba(0, 0, 0));
    tall->add_image(picture.get(), 0, 0, 0);
    statuses->add_item(tall.get());
    wxRect field;
    bar->GetFieldRect(1, field);
    ASSERT_LT(field.height, 42);
    make_ctrl();
    // Room for the picture and its transparent border.
    pump_until([&]() {
        bar->GetFieldRect(1, field);
        return field.height >= 42;
    });
    EXPECT_LE(tall->get_ctrl()->GetPosition().y + tall->get_ctrl()->GetSize().y, bar->GetSize().y);
}

TEST_F(controls_status, animation_switches_once_after_its_period_and_the_thread_ends) {
    auto_ptr_t<kiv::status_item> status =
        make_status({rgba(255, 0, 0), rgba(0, 255, 0)}, {1, 0}, {500, 0});
    statuses->add_item(status.get());
    make_ctrl();
    wait_idle();  // nothing animates yet: the first thread ends at once
    const unsigned start = ctrl->get_tick();

    status->set_image(0);  // period 500: active, the thread starts again
    EXPECT_TRUE(status->is_active());
    pump_until([&]() { return status->get_image() == 1 && !ctrl->is_animating(); });
    EXPECT_FALSE(status->is_active());
    // Scheduled at the first tick for 500 ms later, switched there, and
    // the next change noted one period after the switch.
    EXPECT_EQ(ctrl->get_schedule(0), start + 100 + 500 + 500);
    // The pass after the switch finds nothing to animate and ends the thread.
    EXPECT_EQ(ctrl->get_tick(), start + 100 + 500 + 100);

    // The picture change reached the window on the GUI thread.
    auto* button = dynamic_cast<wxBitmapButton*>(status->get_ctrl());
    ASSERT_NE(button, nullptr);
    pump_until([&]() { return pixel(button->GetBitmapLabel(), 8, 8) == wxColour(0, 255, 0); });
}

TEST_F(controls_status, pictures_that_do_not_animate_start_no_thread) {
    auto_ptr_t<kiv::status_item> still = make_status({rgba(1, 2, 3)}, {0}, {0});
    auto_ptr_t<kiv::status_item> empty(new kiv::status_item(nullptr, nullptr, 0, 0));
    empty->addref();
    statuses->add_item(still.get());
    statuses->add_item(empty.get());
    make_ctrl();
    wait_idle();
    const unsigned tick = ctrl->get_tick();
    still->set_image(0);
    empty->set_image(0);      // no pictures: nothing happens
    empty->set_active(true);  // even forced active, it has nothing to show
    still->show(true);        // posts a thread start: one pass finds nothing
    // The forced flag is what that pass clears; the thread may not have
    // started yet when the wait begins.
    pump_until([&]() { return !empty->is_active() && !ctrl->is_animating(); });
    EXPECT_FALSE(still->is_active());
    EXPECT_LE(ctrl->get_tick(), tick + 100);
    EXPECT_EQ(ctrl->get_schedule(0), 0u);
    EXPECT_NE(empty->get_ctrl(), nullptr);  // an 18 x 18 blank button
}

TEST_F(controls_status, schedule_entries_follow_inserted_and_removed_statuses) {
    std::vector<auto_ptr_t<kiv::status_item>> items;
    for (int i = 0; i < 3; i++) {
        // A long period: entries are set on the first pass and stay.
        items.push_back(make_status({rgba(9, 9, 9)}, {0}, {1000000u + 1000u * unsigned(i)}));
        statuses->add_item(items.back().get());
    }
    make_ctrl();
    for (auto& item : items)
        item->set_image(0);
    pump_until([&]() {
        return ctrl->get_schedule(0) != 0 && ctrl->get_schedule(1) != 0 && ctrl->get_schedule(2) != 0;
    });
    const unsigned e0 = ctrl->get_schedule(0), e2 = ctrl->get_schedule(2);

    wxWindow* removed_icon = items[1]->get_ctrl();
    ctrl->remove_status(items[1].get());
    EXPECT_FALSE(removed_icon->IsShown());
    EXPECT_EQ(ctrl->get_schedule(0), e0);
    EXPECT_EQ(ctrl->get_schedule(1), e2);
    EXPECT_EQ(ctrl->get_schedule(2), 0u);
    {
        auto_ptr_t<kiv::i_object_col> now(ctrl->get_statuses());
        EXPECT_EQ(now->get_count(), 2u);
    }
    ctrl->remove_status(items[1].get());  // no longer there: nothing happens
    ctrl->remove_status(nullptr);
    EXPECT_EQ(ctrl->get_schedule(0), e0);

    auto_ptr_t<kiv::status_item> first = make_status({rgba(1, 1, 1)}, {0}, {0});
    ctrl->add_status(first.get(), 0);
    EXPECT_EQ(ctrl->get_schedule(0), 0u);
    EXPECT_EQ(ctrl->get_schedule(1), e0);
    EXPECT_EQ(ctrl->get_schedule(2), e2);
    EXPECT_NE(first->get_ctrl(), nullptr);

    auto_ptr_t<kiv::status_item> last = make_status({rgba(1, 1, 1)}, {0}, {0});
    ctrl->add_status(last.get(), 99);  // past the end: appended
    auto_ptr_t<kiv::i_object_col> now(ctrl->get_statuses());
    ASSERT_EQ(now->get_count(), 4u);
    auto_ptr_t<kiv::i_object> tail(now->get_item_by_pos(3));
    EXPECT_EQ(kiv_cast_i_status(tail), static_cast<kiv::i_status*>(last.get()));
    EXPECT_EQ(ctrl->get_schedule(3), 0u);
    EXPECT_TRUE(ctrl->is_animating());
    ctrl.reset();  // stops the animating thread
}

TEST_F(controls_status, pictures_from_xpm_insert_and_icons_highlight_and_grey) {
    static const char* const xpm[] = {"2 3 2 1", "a c #00FF00", "b c #0000FF", "ab", "ba", "ab"};
    static const char* const broken[] = {"9 9 1 1", "a c #000000", "a"};
    EXPECT_EQ(kiv::status_item::xpm2image(nullptr), nullptr);
    EXPECT_EQ(kiv::status_item::xpm2image(broken), nullptr);

    auto_ptr_t<kiv::status_item> status = make_status({rgba(255, 0, 0), rgba(0, 0, 255), rgba(0, 0, 0)},
                                                      {0, 0, 0}, {0, 0, 0});
    status->add_image(xpm, 2, 5, 70);
    status->add_image(broken, 1, 0, 0);  // unreadable: nothing added
    auto_ptr_t<kiv::i_object_col> pictures(status->get_images());
    ASSERT_EQ(pictures->get_count(), 4u);
    auto_ptr_t<kiv::i_object> third(pictures->get_item_by_pos(2));
    kiv::i_status_image* inserted = kiv_cast_i_status_image(third);
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(inserted->get_next(), 5u);
    EXPECT_EQ(inserted->get_period(), 70u);
    auto_ptr_t<kiv::i_image> image(inserted->get_image());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->get_width(), 2u);
    EXPECT_EQ(image->get_height(), 3u);

    unsigned nexts[4] = {0, 3, 0, 0}, periods[4] = {0, 250, 0, 0};
    status->set_image_action(1, 1, nexts, periods);
    auto_ptr_t<kiv::i_object> second(pictures->get_item_by_pos(1));
    EXPECT_EQ(kiv_cast_i_status_image(second)->get_period(), 250u);
    EXPECT_EQ(kiv_cast_i_status_image(second)->get_next(), 3u);

    ASSERT_TRUE(status->create_ctrl(frame));
    auto* button = dynamic_cast<wxBitmapButton*>(status->get_ctrl());
    ASSERT_NE(button, nullptr);
    const wxBitmap normal = button->GetBitmapLabel();
    ASSERT_EQ(normal.GetWidth(), 18);  // 16 and a transparent pixel each side
    EXPECT_EQ(pixel(normal, 8, 8), wxColour(255, 0, 0));
    EXPECT_TRUE(normal.ConvertToImage().IsTransparent(0, 5));

    const wxBitmap hover = button->GetBitmapCurrent();
    EXPECT_EQ(pixel(hover, 5, 0), wxColour(100, 100, 255));
    EXPECT_EQ(pixel(hover, 5, 17), wxColour(49, 106, 197));
    EXPECT_EQ(pixel(hover, 0, 5), wxColour(100, 100, 255));
    EXPECT_EQ(pixel(hover, 17, 5), wxColour(49, 106, 197));
    EXPECT_EQ(pixel(hover, 0, 0), wxColour(193, 210, 238));  // a corner gets the fill
    EXPECT_EQ(pixel(hover, 8, 8), wxColour(255, 0, 0));

    const wxColour grey = pixel(button->GetBitmapDisabled(), 8, 8);
    EXPECT_EQ(grey.Red(), grey.Green());
    EXPECT_NEAR(grey.Red(), 76, 1);  // 0.299 * 255

    status->set_image(1);
    EXPECT_EQ(status->get_image(), 1u);
    EXPECT_EQ(pixel(button->GetBitmapLabel(), 8, 8), wxColour(0, 0, 255));
    status->set_image(9);  // no such picture
    EXPECT_EQ(status->get_image(), 1u);
}

TEST_F(controls_status, tooltip_is_bounded_and_double_click_runs_the_action) {
    auto_ptr_t<kiv::status_item> status = make_status({rgba(5, 5, 5)}, {0}, {0});
    status->set_tooltip(std::string(20000, 'a').c_str());
    EXPECT_EQ(status->get_tooltip().size(), 10239u);
    std::string wide;
    for (int i = 0; i < 6000; i++)
        wide += "\xC3\xA9";  // two bytes each: the cut never splits one
    status->set_tooltip(wide.c_str());
    EXPECT_EQ(status->get_tooltip().size(), 10238u);
    status->set_tooltip("ready");
    ASSERT_TRUE(status->create_ctrl(frame));
    ASSERT_NE(status->get_ctrl()->GetToolTip(), nullptr);
    EXPECT_EQ(status->get_ctrl()->GetToolTipText(), "ready");

    struct target : wxWindow {
        explicit target(wxWindow* parent) : wxWindow(parent, wxID_ANY) {}
        void on_open(wxEvent& event) {
            calls++;
            type = event.GetEventType();
        }
        int calls = 0;
        wxEventType type = wxEVT_NULL;
    };
    auto* sink = new target(frame);
    wxMouseEvent dclick(wxEVT_LEFT_DCLICK);
    status->get_ctrl()->GetEventHandler()->ProcessEvent(dclick);  // no action yet
    status->on_activate(sink, static_cast<kiv::status_action>(&target::on_open), nullptr);
    status->get_ctrl()->GetEventHandler()->ProcessEvent(dclick);
    EXPECT_EQ(sink->calls, 1);
    EXPECT_EQ(sink->type, wxEVT_LEFT_DCLICK);
    wxCommandEvent own(wxEVT_MENU, 77);
    status->on_activate(sink, static_cast<kiv::status_action>(&target::on_open), &own);
    status->get_ctrl()->GetEventHandler()->ProcessEvent(dclick);
    EXPECT_EQ(sink->calls, 2);
    EXPECT_EQ(sink->type, wxEVT_MENU);

    status->disable();
    EXPECT_FALSE(status->get_ctrl()->IsEnabled());
    status->enable(true);
    EXPECT_TRUE(status->get_ctrl()->IsEnabled());
}

// Hears the status events by name, as any component installs a GUI
// handler.
class status_listener : public wxEvtHandler {
public:
    status_listener() {
        for (const char* name : names)
            kiv_install_gui_handler(0, name, kiv_gui_event_handler(status_listener::on_event), this);
    }
    ~status_listener() override {
        for (const char* name : names)
            kiv_uninstall_gui_handler(0, name, kiv_gui_event_handler(status_listener::on_event), this);
    }
    void on_event(kiv::i_gui_event& event) {
        event.Skip();
        // A plain wxCommandEvent in disguise would be no gui_event here.
        auto* real = dynamic_cast<kiv::gui_event*>(static_cast<wxEvent*>(&event));
        heard.push_back(real != nullptr ? real->get_event_type() : 0u);
    }
    static constexpr const char* names[] = {"STATUS_EVT_CHANGE", "STATUS_EVT_BEGIN_THREAD"};
    std::vector<unsigned> heard;  // the core type of each event; 0: not a gui_event
};

unsigned type_of(const char* name) {
    kiv::gui_event event(name, 0, nullptr);
    return event.get_event_type();
}

TEST_F(controls_status, status_events_reach_handlers_installed_by_name_as_gui_events) {
    auto_ptr_t<kiv::status_item> status = make_status({rgba(9, 9, 9)}, {0}, {0});
    statuses->add_item(status.get());
    make_ctrl();
    wait_idle();
    status_listener listener;
    const unsigned change = type_of("STATUS_EVT_CHANGE"), begin = type_of("STATUS_EVT_BEGIN_THREAD");
    ASSERT_NE(change, 0u);
    ASSERT_NE(begin, 0u);
    struct step {
        const char* what;
        std::function<void()> act;
        std::vector<unsigned> heard;
    } steps[] = {
        {"hide", [&] { status->hide(); }, {change}},
        {"show", [&] { status->show(true); }, {change, begin}},
        {"enable", [&] { status->enable(true); }, {begin}},
    };
    for (const step& s : steps) {
        listener.heard.clear();
        s.act();
        pump_until([&] { return listener.heard.size() >= s.heard.size(); });
        kiv_gui_test::pump();
        EXPECT_EQ(listener.heard, s.heard) << s.what;
    }
}
