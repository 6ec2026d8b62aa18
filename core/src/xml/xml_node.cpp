// xml_node.cpp --
//
//     Reading and editing one XML element: text, attributes, children and
//     copies. A tree stays a tree: a node is only ever in one child list,
//     and no node becomes a child of itself or of one of its descendants
//     (the writer, the copy and the release of a tree walk it and would
//     never end on a cycle).

#include "xml/xml_node.h"
#include "xml/xml_proc.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace kiv {

namespace {
const char empty_text[] = "";
}  // namespace

bool xml_node::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_xml_node", static_cast<i_xml_node*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "xml_node", this, out))
        return true;
    return array_object_impl<xml_node>::get_interface(name, out);
}

namespace {

// The children still to be released while a tree is let go on this
// thread, or null when no release of a tree is under way here. A child
// whose last reference goes adds its own children at the end, so the
// outermost call releases a tree level by level, each list in order,
// whatever its depth.
thread_local std::vector<i_object*>* releasing = nullptr;

}  // namespace

void xml_node::personal_destruct() {
    // One pass over the list taken whole: no lock, count or look-up per
    // child beyond the release itself.
    std::vector<i_object*> items;
    children_.take_items(items);
    for (i_object* item : items) {
        xml_node* child = kiv_cast_xml_node(item);
        if (child != nullptr && child->parent_ == this)
            child->parent_ = nullptr;
    }
    if (releasing != nullptr) {
        try {
            releasing->insert(releasing->end(), items.begin(), items.end());
            return;
        } catch (const std::bad_alloc&) {
            // No room to queue them: release them here, recursively.
            for (i_object* item : items)
                item->release();
            return;
        }
    }
    releasing = &items;
    for (size_t i = 0; i < items.size(); ++i)  // grows while it runs: by index
        items[i]->release();
    releasing = nullptr;
}

const char* xml_node::get_text() {
    return text_.get_value();
}

bool xml_node::set_text(const char* text) {
    if (text == nullptr)
        return false;
    return text_.set_value(text);
}

i_object_col* xml_node::get_attributes() {
    return attributes_.copy();
}

const char* xml_node::get_attribute(const char* name) {
    if (name == nullptr)
        return empty_text;
    auto_ptr_t<i_object> item(attributes_.get_item_by_name(name));
    i_string* value = kiv_cast_i_string(item);
    // The attribute list keeps the object (and so the text) alive after
    // our reference goes.
    return value != nullptr ? value->get_value() : empty_text;
}

bool xml_node::set_attribute(const char* name, const char* value) {
    if (name == nullptr || value == nullptr || !kiv_is_running())
        return false;
    mutex_locker lock(&attributes_);
    auto_ptr_t<i_object> item(attributes_.get_item_by_name(name));
    if (i_string* existing = kiv_cast_i_string(item))
        return existing->set_value(value);
    auto_ptr_t<i_named_string> added(kiv_create_named_string(name, value));
    attributes_.add_item(added, false);
    return true;
}

bool xml_node::delete_attribute(const char* name) {
    if (name == nullptr)
        return false;
    mutex_locker lock(&attributes_);
    auto_ptr_t<i_object> item(attributes_.get_item_by_name(name));
    if (!item)
        return false;
    attributes_.remove_item(item);
    return true;
}

i_object_col* xml_node::get_child_nodes() {
    return children_.copy();
}

bool xml_node::is_self_or_ancestor(xml_node* node) const {
    if (node == this)
        return true;
    // A node without children is nobody's ancestor: adding a new node
    // costs the same at any depth. Otherwise the walk up from here is as
    // long as this node is deep, and from a root (a tree being built
    // from the leaves up) it ends at once.
    if (node->children_.get_count() == 0)
        return false;
    for (const xml_node* walk = parent_; walk != nullptr; walk = walk->parent_)
        if (walk == node)
            return true;
    return false;
}

bool xml_node::add_child(i_xml_node* node, i_xml_node* prev_child) {
    int pos = prev_child != nullptr ? children_.get_item_pos(static_cast<i_object*>(prev_child)) : -1;
    return insert_child(node, pos);
}

