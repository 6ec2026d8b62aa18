// script_test.cpp --
//
//     Script engines on one thread: the namespace `kiv` and its preamble,
//     what counts as a failure, cleaning between users and rebuilding
//     after a failure, init commands and init files, registered objects,
//     and the Tcl object registry as scripts and C++ see it.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_script.h>
#include <kiv/core/i_string.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/tcl_registry.h>

#include "script/script_engine.h"
#include "script_session.h"

#include <gtest/gtest.h>

#include <string>

using kiv_test::run;

namespace {

class script_engine_test : public ::testing::Test {
protected:
    kiv_test::script_session session;
};

// An object that stands for another in scripts.
class stand_in : public kiv::object, public virtual kiv::i_script_object_subsitutor {
public:
    explicit stand_in(kiv::i_object* target) : target_(target) {}
    kiv::i_object* get_object_pointer() override { return target_; }
    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_script_object_subsitutor",
                                  static_cast<kiv::i_script_object_subsitutor*>(this), out))
            return true;
        return object::get_interface(name, out);
    }

private:
    kiv::i_object* target_;
};

}  // namespace

TEST_F(script_engine_test, runs_text_in_the_kiv_namespace_and_collects_puts) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "puts [namespace current]"), "::kiv");
    EXPECT_EQ(run(engine, "puts hello; puts world"), "helloworld");
    // Only the first word reaches the output, an option word included.
    EXPECT_EQ(run(engine, "puts one two"), "one");
    EXPECT_EQ(run(engine, "puts -nonewline text"), "-nonewline");
    EXPECT_EQ(run(engine, "puts {x [y]}"), "x [y]");
}

TEST_F(script_engine_test, a_text_run_again_runs_again_whatever_came_between) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    const std::string counter = "puts [incr ::runs]";
    EXPECT_EQ(run(engine, counter), "1");
    EXPECT_EQ(run(engine, counter), "2");
    // Many other texts between, one of them failing, and one that runs
    // texts of its own while it runs.
    for (int i = 0; i < 100; ++i)
        run(engine, "set ::other " + std::to_string(i));
    EXPECT_EQ(run(engine, "error boom"), "error: boom");
    EXPECT_EQ(run(engine, "puts [$kiv_script_engine execute_text {set ::nested 1}]$::nested"), "11");
    EXPECT_EQ(run(engine, counter), "3");
    EXPECT_EQ(run(engine, "puts $::other"), "99");
}

TEST_F(script_engine_test, only_a_tcl_error_fails) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->execute_text("return 5"));
    EXPECT_TRUE(engine->execute_text("return"));
    EXPECT_FALSE(engine->execute_text("error {}"));
    EXPECT_FALSE(engine->execute_text("set a 1\nerror boom"));
    EXPECT_STREQ(engine->get_error(), "boom");
    EXPECT_FALSE(engine->execute_text("no_such_command"));
    EXPECT_FALSE(engine->execute_text("set x {"));
    EXPECT_FALSE(engine->execute_text(nullptr));
}

TEST_F(script_engine_test, the_same_thread_keeps_its_engine_and_a_release_cleans_the_namespace) {
    auto first = session.engine();
    auto again = session.engine();
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), again.get());
    EXPECT_EQ(run(first, "variable kept 1; set ::global_kept 2; puts ok"), "ok");
    again.reset();
    first.reset();
    auto next = session.engine();
    ASSERT_TRUE(next);
    // Namespace variables go with the clean; the interpreter stays.
    EXPECT_EQ(run(next, "puts [info exists kept]"), "0");
    EXPECT_EQ(run(next, "puts $::global_kept"), "2");
}

