// status_pictures.cpp --
//
//     Picture helpers of the status icons. Pictures travel as PNG between
//     the image library and wxWidgets, so an icon shows exactly the
//     pixels, alpha included, of the image it was given.

#include "status_pictures.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_binary.h>
#include <kiv/image/i_image.h>

#include <wx/log.h>
#include <wx/mstream.h>

namespace kiv {

void ensure_png_handler() {
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
        wxImage::AddHandler(new wxPNGHandler);
}

bool encode_png(i_image* image, std::string* png) {
    if (image == nullptr)
        return false;
    auto_ptr_t<i_binary> data(image->get_binary_data(2, 1));
    if (!data || data->get_data() == nullptr || data->get_data_size() == 0)
        return false;
    png->assign(static_cast<const char*>(data->get_data()), data->get_data_size());
    return true;
}

bool decode_png(const std::string& png, wxImage* out) {
    if (png.empty())
        return false;
    ensure_png_handler();
    wxMemoryInputStream stream(png.data(), png.size());
    wxLogNull quiet;  // a bad picture is reported by the caller, not by a dialog
    return out->LoadFile(stream, wxBITMAP_TYPE_PNG) && out->IsOk();
}

wxImage with_border(const wxImage& image) {
    const int w = image.GetWidth(), h = image.GetHeight();
    wxImage framed(w + 2, h + 2, true);
    framed.InitAlpha();
    unsigned char* alpha = framed.GetAlpha();
    std::fill(alpha, alpha + size_t(w + 2) * size_t(h + 2), 0);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            framed.SetRGB(x + 1, y + 1, image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
            unsigned char a = 255;
            if (image.HasAlpha())
                a = image.GetAlpha(x, y);
            else if (image.HasMask() && image.IsTransparent(x, y))
                a = 0;
            framed.SetAlpha(x + 1, y + 1, a);
        }
    }
    return framed;
}

bool bit2hover(wxImage* image) {
    if (image == nullptr || !image->IsOk())
        return false;
    if (!image->HasAlpha())
        image->InitAlpha();
    const int w = image->GetWidth(), h = image->GetHeight();
    auto paint = [image](int x, int y, unsigned char r, unsigned char g, unsigned char b) {
        image->SetRGB(x, y, r, g, b);
        image->SetAlpha(x, y, 255);
    };
    for (int x = 1; x <= w - 2; x++) {
        paint(x, 0, 100, 100, 255);
        paint(x, h - 1, 49, 106, 197);
    }
    for (int y = 1; y <= h - 2; y++) {
        paint(0, y, 100, 100, 255);
        paint(w - 1, y, 49, 106, 197);
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (image->GetAlpha(x, y) == 0)
                paint(x, y, 193, 210, 238);
    return true;
}

wxImage grey_copy(const wxImage& image) {
    return image.ConvertToGreyscale(0.299, 0.587, 0.114);
}

wxImage more_picture() {
    // Black columns per row; rows not listed stay transparent.
    static const char* const rows[16] = {
        "........", "........", "XX..XX..", ".XX..XX.", "..XX..XX", ".XX..XX.",
        "XX..XX..", "........", "........", "........", "........", "........",
        "........", ".XXXXX..", "..XXX...", "...X....",
    };
    wxImage picture(8, 16, true);  // black
    picture.InitAlpha();
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 8; x++)
            picture.SetAlpha(x, y, rows[y][x] == 'X' ? 255 : 0);
    return picture;
}

}  // namespace kiv
