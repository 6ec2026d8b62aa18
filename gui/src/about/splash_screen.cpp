// splash_screen.cpp --
//
//     The splash window and the about box: the picture, the identity
//     lines and the contact row, laid out when the window is shown.

#include <kiv/gui/splash_screen.h>

#include <kiv/core/i_translator.h>

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/hyperlink.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>

namespace kiv {

namespace {

wxString translated(const char* text) {
    const char* result = kiv_translate(text, "");
    return wxString::FromUTF8(result != nullptr && *result != '\0' ? result : text);
}

wxStaticText* label(wxWindow* parent, const wxString& text, int points = 0, bool bold = false) {
    wxStaticText* item = new wxStaticText(parent, wxID_ANY, text);
    if (points > 0) {
        item->SetFont(wxFont(points, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL,
                             bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL));
        item->SetForegroundColour(wxColour(0, 0, 150));
    }
    return item;
}

}  // namespace

splash_screen_wnd::splash_screen_wnd(wxWindow* parent, const wxBitmap& bitmap)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, bitmap.IsOk() ? bitmap.GetSize() : wxSize(1, 1),
               wxBORDER_NONE),
      bitmap_(bitmap) {
    // The whole area is painted here: no erase pass in between.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &splash_screen_wnd::on_paint, this);
}

void splash_screen_wnd::on_paint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (!bitmap_.IsOk())
        return;
    wxMemoryDC memory(bitmap_);
    dc.Blit(0, 0, bitmap_.GetWidth(), bitmap_.GetHeight(), &memory, 0, 0);
}

splash_screen::splash_screen() = default;

splash_screen::splash_screen(const wxBitmap& bitmap, wxWindow* parent, bool about) {
    create(bitmap, parent, about);
}

splash_screen::splash_screen(const wxBitmap& bitmap, wxWindow* parent, const wxString& header,
                             const wxString& title, const wxString& version, const wxString& copyright,
                             const wxString& website, const wxString& email, const wxString& tel, bool about)
    : header_(header), title_(title), version_(version), copyright_(copyright), website_(website), email_(email),
      tel_(tel) {
    create(bitmap, parent, about);
}

void splash_screen::create(const wxBitmap& bitmap, wxWindow* parent, bool about) {
    modal_ = about;
    about_ = about;
    wxTopLevelWindow* window;
    if (about) {
        window = new wxDialog(parent, wxID_ANY, translated("About..."));
    } else {
        window = new wxFrame(parent, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                             wxBORDER_SIMPLE | wxSTAY_ON_TOP);
        window->Bind(wxEVT_CLOSE_WINDOW, &splash_screen::on_close_wnd, this);
        window->Bind(wxEVT_DESTROY, &splash_screen::on_destroy_wnd, this);
    }
    window_ = window;
    picture_ = new splash_screen_wnd(window, bitmap);
}

splash_screen::~splash_screen() {
    if (wxTopLevelWindow* window = window_.get()) {
        if (!about_) {
            window->Unbind(wxEVT_CLOSE_WINDOW, &splash_screen::on_close_wnd, this);
            window->Unbind(wxEVT_DESTROY, &splash_screen::on_destroy_wnd, this);
        }
        window->Destroy();
    }
}

