// parse_range.h --
//
//     The range reader of the render configuration: "a" or "a-b" in a
//     layer's or a style's "levels" and a style's "features" attribute.

#ifndef KIV_OZM_RENDER_PARSE_RANGE_H
#define KIV_OZM_RENDER_PARSE_RANGE_H

namespace kiv {

// Reads "a" (meaning a-a) or "a-b". Each number is read like atoi
// (leading blanks and a sign allowed, digits up to the first other
// character, 0 when there are none) and then compared as unsigned, so a
// negative number counts as too large.
// Out: `first` = a, written unless the text is null or empty; `last` = b,
//     written unless a is below `min`. Both hold the parsed numbers even
//     when the result is false.
// Returns: true when min <= a <= b <= max; false for null or empty text
//     or a range outside min..max or reversed.
// Changes: nothing else. Safe from any thread.
bool parse_range(const char* text, unsigned min, unsigned max, unsigned& first, unsigned& last);

}  // namespace kiv

#endif
