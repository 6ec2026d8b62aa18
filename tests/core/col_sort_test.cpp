// col_sort_test.cpp --
//
//     Sorting collections by name: byte order, stability of equal names
//     in both directions, dropped unnamed items and references.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/col_sort.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include "test_util.h"

#include <string>
#include <vector>

using namespace kiv;
using kiv_test::entries;

namespace {

using list = std::vector<std::string>;

}  // namespace

TEST(sort_col, equal_names_keep_source_order_ascending_and_reverse_descending) {
    auto_ptr_t<i_object_col_x> src(kiv_create_col());
    const char* names[][2] = {{"b", "1"}, {"a", "2"}, {"b", "3"}};
    for (auto& n : names) {
        auto_ptr_t<i_named_string> s(kiv_create_named_string(n[0], n[1]));
        src->add_item(s);
    }
    auto_ptr_t<i_object_col> up(kiv_sort_col(src, true));
    auto_ptr_t<i_object_col> down(kiv_sort_col(src, false));
    EXPECT_EQ(entries(up), (list{"a=2", "b=1", "b=3"}));
    EXPECT_EQ(entries(down), (list{"b=3", "b=1", "a=2"}));
    EXPECT_EQ(entries(src), (list{"b=1", "a=2", "b=3"}));
}

TEST(sort_col, names_order_by_unsigned_bytes_and_unnamed_items_are_left_out) {
    auto_ptr_t<i_object_col_x> src(kiv_create_col());
    for (const char* name : {"ж", "Z", "a", ""}) {
        auto_ptr_t<i_named_string> s(kiv_create_named_string(name, "v"));
        src->add_item(s);
    }
    auto_ptr_t<i_string> plain(kiv_create_string("no name interface"));
    src->add_item(plain);
    auto_ptr_t<i_object_col> sorted(kiv_sort_col(src, true));
    EXPECT_EQ(entries(sorted), (list{"=v", "Z=v", "a=v", "ж=v"}));
}

TEST(sort_col, the_new_collection_holds_its_own_references) {
    auto_ptr_t<i_object_col_x> src(kiv_create_col());
    named_string* item = new named_string("x", "");
    src->add_item(static_cast<i_named_string*>(item));
    EXPECT_EQ(item->get_ref_count(), 1);
    {
        auto_ptr_t<i_object_col> sorted(kiv_sort_col(src, true));
        EXPECT_EQ(item->get_ref_count(), 2);
    }
    EXPECT_EQ(item->get_ref_count(), 1);
    EXPECT_EQ(kiv_sort_col(nullptr, true), nullptr);
}
