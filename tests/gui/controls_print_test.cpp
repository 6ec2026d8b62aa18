// controls_print_test.cpp --
//
//     The print service: the page preparation (scale and printable
//     rectangle) on memory contexts with chosen resolutions, the printer
//     settings in a temporary configuration file, the page setup dialog
//     and a print preview without a printer.

#include "../core/test_util.h"
#include "gui_harness.h"
#include "gui_session.h"

#include <gtest/gtest.h>

#include <kiv/gui/print_service.h>

#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/radiobut.h>
#include <wx/spinctrl.h>

#include <cmath>
#include <memory>

using kiv_gui_test::pump_until;

namespace {

// A document of `pages` pages that records what the service told it.
class fake_printout : public kiv::object, public virtual kiv::i_printout {
public:
    explicit fake_printout(int pages = 1) : pages_(pages) {}
    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_printout", static_cast<kiv::i_printout*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    wxString get_title() override { return "Test document"; }
    void get_page_info(wxDC*, int* min_page, int* max_page, int* from, int* to) override {
        *min_page = *from = 1;
        *max_page = *to = pages_;
    }
    bool has_page(int page) override { return page >= 1 && page <= pages_; }
    void set_print_rect(float left, float top, float right, float bottom) override {
        rect[0] = left;
        rect[1] = top;
        rect[2] = right;
        rect[3] = bottom;
    }
    bool print_page(wxDC* dc, int) override {
        dc->GetUserScale(&scale_seen, &scale_seen);
        printed++;
        return true;
    }

