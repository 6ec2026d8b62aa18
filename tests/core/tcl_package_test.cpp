// tcl_package_test.cpp --
//
//     The core's generated Tcl package in a plain interpreter (as tclsh
//     loads it): byte arrays with their length, heap texts, default
//     arguments, the binary parser's own copy of its bytes, the
//     encryptor's methods from scripts, and the registry a plain
//     interpreter gets: results counted, names checked, delete commands
//     and the interpreter's end giving references back.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/checksum.h>
#include <kiv/core/i_core.h>
#include <kiv/core/string_impl.h>

#include "core_session.h"
#include "tcl_eval.h"

#include <gtest/gtest.h>

#include <tcl.h>

#include <cstring>
#include <string>

extern "C" int Kiv_core_Init(Tcl_Interp* interp);
extern "C" int Kiv_core_SafeInit(Tcl_Interp* interp);

namespace {

class tcl_package_test : public ::testing::Test {
protected:
    void SetUp() override {
        interp_ = Tcl_CreateInterp();
        ASSERT_EQ(Kiv_core_Init(interp_), TCL_OK);
    }
    void TearDown() override {
        if (interp_ != nullptr)
            Tcl_DeleteInterp(interp_);
    }

    std::string eval(const std::string& script) { return kiv_test::tcl_eval(interp_, script); }

    // Runs `command` with the byte array `bytes` as its last word.
    std::string eval_with_bytes(const std::string& command, const std::string& bytes) {
        Tcl_Obj* script = Tcl_NewStringObj(command.c_str(), -1);
        Tcl_IncrRefCount(script);
        Tcl_ListObjAppendElement(interp_, script,
                                 Tcl_NewByteArrayObj(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                     static_cast<int>(bytes.size())));
        int code = Tcl_EvalObjEx(interp_, script, 0);
        Tcl_DecrRefCount(script);
        std::string result = Tcl_GetStringResult(interp_);
        return code == TCL_OK ? result : "error: " + result;
    }

    kiv_test::core_session session{false};
    Tcl_Interp* interp_ = nullptr;
};

}  // namespace

TEST_F(tcl_package_test, checksums_take_byte_arrays_with_zero_bytes_and_script_defaults) {
    const std::string bytes("a\0b\0\xff", 5);
    EXPECT_EQ(eval_with_bytes("kiv_crc32", bytes), std::to_string(kiv_crc32(bytes.data(), 5, 0)));
    EXPECT_EQ(eval_with_bytes("kiv_crc16", bytes), std::to_string(kiv_crc16(bytes.data(), 5, 0x1973)));
    EXPECT_EQ(eval("format %08X [expr {~[kiv_crc32 123456789 0xFFFFFFFF] & 0xFFFFFFFF}]"), "CBF43926");
    EXPECT_EQ(eval("kiv_crc16 123456789 0"), "8585");
}

TEST_F(tcl_package_test, heap_texts_and_byte_blocks_come_back_whole) {
    EXPECT_EQ(eval("kiv_base64_encode [binary format H* 00ff00]"), "AP8A");
    EXPECT_EQ(eval("binary encode hex [i_binary_get_data [kiv_base64_decode AP8A]]"), "00ff00");
    EXPECT_EQ(eval("kiv_bin2str abc"), "616263");
    EXPECT_EQ(eval("kiv_trim {  x  }"), "x");
}

