// print_service.cpp --
//
//     The print service: printer settings kept in a wxPrintData and saved
//     under the "printer/..." keys of the application's configuration,
//     the page setup dialog, print and preview. The preview window is
//     the service's own frame, sized and laid out once here.

#include <kiv/gui/print_service.h>

#include "page_setup_dlg.h"

#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/core/log.h>

#include <algorithm>
#include <climits>

#include <wx/app.h>
#include <wx/paper.h>
#include <wx/config.h>
#include <wx/print.h>

namespace kiv {

namespace {

// The preview window: a fixed first size, a control bar with the print
// button only when the preview can print.
class preview_frame : public wxPreviewFrame {
public:
    preview_frame(wxPrintPreviewBase* preview, wxWindow* parent, const wxString& title)
        : wxPreviewFrame(preview, parent, title, wxDefaultPosition, wxSize(1000, 700),
                         wxCAPTION | wxSYSTEM_MENU | wxRESIZE_BORDER | wxMINIMIZE_BOX |
                             wxMAXIMIZE_BOX | wxCLIP_CHILDREN,
                         "frame") {}

    void CreateControlBar() override {
        long buttons = wxPREVIEW_PREVIOUS | wxPREVIEW_NEXT | wxPREVIEW_ZOOM;
        if (m_printPreview->GetPrintoutForPrinting() != nullptr)
            buttons |= wxPREVIEW_PRINT;
        m_controlBar = new wxPreviewControlBar(m_printPreview, buttons, this, wxPoint(0, 0),
                                               wxSize(400, 40), wxTAB_TRAVERSAL, "panel");
        m_controlBar->CreateButtons();
    }
};

struct setting {
    const char* key;
    long fallback;
};
// The eight keys in the order they are written.
const setting keys[8] = {
    {"printer/orientation", wxPORTRAIT}, {"printer/paper", wxPAPER_A4},
    {"printer/margin_left", 20},         {"printer/margin_top", 10},
    {"printer/margin_right", 10},        {"printer/margin_bottom", 10},
    {"printer/bin", wxPRINTBIN_AUTO},    {"printer/quality", wxPRINT_QUALITY_MEDIUM},
};

// Margins read from the configuration are kept within a metre.
const long max_margin = 1000;

}  // namespace

print_service::print_service() : print_data_(new wxPrintData) {
    set_name("Print service");
    long values[8];
    wxConfigBase* config = wxConfigBase::Get(true);
    for (int i = 0; i < 8; i++) {
        values[i] = keys[i].fallback;
        if (config != nullptr)
            config->Read(keys[i].key, &values[i], keys[i].fallback);
    }
    // The file is outside data: values no printer setting can take fall
    // back to their defaults.
    print_data_->SetOrientation(values[0] == wxLANDSCAPE ? wxLANDSCAPE : wxPORTRAIT);
    const bool known_paper = values[1] > wxPAPER_NONE && values[1] <= INT_MAX &&
                             wxThePrintPaperDatabase != nullptr &&
                             wxThePrintPaperDatabase->FindPaperType(static_cast<wxPaperSize>(values[1])) != nullptr;
    print_data_->SetPaperId(known_paper ? static_cast<wxPaperSize>(values[1]) : wxPAPER_A4);
    int* margins[4] = {&margin_left_, &margin_top_, &margin_right_, &margin_bottom_};
    for (int i = 0; i < 4; i++)
        *margins[i] = static_cast<int>(std::max(-max_margin, std::min(max_margin, values[2 + i])));
    print_data_->SetBin(values[6] >= wxPRINTBIN_DEFAULT && values[6] <= wxPRINTBIN_USER
                            ? static_cast<wxPrintBin>(values[6])
                            : wxPRINTBIN_AUTO);
    // Negative: one of the four named qualities; positive: dots per inch.
    const bool known_quality = (values[7] >= wxPRINT_QUALITY_DRAFT && values[7] <= wxPRINT_QUALITY_HIGH) ||
                               (values[7] > 0 && values[7] <= 100000);
    print_data_->SetQuality(known_quality ? static_cast<wxPrintQuality>(values[7]) : wxPRINT_QUALITY_MEDIUM);
    print_data_->SetColour(true);
}

print_service::~print_service() {
    if (settings_cmd_ != wxID_NONE && wxTheApp != nullptr) {
        wxTheApp->Unbind(wxEVT_MENU, &print_service::on_settings_cmd, this, settings_cmd_);
        wxTheApp->Unbind(wxEVT_UPDATE_UI, &print_service::on_settings_update, this, settings_cmd_);
    }
    delete print_data_;
}

bool print_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_print_service", static_cast<i_print_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void print_service::get_margins(int* left, int* top, int* right, int* bottom) const {
    *left = margin_left_;
    *top = margin_top_;
    *right = margin_right_;
    *bottom = margin_bottom_;
}

