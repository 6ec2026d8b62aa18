// xml_proc.h --
//
//     The XML service object ("svc_xml"), made by kiv_initialize and kept
//     until kiv_terminate. It owns the node factory; parsing itself lives
//     in xml_parser.cpp. One instance exists at a time: nodes that copy
//     themselves find it through current_xml_proc().

#ifndef KIV_CORE_SRC_XML_PROC_H
#define KIV_CORE_SRC_XML_PROC_H

#include "object/array_object_factory.h"
#include "xml/xml_node.h"

#include <kiv/core/i_xml.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

#include <cstddef>
#include <cstdio>

namespace kiv {

class xml_proc : public object, public mutex, public i_named_object_impl, public virtual i_xml_proc {
public:
    // Becomes the current XML service.
    xml_proc();
    // Stops being the current XML service, then gives up the factory's
    // block (nodes handed out live on).
    ~xml_proc() override;

    i_xml_node* parse_text(const char* text) override;
    i_xml_node* parse_file(const char* file_path) override;
    i_xml_node* create_node(const char* name) override;
    bool write_file(i_xml_node* node, const char* file_path, bool format) override;

    // Answers "i_xml_proc", "i_named_object" and "xml_proc" (the object
    // itself).
    bool get_interface(const char* name, void** out) override;

    // Returns: a new node with one reference for the caller, or null when
    //     memory fails. Any thread.
    xml_node* new_node() { return factory_.create(nullptr); }

private:
    array_object_factory<xml_node> factory_;  // 100 nodes per block, each block with its mutex
};

// Returns: the XML service that exists now, or null. No reference.
xml_proc* current_xml_proc();

// xml_parser.cpp: parses a document into nodes made by `proc`. `source`
// is either text (file null) or an open file read in 64 KiB chunks;
// `what` names the document in the trace of a failure.
// Returns: the root with one reference for the caller, or null.
xml_node* parse_xml_text(xml_proc& proc, const char* text, size_t size);
xml_node* parse_xml_file(xml_proc& proc, std::FILE* file, const char* what);

}  // namespace kiv

#endif
