// zip_damage_test.cpp --
//
//     Damaged archives: a flipped byte in deflated or stored data, a
//     wrong checksum, sizes that claim more or less than the entry holds,
//     and a cut archive. Every read, text or binary, and every extraction
//     fails; nothing comes back as if it were the complete entry, and an
//     extraction leaves the target as it was. unzip -t confirms each
//     damage where it is installed.

#include "zip_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kiv;
using namespace kiv_test;

namespace {

uint32_t le32(const bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void put_le32(bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

uint16_t le16(const bytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

// Where the one entry of an archive keeps its data and size fields.
struct entry_layout {
    size_t data = 0;          // first byte of the (compressed) data
    size_t compressed = 0;    // its length
    size_t local_crc = 0;     // offset of the CRC in the local header
    size_t central_crc = 0;   // ... in the central directory header
};

entry_layout layout_of(const bytes& archive) {
    entry_layout e;
    EXPECT_EQ(le32(archive, 0), 0x04034b50u);
    e.local_crc = 14;
    e.data = 30 + le16(archive, 26) + le16(archive, 28);
    e.compressed = le32(archive, 18);
    for (size_t at = e.data + e.compressed; at + 4 <= archive.size(); ++at)
        if (le32(archive, at) == 0x02014b50u) {
            e.central_crc = at + 16;
            break;
        }
    EXPECT_NE(e.central_crc, 0u);
    return e;
}

class zip_damaged : public zip_session {
protected:
    // An archive of one entry "e" holding `data`, made by our writer
    // (deflated) or by Python's zipfile (stored).
    bytes make_archive(const bytes& data, bool stored) {
        std::string archive = path("good.zip");
        if (stored) {
            put_file(path("content"), data);
            EXPECT_EQ(zip_check("store " + shell_quoted(archive) + " e=" + shell_quoted(path("content"))), 0);
        } else {
            auto_ptr_t<i_zip_writer> writer(zip->open_writer(archive.c_str()));
            EXPECT_TRUE(writer->write_binary_file(data.data(), unsigned(data.size()), "e"));
        }
        return file_bytes(archive);
    }

    // Writes the damaged archive and checks that nothing reads entry "e"
    // from it; with `confirm`, that unzip -t sees the damage too.
    void expect_refused(const bytes& archive, const char* what, bool confirm = true) {
        SCOPED_TRACE(what);
        std::string file = path("bad.zip");
        put_file(file, archive);
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(file.c_str()));
        ASSERT_TRUE(reader) << "the directory itself is intact";
        EXPECT_EQ(reader->get_binary_file("e"), nullptr);
        EXPECT_EQ(reader->get_text_file("e"), nullptr);
        put_file(path("target"), bytes_of("untouched"));
        EXPECT_FALSE(reader->extract_file("e", path("target").c_str()));
        EXPECT_TRUE(read_all(path("target")) == "untouched");
        EXPECT_FALSE(reader->extract_file("e", path("new_target").c_str()));
        EXPECT_FALSE(exists(path("new_target")));
        if (confirm && have_tool("unzip")) {
            EXPECT_NE(run_command("unzip -t " + shell_quoted(file) + " >/dev/null 2>&1"), 0) << "unzip -t passed it";
        }
    }
};

}  // namespace

// Whether Python's zipfile finds entry "e" of the archive file damaged.
bool python_finds_damage(const std::string& file) {
    return zip_check("test " + shell_quoted(file) + " >/dev/null") != 0;
}

TEST_F(zip_damaged, one_flipped_byte_in_deflated_data_is_refused_or_harmless) {
    // Not every byte of a deflate stream changes the data (a flipped
    // final-block bit after the last block, say). Wherever the flip is,
    // ours refuses exactly when zipfile sees damage, and otherwise
    // returns the original bytes, never different ones.
    bytes data = sample_data(50000);
    bytes archive = make_archive(data, false);
    entry_layout e = layout_of(archive);
    unsigned refused = 0;
    for (size_t k = 0; k < 10; ++k) {
        size_t at = e.data + (e.compressed - 1) * k / 9;
        bytes bad = archive;
        bad[at] ^= 0xFF;
        std::string file = path("flip.zip");
        put_file(file, bad);
        bool damage = python_finds_damage(file);
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(file.c_str()));
        ASSERT_TRUE(reader);
        auto_ptr_t<i_binary> got(reader->get_binary_file("e"));
        if (damage) {
            expect_refused(bad, ("flipped at " + std::to_string(at - e.data)).c_str());
            ++refused;
        } else {
            ASSERT_TRUE(got) << "flipped at " << at - e.data;
            EXPECT_TRUE(bytes_of(got) == data) << "flipped at " << at - e.data;
        }
    }
    EXPECT_GE(refused, 7u);
    // The intact archive reads.
    put_file(path("good.zip"), archive);
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("good.zip").c_str()));
    auto_ptr_t<i_binary> got(reader->get_binary_file("e"));
    ASSERT_TRUE(got);
    EXPECT_TRUE(bytes_of(got) == data);
}

