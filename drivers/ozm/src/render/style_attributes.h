// style_attributes.h --
//
//     How the render configuration reads its attribute texts: numbers the
//     way the layer files were always written (atoi/atof rules, but
//     independent of the C locale and without overflow), colours, and the
//     per-level lists of the styles ("width", "border_width", label
//     "size"). Every reader here is a pure function of its text.

#ifndef KIV_OZM_SRC_RENDER_STYLE_ATTRIBUTES_H
#define KIV_OZM_SRC_RENDER_STYLE_ATTRIBUTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace kiv::render_attr {

// Number of render levels (0 most detailed .. 16).
constexpr unsigned level_count = 17;

// Largest stroke width, border width and label size a style accepts, in
// pixels: far above any real map style, well below what would make the
// rasteriser or the glyph cache work for minutes on one feature.
constexpr double max_pixels = 1000.0;

// atoi without its undefined overflow: blanks, an optional sign, then
// digits up to the first other character; 0 without digits; a value
// outside the int range is clamped to it.
int to_int(const char* text);

// atof as the "C" locale reads it, whatever the process locale (the
// decimal point is always "."); "inf" and "nan" included; 0 when the
// text starts with no number.
double to_double(const char* text);

// The items of a list split at "," with empty items dropped, as strtok
// would give them. Null gives no items.
std::vector<std::string> split_list(const char* text);

// Fills `out` (level_count values) from a per-level list: levels below
// `first_level` get 0; the items go to first_level, first_level + 1, ...
// (items past level 16 are ignored); once the items run out each level
// repeats the level before it.
// Returns: the number of items the list holds (0 leaves every level 0);
//     -1 when an item that lands on a level is not finite, is negative or
//     exceeds `limit`.
int fill_levels(const char* text, unsigned first_level, double limit, double out[level_count]);
// The same for a list of integers read like atoi (label sizes): an item
// below 0 or above `limit` fails.
int fill_levels(const char* text, unsigned first_level, int limit, int32_t out[level_count]);

// The colour value of a colour text (kiv_image_text2color): RRGGBB with
// alpha 255, AARRGGBB with alpha AA unless the value is not above
// 0xFFFFFF; empty text is opaque black.
uint32_t to_color(const char* text);

}  // namespace kiv::render_attr

#endif
