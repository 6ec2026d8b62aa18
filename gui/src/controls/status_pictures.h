// status_pictures.h --
//
//     Picture helpers of the status icons: PNG bytes to and from images,
//     the transparent border, the highlighted and grey copies, and the
//     picture of the "more" button.

#ifndef KIV_GUI_STATUS_PICTURES_H
#define KIV_GUI_STATUS_PICTURES_H

#include <wx/image.h>

#include <string>

namespace kiv {

class i_image;

// Registers wxWidgets' PNG handler when the host has not. GUI thread.
void ensure_png_handler();
// Encodes `image` as PNG into `png`. Returns: false for a null image or
// an image that cannot be encoded. Any thread.
bool encode_png(i_image* image, std::string* png);
// Reads PNG bytes into `out`. Returns: false when they are not a
// readable picture. GUI thread.
bool decode_png(const std::string& png, wxImage* out);
// Returns: `image` inside a transparent border of 1 pixel.
wxImage with_border(const wxImage& image);
// Highlights `image` in place: a blue frame on the outermost rows and
// columns (corners excluded) and a light blue fill of transparent
// pixels. Returns: false for a null or invalid image.
bool bit2hover(wxImage* image);
// Returns: the grey copy (weights 0.299, 0.587, 0.114).
wxImage grey_copy(const wxImage& image);
// Returns: the 8 x 16 picture of the "more" button (black on transparent).
wxImage more_picture();

}  // namespace kiv

#endif