void print_service::save_settings() {
    wxConfigBase* config = wxConfigBase::Get(true);
    if (config == nullptr) {
        kiv_log(0, "print_service: no configuration object, printer settings not saved");
        return;
    }
    const long values[8] = {print_data_->GetOrientation(), print_data_->GetPaperId(),
                            margin_left_, margin_top_, margin_right_, margin_bottom_,
                            print_data_->GetBin(), print_data_->GetQuality()};
    bool ok = true;
    for (int i = 0; i < 8; i++)
        ok = config->Write(keys[i].key, values[i]) && ok;
    if (!ok || !config->Flush())
        kiv_log(0, "print_service: cannot write the printer settings");
}

void print_service::set_paper(int paper_id) {
    print_data_->SetPaperId(static_cast<wxPaperSize>(paper_id));
}

void print_service::set_orientation(bool landscape) {
    print_data_->SetOrientation(landscape ? wxLANDSCAPE : wxPORTRAIT);
}

void print_service::set_margins(double left, double top, double right, double bottom) {
    margin_left_ = static_cast<int>(left);
    margin_top_ = static_cast<int>(top);
    margin_right_ = static_cast<int>(right);
    margin_bottom_ = static_cast<int>(bottom);
}

bool print_service::settings(wxWindow* parent) {
    const int margins[4] = {margin_left_, margin_top_, margin_right_, margin_bottom_};
    page_setup_dlg dialog(parent, print_data_, margins);
    if (dialog.ShowModal() != wxID_OK)
        return false;
    int chosen[4];
    dialog.get_margins(chosen);
    margin_left_ = chosen[0];
    margin_top_ = chosen[1];
    margin_right_ = chosen[2];
    margin_bottom_ = chosen[3];
    save_settings();
    return true;
}

void print_service::print(wxWindow* parent, i_printout* printout, bool preview) {
    if (printout == nullptr)
        return;
    if (!preview) {
        printout_base page(printout);
        wxPrinter printer;
        if (!printer.Print(parent, &page, true) && wxPrinter::GetLastError() == wxPRINTER_ERROR)
            kiv_log(0, "print_service: printing failed");
        return;
    }
    wxString title = printout->get_title();
    wxPrintDialogData dialog_data(*print_data_);
    auto* shown = new printout_base(printout);
    auto* printed = new printout_base(printout);
    shown->set_margins(margin_left_, margin_top_, margin_right_, margin_bottom_);
    printed->set_margins(margin_left_, margin_top_, margin_right_, margin_bottom_);
    auto* preview_data = new wxPrintPreview(shown, printed, &dialog_data);
    if (!preview_data->IsOk()) {
        kiv_log(0, "print_service: cannot build the print preview");
        delete preview_data;  // deletes both printouts
        return;
    }
    auto* frame = new preview_frame(preview_data, parent, title);
    frame->Centre(wxBOTH);
    frame->Initialize();
    frame->Show(true);
}

void print_service::set_event_cmd(const wxString& command_name) {
    // An empty name would get a fresh id no menu item can carry.
    i_core* core = kiv_core();
    if (core == nullptr || command_name.empty())
        return;
    auto_ptr_t<i_object> event_service(core->get_service("svc_gui_event"));
    i_gui_event_proc* events = kiv_cast_i_gui_event_proc(event_service);
    if (events == nullptr)
        return;
    bind_settings_cmd(events->get_cmd_id(command_name.utf8_str().data()));
}

void print_service::bind_settings_cmd(int cmd_id) {
    if (wxTheApp == nullptr || cmd_id == wxID_NONE)
        return;
    if (settings_cmd_ != wxID_NONE) {
        wxTheApp->Unbind(wxEVT_MENU, &print_service::on_settings_cmd, this, settings_cmd_);
        wxTheApp->Unbind(wxEVT_UPDATE_UI, &print_service::on_settings_update, this, settings_cmd_);
    }
    settings_cmd_ = cmd_id;
    wxTheApp->Bind(wxEVT_MENU, &print_service::on_settings_cmd, this, cmd_id);
    wxTheApp->Bind(wxEVT_UPDATE_UI, &print_service::on_settings_update, this, cmd_id);
}

void print_service::on_settings_cmd(wxCommandEvent&) {
    settings(nullptr);
}

void print_service::on_settings_update(wxUpdateUIEvent& event) {
    event.Enable(true);
}

}  // namespace kiv

extern "C" kiv::i_print_service* kiv_cast_i_print_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_print_service>(obj, "i_print_service");
}

extern "C" kiv::i_printout* kiv_cast_i_printout(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_printout>(obj, "i_printout");
}