TEST_F(zip_damaged, one_flipped_byte_in_stored_data_fails_its_checksum) {
    // Stored data reads back byte for byte; only the checksum at the
    // entry's close catches the change.
    bytes data = sample_data(20000);
    bytes archive = make_archive(data, true);
    entry_layout e = layout_of(archive);
    ASSERT_EQ(e.compressed, data.size());
    bytes bad = archive;
    bad[e.data + 1234] ^= 0x80;
    expect_refused(bad, "stored byte");
}

TEST_F(zip_damaged, a_wrong_checksum_is_refused) {
    bytes data = sample_data(3000);
    bytes archive = make_archive(data, false);
    entry_layout e = layout_of(archive);
    uint32_t crc = le32(archive, e.central_crc) ^ 0x00010000u;
    put_le32(archive, e.central_crc, crc);
    put_le32(archive, e.local_crc, crc);
    expect_refused(archive, "checksum");
}

TEST_F(zip_damaged, sizes_that_claim_more_or_less_than_the_entry_holds_are_refused) {
    bytes data = sample_data(3000);
    for (bool stored : {false, true}) {
        bytes archive = make_archive(data, stored);
        entry_layout e = layout_of(archive);
        for (uint32_t claimed : {uint32_t(data.size() + 100), uint32_t(data.size() - 100)}) {
            bytes bad = archive;
            put_le32(bad, e.local_crc + 8, claimed);    // local uncompressed size
            put_le32(bad, e.central_crc + 8, claimed);  // central uncompressed size
            // unzip -t trusts a deflate stream's own end over the sizes.
            expect_refused(bad, (std::string(stored ? "stored " : "deflated ") + "claims " +
                                 std::to_string(claimed)).c_str(), false);
        }
    }
}

TEST_F(zip_damaged, an_entry_larger_than_memory_allows_is_refused_before_reading) {
    bytes data = sample_data(3000);
    bytes archive = make_archive(data, false);
    entry_layout e = layout_of(archive);
    put_le32(archive, e.local_crc + 8, 0xFFFFFFF0u);
    put_le32(archive, e.central_crc + 8, 0xFFFFFFF0u);
    put_file(path("huge.zip"), archive);
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("huge.zip").c_str()));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->get_binary_file("e"), nullptr);
    EXPECT_EQ(reader->get_text_file("e"), nullptr);
}

TEST_F(zip_damaged, sizes_the_method_cannot_give_are_refused_before_anything_is_read) {
    // Under the memory cap, so only the claim itself can refuse them: a
    // deflated entry claiming a gibibyte from 3000 bytes would otherwise
    // have a gibibyte allocated for it before the first read.
    bytes data = sample_data(3000);
    struct {
        bool stored;
        uint32_t claimed;
        std::string cause;
    } rows[] = {
        {false, 0x3FFFFFFF, "claims 1073741823 bytes from "},
        {true, 3100, "is stored in 3000 bytes but claims 3100"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.cause);
        bytes archive = make_archive(data, r.stored);
        entry_layout e = layout_of(archive);
        put_le32(archive, e.local_crc + 8, r.claimed);
        put_le32(archive, e.central_crc + 8, r.claimed);
        trace_capture trace(path(r.stored ? "stored.log" : "deflated.log"));
        expect_refused(archive, r.cause.c_str(), false);
        std::string text = trace.text();
        size_t at = text.find("entry 'e' " + r.cause), count = 0;
        for (; at != std::string::npos; at = text.find("entry 'e' " + r.cause, at + 1))
            ++count;
        EXPECT_EQ(count, 4u) << text;
    }
}

TEST_F(zip_damaged, entries_beyond_the_memory_cap_are_not_read_whole_but_extract) {
    bytes data = sample_data(5001);
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("cap.zip").c_str()));
        ASSERT_TRUE(writer->write_binary_file(data.data(), 5000, "fits"));
        ASSERT_TRUE(writer->write_binary_file(data.data(), 5001, "over"));
    }
    memory_cap_guard cap(5000);
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("cap.zip").c_str()));
    ASSERT_TRUE(reader);
    auto_ptr_t<i_binary> got(reader->get_binary_file("fits"));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->get_data_size(), 5000u);
    EXPECT_EQ(reader->get_binary_file("over"), nullptr);
    EXPECT_EQ(reader->get_text_file("over"), nullptr);
    ASSERT_TRUE(reader->extract_file("over", path("over.bin").c_str()));
    EXPECT_TRUE(file_bytes(path("over.bin")) == data);
}

TEST_F(zip_damaged, an_archive_cut_before_its_directory_does_not_open) {
    bytes archive = make_archive(sample_data(5000), false);
    entry_layout e = layout_of(archive);
    size_t directory = e.central_crc - 16;
    for (size_t keep : {archive.size() - 22, directory, e.data + e.compressed / 2, size_t(10), size_t(0)}) {
        put_file(path("cut.zip"), bytes(archive.begin(), archive.begin() + long(keep)));
        EXPECT_EQ(zip->open_reader(path("cut.zip").c_str()), nullptr) << keep;
    }
}
