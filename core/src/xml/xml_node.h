// xml_node.h --
//
//     One XML element of a tree made by the XML service. Nodes are made a
//     hundred at a time by the service's factory and counted by their
//     block (array_object.h); each node also keeps a personal count, and
//     when that drops to 0 the node lets its children go, so releasing
//     the root of a tree frees the whole tree. A node is held by its
//     parent's child list and by outside references; the parent link
//     holds nothing and is cleared before a parent lets a child go.

#ifndef KIV_CORE_SRC_XML_NODE_H
#define KIV_CORE_SRC_XML_NODE_H

#include "object/array_object.h"
#include <kiv/core/i_xml.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include <string>

namespace kiv {

// The deepest element nesting the service reads, writes and copies: a
// document nested deeper is refused by the parser, and a tree nested
// deeper is refused by the writer, so what one writes the other reads.
// Trees are written and copied recursively; the bound keeps the stack
// small.
const unsigned xml_max_depth = 1024;

class xml_node : public array_object<xml_node>, public i_named_object_impl, public virtual i_xml_node {
public:
    // The factory's own reference is the personal count's first.
    xml_node() { personal_count_ = 1; }

    const char* get_text() override;
    bool set_text(const char* text) override;
    i_object_col* get_attributes() override;
    const char* get_attribute(const char* name) override;
    bool set_attribute(const char* name, const char* value) override;
    bool delete_attribute(const char* name) override;
    i_object_col* get_child_nodes() override;
    bool add_child(i_xml_node* node, i_xml_node* prev_child) override;
    bool insert_child(i_xml_node* node, int pos) override;
    bool remove_child(i_xml_node* node) override;
    i_xml_node* get_parent_node() override;
    char* get_xml(bool format) override;                       // xml_node_writer.cpp
    i_object_col* select_nodes(const char* xpath) override;    // xml_node_query.cpp
    i_xml_node* select_single_node(const char* xpath) override;  // xml_node_query.cpp
    i_xml_node* create_copy(bool recursive) override;

    // Answers "i_xml_node", "i_named_object" and "xml_node" (the node
    // object itself).
    bool get_interface(const char* name, void** out) override;
    // Clears the parent link of every child, then lets the children go.
    // A tree of any depth is let go without recursion: children released
    // while a tree is going are queued for the outermost call.
    void personal_destruct() override;

    // For the parser, which builds a tree no one else sees yet: appends a
    // child (adding a reference) and links it to this node. Throws
    // std::bad_alloc when the list cannot grow (nothing is changed).
    void append_parsed_child(xml_node* child);
    // For the parser: appends an attribute without looking for an old one.
    void append_parsed_attribute(const char* name, const char* value);
    // For the parser: takes the element's collected character data.
    void assign_parsed_text(const std::string& text);
    // Makes room for `count` attributes.
    void reserve_attributes(unsigned count) { attributes_.reserve(count); }

    // Returns: the parent (no reference), or null.
    xml_node* parent() const { return parent_; }
    // The child list itself, for the writer and the query walk.
    object_col& children() { return children_; }
    // The attribute list itself (named_string items), for the writer.
    object_col& attributes() { return attributes_; }

private:
    // Returns: whether `node` is this node or one of its ancestors.
    bool is_self_or_ancestor(xml_node* node) const;
    // create_copy for a node `depth` levels below the copied top.
    // Returns: the copy with one reference, or null (memory, or a subtree
    //     nested deeper than xml_max_depth).
    xml_node* copy_node(bool recursive, unsigned depth);

    xml_node* parent_ = nullptr;  // holds no reference; null: a root or detached node
    object_col children_;         // child nodes in order, one reference each
    object_col attributes_;       // named_string per attribute, in order, one reference each
    string text_;                 // the element's character data
};

}  // namespace kiv

#endif
