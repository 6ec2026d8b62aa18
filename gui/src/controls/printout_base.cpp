// printout_base.cpp --
//
//     A wxWidgets printout over a client's i_printout. Before each page
//     the context is scaled so that one logical unit is one screen pixel
//     on any device, and the document learns its printable rectangle
//     inside the margins. The scale is computed in floating point: an
//     integer ratio of context to page width would be 0 on a preview and
//     give a blank page.

#include <kiv/gui/print_service.h>

#include <wx/dc.h>

namespace kiv {

printout_base::printout_base(i_printout* printout) : wxPrintout("Printout") {
    if (printout != nullptr)
        printout->addref();
    printout_.reset(printout);
}

void printout_base::set_margins(float left, float top, float right, float bottom) {
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
}

bool printout_base::prepare_page() {
    wxDC* dc = GetDC();
    if (dc == nullptr || !printout_)
        return false;
    int screen_x = 0, screen_y = 0, printer_x = 0, printer_y = 0;
    GetPPIScreen(&screen_x, &screen_y);
    GetPPIPrinter(&printer_x, &printer_y);
    int dc_w = 0, dc_h = 0, page_w = 0, page_h = 0;
    dc->GetSize(&dc_w, &dc_h);
    GetPageSizePixels(&page_w, &page_h);
    if (screen_x <= 0 || printer_x <= 0 || page_w <= 0)
        return false;
    const double scale = double(printer_x) / double(screen_x);
    const double units_per_mm = double(printer_x) / (scale * 25.4);
    const double user_scale = (double(dc_w) / double(page_w)) * scale;
    dc->SetUserScale(user_scale, user_scale);
    int mm_w = 0, mm_h = 0;
    GetPageSizeMM(&mm_w, &mm_h);
    printout_->set_print_rect(float(left_ * units_per_mm), float(top_ * units_per_mm),
                              float((mm_w - right_) * units_per_mm),
                              float((mm_h - bottom_) * units_per_mm));
    return true;
}

bool printout_base::HasPage(int page) {
    return printout_ && printout_->has_page(page);
}

void printout_base::GetPageInfo(int* min_page, int* max_page, int* selection_from,
                                int* selection_to) {
    *min_page = *max_page = *selection_from = *selection_to = 0;
    if (GetDC() == nullptr || !printout_)
        return;
    prepare_page();
    printout_->get_page_info(GetDC(), min_page, max_page, selection_from, selection_to);
}

bool printout_base::OnPrintPage(int page) {
    if (GetDC() == nullptr || !printout_)
        return false;
    prepare_page();
    return printout_->print_page(GetDC(), page);
}

}  // namespace kiv
