// zip_reader.h --
//
//     The reader behind i_zip_reader. The service opens readers on files;
//     the class is exported so that code holding an archive through its
//     own minizip input functions (an archive in memory, say) can read it
//     the same way:
//
//         unzFile uf = unzOpen2_64("mem", &memory_functions);
//         auto_ptr_t<kiv::zip_reader> reader(new kiv::zip_reader(uf));
//         reader->addref();
//
//     Every operation holds the reader's mutex for its whole run.

#ifndef KIV_ZIP_ZIP_READER_H
#define KIV_ZIP_ZIP_READER_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <minizip/unzip.h>

#include <cstdint>

namespace kiv {

class KIV_EXPORT zip_reader : public object, public mutex, public i_zip_reader {
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
    // Makes the entry named exactly `fname` current and opens it.
    // Returns: false for a null name, a missing entry or one that cannot
    //     be opened; on true *size holds its declared uncompressed size.
    bool open_entry(const char* fname, uint64_t* size);
    // Closes the open entry. Returns: `ok` and whether exactly `size`
    //     bytes were read and the entry's checksum matched them.
    bool close_entry(bool ok, uint64_t read, uint64_t size);
    // Reads the entry whole into a malloc-ed block with `spare` bytes
    // more at its end. Returns: the block (*size set), or null.
    uint8_t* read_entry(const char* fname, unsigned spare, uint64_t* size);

    unzFile handle_;  // owned; closed by the destructor
};

}  // namespace kiv

#endif
