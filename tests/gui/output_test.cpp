// output_test.cpp --
//
//     The output window and its service: the style word, pages found and
//     created by name, the permanent first page, the welcome message, the
//     log-message event from another thread, and child processes whose
//     lines stream into a page in order and colour, also when the
//     process outlives the service.

#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/output_panel.h>
#include <kiv/gui/output_service.h>
#include <kiv/gui/redirect_process.h>
#include <kiv/gui/tab_control.h>

#include "gui_harness.h"
#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <thread>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

struct seen_style {
    wxColour colour;
    bool bold, italic, underlined;
};

// The style of the text at the start of line `line` of the page.
seen_style style_of_line(wxTextCtrl* text, int line) {
    wxTextAttr attr;
    long position = text->XYToPosition(0, line);
    EXPECT_TRUE(text->GetStyle(position, attr)) << line;
    const wxFont font = attr.GetFont();
    return {attr.GetTextColour(), font.IsOk() && font.GetWeight() == wxFONTWEIGHT_BOLD,
            font.IsOk() && font.GetStyle() == wxFONTSTYLE_ITALIC, font.IsOk() && font.GetUnderlined()};
}

class output : public ::testing::Test {
protected:
    void SetUp() override {
        frame = session.open_frame();
        service.reset(new output_service(frame, "Log", output_service::pack_style(0, 0, 255, true, false, false),
                                         "Welcome"));
        service->addref();
        panel = static_cast<gui_output_panel*>(service->get_output_wnd());
        ASSERT_NE(panel, nullptr);
        panel->SetSize(frame->GetClientSize());
        pump();
    }
    wxTextCtrl* page(int index) { return panel->get_text_ctrl(index); }
    wxString line(int page_index, int line_index) { return page(page_index)->GetLineText(line_index); }

    gui_session session;
    wxFrame* frame = nullptr;
    auto_ptr_t<output_service> service;
    gui_output_panel* panel = nullptr;
};

TEST(output_style, the_word_packs_colour_bold_and_italic_but_no_underline) {
    EXPECT_EQ(output_service::pack_style(0, 128, 255, true, false, true), 0x01FF8000u);
    EXPECT_EQ(output_service::pack_style(1, 2, 3, false, true, false), 0x02030201u);
    auto_ptr_t<output_service> no_window(new output_service(nullptr, "Log", 0, "Welcome"));
    no_window->addref();
    EXPECT_EQ(no_window->get_output_wnd(), nullptr);
    EXPECT_EQ(no_window->find_or_create_output_page("x", true), -1);
    EXPECT_EQ(no_window->get_page_number_of_lines(0), -1);
}

TEST_F(output, the_service_registers_itself_and_the_first_page_has_the_welcome_message) {
    auto_ptr_t<i_object> registered(kiv_core()->get_service("svc_gui_output"));
    EXPECT_EQ(kiv_cast_i_output_service(registered), static_cast<i_output_service*>(service.get()));
    EXPECT_EQ(service->get_output_page_name(0), "Log");
    EXPECT_EQ(line(0, 0), "Welcome");
    seen_style welcome = style_of_line(page(0), 0);
    EXPECT_EQ(welcome.colour, wxColour(0, 0, 255));
    EXPECT_TRUE(welcome.bold);
    kiv_core()->unregister_service("svc_gui_output");
}

TEST_F(output, a_style_word_unpacks_to_the_same_colour_and_font) {
    service->set_style(0, 0x01FF8000u);
    service->add_text_line(0, "styled");
    seen_style seen = style_of_line(page(0), 1);
    EXPECT_EQ(seen.colour, wxColour(0, 128, 255));
    EXPECT_TRUE(seen.bold);
    EXPECT_FALSE(seen.italic);
    EXPECT_FALSE(seen.underlined);
    service->add_text_line_styled(0, "plain", 0, 0, 0, false, true, true);
    seen = style_of_line(page(0), 2);
    EXPECT_EQ(seen.colour, *wxBLACK);
    EXPECT_FALSE(seen.bold);
    EXPECT_TRUE(seen.italic);
    EXPECT_TRUE(seen.underlined);
    kiv_core()->unregister_service("svc_gui_output");
}

TEST_F(output, pages_by_name_the_permanent_first_page_and_the_close_button) {
    wxButton* close = panel->get_close_button();
    EXPECT_EQ(service->find_or_create_output_page("", true), -1);
    EXPECT_EQ(service->find_or_create_output_page("Build", false), 1);
    EXPECT_EQ(panel->get_tabs()->get_active_tab(), 0);
    EXPECT_FALSE(close->IsEnabled());
    // An existing page is activated even without `select`.
    EXPECT_EQ(service->find_or_create_output_page("Build", false), 1);
    EXPECT_EQ(panel->get_tabs()->get_active_tab(), 1);
    EXPECT_EQ(service->find_or_create_output_page("Search", true), 2);
    EXPECT_TRUE(close->IsEnabled());
    EXPECT_EQ(service->get_output_page_index("Search"), 2);
    EXPECT_EQ(service->get_output_page_index("search"), -1);

    EXPECT_FALSE(service->close_page(0));
    EXPECT_FALSE(service->close_page(3));
    EXPECT_EQ(service->get_output_page_name(0), "Log");

    // The Close button closes the active page; the first page becomes
    // active and Close is disabled again.
    wxCommandEvent click(wxEVT_BUTTON, close->GetId());
    click.SetEventObject(close);
    close->GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(service->get_output_page_index("Search"), -1);
    EXPECT_EQ(panel->get_tabs()->get_active_tab(), 0);
    EXPECT_FALSE(close->IsEnabled());
    EXPECT_TRUE(service->close_page(1));
    EXPECT_EQ(panel->get_page_count(), 1);
    EXPECT_EQ(service->get_page_number_of_lines(1), -1);
    kiv_core()->unregister_service("svc_gui_output");
}

