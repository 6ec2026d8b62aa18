// zip_reader_listing.cpp --
//
//     The archive listing as an XML tree built through "svc_xml": a root
//     "zip_file" with one "file" element per entry, in archive order,
//     carrying the stored name and the uncompressed size. It comes from
//     the reader's index of the directory (zip_reader.cpp), so it lists
//     from the first entry wherever earlier reads left the archive's
//     current entry, gives the zip64 sizes, and ends at the first entry
//     minizip cannot step to rather than looping on a directory that
//     claims more entries than it holds.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include "zip_reader.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace kiv {

namespace {

// Names are listed up to this many bytes.
constexpr size_t max_listed_name = 1023;

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
    build_index();
    for (const entry& e : entries_) {
        std::string name = e.name.substr(0, max_listed_name);
        char size[24];
        std::snprintf(size, sizeof size, "%" PRIu64, e.size);
        auto_ptr_t<i_xml_node> file(xml->create_node("file"));
        if (!file || !file->set_attribute("name", name.c_str()) || !file->set_attribute("size", size) ||
            !root->add_child(file, nullptr))
            return nullptr;
    }
    return root.detach();
}

}  // namespace kiv
