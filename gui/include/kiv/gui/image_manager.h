// image_manager.h --
//
//     The named image list shared by the GUI: trees, lists and panes take
//     their small icons from one wxImageList and refer to each icon by
//     name. An application that wants shared icons creates one and
//     registers it as "svc_gui_image_manager"; every consumer works
//     without it. It starts with the GIF files of the image folder
//     (KIV_IMAGE_PATH, by default ${KIV_ROOT_PATH}/images), each scaled to
//     the list's image size.

#ifndef KIV_GUI_IMAGE_MANAGER_H
#define KIV_GUI_IMAGE_MANAGER_H

#include <kiv/core/export.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

#include <map>
#include <memory>
#include <string>

class wxBitmap;
class wxIcon;
class wxImageList;

namespace kiv {

class i_image_manager : public virtual i_object {
public:
    // Returns: the image list, still owned by the manager.
    virtual wxImageList* get_image_list() = 0;
    // Adds the image to the list and points `name` at it (an earlier
    // image of that name stays in the list). Returns: its index; -1 for
    // a null or empty name or an image the list refuses.
    virtual int register_image(const char* name, wxIcon* icon) = 0;
    virtual int register_image(const char* name, wxBitmap* bitmap) = 0;
    // Returns: the index `name` leads to; -1 for null, empty or unknown.
    virtual int get_image_index(const char* name) = 0;
    // Returns: the first name (in name order) of image `index` with one
    // reference for the caller; null when no name leads there.
    virtual i_string* get_image_name(int index) = 0;
    // Imports a 16 x 16 BMP file: saves it as BMP into the image folder
    // under the file-name part of `name` (empty or null: a new name
    // "image<n><n><n>.bmp" that no file has yet) and registers it.
    // Returns: its index; -1 when the file does not load as such a
    // bitmap or cannot be saved (no file is left then).
    virtual int create_image(const char* name, const char* file) = 0;

protected:
    ~i_image_manager() = default;
};

class KIV_EXPORT image_manager : public object, public i_named_object_impl, public virtual i_image_manager {
public:
    image_manager(int width = 16, int height = 16, int initial_count = 0);
    // A copy has its own image list with the same pictures at the same
    // indexes, its own name map and the same name; the reference count
    // is not copied. Neither list is shared, so none is freed twice.
    // GUI thread.
    image_manager(const image_manager& other);
    image_manager& operator=(const image_manager& other);
    ~image_manager() override;

    bool get_interface(const char* name, void** out) override;

    wxImageList* get_image_list() override;
    int register_image(const char* name, wxIcon* icon) override;
    int register_image(const char* name, wxBitmap* bitmap) override;
    int get_image_index(const char* name) override;
    i_string* get_image_name(int index) override;
    int create_image(const char* name, const char* file) override;

private:
    void load_folder();
    int remember(const char* name, int index);

    std::unique_ptr<wxImageList> images_;
    std::unique_ptr<std::map<std::string, int>> names_;  // image name -> latest index
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_image_manager* kiv_cast_i_image_manager(kiv::i_object* obj);

#endif