TEST_F(output, clearing_with_the_first_page_active_writes_the_welcome_message_again) {
    service->add_text_line(0, "something");
    service->clear_page(0);
    EXPECT_EQ(line(0, 0), "Welcome");
    EXPECT_EQ(line(0, 1), "");
    int other = service->find_or_create_output_page("Other", true);
    service->add_text_line(other, "x");
    service->clear_page(other);
    EXPECT_EQ(page(other)->GetValue(), "");
    kiv_core()->unregister_service("svc_gui_output");
}

TEST_F(output, log_messages_from_another_thread_reach_the_first_page_in_their_style) {
    struct row {
        const char* text;
        const char* value;
        wxColour colour;
        bool bold;
    } rows[] = {
        {"red bold", "16777471", wxColour(255, 0, 0), true},  // 0x010000FF
        {"abc is black", "abc", *wxBLACK, false},
        {"", "255", *wxBLACK, false},  // no text: ignored
    };
    std::thread sender([&rows] {
        for (const row& r : rows) {
            auto_ptr_t<named_string> message(new named_string);
            message->addref();
            message->set_name(r.text);
            message->set_value(r.value);
            gui_event event("KIV_GUI_EVT_LOG_MESSAGE", 0, message.get());
            kiv_fire_gui_event(&event, false);
        }
    });
    sender.join();
    pump_until([&] { return service->get_page_number_of_lines(0) >= 4; });
    pump();
    EXPECT_EQ(line(0, 1), "red bold");
    EXPECT_EQ(line(0, 2), "abc is black");
    EXPECT_EQ(line(0, 3), "");
    for (int i = 0; i < 2; ++i) {
        seen_style seen = style_of_line(page(0), i + 1);
        EXPECT_EQ(seen.colour, rows[i].colour) << rows[i].text;
        EXPECT_EQ(seen.bold, rows[i].bold) << rows[i].text;
    }
    kiv_core()->unregister_service("svc_gui_output");
}

TEST_F(output, a_child_process_streams_its_lines_in_order_and_colour) {
    EXPECT_FALSE(service->set_process(0, nullptr));
    wxProcess plain;
    EXPECT_FALSE(service->set_process(0, &plain));  // not a redirect_process
    const int build = service->find_or_create_output_page("Build", true);
    // Within one read stdout goes first: a line on stdout written before
    // one on stderr is never shown after it.
    // The child waits for its input to close, which happens only once the
    // page has it: a child that ended inside wxExecute would have taken
    // its process object with it before set_process saw it.
    auto run = [&](const char* script) {
        auto* process = new redirect_process;
        const std::string held = std::string("read _; ") + script;
        const char* argv[] = {"sh", "-c", held.c_str(), nullptr};
        EXPECT_GT(wxExecute(argv, wxEXEC_ASYNC, process), 0);
        EXPECT_TRUE(service->set_process(build, process));
        process->CloseOutput();
    };
    auto* stray = new redirect_process;
    EXPECT_FALSE(service->set_process(7, stray));  // no such page
    delete stray;
    run("echo a; echo b >&2");
    pump_until([&] { return page(build)->GetNumberOfLines() >= 3; });
    pump();
    EXPECT_EQ(page(build)->GetValue(), "a\nb\n");
    seen_style out = style_of_line(page(build), 0);
    seen_style err = style_of_line(page(build), 1);
    EXPECT_EQ(out.colour, *wxBLACK);
    EXPECT_FALSE(out.bold);
    EXPECT_EQ(err.colour, wxColour(255, 0, 0));
    EXPECT_TRUE(err.bold);

    // Empty lines and lone tabs never reach the page; an unterminated
    // last line does.
    service->clear_page(build);
    run("printf 'x\\n\\n\\t\\r\\n\\ty\\nlast'");
    pump_until([&] { return page(build)->GetValue().Contains("last"); });
    pump();
    EXPECT_EQ(page(build)->GetValue(), "x\n\ty\nlast\n");
    kiv_core()->unregister_service("svc_gui_output");
}

// Tells when it has deleted itself.
class watched_process : public redirect_process {
public:
    explicit watched_process(bool* gone) : gone_(gone) {}
    ~watched_process() override { *gone_ = true; }

private:
    bool* gone_;
};

TEST_F(output, a_process_that_outlives_its_service_does_not_crash) {
    const int build = service->find_or_create_output_page("Build", true);
    bool gone = false;
    auto* process = new watched_process(&gone);
    // The child waits until its input closes; the service goes first.
    ASSERT_GT(wxExecute("sh -c 'read x; echo late; echo late >&2'", wxEXEC_ASYNC, process), 0);
    ASSERT_TRUE(service->set_process(build, process));
    EXPECT_TRUE(process->is_listening());
    kiv_core()->unregister_service("svc_gui_output");
    session.close_frame();  // the panel goes and drops its reference
    service.reset();        // the last reference: the service is gone
    // No thread of the library is left running for a process that may
    // outlive it.
    EXPECT_FALSE(process->is_listening());
    process->GetOutputStream()->Write("go\n", 3);
    process->CloseOutput();
    // The process ends, reads its rest and deletes itself; its lines go
    // nowhere.
    pump_until([&gone] { return gone; });
    pump();
}

}  // namespace
