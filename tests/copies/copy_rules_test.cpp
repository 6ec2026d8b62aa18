// copy_rules_test.cpp --
//
//     Which public classes may be copied by value, and what a copy holds.
//     Objects are shared through references; a class that owns memory, a
//     handle or a reference and can still be copied frees the same thing
//     twice (`image b = a;` frees the pixels in both destructors). So
//     every class the public headers define has a rule below, checked at
//     compile time against the class as a program sees it:
//         refused        neither a copy nor an assignment compiles
//         shares         a copy holds the same thing with a reference of
//                        its own (the run-time cases below, event_test,
//                        gui_event_test and object_test)
//         deep           a copy owns a copy of its own (auto_string_test,
//                        image_manager_test, gis_contract_test)
//         holds_nothing  values, borrowers and bases without data: a
//                        copy frees nothing
//     The list of classes is made from the headers by
//     public_classes.cmake, so a new class without a rule fails the build
//     here, as does a class whose copy does not follow its rule.
//
//     The compiler cannot tell whether an abstract class (or one whose
//     destructor is protected) can be copy-constructed: such a class is
//     checked for assignment here, and for construction through each
//     concrete class built on it.

#include <kiv/core/auto_ptr.h>

#include <gtest/gtest.h>

#include <type_traits>

namespace copy_rules {

template <class... T>
struct class_list;
template <template <class> class... T>
struct template_list;

}  // namespace copy_rules

#include "public_classes.inc"

using namespace kiv;

