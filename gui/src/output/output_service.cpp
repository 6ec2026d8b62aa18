// output_service.cpp --
//
//     "svc_gui_output": the service object over the output panel. It
//     forwards to the panel, which may go before it (the panel is a child
//     window of the application's), and keeps the processes attached to
//     it so it can cut them loose when it goes first.

#include <kiv/gui/output_service.h>

#include <kiv/core/i_core.h>
#include <kiv/gui/gui_lib.h>
#include <kiv/gui/output_panel.h>
#include <kiv/gui/redirect_process.h>

#include <algorithm>

namespace kiv {

output_service::output_service(wxWindow* parent, wxString first_page, unsigned welcome_style,
                               wxString welcome_message) {
    set_name("Output");
    if (parent == nullptr)
        return;
    panel_ = new gui_output_panel(parent, this, first_page, wxSize(150, -1), welcome_style, welcome_message);
    if (i_core* core = kiv_core())
        core->register_service(this, "svc_gui_output");
}

output_service::~output_service() {
    for (redirect_process* process : processes_)
        process->detach_service();
    processes_.clear();
}

bool output_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_output_service", static_cast<i_output_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool output_service::usable() const {
    return panel_ != nullptr && kiv_gui_is_running();
}

unsigned output_service::pack_style(unsigned char red, unsigned char green, unsigned char blue, bool bold,
                                    bool italic, bool) {
    return unsigned(red) | unsigned(green) << 8 | unsigned(blue) << 16 | (bold ? 1u << 24 : 0u) |
           (italic ? 1u << 25 : 0u);
}

wxWindow* output_service::get_output_wnd() {
    return panel_;
}

int output_service::find_or_create_output_page(const wxString& name, bool select) {
    return usable() ? panel_->find_or_create_output_page(name, select) : -1;
}

void output_service::add_text_line_styled(int page, const wxString& text, unsigned char red, unsigned char green,
                                          unsigned char blue, bool bold, bool italic, bool underline) {
    if (usable())
        panel_->add_text_line_styled(page, text, red, green, blue, bold, italic, underline);
}

void output_service::add_text_line(int page, const wxString& text) {
    if (usable())
        panel_->add_text_line(page, text);
}

void output_service::set_style(int page, unsigned style_word) {
    set_style(page, style_word & 0xFF, (style_word >> 8) & 0xFF, (style_word >> 16) & 0xFF,
              (style_word & (1u << 24)) != 0, (style_word & (1u << 25)) != 0, false);
}

void output_service::set_style(int page, unsigned char red, unsigned char green, unsigned char blue, bool bold,
                               bool italic, bool underline) {
    if (usable())
        panel_->set_style(page, red, green, blue, bold, italic, underline);
}

wxString output_service::get_output_page_name(int page) {
    return usable() ? panel_->get_output_page_name(page) : wxString();
}

int output_service::get_output_page_index(const wxString& name) {
    return usable() ? panel_->get_output_page_index(name) : -1;
}

bool output_service::set_process(int page, wxProcess* process) {
    if (!kiv_gui_is_running() || page < 0 || process == nullptr)
        return false;
    auto* redirected = dynamic_cast<redirect_process*>(process);
    if (redirected == nullptr)
        return false;
    wxString name = get_output_page_name(page);
    if (name.empty())
        return false;
    if (std::find(processes_.begin(), processes_.end(), redirected) == processes_.end())
        processes_.push_back(redirected);
    redirected->attach(this, name);
    return true;
}

void output_service::terminate_processes(int) {}

bool output_service::close_page(int page) {
    if (!usable() || page <= 0 || page >= panel_->get_page_count())
        return false;
    return panel_->close_page(page);
}

void output_service::clear_page(int page) {
    if (usable() && page >= 0 && page < panel_->get_page_count())
        panel_->clear_page(page);
}

int output_service::get_page_number_of_lines(int page) {
    if (!usable() || page < 0 || page >= panel_->get_page_count())
        return -1;
    return panel_->get_number_of_lines(page);
}

void output_service::remove_process(wxProcess* process) {
    auto found = std::find(processes_.begin(), processes_.end(), process);
    if (found != processes_.end())
        processes_.erase(found);
}

}  // namespace kiv

extern "C" kiv::i_output_service* kiv_cast_i_output_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_output_service>(obj, "i_output_service");
}
