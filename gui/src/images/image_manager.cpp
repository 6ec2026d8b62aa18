// image_manager.cpp --
//
//     The shared named image list: the GIF files of the image folder
//     loaded at construction, images registered at run time, and BMP
//     files imported into the image folder. Imported files are written
//     whole or not at all, and a generated name is reserved on disk first
//     so it never replaces a file that is already there.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_string.h>
#include <kiv/core/i_string_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/service_ref.h>
#include <kiv/gui/image_manager.h>

#include "shared_images.h"

#include <wx/bitmap.h>
#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace kiv {

namespace {

// Imported images must have exactly this size.
const int import_side = 16;
// Generated names tried before giving up on a crowded folder.
const int temporary_name_tries = 100;

// The image folder from KIV_IMAGE_PATH; when unset, ${KIV_ROOT_PATH}/images
// through the string service, which then becomes KIV_IMAGE_PATH.
// Returns: false when there is none.
bool image_folder(std::string& folder) {
    if (kiv_get_env("KIV_IMAGE_PATH", folder))
        return true;
    if (kiv_core() == nullptr)
        return false;
    auto_ptr_t<i_object> service(kiv_core()->get_service("svc_string"));
    i_string_proc* proc = kiv_cast_i_string_proc(service.get());
    // Without a root the expansion would name "/images" at the top of
    // the file system.
    std::string root;
    if (proc == nullptr || !kiv_get_env("KIV_ROOT_PATH", root) || root.empty())
        return false;
    auto_string expanded(proc->process("${KIV_ROOT_PATH}/images", nullptr));
    if (!expanded.is_ok())
        return false;
    folder = static_cast<const char*>(expanded);
    kiv_set_env("KIV_IMAGE_PATH", folder.c_str());
    return true;
}

// The file-name part of `name` ("/" and "\" separate); empty when that
// part is empty or names a directory ("." or "..").
std::string file_name_part(const char* name) {
    std::string text(name);
    size_t slash = text.find_last_of("/\\");
    std::string part = slash == std::string::npos ? text : text.substr(slash + 1);
    if (part == "." || part == "..")
        part.clear();
    return part;
}

enum class new_file { written, name_taken, failed };

// Writes `data` as a new file at `path`, never over an existing one: the
// name is taken with O_EXCL, then filled whole. No file is left behind
// unless it was written.
new_file write_new_file(const std::string& path, const std::vector<unsigned char>& data) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EEXIST ? new_file::name_taken : new_file::failed;
    ::close(fd);
    if (kiv_write_binary_file(path.c_str(), data.data(), static_cast<unsigned>(data.size())))
        return new_file::written;
    ::unlink(path.c_str());
    return new_file::failed;
}

}  // namespace

image_manager::image_manager(int width, int height, int initial_count)
    : images_(new wxImageList(width, height, true, initial_count)), names_(new std::map<std::string, int>) {
    set_name("image_manager");
    kiv_trace("image_manager::image_manager(%d, %d)", width, height);
    load_folder();
}

namespace {

// A list of `source`'s size holding a copy of each of its pictures.
wxImageList* copy_image_list(wxImageList& source) {
    int width = 0, height = 0;
    source.GetSize(0, width, height);
    auto* copy = new wxImageList(width, height, true, source.GetImageCount());
    for (int i = 0; i < source.GetImageCount(); i++)
        copy->Add(source.GetBitmap(i));
    return copy;
}

}  // namespace

image_manager::image_manager(const image_manager& other)
    : object(other),
      i_named_object_impl(),
      images_(copy_image_list(*other.images_)),
      names_(new std::map<std::string, int>(*other.names_)) {
    set_name(other.name_ != nullptr ? other.name_ : "");
}

image_manager& image_manager::operator=(const image_manager& other) {
    if (this == &other)
        return *this;
    images_.reset(copy_image_list(*other.images_));
    names_.reset(new std::map<std::string, int>(*other.names_));
    set_name(other.name_ != nullptr ? other.name_ : "");
    return *this;
}

image_manager::~image_manager() {
    kiv_trace("image_manager::~image_manager()");
}