namespace copy_rules {

enum class copy_rule { refused, shares, deep, holds_nothing };

template <class T>
constexpr bool no_rule_yet = false;

template <class T>
constexpr copy_rule unclassified() {
    static_assert(no_rule_yet<T>, "a public class without a copy rule: give it one below");
    return copy_rule::refused;
}

template <class T>
constexpr copy_rule rule_of = unclassified<T>();

// Owners of memory, handles, references or windows, and objects that no
// one offers to copy.
template <> constexpr copy_rule rule_of<i_binary_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<binary> = copy_rule::refused;
template <> constexpr copy_rule rule_of<binary_data_writer> = copy_rule::refused;
template <> constexpr copy_rule rule_of<binary_data_reader> = copy_rule::refused;
template <> constexpr copy_rule rule_of<c_locale_scope> = copy_rule::refused;
template <> constexpr copy_rule rule_of<env_config_reloader> = copy_rule::refused;
template <> constexpr copy_rule rule_of<event_proc> = copy_rule::refused;
template <> constexpr copy_rule rule_of<file_writer> = copy_rule::refused;
template <> constexpr copy_rule rule_of<memory_allocator> = copy_rule::refused;
template <> constexpr copy_rule rule_of<mutex> = copy_rule::refused;
template <> constexpr copy_rule rule_of<mutex_locker> = copy_rule::refused;
template <> constexpr copy_rule rule_of<object_col_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<object_col> = copy_rule::refused;
template <> constexpr copy_rule rule_of<object_col_x> = copy_rule::refused;
template <> constexpr copy_rule rule_of<i_property_manager_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<property_manager> = copy_rule::refused;
template <> constexpr copy_rule rule_of<script_file> = copy_rule::refused;
template <> constexpr copy_rule rule_of<stream_base> = copy_rule::refused;
template <> constexpr copy_rule rule_of<i_stream_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<i_input_stream_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<i_output_stream_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<i_string_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<i_named_object_impl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<string> = copy_rule::refused;
template <> constexpr copy_rule rule_of<named_string> = copy_rule::refused;
template <> constexpr copy_rule rule_of<string_proc> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tcp_listener> = copy_rule::refused;
template <> constexpr copy_rule rule_of<thread_creator> = copy_rule::refused;
template <> constexpr copy_rule rule_of<font_face> = copy_rule::refused;
template <> constexpr copy_rule rule_of<font_manager> = copy_rule::refused;
template <> constexpr copy_rule rule_of<image> = copy_rule::refused;
template <> constexpr copy_rule rule_of<char_placement> = copy_rule::refused;
template <> constexpr copy_rule rule_of<text_renderer> = copy_rule::refused;
template <> constexpr copy_rule rule_of<caption_bar> = copy_rule::refused;
template <> constexpr copy_rule rule_of<date_time_picker> = copy_rule::refused;
template <> constexpr copy_rule rule_of<folder_object> = copy_rule::refused;
template <> constexpr copy_rule rule_of<dir_dlg> = copy_rule::refused;
template <> constexpr copy_rule rule_of<gui_event_proc> = copy_rule::refused;
template <> constexpr copy_rule rule_of<gui_frame> = copy_rule::refused;
template <> constexpr copy_rule rule_of<string_list_container> = copy_rule::refused;
template <> constexpr copy_rule rule_of<list_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<multi_choice_dlg> = copy_rule::refused;
template <> constexpr copy_rule rule_of<choice_dlg> = copy_rule::refused;
template <> constexpr copy_rule rule_of<mdi_child_frame> = copy_rule::refused;
template <> constexpr copy_rule rule_of<gui_output_panel> = copy_rule::refused;
template <> constexpr copy_rule rule_of<output_service> = copy_rule::refused;
template <> constexpr copy_rule rule_of<print_service> = copy_rule::refused;
template <> constexpr copy_rule rule_of<printout_base> = copy_rule::refused;
template <> constexpr copy_rule rule_of<property_sheet> = copy_rule::refused;
template <> constexpr copy_rule rule_of<redirect_process> = copy_rule::refused;
template <> constexpr copy_rule rule_of<renderer_service> = copy_rule::refused;
template <> constexpr copy_rule rule_of<shortcuts_bar> = copy_rule::refused;
template <> constexpr copy_rule rule_of<splash_screen_wnd> = copy_rule::refused;
template <> constexpr copy_rule rule_of<splash_screen> = copy_rule::refused;
template <> constexpr copy_rule rule_of<status_image> = copy_rule::refused;
template <> constexpr copy_rule rule_of<status_item> = copy_rule::refused;
template <> constexpr copy_rule rule_of<status_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tab_control> = copy_rule::refused;
template <> constexpr copy_rule rule_of<time_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<time_ctrl2> = copy_rule::refused;
template <> constexpr copy_rule rule_of<date_time_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<date_time_ctrl2> = copy_rule::refused;
template <> constexpr copy_rule rule_of<select_time_interval_dlg> = copy_rule::refused;
template <> constexpr copy_rule rule_of<time_interval> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_popup> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_combobox> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_object> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_object_ex> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_ctrl_ex> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_list_header_window> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_list_edit_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_list_rename_timer> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_list_main_window> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tree_list_ctrl> = copy_rule::refused;
template <> constexpr copy_rule rule_of<undoredo_service> = copy_rule::refused;
template <> constexpr copy_rule rule_of<view_menu_manager> = copy_rule::refused;
template <> constexpr copy_rule rule_of<workspace> = copy_rule::refused;
template <> constexpr copy_rule rule_of<workspace_manager> = copy_rule::refused;
template <> constexpr copy_rule rule_of<dimension_map_mode> = copy_rule::refused;
template <> constexpr copy_rule rule_of<geozone_point> = copy_rule::refused;
template <> constexpr copy_rule rule_of<geozone_map_mode> = copy_rule::refused;
template <> constexpr copy_rule rule_of<map_mode_base> = copy_rule::refused;
template <> constexpr copy_rule rule_of<search_item> = copy_rule::refused;
template <> constexpr copy_rule rule_of<search_container> = copy_rule::refused;
template <> constexpr copy_rule rule_of<map_search_panel> = copy_rule::refused;
template <> constexpr copy_rule rule_of<map_view> = copy_rule::refused;
template <> constexpr copy_rule rule_of<move_map_mode> = copy_rule::refused;
template <> constexpr copy_rule rule_of<panel> = copy_rule::refused;
template <> constexpr copy_rule rule_of<toolbar> = copy_rule::refused;
template <> constexpr copy_rule rule_of<tooltip_wnd> = copy_rule::refused;
template <> constexpr copy_rule rule_of<zoom_map_mode> = copy_rule::refused;

// Copies offered, sharing what they hold by reference.
template <> constexpr copy_rule rule_of<event> = copy_rule::shares;
template <> constexpr copy_rule rule_of<gui_event> = copy_rule::shares;
template <> constexpr copy_rule rule_of<mdi_service> = copy_rule::shares;
template <> constexpr copy_rule rule_of<tree_item_id> = copy_rule::shares;
template <> constexpr copy_rule rule_of<undoredo_command> = copy_rule::shares;

// Copies offered, each with a copy of its own.
template <> constexpr copy_rule rule_of<auto_string> = copy_rule::deep;
template <> constexpr copy_rule rule_of<format_string> = copy_rule::deep;
template <> constexpr copy_rule rule_of<glyph_halo> = copy_rule::deep;
template <> constexpr copy_rule rule_of<gis_road_lock> = copy_rule::deep;
template <> constexpr copy_rule rule_of<image_manager> = copy_rule::deep;
template <> constexpr copy_rule rule_of<tree_list_column_info> = copy_rule::deep;
template <> constexpr copy_rule rule_of<tree_list_item> = copy_rule::deep;

// Values, borrowers, and bases that hold no data (object copies no
// reference count).
template <> constexpr copy_rule rule_of<ascii_iless> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<string_tokenizer> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<property_manager_object> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<le_reader> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<object> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<i_typed_object_impl> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<halo_glyph> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<label_copies> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<placement_checker> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<geo_point> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<view_point> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<road_point> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<list_ctrl_container> = copy_rule::holds_nothing;
template <> constexpr copy_rule rule_of<panel_info> = copy_rule::holds_nothing;

// Class templates: the rule and an instance to check it on.
template <template <class> class T>
struct template_rule;
template <>
struct template_rule<auto_ptr_t> {
    static constexpr copy_rule rule = copy_rule::shares;
    using instance = auto_ptr_t<i_object>;
};
struct search_item_fields {
    long long id;
    double lat, lon;
    const char* text;
};
template <>
struct template_rule<gis_search_list> {
    static constexpr copy_rule rule = copy_rule::refused;
    // A driver's result is a class built on the template.
    struct instance : gis_search_list<search_item_fields> {};
};

template <class T, copy_rule rule>
constexpr bool follows() {
    constexpr bool constructs = std::is_copy_constructible_v<T>;
    constexpr bool assigns = std::is_copy_assignable_v<T>;
    if constexpr (rule == copy_rule::refused)
        static_assert(!constructs && !assigns, "this class owns what a copy would free twice: it refuses copies");
    else if constexpr (rule == copy_rule::shares || rule == copy_rule::deep)
        static_assert(constructs || assigns || std::is_abstract_v<T>, "this class offers a copy");
    return true;
}

template <class List>
constexpr bool all_abstract = false;
template <class... T>
constexpr bool all_abstract<class_list<T...>> = (std::is_abstract_v<T> && ...);
template <class List>
constexpr bool all_follow = false;
template <class... T>
constexpr bool all_follow<class_list<T...>> = (follows<T, rule_of<T>>() && ...);
template <template <class> class... T>
constexpr bool all_follow<template_list<T...>> =
    (follows<typename template_rule<T>::instance, template_rule<T>::rule>() && ...);

static_assert(all_abstract<public_interfaces>, "an interface holds no data and is abstract");
static_assert(all_follow<public_classes>);
static_assert(all_follow<public_templates>);

}  // namespace copy_rules

