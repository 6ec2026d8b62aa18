// files.cpp --
//
//     Whole-file reads and writes, directory listings, creation and
//     removal. Sizes read from the file system are checked against a 4 GiB
//     cap (the byte blocks of the system are 32-bit sized) and against
//     what was really read.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/binary_impl.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint64_t max_file_size = UINT32_MAX - 1;

struct free_deleter {
    void operator()(char* p) const { free(p); }
};
using heap_text = std::unique_ptr<char, free_deleter>;

heap_text absolute(const char* path) {
    return heap_text(kiv_get_absolute_path(path));
}

// Reads the whole file at `path` into a malloc-ed buffer of size + extra
// bytes. Returns: null when missing, unreadable, too big or cut short.
char* read_whole(const char* path, size_t extra, uint64_t* size_out) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > max_file_size) {
        close(fd);
        return nullptr;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    char* buffer = static_cast<char*>(malloc(size + extra));
    if (buffer == nullptr) {
        close(fd);
        return nullptr;
    }
    uint64_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    close(fd);
    if (done != size) {
        free(buffer);
        return nullptr;
    }
    *size_out = size;
    return buffer;
}

// Listings classify an entry by what it names: a symbolic link to a
// folder counts as a folder, a dangling link as a file. Removal never
// uses this (see remove_contents).
bool is_directory_entry(const std::string& path, bool* is_dir) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0)
        return false;
    *is_dir = S_ISDIR(st.st_mode);
    return true;
}

// Whether `name` matches the fnmatch pattern `mask` without regard to
// case. The match runs in the "C" locale: only ASCII letters fold (under
// a Turkish LC_CTYPE "*.INI" would miss "setup.ini") and every byte is
// one character, whatever locale the host set.
bool mask_matches(const char* mask, const char* name) {
    kiv::c_locale_scope in_c;
    return fnmatch(mask, name, FNM_CASEFOLD) == 0;
}

// Sorted names in `dir` matching `mask`; target_type as kiv_scan_dir.
std::vector<std::string> list_names(const std::string& dir, const char* mask, unsigned char target_type) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return names;
    bool every = std::strcmp(mask, "*.*") == 0;
    while (dirent* entry = readdir(d)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (!every && !mask_matches(mask, name))
            continue;
        bool is_dir = false;
        if (!is_directory_entry(dir + "/" + name, &is_dir))
            continue;
        if ((target_type == 1 && is_dir) || (target_type == 2 && !is_dir))
            continue;
        names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

kiv::object_col* new_col() {
    kiv::object_col* col = new kiv::object_col();
    col->addref();
    return col;
}

void add_text(kiv::object_col* col, const std::string& text) {
    auto_ptr_t<kiv::i_string> item(kiv_create_string(text.c_str()));
    col->add_item(item, false);
}

// Appends all `size` bytes or none: a write that fails part-way (a full
// disk) cuts the file back to its old length, and a file this call
// created is removed again.
bool append_whole(const char* path, const void* data, unsigned size) {
    bool created = true;
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    off_t old_size = st.st_size;
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    bool good = true;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            good = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (!good)
        (void)!ftruncate(fd, old_size);  // checked below, by path, once closed
    good = close(fd) == 0 && good;
    if (good)
        return true;
    if (created)
        unlink(path);
    else if (truncate(path, old_size) != 0)
        kiv_log(0, "kiv_write_binary_file: could not cut %s back after a failed append", path);
    return false;
}

// Removes the entries of the directory open at `dir_fd` (sorted; files
// and links first, then sub-directories) and stops at the first failure.
// Every step works relative to an open descriptor and opens a
// sub-directory with O_NOFOLLOW, so a symbolic link is always removed as
// a link, even one swapped in while the removal runs, and entry names are
// never re-read as paths (no variable expansion, no ".." folding).
// Closes dir_fd.
bool remove_contents(int dir_fd) {
    DIR* d = fdopendir(dir_fd);
    if (d == nullptr) {
        close(dir_fd);
        return false;
    }
    std::vector<std::string> files;
    std::vector<std::string> dirs;
    while (dirent* entry = readdir(d)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        (S_ISDIR(st.st_mode) ? dirs : files).push_back(name);
    }
    std::sort(files.begin(), files.end());
    std::sort(dirs.begin(), dirs.end());
    bool good = true;
    for (const std::string& name : files)
        if (good && unlinkat(dir_fd, name.c_str(), 0) != 0)
            good = false;
    for (const std::string& name : dirs) {
        if (!good)
            break;
        int sub = openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        good = sub >= 0 && remove_contents(sub) && unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) == 0;
    }
    closedir(d);
    return good;
}

