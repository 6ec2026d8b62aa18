// wu_quantizer.h --
//
//     The palette reduction behind 256-colour PNG output: Wu's statistical
//     colour quantizer on cumulative colour moments, run over colour and
//     alpha together. Colours fall into a 33 × 33 × 33 histogram (5 bits
//     a channel); alpha falls into classes: fully transparent, 4 bands
//     of partial alpha, and opaque (alpha 251 and up; only the classes an
//     image uses get a layer). The cube is cut into boxes along the plane
//     that best separates their means, the box whose variance shows most
//     first (a partly transparent box's error shows at its alpha), until
//     `max_colors` boxes exist or no box has variance left. A few rounds
//     of Lloyd's refinement then move each entry to the mean of the cells
//     nearest it, and each pixel takes the nearest of the entries nearest
//     its cell.
//
//     Transparent, partly transparent and opaque pixels start in boxes of
//     their own and are never mixed, so a saved picture keeps exactly
//     which pixels are opaque and which are invisible: every transparent
//     pixel shares one entry of alpha 0, opaque entries have alpha 255,
//     and partial ones the mean alpha of their pixels (1 to 254).

#ifndef KIV_IMAGE_WU_QUANTIZER_H
#define KIV_IMAGE_WU_QUANTIZER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiv {

// Quantizes `pixel_count` RGBA pixels to at most max_colors (1 to 256)
// entries.
// Returns: true with one palette index a pixel in `indices`, the
//     palette in `palette` (256 RGB entries, unused ones 0, 0, 0) and the
//     alpha of each entry in `alphas` (unused ones 0); false when memory
//     fails. Safe from any thread (no shared state).
bool wu_quantize(const uint8_t* rgba, size_t pixel_count, unsigned max_colors,
                 std::vector<uint8_t>& indices, uint8_t palette[256 * 3], uint8_t alphas[256]);

}  // namespace kiv

#endif
