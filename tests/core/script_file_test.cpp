// script_file_test.cpp --
//
//     Script files as engines run them: the per-engine cache that reads a
//     file once and again only when it changes, and the default loader
//     with its encrypted framing, including files made by the project's
//     own encryptor and files that only pretend to be encrypted.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/checksum.h>
#include <kiv/core/files.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_encryptor.h>
#include <kiv/core/i_script.h>
#include <kiv/core/i_string.h>
#include <kiv/core/log.h>
#include <kiv/core/script_file.h>

#include "script_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using kiv_test::run;

namespace {

// A loader that counts its calls in the int `fparam` points to.
char* counting_loader(const char* path, const void* fparam) {
    ++*static_cast<int*>(const_cast<void*>(fparam));
    return kiv_read_file(path);
}

// Sets a file's modification time `seconds` after the epoch.
void set_mtime(const std::string& path, time_t seconds) {
    struct utimbuf times = {seconds, seconds};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

class script_file_test : public ::testing::Test {
protected:
    // The 4-byte key of an encrypted script called `base_name`.
    static std::string key_for(const std::string& base_name) {
        unsigned crc = kiv_crc32(base_name.c_str(), static_cast<unsigned>(base_name.size() + 1), kiv_script_key_start);
        return std::string{static_cast<char>(crc), static_cast<char>(crc >> 8), static_cast<char>(crc >> 16),
                           static_cast<char>(crc >> 24)};
    }

    // The bytes of `text` enciphered by "svc_encrypt" for the file
    // `base_name` (method '2').
    std::string cipher_for(const std::string& text, const std::string& base_name) {
        auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_encrypt"));
        kiv::i_encryptor* encryptor = kiv_cast_i_encryptor(svc);
        EXPECT_NE(encryptor, nullptr);
        if (encryptor == nullptr)
            return "";
        std::string key = key_for(base_name);
        auto_ptr_t<kiv::i_binary> cipher(encryptor->encrypt(text.data(), text.size(), key.data(), 4, '2'));
        EXPECT_TRUE(cipher);
        const char* bytes = static_cast<const char*>(cipher->get_data());
        return std::string(bytes, cipher->get_data_size());
    }

    static std::string framed(const std::string& cipher) {
        char* b64 = kiv_base64_encode(cipher.data(), static_cast<unsigned>(cipher.size()));
        std::string file = std::string("KIVENCF73\n") + b64 + "\n";
        free(b64);
        return file;
    }

    static std::string load(const std::string& path) {
        char* text = kiv_load_script_file(path.c_str(), nullptr);
        std::string result = text != nullptr ? text : "(null)";
        free(text);
        return result;
    }

    kiv_test::script_session session;
};

}  // namespace

TEST_F(script_file_test, a_cached_file_is_read_once_and_again_after_it_changes) {
    std::string path = session.write("cached.tcl", "puts first");
    set_mtime(path, 1000000);
    std::string trace = session.root.file("trace.txt");
    kiv_set_trace_facility(trace.c_str());
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    int loads = 0;
    engine->reset();
    EXPECT_TRUE(engine->execute_file(path.c_str(), counting_loader, &loads));
    EXPECT_TRUE(engine->execute_file("cached.tcl", counting_loader, &loads));  // same file, relative
    EXPECT_EQ(loads, 1);
    EXPECT_STREQ(engine->get_output(), "firstfirst");

    session.write("cached.tcl", "puts second");
    set_mtime(path, 1000060);
    engine->reset();
    EXPECT_TRUE(engine->execute_file(path.c_str(), counting_loader, &loads));
    EXPECT_EQ(loads, 2);
    EXPECT_STREQ(engine->get_output(), "second");

    // A file rewritten or replaced under its old time is read again too.
    struct {
        const char* text;
        bool replace;
    } rewrites[] = {{"puts third", false}, {"puts fourth", true}};
    for (const auto& w : rewrites) {
        if (w.replace) {
            std::string fresh = session.write("fresh.tcl", w.text);
            ASSERT_EQ(std::rename(fresh.c_str(), path.c_str()), 0);
        } else {
            session.write("cached.tcl", w.text);
        }
        set_mtime(path, 1000060);
        engine->reset();
        int before = loads;
        EXPECT_TRUE(engine->execute_file(path.c_str(), counting_loader, &loads));
        EXPECT_EQ(loads, before + 1) << w.text;
        EXPECT_EQ(std::string("puts ") + engine->get_output(), w.text);
    }
    kiv_set_trace_facility("stdout");
    EXPECT_NE(kiv_test::read_all(trace).find("script_code: reloading script from file '" + path + "'"),
              std::string::npos);
}

// A program builds a script file of its own from the public header, as
// an engine does, and finds it again behind a plain object pointer.
TEST_F(script_file_test, a_program_loads_a_script_file_and_casts_back_to_it) {
    std::string path = session.write("own.tcl", "puts own");
    kiv::script_file* raw = new kiv::script_file(true);
    raw->addref();
    auto_ptr_t<kiv::script_file> file(raw);
    EXPECT_EQ(file->get_object(), nullptr);
    EXPECT_STREQ(file->get_path(), "");
    EXPECT_FALSE(file->load(session.root.file("none.tcl").c_str(), nullptr, nullptr));
    ASSERT_TRUE(file->load(path.c_str(), nullptr, nullptr));
    ASSERT_NE(file->get_object(), nullptr);
    EXPECT_STREQ(Tcl_GetString(file->get_object()), "puts own");
    EXPECT_EQ(file->get_path(), path);
    EXPECT_TRUE(file->is_raw());

    kiv::i_object* as_object = file.get();
    EXPECT_EQ(kiv_cast_script_file(as_object), file.get());
    auto_ptr_t<kiv::i_string> text(kiv_create_string("own.tcl"));
    EXPECT_EQ(kiv_cast_script_file(text.get()), nullptr);
    EXPECT_EQ(kiv_cast_script_file(nullptr), nullptr);
}

TEST_F(script_file_test, missing_and_unreadable_files_fail_without_running) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(engine->execute_file("no_such.tcl"));
    EXPECT_FALSE(engine->execute_file(nullptr));
    EXPECT_FALSE(engine->execute_file(""));
    // A failed read keeps nothing in the cache: the file runs once it is there.
    session.write("late.tcl", "puts late");
    EXPECT_EQ((engine->reset(), engine->execute_file("late.tcl"), std::string(engine->get_output())), "late");
}