TEST_F(script_engine_test, a_release_leaves_the_namespace_as_new_whatever_the_script_put_in_it) {
    // Each case: what a user leaves in the namespace, and a probe that
    // prints "clean" in a namespace as new.
    struct {
        const char* leave;
        const char* probe;
    } cases[] = {
        {"variable v 1", "puts [expr {[info exists v] ? {left} : {clean}}]"},
        {"variable a; array set a {x 1}; trace add variable a unset {apply {args {}}}",
         "puts [expr {[array exists a] ? {left} : {clean}}]"},
        {"proc p {} {}", "puts [expr {[llength [info procs ::kiv::p]] ? {left} : {clean}}]"},
        {"proc puts {args} {}", "puts clean"},
        {"namespace eval child { variable c 1 }", "puts [expr {[namespace exists child] ? {left} : {clean}}]"},
        {"namespace export *", "puts [expr {[namespace export] eq {} ? {clean} : {left}}]"},
        {"namespace path ::tcl::mathop", "puts [expr {[namespace path] eq {} ? {clean} : {left}}]"},
        {"namespace unknown {apply {args {}}}", "puts [expr {[namespace unknown] eq {} ? {clean} : {left}}]"},
        {"namespace ensemble create", "puts [expr {[llength [info commands ::kiv]] ? {left} : {clean}}]"},
        {"interp alias {} ::kiv::alias {} set", "puts [expr {[llength [info commands alias]] ? {left} : {clean}}]"},
        {"variable declared", "puts [expr {[llength [info vars declared]] ? {left} : {clean}}]"},
        // The link goes; the global variable it stands for stays.
        {"upvar #0 ::link_target link; set link 1",
         "puts [expr {[info exists link] || ![info exists ::link_target] ? {left} : {clean}}]"},
    };
    for (const auto& c : cases) {
        {
            auto engine = session.engine();
            ASSERT_TRUE(engine);
            EXPECT_TRUE(engine->execute_text(c.leave)) << c.leave;
        }
        auto next = session.engine();
        ASSERT_TRUE(next);
        EXPECT_EQ(run(next, c.probe), "clean") << c.leave;
        // The preamble is whole again: the engine object and `source`.
        EXPECT_EQ(run(next, "puts [llength [info procs source]][expr {$kiv_script_engine ne {}}]"), "11")
            << c.leave;
    }
}

TEST_F(script_engine_test, a_failed_script_makes_the_next_use_start_from_a_new_interpreter) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "set ::before 1; puts ok"), "ok");
    EXPECT_FALSE(engine->execute_text("error failed"));
    engine.reset();
    auto next = session.engine();
    ASSERT_TRUE(next);
    EXPECT_EQ(run(next, "puts [info exists ::before]"), "0");
    // The new engine is complete: preamble and package are there.
    EXPECT_EQ(run(next, "puts [kiv_crc16 123456789 0]"), "8585");
}

TEST_F(script_engine_test, init_commands_run_raw_at_once_and_in_every_rebuilt_engine) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(session.service->add_init_cmd("set ::init_ns [namespace current]"));
    EXPECT_EQ(run(engine, "puts $::init_ns"), "::");
    EXPECT_FALSE(session.service->add_init_cmd(nullptr));
    engine.reset();
    // A new init command makes every engine dirty: the next one is new
    // and replays the commands.
    auto next = session.engine();
    ASSERT_TRUE(next);
    EXPECT_EQ(run(next, "puts $::init_ns"), "::");
}

TEST_F(script_engine_test, init_files_run_inside_kiv_after_the_preamble) {
    std::string path = session.write("init.tcl", "variable from_file [namespace current]\n"
                                                 "variable engine_known [info exists kiv_script_engine]\n");
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(session.service->add_init_file(path.c_str()));
    EXPECT_EQ(run(engine, "puts $from_file/$engine_known"), "::kiv/1");
    engine.reset();
    auto next = session.engine();
    ASSERT_TRUE(next);
    EXPECT_EQ(run(next, "puts $from_file/$engine_known"), "::kiv/1");
    EXPECT_FALSE(session.service->add_init_file(nullptr));
}

