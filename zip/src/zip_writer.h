// zip_writer.h --
//
//     The writer behind i_zip_writer: adds files and memory blocks to a
//     new archive, one deflated entry each. The archive is written
//     through the core's file_writer (a temporary file beside its
//     target); when the last reference goes the directory is written
//     and, only when that and the file's close succeeded, the temporary
//     file takes the target's place, keeping the old file's mode. A
//     failed close leaves the old archive as it was (and says so in the
//     log). Every operation holds the writer's mutex.

#ifndef KIV_ZIP_SRC_ZIP_WRITER_H
#define KIV_ZIP_SRC_ZIP_WRITER_H

#include <kiv/core/file_writer.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <minizip/zip.h>

#include <ctime>
#include <memory>
#include <string>

namespace kiv {

class zip_writer : public object, public mutex, public i_zip_writer {
public:
    // Opens a new archive for the absolute path `target` on `out`, the
    // file writer already open on it, which the writer takes over.
    // Returns: a new writer (count 0), or null when minizip refuses it
    //     (the temporary file is then removed).
    static zip_writer* create(const std::string& target, std::unique_ptr<file_writer> out);
    // Writes the directory, closes the archive and, after a good close,
    // renames it into place; otherwise removes the temporary file.
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
    // Whether `name` may name an entry: not empty, not absolute (no
    // leading "/" or "\\", no drive "X:") and without a ".." component,
    // so extracting by entry name can never climb out of a folder.
    static bool safe_entry_name(const char* name);

private:
    zip_writer(zipFile handle, const std::string& target, std::unique_ptr<file_writer> out)
        : handle_(handle), target_(target), out_(std::move(out)) {}

    // Opens a new deflated entry dated `t` with the Unix file mode `mode`;
    // zip64 records when the entry may reach 4 GiB. Returns: true when
    // the name is safe and minizip opened the entry.
    bool open_entry(const char* archive_name, time_t t, unsigned mode, bool zip64);

    zipFile handle_;         // owned; closed by the destructor
    std::string target_;     // absolute path the archive replaces
    std::unique_ptr<file_writer> out_;  // owned; the archive's temporary file, its stream minizip's
};

}  // namespace kiv

#endif
