// render_tools.h --
//
//     The drawing tools a driver keeps for its renderers between images:
//     each set is a font manager with a render cache of its faces, glyphs
//     and rasteriser, and the crew of pool workers its images share their
//     drawing with. A renderer borrows one set for one image and gives
//     it back, so the faces are opened and the rasteriser's memory is
//     taken once, not per image (the GIS service makes a renderer for
//     every image). A set serves one image at a time; images drawn at
//     the same time get sets of their own. Sets that hold much memory
//     after an image (a huge path) are freed rather than kept, and at
//     most a few idle sets are kept.

#ifndef KIV_OZM_SRC_DRIVER_RENDER_TOOLS_H
#define KIV_OZM_SRC_DRIVER_RENDER_TOOLS_H

#include <kiv/image/font_manager.h>

#include "render/crew.h"
#include "render/render_context.h"

#include <memory>
#include <mutex>
#include <vector>

namespace kiv {

class render_tool_pool {
public:
    struct tools {
        font_manager fonts;  // declared first: the cache's faces go before it
        render_cache cache;
        ozm::crew crew{ozm::cpu_count() - 1};  // shares the drawing of the set's images out
    };

    // Returns: an idle set, else a new one; null when FreeType does not
    //     start or memory runs out.
    std::unique_ptr<tools> take();
    // Keeps `set` for the next image, or frees it (see above).
    void give_back(std::unique_ptr<tools> set);

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<tools>> idle_;  // under lock_
};

}  // namespace kiv

#endif
