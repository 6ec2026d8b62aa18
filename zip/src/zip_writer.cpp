// zip_writer.cpp --
//
//     Writing entries into a new zip archive through minizip. A file is
//     copied through one 8 MiB buffer; its entry carries the file's
//     modification time. Zip dates cannot hold times before 1980 (a file
//     whose time cannot be read counts as 1970), so those are clamped to
//     the first day zip can express instead of wrapping into a wrong
//     year. Names are UTF-8 and flagged so when they go beyond ASCII;
//     entries say they were made on Unix and carry a file mode, so Unix
//     tools take the names as they are. Every read, write and close
//     result is checked; only a good close lets the core's file_writer
//     put the archive in place.

#include <kiv/core/files.h>

#include "zip_writer.h"

#include <kiv/core/log.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace kiv {

namespace {

constexpr unsigned copy_buffer_size = 0x800000;
// Names are considered up to this many characters when asking for the
// file's time.
constexpr size_t max_time_name = 256;
constexpr uint64_t zip32_limit = 0xFFFFFFFF;
constexpr uLong utf8_name_flag = 0x800;
// "Version made by": Unix (3) in the high byte, zip 2.0 in the low one.
constexpr int made_by_unix = (3 << 8) | 20;
constexpr unsigned memory_entry_mode = S_IFREG | 0644;

// minizip opens the archive through this, on the stream of the file
// writer's temporary file (the opaque value), so no second open by
// name can meet another file.
voidpf open_prepared(voidpf opaque, const void*, int) {
    return opaque;
}

// minizip's close of the archive: the stream is the file writer's, which
// closes it at commit, so this only pushes out what stdio still holds.
// Returns: 0, or EOF when that failed.
int flush_prepared(voidpf, voidpf stream) {
    FILE* file = static_cast<FILE*>(stream);
    return fflush(file) == 0 && ferror(file) == 0 ? 0 : EOF;
}

// The modification time of `fname` ("-": now), with a trailing "/" cut.
// Returns: the time, or 0 when the file's status cannot be read.
time_t file_time(const char* fname) {
    if (std::strcmp(fname, "-") == 0)
        return std::time(nullptr);
    std::string name(fname, strnlen(fname, max_time_name));
    if (name.size() > 1 && name.back() == '/')
        name.pop_back();
    struct stat st;
    if (stat(name.c_str(), &st) != 0)
        return 0;
    return st.st_mtime;
}

}  // namespace

zip_writer* zip_writer::create(const std::string& target, std::unique_ptr<file_writer> out) {
    FILE* stream = out->stream();
    if (stream == nullptr)
        return nullptr;
    zlib_filefunc64_def io;
    fill_fopen64_filefunc(&io);
    io.zopen64_file = open_prepared;
    io.zclose_file = flush_prepared;
    io.opaque = stream;
    zipFile handle = zipOpen2_64(target.c_str(), APPEND_STATUS_CREATE, nullptr, &io);
    if (handle == nullptr)
        return nullptr;
    zip_writer* writer = new (std::nothrow) zip_writer(handle, target, std::move(out));
    if (writer == nullptr)
        zipClose(handle, "");
    return writer;
}

zip_writer::~zip_writer() {
    // The directory is written only here, so this close decides whether
    // the archive is whole; the file writer then closes and renames it.
    bool closed = zipClose(handle_, "") == ZIP_OK;
    if (!closed || !out_->commit())
        kiv_log(0, "zip_writer: writing '%s' failed: %s; the archive was not replaced", target_.c_str(),
                out_->error() != 0 ? std::strerror(out_->error()) : "the archive could not be completed");
}

bool zip_writer::safe_entry_name(const char* name) {
    if (name == nullptr || *name == '\0' || *name == '/' || *name == '\\')
        return false;
    if (name[0] != '\0' && name[1] == ':')
        return false;
    // Components end at "/" or "\\"; none may be "..".
    const char* start = name;
    for (const char* p = name;; ++p) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (p - start == 2 && start[0] == '.' && start[1] == '.')
                return false;
            if (*p == '\0')
                return true;
            start = p + 1;
        }
    }
}

bool zip_writer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_zip_writer", static_cast<i_zip_writer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

