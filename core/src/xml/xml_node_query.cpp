// xml_node_query.cpp --
//
//     The path queries of XML nodes (select_nodes, select_single_node).
//     A path is a list of steps separated by "/": "." and an empty step
//     stay on the node, ".." goes to the parent, anything else is an
//     element name with an optional filter "[attribute=value]". Matches of
//     the last name step are collected depth-first in document order; a
//     path that ends in "." or ".." collects nothing, and one trailing "/"
//     after a name step is ignored.
//
//     The walk keeps its own stack instead of recursing, so a path of any
//     length (paths may come from scripts) cannot exhaust the thread's
//     stack.

#include "xml/xml_node.h"

#include <kiv/core/auto_ptr.h>

#include <cstring>
#include <string>
#include <vector>

namespace kiv {

namespace {

struct step {
    enum kind_t { stay, up, name } kind = stay;
    std::string element;    // the element name of a name step
    std::string attribute;  // the filter's attribute; empty: no filter
    std::string value;      // the filter's value (never empty with a filter)
};

// Splits a name step at runs of "[", "=" and "]": element, attribute,
// value. A filter counts only with both an attribute and a value.
step parse_name_step(const std::string& text) {
    step s;
    s.kind = step::name;
    if (text.find('[') == std::string::npos) {
        s.element = text;
        return s;
    }
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size() && tokens.size() < 3) {
        while (i < text.size() && std::strchr("[=]", text[i]) != nullptr)
            ++i;
        size_t start = i;
        while (i < text.size() && std::strchr("[=]", text[i]) == nullptr)
            ++i;
        if (i > start)
            tokens.push_back(text.substr(start, i - start));
    }
    if (!tokens.empty())
        s.element = tokens[0];
    if (tokens.size() == 3) {
        s.attribute = tokens[1];
        s.value = tokens[2];
    }
    return s;
}

std::vector<step> parse_path(const char* path) {
    std::vector<step> steps;
    std::string text(path);
    if (text.empty())
        return steps;
    if (text.back() == '/')
        text.pop_back();
    size_t start = 0;
    for (;;) {
        size_t slash = text.find('/', start);
        std::string token = text.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (token.empty() || token == ".")
            steps.push_back(step());
        else if (token == "..")
            steps.push_back(step{step::up, {}, {}, {}});
        else
            steps.push_back(parse_name_step(token));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return steps;
}

bool matches(xml_node* node, const step& s) {
    if (std::strcmp(node->get_name(), s.element.c_str()) != 0)
        return false;
    if (s.attribute.empty())
        return true;
    auto_ptr_t<i_object> item(node->attributes().get_item_by_name(s.attribute.c_str()));
    i_string* value = kiv_cast_i_string(item);
    return value != nullptr && s.value == value->get_value();
}

// One node whose children are being matched against steps[index].
struct frame {
    auto_ptr_t<i_object> hold;  // keeps the node alive during the walk
    xml_node* node;
    size_t index;
    unsigned next_child = 0;
};

class query {
public:
    query(const std::vector<step>& steps, object_col* result, bool single)
        : steps_(steps), result_(result), single_(single) {}

    void run(xml_node* start) {
        enter(start, 0);
        while (!stack_.empty() && !done_) {
            frame& top = stack_.back();
            auto_ptr_t<i_object> item(top.node->children().get_item_by_pos(top.next_child));
            if (!item) {
                stack_.pop_back();
                continue;
            }
            ++top.next_child;
            xml_node* child = kiv_cast_xml_node(item);
            size_t index = top.index;
            if (child == nullptr || !matches(child, steps_[index]))
                continue;
            if (index + 1 == steps_.size()) {
                result_->add_item(child, false);
                // The first match in document order is the answer.
                done_ = single_;
            } else {
                enter(child, index + 1);  // may grow the stack: `top` is not used after this
            }
        }
    }

private:
    // Applies the steps from `index` that do not descend, then queues the
    // node for the next name step. A path ending in such steps adds nothing.
    void enter(xml_node* node, size_t index) {
        for (; index < steps_.size(); ++index) {
            if (steps_[index].kind == step::name)
                break;
            if (index + 1 == steps_.size())
                return;
            if (steps_[index].kind == step::up) {
                node = node->parent();
                if (node == nullptr)
                    return;
            }
        }
        if (index == steps_.size())
            return;
        node->addref();
        stack_.push_back(frame{auto_ptr_t<i_object>(node), node, index});
    }

    const std::vector<step>& steps_;
    object_col* result_;
    bool single_;
    bool done_ = false;
    std::vector<frame> stack_;
};

object_col* new_result() {
    object_col* col = new object_col;
    col->addref();
    return col;
}

}  // namespace

i_object_col* xml_node::select_nodes(const char* xpath) {
    if (xpath == nullptr)
        return nullptr;
    std::vector<step> steps = parse_path(xpath);
    object_col* result = new_result();
    query(steps, result, false).run(this);
    return result;
}

i_xml_node* xml_node::select_single_node(const char* xpath) {
    if (xpath == nullptr)
        return nullptr;
    std::vector<step> steps = parse_path(xpath);
    auto_ptr_t<object_col> result(new_result());
    query(steps, result, true).run(this);
    auto_ptr_t<i_object> first(result->get_item_by_pos(0));
    i_xml_node* node = kiv_cast_i_xml_node(first);
    if (node != nullptr)
        node->addref();
    return node;
}

}  // namespace kiv