// Creates `dir` with `mode` unless it exists; notes it in `made` when
// this call made it.
// Returns: 0 when it exists now, else the errno of the failure (ENOTDIR
//     when something other than a folder stands there).
int make_one(const std::string& dir, unsigned mode, std::vector<std::string>& made) {
    if (kiv_dir_exists(dir.c_str()))
        return 0;
    if (mkdir(dir.c_str(), static_cast<mode_t>(mode)) == 0) {
        made.push_back(dir);
        return 0;
    }
    int error = errno;
    // Another thread or process may have made it meanwhile.
    if (kiv_dir_exists(dir.c_str()))
        return 0;
    return error == EEXIST ? ENOTDIR : error;
}

}  // namespace

char* kiv_read_file(const char* file_path) {
    heap_text path = absolute(file_path);
    if (!path)
        return nullptr;
    uint64_t size = 0;
    char* text = read_whole(path.get(), 1, &size);
    if (text == nullptr)
        return nullptr;
    // Text mode: CR LF becomes LF.
    uint64_t out = 0;
    for (uint64_t i = 0; i < size; ++i) {
        if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n')
            continue;
        text[out++] = text[i];
    }
    text[out] = '\0';
    return text;
}

kiv::i_binary* kiv_read_binary_file(const char* file_path) {
    heap_text path = absolute(file_path);
    if (!path)
        return nullptr;
    uint64_t size = 0;
    char* data = read_whole(path.get(), 0, &size);
    if (data == nullptr)
        return nullptr;
    kiv::binary* block = new kiv::binary(data, static_cast<unsigned>(size), true);
    block->addref();
    return block;
}

bool kiv_write_binary_file(const char* file_path, const void* data, unsigned data_size, bool append) {
    if (file_path == nullptr || data == nullptr)
        return false;
    heap_text path = absolute(file_path);
    if (!path)
        return false;
    if (append)
        return append_whole(path.get(), data, data_size);
    kiv::file_writer writer(path.get());
    return writer.write(data, data_size) && writer.commit();
}

bool kiv_write_file(const char* file_path, const char* data, bool append) {
    if (file_path == nullptr || data == nullptr)
        return false;
    size_t len = std::strlen(data);
    if (len > max_file_size)
        return false;
    return kiv_write_binary_file(file_path, data, static_cast<unsigned>(len), append);
}

kiv::i_object_col* kiv_scan_dir(const char* dir, const char* file_spec, unsigned char target_type) {
    if (dir == nullptr || *dir == '\0' || file_spec == nullptr || *file_spec == '\0')
        return nullptr;
    heap_text path = absolute(dir);
    if (!path)
        return nullptr;
    kiv::object_col* col = new_col();
    for (const std::string& name : list_names(path.get(), file_spec, target_type == 3 ? 0 : target_type))
        add_text(col, name);
    return col;
}

kiv::i_object_col* kiv_split_path(const char* paths) {
    if (paths == nullptr)
        return nullptr;
    kiv::object_col* col = new_col();
    std::string all(paths);
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find(';', pos);
        if (end == std::string::npos)
            end = all.size();
        std::string item = all.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty())
            continue;
        heap_text path = absolute(item.c_str());
        if (!path)
            continue;
        std::string full(path.get());
        size_t slash = full.rfind('/');
        if (slash == std::string::npos)
            continue;
        std::string dir = full.substr(0, slash);
        std::string mask = full.substr(slash + 1);
        if (mask.empty())
            continue;
        for (const std::string& name : list_names(dir.empty() ? "/" : dir, mask.c_str(), 1))
            add_text(col, dir + "/" + name);
    }
    return col;
}

bool kiv_mkdir(const char* path) {
    heap_text full = absolute(path);
    return full && mkdir(full.get(), 0777) == 0;
}

bool kiv_rmdir(const char* path, bool recursive) {
    heap_text full = absolute(path);
    if (!full)
        return false;
    if (recursive) {
        // The top level is not followed either: a link to a folder is
        // refused here, not emptied.
        int fd = open(full.get(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 || !remove_contents(fd))
            return false;
    }
    return rmdir(full.get()) == 0;
}

bool kiv_make_path(const char* path) {
    if (path == nullptr)
        return true;
    // Work on the absolute path throughout, so the existence tests and
    // the creation look at the same place.
    heap_text full = absolute(path);
    return full && kiv_make_dirs(full.get(), 0777, nullptr);
}

bool kiv_make_dirs(const char* path, unsigned mode, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    reason = 0;
    if (path == nullptr)
        return true;
    std::string target(path);
    if (kiv_dir_exists(target.c_str()))
        return true;
    // A path that cannot be made whole leaves nothing behind: the folders
    // this call made are removed again, deepest first (rmdir leaves one
    // that someone filled meanwhile).
    std::vector<std::string> made;
    for (size_t i = 1; reason == 0 && i < target.size(); ++i)
        if (target[i] == '/' && target[i - 1] != '/')
            reason = make_one(target.substr(0, i), mode, made);
    if (reason == 0)
        reason = make_one(target, mode, made);
    if (reason == 0)
        return true;
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        rmdir(it->c_str());
    return false;
}
