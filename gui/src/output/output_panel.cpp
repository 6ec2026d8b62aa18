// output_panel.cpp --
//
//     The "Output" window: the button row over the tab control of rich
//     text pages, the log-message handler and the welcome message.

#include <kiv/gui/output_panel.h>

#include <kiv/core/i_string.h>
#include <kiv/core/i_translator.h>
#include <kiv/gui/gui_lib.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/tab_control.h>

#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/notebook.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <cstdlib>

namespace kiv {

namespace {

wxString tr(const char* text) {
    return wxString::FromUTF8(kiv_translate(text, ""));
}

// How far before the end the view is kept after a line is appended.
const long scroll_back = 200;

}  // namespace

gui_output_panel::gui_output_panel(wxWindow* parent, i_output_service* service, wxString first_page, wxSize size,
                                   unsigned welcome_style, wxString welcome_message)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, size, wxTAB_TRAVERSAL | wxNO_BORDER),
      welcome_message_(welcome_message),
      welcome_style_(welcome_style) {
    if (service != nullptr)
        service->addref();
    service_.reset(service);
    clear_ = new wxButton(this, wxID_ANY, tr("Clear"));
    copy_ = new wxButton(this, wxID_ANY, tr("Copy to clipboard"));
    close_ = new wxButton(this, wxID_ANY, tr("Close"));
    close_->Disable();
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(copy_, 0, wxALL, 5);
    row->Add(clear_, 0, wxALL, 5);
    row->Add(close_, 0, wxALL, 5);
    tabs_ = new tab_control(this, wxID_ANY);
    if (!first_page.empty())
        find_or_create_output_page(first_page, false);
    auto* grid = new wxFlexGridSizer(1);
    grid->AddGrowableCol(0);
    grid->AddGrowableRow(1);
    grid->Add(row, 0, wxALL | wxALIGN_RIGHT, 3);
    grid->Add(tabs_, 1, wxALL | wxEXPAND, 3);
    SetSizer(grid);
    grid->SetSizeHints(this);
    Layout();
    kiv_install_gui_handler(-1, "KIV_GUI_EVT_LOG_MESSAGE", kiv_gui_event_handler(gui_output_panel::on_log_msg), this);
    clear_->Bind(wxEVT_BUTTON, &gui_output_panel::on_clear, this);
    copy_->Bind(wxEVT_BUTTON, &gui_output_panel::on_copy, this);
    close_->Bind(wxEVT_BUTTON, &gui_output_panel::on_close, this);
    tabs_->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &gui_output_panel::on_select_page, this);
    show_welcome_msg();
}

gui_output_panel::~gui_output_panel() {
    tabs_->Unbind(wxEVT_NOTEBOOK_PAGE_CHANGED, &gui_output_panel::on_select_page, this);
    kiv_uninstall_gui_handler(-1, "KIV_GUI_EVT_LOG_MESSAGE", kiv_gui_event_handler(gui_output_panel::on_log_msg),
                              this);
    if (auto* service = dynamic_cast<output_service*>(service_.get()))
        service->panel_destroyed();
}

bool gui_output_panel::usable() const {
    return kiv_gui_is_running() && tabs_ != nullptr;
}

int gui_output_panel::get_output_page_index(const wxString& name) {
    if (!usable())
        return -1;
    for (unsigned i = 0; i < tabs_->get_page_count(); ++i)
        if (tabs_->get_tab_name(i) == name)
            return static_cast<int>(i);
    return -1;
}

wxString gui_output_panel::get_output_page_name(int page) {
    if (!usable() || page < 0)
        return wxString();
    return tabs_->get_tab_name(static_cast<unsigned>(page));
}

int gui_output_panel::get_page_count() {
    return usable() ? static_cast<int>(tabs_->get_page_count()) : -1;
}

int gui_output_panel::find_or_create_output_page(const wxString& name, bool select) {
    if (!usable() || name.empty())
        return -1;
    wxBusyCursor busy;
    int index = get_output_page_index(name);
    if (index >= 0) {
        tabs_->activate_tab(static_cast<unsigned>(index));
        close_->Enable(index != 0);
        return index;
    }
    auto* text = new wxTextCtrl(tabs_, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxBORDER_STATIC | wxFULL_REPAINT_ON_RESIZE);
    text->SetBackgroundColour(*wxWHITE);
    if (!tabs_->add_tab(name, text, select)) {
        text->Destroy();
        return -1;
    }
    if (select && tabs_->get_page_count() > 1)
        close_->Enable();
    return static_cast<int>(tabs_->get_page_count()) - 1;
}

wxTextCtrl* gui_output_panel::get_text_ctrl(int page) {
    if (!usable() || page < 0)
        return nullptr;
    return dynamic_cast<wxTextCtrl*>(tabs_->get_page(static_cast<unsigned>(page)));
}