void splash_screen::init() {
    wxTopLevelWindow* window = window_.get();
    if (window == nullptr || laid_out_)
        return;
    laid_out_ = true;
    window->SetBackgroundColour(background_);
    if (!about_)
        window->SetTitle(!header_.empty() ? header_ : title_);

    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* picture_column = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* contacts = new wxBoxSizer(wxHORIZONTAL);
    if (!header_.empty())
        column->Add(label(window, header_, 20, true), 0, wxALIGN_CENTER | wxLEFT | wxRIGHT | wxTOP, 15);
    if (!title_.empty())
        column->Add(label(window, title_, 14, true), 0,
                    wxALIGN_CENTER | wxLEFT | wxRIGHT | (header_.empty() ? wxTOP : 0), 15);
    picture_column->Add(picture_, 1, wxEXPAND);
    picture_column->SetMinSize(picture_->GetSize());
    column->Add(picture_column, 0, wxALIGN_CENTER | wxALL, 10);
    if (!version_.empty())
        column->Add(label(window, version_), 0, wxALIGN_CENTER | wxLEFT | wxRIGHT, 10);
    if (!copyright_.empty())
        column->Add(label(window, copyright_), 0, wxALIGN_CENTER);
    column->Add(contacts, 0, wxALIGN_CENTER | wxLEFT, 0);

    // Places one contact line: on its own line, or in the shared row after
    // a "," when the row already holds an item.
    auto place = [&](wxSizer* line, bool own_line, int own_flags) {
        if (own_line) {
            column->Add(line, 0, wxALIGN_CENTER | own_flags, 5);
            return;
        }
        if (!contacts->IsEmpty())
            contacts->Add(new wxStaticText(window, wxID_ANY, ","), 0, wxRIGHT, 10);
        contacts->Add(line, 0);
    };
    if (!website_.empty()) {
        wxBoxSizer* line = new wxBoxSizer(wxHORIZONTAL);
        line->Add(new wxStaticText(window, wxID_ANY, wxString::FromUTF8("Сайт:")), 0, wxLEFT, 5);
        if (about_)
            line->Add(new wxHyperlinkCtrl(window, wxID_ANY, website_, website_), 0, wxLEFT, 5);
        else
            line->Add(new wxStaticText(window, wxID_ANY, website_), 0, wxLEFT, 5);
        place(line, website_own_line_, 0);
    }
    if (!email_.empty()) {
        wxBoxSizer* line = new wxBoxSizer(wxHORIZONTAL);
        line->Add(new wxStaticText(window, wxID_ANY, translated("E-mail:")), 0, wxALIGN_CENTER);
        line->Add(new wxHyperlinkCtrl(window, wxID_ANY, email_, "mailto:" + email_), 0, wxLEFT, 5);
        place(line, email_own_line_, 0);
    }
    if (!tel_.empty()) {
        wxBoxSizer* line = new wxBoxSizer(wxHORIZONTAL);
        line->Add(new wxStaticText(window, wxID_ANY, wxString::FromUTF8(tel_fax_ ? "Тел/факс:" : "Телефон:")));
        line->Add(new wxStaticText(window, wxID_ANY, tel_), 0, wxLEFT | wxRIGHT, 5);
        place(line, tel_own_line_, wxBOTTOM);
    }
    column->Add(new wxStaticText(window, wxID_ANY, " "));
    if (about_) {
        column->Add(new wxStaticLine(window, wxID_ANY, wxDefaultPosition, wxSize(-1, 2), wxLI_HORIZONTAL), 0,
                    wxEXPAND | wxALL, 5);
        column->Add(new wxButton(window, wxID_OK, "OK"), 0, wxALIGN_RIGHT | wxALL, 10);
    }
    window->SetSizer(column);
    column->SetSizeHints(window);
    window->CentreOnParent();
}

void splash_screen::show() {
    init();
    wxTopLevelWindow* window = window_.get();
    if (window == nullptr)
        return;
    if (modal_ && about_) {
        static_cast<wxDialog*>(window)->ShowModal();
        return;
    }
    window->Show();
    window->SetFocus();
    window->Update();
}

void splash_screen::close() {
    if (wxTopLevelWindow* window = window_.get())
        window->Close(true);
}

void splash_screen::on_close_wnd(wxCloseEvent& event) {
    // The frame goes (the default handler destroys it); the object goes
    // when the frame is really destroyed (on_destroy_wnd), so a close()
    // or delete by the application until then still finds it.
    event.Skip();
}

void splash_screen::on_destroy_wnd(wxWindowDestroyEvent& event) {
    event.Skip();
    wxTopLevelWindow* window = window_.get();
    if (window == nullptr || event.GetEventObject() != window)
        return;  // a child's destruction passing by
    window->Unbind(wxEVT_CLOSE_WINDOW, &splash_screen::on_close_wnd, this);
    window->Unbind(wxEVT_DESTROY, &splash_screen::on_destroy_wnd, this);
    window_ = nullptr;
    // Nothing touches this object after its handler returns; wxWidgets
    // drops the unbound entries once the event is done.
    delete this;
}

}  // namespace kiv
