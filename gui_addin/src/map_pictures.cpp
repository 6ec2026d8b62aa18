// map_pictures.cpp --
//
//     The pictures embedded in the library: the 32 x 32 cursors of the
//     move and zoom modes, one pointer arrow (hot spot at its tip, 0, 0)
//     with a badge per cursor laid at its lower right, and the 64 x 64
//     found-feature marker, a red ring centred on the place.

#include "map_pictures.h"

#include <wx/image.h>

#include <string>
#include <vector>

namespace {

// The pointer arrow every badged cursor shows, its tip at 0, 0.
const char* const arrow_rows[] = {
    "#..........",
    "##.........",
    "#o#........",
    "#oo#.......",
    "#ooo#......",
    "#oooo#.....",
    "#ooooo#....",
    "#oooooo#...",
    "#ooooooo#..",
    "#oooooooo#.",
    "#ooooo#####",
    "#oo#oo#....",
    "#o#.#oo#...",
    "##..#oo#...",
    "#....#oo#..",
    ".....#oo#..",
    "......##...",
};

// The move mode's idle badge: four arrows, the map can be dragged.
const char* const cross_rows[] = {
    ".........#.........",
    "........###........",
    ".......#.#.#.......",
    "......#..#..#......",
    ".........#.........",
    ".........#.........",
    "...#.....#.....#...",
    "..#......#......#..",
    ".#.......#.......#.",
    "###################",
    ".#.......#.......#.",
    "..#......#......#..",
    "...#.....#.....#...",
    ".........#.........",
    ".........#.........",
    "......#..#..#......",
    ".......#.#.#.......",
    "........###........",
    ".........#.........",
};

// The move mode's badge while dragging: a closed hand.
const char* const grab_rows[] = {
    ".......#.......",
    "....###o###....",
    "...#ooooooo#...",
    "..#ooooooooo#..",
    ".#ooooooooooo#.",
    ".#ooooooooooo#.",
    ".#ooooooooooo#.",
    "#ooooooooooooo#",
    ".#ooooooooooo#.",
    ".#ooooooooooo#.",
    ".#ooooooooooo#.",
    "..#ooooooooo#..",
    "...#ooooooo#...",
    "....###o###....",
};

// The zoom mode's badge: a magnifier with a plus.
const char* const magnifier_rows[] = {
    "....#####........",
    "..#########......",
    ".###ooooo###.....",
    ".##ooooooo##.....",
    "##oooo#oooo##....",
    "##oooo#oooo##....",
    "##oo#####oo##....",
    "##oooo#oooo##....",
    "##oooo#oooo##....",
    ".##ooooooo##.....",
    ".###ooooo###.....",
    "..###########....",
    "....#####...##...",
    ".............##..",
    "..............##.",
    "...............##",
};

// Lays `rows` onto `canvas`, their top-left corner at (x, y); their '.'
// pixels are clear and let what lies beneath show. What would fall
// outside the canvas is cut off.
template <size_t n>
void lay(std::vector<std::string>& canvas, const char* const (&rows)[n], size_t x, size_t y) {
    for (size_t r = 0; r < n && y + r < canvas.size(); ++r) {
        std::string& line = canvas[y + r];
        for (size_t c = 0; rows[r][c] != '\0' && x + c < line.size(); ++c)
            if (rows[r][c] != '.')
                line[x + c] = rows[r][c];
    }
}

// Returns: the 32 x 32 rows of the arrow with `badge` laid at its lower
//     right, in the colours "." clear, "#" black and "o" white.
std::vector<std::string> arrow_cursor_rows(kiv_addin::arrow_badge badge) {
    std::vector<std::string> canvas(32, std::string(32, '.'));
    lay(canvas, arrow_rows, 0, 0);
    switch (badge) {
    case kiv_addin::arrow_badge::move_idle:
        lay(canvas, cross_rows, 12, 12);
        break;
    case kiv_addin::arrow_badge::move_grab:
        lay(canvas, grab_rows, 15, 16);
        break;
    case kiv_addin::arrow_badge::zoom:
        lay(canvas, magnifier_rows, 14, 14);
        break;
    }
    return canvas;
}

}  // namespace