TEST_F(script_engine_test, source_runs_a_file_through_the_engine) {
    session.write("part.tcl", "puts from_part\nvariable part_ns [namespace current]");
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "source part.tcl; puts $part_ns"), "from_part::kiv");
    EXPECT_EQ(run(engine, "puts [source missing.tcl]"), "0");
}

TEST_F(script_engine_test, register_object_quotes_the_name_and_the_cast) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    auto_ptr_t<kiv::i_named_string> obj(kiv_create_named_string("the name", "the value"));
    ASSERT_TRUE(engine->register_object(obj, "plain", ""));
    ASSERT_TRUE(engine->register_object(obj, "named", "kiv_cast_i_named_object"));
    EXPECT_EQ(run(engine, "puts [i_named_object_get_name $named]"), "the name");
    EXPECT_EQ(run(engine, "puts [i_string_get_value [kiv_cast_i_string $plain]]"), "the value");

    // Outside text is never script source.
    ASSERT_TRUE(engine->register_object(obj, "odd [set hacked 1] name", nullptr));
    EXPECT_EQ(run(engine, "puts [info exists hacked]/[llength [info vars {odd*}]]"), "0/1");
    EXPECT_FALSE(engine->register_object(obj, "x", "kiv_cast_i_string; set ::hacked 2"));
    EXPECT_EQ(run(engine, "puts [info exists ::hacked]"), "0");
    EXPECT_FALSE(engine->register_object(obj, nullptr, nullptr));
    EXPECT_EQ(engine->get_registration_object(), nullptr);
}

TEST_F(script_engine_test, objects_scripts_hold_are_released_when_the_engine_is_cleaned) {
    kiv::named_string* obj = new kiv::named_string("n", "v");
    obj->addref();
    std::string names;
    {
        auto engine = session.engine();
        ASSERT_TRUE(engine);
        ASSERT_TRUE(engine->register_object(obj, "held", nullptr));
        ASSERT_TRUE(engine->register_object(obj, "held_too", "kiv_cast_i_string"));
        EXPECT_EQ(obj->get_ref_count(), 3);
        names = run(engine, "puts [list $held $held_too]");
        EXPECT_EQ(run(engine, "puts [llength [info commands $held]][llength [info commands $held_too]]"), "11");
    }
    EXPECT_EQ(obj->get_ref_count(), 1);
    auto engine = session.engine();
    // The object's commands went with the clean.
    EXPECT_EQ(run(engine, "foreach n {" + names + "} { puts [llength [info commands $n]] }"), "00");
    obj->release();
}

TEST_F(script_engine_test, delete_command_gives_tcl_reference_back) {
    kiv::named_string* obj = new kiv::named_string("n", "v");
    obj->addref();
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(engine->register_object(obj, "o", "kiv_cast_i_string"));
    EXPECT_EQ(obj->get_ref_count(), 2);
    EXPECT_EQ(run(engine, "puts [$o get_value]; delete_i_string $o"), "v");
    EXPECT_EQ(obj->get_ref_count(), 1);
    EXPECT_EQ(run(engine, "i_string_get_value $o"),
              "error: i_string_get_value: object not held by this interpreter");
    obj->release();
}

TEST_F(script_engine_test, methods_refuse_null_and_unknown_objects) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "i_string_get_value NULL"), "error: i_string_get_value: null object");
    std::string forged = run(engine, "puts [string map {0 1} [kiv_create_string x]]");
    EXPECT_EQ(run(engine, "i_string_get_value " + forged),
              "error: i_string_get_value: object not held by this interpreter");
    // Words that are no pointer names are never evaluated.
    EXPECT_EQ(run(engine, "catch {i_string_get_value {x; set ::hacked 1}}; puts [info exists ::hacked]"), "0");
    std::string name = run(engine, "variable s [kiv_create_string x]; puts $s");
    EXPECT_EQ(run(engine, "catch {$s -acquire} m; puts $m"),
              "ownership of \"" + name + "\" cannot be changed from scripts");
}