void gui_output_panel::add_text_line(int page, const wxString& text) {
    wxTextCtrl* ctrl = get_text_ctrl(page);
    if (ctrl == nullptr)
        return;
    ctrl->AppendText(text);
    ctrl->AppendText("\n");
    const long end = ctrl->GetLastPosition();
    ctrl->ShowPosition(end > scroll_back ? end - scroll_back : 0);
}

void gui_output_panel::set_style(int page, unsigned char red, unsigned char green, unsigned char blue, bool bold,
                                 bool italic, bool underline) {
    wxTextCtrl* ctrl = get_text_ctrl(page);
    if (ctrl == nullptr)
        return;
    wxFont font(8, wxFONTFAMILY_DEFAULT, italic ? wxFONTSTYLE_ITALIC : wxFONTSTYLE_NORMAL,
                bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL, underline, wxEmptyString, wxFONTENCODING_DEFAULT);
    wxTextAttr style(wxColour(red, green, blue), wxNullColour, font);
    style.SetFlags(wxTEXT_ATTR_TEXT_COLOUR | wxTEXT_ATTR_FONT_FACE | wxTEXT_ATTR_FONT_SIZE |
                   wxTEXT_ATTR_FONT_WEIGHT | wxTEXT_ATTR_FONT_ITALIC | wxTEXT_ATTR_FONT_UNDERLINE);
    ctrl->SetDefaultStyle(style);
}

void gui_output_panel::set_style(int page, unsigned style_word) {
    set_style(page, style_word & 0xFF, (style_word >> 8) & 0xFF, (style_word >> 16) & 0xFF,
              (style_word & (1u << 24)) != 0, (style_word & (1u << 25)) != 0, false);
}

void gui_output_panel::add_text_line_styled(int page, const wxString& text, unsigned char red, unsigned char green,
                                            unsigned char blue, bool bold, bool italic, bool underline) {
    set_style(page, red, green, blue, bold, italic, underline);
    add_text_line(page, text);
}

void gui_output_panel::clear_page(int page) {
    wxTextCtrl* ctrl = get_text_ctrl(page);
    if (ctrl == nullptr)
        return;
    ctrl->Clear();
    if (tabs_->get_active_tab() == 0)
        show_welcome_msg();
}

bool gui_output_panel::close_page(int page) {
    if (!usable() || page <= 0 || page >= get_page_count())
        return false;
    return tabs_->remove_tab(static_cast<unsigned>(page));
}

int gui_output_panel::get_number_of_lines(int page) {
    wxTextCtrl* ctrl = get_text_ctrl(page);
    return ctrl != nullptr ? ctrl->GetNumberOfLines() : -1;
}

void gui_output_panel::show_welcome_msg() {
    if (welcome_message_.empty())
        return;
    set_style(0, welcome_style_);
    add_text_line(0, welcome_message_);
    set_style(0, 0, 0, 0, false, false, false);
}

void gui_output_panel::on_select_page(wxBookCtrlEvent& event) {
    close_->Enable(event.GetSelection() != 0);
    event.Skip();
}

void gui_output_panel::on_clear(wxCommandEvent&) {
    if (usable())
        clear_page(tabs_->get_active_tab());
}

void gui_output_panel::on_copy(wxCommandEvent&) {
    if (!usable())
        return;
    wxBusyCursor busy;
    wxTextCtrl* ctrl = get_text_ctrl(tabs_->get_active_tab());
    if (ctrl == nullptr)
        return;
    wxString text = ctrl->GetValue();
    if (text.empty() || text == "\n" || text == "\t")
        return;
    if (wxTheClipboard->Open()) {
        wxTheClipboard->SetData(new wxTextDataObject(text));
        wxTheClipboard->Close();
    }
}

void gui_output_panel::on_close(wxCommandEvent&) {
    if (!usable())
        return;
    const int active = tabs_->get_active_tab();
    if (active <= 0)
        return;
    if (service_)
        service_->terminate_processes(active);
    tabs_->remove_tab(static_cast<unsigned>(active));
}

void gui_output_panel::on_log_msg(i_gui_event& event) {
    auto_ptr_t<i_object> payload(event.get_event_object());
    i_named_string* message = kiv_cast_i_named_string(payload);
    if (message == nullptr)
        return;
    const char* text = message->get_name();
    if (text == nullptr || *text == '\0')
        return;
    const char* value = message->get_value();
    // Decimal as atoi reads it: text that is no number is 0 (black,
    // regular); out-of-range numbers keep their low 32 bits.
    const unsigned style = value != nullptr ? static_cast<unsigned>(std::strtoll(value, nullptr, 10)) : 0;
    set_style(0, style);
    add_text_line(0, wxString::FromUTF8(text));
}

}  // namespace kiv
