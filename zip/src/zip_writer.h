// zip_writer.h --
//
//     The writer behind i_zip_writer: adds files and memory blocks to a
//     new archive, one deflated entry each. The archive's directory is
//     written when the last reference goes, so the archive is complete
//     only then. Every operation holds the writer's mutex.

#ifndef KIV_ZIP_SRC_ZIP_WRITER_H
#define KIV_ZIP_SRC_ZIP_WRITER_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <minizip/zip.h>

#include <ctime>

namespace kiv {

class zip_writer : public object, public mutex, public i_zip_writer {
public:
    // Takes over an open minizip write handle (not null); count 0.
    explicit zip_writer(zipFile handle) : handle_(handle) {}
    // Writes the directory and closes the archive.
    ~zip_writer() override;

    bool add_file(const char* fname, const char* archive_name) override;
    bool write_binary_file(const void* buf, unsigned buf_size, const char* archive_name) override;
    bool write_text_file(const char* buf, const char* archive_name) override;
    // Answers "i_zip_writer"; other names go to object.
    bool get_interface(const char* name, void** out) override;

    // The date and time of an entry for the time t, in local time.
    // Zip dates run from 1980 to 2107: earlier times become 1980-01-01
    // 00:00:00, later ones 2107-12-31 23:59:58.
    static tm_zip entry_time(time_t t);

private:
    // Opens a new deflated entry dated `t`; zip64 records when the entry
    // may reach 4 GiB. Returns: true when minizip opened it.
    bool open_entry(const char* archive_name, time_t t, bool zip64);

    zipFile handle_;  // owned; closed by the destructor
};

}  // namespace kiv

#endif
