// i_zip.h --
//
//     The archive service "svc_zip" as other libraries and scripts see it:
//     zip archives read and written entry by entry, whole files gzip-
//     compressed and read back, and buffers compressed in memory with
//     zlib (level 1, the fastest). Other libraries bind to it at run time:
//
//         auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_zip"));
//         kiv::i_zip_service* zip = kiv_cast_i_zip_service(svc);
//
//     Every interface pointer returned carries one reference for the
//     caller; texts returned come from malloc and are freed with free.
//     Relative paths are under KIV_ROOT_PATH. Failures give null or false;
//     an entry or a path refused for what it is (a compression method
//     other than stored or deflate, a failed checksum, sizes its method
//     cannot give, bytes it shares with another entry, a local header
//     naming another file, a folder where a file is to be written) says
//     why in one kiv_log line.
//
//     Data read from archives and gzip files is checked whole: an entry
//     or a gzip stream that is damaged, cut short or fails its checksum
//     makes the read fail; it is never handed back as complete. Sizes
//     read or grown in memory are capped at zip_max_memory_size.
//
//     The service has no state and serves any thread at once; each
//     reader and writer serialises its own operations, so one may be
//     shared between threads.

#ifndef KIV_ZIP_I_ZIP_H
#define KIV_ZIP_I_ZIP_H

#include <kiv/core/i_binary.h>
#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class i_xml_node;

// The most bytes the service holds in memory for one result: an
// uncompressed buffer, an entry read whole or a gzip file read back.
constexpr uint64_t zip_max_memory_size = uint64_t(1) << 30;

class i_zip_reader : public virtual i_object {
public:
    // Lists the archive: a root element "zip_file" with one "file" child
    // per entry in archive order, attributes "name" (as stored) and
    // "size" (uncompressed, decimal). Entries the reads refuse are
    // listed too, with the size their directory entry claims.
    // Returns: a new tree (one reference), or null without the XML
    //     service or when the archive's directory cannot be read.
    virtual i_xml_node* get_contents() = 0;
    // Reads the entry named exactly `fname` (case-sensitive) as text.
    // Returns: a malloc-ed, terminated text the caller frees, or null for
    //     a missing entry, a damaged one, one compressed with a method
    //     other than stored or deflate, one over the cap, or one whose
    //     bytes in the archive are not its own: they overlap another
    //     entry's (as in an archive crafted to inflate one stretch of
    //     data under many names), or its local header names another file.
    virtual char* get_text_file(const char* fname) = 0;
    // Reads the entry named exactly `fname` whole.
    // Returns: a new block (one reference), or null as get_text_file.
    virtual i_binary* get_binary_file(const char* fname) = 0;
    // Writes the entry `fname` to the file `ex_path`, replacing it only
    // once the whole entry was read and checked.
    // Returns: false for a null or empty name, a path that cannot be
    //     made absolute, an entry get_text_file refuses for anything but
    //     the cap, or a failed write.
    virtual bool extract_file(const char* fname, const char* ex_path) = 0;

protected:
    ~i_zip_reader() = default;
};

class i_zip_writer : public virtual i_object {
public:
    // Adds the file `fname` (deflated) as the entry `archive_name`, dated
    // with the file's modification time.
    // Returns: false unless fname can be made absolute and names an
    //     existing file and archive_name is not empty; false too when
    //     reading the file or writing the entry failed.
    virtual bool add_file(const char* fname, const char* archive_name) = 0;
    // Adds buf_size bytes as the entry `archive_name`, dated now.
    // Returns: false for a null buf, an empty name or a failed write.
    virtual bool write_binary_file(const void* buf, unsigned buf_size, const char* archive_name) = 0;
    // Adds a text without its terminator, as write_binary_file.
    virtual bool write_text_file(const char* buf, const char* archive_name) = 0;

protected:
    ~i_zip_writer() = default;
};

class i_gzip_writer : public virtual i_object {
public:
    // Compresses buf_size bytes into the file.
    // Returns: false once closed, or when not every byte was written (the
    //     file is then abandoned at close).
    virtual bool write(const void* buf, unsigned buf_size) = 0;
    // Finishes the file and puts it in place of the target path.
    // Returns: false when already closed, or when any write, the final
    //     flush or the rename failed; the target is then untouched.
    virtual bool close() = 0;

protected:
    ~i_gzip_writer() = default;
};

class i_zip_service : public virtual i_object {
public:
    // Creates an archive at `path` (an existing file is replaced). The
    // archive is complete once the writer's last reference is released.
    // Returns: a new writer, or null when the path cannot be made
    //     absolute, names a folder or the file cannot be created.
    virtual i_zip_writer* open_writer(const char* path) = 0;
    // Opens an existing archive. Returns: a new reader, or null.
    virtual i_zip_reader* open_reader(const char* path) = 0;
    // Compresses a text without its terminator.
    // Returns: a new block of zlib data, or null for null or "".
    virtual i_binary* compress_text(const char* buf) = 0;
    // Returns: a new block of zlib data, or null for null buf or size 0.
    virtual i_binary* compress_binary(const void* buf, unsigned buf_size) = 0;
    // Inflates zlib data. The output buffer starts at unc_buf_size bytes
    // (2 × buf_size when 0) and doubles while the data does not fit, up
    // to zip_max_memory_size.
    // Returns: a new block, or null for null or empty input, data that is
    //     not complete zlib data, or output over the cap.
    virtual i_binary* uncompress_binary(const void* buf, unsigned buf_size, unsigned unc_buf_size) = 0;
    // As uncompress_binary, returning the bytes as a terminated text the
    // caller frees.
    virtual char* uncompress_text(const void* buf, unsigned buf_size, unsigned unc_buf_size) = 0;
    // Starts a gzip file at `path` (default compression); the target is
    // replaced only by a successful close.
    // Returns: a new writer, or null when the path cannot be made
    //     absolute, names a folder or the file cannot be created.
    virtual i_gzip_writer* open_gzip_writer(const char* path) = 0;
    // Reads a gzip file whole; a file without gzip header is read as it
    // is. Returns: a new block, or null for a missing file, a damaged or
    //     truncated gzip stream, or more than the cap.
    virtual i_binary* ungzip_binary(const char* path) = 0;
    // As ungzip_binary, returning a terminated text the caller frees.
    virtual char* ungzip_text(const char* path) = 0;

protected:
    ~i_zip_service() = default;
};

}  // namespace kiv

// Returns: the object's interface of that name, null for null or for an
//     object without it. Adds no reference.
KIV_EXTERN_C kiv::i_zip_service* kiv_cast_i_zip_service(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_zip_reader* kiv_cast_i_zip_reader(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_zip_writer* kiv_cast_i_zip_writer(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_gzip_writer* kiv_cast_i_gzip_writer(kiv::i_object* obj);

#endif
