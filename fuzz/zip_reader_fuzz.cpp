// zip_reader_fuzz.cpp --
//
//     Reads any bytes as a zip archive held in memory, through the same
//     reader the service hands out (minizip reads it through in-memory
//     file functions, and so do the reader's own reads of local headers).
//     The archive is listed as XML (the framework runs for the XML
//     service), every entry is read as bytes and as text, and the first
//     small one is extracted: the reader must give each entry whole
//     (exactly its declared size) or refuse it, without reading or
//     writing outside what it was given or allocated; and, as no two
//     entries it hands out may share the archive's bytes, all it hands
//     out together is never more than deflate can make of the archive
//     once.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/log.h>
#include <kiv_test/temp_folder.h>
#include <kiv_test/zip_hooks.h>
#include "zip_reader.h"

#include <minizip/unzip.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Entries larger than this are not read (the reader refuses them), and
// only entries below it are extracted, so a crafted size cannot make one
// run write gigabytes.
constexpr uint64_t fuzz_memory_cap = 4u << 20;
constexpr unsigned max_entries = 16;

// The archive bytes, and one read position for each stream open on them
// (minizip's and the reader's own).
struct memory_file {
    const uint8_t* data;
    size_t size;
};
struct memory_stream {
    const memory_file* file;
    size_t pos;
};

voidpf ZCALLBACK mem_open(voidpf opaque, const void*, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    return new memory_stream{static_cast<const memory_file*>(opaque), 0};
}

uLong ZCALLBACK mem_read(voidpf, voidpf stream, void* buf, uLong size) {
    memory_stream* s = static_cast<memory_stream*>(stream);
    size_t left = s->file->size - s->pos;
    size_t n = size < left ? size_t(size) : left;
    if (n > 0)
        std::memcpy(buf, s->file->data + s->pos, n);
    s->pos += n;
    return uLong(n);
}

uLong ZCALLBACK mem_write(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK mem_tell(voidpf, voidpf stream) {
    return static_cast<memory_stream*>(stream)->pos;
}

long ZCALLBACK mem_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    memory_stream* s = static_cast<memory_stream*>(stream);
    size_t size = s->file->size;
    uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET ? 0 : origin == ZLIB_FILEFUNC_SEEK_CUR ? s->pos : size;
    if (offset > size || base + offset > size)
        return -1;
    s->pos = size_t(base + offset);
    return 0;
}

int ZCALLBACK mem_close(voidpf, voidpf stream) {
    delete static_cast<memory_stream*>(stream);
    return 0;
}

int ZCALLBACK mem_error(voidpf, voidpf) {
    return 0;
}

zlib_filefunc64_def memory_functions(memory_file* file) {
    return zlib_filefunc64_def{mem_open, mem_read, mem_write, mem_tell, mem_seek, mem_close, mem_error, file};
}

struct entry {
    std::string name;
    uint64_t size;
    bool plain;  // the name can only find this entry (see list_entries)
};

// The entries as minizip lists them, through a second handle. A name is
// plain when the reader's lookup, which compares at most 256 bytes of
// each stored name up to its first zero byte, can only reach this entry.
std::vector<entry> list_entries(memory_file* file) {
    std::vector<entry> out;
    zlib_filefunc64_def functions = memory_functions(file);
    unzFile uf = unzOpen2_64("memory", &functions);
    if (uf == nullptr)
        return out;
    for (int r = unzGoToFirstFile(uf); r == UNZ_OK && out.size() < max_entries; r = unzGoToNextFile(uf)) {
        unz_file_info64 info;
        char name[1024] = {};
        if (unzGetCurrentFileInfo64(uf, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) != UNZ_OK)
            continue;
        std::string text(name);
        bool plain = text.size() == info.size_filename && text.size() < 256;
        for (entry& earlier : out)
            if (earlier.name.compare(0, 256, text, 0, 256) == 0)
                plain = earlier.plain = false;
        out.push_back(entry{text, info.uncompressed_size, plain});
    }
    unzClose(uf);
    return out;
}

// The file entries are extracted to, in a folder of the run's own under
// the program's TMPDIR (the test support's, removed as the run ends).
std::string scratch_file() {
    static std::string path = [] {
        std::string folder = kiv_test::make_temp_folder("kiv_zip_fuzz_");
        if (folder.empty())
            abort();
        return folder + "/extracted";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kiv_enable_trace(false);
    kiv_zip_test_memory_cap(fuzz_memory_cap);
    if (!kiv_initialize())
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    memory_file file{data, size};
    std::vector<entry> entries = list_entries(&file);

    zlib_filefunc64_def functions = memory_functions(&file);
    kiv::zip_reader* reader = kiv::zip_reader::open("memory", &functions);
    if (reader == nullptr)
        return 0;
    auto_ptr_t<kiv::zip_reader> holder(reader);
    reader->addref();

    auto_ptr_t<kiv::i_xml_node> listing(reader->get_contents());
    if (listing) {
        char* xml = listing->get_xml(true);
        if (xml == nullptr)
            abort();
        free(xml);
    }

    bool extracted = false;
    uint64_t handed_out = 0;
    for (const entry& e : entries) {
        auto_ptr_t<kiv::i_binary> bin(reader->get_binary_file(e.name.c_str()));
        char* text = reader->get_text_file(e.name.c_str());
        // Text and bytes come from the same read: both or neither.
        if ((text != nullptr) != (bin != nullptr))
            abort();
        if (e.plain && bin) {
            // Whole or nothing: a returned entry has exactly its declared size.
            if (bin->get_data_size() != e.size || text[e.size] != 0 ||
                (e.size > 0 && std::memcmp(text, bin->get_data(), size_t(e.size)) != 0))
                abort();
            handed_out += e.size;
        }
        free(text);
        // extract_file refuses an empty name by contract.
        if (e.plain && !e.name.empty() && !extracted && e.size < fuzz_memory_cap) {
            extracted = true;
            bool ok = reader->extract_file(e.name.c_str(), scratch_file().c_str());
            if (ok != (bin != nullptr))
                abort();
            unlink(scratch_file().c_str());
        }
    }
    // Entries that share no byte: each byte of the archive inflates once,
    // to at most 1032 bytes.
    if (handed_out > uint64_t(size) * 1032)
        abort();
    return 0;
}
