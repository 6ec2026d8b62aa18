// file_io.cpp --
//
//     Whole-file reads and write-then-rename file output for the codecs.

#include "file_io.h"

#include <kiv/core/log.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kiv {

bool read_whole_file(FILE* file, uint64_t cap, std::vector<uint8_t>& out) {
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        size_t n = fread(chunk, 1, sizeof chunk, file);
        if (n > 0) {
            if (out.size() + n > cap)
                return false;
            out.insert(out.end(), chunk, chunk + n);
        }
        if (n < sizeof chunk)
            return ferror(file) == 0;
    }
}

temp_file_writer::temp_file_writer(std::string target) : target_(std::move(target)) {}

temp_file_writer::~temp_file_writer() {
    if (!committed_)
        discard();
}

FILE* temp_file_writer::open() {
    if (file_ != nullptr)
        return file_;
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = target_ + "." + std::to_string(getpid()) + "." +
                           std::to_string(counter.fetch_add(1)) + ".tmp";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            kiv_trace("kiv_image: cannot create '%s': %s", name.c_str(), strerror(errno));
            return nullptr;
        }
        file_ = fdopen(fd, "wb");
        if (file_ == nullptr) {
            ::close(fd);
            unlink(name.c_str());
            kiv_trace("kiv_image: cannot open '%s': %s", name.c_str(), strerror(errno));
            return nullptr;
        }
        temp_ = name;
        return file_;
    }
    kiv_trace("kiv_image: no free temporary name beside '%s'", target_.c_str());
    return nullptr;
}

bool temp_file_writer::commit() {
    if (file_ == nullptr)
        return false;
    bool ok = fflush(file_) == 0 && ferror(file_) == 0;
    ok = fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) {
        kiv_trace("kiv_image: write to '%s' failed: %s", target_.c_str(), strerror(errno));
        discard();
        return false;
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        kiv_trace("kiv_image: cannot rename to '%s': %s", target_.c_str(), strerror(errno));
        discard();
        return false;
    }
    committed_ = true;
    return true;
}

void temp_file_writer::discard() {
    if (file_ != nullptr) {
        fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace kiv