bool xml_node::insert_child(i_xml_node* node, int pos) {
    xml_node* child = kiv_cast_xml_node(node);
    if (child == nullptr || is_self_or_ancestor(child))
        return false;
    // Held across the move: the old parent's list may hold the only
    // reference.
    auto_ptr_t<i_object> hold(child);
    child->addref();
    if (child->parent_ == this) {
        // Already ours: take it out first, so the node ends up where it
        // was asked to go, and count the position in the list without it.
        int old_pos = children_.get_item_pos(static_cast<i_object*>(child));
        if (old_pos >= 0 && pos > old_pos)
            --pos;
        remove_child(child);
    } else if (child->parent_ != nullptr) {
        child->parent_->remove_child(child);
    }
    unsigned at = pos < 0 ? children_.get_count() : static_cast<unsigned>(pos);
    children_.insert_item(child, at);
    child->parent_ = this;
    return true;
}

bool xml_node::remove_child(i_xml_node* node) {
    if (node == nullptr)
        return false;
    i_object* item = static_cast<i_object*>(node);
    if (children_.get_item_pos(item) < 0)
        return true;
    xml_node* child = kiv_cast_xml_node(item);
    if (child != nullptr && child->parent_ == this)
        child->parent_ = nullptr;
    children_.remove_item(item);
    return true;
}

i_xml_node* xml_node::get_parent_node() {
    if (parent_ == nullptr)
        return nullptr;
    parent_->addref();
    return parent_;
}

i_xml_node* xml_node::create_copy(bool recursive) {
    return copy_node(recursive, 0);
}

xml_node* xml_node::copy_node(bool recursive, unsigned depth) {
    if (depth >= xml_max_depth)
        return nullptr;
    xml_proc* proc = current_xml_proc();
    if (proc == nullptr)
        return nullptr;
    xml_node* copy = proc->new_node();
    if (copy == nullptr)
        return nullptr;
    copy->set_name(get_name());
    copy->set_text(get_text());
    auto_ptr_t<i_object_col> attrs(get_attributes());
    for (unsigned i = 0; i < attrs->get_count(); ++i) {
        auto_ptr_t<i_object> item(attrs->get_item_by_pos(i));
        i_named_string* attr = kiv_cast_i_named_string(item);
        if (attr != nullptr)
            copy->set_attribute(attr->get_name(), attr->get_value());
    }
    if (recursive) {
        auto_ptr_t<i_xml_node> hold(copy);  // given up when a part fails
        auto_ptr_t<i_object_col> kids(get_child_nodes());
        for (unsigned i = 0; i < kids->get_count(); ++i) {
            auto_ptr_t<i_object> item(kids->get_item_by_pos(i));
            xml_node* kid = kiv_cast_xml_node(item);
            if (kid == nullptr)
                continue;
            auto_ptr_t<i_xml_node> kid_copy(kid->copy_node(true, depth + 1));
            if (!kid_copy)
                return nullptr;
            copy->add_child(kid_copy, nullptr);
        }
        hold.detach();  // the caller's reference
    }
    return copy;
}

void xml_node::append_parsed_child(xml_node* child) {
    children_.add_item(child, false);
    child->parent_ = this;
}

namespace {

// Gives `target` a buffer of exactly `size` bytes holding `text` (a parsed
// tree is mostly read, never grown: no slack is allocated for it).
// Throws std::bad_alloc when memory fails.
void assign_exact(i_string_impl& target, const char* text, size_t size) {
    if (size == 0 || size >= UINT32_MAX) {
        target.set_value(text);  // empty, or refused as too long
        return;
    }
    char* copy = static_cast<char*>(std::malloc(size + 1));
    if (copy == nullptr)
        throw std::bad_alloc();
    std::memcpy(copy, text, size);
    copy[size] = '\0';
    target.assign_buffer(copy, static_cast<unsigned>(size + 1));
}

}  // namespace

void xml_node::append_parsed_attribute(const char* name, const char* value) {
    // Not counted until the list takes it, so a failure deletes it plainly.
    std::unique_ptr<named_string> attr(new named_string);
    attr->set_name(name);
    assign_exact(*attr, value, std::strlen(value));
    attributes_.add_item(attr.get(), false);
    attr.release();
}

void xml_node::assign_parsed_text(const std::string& text) {
    assign_exact(text_, text.data(), text.size());
}

}  // namespace kiv
