// text_renderer_along_line.cpp --
//
//     Labels along a polyline: how the glyphs of each copy of the text
//     follow the segments; how many copies fit and where each starts
//     comes from label_copies.h, capped here at 2^20. One walk along
//     the line serves every copy in turn and never goes back. Each glyph
//     is turned to its segment; on a segment running right to left the
//     glyphs are taken from the last to the first and turned half a turn,
//     so the text still reads left to right, upright. A copy is given up
//     when a glyph would sit across a bend of more than 120 degrees, when
//     it runs past the line's end, or when the caller's checker refuses a
//     glyph box.
//
//     Coordinates come from the caller's path and may be anything: the
//     line length must be finite, and every value turned into a whole
//     pixel is clamped first, so a far-away vertex cannot overflow an int.

#include <kiv/image/label_copies.h>
#include <kiv/image/text_renderer.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace kiv {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double half_pi = 1.5707963267948966;
constexpr double max_bend = 2.0943951023931953;  // 120 degrees
// The most copies of one text along one line.
constexpr uint64_t max_labels = 1 << 20;
// Whole-pixel values are clamped to this magnitude before truncation.
constexpr double max_pixel = 1 << 30;

int to_pixel(double v) {
    return int(std::max(-max_pixel, std::min(max_pixel, v)));
}

}  // namespace

double text_renderer::get_line_length(text_path& path, unsigned n) {
    n = std::min(n, path.total_vertices());
    double length = 0;
    double px = 0, py = 0;
    for (unsigned i = 0; i < n; ++i) {
        double x = 0, y = 0;
        path.vertex(i, &x, &y);
        if (i > 0)
            length += std::hypot(x - px, y - py);
        px = x;
        py = y;
    }
    return length;
}

bool text_renderer::step_walk(text_path& path, unsigned vertex_count, line_walk& walk) {
    if (walk.index + 1 >= vertex_count)
        return false;
    double x = 0, y = 0;
    path.vertex(walk.index + 1, &x, &y);
    walk.px = walk.cx;
    walk.py = walk.cy;
    walk.cx = x;
    walk.cy = y;
    walk.dx = walk.cx - walk.px;
    walk.dy = walk.cy - walk.py;
    walk.length = std::hypot(walk.dx, walk.dy);
    walk.walked += walk.length;
    ++walk.index;
    return true;
}

bool text_renderer::render_along_line(text_renderer_base& ren, text_path& path, unsigned image_width,
                                      unsigned image_height, unsigned vertex_count,
                                      unsigned label_length, unsigned label_height, unsigned gap,
                                      placement_checker* checker) {
    const unsigned n = std::min(vertex_count, path.total_vertices());
    if (vertex_count < 2 || n < 2)
        return false;
    const double line_length = get_line_length(path, n);
    if (!std::isfinite(line_length))
        return false;
    if (line_length < label_length || items_.empty())
        return true;

    const label_copies copies =
        make_label_copies(line_length, label_length, gap, line_length / 2 - label_length / 2.0, max_labels);

    line_walk walk;
    path.vertex(0, &walk.cx, &walk.cy);
    walk.px = walk.cx;
    walk.py = walk.cy;

    std::vector<char_placement> placements;
    label_layout layout;
    for (uint64_t k = 0; k < copies.n; ++k) {
        if (!build_placement(path, image_width, image_height, n, placements, label_length,
                             label_height, copies.at(k), layout, walk, checker))
            continue;
        if (!layout.outside) {
            load_glyphs(placements);
            render_placement(ren, placements, to_pixel(layout.start_x), to_pixel(layout.start_y));
            cleanup_placement(placements);
        }
        if (checker != nullptr) {
            for (unsigned b = 0; b < layout.box_count; ++b) {
                const glyph_box& box = layout.boxes[b];
                checker->add_box(to_pixel(box.x0) - 1, to_pixel(box.y0) - 1, to_pixel(box.x1) + 1,
                                 to_pixel(box.y1) + 1);
            }
        }
    }
    return true;
}

bool text_renderer::build_placement(text_path& path, unsigned image_width, unsigned image_height,
                                    unsigned vertex_count, std::vector<char_placement>& placements,
                                    unsigned label_length, unsigned label_height,
                                    double start_offset, label_layout& layout, line_walk& walk,
                                    placement_checker* checker) {
    placements.clear();
    layout.box_count = 0;
    layout.outside = false;
    if (items_.size() > layout.boxes.size())
        return false;

    // Find the segment the start lies on. A start the walk cannot pass
    // lies at or beyond the line's end.
    while (walk.walked <= start_offset && step_walk(path, vertex_count, walk)) {
    }
    if (walk.walked <= start_offset || walk.length == 0)
        return false;

    const double back = walk.walked - start_offset;
    const double start_x = walk.cx - back * walk.dx / walk.length;
    const double start_y = walk.cy - back * walk.dy / walk.length;
    double theta = std::atan2(-walk.dy, walk.dx);
    const bool forward = std::fabs(theta) <= half_pi;

    const double far = std::max(image_width, image_height);
    if (std::hypot(start_x - far, start_y - far) - label_length > far + 300)
        return false;

    // Half the label's height, so the text is centred on the line.
    const double across = double(label_height / 2) - 1;
    const double upright_shift = double(label_height) - 2;
    double room = back;  // line left on the current segment before its end
    double min_x = HUGE_VAL, min_y = HUGE_VAL, max_x = -HUGE_VAL, max_y = -HUGE_VAL;
    const size_t count = items_.size();
    for (size_t k = 0; k < count; ++k) {
        const text_item& item = items_[forward ? k : count - 1 - k];
        const double w = item.width;
        const double h = item.height;
        if (w >= room) {
            const double before = theta;
            do {
                if (!step_walk(path, vertex_count, walk))
                    return false;
                room += walk.length;
            } while (room <= w);
            theta = std::atan2(-walk.dy, walk.dx);
            double bend = before - theta;
            if (bend > pi)
                bend -= 2 * pi;
            else if (bend < -pi)
                bend += 2 * pi;
            if (std::fabs(bend) > max_bend)
                return false;
        }
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        const double x0 = walk.cx - c * room + s * across;
        const double y0 = walk.cy + s * room + c * across;
        room -= w;

        const double xs[4] = {x0, x0 + w * c, x0 - h * s, x0 + w * c - h * s};
        const double ys[4] = {y0, y0 - w * s, y0 - h * c, y0 - w * s - h * c};
        glyph_box box = {*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4),
                         *std::max_element(xs, xs + 4), *std::max_element(ys, ys + 4)};
        if (checker != nullptr &&
            !checker->check_box(to_pixel(box.x0), to_pixel(box.y0), to_pixel(box.x1), to_pixel(box.y1)))
            return false;
        layout.boxes[layout.box_count++] = box;
        min_x = std::min(min_x, box.x0);
        min_y = std::min(min_y, box.y0);
        max_x = std::max(max_x, box.x1);
        max_y = std::max(max_y, box.y1);

        char_placement p;
        p.code = item.code;
        double origin_x = x0, origin_y = y0;
        p.angle = theta;
        if (!forward) {
            origin_x = x0 + w * c - upright_shift * s;
            origin_y = y0 - w * s - upright_shift * c;
            p.angle = theta + pi;
        }
        p.x = origin_x - start_x;
        p.y = start_y - origin_y;
        placements.push_back(std::move(p));
    }

    layout.start_x = start_x;
    layout.start_y = start_y;
    layout.outside = max_x < -5 || max_y < -5 || min_y > double(image_height) + 5 ||
                     min_x > double(image_width) + 5;
    return true;
}

}  // namespace kiv