    float rect[4] = {0, 0, 0, 0};
    double scale_seen = 0;
    int printed = 0;

private:
    int pages_;
};

// Points wxWidgets' configuration at a private file for one test.
class temp_config {
public:
    temp_config() : path(dir.file("settings.ini")) { install(); }
    ~temp_config() { delete wxConfigBase::Set(nullptr); }
    void install() {
        delete wxConfigBase::Set(new wxFileConfig("controls_test", wxEmptyString,
                                                  wxString::FromUTF8(path.c_str()), wxEmptyString,
                                                  wxCONFIG_USE_LOCAL_FILE));
    }
    // Every "printer/..." entry of the file as read back by a new reader.
    std::map<std::string, long> printer_keys() {
        std::map<std::string, long> out;
        wxFileConfig reader("controls_test", wxEmptyString, wxString::FromUTF8(path.c_str()),
                            wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
        reader.SetPath("/printer");
        wxString key;
        long cookie = 0;
        for (bool more = reader.GetFirstEntry(key, cookie); more; more = reader.GetNextEntry(key, cookie))
            out[std::string(key.utf8_str())] = reader.ReadLong(key, -999);
        return out;
    }

    kiv_test::temp_dir dir;
    std::string path;
};

// The first top-level window named `name` that is not being deleted, or null.
wxWindow* find_top_level(const wxString& name) {
    for (wxWindow* window : wxTopLevelWindows)
        if (window->GetName() == name && !window->IsBeingDeleted())
            return window;
    return nullptr;
}

auto_ptr_t<kiv::print_service> make_service() {
    auto_ptr_t<kiv::print_service> service(new kiv::print_service);
    service->addref();
    return service;
}

}  // namespace

TEST(controls_print, page_preparation_scales_in_screen_pixels_and_places_the_margins) {
    struct row {
        int screen_ppi, printer_ppi, page_w, page_h, dc_w;
        float margins[4];
        double scale;
        float rect[4];
    };
    const row rows[] = {
        // Printing at 600 ppi on A4: one logical unit is one screen pixel.
        {96, 600, 4961, 7016, 4961, {20, 10, 10, 10}, 6.25, {75.59f, 37.80f, 755.91f, 1084.72f}},
        // A 555-pixel preview of a 1200-ppi page: a scale well below 1, not 0.
        {96, 1200, 9917, 14033, 555, {20, 10, 10, 10}, 0.6996, {75.59f, 37.80f, 755.91f, 1084.72f}},
        // The printout's own margins 20, 20, 10, 10 on a 300-ppi page.
        {96, 300, 2480, 3508, 2480, {20, 20, 10, 10}, 3.125, {75.59f, 75.59f, 755.91f, 1084.72f}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.dc_w);
        auto_ptr_t<fake_printout> doc(new fake_printout);
        doc->addref();
        wxBitmap canvas(r.dc_w, 4);
        wxMemoryDC dc(canvas);
        kiv::printout_base printout(doc.get());
        printout.set_margins(r.margins[0], r.margins[1], r.margins[2], r.margins[3]);
        printout.SetDC(&dc);
        printout.SetPPIScreen(r.screen_ppi, r.screen_ppi);
        printout.SetPPIPrinter(r.printer_ppi, r.printer_ppi);
        printout.SetPageSizePixels(r.page_w, r.page_h);
        printout.SetPageSizeMM(210, 297);
        ASSERT_TRUE(printout.prepare_page());
        double sx = 0, sy = 0;
        dc.GetUserScale(&sx, &sy);
        EXPECT_NEAR(sx, r.scale, 0.00005);
        EXPECT_NEAR(sy, r.scale, 0.00005);
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(doc->rect[i], r.rect[i], 0.006) << "side " << i;
    }
}

TEST(controls_print, printout_without_context_or_document_does_nothing) {
    auto_ptr_t<fake_printout> doc(new fake_printout(3));
    doc->addref();
    kiv::printout_base no_dc(doc.get());
    int a = 7, b = 7, c = 7, d = 7;
    no_dc.GetPageInfo(&a, &b, &c, &d);
    EXPECT_EQ(a + b + c + d, 0);
    EXPECT_FALSE(no_dc.OnPrintPage(1));
    EXPECT_FALSE(no_dc.prepare_page());
    EXPECT_TRUE(no_dc.HasPage(3));
    EXPECT_FALSE(no_dc.HasPage(4));

    kiv::printout_base no_doc(nullptr);
    wxBitmap canvas(10, 10);
    wxMemoryDC dc(canvas);
    no_doc.SetDC(&dc);
    EXPECT_FALSE(no_doc.HasPage(1));
    EXPECT_FALSE(no_doc.OnPrintPage(1));

    // With a context the page range comes from the document.
    no_dc.SetDC(&dc);
    no_dc.SetPPIScreen(96, 96);
    no_dc.SetPPIPrinter(96, 96);
    no_dc.SetPageSizePixels(10, 10);
    no_dc.SetPageSizeMM(210, 297);
    no_dc.GetPageInfo(&a, &b, &c, &d);
    EXPECT_EQ(b, 3);
    EXPECT_TRUE(no_dc.OnPrintPage(1));
    EXPECT_EQ(doc->printed, 1);
}

TEST(controls_print, first_save_writes_the_eight_defaults) {
    temp_config config;
    auto_ptr_t<kiv::print_service> service = make_service();
    wxPrintData* data = service->get_print_data();
    EXPECT_EQ(data->GetOrientation(), wxPORTRAIT);
    EXPECT_EQ(data->GetPaperId(), wxPAPER_A4);
    EXPECT_EQ(data->GetBin(), wxPRINTBIN_AUTO);
    EXPECT_EQ(data->GetQuality(), wxPRINT_QUALITY_MEDIUM);
    EXPECT_TRUE(data->GetColour());
    EXPECT_TRUE(config.printer_keys().empty());

    service->save_settings();
    const std::map<std::string, long> expected = {
        {"orientation", 1}, {"paper", 3},  {"margin_left", 20}, {"margin_top", 10},
        {"margin_right", 10}, {"margin_bottom", 10}, {"bin", 7}, {"quality", -2}};
    EXPECT_EQ(config.printer_keys(), expected);
}

TEST(controls_print, settings_survive_a_new_service_and_margins_truncate) {
    temp_config config;
    {
        auto_ptr_t<kiv::print_service> service = make_service();
        service->set_margins(12.9, 0.5, -1.7, 10);
        service->set_orientation(true);
        service->set_paper(wxPAPER_A5);
        int m[4];
        service->get_margins(&m[0], &m[1], &m[2], &m[3]);
        EXPECT_EQ(std::vector<int>(m, m + 4), (std::vector<int>{12, 0, -1, 10}));
        service->save_settings();
    }
    config.install();  // a fresh reader of the same file
    auto_ptr_t<kiv::print_service> again = make_service();
    int m[4];
    again->get_margins(&m[0], &m[1], &m[2], &m[3]);
    EXPECT_EQ(std::vector<int>(m, m + 4), (std::vector<int>{12, 0, -1, 10}));
    EXPECT_EQ(again->get_print_data()->GetOrientation(), wxLANDSCAPE);
    EXPECT_EQ(again->get_print_data()->GetPaperId(), wxPAPER_A5);
}

TEST(controls_print, settings_no_printer_can_take_fall_back_to_defaults) {
    temp_config config;
    wxConfigBase* file = wxConfigBase::Get();
    file->Write("printer/orientation", 9L);
    file->Write("printer/paper", 99999L);
    file->Write("printer/margin_left", 1000000000000L);
    file->Write("printer/margin_top", "many");
    file->Write("printer/margin_bottom", -5000L);
    file->Write("printer/bin", -5L);
    file->Write("printer/quality", -77L);
    auto_ptr_t<kiv::print_service> service = make_service();
    wxPrintData* data = service->get_print_data();
    EXPECT_EQ(data->GetOrientation(), wxPORTRAIT);
    EXPECT_EQ(data->GetPaperId(), wxPAPER_A4);
    EXPECT_EQ(data->GetBin(), wxPRINTBIN_AUTO);
    EXPECT_EQ(data->GetQuality(), wxPRINT_QUALITY_MEDIUM);
    int m[4];
    service->get_margins(&m[0], &m[1], &m[2], &m[3]);
    EXPECT_EQ(std::vector<int>(m, m + 4), (std::vector<int>{1000, 10, 10, -1000}));
}

TEST(controls_print, accepted_page_setup_saves_margins_and_resets_the_source) {
    temp_config config;
    wxConfigBase::Get()->Write("printer/bin", 3L);
    auto_ptr_t<kiv::print_service> service = make_service();
    ASSERT_EQ(service->get_print_data()->GetBin(), 3);

    bool seen = false;
    // The dialog's own OK handler stores paper, source and orientation:
    // OK is pressed as the user would, and the harness's EndModal after
    // it finds the dialog already ended.
    kiv_gui_test::answer_next_dialog(wxID_OK, [&seen](wxDialog& dialog) {
        ASSERT_EQ(dialog.GetName(), "page_setup_dlg");
        seen = true;
        auto* left = dynamic_cast<wxSpinCtrl*>(wxWindow::FindWindowByName("margin_left", &dialog));
        auto* landscape = dynamic_cast<wxRadioButton*>(wxWindow::FindWindowByName("landscape", &dialog));
        ASSERT_NE(left, nullptr);
        ASSERT_NE(landscape, nullptr);
        EXPECT_EQ(left->GetValue(), 20);
        left->SetValue(15);
        landscape->SetValue(true);
        auto* ok = wxDynamicCast(dialog.FindWindow(wxID_OK), wxButton);
        ASSERT_NE(ok, nullptr);
        wxCommandEvent click(wxEVT_BUTTON, wxID_OK);
        click.SetEventObject(ok);
        ok->GetEventHandler()->ProcessEvent(click);
    });
    EXPECT_TRUE(service->settings(nullptr));
    EXPECT_TRUE(seen);
    EXPECT_EQ(service->get_print_data()->GetBin(), wxPRINTBIN_AUTO);
    EXPECT_EQ(service->get_print_data()->GetOrientation(), wxLANDSCAPE);
    std::map<std::string, long> saved = config.printer_keys();
    EXPECT_EQ(saved["margin_left"], 15);
    EXPECT_EQ(saved["bin"], 7);
    EXPECT_EQ(saved["orientation"], 2);
}

TEST(controls_print, cancelled_page_setup_changes_and_saves_nothing) {
    temp_config config;
    auto_ptr_t<kiv::print_service> service = make_service();
    kiv_gui_test::answer_next_dialog(wxID_CANCEL, [](wxDialog& dialog) {
        auto* left = dynamic_cast<wxSpinCtrl*>(wxWindow::FindWindowByName("margin_left", &dialog));
        ASSERT_NE(left, nullptr);
        left->SetValue(33);
    });
    EXPECT_FALSE(service->settings(nullptr));
    int m[4];
    service->get_margins(&m[0], &m[1], &m[2], &m[3]);
    EXPECT_EQ(m[0], 20);
    EXPECT_TRUE(config.printer_keys().empty());
}

TEST(controls_print, preview_draws_pages_without_a_printer) {
    temp_config config;
    auto_ptr_t<kiv::print_service> service = make_service();
    auto_ptr_t<fake_printout> doc(new fake_printout(2));
    doc->addref();
    auto* owner = new wxFrame(nullptr, wxID_ANY, "owner", wxDefaultPosition, wxDefaultSize,
                              wxDEFAULT_FRAME_STYLE, "owner");

    service->print(owner, nullptr, true);  // a null document opens nothing
    EXPECT_EQ(find_top_level("frame"), nullptr);

    service->print(owner, doc.get(), true);
    wxWindow* preview = find_top_level("frame");
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->GetLabel(), "Test document");
    EXPECT_NE(wxWindow::FindWindowByName("panel", preview), nullptr);
    pump_until([&]() { return doc->printed > 0; });
    EXPECT_GT(doc->scale_seen, 0.0);  // an integer scale would draw a blank page
    EXPECT_GT(doc->rect[2], doc->rect[0]);

