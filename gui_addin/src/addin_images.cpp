// addin_images.cpp --
//
//     Pictures between the toolkit and the system's i_image (through
//     PNG in memory), and the small markers the modes draw with: a disc
//     and an arrow head, anti-aliased on a transparent square.

#include "agg_draw.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_binary.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include <wx/image.h>
#include <wx/mstream.h>

#include <cstdint>

using namespace kiv;

namespace {

void ensure_png_handler() {
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
        wxImage::AddHandler(new wxPNGHandler);
}

// A colour not above 0xFFFFFF carries no alpha: it is opaque.
unsigned opaque_unless_alpha(unsigned colour) {
    return colour <= 0xFFFFFF ? (colour | 0xFF000000u) : colour;
}

// Returns: a new transparent side x side picture, one reference; null
//     for a side of 0 or one too large to allocate.
i_image* transparent_square(uint64_t side) {
    if (side == 0 || side > 16384)
        return nullptr;
    return kiv_image_create(static_cast<unsigned>(side), static_cast<unsigned>(side), 0);
}

}  // namespace

i_image* get_image_from_wx(wxImage* image) {
    if (image == nullptr || !image->IsOk())
        return nullptr;
    ensure_png_handler();
    wxMemoryOutputStream stream;
    if (!image->SaveFile(stream, wxBITMAP_TYPE_PNG))
        return nullptr;
    size_t size = stream.GetSize();
    if (size == 0 || size > UINT32_MAX)
        return nullptr;
    const wxStreamBuffer* buffer = stream.GetOutputStreamBuffer();
    return kiv_image_create_from_data(buffer->GetBufferStart(), static_cast<unsigned>(size), image->GetWidth(),
                                      image->GetHeight(), image_format_png);
}

i_image* get_image_from_xpm(const char* const* xpm) {
    if (xpm == nullptr)
        return nullptr;
    wxImage image(xpm);
    if (!image.IsOk())
        return nullptr;
    return get_image_from_wx(&image);
}

wxImage* get_wx_image(i_image* image) {
    if (image == nullptr)
        return nullptr;
    auto_ptr_t<i_binary> png(image->get_binary_data(image_format_png, 100));
    if (!png || png->get_data() == nullptr || png->get_data_size() == 0)
        return nullptr;
    ensure_png_handler();
    wxMemoryInputStream stream(png->get_data(), png->get_data_size());
    wxImage* result = new wxImage(stream, wxBITMAP_TYPE_PNG);
    if (!result->IsOk()) {
        delete result;
        return nullptr;
    }
    return result;
}

i_image* draw_circle(unsigned radius, unsigned colour) {
    auto_ptr_t<i_image> image(transparent_square(2ull * radius));
    if (!image)
        return nullptr;
    kiv_addin::fill_ellipse(image, radius, radius, radius, opaque_unless_alpha(colour));
    return image.detach();
}

i_image* draw_circle_with_gradient(unsigned radius, unsigned colour) {
    return draw_circle(radius, colour);
}

i_image* draw_arrow(unsigned size, unsigned colour) {
    auto_ptr_t<i_image> image(transparent_square(size));
    if (!image)
        return nullptr;
    double s = size;
    const double head[] = {0.15 * s, 0.85 * s, 0.5 * s, 0.15 * s, 0.85 * s, 0.85 * s, 0.5 * s, 0.5 * s};
    kiv_addin::fill_polygon(image, head, 4, opaque_unless_alpha(colour));
    return image.detach();
}