void image_manager::load_folder() {
    std::string folder;
    if (!image_folder(folder))
        return;
    if (!kiv_dir_exists(folder.c_str())) {
        kiv_trace("image_manager::image_manager() - {KIV_IMAGE_PATH=\"%s\"} - invalid directory;", folder.c_str());
        return;
    }
    wxArrayString found;
    wxDir::GetAllFiles(wxString::FromUTF8(folder), &found, "*.gif", wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN);
    // Directory order differs between file systems; sorted paths decide
    // the same way everywhere which of two equal names wins.
    std::vector<wxString> paths(found.begin(), found.end());
    std::sort(paths.begin(), paths.end());
    int width = 0, height = 0;
    images_->GetSize(0, width, height);
    wxLogNull quiet;  // a broken file is skipped, not reported in a dialog
    for (const wxString& path : paths) {
        wxImage image;
        if (!wxFileName::FileExists(path) || !image.LoadFile(path, wxBITMAP_TYPE_ANY) || !image.IsOk())
            continue;
        if (image.GetWidth() != width || image.GetHeight() != height)
            image.Rescale(width, height, wxIMAGE_QUALITY_HIGH);
        wxBitmap bitmap(image);
        register_image(wxFileName(path).GetFullName().utf8_str(), &bitmap);
    }
}

bool image_manager::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_image_manager", static_cast<i_image_manager*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

wxImageList* image_manager::get_image_list() {
    return images_.get();
}

int image_manager::remember(const char* name, int index) {
    if (index < 0)
        return -1;
    (*names_)[name] = index;
    return index;
}

int image_manager::register_image(const char* name, wxIcon* icon) {
    if (name == nullptr || *name == '\0' || icon == nullptr || !icon->IsOk())
        return -1;
    return remember(name, images_->Add(*icon));
}

int image_manager::register_image(const char* name, wxBitmap* bitmap) {
    if (name == nullptr || *name == '\0' || bitmap == nullptr || !bitmap->IsOk())
        return -1;
    return remember(name, images_->Add(*bitmap, wxNullBitmap));
}

int image_manager::get_image_index(const char* name) {
    if (name == nullptr || *name == '\0')
        return -1;
    auto found = names_->find(name);
    return found == names_->end() ? -1 : found->second;
}

i_string* image_manager::get_image_name(int index) {
    if (index < 0 || index >= images_->GetImageCount())
        return nullptr;
    for (const auto& entry : *names_) {
        if (entry.second == index)
            return kiv_create_string(entry.first.c_str());
    }
    return nullptr;
}

int image_manager::create_image(const char* name, const char* file) {
    if (file == nullptr || *file == '\0')
        return -1;
    bool generated = name == nullptr || *name == '\0';
    std::string target = generated ? std::string() : file_name_part(name);
    if (!generated && target.empty())
        return -1;

    wxBitmap bitmap;
    {
        wxLogNull quiet;
        if (!bitmap.LoadFile(wxString::FromUTF8(file), wxBITMAP_TYPE_BMP) || !bitmap.IsOk())
            return -1;
    }
    if (bitmap.GetWidth() != import_side || bitmap.GetHeight() != import_side)
        return -1;

    // The folder itself is expanded; the name is taken as it is, so a "$"
    // in it stays a character.
    std::string folder;
    if (!kiv_get_env("KIV_IMAGE_PATH", folder) || folder.empty())
        return -1;
    auto_string dir(kiv_get_absolute_path(folder.c_str()));
    if (!dir.is_ok())
        return -1;

    wxMemoryOutputStream stream;
    if (!bitmap.ConvertToImage().SaveFile(stream, wxBITMAP_TYPE_BMP))
        return -1;
    std::vector<unsigned char> data(stream.GetLength());
    stream.CopyTo(data.data(), data.size());

    std::string base = static_cast<const char*>(dir);
    if (base.empty() || base.back() != '/')
        base += '/';
    if (generated) {
        new_file result = new_file::name_taken;
        for (int attempt = 0; attempt < temporary_name_tries && result == new_file::name_taken; ++attempt) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "image%d%d%d.bmp", std::rand(), std::rand(), std::rand());
            target = buffer;
            result = write_new_file(base + target, data);
        }
        if (result != new_file::written)
            return -1;
    } else if (!kiv_write_binary_file((base + target).c_str(), data.data(), static_cast<unsigned>(data.size()))) {
        return -1;
    }
    return register_image(target.c_str(), &bitmap);
}

wxImageList* shared_image_list() {
    auto_ptr_t<i_image_manager> images = service_ref("svc_gui_image_manager", kiv_cast_i_image_manager);
    return images != nullptr ? images->get_image_list() : nullptr;
}

int shared_image_index(const char* name) {
    if (name == nullptr || *name == '\0')
        return -1;
    auto_ptr_t<i_image_manager> images = service_ref("svc_gui_image_manager", kiv_cast_i_image_manager);
    return images != nullptr ? images->get_image_index(name) : -1;
}

}  // namespace kiv

kiv::i_image_manager* kiv_cast_i_image_manager(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_image_manager>(obj, "i_image_manager");
}
