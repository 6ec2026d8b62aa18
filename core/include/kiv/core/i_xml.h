// i_xml.h --
//
//     XML documents ("svc_xml"): the service turns XML text into trees of
//     reference-counted element nodes, which callers query with simple
//     paths, edit, and write back as text or to a file. It is the only
//     XML facility of the system (configuration, archive listings, map
//     render configurations).
//
//         auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_xml"));
//         auto_ptr_t<i_xml_node> root(kiv_cast_i_xml_proc(svc)->parse_file("config/config.xml"));
//         auto_ptr_t<i_object_col> libs(root->select_nodes("libraries/library[platform=win32]"));
//
//     Texts are UTF-8 as the parser delivers them. Getters of texts lend
//     them (valid while the node lives and the value is unchanged); every
//     node and collection handed out carries one reference for the caller.
//     A tree is not locked as a whole: concurrent edits of one tree are
//     the callers' business, while parsing, creating and releasing nodes
//     are safe from any thread.

#ifndef KIV_CORE_I_XML_H
#define KIV_CORE_I_XML_H

#include <kiv/core/i_string.h>

namespace kiv {

class i_object_col;
class xml_node;
class xml_proc;

// One element: its name (i_named_object), attributes, text and children.
class i_xml_node : public virtual i_named_object {
public:
    // Returns: the element's character data (the runs directly inside it,
    //     joined, with surrounding blanks trimmed at parse time); never null.
    virtual const char* get_text() = 0;
    // Copies `text` in. Returns: false for null.
    virtual bool set_text(const char* text) = 0;
    // Returns: a new collection of the node's own attribute objects
    //     (i_named_string: name and value) in order; changing a value
    //     through it changes the node. One reference for the caller.
    virtual i_object_col* get_attributes() = 0;
    // Returns: the value of attribute `name` (exact), or the empty text
    //     when there is none. Borrowed.
    virtual const char* get_attribute(const char* name) = 0;
    // Sets an attribute's value, adding the attribute last when new.
    // Returns: false for a null name or value, or while the core is not
    //     running (nothing changes then).
    virtual bool set_attribute(const char* name, const char* value) = 0;
    // Returns: true when an attribute of that name was removed.
    virtual bool delete_attribute(const char* name) = 0;
    // Returns: a new collection of the child nodes in order, one
    //     reference for the caller.
    virtual i_object_col* get_child_nodes() = 0;
    // Inserts `node` directly before `prev_child`, or last when prev_child
    // is null or not a child. As insert_child otherwise.
    virtual bool add_child(i_xml_node* node, i_xml_node* prev_child) = 0;
    // Makes `node` a child of this node before position `pos` (counted in
    // the current list; negative or past the end: last), taking it out of
    // its old parent's list first. A node that is already a child moves.
    // Returns: false (nothing changed) for null, this node itself, a node
    //     not made by the XML service, or an ancestor of this node.
    virtual bool insert_child(i_xml_node* node, int pos) = 0;
    // Takes `node` out of the child list and clears its parent link.
    // Returns: false only for null (true also when it was no child).
    virtual bool remove_child(i_xml_node* node) = 0;
    // Returns: the parent with one reference for the caller, or null.
    virtual i_xml_node* get_parent_node() = 0;
    // Returns: the node and its subtree as XML text (no declaration);
    //     with `format`, one element per line indented by tabs. A malloc-ed
    //     text the caller frees, or null when memory fails.
    virtual char* get_xml(bool format) = 0;
    // Evaluates a path of steps separated by "/": an element name with an
    //     optional filter "name[attribute=value]", "." (this node), ".."
    //     (the parent) or an empty step (a leading "/" stays on this
    //     node). Only elements matched by a last name step are returned,
    //     depth-first in document order.
    // Returns: a new collection of the matches, one reference for the
    //     caller; null for a null path.
    virtual i_object_col* select_nodes(const char* xpath) = 0;
    // Returns: the first match select_nodes would give, with one
    //     reference for the caller, or null.
    virtual i_xml_node* select_single_node(const char* xpath) = 0;
    // Returns: a new detached copy (with `recursive`, with copies of every
    //     descendant), one reference for the caller; null when the XML
    //     service is gone.
    virtual i_xml_node* create_copy(bool recursive) = 0;

protected:
    ~i_xml_node() = default;
};

// The service registered as "svc_xml".
class i_xml_proc : public virtual i_object {
public:
    // Parses a whole document held in memory.
    // Returns: the root element with one reference for the caller, or
    //     null for null text or a document that is not well-formed, is
    //     truncated, has no root, nests deeper than 1024 elements or
    //     declares an encoding the parser does not know (UTF-8, UTF-16,
    //     ISO-8859-1 and US-ASCII are known). The cause goes to the trace.
    virtual i_xml_node* parse_text(const char* text) = 0;
    // Parses a file (relative paths are under KIV_ROOT_PATH), read in
    // 64 KiB chunks. Returns: as parse_text; null also when the file
    //     cannot be opened or read.
    virtual i_xml_node* parse_file(const char* file_path) = 0;
    // Returns: a new detached element called `name`, one reference for the
    //     caller; null for a null name.
    virtual i_xml_node* create_node(const char* name) = 0;
    // Writes get_xml(format) of `node` to `file_path` (taken as given),
    // replacing the file only once the whole text was written.
    // Returns: false for a null node or path, an empty path, or a failed
    //     write (the old file is then left as it was).
    virtual bool write_file(i_xml_node* node, const char* file_path, bool format) = 0;

protected:
    ~i_xml_proc() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_xml_proc* kiv_cast_i_xml_proc(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_xml_node* kiv_cast_i_xml_node(kiv::i_object* obj);
// Returns: the node object itself when `obj` is a node made by the XML
//     service, else null. No reference is added.
KIV_EXTERN_C kiv::xml_node* kiv_cast_xml_node(kiv::i_object* obj);
// Returns: the XML service object itself, else null. No reference is added.
KIV_EXTERN_C kiv::xml_proc* kiv_cast_xml_proc(kiv::i_object* obj);

#endif