tm_zip zip_writer::entry_time(time_t t) {
    tm_zip out = {};
    struct tm local;
    if (localtime_r(&t, &local) == nullptr || local.tm_year + 1900 < 1980) {
        out.tm_mday = 1;
        out.tm_year = 1980;
        return out;
    }
    if (local.tm_year + 1900 > 2107) {
        out.tm_sec = 58;
        out.tm_min = 59;
        out.tm_hour = 23;
        out.tm_mday = 31;
        out.tm_mon = 11;
        out.tm_year = 2107;
        return out;
    }
    out.tm_sec = uInt(local.tm_sec);
    out.tm_min = uInt(local.tm_min);
    out.tm_hour = uInt(local.tm_hour);
    out.tm_mday = uInt(local.tm_mday);
    out.tm_mon = uInt(local.tm_mon);
    out.tm_year = uInt(local.tm_year + 1900);
    return out;
}

bool zip_writer::open_entry(const char* archive_name, time_t t, unsigned mode, bool zip64) {
    if (!safe_entry_name(archive_name)) {
        kiv_log(0, "zip_writer: entry name '%s' refused (absolute or with '..')", archive_name);
        return false;
    }
    zip_fileinfo info = {};
    info.tmz_date = entry_time(t);
    info.external_fa = uLong(mode & 0xFFFF) << 16;
    // Names are UTF-8; a name beyond ASCII says so (general purpose bit
    // 11), or other tools would read it in the old DOS code page.
    uLong flags = 0;
    for (const char* p = archive_name; *p != 0; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            flags = utf8_name_flag;
    return zipOpenNewFileInZip4_64(handle_, archive_name, &info, nullptr, 0, nullptr, 0, nullptr,
                                   Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                   Z_DEFAULT_STRATEGY, nullptr, 0, made_by_unix, flags, zip64 ? 1 : 0) == ZIP_OK;
}

bool zip_writer::add_file(const char* fname, const char* archive_name) {
    if (archive_name == nullptr || *archive_name == '\0')
        return false;
    std::unique_ptr<char, decltype(&free)> path(kiv_get_absolute_path(fname), &free);
    if (!path || !kiv_file_exists(path.get()))
        return false;
    mutex_locker lock(this);
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[copy_buffer_size]);
    if (!chunk)
        return false;
    FILE* file = fopen(path.get(), "rb");
    if (file == nullptr)
        return false;
    struct stat st;
    bool have_status = fstat(fileno(file), &st) == 0;
    bool zip64 = !have_status || uint64_t(st.st_size) >= zip32_limit;
    unsigned mode = have_status ? unsigned(st.st_mode) : memory_entry_mode;
    if (!open_entry(archive_name, file_time(path.get()), mode, zip64)) {
        fclose(file);
        return false;
    }
    bool ok = true;
    for (;;) {
        size_t n = fread(chunk.get(), 1, copy_buffer_size, file);
        if (n > 0 && zipWriteInFileInZip(handle_, chunk.get(), unsigned(n)) != ZIP_OK) {
            ok = false;
            break;
        }
        if (n < copy_buffer_size) {
            ok = ferror(file) == 0;
            break;
        }
    }
    fclose(file);
    bool closed = zipCloseFileInZip(handle_) == ZIP_OK;
    return ok && closed;
}

bool zip_writer::write_binary_file(const void* buf, unsigned buf_size, const char* archive_name) {
    if (buf == nullptr || archive_name == nullptr || *archive_name == '\0')
        return false;
    mutex_locker lock(this);
    if (!open_entry(archive_name, std::time(nullptr), memory_entry_mode, buf_size >= zip32_limit))
        return false;
    bool ok = zipWriteInFileInZip(handle_, buf, buf_size) == ZIP_OK;
    bool closed = zipCloseFileInZip(handle_) == ZIP_OK;
    return ok && closed;
}

bool zip_writer::write_text_file(const char* buf, const char* archive_name) {
    if (buf == nullptr)
        return false;
    size_t length = std::strlen(buf);
    if (length > UINT32_MAX)
        return false;
    return write_binary_file(buf, unsigned(length), archive_name);
}

}  // namespace kiv
