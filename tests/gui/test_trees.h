// test_trees.h --
//
//     What the tree and renderer tests share: a node whose children come
//     from a list of names, a renderer that records the objects it is
//     given, and the search for a point over a tree-list item's part.

#ifndef KIV_TESTS_GUI_TEST_TREES_H
#define KIV_TESTS_GUI_TEST_TREES_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/gui/renderer_service.h>
#include <kiv/gui/tree_ctrl.h>
#include <kiv/gui/tree_list_ctrl.h>

#include <gtest/gtest.h>
#include <wx/panel.h>

#include <string>
#include <vector>

namespace kiv_gui_test {

// Derived: the test's own node class (its children are of that class);
// Base: tree_object or one of its node classes.
template <class Derived, class Base>
class listed_node : public Base {
public:
    listed_node(const char* name, unsigned int flags) {
        kiv::tree_object::set_name(name);
        this->set_tree_flags(flags);
    }
    void load_children() override {
        ++loads;
        for (const std::string& name : children) {
            auto_ptr_t<Derived> child(new Derived(name.c_str(), this->get_tree_flags()));
            child->addref();
            child->insert_as_child(this);
        }
    }
    void on_select() override {
        ++selects;
        Base::on_select();
    }

    std::vector<std::string> children;  // loaded on expansion
    int loads = 0, selects = 0;
};

// A renderer with a hidden panel of its own that remembers the objects it
// was given (not held).
class recording_renderer : public kiv::object, public kiv::i_named_object_impl,
                           public virtual kiv::i_object_renderer {
public:
    recording_renderer(const char* name, wxWindow* parent) : window(new wxPanel(parent, wxID_ANY)) {
        set_name(name);
        window->Hide();
    }
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_object_renderer", static_cast<kiv::i_object_renderer*>(this), out) ||
            answer_interface(name, "i_named_object", static_cast<kiv::i_named_object*>(this), out))
            return true;
        return kiv::object::get_interface(name, out);
    }
    void set_object(kiv::i_object* object) override { given.push_back(object); }
    wxWindow* get_window() override { return window; }

    wxWindow* window;
    std::vector<kiv::i_object*> given;
};

// Returns: a point of the tree-list's main window over the part of `item`
//     that the hit flags `wanted` name (the icon, the label); a failure
//     and (0, 0) when there is none.
inline wxPoint point_on(kiv::tree_list_ctrl* list, const wxTreeItemId& item, int wanted) {
    wxGenericTreeCtrl* main = list->main_window();
    wxRect row;
    EXPECT_TRUE(main->GetBoundingRect(item, row, true));
    for (int x = 0; x < row.GetRight(); ++x) {
        int flags = 0;
        wxPoint at(x, row.y + row.height / 2);
        if (main->HitTest(at, flags) == item && (flags & wanted) != 0)
            return at;
    }
    ADD_FAILURE() << "no point with hit flags " << wanted;
    return wxPoint();
}

}  // namespace kiv_gui_test

#endif