namespace {

// A command that shows the target it holds.
class probe_command : public undoredo_command {
public:
    using undoredo_command::undoredo_command;
    i_object* get_target() const { return target.get(); }
};

// A child frame without a window, enough for the service's collection.
class probe_frame : public object, public virtual i_mdi_child_frame {
public:
    wxMDIChildFrame* get_child_wnd() override { return nullptr; }
    wxAuiManager* get_frame_layout() override { return nullptr; }
};

// A new object with one reference, held by the caller's auto_ptr_t.
template <class T>
auto_ptr_t<T> held() {
    auto_ptr_t<T> p(new T);
    p->addref();
    return p;
}

// Copies a holder of one object by construction and by assignment (over
// a holder of another object, and over itself): every copy must hold the
// same object, each with a reference of its own, and give it back when
// it goes. `make` builds a holder, `get` reads the object it holds.
template <class Holder, class Held, class Make, class Get>
void expect_shared_copies(Make make, Get get) {
    auto_ptr_t<Held> target = held<Held>(), other = held<Held>();
    {
        Holder original = make(target.get());
        Holder copy(original);
        Holder assigned = make(other.get());
        EXPECT_EQ(other->get_ref_count(), 2);
        assigned = copy;
        assigned = assigned;
        EXPECT_EQ(get(copy), get(original));
        EXPECT_EQ(get(assigned), get(original));
        EXPECT_EQ(target->get_ref_count(), 4);
        EXPECT_EQ(other->get_ref_count(), 1);
    }
    EXPECT_EQ(target->get_ref_count(), 1);
}

TEST(copies, of_a_holder_share_the_object_it_holds_each_with_a_reference_of_its_own) {
    expect_shared_copies<probe_command, kiv::string>([](kiv::string* s) { return probe_command(s); },
                                                     [](probe_command& c) { return c.get_target(); });
    expect_shared_copies<tree_item_id, tree_object>([](tree_object* node) { return tree_item_id(node); },
                                                    [](tree_item_id& id) {
                                                        auto_ptr_t<i_tree_object> node(id.get_object());
                                                        return node.get();
                                                    });
}

TEST(copies, of_an_mdi_service_share_its_frames_and_outlive_the_original) {
    auto_ptr_t<probe_frame> first = held<probe_frame>(), second = held<probe_frame>();
    auto_ptr_t<mdi_service> original = held<mdi_service>();
    original->add_child_frame(first.get());
    original->set_active_child_frame(first.get());
    mdi_service copy(*original);
    mdi_service assigned;
    assigned.add_child_frame(second.get());
    assigned = copy;
    EXPECT_EQ(second->get_ref_count(), 1);  // the collection it had went
    // One collection: a frame added through a copy is everyone's.
    copy.add_child_frame(second.get());
    auto frame_count = [](mdi_service* service) {
        auto_ptr_t<i_object_col> frames(service->get_child_frames());
        return frames ? frames->get_count() : 0u;
    };
    EXPECT_EQ(frame_count(original.get()), 2u);
    // The original goes first: the copies still hold its collection.
    original.reset();
    for (mdi_service* service : {&copy, &assigned}) {
        EXPECT_STREQ(service->get_name(), "MDI service");
        EXPECT_EQ(service->get_ref_count(), 0);
        EXPECT_EQ(frame_count(service), 2u);
        auto_ptr_t<i_mdi_child_frame> active(service->get_active_child_frame());
        EXPECT_EQ(active.get(), static_cast<i_mdi_child_frame*>(first.get()));
    }
    // The collection's reference and each copy's active one.
    EXPECT_EQ(first->get_ref_count(), 4);
    assigned.set_active_child_frame(nullptr);
    EXPECT_EQ(first->get_ref_count(), 3);
}

}  // namespace
