// zip_listing.cpp --
//
//     The archive listing as an XML tree built through "svc_xml": a root
//     "zip_file" with one "file" element per entry, in archive order,
//     carrying the stored name and the uncompressed size. The walk always
//     starts again at the first entry, wherever earlier reads left the
//     archive's current entry, and stops at the first entry minizip cannot
//     step to, so a directory that claims more entries than it holds
//     ends the listing rather than looping.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/zip/zip_reader.h>

#include <cinttypes>
#include <cstdio>

namespace kiv {

namespace {

// The name buffer of an entry's information; longer names are cut.
constexpr unsigned name_buffer_size = 1024;

}  // namespace

i_xml_node* zip_reader::get_contents() {
    mutex_locker lock(this);
    i_core* core = kiv_core();
    if (core == nullptr)
        return nullptr;
    auto_ptr_t<i_object> svc(core->get_service("svc_xml"));
    i_xml_proc* xml = kiv_cast_i_xml_proc(svc);
    if (xml == nullptr)
        return nullptr;
    unz_global_info64 global;
    if (unzGetGlobalInfo64(handle_, &global) != UNZ_OK)
        return nullptr;
    auto_ptr_t<i_xml_node> root(xml->create_node("zip_file"));
    if (!root)
        return nullptr;
    int step = unzGoToFirstFile(handle_);
    for (uint64_t i = 0; i < global.number_entry && step == UNZ_OK; ++i, step = unzGoToNextFile(handle_)) {
        unz_file_info64 info;
        char name[name_buffer_size] = {};
        if (unzGetCurrentFileInfo64(handle_, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) != UNZ_OK)
            continue;
        char size[24];
        std::snprintf(size, sizeof size, "%" PRIu64, uint64_t(info.uncompressed_size));
        auto_ptr_t<i_xml_node> file(xml->create_node("file"));
        if (!file || !file->set_attribute("name", name) || !file->set_attribute("size", size) ||
            !root->add_child(file, nullptr))
            return nullptr;
    }
    return root.detach();
}

}  // namespace kiv
