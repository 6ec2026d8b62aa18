// render_tools.cpp --
//
//     The pool of drawing tools of one driver.

#include "driver/render_tools.h"

#include <new>

namespace kiv {

namespace {

// Idle sets kept: one per image drawn at the same time, a few at most.
const size_t max_idle = 4;
// A set holding more than this after an image is freed.
const size_t max_kept_bytes = 32u << 20;

}  // namespace

std::unique_ptr<render_tool_pool::tools> render_tool_pool::take() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!idle_.empty()) {
            std::unique_ptr<tools> set = std::move(idle_.back());
            idle_.pop_back();
            return set;
        }
    }
    std::unique_ptr<tools> set(new (std::nothrow) tools);
    if (set && !set->fonts.init())
        set.reset();
    return set;
}

void render_tool_pool::give_back(std::unique_ptr<tools> set) {
    if (!set || set->cache.kept_bytes() > max_kept_bytes)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    if (idle_.size() < max_idle)
        idle_.push_back(std::move(set));
}

}  // namespace kiv