namespace kiv_addin {

const char* const marker_xpm[] = {
    "64 64 3 1",
    ". c None",
    "r c #E01010",
    "w c #FFFFFF",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    ".........................wwwwwwwwwwwwww.........................",
    "......................wwwwwrrrrrrrrrrwwwww......................",
    "....................wwwrrrrrrrrrrrrrrrrrrwww....................",
    "..................wwwrrrrrrrrrrrrrrrrrrrrrrwww..................",
    "................wwwrrrrrrrrrrrrrrrrrrrrrrrrrrwww................",
    "...............wwrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrww...............",
    "..............wwrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrww..............",
    ".............wwrrrrrrrrrrrrrwwwwwwwwrrrrrrrrrrrrrww.............",
    "............wwrrrrrrrrrrwwwwwwwwwwwwwwwwrrrrrrrrrrww............",
    "...........wwrrrrrrrrrwwww............wwwwrrrrrrrrrww...........",
    "..........wwrrrrrrrrrwww................wwwrrrrrrrrrww..........",
    ".........wwrrrrrrrrwww....................wwwrrrrrrrrww.........",
    ".........wrrrrrrrrwww......................wwwrrrrrrrrw.........",
    "........wwrrrrrrrww..........................wwrrrrrrrww........",
    "........wrrrrrrrww............................wwrrrrrrrw........",
    ".......wwrrrrrrrww............................wwrrrrrrrww.......",
    ".......wrrrrrrrww..............................wwrrrrrrrw.......",
    "......wwrrrrrrww................................wwrrrrrrww......",
    "......wrrrrrrrww................................wwrrrrrrrw......",
    "......wrrrrrrww..................................wwrrrrrrw......",
    ".....wwrrrrrrww..................................wwrrrrrrww.....",
    ".....wwrrrrrrw....................................wrrrrrrww.....",
    ".....wrrrrrrrw....................................wrrrrrrrw.....",
    ".....wrrrrrrww....................................wwrrrrrrw.....",
    ".....wrrrrrrww................rrrr................wwrrrrrrw.....",
    ".....wrrrrrrww...............rrrrrr...............wwrrrrrrw.....",
    ".....wrrrrrrww...............rrrrrr...............wwrrrrrrw.....",
    ".....wrrrrrrww...............rrrrrr...............wwrrrrrrw.....",
    ".....wrrrrrrww...............rrrrrr...............wwrrrrrrw.....",
    ".....wrrrrrrww................rrrr................wwrrrrrrw.....",
    ".....wrrrrrrww....................................wwrrrrrrw.....",
    ".....wrrrrrrrw....................................wrrrrrrrw.....",
    ".....wwrrrrrrw....................................wrrrrrrww.....",
    ".....wwrrrrrrww..................................wwrrrrrrww.....",
    "......wrrrrrrww..................................wwrrrrrrw......",
    "......wrrrrrrrww................................wwrrrrrrrw......",
    "......wwrrrrrrww................................wwrrrrrrww......",
    ".......wrrrrrrrww..............................wwrrrrrrrw.......",
    ".......wwrrrrrrrww............................wwrrrrrrrww.......",
    "........wrrrrrrrww............................wwrrrrrrrw........",
    "........wwrrrrrrrww..........................wwrrrrrrrww........",
    ".........wrrrrrrrrwww......................wwwrrrrrrrrw.........",
    ".........wwrrrrrrrrwww....................wwwrrrrrrrrww.........",
    "..........wwrrrrrrrrrwww................wwwrrrrrrrrrww..........",
    "...........wwrrrrrrrrrwwww............wwwwrrrrrrrrrww...........",
    "............wwrrrrrrrrrrwwwwwwwwwwwwwwwwrrrrrrrrrrww............",
    ".............wwrrrrrrrrrrrrrwwwwwwwwrrrrrrrrrrrrrww.............",
    "..............wwrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrww..............",
    "...............wwrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrww...............",
    "................wwwrrrrrrrrrrrrrrrrrrrrrrrrrrwww................",
    "..................wwwrrrrrrrrrrrrrrrrrrrrrrwww..................",
    "....................wwwrrrrrrrrrrrrrrrrrrwww....................",
    "......................wwwwwrrrrrrrrrrwwwww......................",
    ".........................wwwwwwwwwwwwww.........................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................"
};

wxCursor make_cursor(const char* const* xpm, int hot_x, int hot_y) {
    wxImage image(xpm);
    if (!image.IsOk())
        return wxCursor(wxCURSOR_ARROW);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, hot_x);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, hot_y);
    return wxCursor(image);
}

wxCursor make_arrow_cursor(arrow_badge badge) {
    std::vector<std::string> rows = arrow_cursor_rows(badge);
    std::vector<const char*> xpm = {"32 32 3 1", ". c None", "# c #000000", "o c #FFFFFF"};
    for (const std::string& row : rows)
        xpm.push_back(row.c_str());
    return make_cursor(xpm.data(), 0, 0);
}

}  // namespace kiv_addin
