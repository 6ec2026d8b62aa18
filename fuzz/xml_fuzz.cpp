// xml_fuzz.cpp --
//
//     Parses any text with the XML service. A document that parses is
//     queried, copied, edited and written; what the service writes must
//     parse again, and after one round (which settles what the parser
//     normalises: line ends, blanks in attribute values) writing and
//     reading back must give the same text.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"

namespace {

kiv::i_xml_proc* service() {
    static kiv::i_xml_proc* proc = [] {
        kiv_enable_trace(false);
        private_root();
        kiv_initialize();
        return kiv_cast_i_xml_proc(kiv_core()->get_service("svc_xml"));  // kept for the run
    }();
    return proc;
}

std::string write(kiv::i_xml_node* node, bool format) {
    char* text = node->get_xml(format);
    if (text == nullptr)
        std::abort();
    std::string s(text);
    free(text);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kiv::i_xml_proc* proc = service();
    std::string input(reinterpret_cast<const char*>(data), size);
    auto_ptr_t<kiv::i_xml_node> root(proc->parse_text(input.c_str()));
    if (!root)
        return 0;

    auto_ptr_t<kiv::i_object_col> found(root->select_nodes("./*/../a/b[x=1]"));
    auto_ptr_t<kiv::i_xml_node> first(root->select_single_node("a"));
    auto_ptr_t<kiv::i_object_col> kids(root->get_child_nodes());
    if (kids->get_count() > 0) {
        auto_ptr_t<kiv::i_object> last(kids->get_item_by_pos(kids->get_count() - 1));
        kiv::i_xml_node* moved = kiv_cast_i_xml_node(last);
        root->insert_child(moved, 0);
        if (first)
            first->insert_child(root, 0);  // refused: root is an ancestor
    }
    auto_ptr_t<kiv::i_xml_node> copy(root->create_copy(true));

    std::string once = write(copy, false);
    auto_ptr_t<kiv::i_xml_node> again(proc->parse_text(once.c_str()));
    if (!again)
        std::abort();
    std::string twice = write(again, false);
    auto_ptr_t<kiv::i_xml_node> third(proc->parse_text(twice.c_str()));
    if (!third || write(third, false) != twice)
        std::abort();
    auto_ptr_t<kiv::i_xml_node> formatted(proc->parse_text(write(root, true).c_str()));
    if (!formatted)
        std::abort();
    return 0;
}
