// wu_quantizer.h --
//
//     The palette reduction behind 256-colour PNG output: Wu's statistical
//     colour quantizer on cumulative colour moments. Colours fall into a
//     33 × 33 × 33 histogram (5 bits a channel); the colour cube is cut
//     into boxes along the plane that best separates their means, the box
//     with the largest variance first, until `max_colors` boxes exist or
//     no box has variance left. Each palette entry is its box's mean.

#ifndef KIV_IMAGE_WU_QUANTIZER_H
#define KIV_IMAGE_WU_QUANTIZER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiv {

// Quantizes `pixel_count` RGB triplets to at most max_colors (1 to 256)
// colours.
// Returns: true with one palette index a pixel in `indices` and the
//     palette in `palette` (256 RGB entries, unused ones 0, 0, 0);
//     false when memory fails. Safe from any thread (no shared state).
bool wu_quantize(const uint8_t* rgb, size_t pixel_count, unsigned max_colors,
                 std::vector<uint8_t>& indices, uint8_t palette[256 * 3]);

}  // namespace kiv

#endif
