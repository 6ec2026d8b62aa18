// zip_reader.h --
//
//     The reader behind i_zip_reader. The service opens readers on files;
//     code of this library (and its tests) holding an archive through its
//     own minizip input functions (an archive in memory, say) reads it the
//     same way:
//
//         unzFile uf = unzOpen2_64("mem", &memory_functions);
//         auto_ptr_t<kiv::zip_reader> reader(new kiv::zip_reader(uf));
//         reader->addref();
//
//     Every operation holds the reader's mutex for its whole run. The
//     first one reads the archive's directory once into an index by
//     name, so finding an entry costs the same wherever it stands.

#ifndef KIV_ZIP_ZIP_READER_H
#define KIV_ZIP_ZIP_READER_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <minizip/unzip.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {

class zip_reader : public object, public mutex, public i_zip_reader {
public:
    // Takes over an open minizip read handle (not null); count 0.
    explicit zip_reader(unzFile handle) : handle_(handle) {}
    // Closes the archive.
    ~zip_reader() override;

    i_xml_node* get_contents() override;
    char* get_text_file(const char* fname) override;
    i_binary* get_binary_file(const char* fname) override;
    bool extract_file(const char* fname, const char* ex_path) override;
    // Answers "i_zip_reader"; other names go to object.
    bool get_interface(const char* name, void** out) override;

private:
    // One entry of the archive's directory as the index keeps it.
    struct entry {
        std::string name;      // as stored
        unz64_file_pos pos;    // where minizip finds it again
        uint64_t size;         // uncompressed, zip64 field applied
        uint32_t crc;          // CRC-32 of the uncompressed bytes
        unsigned long method;  // 0 stored, 8 deflate, others refused
        unsigned long flag;    // general purpose bits; bit 0: encrypted
    };

    // Reads the directory into entries_ and by_name_ the first time;
    // stops at the first entry minizip cannot read or step to.
    void build_index();
    // Makes the entry named exactly `fname` current and opens it.
    // Returns: the entry, or null for a null name, a missing entry, a
    //     method other than stored or deflate (logged), or one that
    //     cannot be opened.
    const entry* open_entry(const char* fname);
    // Closes the open entry. Returns: `ok` and whether exactly the
    //     declared size was read and its CRC-32 is `crc` (a mismatch is
    //     logged).
    bool close_entry(const entry& e, bool ok, uint64_t read, uint32_t crc);
    // Reads the entry whole into a malloc-ed block with `spare` bytes
    // more at its end. Returns: the block (*size set), or null.
    uint8_t* read_entry(const char* fname, unsigned spare, uint64_t* size);

    unzFile handle_;             // owned; closed by the destructor
    bool indexed_ = false;       // entries_ and by_name_ were read
    std::vector<entry> entries_;  // the directory in archive order
    // Entry name to its place in entries_; the first of equal names.
    std::unordered_map<std::string, size_t> by_name_;
};

}  // namespace kiv

#endif
