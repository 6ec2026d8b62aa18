// hostile_script_test.cpp --
//
//     Calls a hostile script makes through the core's Tcl package, in a
//     plain interpreter over a started core: trees nested deeper than the
//     parser reads are not written, deep chains are built at any depth, a
//     collection is never its own item, a path that cannot be made leaves
//     no folders behind, and an empty event name gets no type.

#include <kiv/core/i_core.h>

#include "core_session.h"
#include "tcl_eval.h"

#include <gtest/gtest.h>

#include <tcl.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

extern "C" int Kiv_core_Init(Tcl_Interp* interp);

namespace {

class hostile_script : public ::testing::Test {
protected:
    void SetUp() override {
        interp_ = Tcl_CreateInterp();
        ASSERT_EQ(Kiv_core_Init(interp_), TCL_OK);
        eval("set xml [kiv_cast_i_xml_proc [i_core_get_service [kiv_core] svc_xml]]");
    }
    void TearDown() override { Tcl_DeleteInterp(interp_); }

    std::string eval(const std::string& script) { return kiv_test::tcl_eval(interp_, script); }

    kiv_test::core_session session;
    Tcl_Interp* interp_ = nullptr;
};

// A script that builds a chain of $depth nodes under $root, adding each
// child to the deepest node so far.
const char build_chain[] =
    "set root [i_xml_proc_create_node $xml n]; set last $root\n"
    "for {set i 1} {$i < $depth} {incr i} {\n"
    "    set kid [i_xml_proc_create_node $xml n]\n"
    "    if {![i_xml_node_add_child $last $kid NULL]} { error \"refused at $i\" }\n"
    "    if {$last ne $root} { delete_i_xml_node $last }\n"
    "    set last $kid\n"
    "}\n";

}  // namespace

TEST_F(hostile_script, a_tree_nested_deeper_than_the_parser_reads_is_not_written) {
    struct {
        int depth;
        const char* answer;  // write_file's answer, whether get_xml gave a text, whether the file parses
    } cases[] = {{1024, "1 1 1"}, {1025, "0 0 0"}, {20000, "0 0 0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        ASSERT_EQ(eval("set depth " + std::to_string(c.depth) + "\n" + build_chain), "");
        // write_file takes the path as it is, parse_file under the root.
        std::string path = session.root.file("deep.xml");
        EXPECT_EQ(eval("list [i_xml_proc_write_file $xml $root {" + path + "} 0] "
                       "[expr {[string length [i_xml_node_get_xml $root 0]] > 0}] "
                       "[expr {[i_xml_proc_parse_file $xml deep.xml] ne {NULL}}]"),
                  c.answer);
        std::remove(path.c_str());
        EXPECT_EQ(eval("delete_i_xml_node $last; delete_i_xml_node $root"), "");
    }
}

TEST_F(hostile_script, a_deep_chain_is_built_child_by_child_and_still_refuses_cycles) {
    // 30,000 levels (xml_test builds far deeper chains in C++).
    ASSERT_EQ(eval("set depth 30000\n" + std::string(build_chain)), "");
    EXPECT_EQ(eval("i_xml_node_add_child $last $root NULL"), "0");
    EXPECT_EQ(eval("i_xml_node_add_child $last $last NULL"), "0");
    EXPECT_EQ(eval("i_xml_node_add_child $last [i_xml_proc_create_node $xml leaf] NULL"), "1");
}

TEST_F(hostile_script, a_collection_is_never_its_own_item) {
    EXPECT_EQ(eval("set c [kiv_create_col]; i_object_col_x_add_item $c $c; i_object_col_get_count $c"), "0");
    // Its count is the script's reference alone.
    EXPECT_EQ(eval("i_object_addref $c"), "2");
    EXPECT_EQ(eval("i_object_release $c; set s [kiv_create_string x]; i_object_col_x_add_item $c $s; "
                   "i_object_col_get_count $c"),
              "1");
}

TEST_F(hostile_script, a_path_that_cannot_be_made_leaves_no_folder_behind) {
    EXPECT_EQ(eval("kiv_make_path [string repeat a/ 5000]"), "0");
    struct stat st;
    EXPECT_NE(stat(session.root.file("a").c_str(), &st), 0);
    // A path that can be made is made whole.
    EXPECT_EQ(eval("kiv_make_path [string repeat b/ 50]c"), "1");
    std::string made = session.root.path();
    for (int i = 0; i < 50; ++i)
        made += "/b";
    EXPECT_EQ(stat((made + "/c").c_str(), &st), 0);
}

TEST_F(hostile_script, an_empty_event_name_gets_no_type) {
    eval("set events [kiv_cast_i_event_proc [i_core_get_service [kiv_core] svc_event]]");
    EXPECT_EQ(eval("i_event_proc_get_event_type $events {}"), "0");
    EXPECT_EQ(eval("i_event_proc_get_event_type $events {}"), "0");
    std::string id = eval("i_event_proc_get_event_type $events KIV_EVT_HOSTILE");
    EXPECT_GE(std::stoul(id), 100000u);
    EXPECT_EQ(eval("i_event_proc_get_event_type $events KIV_EVT_HOSTILE"), id);
}
