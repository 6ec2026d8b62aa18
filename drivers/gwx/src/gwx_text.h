// gwx_text.h --
//
//     Text at the border to the map control. The control speaks UTF-16;
//     the outside control this driver was made for knew only the
//     system's 8-bit code page, so texts sent to it and read from it go
//     through that code page (characters it lacks become "?"), and a
//     scripted control sees exactly the texts the outside one would.
//     All functions are safe from any thread.

#ifndef KIV_GWX_GWX_TEXT_H
#define KIV_GWX_GWX_TEXT_H

#include <string>

namespace kiv {

// Plain UTF-8 <-> UTF-16 (a null text gives the empty one).
std::u16string utf8_to_utf16(const char* text);
std::string utf16_to_utf8(const std::u16string& text);

// UTF-8 -> code page -> UTF-16: what the driver sends to the control.
std::u16string to_control_text(const char* text);
// UTF-16 -> code page -> UTF-8: what the driver reads from the control.
std::string from_control_text(const std::u16string& text);

// Returns: `text` with every letter in lower case (Unicode's simple
//     mapping, Cyrillic included).
std::string utf8_lower(const std::string& text);

}  // namespace kiv

#endif