TEST_F(script_engine_test, registry_counts_references_and_deletes_commands_at_zero) {
    kiv::named_string* obj = new kiv::named_string("n", "v");
    obj->addref();
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(engine->register_object(obj, "o", nullptr));  // Tcl holds one
    kiv::i_object* key = obj;
    EXPECT_TRUE(kiv_tcl_test_object(key));
    EXPECT_EQ(kiv_tcl_addref(key, true), 3);
    EXPECT_EQ(kiv_tcl_release(key, true), 0);
    EXPECT_EQ(run(engine, "puts [llength [info commands $o]]"), "1");
    EXPECT_EQ(kiv_tcl_release(key, true), 0);
    EXPECT_EQ(run(engine, "puts [llength [info commands $o]]"), "0");
    EXPECT_FALSE(kiv_tcl_test_object(key));
    EXPECT_EQ(obj->get_ref_count(), 1);
    // An object Tcl does not hold is left alone.
    EXPECT_EQ(kiv_release_script_object(key), 0);
    EXPECT_EQ(obj->get_ref_count(), 1);
    obj->release();
}

TEST_F(script_engine_test, registry_exempts_the_engine_and_the_core_and_follows_stand_ins) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    kiv::i_object* core = kiv_core();
    EXPECT_EQ(kiv_tcl_addref(engine, true), 1);
    EXPECT_EQ(kiv_tcl_release(core, true), 1);
    EXPECT_TRUE(kiv_tcl_test_object(core));
    EXPECT_TRUE(kiv_tcl_test_object(nullptr));

    kiv::named_string* target = new kiv::named_string("t", "v");
    target->addref();
    stand_in* wrapper = new stand_in(target);
    wrapper->addref();
    stand_in* empty = new stand_in(nullptr);
    empty->addref();
    EXPECT_EQ(kiv_tcl_addref(wrapper, true), 2);  // counted as the target
    EXPECT_TRUE(kiv_tcl_test_object(static_cast<kiv::i_object*>(target)));
    EXPECT_FALSE(kiv_tcl_test_object(empty));
    EXPECT_EQ(kiv_tcl_addref(empty, true), 0);
    EXPECT_EQ(kiv_tcl_release(target, true), 0);
    EXPECT_EQ(target->get_ref_count(), 1);
    EXPECT_EQ(wrapper->get_ref_count(), 1);
    empty->release();
    wrapper->release();
    target->release();
}

TEST_F(script_engine_test, without_an_engine_the_registry_reports_success_and_changes_nothing) {
    kiv::named_string* obj = new kiv::named_string("n", "v");
    obj->addref();
    // No engine was ever asked for on this thread in this test.
    EXPECT_EQ(kiv::script_engine::current(), nullptr);
    EXPECT_EQ(kiv_tcl_addref(obj, true), 0);
    EXPECT_EQ(kiv_tcl_release(obj, true), 0);
    EXPECT_TRUE(kiv_tcl_test_object(obj));
    EXPECT_EQ(obj->get_ref_count(), 1);
    obj->release();
}

TEST_F(script_engine_test, scripts_reach_the_event_and_translator_services) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "variable events [kiv_cast_i_event_proc [i_core_get_service [kiv_core] svc_event]]\n"
                          "variable a [i_event_proc_get_event_type $events KIV_TEST_EVT_A]\n"
                          "puts [expr {$a >= 100000 && [i_event_proc_get_event_type $events KIV_TEST_EVT_A] == $a}]\n"
                          "kiv_generate_event KIV_TEST_EVT_A 7 NULL 1"),
              "1");
    EXPECT_EQ(run(engine, "puts [kiv_translate {no catalog has this} en]"), "no catalog has this");
}

