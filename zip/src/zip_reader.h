// zip_reader.h --
//
//     The reader behind i_zip_reader. The service opens readers on files;
//     code of this library (and its tests) holding an archive through its
//     own minizip input functions (an archive in memory, say) reads it the
//     same way:
//
//         auto_ptr_t<kiv::zip_reader> reader(kiv::zip_reader::open("mem", &memory_functions));
//         reader->addref();
//
//     Every operation holds the reader's mutex for its whole run. The
//     first one reads the archive's directory once into an index by
//     name, so finding an entry costs the same wherever it stands. The
//     first read of an entry also measures where every entry lies in the
//     archive (zip_reader_layout.cpp) and refuses, from then on, entries
//     that share bytes with another or whose local header names another
//     file: a directory whose entries all point at one stretch of
//     deflated data would otherwise hand out that data again and again.

#ifndef KIV_ZIP_ZIP_READER_H
#define KIV_ZIP_ZIP_READER_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <minizip/unzip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kiv {

class zip_reader : public object, public mutex, public i_zip_reader {
public:
    // Opens the archive `path` through `functions` (null: the C library's
    // files) twice: once for minizip, once for the reads of local
    // headers, which minizip does not offer. `functions` must allow two
    // streams open on one path at once.
    // Returns: a new reader (count 0) the caller takes a reference to,
    //     or null when the archive cannot be opened or its directory
    //     cannot be read. Safe from any thread.
    static zip_reader* open(const char* path, const zlib_filefunc64_def* functions);
    // Closes the archive.
    ~zip_reader() override;

    i_xml_node* get_contents() override;
    char* get_text_file(const char* fname) override;
    i_binary* get_binary_file(const char* fname) override;
    bool extract_file(const char* fname, const char* ex_path) override;
    // Answers "i_zip_reader"; other names go to object.
    bool get_interface(const char* name, void** out) override;

private:
    // Names are quoted in messages up to this many bytes.
    static constexpr size_t max_quoted_name = 200;

    // Why an entry may not be read, as check_layout found it.
    enum class layout : uint8_t {
        unchecked,     // check_layout has not run
        sound,         // its bytes are its own and its local header agrees
        unreadable,    // minizip cannot open its local header
        past_end,      // its data (or data descriptor) runs past the archive
        renamed,       // its local header names another file
        overlapping,   // its bytes overlap another entry's
    };

    // One entry of the archive's directory as the index keeps it.
    struct entry {
        std::string name;         // as stored
        unz64_file_pos pos;       // where minizip finds it again
        uint64_t size;            // uncompressed, zip64 field applied
        uint64_t compressed;      // compressed, zip64 field applied
        // The entry's bytes in the archive, as absolute offsets: from its
        // local header to the end of its data and data descriptor. Both
        // 0 unless verdict is sound, renamed or overlapping.
        uint64_t start = 0, end = 0;
        uint32_t crc;             // CRC-32 of the uncompressed bytes
        uint32_t other = 0;       // overlapping: the place in entries_ of an entry whose bytes it shares
        uint16_t method;          // 0 stored, 8 deflate, others refused
        uint16_t flag;            // general purpose bits; bit 0: encrypted, bit 3: data descriptor
        layout verdict = layout::unchecked;
    };

    // Takes over an open minizip handle and a second stream on the same
    // archive opened through `functions` (both not null); count 0.
    zip_reader(unzFile handle, const zlib_filefunc64_def& functions, voidpf raw)
        : handle_(handle), functions_(functions), raw_(raw) {}

    // Reads the directory into entries_ and by_name_ the first time;
    // stops at the first entry minizip cannot read or step to, and at the
    // caps on entries and name bytes (logged).
    void build_index();
    // Returns: whether the sizes `e` claims can be true of its method:
    //     a stored entry holds exactly its size, a deflated one at most
    //     what deflate can make of its compressed bytes (a refusal is
    //     logged). Changes nothing.
    bool claims_fit(const entry& e) const;
    // Measures where every entry lies and sets every verdict, the first
    // time (zip_reader_layout.cpp). Moves minizip's current entry.
    void check_layout();
    // Returns: whether check_layout found `e` sound; else logs why not.
    bool layout_sound(const entry& e);
    // Reads `size` bytes at the absolute offset `at` of the archive
    // through the second stream. Returns: whether all of them were read.
    bool read_raw(uint64_t at, void* buf, size_t size);
    // Makes the entry named exactly `fname` current and opens it.
    // Returns: the entry, or null for a null name, a missing entry, or
    //     one refused for its method, encryption, claimed sizes or place
    //     in the archive (each logged), or one that cannot be opened.
    const entry* open_entry(const char* fname);
    // Closes the open entry. Returns: `ok` and whether exactly the
    //     declared size was read and its CRC-32 is `crc` (a mismatch is
    //     logged).
    bool close_entry(const entry& e, bool ok, uint64_t read, uint32_t crc);
    // Reads the entry whole into a malloc-ed block with `spare` bytes
    // more at its end. Returns: the block (*size set), or null.
    uint8_t* read_entry(const char* fname, unsigned spare, uint64_t* size);

    unzFile handle_;              // owned; closed by the destructor
    zlib_filefunc64_def functions_;  // how raw_ is read, sought and closed
    voidpf raw_;                  // owned second stream on the archive; closed by the destructor
    bool indexed_ = false;        // entries_ and by_name_ were read
    bool checked_ = false;        // check_layout has run
    std::vector<entry> entries_;  // the directory in archive order
    // Entry name (borrowed from entries_, filled once) to its place in
    // entries_; the first of equal names.
    std::unordered_map<std::string_view, size_t> by_name_;
};

}  // namespace kiv

#endif
