// coord_list_fuzz.cpp --
//
//     Reads any text as the two coordinate lists a script or page passes
//     to the GIS flat functions. The input is "COUNT\nLATS\nLONS": the
//     point count (any 32-bit number, so a huge one must allocate
//     nothing the texts do not hold), then the two lists. A list that is
//     read must hold exactly the count asked for, and never more points
//     than the text has items. The reader is built into the target from
//     its source, since the library does not export it.

#include "coord_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    size_t eol1 = text.find('\n');
    if (eol1 == std::string::npos)
        return 0;
    size_t eol2 = text.find('\n', eol1 + 1);
    std::string count_text = text.substr(0, eol1);
    std::string lats = text.substr(eol1 + 1, eol2 == std::string::npos ? std::string::npos : eol2 - eol1 - 1);
    std::string lons = eol2 == std::string::npos ? std::string() : text.substr(eol2 + 1);
    unsigned count = unsigned(std::strtoul(count_text.c_str(), nullptr, 10));

    std::vector<double> lat_values, lon_values;
    if (!kiv::parse_coord_lists(lats.c_str(), lons.c_str(), count, lat_values, lon_values))
        return 0;
    check(count > 0 && lat_values.size() == count && lon_values.size() == count);
    // Every point is an item of its own, so each list has that many
    // commas less one at least.
    check(size_t(std::count(lats.begin(), lats.end(), ',')) + 1 >= count);
    check(size_t(std::count(lons.begin(), lons.end(), ',')) + 1 >= count);
    return 0;
}
