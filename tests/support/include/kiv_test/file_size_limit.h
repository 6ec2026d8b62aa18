// file_size_limit.h --
//
//     A file size limit for a test's scope: past it every write of the
//     process fails with EFBIG, as on a full disk, which lets a test see
//     what a writer does when its data cannot all reach the disk. Used
//     by the tests of several libraries; headers only.

#ifndef KIV_TEST_FILE_SIZE_LIMIT_H
#define KIV_TEST_FILE_SIZE_LIMIT_H

#include <sys/resource.h>

#include <csignal>

namespace kiv_test {

// Lowers the soft file size limit to `bytes` while it lives (SIGXFSZ
// ignored, so a write past it fails instead of ending the process).
// ok() tells whether the limit was set.
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes) {
        ok_ = getrlimit(RLIMIT_FSIZE, &old_) == 0;
        signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~file_size_limit() {
        if (ok_)
            setrlimit(RLIMIT_FSIZE, &old_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

    bool ok() const { return ok_; }

private:
    rlimit old_{};     // the limits before, put back by the destructor
    bool ok_ = false;  // the lower limit is in force
};

}  // namespace kiv_test

#endif
