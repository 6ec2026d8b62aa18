// parse_range.cpp --
//
//     The "a" / "a-b" range reader of the render configuration.

#include "render/parse_range.h"
#include "render/style_attributes.h"

#include <cstring>

namespace kiv {

bool parse_range(const char* text, unsigned min, unsigned max, unsigned& first, unsigned& last) {
    if (text == nullptr || *text == 0)
        return false;
    first = static_cast<unsigned>(render_attr::to_int(text));
    if (first < min)
        return false;
    const char* dash = std::strchr(text, '-');
    last = dash != nullptr ? static_cast<unsigned>(render_attr::to_int(dash + 1)) : first;
    if (last > max)
        return false;
    return first <= last;
}

}  // namespace kiv
