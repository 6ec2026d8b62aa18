// config_loader.cpp --
//
//     kiv_load_config: the XML configuration read once at start-up. Two
//     passes over one document: the variables in document order, then
//     the libraries by priority. The library entries are taken into a
//     list once and each is marked when tried, so an entry is loaded at
//     most once wherever it sits (also under a second "libraries"
//     element) and the loop always ends.

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string_proc.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>

#include "log/last_log_error.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kiv {

namespace {

// The platform name that configuration entries may name.
const char config_platform[] = "win32";

bool platform_applies(i_xml_node* node) {
    const char* platform = node->get_attribute("platform");
    return *platform == '\0' || kiv::ascii_stricmp(platform, config_platform) == 0;
}

// An integer attribute as the configuration writes it: leading blanks,
// a sign and digits; anything else reads as 0, and values beyond the
// range of int are clamped instead of overflowing.
int int_attribute(i_xml_node* node, const char* name) {
    const char* text = node->get_attribute(name);
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text)
        return 0;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void apply_variables(i_xml_node* root, i_string_proc* proc) {
    auto_ptr_t<i_object_col> variables(root->select_nodes("variables/variable"));
    for (unsigned i = 0; variables && i < variables->get_count(); ++i) {
        auto_ptr_t<i_object> item(variables->get_item_by_pos(i));
        i_xml_node* node = kiv_cast_i_xml_node(item);
        if (node == nullptr || !platform_applies(node))
            continue;
        const char* name = node->get_attribute("name");
        const char* raw = node->get_attribute("value");
        bool is_path = std::strcmp(node->get_attribute("type"), "path") == 0;
        auto_string value(is_path ? kiv_get_absolute_path(raw) : proc->process(raw, nullptr));
        if (value.is_ok() && !kiv_set_env(name, value))
            kiv_trace("kiv_load_config: cannot set the variable '%s'", name);
    }
}

struct library_entry {
    auto_ptr_t<i_object> hold;  // keeps the node alive
    i_xml_node* node;
    int priority;
    bool tried;
};

bool load_libraries(i_xml_node* root, i_core* core) {
    auto_ptr_t<i_xml_node> libraries(root->select_single_node("libraries"));
    if (!libraries)
        return true;
    auto_ptr_t<i_object_col> nodes(root->select_nodes("libraries/library"));
    std::vector<library_entry> entries;
    for (unsigned i = 0; i < nodes->get_count(); ++i) {
        auto_ptr_t<i_object> item(nodes->get_item_by_pos(i));
        i_xml_node* node = kiv_cast_i_xml_node(item);
        if (node != nullptr && platform_applies(node))
            entries.push_back(library_entry{item, node, int_attribute(node, "priority"), false});
    }
    for (;;) {
        // Highest priority first; only a strictly greater one wins, so
        // ties go to the first in document order, and a negative priority
        // never beats the start value.
        library_entry* best = nullptr;
        int best_priority = -1;
        for (library_entry& entry : entries) {
            if (!entry.tried && entry.priority > best_priority) {
                best = &entry;
                best_priority = entry.priority;
            }
        }
        if (best == nullptr)
            return true;
        best->tried = true;
        if (core->load_library(best->node->get_attribute("path")) == nullptr &&
            int_attribute(best->node, "ignore_error") == 0)
            return false;
    }
}

}  // namespace

}  // namespace kiv

using namespace kiv;

bool kiv_load_config(const char* file_path) {
    i_core* core = kiv_core();
    if (core == nullptr)
        return false;
    kiv_trace("kiv_load_config(%s)", file_path != nullptr ? file_path : "(null)");
    // What goes wrong from here is the host's to show (kiv_last_log_error).
    clear_last_log_error();
    auto_ptr_t<i_object> xml_service(core->get_service("svc_xml"));
    auto_ptr_t<i_object> string_service(core->get_service("svc_string"));
    i_xml_proc* xml = kiv_cast_i_xml_proc(xml_service);
    i_string_proc* proc = kiv_cast_i_string_proc(string_service);
    if (xml == nullptr || proc == nullptr || file_path == nullptr)
        return false;
    auto_string path(proc->process(file_path, nullptr));
    if (!path.is_ok())
        return false;
    auto_ptr_t<i_xml_node> root(xml->parse_file(path));
    if (!root) {
        kiv_log(0, "kiv_load_config: cannot read the configuration '%s'", static_cast<const char*>(path));
        return false;
    }
    apply_variables(root, proc);
    return load_libraries(root, core);
}
