// chart_file.h --
//
//     The text map format of the stand-in control ("*.chart"). One
//     record a line, fields separated by blanks, "#" starts a comment
//     line; numbers use "." whatever the locale:
//
//         GWX-CHART 1
//         bounds <min_lat> <min_lon> <max_lat> <max_lon>
//         layer <name> [shown|hidden]
//         point <id> <class> <layer> <lat> <lon> <name...>
//         area <id> <class> <layer> <min_lat> <min_lon> <max_lat> <max_lon> <name...>
//
//     The first line names the format; exactly one bounds line; layers
//     are declared before the objects that use them and are drawn in
//     the order declared. Ids are 1 to 2^31-1 and unique in the file;
//     the class code is one word (the control's searches match its
//     beginning); the name is the rest of the line, UTF-8.

#ifndef KIV_GWX_CHART_FILE_H
#define KIV_GWX_CHART_FILE_H

#include <string>
#include <vector>

namespace kiv {

struct chart_layer {
    std::string name;
    unsigned state = 1;  // the control's state value: 1 shown, 2 hidden
};

struct chart_object {
    long long id = 0;       // as in the file, 1 .. 2^31-1
    std::string cls;        // class code, never empty
    std::string name;       // may be empty
    unsigned layer = 0;     // index into chart::layers
    bool area = false;      // false: a point (min == max)
    double min_lat = 0, min_lon = 0, max_lat = 0, max_lon = 0;
};

struct chart {
    double min_lat = 0, min_lon = 0, max_lat = 0, max_lon = 0;
    std::vector<chart_layer> layers;
    std::vector<chart_object> objects;  // in file order
};

// How reading a chart ended; the numbers are the control's load codes.
enum chart_status {
    chart_ok = 0,
    chart_missing = 2,         // no such file, or unreadable
    chart_invalid = 3,         // a line that breaks the format
    chart_unknown_format = 4,  // not a chart file
    chart_system_error = 5,    // over the size caps, or out of memory
};

// Upper bounds that keep a hostile file from exhausting memory.
const unsigned long long chart_max_file_size = 64ull << 20;
const size_t chart_max_objects = 1000000;
const size_t chart_max_layers = 1000;
const size_t chart_max_name = 1023;  // bytes of a name

// Parses chart text (LF or CR LF lines).
// Changes: `out` is replaced on success; `error` receives "line N: ..."
//     on failure. Safe from any thread.
chart_status parse_chart(const std::string& text, chart& out, std::string& error);

// Reads and parses a chart file (path as given, UTF-8).
chart_status read_chart(const std::string& path, chart& out, std::string& error);

}  // namespace kiv

#endif