TEST_F(tcl_package_test, the_encryptor_and_md5_services_work_from_scripts) {
    EXPECT_EQ(eval("set e [kiv_cast_i_encryptor [i_core_get_service [kiv_core] svc_encrypt]]; "
                   "set c [i_encryptor_encrypt $e [binary format H* 0001020304] key! 2]; "
                   "string length [i_binary_get_data $c]"),
              "17");
    EXPECT_EQ(eval("binary encode hex [i_binary_get_data [i_encryptor_decrypt $e [i_binary_get_data $c] key! 50]]"),
              "0001020304");
    EXPECT_EQ(eval("i_encryptor_decrypt_string $e [i_encryptor_encrypt_string $e {some text} secret 1] secret 1"),
              "some text");
    EXPECT_EQ(eval("i_encryptor_encrypt $e abc key! 7"), "NULL");
    EXPECT_EQ(eval("i_md5_encoder_encode_data [kiv_cast_i_md5_encoder [i_core_get_service [kiv_core] "
                   "svc_md5_encoder]] abc"),
              "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(tcl_package_test, the_binary_parser_reads_its_own_copy_of_the_bytes) {
    EXPECT_EQ(eval("set p [kiv_create_bin_parser [binary format c* {1 0 0 0 -128}]]; i_bin_parser_get_int $p 1"),
              "2147483648");
    EXPECT_EQ(eval("$p get_int 0 2 1 1; $p get_offset"), "2");
    EXPECT_EQ(eval("$p get_unparsed_size"), "3");
    EXPECT_EQ(eval("$p set_offset 9 0"), "0");

    const unsigned char bytes[] = {'a', 'b', 0, 0xFF, 0xFE};
    Tcl_Obj* value = Tcl_NewByteArrayObj(bytes, sizeof bytes);
    Tcl_IncrRefCount(value);
    Tcl_Obj* words[2] = {Tcl_NewStringObj("kiv_create_bin_parser", -1), value};
    Tcl_IncrRefCount(words[0]);
    ASSERT_EQ(Tcl_EvalObjv(interp_, 2, words, 0), TCL_OK);
    std::string name = Tcl_GetStringResult(interp_);
    Tcl_DecrRefCount(words[0]);
    // Scribble over the script's value, then let it go.
    int length = 0;
    unsigned char* inside = Tcl_GetByteArrayFromObj(value, &length);
    ASSERT_EQ(length, 5);
    std::memset(inside, 0x55, 5);
    Tcl_DecrRefCount(value);
    EXPECT_EQ(eval("i_bin_parser_get_text " + name + " 0 1"), "ab");
    EXPECT_EQ(eval("i_bin_parser_get_int " + name + " 0 2 1 0"), "65534");
    EXPECT_EQ(eval("delete_i_bin_parser " + name + "; i_bin_parser_get_offset " + name),
              "error: i_bin_parser_get_offset: object not held by this interpreter");
    EXPECT_EQ(eval("kiv_create_bin_parser {}"), "NULL");
}

TEST_F(tcl_package_test, bad_arguments_give_tcl_errors) {
    EXPECT_EQ(eval("set p [kiv_create_bin_parser abc]; i_bin_parser_get_int $p -1").rfind("error: ", 0), 0u);
    EXPECT_EQ(eval("i_bin_parser_get_byte $p 0 maybe").rfind("error: ", 0), 0u);
    EXPECT_EQ(eval("i_bin_parser_get_int").rfind("error: Wrong number of arguments", 0), 0u);
    EXPECT_EQ(eval("i_bin_parser_get_int NULL 0"), "error: i_bin_parser_get_int: null object");
    EXPECT_EQ(eval("i_string_get_value $p"),
              "error: i_string_get_value: argument 1 is not a kiv::i_string *");
    EXPECT_EQ(eval("i_string_get_value {x; set hacked 1}; info exists hacked").rfind("error: ", 0), 0u);
    EXPECT_EQ(eval("info exists hacked"), "0");
}

TEST_F(tcl_package_test, delete_commands_give_the_reference_back) {
    // A collection keeps its own reference: Tcl's count shows in addref.
    EXPECT_EQ(eval("set c [kiv_create_col]; set s [kiv_create_string x]; i_object_col_x_add_item $c $s; "
                   "delete_i_string $s; set again [i_object_col_get_item_by_pos $c 0]; i_object_addref $again"),
              "3");
    EXPECT_EQ(eval("i_object_release $again"), "2");
    EXPECT_EQ(eval("i_string_get_value [kiv_cast_i_string $again]"), "x");
    // $s was given up when its count fell to 0; the object held again
    // comes under a new name, and the old one stays unusable.
    EXPECT_NE(eval("kiv_cast_i_string $again"), eval("set s"));
    EXPECT_EQ(eval("i_string_get_value $s"), "error: i_string_get_value: object not held by this interpreter");
    // Once Tcl holds no reference, no name of the object works and its
    // commands are gone.
    EXPECT_EQ(eval("delete_i_object $again; info commands $again"), "");
    EXPECT_EQ(eval("i_string_get_value $s"), "error: i_string_get_value: object not held by this interpreter");
    EXPECT_EQ(eval("i_object_col_get_count $c"), "1");
}

TEST_F(tcl_package_test, the_end_of_the_interpreter_gives_every_reference_back) {
    kiv::named_string* probe = new kiv::named_string("probe", "value");
    probe->addref();
    ASSERT_TRUE(kiv_core()->register_service(probe, "svc_probe"));
    EXPECT_EQ(probe->get_ref_count(), 2);
    EXPECT_EQ(eval("set p [i_core_get_service [kiv_core] svc_probe]; set q [i_core_get_service [kiv_core] svc_probe]; "
                   "i_named_object_get_name [kiv_cast_i_named_object $p]"),
              "probe");
    EXPECT_EQ(probe->get_ref_count(), 4);
    Tcl_DeleteInterp(interp_);
    interp_ = nullptr;
    EXPECT_EQ(probe->get_ref_count(), 2);
    kiv_core()->unregister_service("svc_probe");
    probe->release();
}

TEST_F(tcl_package_test, the_safe_initialiser_gives_a_safe_interpreter_the_same_commands) {
    Tcl_Interp* safe = Tcl_CreateSlave(interp_, "safe_child", 1);
    ASSERT_NE(safe, nullptr);
    ASSERT_EQ(Kiv_core_SafeInit(safe), TCL_OK);
    ASSERT_EQ(Tcl_Eval(safe, "i_string_get_value [kiv_create_string inside]"), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(safe), "inside");
    EXPECT_EQ(eval("info commands i_string_get_value"), "i_string_get_value");
}

TEST_F(tcl_package_test, object_commands_refuse_ownership_changes) {
    std::string name = eval("set s [kiv_create_string x]");
    EXPECT_EQ(eval("$s get_value"), "x");
    EXPECT_EQ(eval("$s -disown"), "error: ownership of \"" + name + "\" cannot be changed from scripts");
    EXPECT_EQ(eval("info commands i_string"), "");
}

TEST_F(tcl_package_test, release_from_a_script_goes_through_the_registry) {
    // Each way a script gives up its reference leaves the name unusable
    // instead of pointing at freed memory.
    for (const char* release : {"kiv_release", "i_object_release", "delete_i_object"}) {
        SCOPED_TRACE(release);
        EXPECT_EQ(eval(std::string("set s [kiv_create_string x]; ") + release + " $s; i_string_get_value $s"),
                  "error: i_string_get_value: object not held by this interpreter");
        EXPECT_EQ(eval("info commands $s"), "");
    }
    // An addref from a script is counted: the release after it keeps the
    // object held.
    EXPECT_EQ(eval("set s [kiv_create_string y]; i_object_addref $s; i_object_release $s; i_string_get_value $s"),
              "y");
    EXPECT_EQ(eval("i_object_release $s; i_object_release $s"),
              "error: i_object_release: object not held by this interpreter");
}

TEST_F(tcl_package_test, a_given_up_name_never_names_a_newer_object_at_the_same_address) {
    // Freed blocks of one size come back at once, so the new strings land
    // where the old ones were; their names must differ all the same.
    std::string names = eval("set seen {}; for {set i 0} {$i < 20} {incr i} {"
                             " set s [kiv_create_string v$i]; lappend seen $s; kiv_release $s }; set seen");
    EXPECT_EQ(eval("llength [lsort -unique $seen]"), "20");
    EXPECT_EQ(eval("set fresh [kiv_create_string new]; set n 0; foreach old $seen {"
                   " if {![catch {i_string_get_value $old}]} { incr n } }; set n"),
              "0");
    EXPECT_EQ(eval("i_string_get_value $fresh"), "new");
}

TEST_F(tcl_package_test, a_child_interpreter_releases_what_its_script_released_only_once) {
    kiv::named_string* probe = new kiv::named_string("probe", "value");
    probe->addref();
    ASSERT_TRUE(kiv_core()->register_service(probe, "svc_probe"));
    ASSERT_EQ(eval("interp create kid"), "kid");
    Tcl_Interp* kid = Tcl_GetSlave(interp_, "kid");
    ASSERT_NE(kid, nullptr);
    ASSERT_EQ(Kiv_core_Init(kid), TCL_OK);
    EXPECT_EQ(eval("kid eval {set p [i_core_get_service [kiv_core] svc_probe]; i_object_release $p}"), "2");
    EXPECT_EQ(eval("kid eval {set q [i_core_get_service [kiv_core] svc_probe]}; interp delete kid"), "");
    EXPECT_EQ(probe->get_ref_count(), 2);
    kiv_core()->unregister_service("svc_probe");
    probe->release();
}

TEST_F(tcl_package_test, impossible_sizes_and_values_are_refused_not_fatal) {
    EXPECT_EQ(eval("i_object_col_x_reserve [kiv_create_col] 4000000000"), "0");
    EXPECT_EQ(eval("i_object_col_x_reserve [kiv_create_col] 64"), "1");
    EXPECT_EQ(eval("set t [kiv_get_time 0]; list [i_time_set_year $t 2147483648] [i_time_get_year $t]"), "0 1900");
    EXPECT_EQ(eval("list [i_time_set_month $t 4294967295] [i_time_set_day $t 2147483648] [i_time_get_month $t]"),
              "0 0 1");
    EXPECT_EQ(eval("list [i_time_set_year $t 2147483647] [i_time_get_year $t]"), "1 2147483647");
}
