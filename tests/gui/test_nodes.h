// test_nodes.h --
//
//     The tree node the tree tests share: its children come from a list of
//     names, made on expansion with the parent's flags, and it counts its
//     loads and selections.

#ifndef KIV_TESTS_GUI_TEST_NODES_H
#define KIV_TESTS_GUI_TEST_NODES_H

#include <kiv/core/auto_ptr.h>
#include <kiv/gui/tree_ctrl.h>

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

}  // namespace kiv_gui_test

#endif
