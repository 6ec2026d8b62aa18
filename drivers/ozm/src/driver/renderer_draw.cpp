#include <kiv/ozm/ozm_renderer.h>
namespace kiv {
i_image* ozm_renderer::render_image(bool) { return nullptr; }
}