    preview->Close(true);  // closing ends the preview's modality too
    owner->Destroy();
    pump_until([]() { return find_top_level("frame") == nullptr; });
    EXPECT_EQ(doc->get_ref_count(), 1);  // both printouts gave their reference back
}

TEST(controls_print, settings_command_is_enabled_while_the_service_lives) {
    const int id = 6543;
    {
        auto_ptr_t<kiv::print_service> service = make_service();
        service->bind_settings_cmd(id);
        wxUpdateUIEvent update(id);
        wxTheApp->ProcessEvent(update);
        EXPECT_TRUE(update.GetSetEnabled());
        EXPECT_TRUE(update.GetEnabled());
    }
    wxUpdateUIEvent later(id);
    wxTheApp->ProcessEvent(later);
    EXPECT_FALSE(later.GetSetEnabled());
}

// The page setup command by name, as a menu binds it: enabled and opening
// the dialog while the service lives, untouched without the GUI event
// service.
TEST(controls_print, a_named_command_opens_the_page_setup_dialog_from_the_menu) {
    temp_config config;
    kiv_gui_test::gui_session session;
    wxFrame* frame = session.open_frame({"&File"});
    const int id = session.event_service->get_cmd_id("CMD_PAGE_SETUP");
    session.menu("&File")->Append(id, "Page setup...");
    {
        auto_ptr_t<kiv::print_service> service = make_service();
        service->set_event_cmd("");  // no name: nothing bound
        EXPECT_FALSE(kiv_gui_test::menu_item_state(frame, id).enabled);
        service->set_event_cmd("CMD_PAGE_SETUP");
        EXPECT_TRUE(kiv_gui_test::menu_item_state(frame, id).enabled);
        kiv_gui_test::answer_next_dialog(wxID_CANCEL);
        ASSERT_TRUE(kiv_gui_test::choose_menu_item(frame, id));
        ASSERT_EQ(kiv_gui_test::dialogs_seen().size(), 1u);
        EXPECT_EQ(kiv_gui_test::dialogs_seen()[0].title, "Page setup");
    }
    // The binding went with the service: the update range disables it.
    EXPECT_FALSE(kiv_gui_test::menu_item_state(frame, id).enabled);

    session.drop_event_service();
    auto_ptr_t<kiv::print_service> orphan = make_service();
    orphan->set_event_cmd("CMD_PAGE_SETUP");
    wxUpdateUIEvent update(id);
    wxTheApp->ProcessEvent(update);
    EXPECT_FALSE(update.GetSetEnabled());
}