TEST_F(script_engine_test, xml_nodes_use_the_system_command_names) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "variable xml [kiv_cast_i_xml_proc [i_core_get_service [kiv_core] svc_xml]]\n"
                          "variable doc [i_xml_proc_parse_text $xml {<a><b>text of b</b></a>}]\n"
                          "variable b [kiv_cast_i_xml_node [i_xml_node_select_single_node $doc b]]\n"
                          "puts [i_xml_node_get_text $b]/[i_named_object_get_name $b]\n"
                          "delete_i_xml_node $b"),
              "text of b/b");
    // A node registered from C++ through its cast command.
    auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_xml"));
    auto_ptr_t<kiv::i_xml_node> node(kiv_cast_i_xml_proc(svc)->parse_text("<root>registered</root>"));
    ASSERT_TRUE(node);
    ASSERT_TRUE(engine->register_object(node, "root", "kiv_cast_i_xml_node"));
    EXPECT_EQ(run(engine, "puts [i_xml_node_get_text $root]"), "registered");
}

TEST_F(script_engine_test, trace_and_log_from_scripts_take_the_text_as_it_is) {
    std::string path = session.root.file("trace.txt");
    kiv_set_trace_facility(path.c_str());
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->execute_text("kiv_trace {100% %s %n %x}; kiv_log 5 {level %d}"));
    kiv_set_trace_facility("stdout");
    std::string written = kiv_test::read_all(path);
    EXPECT_NE(written.find(": 100% %s %n %x\n"), std::string::npos) << written;
    EXPECT_NE(written.find(": level %d\n"), std::string::npos) << written;
}

TEST_F(script_engine_test, an_engine_refuses_other_threads_code) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    auto_ptr_t<kiv::i_script_code> code(kiv_create_script_code("variable runs; incr runs; puts $runs"));
    ASSERT_TRUE(code);
    EXPECT_TRUE(engine->execute_code(code));
    EXPECT_TRUE(engine->execute_code(code));
    EXPECT_EQ(std::string(engine->get_output()), "12");
    ASSERT_TRUE(code->set_text("puts replaced"));
    EXPECT_EQ((engine->reset(), engine->execute_code(code), std::string(engine->get_output())), "replaced");
    EXPECT_FALSE(engine->execute_code(nullptr));
    EXPECT_EQ(kiv_create_script_code(nullptr), nullptr);
}

TEST_F(script_engine_test, errors_report_the_line_of_the_script_or_file_they_are_on) {
    std::string path = session.write("fails.tcl", "set a 1\nset b 2\n\nerror in_file\n");
    session.write("nested.tcl", "set c 3\nsource fails.tcl\n");
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    struct {
        const char* code;
        int line;
    } cases[] = {
        {"error first", 1},
        {"set a 1\nset b 2\n\nerror boom", 4},
        {"set a 1\nif {1} {\n    set b 2\n    error inner\n}", 4},
        // An error inside a procedure is reported on the line of the call.
        {"proc p {} {\n    error in_proc\n}\n\np", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_FALSE(engine->execute_text(c.code));
        EXPECT_EQ(engine->get_error_line(), c.line);
        engine.reset();
        engine = session.engine();
        ASSERT_TRUE(engine);
    }
    EXPECT_FALSE(engine->execute_file(path.c_str(), nullptr, nullptr));
    EXPECT_STREQ(engine->get_error(), "in_file");
    EXPECT_EQ(engine->get_error_line(), 4);
}

TEST_F(script_engine_test, a_script_that_takes_its_engine_leaves_it_to_be_cleaned) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    kiv::object* counted = dynamic_cast<kiv::object*>(engine.get());
    ASSERT_NE(counted, nullptr);
    int before = counted->get_ref_count();
    EXPECT_EQ(run(engine, "set e [i_script_service_get_script_engine [kiv_cast_i_script_service "
                          "[i_core_get_service [kiv_core] svc_script]]]; variable leftover 1; puts ok"),
              "ok");
    EXPECT_EQ(counted->get_ref_count(), before);
    engine.reset();
    auto next = session.engine();
    ASSERT_TRUE(next);
    EXPECT_EQ(run(next, "puts [info exists leftover]"), "0");
}