TEST_F(script_file_test, an_encrypted_script_made_by_the_encryptor_runs) {
    const std::string text = "variable secret 42\nputs \"secret is $secret\"";
    session.write("hidden.tcl", framed(cipher_for(text, "hidden.tcl")));
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    engine->reset();
    EXPECT_TRUE(engine->execute_file("hidden.tcl"));
    EXPECT_STREQ(engine->get_output(), "secret is 42");
    // CR LF line ends are read as LF.
    std::string crlf = framed(cipher_for(text, "crlf.tcl"));
    crlf.replace(crlf.find('\n'), 1, "\r\n");
    session.write("crlf.tcl", crlf);
    EXPECT_EQ(load(session.root.file("crlf.tcl")), text);
}

TEST_F(script_file_test, files_that_are_not_exactly_encrypted_come_back_as_they_are) {
    session.write("plain.tcl", "KIVENCF73x\nputs plain");
    EXPECT_EQ(load(session.root.file("plain.tcl")), "KIVENCF73x\nputs plain");
    // A path with no "/" names no file key: the text stays encrypted.
    std::string framed_text = framed(cipher_for("puts inner", "bare.tcl"));
    session.write("bare.tcl", framed_text);
    EXPECT_EQ(load("bare.tcl"), framed_text);
    // Undecodable files run as they are, and fail as scripts.
    session.write("broken.tcl", "KIVENCF73\n!!!!\n");
    EXPECT_EQ(load(session.root.file("broken.tcl")), "KIVENCF73\n!!!!\n");
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(engine->execute_file("broken.tcl"));
    EXPECT_EQ(load(""), "(null)");
    EXPECT_EQ(load(session.root.file("absent.tcl")), "(null)");
}

TEST_F(script_file_test, a_decrypted_text_ends_at_its_stored_length) {
    // The stored length is shortened to 5: the text is the first five
    // bytes, terminated, although the plain bytes behind them are not 0.
    std::string cipher = cipher_for("puts abcdefghijkl", "cut.tcl");
    ASSERT_GE(cipher.size(), 4u);
    cipher[0] = cipher[1] = cipher[2] = 0;
    cipher[3] = 5;
    session.write("cut.tcl", framed(cipher));
    EXPECT_EQ(load(session.root.file("cut.tcl")), "puts ");
}

// Spellings of one file share its entry; names a link gives endlessly
// (ten links back to their own folder, four deep) fill the cache only
// up to its bound, and the file used longest ago leaves it first.
TEST_F(script_file_test, spellings_share_one_entry_and_endless_names_stay_bounded) {
    std::string path = session.write("spelt.tcl", "puts a");
    set_mtime(path, 1000000);
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    int loads = 0;
    const std::string root = session.root.path();
    for (const std::string& spelling : {path, root + "//spelt.tcl", root + "/./spelt.tcl", std::string("spelt.tcl"),
                                        std::string(".//./spelt.tcl"), root + "/.//spelt.tcl"})
        EXPECT_TRUE(engine->execute_file(spelling.c_str(), counting_loader, &loads)) << spelling;
    EXPECT_EQ(loads, 1);

    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(symlink(".", session.root.file("l" + std::to_string(i)).c_str()), 0);
    auto name = [](int n) {
        std::string text;
        for (int digit = 1000; digit > 0; digit /= 10)
            text += "l" + std::to_string(n / digit % 10) + "/";
        return text + "spelt.tcl";
    };
    const int names = 1100;
    for (int n = 0; n < names; ++n)
        ASSERT_TRUE(engine->execute_file(name(n).c_str(), counting_loader, &loads)) << name(n);
    EXPECT_EQ(loads, 1 + names);
    // The newest names are still kept; the first have gone.
    EXPECT_TRUE(engine->execute_file(name(names - 1).c_str(), counting_loader, &loads));
    EXPECT_EQ(loads, 1 + names);
    EXPECT_TRUE(engine->execute_file(name(0).c_str(), counting_loader, &loads));
    EXPECT_EQ(loads, 2 + names);
}
