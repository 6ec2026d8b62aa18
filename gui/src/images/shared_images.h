// shared_images.h --
//
//     What the library's own windows take from the registered image
//     manager ("svc_gui_image_manager"): its image list, to be borrowed
//     (never owned) by a tree, list or notebook, and the index of an image
//     name. Without a registered manager there is no list and no index.

#ifndef KIV_GUI_SRC_IMAGES_SHARED_IMAGES_H
#define KIV_GUI_SRC_IMAGES_SHARED_IMAGES_H

class wxImageList;

namespace kiv {

// Returns: the manager's image list, still the manager's, or null.
wxImageList* shared_image_list();
// Returns: the manager's index of `name`; -1 without a manager or for a
//     null, empty or unknown name.
int shared_image_index(const char* name);

}  // namespace kiv

#endif
